// The real zivi3 in a real window: each test process starts its own Xvfb, drives zivi3 with
// xdotool and reads the window back with xshot; every wait has a deadline.
#include "platform/Platform.h"
#include "support/SceneText.h"
#include "support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {
std::string WaitForWindow(const std::string& prefix, double seconds);
bool AddDisplayModes(const std::vector<std::pair<int, int>>& sizes);
std::string CurrentMode();
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* const TITLE = "Zadoze R3";
const char* const DIALOG_TITLE = "DUZUR V3 Engine";
const char* const DONE_LINE = "[ 03 ] - SYSTEM(Done) - System is done. Now go sleeping!";
const char* const LOG_FOOTER = "*** ZIVI3 Log System stopped ***";
const char* const DESKTOP_MODE = "1280x1024";
// Rows at the top of the window that hold the frames-per-second text, which changes on its own.
constexpr int OVERLAY_ROWS = 24;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && access((fs::path(dir) / program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// A shell command's output and exit code, killed after seconds.
struct Shell {
  int code = -1;
  std::string out;
};
Shell Sh(const std::string& command, int seconds = 20) {
  const std::string line = "timeout -k 2 " + std::to_string(seconds) + " " + command + " 2>&1";
  Shell result;
  std::FILE* pipe = popen(line.c_str(), "r");
  if (!pipe) return result;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// A child process with its output in files.
class Process {
 public:
  Process(const std::vector<std::string>& args, const fs::path& dir) : dir_(dir) {
    pid_ = fork();
    if (pid_ == 0) {
      if (chdir(dir.c_str()) != 0) _exit(127);
      const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~Process() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The exit code, or -1 when it ran past the deadline (it is killed then) or died of a signal.
  int Wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int status = 0; !done_; std::this_thread::sleep_for(20ms)) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        done_ = true;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      } else if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        done_ = true;
      }
    }
    return code_;
  }
  std::string Err() const { return ReadFile(dir_ / "stderr.txt"); }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
  bool done_ = false;
  int code_ = -1;
};

// A picture of a window, RGB, top row first.
struct Shot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;

  // Pixels that aren't black, below the overlay's rows.
  double NonBlackShare() const {
    long count = 0, all = 0;
    for (int y = OVERLAY_ROWS; y < height; ++y) {
      for (int x = 0; x < width; ++x, ++all) {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        if (p[0] > 8 || p[1] > 8 || p[2] > 8) ++count;
      }
    }
    return all ? double(count) / double(all) : 0;
  }
};

// The scene the cases play: a grey square 4 units wide sliding from x = -3 at frame 0 to x = 3 at
// frame 1000, so that every second looks different and a jump to frame 500 puts it in the middle.
void WriteSquareScene(const fs::path& dir) { test::WriteSlidingSquare(dir.string(), 2, 3, 1000); }

class E2e : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("timeout"))
      return void(skipReason_ = "Xvfb, xdotool or timeout is not installed");
    // A server of this process's own, on a number no other test process can take; its screen is
    // the desktop's mode, and two smaller modes are there to switch to in full screen.
    display_ = std::make_unique<test::VirtualDisplay>(std::string(DESKTOP_MODE) + "x24");
    if (display_->Name().empty()) return void(skipReason_ = "Xvfb did not start");
    setenv("DISPLAY", display_->Name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    // Software GL in the window, whatever the machine has.
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    modesOffered_ = e2e::AddDisplayModes({{800, 600}, {640, 480}});
  }

  static void TearDownTestSuite() { display_.reset(); }

  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    std::random_device seed;
    dir_ = fs::temp_directory_path() / ("zivi3-e2e-" + std::to_string(getpid()) + "-" + std::to_string(seed() % 1000000));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty() && !HasFailure()) fs::remove_all(dir_);
    if (HasFailure()) std::fprintf(stderr, "the run's files are kept in %s\n", dir_.c_str());
  }

  fs::path LogPath() const { return dir_ / "ZIVI3.LOG"; }
  std::string Log() const { return ReadFile(LogPath()); }

  // zivi3 with args in the test's folder, its log in the folder too.
  std::unique_ptr<Process> Start(std::vector<std::string> args) {
    args.insert(args.begin(), {ZIVI3_PROGRAM, "--log", LogPath().string()});
    return std::make_unique<Process>(args, dir_);
  }

  // Starts zivi3 without dialog or sound on args and waits for its window to draw frames; the
  // window's id, or "" (with the failure noted) when it never came.
  std::string Play(std::unique_ptr<Process>& zivi3, const std::vector<std::string>& args, double seconds = 30) {
    std::vector<std::string> all = {"--batch", "--no-setup", "--no-sound"};
    all.insert(all.end(), args.begin(), args.end());
    zivi3 = Start(all);
    const std::string window = FindWindow(TITLE, seconds);
    EXPECT_FALSE(window.empty()) << zivi3->Err();
    if (window.empty() || !WaitForFrames(std::chrono::seconds(int(seconds) * 2))) {
      ADD_FAILURE() << "no frames drawn\n" << zivi3->Err();
      return "";
    }
    return window;
  }
  // Escape ends the run with 0 and a complete log.
  void QuitInOrder(Process& zivi3, const std::string& window) {
    ASSERT_TRUE(Keys(window, "Escape"));
    EXPECT_EQ(zivi3.Wait(30s), 0) << zivi3.Err();
    ExpectCompleteLog();
  }

  // The id of a visible window whose title begins with title, or "" after the deadline.
  static std::string FindWindow(const std::string& title, double seconds = 30) {
    return e2e::WaitForWindow(title, seconds);
  }
  static bool Keys(const std::string& window, const std::string& keys) {
    if (Sh("xdotool windowfocus --sync " + window).code != 0) return false;
    return Sh("xdotool key --delay 50 " + keys).code == 0;
  }

  // Waits until the log shows frames being drawn: a frames-per-second line.
  bool WaitForFrames(std::chrono::seconds limit = 60s) {
    static const std::regex FPS_LINE(R"(\[ 03 \] - \d{3,} FPS)");
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::regex_search(Log(), FPS_LINE)) return true;
      std::this_thread::sleep_for(200ms);
    }
    return false;
  }

  Shot Screenshot(const std::string& window) {
    const fs::path path = dir_ / ("shot" + std::to_string(shots_++) + ".ppm");
    Shot shot;
    const Shell run = Sh(std::string(XSHOT_PROGRAM) + " " + window + " " + path.string());
    EXPECT_EQ(run.code, 0) << run.out;
    const std::string data = ReadFile(path);
    std::istringstream header(data);
    std::string magic;
    int maxValue = 0;
    header >> magic >> shot.width >> shot.height >> maxValue;
    const size_t bytes = size_t(shot.width) * shot.height * 3;
    const size_t start = size_t(header.tellg()) + 1;
    if (magic == "P6" && data.size() >= start + bytes) shot.rgb.assign(data.begin() + start, data.begin() + start + bytes);
    EXPECT_EQ(shot.rgb.size(), bytes) << path;
    return shot;
  }

  // A complete log: the shutdown's last line, then the footer, and nothing after it.
  void ExpectCompleteLog() {
    std::string log = Log();
    while (!log.empty() && std::isspace(static_cast<unsigned char>(log.back()))) log.pop_back();
    const std::string ending = std::string(DONE_LINE) + "\n\n" + LOG_FOOTER;
    EXPECT_TRUE(log.size() >= ending.size() && log.compare(log.size() - ending.size(), ending.size(), ending) == 0)
        << "log ends with: " << log.substr(log.size() > 400 ? log.size() - 400 : 0);
  }

  // Waits until the display shows mode ("WxH"); false when it didn't within seconds.
  static bool WaitForMode(const std::string& mode, double seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (e2e::CurrentMode() != mode) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }

  static std::string skipReason_;
  static std::unique_ptr<test::VirtualDisplay> display_;
  static bool modesOffered_;
  fs::path dir_;
  int shots_ = 0;
};

std::string E2e::skipReason_;
std::unique_ptr<test::VirtualDisplay> E2e::display_;
bool E2e::modesOffered_ = false;

TEST_F(E2e, DialogGoPlaysTheSceneAndEscapeEndsInOrder) {
  WriteSquareScene(dir_);
  auto zivi3 = Start({"--batch", "scene.lws"});
  const std::string dialog = FindWindow(DIALOG_TITLE);
  ASSERT_FALSE(dialog.empty()) << zivi3->Err();
  // No Sound (the server has no audio device), then Enter for the default button, Go!.
  ASSERT_TRUE(Keys(dialog, "alt+n Return"));

  const std::string window = FindWindow(TITLE);
  ASSERT_FALSE(window.empty()) << zivi3->Err();
  ASSERT_TRUE(WaitForFrames()) << Log() << zivi3->Err();
  const std::string log = Log();
  EXPECT_NE(log.find("Initialized BASS using NoSound technology(tm)!"), std::string::npos) << log;
  // The square covers a good share of the picture, and not all of it.
  const double share = Screenshot(window).NonBlackShare();
  EXPECT_GT(share, 0.05);
  EXPECT_LT(share, 0.6);

  QuitInOrder(*zivi3, window);
}

// A size the display doesn't offer ends the run at once, in order; Escape and the window's close
// button end it in order too, and the desktop's mode comes back.
TEST_F(E2e, FullScreenModesAreRefusedOrRestoredInOrder) {
  if (!modesOffered_) GTEST_SKIP() << "the X server can't offer display modes (no RandR)";
  WriteSquareScene(dir_);
  auto refused = Start({"--batch", "--no-setup", "--no-sound", "--fullscreen", "--width", "1000", "--height", "700",
                        "scene.lws"});
  EXPECT_EQ(refused->Wait(30s), 0) << refused->Err();
  EXPECT_NE(Log().find("[ 01 ] - SYSTEM(Init) - The display refused a 1000x700 full-screen mode\n"), std::string::npos)
      << Log();
  ExpectCompleteLog();
  EXPECT_EQ(e2e::CurrentMode(), DESKTOP_MODE);

  for (const bool escape : {true, false}) {
    std::unique_ptr<Process> zivi3;
    const std::string window = Play(zivi3, {"--fullscreen", "--width", "800", "--height", "600", "scene.lws"});
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(e2e::CurrentMode(), "800x600");
    if (escape) {
      ASSERT_TRUE(Keys(window, "Escape"));
    } else {
      const Shell close = Sh(std::string(XCLOSE_PROGRAM) + " " + window);
      ASSERT_EQ(close.code, 0) << close.out;
    }
    EXPECT_EQ(zivi3->Wait(30s), 0) << zivi3->Err();
    ExpectCompleteLog();
    EXPECT_EQ(e2e::CurrentMode(), DESKTOP_MODE) << (escape ? "after Escape" : "after closing");
  }
}

TEST_F(E2e, FullScreenTheDesktopModeComesBackAfterACrashReport) {
  if (!modesOffered_) GTEST_SKIP() << "the X server can't offer display modes (no RandR)";
  // The System's driver draws frames in 640 × 480 for a while, then faults holding a lock its
  // cleanup waits for: the desktop comes back before the cleanup, and the watchdog ends the run.
  Process probe({CRASH_PROBE_PROGRAM, LogPath().string(), "hang", "3000", "--fullscreen", "640x480"}, dir_);
  EXPECT_TRUE(WaitForMode("640x480")) << probe.Err();
  EXPECT_EQ(probe.Wait(30s), 0) << probe.Err();
  EXPECT_NE(probe.Err().find("ZIVI3 Engine: [ Quorvel violated your windows ]"), std::string::npos) << probe.Err();
  EXPECT_NE(Log().find("SYSTEM(Done) - The run did not end within 5 s of the crash report"), std::string::npos) << Log();
  EXPECT_EQ(e2e::CurrentMode(), DESKTOP_MODE);
}

// The unit tests that skip without a display run here, where there is one.
TEST_F(E2e, UnitTestsThatNeedADisplay) {
  const Shell run = Sh("env LANG=C.UTF-8 " + std::string(UNIT_TESTS_PROGRAM) + " --gtest_filter='Dialog.*'", 60);
  EXPECT_EQ(run.code, 0) << run.out;
  EXPECT_EQ(run.out.find("SKIPPED"), std::string::npos) << run.out;
}

// The window and an offscreen --frame draw the same picture of one scene time, with and without
// multisampling: both reach GL through the same dispatch, onto the same software rasteriser.
TEST_F(E2e, TheWindowShowsWhatOffscreenRendersAtAnyMultisampling) {
  WriteSquareScene(dir_);
  for (const std::string samples : {"1", "4"}) {
    std::unique_ptr<Process> zivi3;
    const std::string window = Play(zivi3, {"--aa", samples, "scene.lws"});
    ASSERT_FALSE(window.empty());
    // Paused at frame 500; a moment later every frame drawn shows that time.
    ASSERT_TRUE(Keys(window, "space 5"));
    std::this_thread::sleep_for(700ms);
    const Shot shot = Screenshot(window);
    QuitInOrder(*zivi3, window);
    EXPECT_NE(Log().find("SYSTEM(Init) - GL renderer: "), std::string::npos) << Log();

    const fs::path picture = dir_ / ("offscreen" + samples + ".png");
    const Shell frame = Sh(std::string(ZIVI3_PROGRAM) + " --frame 500 --out " + picture.string() + " --aa " + samples +
                           " --gl-device software --no-sound --log " + (dir_ / "frame.log").string() + " " +
                           (dir_ / "scene.lws").string());
    ASSERT_EQ(frame.code, 0) << frame.out;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(platform::ReadPng(picture.c_str(), &width, &height, &rgb));
    ASSERT_TRUE(int(width) == shot.width && int(height) == shot.height);
    int most = 0;
    for (size_t i = size_t(OVERLAY_ROWS) * width * 3; i < rgb.size(); ++i)
      most = std::max(most, std::abs(rgb[i] - shot.rgb[i]));
    EXPECT_LE(most, 1) << "--aa " << samples;
    EXPECT_GT(shot.NonBlackShare(), 0.02) << "--aa " << samples;
  }
}

}  // namespace

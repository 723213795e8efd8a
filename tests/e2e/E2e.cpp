// The real zivi3 under each test process's own Xvfb, driven with xdotool, read back with xshot.
#include "platform/Platform.h"
#include "support/SceneText.h"
#include "support/TestSupport.h"
#include "support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace e2e {
bool AddDisplayModes(const std::vector<std::pair<int, int>>& sizes);
std::string CurrentMode();
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* const TITLE = "Zadoze R3";
const char* const DESKTOP_MODE = "1280x1024";
// Rows at the top of the window that hold the frames-per-second text, which changes on its own.
constexpr int OVERLAY_ROWS = 24;

std::string ReadFile(const fs::path& path) { return test::ReadText(path.string()); }

using Shell = test::ShellRun;

// A shell command's exit code and output (stderr too), killed after seconds.
Shell Sh(const std::string& command, int seconds = 20) {
  return test::Shell("timeout -k 2 " + std::to_string(seconds) + " " + command + " 2>&1");
}

// The id of a mapped window whose title begins with prefix, or "" (also when one went during the search).
std::string FindWindow(const std::string& prefix) {
  const Shell found = Sh("xdotool search --onlyvisible --name '^" + prefix + "'", 5);
  return found.code == 0 ? found.out.substr(0, found.out.find('\n')) : "";
}

// Whether done() came true within seconds.
bool WaitUntil(const std::function<bool()>& done, double seconds = 30) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

// The window (by its id) focused, then keys typed into it.
bool Keys(const std::string& window, const std::string& keys) {
  return !window.empty() && Sh("xdotool windowfocus --sync " + window + " key --delay 50 " + keys).code == 0;
}

class E2e : public ::testing::Test {
 protected:
  // A server in the desktop's mode with two smaller modes for full screen; software GL in the window.
  static void SetUpTestSuite() {
    if (Sh("which Xvfb xdotool").code != 0) return void(skipReason_ = "Xvfb, xdotool or timeout is not installed");
    display_ = std::make_unique<test::VirtualDisplay>(std::string(DESKTOP_MODE) + "x24");
    if (display_->Name().empty()) return void(skipReason_ = "Xvfb did not start");
    setenv("DISPLAY", display_->Name().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    modesOffered_ = e2e::AddDisplayModes({{800, 600}, {640, 480}});
  }
  static void TearDownTestSuite() { display_.reset(); }

  // A grey square sliding from x = -3 at frame 0 to x = 3 at frame 1000, in the middle at frame 500.
  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    dir_ = fs::temp_directory_path() /
           ("zivi3-e2e-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    test::WriteSlidingSquare(dir_.string(), 2, 3, 1000);
  }
  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "the run's files are kept in %s\n", dir_.c_str());
    if (!HasFailure() && !dir_.empty()) fs::remove_all(dir_);
  }

  std::string Log() const { return ReadFile(dir_ / "ZIVI3.LOG"); }
  std::string Out() const { return ReadFile(dir_ / "out.txt"); }

  // program with args, run in the test's folder with its output in out.txt; the future tells how it ended.
  std::future<Shell> Start(const std::string& program, const std::string& args) {
    return std::async(std::launch::async, Sh,
                      "env -C " + dir_.string() + " " + program + " " + args + " >" + (dir_ / "out.txt").string(), 90);
  }

  // zivi3 on args (through the dialog: No Sound, then Enter for Go!); its window's id once it draws, or "".
  std::string Play(std::future<Shell>& zivi3, const std::string& args, bool dialog = false) {
    zivi3 = Start(ZIVI3_PROGRAM, "--log ZIVI3.LOG --batch " + args);
    std::string window;
    const auto shows = [&](const char* title) {
      return WaitUntil([&] { return !(window = FindWindow(title)).empty(); });
    };
    if (dialog) {
      EXPECT_TRUE(shows("DUZUR V3 Engine") && Keys(window, "alt+n Return")) << Out();
    }
    // Frames are being drawn once the log has a frames-per-second line.
    static const std::regex FPS_LINE(R"(\[ 03 \] - \d{3,} FPS)");
    if (!shows(TITLE) || !WaitUntil([&] { return std::regex_search(Log(), FPS_LINE); }, 60)) {
      ADD_FAILURE() << "no window or no frames\n" << Out();
      return "";
    }
    return window;
  }

  // The run ended with 0, the log with the shutdown's last line and the footer, the display in its mode.
  void ExpectEndInOrder(std::future<Shell>& run) {
    EXPECT_EQ(run.get().code, 0) << Out();
    std::string log = Log();
    log.erase(log.find_last_not_of(" \n") + 1);
    EXPECT_TRUE(log.ends_with("SYSTEM(Done) - System is done. Now go sleeping!\n\n*** ZIVI3 Log System stopped ***"))
        << "log ends with: " << log.substr(log.size() > 400 ? log.size() - 400 : 0);
    EXPECT_EQ(e2e::CurrentMode(), DESKTOP_MODE);
  }

  inline static std::string skipReason_;
  inline static std::unique_ptr<test::VirtualDisplay> display_;
  inline static bool modesOffered_ = false;
  fs::path dir_;
};

// Go! in the dialog plays the scene; at any multisampling the window shows what --frame draws offscreen.
TEST_F(E2e, TheDialogPlaysAndTheWindowShowsWhatOffscreenRendersAtAnyMultisampling) {
  for (const std::string samples : {"1", "4"}) {
    std::future<Shell> zivi3;
    const bool dialog = samples == "1";
    const std::string window = Play(zivi3, dialog ? "scene.lws" : "--no-setup --no-sound --aa 4 scene.lws", dialog);
    ASSERT_FALSE(window.empty());
    // Paused at frame 500; a moment later every frame drawn shows that time.
    ASSERT_TRUE(Keys(window, "space 5"));
    std::this_thread::sleep_for(700ms);
    const Shell shot = Sh(std::string(XSHOT_PROGRAM) + " " + window + " " + (dir_ / "shot.ppm").string());
    ASSERT_EQ(shot.code, 0) << shot.out;
    ASSERT_TRUE(Keys(window, "Escape"));
    ExpectEndInOrder(zivi3);
    EXPECT_TRUE(test::InOrder(Log(), {"Initialized BASS using NoSound technology(tm)!", "GL renderer: "})) << Log();

    const Shell frame = Sh(std::string(ZIVI3_PROGRAM) + " --frame 500 --out " + (dir_ / "offscreen.png").string() +
                           " --aa " + samples + " --gl-device software --no-sound --log " +
                           (dir_ / "frame.log").string() + " " + (dir_ / "scene.lws").string());
    ASSERT_EQ(frame.code, 0) << frame.out;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(platform::ReadPng((dir_ / "offscreen.png").c_str(), &width, &height, &rgb));
    const std::string ppm = ReadFile(dir_ / "shot.ppm");
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    ASSERT_TRUE(ppm.starts_with(header) && ppm.size() == header.size() + rgb.size()) << ppm.substr(0, 16);
    const uint8_t* shown = reinterpret_cast<const uint8_t*>(ppm.data()) + header.size();
    // Below the overlay: no channel more than 1 apart, and the square covers a good share, not all.
    int most = 0;
    size_t lit = 0;
    const size_t first = size_t(OVERLAY_ROWS) * width * 3;
    for (size_t i = first; i < rgb.size(); ++i) {
      most = std::max(most, std::abs(rgb[i] - shown[i]));
      lit += shown[i] > 8;
    }
    EXPECT_LE(most, 1) << "--aa " << samples;
    EXPECT_TRUE(lit > (rgb.size() - first) / 20 && lit < (rgb.size() - first) * 6 / 10) << lit;
  }
}

// A full-screen size the display lacks ends the run; Escape, close and a crash report restore the mode.
TEST_F(E2e, FullScreenModesAreRefusedOrRestoredInOrder) {
  if (!modesOffered_) GTEST_SKIP() << "the X server can't offer display modes (no RandR)";
  std::future<Shell> zivi3 =
      Start(ZIVI3_PROGRAM, "--log ZIVI3.LOG --batch --no-setup --no-sound --fullscreen --width 1000 --height 700 "
                           "scene.lws");
  ExpectEndInOrder(zivi3);
  EXPECT_NE(Log().find("[ 01 ] - SYSTEM(Init) - The display refused a 1000x700 full-screen mode\n"), std::string::npos)
      << Log();

  for (const bool escape : {true, false}) {
    const std::string window = Play(zivi3, "--no-setup --no-sound --fullscreen --width 800 --height 600 scene.lws");
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(e2e::CurrentMode(), "800x600");
    ASSERT_TRUE(escape ? Keys(window, "Escape") : Sh(std::string(XCLOSE_PROGRAM) + " " + window).code == 0);
    ExpectEndInOrder(zivi3);
  }

  std::future<Shell> probe = Start(CRASH_PROBE_PROGRAM, "ZIVI3.LOG hang 3000 --fullscreen 640x480");
  EXPECT_TRUE(WaitUntil([] { return e2e::CurrentMode() == "640x480"; }, 20)) << Out();
  EXPECT_EQ(probe.get().code, 0) << Out();
  EXPECT_NE(Out().find("ZIVI3 Engine: [ Quorvel violated your windows ]"), std::string::npos) << Out();
  EXPECT_NE(Log().find("SYSTEM(Done) - The run did not end within 5 s of the crash"), std::string::npos) << Log();
  EXPECT_EQ(e2e::CurrentMode(), DESKTOP_MODE);
}

// The unit tests that skip without a display run here, where there is one.
TEST_F(E2e, UnitTestsThatNeedADisplay) {
  const Shell run = Sh("env LANG=C.UTF-8 " + std::string(UNIT_TESTS_PROGRAM) + " --gtest_filter='Dialog.*'", 60);
  EXPECT_TRUE(run.code == 0 && run.out.find("SKIPPED") == std::string::npos) << run.out;
}

}  // namespace

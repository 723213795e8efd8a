// The command line: what each option sets, what is refused and why, and the exit codes.
#include <gtest/gtest.h>

#include <initializer_list>

#include "app/App.h"
#include "ProgramRun.h"
#include "support/TestSupport.h"

namespace {

std::vector<const char*> Argv(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"zivi3"};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

// The options args give; the parse must succeed.
RunOptions Parse(std::initializer_list<const char*> args) {
  const std::vector<const char*> argv = Argv(args);
  RunOptions options;
  std::string error;
  EXPECT_TRUE(ParseCommandLine(int(argv.size()), argv.data(), options, error)) << error;
  return options;
}

test::ProgramRun RunIt(std::initializer_list<const char*> args) {
  const std::vector<const char*> argv = Argv(args);
  return test::Captured([&](std::FILE* out, std::FILE* err) { return RunProgram(int(argv.size()), argv.data(), out, err); });
}

}  // namespace

TEST(CommandLine, OptionsFillTheSettingsAndTheRun) {
  auto o = Parse({"--width", "1024", "--height", "768", "--bpp", "16", "--fullscreen", "--rate", "22050", "--no-sound",
                  "--stereo-separation", "40", "--log", "/tmp/x.log", "--console", "--batch", "--no-setup",
                  "--triangulate", "--lightwave", "demo.vpf", "--scene", "main", "--max-memory", "512"});
  const Settings& s = o.settings;
  EXPECT_TRUE(s.width == 1024 && s.height == 768 && s.colourDepth == 16 && s.sampleRate == 22050);
  EXPECT_TRUE(s.stereoSeparation == 40 && s.fullscreen && s.noSound && s.triangulate && s.lightwave);
  EXPECT_TRUE(o.logPath == "/tmp/x.log" && o.console && o.batch && o.noSetup && o.input == "demo.vpf");
  EXPECT_TRUE(o.scene == "main" && o.memoryBudget == uint64_t(512) << 20);
  EXPECT_EQ(Parse({}).memoryBudget, DefaultMemoryBudget());

  // --info, --channels, --from, --to and --step: the --info runs' channel rows.
  o = Parse({"--capture", "out.MKV", "--lossless", "--fps", "60", "--from", "0", "--to", "9", "--aa", "8",
             "--gl-device", "software"});
  EXPECT_TRUE(o.mode == MODE_CAPTURE && o.lossless && o.captureFps == 60);
  EXPECT_TRUE(o.settings.samples == 8 && o.glDevice == platform::GL_DEVICE_SOFTWARE);
  o = Parse({"--frame", "1", "--out", "f.png", "--gl-device", "2"});
  EXPECT_TRUE(o.glDevice == 2 && o.settings.samples == 1);
  EXPECT_EQ(Parse({"--frame", "1", "--out", "f.png"}).glDevice, platform::GL_DEVICE_AUTO);
}

TEST(CommandLine, RefusalsSayWhyWithExitCode2AndHelpEndsWith0) {
  struct Case {
    std::initializer_list<const char*> args;
    const char* reason;
  } cases[] = {
      {{"--width", "abc"}, "--width takes a whole number from 1 to 16384, not 'abc'"},
      {{"--height", "99999999999"}, "--height takes a whole number"},
      {{"--width"}, "--width needs a value"},
      {{"--bpp", "24"}, "--bpp takes 16 or 32, not '24'"},
      {{"--max-memory", "0"}, "--max-memory takes a whole number from 1 to 1048576"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"a.lws", "b.lws"}, "only one scene or datafile"},
      {{"--frame", "3"}, "--frame needs --out FILE.png"},
      {{"--frame", "later", "--out", "f.png"}, "--frame takes a number, not 'later'"},
      {{"--out", "f.png"}, "--out goes with --frame"},
      {{"--info", "--capture", "dir"}, "can't be combined"},
      {{"--from", "3"}, "--from and --to go with --capture or --channels"},
      {{"--channels", "0", "--from", "0", "--to", "1"}, "--channels goes with --info"},
      {{"--info", "--channels", "0", "--from", "0"}, "--channels needs --from T and --to T"},
      {{"--info", "--channels", "0", "--from", "5", "--to", "1"}, "--to must not be before --from"},
      {{"--info", "--channels", "0", "--from", "0", "--to", "1", "--step", "0"}, "--step takes a number"},
      {{"--info", "--channels", "0", "--from", "0", "--to", "1e9"}, "more than 1000000 rows"},
      {{"--info", "--step", "2"}, "--step goes with --channels"},
      {{"--capture", "out", "--from", "5", "--to", "1"}, "--to must not be before --from"},
      {{"--info", "--channels", "0", "--from", "nan", "--to", "1"}, "--from takes a number"},
      {{"--aa", "3"}, "--aa takes 1, 2, 4 or 8 samples per pixel, not '3'"},
      {{"--info", "--aa", "2"}, "--aa goes with playing, --frame or --capture"},
      {{"--gl-device", "gpu"}, "--gl-device takes auto, software or a device number, not 'gpu'"},
      {{"--gl-device", "software"}, "--gl-device goes with --frame or --capture"},
      {{"--fps", "25"}, "--fps goes with --capture or --frame"},
      {{"--capture", "out", "--fps", "0"}, "--fps takes a rate above 0 and at most 1000"},
      {{"--capture", "out", "--fps", "1000.5"}, "--fps takes a rate above 0 and at most 1000"},
      {{"--capture", "out.mp4", "--lossless"}, "--lossless goes with --capture FILE.mkv"},
  };
  for (const Case& c : cases) {
    const test::ProgramRun run = RunIt(c.args);
    EXPECT_TRUE(run.code == EXIT_USAGE && run.out.empty()) << c.reason;
    EXPECT_TRUE(test::InOrder(run.err, {"zivi3: ", c.reason, "\nTry 'zivi3 --help' for the options.\n"})) << run.err;
  }

  const test::ProgramRun help = RunIt({"--help"});
  EXPECT_TRUE(help.code == 0 && help.err.empty() && help.out.find("\n  --no-setup") != std::string::npos) << help.out;

  // Without a display, playing is refused with a pointer to what works instead.
  const test::ShellRun play = test::Shell("env -u DISPLAY -u WAYLAND_DISPLAY " ZIVI3_BINARY_DIR "/zivi3 --no-setup s.lws 2>&1");
  EXPECT_TRUE(play.code == 2 && test::InOrder(play.out, {"playing needs a display", "Try --capture"})) << play.out;
}

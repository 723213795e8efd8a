// The crash report's text, and runs of the real System (zivi3_crash_probe) faulting in ways that used to hang it.
#include "app/App.h"

#include "support/SceneText.h"
#include "support/TestSupport.h"
#include "support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>

namespace {

TEST(CrashReport, NamesTheFaultingAddressAndTheSixClassicRegistersInOrder) {
  // The guard's registers in its own order, RIP among them.
  platform::CrashInfo info{.instruction = 0x401a2b,
                           .registers = {0x1000, 0x1001, 0x1002, 0x1003, 0x1004, 0x1005, 0x1006},
                           .registerNames = {"RDI", "RSI", "RDX", "RCX", "RBX", "RAX", "RIP"},
                           .registerCount = 7};
  char report[LOG_LINE_MAX + 1];
  const size_t length = FormatCrashReport(info, report, sizeof report);
  EXPECT_EQ(std::string(report).rfind("[ Quorvel violated your windows ]\n\nException Handler returned Access Violation at "
                                      "0x00401a2b\n\nRAX: 0x0000000000001005\nRBX: 0x0000000000001004\nRCX: "
                                      "0x0000000000001003\nRDX: 0x0000000000001002\nRSI: 0x0000000000001001\nRDI: "
                                      "0x0000000000001000\n\n", 0),
            0u) << report;
  EXPECT_TRUE(length == std::strlen(report) && report[length - 1] == '\n');

  // A processor without those names: every register the guard gave, as it named them. A 64-bit
  // address takes all its digits; a buffer too small holds the report's beginning, ended.
  info = {.instruction = 0xffff800012345678, .registers = {0, 0xff}, .registerNames = {"X0", "X1"}, .registerCount = 2};
  FormatCrashReport(info, report, sizeof report);
  EXPECT_TRUE(std::strstr(report, "at 0xffff800012345678\n\nX0: 0x0000000000000000\nX1: 0x00000000000000ff\n")) << report;
  char small[12];
  EXPECT_EQ(FormatCrashReport(info, small, sizeof small), 11u);
  EXPECT_STREQ(small, "[ Quorvel v");
}

const char* const REPORT = "[ 05 ] - Houston, we have a problem\n\n[ Quorvel violated your windows ]";
const char* const DONE = "[ 03 ] - SYSTEM(Done) - System is done. Now go sleeping!";
const char* const FOOTER = "*** ZIVI3 Log System stopped ***";

TEST(CrashReport, EveryFaultIsReportedAndTheRunEndsInOrderWithZero) {
  test::VirtualDisplay display;
  if (display.Name().empty()) GTEST_SKIP() << "no Xvfb here";
  test::TempDir dir;
  // Two objects, so that a fault while the second loads leaves the first behind it.
  test::WriteSlidingSquare(dir.Path().string(), 1, 1, 30);
  std::filesystem::copy_file(dir.Path() / "square.lwo", dir.Path() / "second.lwo");
  test::WriteText(dir / "scene.lws", test::ReadText(dir / "scene.lws") + "LoadObjectLayer 1 second.lwo\n");

  const std::string box = "ZIVI3 Engine: [ Quorvel violated your windows ]", cleaned = "crash probe: cleanup ran";
  const struct {
    std::string arguments;
    int code;
    std::initializer_list<std::string> log, err;  // each in this order
  } cases[] = {
      // No fault: the driver's code is the exit code, and there is no report.
      {"return 2", 2, {"[ 03 ] - SYSTEM(Init) - ZIVI3 Debugging System started...\n",
                       "[ 03 ] - SYSTEM(Init) - Initialized BASS using NoSound technology(tm)!\n",
                       "[ 03 ] - SYSTEM(Init) - Initializing OpenGL...\n", "[ 03 ] - PROBE(Driver) - running\n",
                       "[ 03 ] - SYSTEM(Done) - Shutting down BASS...\n",
                       "[ 03 ] - SYSTEM(Done) - Shutting down texture cache...\n", DONE, FOOTER},
       {cleaned}},
      {"crash", 0, {"[ 03 ] - PROBE(Driver) - running\n", REPORT, "Access Violation at 0x", "RAX: 0x",
                    "[ 03 ] - PROBE(Cleanup)", "SYSTEM(Done) - Shutting down BASS...", DONE, FOOTER},
       {box, cleaned}},
      // The driver held the log's lock: the report, the cleanup and the shut-down write anyway.
      {"log-lock", 0, {REPORT, "[ 03 ] - PROBE(Cleanup)", DONE, FOOTER}, {box, cleaned}},
      // A real load, stopped inside the object loader with the scene half built.
      {"load " + (dir / "scene.lws") + " second.lwo", 0,
       {"LWOLDR(Load) - Loading \"square.lwo\"", "LWOLDR(Load) - Loading \"second.lwo\"", REPORT, DONE, FOOTER},
       {box, "crash probe: cleanup ran, 0 objects left"}},
      // The cleanup waits for a lock the driver never gave back: the run is ended for it.
      {"hang", 0, {REPORT, "[ 01 ] - SYSTEM(Done) - The run did not end within 5 s of the crash report", FOOTER}, {box}},
      // The cleanup faults too: what it left stays, and the run still ends in order.
      {"twice", 0, {REPORT, "[ 01 ] - SYSTEM(Run) - The cleanup after the crash faulted too", DONE, FOOTER}, {box}},
  };
  for (const auto& c : cases) {
    // A hanging run is killed after a minute; a fault leaves what it skipped unfreed: no leak report.
    const int code = test::Shell("DISPLAY=" + display.Name() + " ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" " +
                                 "timeout -k 5 60 " + ZIVI3_BINARY_DIR + "/tests/zivi3_crash_probe " +
                                 (dir / "ZIVI3.LOG") + " " + c.arguments + " 2>" + (dir / "stderr.txt"))
                         .code;
    const std::string log = test::ReadText(dir / "ZIVI3.LOG"), err = test::ReadText(dir / "stderr.txt");
    EXPECT_EQ(code, c.code) << c.arguments << "\n" << err;
    EXPECT_TRUE(test::InOrder(log, c.log)) << c.arguments << "\n" << log;
    EXPECT_TRUE(test::InOrder(err, c.err)) << c.arguments << "\n" << err;
    EXPECT_EQ(log.find("Houston") == std::string::npos, c.code != 0) << log;
    // The report goes to the log file past Log, so the terminal's log echo never shows it.
    EXPECT_EQ(err.find("Houston"), std::string::npos) << err;
  }
}

}  // namespace

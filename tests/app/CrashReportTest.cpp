// The crash report's text, and whole runs of the real System (zivi3_crash_probe) whose driver
// faults in the ways that used to leave the program hanging.
#include "app/App.h"

#include "support/SceneText.h"
#include "support/TestSupport.h"
#include "support/VirtualDisplay.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>


namespace {

TEST(CrashReport, NamesTheFaultingAddressAndTheSixClassicRegistersInOrder) {
  platform::CrashInfo info;
  info.instruction = 0x401a2b;
  info.address = 0;
  const char* names[] = {"RDI", "RSI", "RDX", "RCX", "RBX", "RAX", "RIP"};
  for (int i = 0; i < 7; ++i) {
    info.registerNames[i] = names[i];
    info.registers[i] = 0x1000u + uint64_t(i);
  }
  info.registerCount = 7;
  char report[LOG_LINE_MAX + 1];
  const std::string head =
      "[ Quorvel violated your windows ]\n\nException Handler returned Access Violation at 0x00401a2b\n\nRAX: "
      "0x0000000000001005\nRBX: 0x0000000000001004\nRCX: 0x0000000000001003\nRDX: 0x0000000000001002\nRSI: "
      "0x0000000000001001\nRDI: 0x0000000000001000\n\n";
  const size_t length = FormatCrashReport(info, report, sizeof report);
  EXPECT_EQ(std::string(report).rfind(head, 0), 0u) << report;
  EXPECT_EQ(std::string(report).find("RIP"), std::string::npos);
  EXPECT_TRUE(length == std::strlen(report) && report[length - 1] == '\n');

  // A processor without those names: every register the guard gave, as it named them. A 64-bit
  // address takes all its digits.
  platform::CrashInfo other;
  other.instruction = 0xffff800012345678;
  other.registerNames[0] = "X0";
  other.registerNames[1] = "X1";
  other.registers[1] = 0xff;
  other.registerCount = 2;
  FormatCrashReport(other, report, sizeof report);
  EXPECT_NE(std::string(report).find("at 0xffff800012345678\n\nX0: 0x0000000000000000\nX1: 0x00000000000000ff\n"),
            std::string::npos)
      << report;
  // A buffer too small for it holds its beginning, ended.
  char small[12];
  EXPECT_EQ(FormatCrashReport(other, small, sizeof small), 11u);
  EXPECT_STREQ(small, "[ Quorvel v");
}

// Whether the pieces occur in text in this order.
using test::InOrder;

struct ProbeRun {
  int code = -1;
  std::string log, err;
};

// Runs the probe with arguments on a display of its own; a run that hangs is killed after a
// minute and reads as code 124.
ProbeRun RunProbe(const test::TempDir& dir, const std::string& display, const std::string& arguments) {
  const std::string probe = std::string(ZIVI3_BINARY_DIR) + "/tests/zivi3_crash_probe";
  const std::string log = dir / "ZIVI3.LOG";
  // A run that faults on purpose leaves what the fault skipped unfreed: no leak report for it.
  const std::string command = "DISPLAY=" + display + " ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" timeout -k 5 60 " +
                              probe + " " + log + " " + arguments + " 2>" + (dir / "stderr.txt");
  return {test::Shell(command).code, test::ReadText(log), test::ReadText(dir / "stderr.txt")};
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
    const ProbeRun run = RunProbe(dir, display.Name(), c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments << "\n" << run.err;
    EXPECT_TRUE(InOrder(run.log, c.log)) << c.arguments << "\n" << run.log;
    EXPECT_TRUE(InOrder(run.err, c.err)) << c.arguments << "\n" << run.err;
    EXPECT_EQ(run.log.find("Houston") == std::string::npos, c.code != 0) << run.log;
    // The report goes to the log file past Log, so the terminal's log echo never shows it.
    EXPECT_EQ(run.err.find("Houston"), std::string::npos) << run.err;
  }
}

}  // namespace

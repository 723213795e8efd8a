// The crash report: its text from the guard's registers, and a whole run of the real System
// (zivi3_crash_probe, in a window under a real or virtual X display) whose driver faults.
#include "app/App.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>

#include <sys/wait.h>

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
  const std::string report = FormatCrashReport(info);
  EXPECT_EQ(report.rfind("[ Quorvel violated your windows ]\n\nException Handler returned Access Violation at "
                         "0x00401a2b\n\nRAX: 0x0000000000001005\nRBX: 0x0000000000001004\nRCX: "
                         "0x0000000000001003\nRDX: 0x0000000000001002\nRSI: 0x0000000000001001\nRDI: "
                         "0x0000000000001000\n\n",
                         0),
            0u)
      << report;
  EXPECT_EQ(report.find("RIP"), std::string::npos);
  EXPECT_EQ(report.back(), '\n');

  // A processor without those names: every register the guard gave, as it named them.
  platform::CrashInfo other;
  other.registerNames[0] = "X0";
  other.registerNames[1] = "X1";
  other.registers[1] = 0xff;
  other.registerCount = 2;
  const std::string otherReport = FormatCrashReport(other);
  EXPECT_NE(otherReport.find("\nX0: 0x0000000000000000\nX1: 0x00000000000000ff\n"), std::string::npos) << otherReport;
}

// Whether the pieces occur in text in this order.
bool InOrder(const std::string& text, std::initializer_list<std::string> pieces) {
  size_t at = 0;
  for (const std::string& piece : pieces)
    if ((at = text.find(piece, at)) == std::string::npos) return false;
  return true;
}

// Runs the probe with a display: the current one, or a virtual one from xvfb-run.
struct ProbeRun {
  int code = -1;
  std::string log, err;
};

bool ProbeCommand(const std::string& arguments, std::string* command) {
  const std::string probe = std::string(ZIVI3_BINARY_DIR) + "/tests/zivi3_crash_probe";
  if (!std::filesystem::exists(probe)) return false;
  const char* display = std::getenv("DISPLAY");
  if (display && *display) {
    *command = probe + " " + arguments;
    return true;
  }
  if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) return false;
  *command = "xvfb-run -a " + probe + " " + arguments;
  return true;
}

ProbeRun RunProbe(const test::TempDir& dir, const std::string& what, std::string* command) {
  ProbeRun run;
  const std::string log = dir / "ZIVI3.LOG", err = dir / "stderr.txt";
  if (!ProbeCommand(log + " " + what, command)) return run;
  const int status = std::system((*command + " 2>" + err).c_str());
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.log = test::ReadText(log);
  run.err = test::ReadText(err);
  return run;
}

TEST(CrashReport, AFaultInTheDriverIsReportedAndTheRunEndsInOrderWithZero) {
  test::TempDir dir;
  std::string command;
  ProbeRun run = RunProbe(dir, "crash", &command);
  if (command.empty()) GTEST_SKIP() << "no display and no xvfb-run here";

  EXPECT_EQ(run.code, 0) << run.err;
  // The box went to stderr (--batch) with its caption, then the cleanup ran, then Done.
  EXPECT_TRUE(InOrder(run.err, {"ZIVI3 Engine: [ Quorvel violated your windows ]", "Access Violation at 0x", "RAX: 0x",
                                 "crash probe: cleanup ran"}))
      << run.err;
  EXPECT_NE(run.err.find("crash probe: exit code 0"), std::string::npos);

  // The log: the driver's line, then the level-5 report as the last thing before the orderly
  // shut-down, and the closing line.
  const std::string report = "[ 05 ] - Houston, we have a problem\n\n[ Quorvel violated your windows ]";
  const std::string done = "[ 03 ] - SYSTEM(Done) - Shutting down BASS...";
  EXPECT_TRUE(InOrder(run.log, {"[ 03 ] - PROBE(Driver) - running\n", report, "Access Violation at 0x", done,
                                "SYSTEM(Done) - System is done. Now go sleeping!"}))
      << run.log;
  EXPECT_EQ(run.log.find("[ 0", run.log.find(report) + 5), run.log.find(done)) << "nothing logged in between";
}

TEST(CrashReport, TheDriversCodeBecomesTheExitCodeWithoutAReport) {
  test::TempDir dir;
  std::string command;
  ProbeRun run = RunProbe(dir, "return 2", &command);
  if (command.empty()) GTEST_SKIP() << "no display and no xvfb-run here";
  EXPECT_EQ(run.code, 2) << run.err;
  EXPECT_NE(run.err.find("crash probe: cleanup ran"), std::string::npos) << run.err;
  EXPECT_EQ(run.log.find("Houston"), std::string::npos);
  EXPECT_TRUE(InOrder(run.log, {"[ 03 ] - SYSTEM(Init) - ZIVI3 Debugging System started...\n",
                                "[ 03 ] - SYSTEM(Init) - Initialized BASS using NoSound technology(tm)!\n",
                                "[ 03 ] - SYSTEM(Init) - Initializing OpenGL...\n",
                                "[ 03 ] - PROBE(Driver) - running\n",
                                "[ 03 ] - SYSTEM(Done) - Shutting down BASS...\n",
                                "[ 03 ] - SYSTEM(Done) - Shutting down texture cache...\n",
                                "[ 03 ] - SYSTEM(Done) - System is done. Now go sleeping!\n"}))
      << run.log;
}

}  // namespace

#include "log/Log.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(Log, FileHasHeaderLinesAndFooterInTheFixedFormatAndCutsLongMessages) {
  test::TempDir dir;
  const std::string path = dir / "ZIVI3.LOG";
  const std::string lines =
      "*** ZIVI3 Log System started ***\n\n"
      "[ 03 ] - 007 FPS\n"
      "[ 01 ] - LWOLDR(ReadSURF) - skipped\n"
      "[ 12 ] - two digits at least\n"
      "[ 02 ] - " + std::string(255, 'x') + "\n";
  {
    LogSystem log;
    ASSERT_TRUE(log.Open(LOG_FILE, path.c_str()));
    Log(3, "%.3i FPS", 7);
    Log(1, "LWOLDR(ReadSURF) - %s", "skipped");
    Log(12, "two digits at least");
    Log(2, "%s%s", std::string(1000, 'x').c_str(), std::string(1000, 'x').c_str());
    EXPECT_EQ(test::ReadText(path), lines);  // flushed per line: complete before the shutdown
    log.Shutdown();
    log.Shutdown();  // the closing line is written once
  }
  EXPECT_EQ(test::ReadText(path), lines + "\n*** ZIVI3 Log System stopped ***");
}

TEST(Log, LevelZeroWritesItsLineThenShowsTheUnprefixedText) {
  test::TempDir dir;
  const std::string path = dir / "log";
  LogSystem log;
  log.Open(LOG_FILE, path.c_str());
  std::string fileAtMessageTime;
  platform::SetMessageHook([&](const char* caption, const char* text, platform::MessageIcon icon) {
    fileAtMessageTime = test::ReadText(path);
    EXPECT_STREQ(caption, "ZIVI3 Engine");
    EXPECT_STREQ(text, "LWOLDR(Load) - File a.lwo is invalid");
    EXPECT_EQ(icon, platform::ICON_ERROR);
  });
  Log(0, "LWOLDR(Load) - File %s is invalid", "a.lwo");
  platform::SetMessageHook(nullptr);
  EXPECT_NE(fileAtMessageTime.find("[ 00 ] - LWOLDR(Load) - File a.lwo is invalid\n"), std::string::npos);

  // Other levels show nothing.
  test::MessageCapture capture;
  Log(1, "warning");
  EXPECT_TRUE(capture.messages.empty());
}

TEST(Log, ReopeningTruncatesAndAnUnwritablePathOnlyLosesTheFile) {
  test::TempDir dir;
  const std::string path = dir / "log";
  for (const char* run : {"first run", "second run"}) {
    LogSystem log;
    log.Open(LOG_FILE, path.c_str());
    Log(3, "%s", run);
  }
  const std::string text = test::ReadText(path);
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_NE(text.find("second run"), std::string::npos);

  LogSystem nowhere;
  EXPECT_TRUE(nowhere.Open(LOG_FILE, (dir / "missing/dir/log").c_str()));
  EXPECT_EQ(nowhere.file, platform::NO_FILE);
  Log(3, "goes nowhere");  // must not crash
}

TEST(Log, ConsoleEchoesTheSameLinesToTheTerminal) {
  test::TempDir dir;
  LogSystem log;
  log.Open(LOG_FILE | LOG_CONSOLE, (dir / "log").c_str());
  testing::internal::CaptureStderr();
  Log(2, "LWSLDR(Load) - notice %d", 5);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[ 02 ] - LWSLDR(Load) - notice 5\n");
}

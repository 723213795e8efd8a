#include "log/Log.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(Log, FileHasHeaderLinesAndFooterInTheFixedFormat) {
  test::TempDir dir;
  const std::string path = dir / "ZIVI3.LOG";
  {
    LogSystem log;
    ASSERT_TRUE(log.Open(LOG_FILE, path.c_str()));
    Log(3, "%.3i FPS", 7);
    Log(1, "LWOLDR(ReadSURF) - %s", "skipped");
    Log(12, "two digits at least");
    // Flushed per line: complete before the log is shut down.
    EXPECT_EQ(test::ReadText(path),
              "*** ZIVI3 Log System started ***\n\n"
              "[ 03 ] - 007 FPS\n"
              "[ 01 ] - LWOLDR(ReadSURF) - skipped\n"
              "[ 12 ] - two digits at least\n");
    log.Shutdown();
    log.Shutdown();  // the closing line is written once
  }
  EXPECT_EQ(test::ReadText(path),
            "*** ZIVI3 Log System started ***\n\n"
            "[ 03 ] - 007 FPS\n"
            "[ 01 ] - LWOLDR(ReadSURF) - skipped\n"
            "[ 12 ] - two digits at least\n"
            "\n*** ZIVI3 Log System stopped ***");
}

TEST(Log, LongMessagesAreCutAt255Characters) {
  test::TempDir dir;
  const std::string path = dir / "log";
  LogSystem log;
  log.Open(LOG_FILE, path.c_str());
  const std::string longText(1000, 'x');
  Log(2, "%s%s", longText.c_str(), longText.c_str());
  log.Shutdown();
  const std::string text = test::ReadText(path);
  EXPECT_NE(text.find("[ 02 ] - " + std::string(255, 'x') + "\n"), std::string::npos);
  EXPECT_EQ(text.find(std::string(256, 'x')), std::string::npos);
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
  {
    LogSystem first;
    first.Open(LOG_FILE, path.c_str());
    Log(3, "first run");
  }
  {
    LogSystem second;
    second.Open(LOG_FILE, path.c_str());
    Log(3, "second run");
  }
  const std::string text = test::ReadText(path);
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_NE(text.find("second run"), std::string::npos);

  LogSystem nowhere;
  EXPECT_TRUE(nowhere.Open(LOG_FILE, (dir / "missing/dir/log").c_str()));
  EXPECT_EQ(nowhere.file, nullptr);
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

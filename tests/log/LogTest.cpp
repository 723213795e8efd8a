#include "log/Log.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(Log, FileAndTerminalGetTheFixedFormatLinePerLineWithLongMessagesCut) {
  test::TempDir dir;
  const std::string path = dir / "ZIVI3.LOG";
  const std::string header = "*** ZIVI3 Log System started ***\n\n";
  const std::string lines =
      "[ 03 ] - 007 FPS\n"
      "[ 01 ] - LWOLDR(ReadSURF) - skipped\n"
      "[ 12 ] - two digits at least\n"
      "[ 02 ] - " + std::string(255, 'x') + "\n";
  {
    LogSystem log;
    ASSERT_TRUE(log.Open(LOG_FILE | LOG_CONSOLE, path.c_str()));
    testing::internal::CaptureStderr();
    Log(3, "%.3i FPS", 7);
    Log(1, "LWOLDR(ReadSURF) - %s", "skipped");
    Log(12, "two digits at least");
    Log(2, "%s%s", std::string(1000, 'x').c_str(), std::string(1000, 'x').c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), lines);
    EXPECT_EQ(test::ReadText(path), header + lines);  // flushed per line: complete before the shutdown
    log.Shutdown();
    log.Shutdown();  // the closing line is written once
  }
  EXPECT_EQ(test::ReadText(path), header + lines + "\n*** ZIVI3 Log System stopped ***");
}

TEST(Log, LevelZeroShowsTheTextAfterLoggingItAndReopeningStartsAfresh) {
  test::TempDir dir;
  const std::string path = dir / "log";
  for (const char* run : {"first run", "second run"}) {
    const test::LogFile log(path);
    Log(3, "%s", run);
  }
  const test::LogFile log(path);
  std::string fileAtMessageTime;
  platform::SetMessageHook([&](const char* caption, const char* text, platform::MessageIcon icon) {
    fileAtMessageTime = test::ReadText(path);
    EXPECT_STREQ(caption, "ZIVI3 Engine");
    EXPECT_STREQ(text, "LWOLDR(Load) - File a.lwo is invalid");
    EXPECT_EQ(icon, platform::ICON_ERROR);
  });
  Log(0, "LWOLDR(Load) - File %s is invalid", "a.lwo");
  platform::SetMessageHook(nullptr);
  EXPECT_EQ(fileAtMessageTime, "*** ZIVI3 Log System started ***\n\n[ 00 ] - LWOLDR(Load) - File a.lwo is invalid\n");

  // Other levels show nothing; a file that can't be made only loses the file.
  test::MessageCapture capture;
  LogSystem nowhere;
  EXPECT_TRUE(nowhere.Open(LOG_FILE, (dir / "missing/dir/log").c_str()));
  EXPECT_EQ(nowhere.file, platform::NO_FILE);
  Log(1, "warning, going nowhere");
  EXPECT_TRUE(capture.messages.empty());
}

// The scene clock against a clock the test moves by hand, and the frame loop's wrap.
#include "app/Clock.h"

#include "log/Log.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ManualClock {
  uint32_t now = 0;
  SceneClock clock;
  ManualClock() { clock.clock = [this] { return now; }; }
  // frames updates, each ms milliseconds after the one before.
  void Advance(uint32_t ms, int frames = 1) {
    for (int i = 0; i < frames; ++i) now += ms, clock.Update(33);
  }
};

// Log lines of level 3 while it lives.
struct ProgressLines {
  std::vector<std::string> lines;
  ProgressLines() {
    SetLogListener([this](int level, const char* text) {
      if (level == 3) lines.push_back(text);
    });
  }
  ~ProgressLines() { SetLogListener(nullptr); }
};

TEST(SceneClock, TimeFollowsWholeMillisecondsOverThirtyThreeAndStandsWhilePaused) {
  ManualClock m;
  std::atomic<uint32_t> runFlags{0};
  m.now = 500;
  m.clock.SetTime(0);
  m.Advance(66);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 2.0f);
  EXPECT_FLOAT_EQ(m.clock.frameDelta, 2.0f);
  m.Advance(10);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 2.0f + 10.0f / 33.0f);

  // Paused: the delta is still taken and frames still counted, but the time stands.
  EXPECT_TRUE(m.clock.HandleKey(platform::KEY_SPACE, runFlags));
  const uint32_t counted = m.clock.frameCount;
  m.Advance(330);
  EXPECT_FLOAT_EQ(m.clock.frameDelta, 10.0f);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 2.0f + 10.0f / 33.0f);
  EXPECT_EQ(m.clock.frameCount, counted + 1);
  // Resumed: only the time since the last update counts, not the paused stretch.
  m.clock.HandleKey(platform::KEY_SPACE, runFlags);
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 3.0f + 10.0f / 33.0f);
  EXPECT_EQ(runFlags, 0u);

  // SetTime restarts the elapsed time from now.
  m.now += 1000;
  m.clock.SetTime(7);
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 8.0f);
}

TEST(SceneClock, KeysJumpAtTheNextUpdateAndEscapeAsksToQuit) {
  ManualClock m;
  std::atomic<uint32_t> runFlags{0};
  m.clock.SetTime(0);
  auto press = [&](uint32_t key) {
    EXPECT_TRUE(m.clock.HandleKey(key, runFlags));
    m.clock.Update(33);  // no time passes: the jump alone moves the time
    return m.clock.GetTime();
  };
  for (uint32_t digit = 1; digit <= 9; ++digit) EXPECT_FLOAT_EQ(press(platform::KEY_0 + digit), 100.0f * digit);
  EXPECT_FLOAT_EQ(press(platform::KEY_0), 2200.0f);
  EXPECT_FLOAT_EQ(press(platform::KEY_ENTER), 0.0f);
  EXPECT_FLOAT_EQ(press(platform::KEY_PAD_PLUS), 100.0f);
  EXPECT_FLOAT_EQ(press(platform::KEY_PAD_PLUS), 200.0f);

  // 5, then minus four times: 500, 400, 300, 200, 100; one more press gives 0, not -100.
  std::vector<float> seen;
  seen.push_back(press(platform::KEY_0 + 5));
  for (int i = 0; i < 5; ++i) seen.push_back(press(platform::KEY_PAD_MINUS));
  EXPECT_EQ(seen, (std::vector<float>{500, 400, 300, 200, 100, 0}));
  EXPECT_FLOAT_EQ(JumpTime(platform::KEY_PAD_MINUS, 150), 50.0f);
  EXPECT_FLOAT_EQ(JumpTime(platform::KEY_PAD_MINUS, 100), 0.0f);

  // Keys pressed between two frames all count, in order, and the elapsed time adds on top.
  for (uint32_t key : {uint32_t(platform::KEY_0 + 3), uint32_t(platform::KEY_PAD_PLUS), uint32_t(platform::KEY_PAD_MINUS),
                       uint32_t(platform::KEY_PAD_MINUS)})
    m.clock.HandleKey(key, runFlags);
  m.Advance(66);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 202.0f);
  // A key pressed before playback starts (while the scene loads) is not carried into it.
  m.clock.HandleKey(platform::KEY_0 + 7, runFlags);
  m.clock.StartPlayback();
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 1.0f);

  EXPECT_FALSE(m.clock.HandleKey('A', runFlags));
  EXPECT_EQ(runFlags, 0u);
  EXPECT_TRUE(m.clock.HandleKey(platform::KEY_ESCAPE, runFlags));
  EXPECT_EQ(runFlags, uint32_t(QUIT_REQUESTED));
}

TEST(SceneClock, FramesPerSecondAreTakenOnceJustOverASecondHasPassed) {
  ManualClock m;
  ProgressLines log;
  m.clock.SetTime(0);
  // 20 frames 50 ms apart: the clock reaches 1000 at the 20th, which is not yet "over".
  m.Advance(50, 20);
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(m.clock.frameCount, 20u);
  m.Advance(50);
  ASSERT_EQ(log.lines, std::vector<std::string>{"020 FPS"});
  EXPECT_EQ(m.clock.fps, 20u);
  EXPECT_EQ(m.clock.fpsTick, 1050u);
  EXPECT_EQ(m.clock.frameCount, 1u);  // this frame starts the next period
  m.Advance(50, 20);
  EXPECT_EQ(log.lines.size(), 1u);
  m.Advance(1);
  EXPECT_EQ(log.lines.back(), "021 FPS");
}

TEST(FrameLoop, WrapsStrictlyAfterTheLastFrameAndHonoursAQuitBeforeTheFirst) {
  ManualClock m;
  std::atomic<uint32_t> runFlags{QUIT_REQUESTED};
  std::vector<float> drawn;
  auto draw = [&](float time) { drawn.push_back(time); };
  int presents = 0;
  auto present = [&] {
    m.Advance(33);  // one frame of scene time per frame drawn
    if (++presents == 9) runFlags = CLOSE_REQUESTED;
  };
  m.clock.SetTime(0);
  // A quit during loading: no frame at all.
  EXPECT_EQ(RunFrameLoop(runFlags, m.clock, 3, draw, present), 0u);
  EXPECT_TRUE(drawn.empty());

  // Time 3 equals the last frame and is drawn; past it, the next frame is drawn at 0.
  runFlags = 0;
  EXPECT_EQ(RunFrameLoop(runFlags, m.clock, 3, draw, present), 0u);
  EXPECT_EQ(drawn, (std::vector<float>{0, 1, 2, 3, 0, 1, 2, 3, 0}));

  // A last frame of 0 draws frame 0 every time.
  drawn.clear();
  presents = 0;
  runFlags = 0;
  m.clock.SetTime(0);
  RunFrameLoop(runFlags, m.clock, 0, draw, present);
  EXPECT_EQ(drawn, std::vector<float>(9, 0.0f));
}

}  // namespace

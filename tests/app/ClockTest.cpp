// The scene clock against a clock the test moves by hand, and the frame loop's wrap.
#include "app/Clock.h"

#include "log/Log.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace platform;

struct ManualClock {
  uint32_t now = 0;
  std::atomic<uint32_t> runFlags{0};
  SceneClock clock;
  ManualClock() {
    clock.clock = [this] { return now; };
    clock.SetTime(0);
  }
  // frames updates, each ms milliseconds after the one before.
  void Advance(uint32_t ms, int frames = 1) {
    for (int i = 0; i < frames; ++i) now += ms, clock.Update(33);
  }
};

TEST(SceneClock, TimeFollowsMillisecondsOverThirtyThreeStandsWhilePausedJumpsByKeyAndCountsFrames) {
  ManualClock m;
  // 20 frames 50 ms apart reach 1000 ms, not yet over a second; the frame that takes the count
  // starts the next period, so the second count is 21.
  std::vector<std::string> lines;
  SetLogListener([&](int level, const char* text) {
    if (level == 3) lines.push_back(text);
  });
  m.Advance(50, 41);
  m.Advance(1);
  SetLogListener(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{"020 FPS", "021 FPS"}));

  m.clock.SetTime(0);
  m.Advance(66);
  EXPECT_FLOAT_EQ(m.clock.frameDelta, 2.0f);
  m.Advance(10);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 2.0f + 10.0f / 33.0f);
  // Paused: the delta is still taken, but the time stands; resumed, the paused stretch doesn't count.
  EXPECT_TRUE(m.clock.HandleKey(KEY_SPACE, m.runFlags));
  m.Advance(330);
  EXPECT_FLOAT_EQ(m.clock.frameDelta, 10.0f);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 2.0f + 10.0f / 33.0f);
  m.clock.HandleKey(KEY_SPACE, m.runFlags);
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 3.0f + 10.0f / 33.0f);
  // SetTime restarts the elapsed time from now.
  m.now += 1000;
  m.clock.SetTime(7);
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 8.0f);

  // Keys pressed between two updates with no time passing jump in order at the next update.
  const uint32_t plus = KEY_PAD_PLUS, minus = KEY_PAD_MINUS;
  const struct {
    std::vector<uint32_t> keys;
    float time;
  } steps[] = {
      {{KEY_0 + 1}, 100}, {{KEY_0 + 9}, 900}, {{KEY_0}, 2200}, {{KEY_ENTER}, 0}, {{plus, plus}, 200},
      {{KEY_0 + 5, minus, minus, minus, minus}, 100}, {{minus}, 0}, {{KEY_0 + 3, plus, minus, minus}, 200},
  };
  for (const auto& step : steps) {
    for (uint32_t key : step.keys) EXPECT_TRUE(m.clock.HandleKey(key, m.runFlags)) << key;
    m.clock.Update(33);
    EXPECT_FLOAT_EQ(m.clock.GetTime(), step.time) << step.keys[0];
  }
  // The elapsed time adds on top of a jump.
  m.clock.HandleKey(plus, m.runFlags);
  m.Advance(66);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 302.0f);
  // A key pressed before playback starts (while the scene loads) is not carried into it.
  m.clock.HandleKey(KEY_0 + 7, m.runFlags);
  m.clock.StartPlayback();
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 1.0f);

  EXPECT_FALSE(m.clock.HandleKey('A', m.runFlags));
  EXPECT_EQ(m.runFlags, 0u);
  EXPECT_TRUE(m.clock.HandleKey(KEY_ESCAPE, m.runFlags));
  EXPECT_EQ(m.runFlags, uint32_t(QUIT_REQUESTED));
}

TEST(FrameLoop, WrapsStrictlyAfterTheLastFrameAndHonoursAQuitBeforeTheFirst) {
  ManualClock m;
  m.runFlags = QUIT_REQUESTED;
  std::vector<float> drawn;
  auto draw = [&](float time) { drawn.push_back(time); };
  int presents = 0;
  auto present = [&] {
    m.Advance(33);  // one frame of scene time per frame drawn
    if (++presents % 9 == 0) m.runFlags = CLOSE_REQUESTED;
  };
  // A quit during loading: no frame at all.
  EXPECT_EQ(RunFrameLoop(m.runFlags, m.clock, 3, draw, present), 0u);

  // Time 3 equals the last frame and is drawn; past it, the next frame is drawn at 0. A last
  // frame of 0 draws frame 0 every time.
  for (float last : {3.0f, 0.0f}) {
    m.runFlags = 0;
    m.clock.SetTime(0);
    RunFrameLoop(m.runFlags, m.clock, last, draw, present);
  }
  EXPECT_EQ(drawn, (std::vector<float>{0, 1, 2, 3, 0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace

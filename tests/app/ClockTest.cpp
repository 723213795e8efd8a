// The scene clock against a clock the test moves by hand, and the frame loop's wrap on it.
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

TEST(SceneClock, FollowsMillisecondsStandsWhilePausedJumpsByKeyCountsFramesAndTheLoopWrapsAfterTheLastFrame) {
  ManualClock m;
  // 20 frames 50 ms apart make 1000 ms, not over a second; the frame that counts starts the next period: 21.
  std::vector<std::string> lines;
  SetLogListener([&](int level, const char* text) {
    if (level == 3) lines.push_back(text);
  });
  m.Advance(50, 41);
  m.Advance(1);
  SetLogListener(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{"020 FPS", "021 FPS"}));

  // Each step: keys pressed, then one update ms later, and the time after it. Jumps apply in order at the update,
  // before the elapsed time adds; a pause stands the time, and the paused stretch doesn't count once resumed.
  const uint32_t plus = KEY_PAD_PLUS, minus = KEY_PAD_MINUS, pause = KEY_SPACE;
  const struct {
    std::vector<uint32_t> keys;
    uint32_t ms;
    float time;
  } steps[] = {
      {{}, 66, 2}, {{}, 10, 2 + 10 / 33.0f}, {{pause}, 330, 2 + 10 / 33.0f}, {{pause}, 33, 3 + 10 / 33.0f},
      {{KEY_0 + 1}, 0, 100}, {{KEY_0 + 9}, 0, 900}, {{KEY_0}, 0, 2200}, {{KEY_ENTER}, 0, 0}, {{plus, plus}, 0, 200},
      {{KEY_0 + 5, minus, minus, minus, minus}, 0, 100}, {{minus}, 0, 0}, {{KEY_0 + 3, plus, minus, minus}, 0, 200},
      {{plus}, 66, 302},
  };
  m.clock.SetTime(0);
  for (const auto& step : steps) {
    for (uint32_t key : step.keys) EXPECT_TRUE(m.clock.HandleKey(key, m.runFlags)) << key;
    m.Advance(step.ms);
    EXPECT_FLOAT_EQ(m.clock.GetTime(), step.time) << "step " << &step - steps;
  }
  // SetTime restarts the elapsed time from now.
  m.now += 1000;
  m.clock.SetTime(7);
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 8.0f);
  // A key pressed before playback starts (while the scene loads) is not carried into it.
  m.clock.HandleKey(KEY_0 + 7, m.runFlags);
  m.clock.StartPlayback();
  m.Advance(33);
  EXPECT_FLOAT_EQ(m.clock.GetTime(), 1.0f);

  EXPECT_FALSE(m.clock.HandleKey('A', m.runFlags));
  EXPECT_EQ(m.runFlags, 0u);
  EXPECT_TRUE(m.clock.HandleKey(KEY_ESCAPE, m.runFlags));
  EXPECT_EQ(m.runFlags, uint32_t(QUIT_REQUESTED));

  std::vector<float> drawn;
  auto draw = [&](float time) { drawn.push_back(time); };
  int presents = 0;
  auto present = [&] {
    m.Advance(33);  // one frame of scene time per frame drawn
    if (++presents % 9 == 0) m.runFlags = CLOSE_REQUESTED;
  };
  // The frame loop: a quit during loading (the escape above) draws no frame at all.
  EXPECT_EQ(RunFrameLoop(m.runFlags, m.clock, 3, draw, present), 0u);

  // Time 3, the last frame, is drawn; past it the next frame is drawn at 0; a last frame of 0 draws 0 every time.
  for (float last : {3.0f, 0.0f}) {
    m.runFlags = 0;
    m.clock.SetTime(0);
    RunFrameLoop(m.runFlags, m.clock, last, draw, present);
  }
  EXPECT_EQ(drawn, (std::vector<float>{0, 1, 2, 3, 0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace

// The scene clock: timer update, frame counter, key jumps and the viewer's frame loop.
#include "app/Clock.h"

#include <chrono>

#include "log/Log.h"
#include "platform/Platform.h"

namespace {

const auto processStart = std::chrono::steady_clock::now();

constexpr uint32_t FPS_PERIOD_MS = 1000;
constexpr float JUMP_STEP = 100;       // frames per digit, and the keypad's step
constexpr float JUMP_ZERO_KEY = 2200;  // the 0 key's frame

}  // namespace

uint32_t ProcessMilliseconds() {
  return uint32_t(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - processStart).count());
}

float JumpTime(uint32_t key, float time) {
  using namespace platform;
  if (key == KEY_0) return JUMP_ZERO_KEY;
  if (key > KEY_0 && key <= KEY_0 + 9) return JUMP_STEP * float(key - KEY_0);
  switch (key) {
    case KEY_ENTER: return 0;
    case KEY_PAD_PLUS: return time + JUMP_STEP;
    case KEY_PAD_MINUS: return time > JUMP_STEP ? time - JUMP_STEP : 0;
    default: return time;
  }
}

void SceneClock::SetTime(float t) {
  time = t;
  lastTick = clock();
}

void SceneClock::StartPlayback() {
  {
    std::lock_guard<std::mutex> lock(jumpMutex);
    pendingJumps.clear();
  }
  SetTime(0);
}

void SceneClock::ApplyJumps() {
  std::lock_guard<std::mutex> lock(jumpMutex);
  if (pendingJumps.empty()) return;
  float t = time;
  for (uint32_t key : pendingJumps) t = JumpTime(key, t);
  pendingJumps.clear();
  time = t;
}

void SceneClock::Update(uint32_t msPerFrame) {
  ApplyJumps();
  const uint32_t now = clock();
  // Unsigned difference: right across the clock's wrap too.
  frameDelta = float(now - lastTick) / float(msPerFrame ? msPerFrame : 1);
  if (!paused) time = time + frameDelta;
  const uint32_t afterDelta = clock();
  if (afterDelta - fpsTick > FPS_PERIOD_MS) {
    fps = frameCount;
    frameCount = 0;
    Log(3, "%.3i FPS", int(fps));
    fpsTick = afterDelta;
  }
  frameCount += 1;
  // Read anew, after the logging.
  lastTick = clock();
}

bool SceneClock::HandleKey(uint32_t key, std::atomic<uint32_t>& runFlags) {
  using namespace platform;
  if (key == KEY_ESCAPE) {
    runFlags |= QUIT_REQUESTED;
    return true;
  }
  if (key == KEY_SPACE) {
    paused = !paused;
    return true;
  }
  if ((key >= KEY_0 && key <= KEY_0 + 9) || key == KEY_ENTER || key == KEY_PAD_PLUS || key == KEY_PAD_MINUS) {
    std::lock_guard<std::mutex> lock(jumpMutex);
    pendingJumps.push_back(key);
    return true;
  }
  return false;
}

uint32_t RunFrameLoop(const std::atomic<uint32_t>& runFlags, SceneClock& clock, float lastFrame,
                      const std::function<void(float time)>& draw, const std::function<void()>& present) {
  if (runFlags != 0) return 0;
  do {
    draw(clock.GetTime());
    present();
    if (clock.GetTime() > lastFrame) clock.SetTime(0);
  } while (runFlags == 0);
  return 0;
}

// The scene clock and the keys that move it, apart from any window so that they can be driven
// by a clock of the caller's choosing: the timer update of every presented frame, the frame
// counter behind the FPS overlay, and the viewer's frame loop with its wrap past the last frame.
//
// Threads: the render thread owns the clock (Update, SetTime, GetTime, the loop); the main
// thread only hands it keys (HandleKey) and reads the shared words. A key's jump of the time is
// queued and applied by the render thread at its next timer update, so a jump can't be lost to
// the render thread writing back an older time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// runFlags, the word the main thread and the render thread share.
enum : uint32_t {
  QUIT_REQUESTED = 1,   // Escape
  THREAD_DONE = 2,      // the render thread has finished
  CLOSE_REQUESTED = 4,  // the window's close button
  RUN_FLAGS_DONE = 6,   // the render thread's last word
};

// Milliseconds since the process started.
uint32_t ProcessMilliseconds();

using ClockFunction = std::function<uint32_t()>;

struct SceneClock {
  ClockFunction clock = ProcessMilliseconds;  // whole milliseconds
  uint32_t lastTick = 0;    // clock at the end of the last timer update
  uint32_t fpsTick = 0;     // clock when the frames per second were last taken
  uint32_t fps = 0;         // frames of the last completed period of just over a second
  uint32_t frameCount = 0;  // frames since fpsTick
  float frameDelta = 0;     // frames the last update added
  std::atomic<float> time{0};       // scene time in frames
  std::atomic<bool> paused{false};  // Space: the time stands while frames go on

  float GetTime() const { return time.load(); }
  // The time becomes t and the elapsed time counts from now.
  void SetTime(float t);
  // The first frame of playback: time 0, counted from now, and no key jump queued before it
  // (keys pressed while the scene loaded were not meant for the demo).
  void StartPlayback();
  // Once per presented frame: pending key jumps, then time += elapsed ms / msPerFrame unless
  // paused, then the frame counter (logging "%.3i FPS" at level 3 once a second has passed).
  void Update(uint32_t msPerFrame);

  // A key of the main thread: Escape sets QUIT_REQUESTED in runFlags, Space toggles the pause,
  // digits, Enter and the keypad's plus and minus queue a jump of the time. False for a key
  // that does nothing.
  bool HandleKey(uint32_t key, std::atomic<uint32_t>& runFlags);

 private:
  void ApplyJumps();
  std::mutex jumpMutex;
  std::vector<uint32_t> pendingJumps;  // keys in the order pressed
};

// The time a jump key gives from time: 1-9 → 100 × digit, 0 → 2200, Enter → 0, keypad plus
// → time + 100, keypad minus → time − 100 above 100, else 0. Any other key keeps time.
float JumpTime(uint32_t key, float time);

// The viewer's frame loop. Nothing is drawn when runFlags is already set (a quit during
// loading). Otherwise, until runFlags is set: draw(time), present() (which updates the clock),
// and the time goes back to 0 once it is strictly past lastFrame. Returns 0.
uint32_t RunFrameLoop(const std::atomic<uint32_t>& runFlags, SceneClock& clock, float lastFrame,
                      const std::function<void(float time)>& draw, const std::function<void()>& present);

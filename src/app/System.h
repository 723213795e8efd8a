// The application object: the display settings, the engine speed and the texture cache that
// the scene and the loaders read, and the window, render thread and scene clock of a play run.
// Everything a loader or the renderer uses is inline here, so any module can include this
// without linking the application; the window side lives behind an opaque pointer and needs no
// window-system header.
#pragma once

#include "app/Clock.h"
#include "textures/Textures.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct LogSystem;
struct SystemShell;  // window, render thread and their requests (System.cpp)

// The setup choices, filled with these defaults and then by the dialog or the command line.
struct Settings {
  uint32_t width = 640;          // client width in pixels
  uint32_t height = 480;         // client height in pixels
  uint32_t colourDepth = 32;     // 16 or 32 bits per pixel
  uint32_t sampleRate = 44100;   // sound output rate, Hz
  uint32_t stereoSeparation = 100;  // music's stereo separation, percent: 0 mono, 100 the module's panning
  uint8_t use16Bit = 1;          // stored only
  uint8_t stereo = 1;            // stored only
  uint8_t bilinear = 1;          // stored only
  uint8_t mipMapping = 1;        // stored only
  uint8_t fullscreen = 0;
  uint8_t noSound = 0;
  uint8_t widescreen = 1;        // render into a centred 16:9 band
  bool triangulate = false;      // the object loader splits polygons of more than three corners
  // Show the scene as LightWave itself does (envelope behaviours, every projection, smoothing by
  // angle, its item and light rules) instead of the classic engine's simplified look.
  bool lightwave = false;
  uint32_t samples = 1;          // multisampled drawing: at least this many samples per pixel above 1
};

inline constexpr const char* SYSTEM_TITLE = "Zadoze R3";

// The render thread's body: runs with the GL context current, returns when runFlags is set (or
// earlier) with an exit code. Its companion runs after it, also after a crash inside it.
using ViewerProcedure = std::function<uint32_t(std::atomic<uint32_t>& runFlags)>;
using CleanupProcedure = std::function<void()>;

struct System {
  float engineSpeed = 30;        // frames of scene time per second
  uint32_t msPerFrame = 33;      // 1000 / engineSpeed, remainder dropped
  Settings settings;
  int32_t widescreenHeight = 360;  // height of the 16:9 band for settings.width
  // Collects the texture names the loaders give and loads them once the scene is ready.
  TextureCache textureCache;

  // ---- A play run: Init, Run, Done ----
  std::string title;
  SceneClock clock;                   // scene time, pause, frames per second
  std::atomic<uint32_t> runFlags{0};  // QUIT_REQUESTED, THREAD_DONE, CLOSE_REQUESTED
  std::atomic<uint64_t> presentedFrames{0};  // every Present since Init, for watchers
  uint32_t driverResult = 0;          // what the driver returned (read after THREAD_DONE)
  bool crashed = false;               // the driver ended in an access violation, reported
  bool cleanupAbandoned = false;      // the cleanup after the crash faulted too: what it left stays
  LogSystem* log = nullptr;           // where Init opened the log; the crash report goes there
  std::unique_ptr<SystemShell, void (*)(SystemShell*)> shell{nullptr, nullptr};

  // A speed of 0 (or less) would make a frame last forever: it is refused and the speed kept.
  void SetEngineSpeed(float framesPerSecond) {
    if (!(framesPerSecond > 0)) return;
    engineSpeed = framesPerSecond;
    msPerFrame = uint32_t(1000.0f / framesPerSecond);
  }

  // Takes new settings and derives the band height from the width (640 → 360, 1024 → 576).
  void ApplySettings(const Settings& chosen) {
    settings = chosen;
    widescreenHeight = int32_t(float(chosen.width) / 16.0f * 9.0f);
  }

  void AddTextureReference(const char* name) { textureCache.AddReference(name); }

  // On the main thread. Takes the settings, opens the hidden window, opens logSystem with
  // logFlags at logPath and starts the sound output. 0 on success; 1 when the window can't be
  // made or the sound can't start (after its message box).
  int Init(const char* windowTitle, const Settings& chosen, LogSystem* logSystem, uint32_t logFlags,
           const char* logPath);
  // Runs driver on the render thread (context, full screen, GL state, the driver inside the
  // crash guard, cleanup, release) while the main thread pumps the window's events: keys,
  // close requests. Returns 0 once the render thread is done; 1 at once without a driver or
  // an Init.
  int Run(ViewerProcedure driver, CleanupProcedure cleanup);
  // Stops the sound, frees the texture cache, shuts the log down and closes the window.
  void Done();

  // Render thread, with the context current.
  void Clear();
  float GetTime() const { return clock.GetTime(); }
  void SetTime(float t) { clock.SetTime(t); }
  // The FPS overlay, the timer update and the buffer swap.
  void Present();
  // A loading screen of text over a bar filled to fraction, swapped onto the window.
  void ShowProgress(const char* text, float fraction);
};

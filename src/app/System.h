// The application object: the engine the scenes, loaders and renderer read (the display
// settings, the engine speed, the texture cache, the action factory), and the window, render
// thread and scene clock of a play run. The window side lives behind an opaque pointer and needs
// no window-system header.
#pragma once

#include "app/Clock.h"
#include "scene/Scene.h"
#include "textures/Textures.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct LogSystem;
struct SystemShell;  // window, render thread and their requests (System.cpp)

inline constexpr const char* SYSTEM_TITLE = "Zadoze R3";

// The render thread's body: runs with the GL context current, returns when runFlags is set (or
// earlier) with an exit code. Its companion runs after it, also after a crash inside it.
using ViewerProcedure = std::function<uint32_t(std::atomic<uint32_t>& runFlags)>;
using CleanupProcedure = std::function<void()>;

// The engine fields (settings, engine speed, band height) are the scenes' own record; a System
// lends its texture cache and the demo actions' factory to every scene attached to it.
struct System : Engine {
  // Collects the texture names the loaders give and loads them once the scene is ready.
  TextureCache textureCache;

  // Points the engine at this texture cache and at the demo actions' factory.
  System();

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

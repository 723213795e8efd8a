// The System of a play run: Init on the main thread, the render thread that owns the GL context
// and runs the driver inside the crash guard, the main thread's event loop, Present, and Done.
//
// The window system wants windows shown and switched to full screen from the main thread, while
// the render thread decides when (after its context exists, and at its end). The render thread
// therefore asks, through one request word, and the main thread carries the request out between
// events, also while it waits for the render thread after a close request, so the render thread
// never waits on a main thread that doesn't answer.
#include "app/App.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>

#include "actions/Actions.h"
#include "app/Overlay.h"
#include "log/Log.h"
#include "platform/Platform.h"
#include "render/Render.h"
#include "sound/Sound.h"

static_assert(Settings{}.stereoSeparation == sound::STEREO_SEPARATION_DEFAULT,
              "the stereo separation setting defaults to libopenmpt's own");

namespace {

const char* const SOUND_CAPTION = "Error";
const char* const SOUND_TEXT = "Trouble with Sound. Bad that this Demo needs Sound.";
const char* const FULLSCREEN_CAPTION = "DUZUR";
const char* const FULLSCREEN_TEXT = "Error initializing fullscreen. Mode may not be supported!";
const char* const CRASH_CAPTION = "ZIVI3 Engine";

// Requests of the render thread, carried out by the main thread.
enum : int { REQUEST_NONE, REQUEST_SHOW, REQUEST_FULLSCREEN, REQUEST_RESTORE };
constexpr int ANSWER_PENDING = -1;

constexpr auto EVENT_SLEEP = std::chrono::milliseconds(1);
constexpr auto CLOSE_WAIT_SLEEP = std::chrono::milliseconds(100);

// After a crash the faulting code may hold any lock it had taken: the allocator's, the mixer's,
// the window system's. Once the report is dismissed, the rest of the run gets this long to end
// in order before the process ends without it; and the render thread waits this long at most
// for the main thread to restore the desktop.
constexpr uint32_t CRASH_END_LIMIT_MS = 5000;
constexpr uint32_t CRASH_ASK_LIMIT_MS = 2000;
constexpr auto WATCHDOG_SLEEP = std::chrono::milliseconds(20);

}  // namespace

struct SystemShell {
  platform::Window* window = nullptr;
  bool fullscreen = false;  // the full-screen choice
  ViewerProcedure driver;
  CleanupProcedure cleanup;
  std::thread renderThread;
  std::atomic<int> request{REQUEST_NONE};
  std::atomic<int> answer{ANSWER_PENDING};
  // Watches a crashed run: ProcessMilliseconds by which it must have ended, 0 while none crashed.
  std::thread watchdog;
  std::atomic<uint32_t> crashDeadline{0};
  std::atomic<bool> stopWatchdog{false};

  ~SystemShell() {
    if (renderThread.joinable()) renderThread.join();
    stopWatchdog = true;
    if (watchdog.joinable()) watchdog.join();
    platform::CloseWindow(window);
  }
};

namespace {

void DeleteShell(SystemShell* shell) { delete shell; }

// Render thread: hands request to the main thread and waits for its answer, at most limitMs
// when it is not 0 (then ANSWER_PENDING when none came).
int AskMainThread(SystemShell& shell, int request, uint32_t limitMs = 0) {
  shell.answer = ANSWER_PENDING;
  shell.request = request;
  const uint32_t start = ProcessMilliseconds();
  while (shell.answer == ANSWER_PENDING) {
    if (limitMs && ProcessMilliseconds() - start > limitMs) return ANSWER_PENDING;
    std::this_thread::sleep_for(EVENT_SLEEP);
  }
  return shell.answer;
}

// Main thread: carries out a waiting request.
void AnswerRequest(System& system) {
  SystemShell& shell = *system.shell;
  const int request = shell.request.exchange(REQUEST_NONE);
  if (request == REQUEST_NONE) return;
  int answer = 0;
  switch (request) {
    case REQUEST_SHOW:
      platform::ShowWindow(shell.window);
      break;
    case REQUEST_FULLSCREEN:
      answer = platform::EnterFullscreen(shell.window, system.settings.width, system.settings.height,
                                         system.settings.colourDepth);
      break;
    case REQUEST_RESTORE:
      platform::LeaveFullscreen(shell.window);
      break;
  }
  shell.answer = answer;
}

// Ends a crashed run that has not ended CRASH_END_LIMIT_MS after its report: the log gets a line
// and its closing line, and the process ends with 0, as a reported crash does.
void Watchdog(System* system, SystemShell* watched) {
  // The shell is handed over, not read from the System: a watchdog that first runs after Done
  // has begun would find the System's pointer to it already cleared.
  SystemShell& shell = *watched;
  while (!shell.stopWatchdog) {
    const uint32_t deadline = shell.crashDeadline;
    if (deadline != 0 && int32_t(ProcessMilliseconds() - deadline) > 0) {
      Log(1, "SYSTEM(Done) - The run did not end within %u s of the crash report; ending it here",
          CRASH_END_LIMIT_MS / 1000);
      if (system->log) system->log->Shutdown();
      std::_Exit(0);
    }
    std::this_thread::sleep_for(WATCHDOG_SLEEP);
  }
}

void CallDriver(void* context) {
  System* system = static_cast<System*>(context);
  try {
    system->driverResult = system->shell->driver(system->runFlags);
  } catch (const std::exception& error) {
    // Nothing a driver throws may end the process: the run ends as a failed load.
    Log(1, "SYSTEM(Run) - The viewer ended on an exception: %s", error.what());
    system->driverResult = EXIT_SCENE_FAILED;
  }
}

void CallCleanup(void* context) { static_cast<SystemShell*>(context)->cleanup(); }

// The report of a fault in the driver: formatted on this thread's stack, written to the log
// file past Log, shown, and dismissed.
void ReportCrash(System& system, const platform::CrashInfo& crash) {
  char report[LOG_LINE_MAX + 1];
  FormatCrashReport(crash, report, sizeof report);
  if (system.log) system.log->WriteCrashReport(report);
  platform::ShowMessage(CRASH_CAPTION, report, platform::ICON_INFORMATION);
}

void RenderThread(System* system) {
  SystemShell& shell = *system->shell;
  Log(3, "SYSTEM(Init) - Initializing OpenGL...");
  platform::AdviseAllocatorForDrawing();
  if (!platform::CreateWindowContext(shell.window)) {
    Log(1, "SYSTEM(Init) - No OpenGL context for the window: %s", platform::WindowError());
    system->runFlags = RUN_FLAGS_DONE;
    return;
  }
  LogGlContext("Init");
  AskMainThread(shell, REQUEST_SHOW);
  if (shell.fullscreen) {
    const int result = AskMainThread(shell, REQUEST_FULLSCREEN);
    if (result != platform::FULLSCREEN_ON) {
      if (result == platform::FULLSCREEN_MODE_UNREADABLE) {
        platform::ShowMessage(FULLSCREEN_CAPTION, FULLSCREEN_TEXT, platform::ICON_ERROR);
      } else {
        // No box for a refused mode; the log at least says why the run ended at once.
        Log(1, "SYSTEM(Init) - The display refused a %ux%u full-screen mode", system->settings.width,
            system->settings.height);
      }
      platform::ReleaseWindowContext(shell.window);
      system->runFlags = RUN_FLAGS_DONE;
      return;
    }
  }
  SetupRenderState();

  platform::CrashInfo crash;
  const bool crashed = !platform::RunGuarded(CallDriver, system, &crash);
  if (crashed) {
    system->crashed = true;
    system->driverResult = 0;
    ReportCrash(*system, crash);
    shell.crashDeadline = ProcessMilliseconds() + CRASH_END_LIMIT_MS;
    // The desktop first: any step after this one may meet a lock the faulting code still holds.
    if (shell.fullscreen) AskMainThread(shell, REQUEST_RESTORE, CRASH_ASK_LIMIT_MS);
  }
  // The cleanup deletes the scene's display lists and textures, so the context it made them in
  // is still current. After a crash it frees what the driver half built; should that fault too,
  // the rest stays until the process ends.
  if (shell.cleanup && crashed && !platform::RunGuarded(CallCleanup, &shell, nullptr)) {
    system->cleanupAbandoned = true;
    Log(1, "SYSTEM(Run) - The cleanup after the crash faulted too; what it did not free stays until the end");
  } else if (shell.cleanup && !crashed) {
    shell.cleanup();
  }
  platform::ReleaseWindowContext(shell.window);
  if (shell.fullscreen) AskMainThread(shell, REQUEST_RESTORE, crashed ? CRASH_ASK_LIMIT_MS : 0);
  system->runFlags = RUN_FLAGS_DONE;
}

}  // namespace

size_t FormatCrashReport(const platform::CrashInfo& info, char* text, size_t size) {
  size_t length = 0;
  auto append = [&](const char* piece) {
    for (; *piece && length + 1 < size; ++piece) text[length++] = *piece;
  };
  // At least digits hexadecimal digits, as "%.Nllx" writes them.
  auto appendHex = [&](uint64_t value, int digits) {
    char hex[17];
    int n = 0;
    do {
      hex[n++] = "0123456789abcdef"[value & 15];
      value >>= 4;
    } while (value != 0 || n < digits);
    char piece[20] = {'0', 'x'};
    for (int i = 0; i < n; ++i) piece[2 + i] = hex[n - 1 - i];
    piece[2 + n] = '\0';
    append(piece);
  };
  auto appendRegister = [&](const char* name, uint64_t value) {
    append(name);
    append(": ");
    appendHex(value, 16);
    append("\n");
  };
  if (size == 0) return 0;

  append("[ Quorvel violated your windows ]\n\nException Handler returned Access Violation at ");
  appendHex(info.instruction, 8);
  append("\n\n");
  // The six registers of the classic report, where the processor has them; any other
  // processor's general registers as the guard named them.
  const char* const CLASSIC[] = {"RAX", "RBX", "RCX", "RDX", "RSI", "RDI"};
  const int count = info.registerCount < platform::CrashInfo::REGISTERS_MAX ? info.registerCount
                                                                             : platform::CrashInfo::REGISTERS_MAX;
  int printed = 0;
  for (const char* name : CLASSIC) {
    for (int i = 0; i < count; ++i) {
      if (info.registerNames[i] && std::strcmp(info.registerNames[i], name) == 0) {
        appendRegister(name, info.registers[i]);
        ++printed;
        break;
      }
    }
  }
  for (int i = 0; printed == 0 && i < count; ++i)
    appendRegister(info.registerNames[i] ? info.registerNames[i] : "?", info.registers[i]);
  append("\nIf this keeps happening, please send ZIVI3.LOG to the demo's authors.\n");
  text[length] = '\0';
  return length;
}

void LogGlContext(const char* function) {
  // Strings a driver doesn't give are named as missing rather than passed on as null.
  auto text = [](GLenum name) {
    const GLubyte* value = glGetString(name);
    return value ? reinterpret_cast<const char*>(value) : "(none)";
  };
  Log(3, "SYSTEM(%s) - GL vendor: %s", function, text(GL_VENDOR));
  Log(3, "SYSTEM(%s) - GL renderer: %s", function, text(GL_RENDERER));
  Log(3, "SYSTEM(%s) - GL version: %s", function, text(GL_VERSION));
  GLint samples = 0;
  glGetIntegerv(GL_SAMPLES, &samples);
  if (samples > 1) Log(3, "SYSTEM(%s) - Multisampling: %d samples per pixel", function, int(samples));
}

System::System() {
  textures = &textureCache;
  actionFactory = CreateNullAction;
}

int System::Init(const char* windowTitle, const Settings& chosen, LogSystem* logSystem, uint32_t logFlags,
                 const char* logPath) {
  ApplySettings(chosen);
  title = windowTitle ? windowTitle : "";
  platform::Window* window =
      platform::OpenWindow(title.c_str(), settings.width, settings.height, settings.colourDepth, settings.samples);
  if (!window) {
    std::fprintf(stderr, "zivi3: can't open a window: %s\n", platform::WindowError());
    return EXIT_NOT_STARTED;
  }
  shell = {new SystemShell, DeleteShell};
  shell->window = window;
  shell->fullscreen = settings.fullscreen != 0;

  log = logSystem;
  if (log) log->Open(logFlags, logPath);
  Log(3, "SYSTEM(Init) - ZIVI3 Debugging System started...");

  const bool noSound = settings.noSound != 0;
  if (!sound::Init(noSound ? sound::DEVICE_NO_OUTPUT : sound::DEVICE_DEFAULT, settings.sampleRate)) {
    platform::ShowMessage(SOUND_CAPTION, SOUND_TEXT, platform::ICON_ERROR);
    shell.reset();
    return EXIT_NOT_STARTED;
  }
  Log(3, noSound ? "SYSTEM(Init) - Initialized BASS using NoSound technology(tm)!" : "SYSTEM(Init) - Initialized BASS!");
  sound::Set3DFactors(1.0f, 0.35f, 0.0f);
  sound::SetStereoSeparation(int32_t(settings.stereoSeparation));
  return 0;
}

int System::Run(ViewerProcedure driver, CleanupProcedure cleanup) {
  if (!driver || !shell) return 1;
  runFlags = 0;
  shell->driver = std::move(driver);
  shell->cleanup = std::move(cleanup);
  // Started before any crash can happen: a thread started after one would need the allocator,
  // which the fault may have left locked.
  if (!shell->watchdog.joinable()) shell->watchdog = std::thread(Watchdog, this, shell.get());
  shell->renderThread = std::thread(RenderThread, this);

  while (!(runFlags & THREAD_DONE)) {
    AnswerRequest(*this);
    platform::WindowEvent event;
    if (platform::PollWindowEvent(&event)) {
      if (event.kind == platform::WINDOW_KEY_DOWN) {
        clock.HandleKey(event.key, runFlags);
      } else {
        // The window closes only once the render thread is done with it.
        runFlags |= CLOSE_REQUESTED;
        while (!(runFlags & THREAD_DONE)) {
          AnswerRequest(*this);
          std::this_thread::sleep_for(CLOSE_WAIT_SLEEP);
        }
      }
    }
    if (runFlags & THREAD_DONE) break;
    std::this_thread::sleep_for(EVENT_SLEEP);
  }
  // THREAD_DONE is the thread's last act: this returns at once.
  shell->renderThread.join();
  return 0;
}

void System::Done() {
  Log(3, "SYSTEM(Done) - Shutting down BASS...");
  sound::Stop();
  sound::Free();
  Log(3, "SYSTEM(Done) - Shutting down texture cache...");
  textureCache.Free();
  Log(3, "SYSTEM(Done) - System is done. Now go sleeping!");
  if (log) log->Shutdown();
  shell.reset();
}

void System::Clear() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

void System::Present() {
  char text[256];
  std::snprintf(text, sizeof text, "ZIVI3-NT FPS: %.4i", int(clock.fps));
  DrawOverlayText(settings.width, settings.height, 0, 0, text);
  clock.Update(msPerFrame);
  if (shell) platform::SwapWindow(shell->window);
  presentedFrames += 1;
}

void System::ShowProgress(const char* text, float fraction) {
  DrawLoadingScreen(settings.width, settings.height, text, fraction);
  if (shell) platform::SwapWindow(shell->window);
}

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
#include <cstring>
#include <thread>

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
constexpr int CRASH_LEVEL = 5;

// Requests of the render thread, carried out by the main thread.
enum : int { REQUEST_NONE, REQUEST_SHOW, REQUEST_FULLSCREEN, REQUEST_RESTORE };
constexpr int ANSWER_PENDING = -1;

constexpr auto EVENT_SLEEP = std::chrono::milliseconds(1);
constexpr auto CLOSE_WAIT_SLEEP = std::chrono::milliseconds(100);

}  // namespace

struct SystemShell {
  platform::Window* window = nullptr;
  bool fullscreen = false;  // the full-screen choice
  ViewerProcedure driver;
  CleanupProcedure cleanup;
  std::thread renderThread;
  std::atomic<int> request{REQUEST_NONE};
  std::atomic<int> answer{ANSWER_PENDING};

  ~SystemShell() {
    if (renderThread.joinable()) renderThread.join();
    platform::CloseWindow(window);
  }
};

namespace {

void DeleteShell(SystemShell* shell) { delete shell; }

// Render thread: hands request to the main thread and waits for its answer.
int AskMainThread(SystemShell& shell, int request) {
  shell.answer = ANSWER_PENDING;
  shell.request = request;
  while (shell.answer == ANSWER_PENDING) std::this_thread::sleep_for(EVENT_SLEEP);
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

// Writes the report straight into the log file, past Log (and so past the terminal echo).
void WriteCrashToLog(LogSystem* log, const std::string& report) {
  if (!log) return;
  // The fault may have struck while this thread held the log's lock: then the lock never comes
  // free, and after a short wait the report is written anyway.
  std::unique_lock<std::mutex> lock(log->writeMutex, std::defer_lock);
  for (int attempt = 0; attempt < 100 && !lock.try_lock(); ++attempt) std::this_thread::sleep_for(EVENT_SLEEP);
  if ((log->flags & LOG_FILE) && log->file) {
    std::fprintf(log->file, "[ %.2i ] - Houston, we have a problem\n\n%s\n", CRASH_LEVEL, report.c_str());
    std::fflush(log->file);
  }
}

void CallDriver(void* context) {
  System* system = static_cast<System*>(context);
  system->driverResult = system->shell->driver(system->runFlags);
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
  if (!platform::RunGuarded(CallDriver, system, &crash)) {
    system->crashed = true;
    system->driverResult = 0;
    const std::string report = FormatCrashReport(crash);
    WriteCrashToLog(system->log, report);
    platform::ShowMessage(CRASH_CAPTION, report.c_str(), platform::ICON_INFORMATION);
  }
  // The cleanup deletes the scene's display lists and textures, so the context it made them in
  // is still current.
  if (shell.cleanup) shell.cleanup();
  platform::ReleaseWindowContext(shell.window);
  if (shell.fullscreen) AskMainThread(shell, REQUEST_RESTORE);
  system->runFlags = RUN_FLAGS_DONE;
}

}  // namespace

std::string FormatCrashReport(const platform::CrashInfo& info) {
  char text[LOG_LINE_MAX + 1];
  int length = std::snprintf(text, sizeof text,
                             "[ Quorvel violated your windows ]\n\nException Handler returned Access Violation at "
                             "0x%.8llx\n\n",
                             static_cast<unsigned long long>(info.instruction));
  // Every line is a register line; only the last, fixed one is appended apart.
  auto append = [&](const char* name, uint64_t value) {
    if (length < 0 || size_t(length) >= sizeof text) return;
    length += std::snprintf(text + length, sizeof text - size_t(length), "%s: 0x%.16llx\n", name,
                            static_cast<unsigned long long>(value));
  };
  // The six registers of the classic report, where the processor has them; any other
  // processor's general registers as the guard named them.
  const char* const CLASSIC[] = {"RAX", "RBX", "RCX", "RDX", "RSI", "RDI"};
  int printed = 0;
  for (const char* name : CLASSIC) {
    for (int i = 0; i < info.registerCount && i < platform::CrashInfo::REGISTERS_MAX; ++i) {
      if (info.registerNames[i] && std::strcmp(info.registerNames[i], name) == 0) {
        append(name, info.registers[i]);
        ++printed;
        break;
      }
    }
  }
  if (printed == 0) {
    for (int i = 0; i < info.registerCount && i < platform::CrashInfo::REGISTERS_MAX; ++i) {
      append(info.registerNames[i] ? info.registerNames[i] : "?", info.registers[i]);
    }
  }
  if (length >= 0 && size_t(length) < sizeof text)
    std::snprintf(text + length, sizeof text - size_t(length),
                  "\nIf this keeps happening, please send ZIVI3.LOG to the demo's authors.\n");
  return text;
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

// The log: one program-wide LogSystem and the Log entry point every module writes through.
//
// Levels: 0 error the user must see (also shown in a message box captioned "ZIVI3 Engine"),
// 1 warning, 2 notice, 3 progress and reports, 5 the crash report.
// Lines read "[ %.2i ] - %s"; messages are module tag, function, " - ", text, e.g.
// "LWOLDR(ReadPOLS) - File %s contains polygons with more than three vertices!".
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/Platform.h"

enum : uint32_t { LOG_FILE = 1, LOG_CONSOLE = 2 };

// Where the log file goes unless the command line names another path.
inline constexpr const char* LOG_DEFAULT_PATH = "ZIVI3.LOG";
// Longest message Log formats (the rest is cut); longest line Write builds.
inline constexpr int LOG_MESSAGE_MAX = 255;
inline constexpr int LOG_LINE_MAX = 4095;
// How long a writer waits for a log lock before it counts the lock as abandoned.
inline constexpr uint32_t LOG_LOCK_PATIENCE_MS = 500;

// A lock of the log. Code that faults while holding it never gives it back (the crash guard
// leaves it at once, past every release), and the report of that very fault, the cleanup and the
// shut-down still have lines to write. So no one waits for it for long: after
// LOG_LOCK_PATIENCE_MS without it the lock counts as abandoned, and from then on nobody waits.
struct LogLock {
  std::atomic<bool> held{false};
  std::atomic<bool> abandoned{false};

  // True when taken: Release it. False when abandoned: go ahead without it.
  bool Acquire();
  void Release();
};

// The program's LogSystem. Constructing one makes it the target of Log until it is destroyed
// (or another is constructed), so the program has exactly one in use at a time. Every line is
// written to the file with one unbuffered write, so the file is complete up to the last line
// even after a crash.
struct LogSystem {
  uint32_t flags = 0;               // LOG_FILE | LOG_CONSOLE
  int file = platform::NO_FILE;     // the open log file (unbuffered), or none
  LogLock writeLock;                // keeps Open, Write and Shutdown apart

  LogSystem();
  ~LogSystem();
  LogSystem(const LogSystem&) = delete;
  LogSystem& operator=(const LogSystem&) = delete;

  // Always true; a file that can't be created only means no file lines are written.
  // LOG_CONSOLE echoes every line to the terminal (stderr).
  bool Open(uint32_t flags, const char* path, void* parent = nullptr);
  // Writes "[ %.2i ] - text" to the file and/or the terminal.
  void Write(int level, const char* text);
  // Writes "[ 05 ] - Houston, we have a problem", a blank line and the report to the file
  // only. Uses no heap and waits for no lock beyond its patience: it runs right after a fault,
  // whatever the faulting code held.
  void WriteCrashReport(const char* report);
  // Writes the closing line and closes the file; a second call does nothing.
  void Shutdown();
};

// Formats at most 255 characters and writes them at the given level. Level 0 also shows the
// message (without the level prefix) in a message box, then returns: it never ends the program.
void Log(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The LogSystem that Log writes to, or none.
LogSystem* ActiveLog();

// Hears every message Log formats, after it was written and before a level-0 box is shown:
// the program's inspection collects the loaders' warnings and errors this way. One listener at
// a time; an empty function removes it. The listener must not call Log itself. A listener that
// faulted (and so never returned) is not called again.
using LogListener = std::function<void(int level, const char* text)>;
void SetLogListener(LogListener listener);

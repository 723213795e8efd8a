// The log: one program-wide LogSystem and the Log entry point every module writes through.
//
// Levels: 0 error the user must see (also shown in a message box captioned "ZIVI3 Engine"),
// 1 warning, 2 notice, 3 progress and reports, 5 the crash report.
// Lines read "[ %.2i ] - %s"; messages are module tag, function, " - ", text, e.g.
// "LWOLDR(ReadPOLS) - File %s contains polygons with more than three vertices!".
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>

enum : uint32_t { LOG_FILE = 1, LOG_CONSOLE = 2 };

// Where the log file goes unless the command line names another path.
inline constexpr const char* LOG_DEFAULT_PATH = "ZIVI3.LOG";
// Longest message Log formats (the rest is cut); longest line Write builds.
inline constexpr int LOG_MESSAGE_MAX = 255;
inline constexpr int LOG_LINE_MAX = 4095;

// The program's LogSystem. Constructing one makes it the target of Log until it is destroyed
// (or another is constructed), so the program has exactly one in use at a time.
struct LogSystem {
  uint32_t flags = 0;           // LOG_FILE | LOG_CONSOLE
  std::FILE* file = nullptr;    // the open log file, or none
  std::mutex writeMutex;        // keeps lines whole when two threads log at once

  LogSystem();
  ~LogSystem();
  LogSystem(const LogSystem&) = delete;
  LogSystem& operator=(const LogSystem&) = delete;

  // Always true; a file that can't be created only means no file lines are written.
  // LOG_CONSOLE echoes every line to the terminal (stderr).
  bool Open(uint32_t flags, const char* path, void* parent = nullptr);
  // Writes "[ %.2i ] - text" to the file (flushed at once) and/or the terminal.
  void Write(int level, const char* text);
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
// a time; an empty function removes it. The listener must not call Log itself.
using LogListener = std::function<void(int level, const char* text)>;
void SetLogListener(LogListener listener);

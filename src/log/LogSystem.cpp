// The log file and the terminal echo, and the Log entry point.
#include "log/Log.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

std::atomic<LogSystem*> activeLog{nullptr};
LogLock listenerLock;
LogListener listener;

const char* const LOG_HEADER = "*** ZIVI3 Log System started ***\n\n";
const char* const LOG_FOOTER = "\n*** ZIVI3 Log System stopped ***";
const char* const LOG_ERROR_CAPTION = "ZIVI3 Engine";
// The crash report's heading, at level 5.
const char* const CRASH_HEADING = "[ 05 ] - Houston, we have a problem\n\n";

// Holds a LogLock for a scope, or goes ahead without it once it is abandoned.
class LogLockGuard {
 public:
  explicit LogLockGuard(LogLock& lock) : lock_(lock), taken_(lock.Acquire()) {}
  ~LogLockGuard() {
    if (taken_) lock_.Release();
  }
  LogLockGuard(const LogLockGuard&) = delete;
  LogLockGuard& operator=(const LogLockGuard&) = delete;
  bool Taken() const { return taken_; }

 private:
  LogLock& lock_;
  bool taken_;
};

// Appends text to the buffer at *length, cut at size - 1, without a formatting routine.
void Append(char* buffer, size_t size, size_t* length, const char* text) {
  for (; *text && *length + 1 < size; ++text) buffer[(*length)++] = *text;
  buffer[*length] = '\0';
}

}  // namespace

bool LogLock::Acquire() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(LOG_LOCK_PATIENCE_MS);
  for (int attempt = 0; !abandoned; ++attempt) {
    if (!held.exchange(true, std::memory_order_acquire)) return true;
    if (std::chrono::steady_clock::now() > deadline) {
      abandoned = true;
      break;
    }
    // A writer holds it for one system call: spin a little, then sleep.
    if (attempt < 64) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return false;
}

void LogLock::Release() { held.store(false, std::memory_order_release); }

LogSystem::LogSystem() { activeLog = this; }

LogSystem::~LogSystem() {
  Shutdown();
  LogSystem* self = this;
  activeLog.compare_exchange_strong(self, nullptr);
}

LogSystem* ActiveLog() { return activeLog; }

void SetLogListener(LogListener newListener) {
  LogLockGuard guard(listenerLock);
  listener = std::move(newListener);
}

bool LogSystem::Open(uint32_t openFlags, const char* path, void* /*parent*/) {
  LogLockGuard guard(writeLock);
  flags = openFlags;
  if ((flags & LOG_FILE) && path && file == platform::NO_FILE) {
    file = platform::CreateUnbufferedFile(path);
    platform::WriteUnbuffered(file, LOG_HEADER, std::strlen(LOG_HEADER));
  }
  return true;
}

void LogSystem::Write(int level, const char* text) {
  char line[LOG_LINE_MAX + 2];
  int length = std::snprintf(line, LOG_LINE_MAX + 1, "[ %.2i ] - %s", level, text ? text : "");
  length = length < 0 ? 0 : std::min(length, LOG_LINE_MAX);
  line[length++] = '\n';
  LogLockGuard guard(writeLock);
  if (flags & LOG_CONSOLE) platform::WriteUnbuffered(platform::STANDARD_ERROR, line, size_t(length));
  if (flags & LOG_FILE) platform::WriteUnbuffered(file, line, size_t(length));
}

void LogSystem::WriteCrashReport(const char* report) {
  char text[LOG_LINE_MAX + 64];
  size_t length = 0;
  Append(text, sizeof text, &length, CRASH_HEADING);
  Append(text, sizeof text - 1, &length, report ? report : "");  // room for the line end
  Append(text, sizeof text, &length, "\n");
  // Not through Log: nothing goes to the terminal.
  LogLockGuard guard(writeLock);
  if (flags & LOG_FILE) platform::WriteUnbuffered(file, text, length);
}

void LogSystem::Shutdown() {
  LogLockGuard guard(writeLock);
  if (file != platform::NO_FILE) {
    platform::WriteUnbuffered(file, LOG_FOOTER, std::strlen(LOG_FOOTER));
    platform::CloseUnbufferedFile(file);
    file = platform::NO_FILE;
  }
}

void Log(int level, const char* format, ...) {
  char message[LOG_MESSAGE_MAX + 1] = "";
  if (format) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
  }

  if (LogSystem* log = activeLog.load()) log->Write(level, message);
  {
    // A listener that faulted left this lock held for good: it is not called again.
    LogLockGuard guard(listenerLock);
    if (guard.Taken() && listener) listener(level, message);
  }
  if (level == 0) platform::ShowMessage(LOG_ERROR_CAPTION, message, platform::ICON_ERROR);
}

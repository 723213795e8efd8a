// The log file and the terminal echo, and the Log entry point.
#include "log/Log.h"

#include "platform/Platform.h"

#include <atomic>
#include <cstdarg>

namespace {

std::atomic<LogSystem*> activeLog{nullptr};
std::mutex listenerMutex;
LogListener listener;

const char* const LOG_HEADER = "*** ZIVI3 Log System started ***\n\n";
const char* const LOG_FOOTER = "\n*** ZIVI3 Log System stopped ***";
const char* const LOG_ERROR_CAPTION = "ZIVI3 Engine";

}  // namespace

LogSystem::LogSystem() { activeLog = this; }

LogSystem::~LogSystem() {
  Shutdown();
  LogSystem* self = this;
  activeLog.compare_exchange_strong(self, nullptr);
}

LogSystem* ActiveLog() { return activeLog; }

void SetLogListener(LogListener newListener) {
  std::lock_guard<std::mutex> lock(listenerMutex);
  listener = std::move(newListener);
}

bool LogSystem::Open(uint32_t openFlags, const char* path, void* /*parent*/) {
  std::lock_guard<std::mutex> lock(writeMutex);
  flags = openFlags;
  if ((flags & LOG_FILE) && path && !file) {
    file = std::fopen(path, "w+");
    if (file) {
      std::fputs(LOG_HEADER, file);
      std::fflush(file);
    }
  }
  return true;
}

void LogSystem::Write(int level, const char* text) {
  char line[LOG_LINE_MAX + 1];
  std::snprintf(line, sizeof line, "[ %.2i ] - %s", level, text ? text : "");
  std::lock_guard<std::mutex> lock(writeMutex);
  if (flags & LOG_CONSOLE) {
    std::fprintf(stderr, "%s\n", line);
  }
  if ((flags & LOG_FILE) && file) {
    std::fprintf(file, "%s\n", line);
    // Flushed per line so the file is complete up to the last line even after a crash.
    std::fflush(file);
  }
}

void LogSystem::Shutdown() {
  std::lock_guard<std::mutex> lock(writeMutex);
  if (file) {
    std::fputs(LOG_FOOTER, file);
    std::fclose(file);
    file = nullptr;
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
    std::lock_guard<std::mutex> lock(listenerMutex);
    if (listener) listener(level, message);
  }
  if (level == 0) platform::ShowMessage(LOG_ERROR_CAPTION, message, platform::ICON_ERROR);
}

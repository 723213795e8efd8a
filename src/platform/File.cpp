// Unbuffered files: the log writes through these, so that a crash report can be written while
// the code that faulted holds whatever lock it held.
#include "platform/Platform.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

int CreateUnbufferedFile(const char* path) {
  if (!path) return NO_FILE;
  const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  return file < 0 ? NO_FILE : file;
}

bool WriteUnbuffered(int file, const char* bytes, size_t size) {
  if (file == NO_FILE) return false;
  while (size > 0) {
    const ssize_t written = write(file, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= size_t(written);
  }
  return true;
}

void CloseUnbufferedFile(int file) {
  if (file != NO_FILE) close(file);
}

}  // namespace platform

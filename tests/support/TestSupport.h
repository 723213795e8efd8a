// Helpers shared by the tests: temporary folders, captured message boxes, the corpus path.
#pragma once

#include "log/Log.h"
#include "platform/Platform.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace test {

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct Message {
  std::string caption;
  std::string text;
  platform::MessageIcon icon;
};

// Records every message box shown while it lives, instead of showing it.
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  std::vector<Message> messages;
};

// The folder of real files made outside this project, or "" when it is absent.
std::string CorpusDir();

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);

// The exit code (-1 when it didn't exit) and standard output of a shell command.
struct ShellRun {
  int code = -1;
  std::string out;
};
ShellRun Shell(const std::string& command);
// Whether every piece occurs in text, each after the one before.
inline bool InOrder(const std::string& text, std::initializer_list<std::string> pieces) {
  size_t at = 0;
  for (const std::string& piece : pieces)
    if ((at = text.find(piece, at)) == std::string::npos) return false;
  return true;
}
inline std::string Quote(const std::string& text) { return "'" + text + "'"; }

// The program's log, written to path while this lives, and read back.
class LogFile {
 public:
  explicit LogFile(const std::string& path, uint32_t flags = LOG_FILE);
  std::string Text() const { return ReadText(path_); }
  // The lines written since it was opened, without the header.
  std::vector<std::string> Lines() const;
  // Whether "[ level ] - text" is a whole line of it.
  bool Has(int level, const std::string& text) const;
  // How often text appears in it.
  size_t Count(const std::string& text) const;

 private:
  std::string path_;
  LogSystem log_;
};

}  // namespace test

// Skips the current test when the corpus folder is absent.
#define SKIP_WITHOUT_CORPUS()                                       \
  do {                                                              \
    if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus here"; \
  } while (0)

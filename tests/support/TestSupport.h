// Helpers shared by the tests: temporary folders, captured message boxes, the corpus path.
#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <filesystem>
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

}  // namespace test

// Skips the current test when the corpus folder is absent.
#define SKIP_WITHOUT_CORPUS()                                       \
  do {                                                              \
    if (test::CorpusDir().empty()) GTEST_SKIP() << "no corpus here"; \
  } while (0)

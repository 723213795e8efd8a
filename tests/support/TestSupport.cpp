#include "support/TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include <unistd.h>

namespace test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device seed;
  path_ = std::filesystem::temp_directory_path() /
          ("zivi3-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(seed() % 100000));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

MessageCapture::MessageCapture() {
  platform::SetMessageHook([this](const char* caption, const char* text, platform::MessageIcon icon) {
    messages.push_back({caption, text, icon});
  });
}

MessageCapture::~MessageCapture() { platform::SetMessageHook(nullptr); }

std::string CorpusDir() {
  if (const char* env = std::getenv("ZIVI3_CORPUS")) {
    return std::filesystem::is_directory(env) ? env : "";
  }
  std::filesystem::path dir = std::filesystem::path(ZIVI3_SOURCE_DIR) / ".." / "shared" / "corpus";
  return std::filesystem::is_directory(dir) ? dir.lexically_normal().string() : "";
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test

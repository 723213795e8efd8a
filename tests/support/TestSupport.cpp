#include "support/TestSupport.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include <sys/wait.h>
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

ShellRun Shell(const std::string& command) {
  ShellRun run;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

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

LogFile::LogFile(const std::string& path, uint32_t flags) : path_(path) { log_.Open(flags, path.c_str()); }

std::vector<std::string> LogFile::Lines() const {
  std::vector<std::string> lines;
  const std::string text = Text();
  size_t start = text.find("\n\n");
  start = start == std::string::npos ? 0 : start + 2;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

bool LogFile::Has(int level, const std::string& text) const {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "[ %.2i ] - ", level);
  return Text().find(prefix + text + "\n") != std::string::npos;
}

size_t LogFile::Count(const std::string& text) const {
  const std::string all = Text();
  size_t count = 0;
  for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
  return count;
}

}  // namespace test

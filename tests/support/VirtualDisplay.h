// A private X server; Xvfb picks a free display number itself (-displayfd), so parallel tests never share one.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>

namespace test {

class VirtualDisplay {
 public:
  // Xvfb with one screen ("WxHxD"); Name() is "" when it didn't start. The shell prints its pid,
  // which Xvfb takes over, then Xvfb the display's number once it accepts connections.
  explicit VirtualDisplay(const std::string& screen = "1024x768x24") {
    pipe_ = popen(("echo $$; exec Xvfb -displayfd 1 -screen 0 " + screen + " -nolisten tcp 2>/dev/null").c_str(), "r");
    int number = -1;
    if (pipe_ && std::fscanf(pipe_, "%d %d", &pid_, &number) == 2) name_ = ":" + std::to_string(number);
  }
  ~VirtualDisplay() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    if (pipe_) pclose(pipe_);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return name_; }  // ":N"

 private:
  std::FILE* pipe_ = nullptr;
  int pid_ = 0;
  std::string name_;
};

}  // namespace test

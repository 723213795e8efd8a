// A private X server for the tests that open windows. Xvfb picks a free display number itself
// (-displayfd), so two test processes started at the same moment never take the same one.
#pragma once

#include <csignal>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

class VirtualDisplay {
 public:
  // Starts Xvfb with one screen of screen ("WxHxD"); Name() stays "" when Xvfb is not installed
  // or did not start.
  explicit VirtualDisplay(const std::string& screen = "1024x768x24") {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the number once it accepts connections; one that can't start closes the pipe
    // by dying, and one that hangs is caught by the test's own time limit.
    std::string number;
    char c;
    while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return name_; }  // ":N"

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace test

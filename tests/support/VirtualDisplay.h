// A private X server for the tests that open windows. Xvfb picks a free display number itself
// (-displayfd), so two test processes started at the same moment never take the same one.
#pragma once

#include <string>

#include <sys/types.h>

namespace test {

class VirtualDisplay {
 public:
  // Starts Xvfb with one screen of screen ("WxHxD"); Name() stays "" when Xvfb is not installed
  // or did not start.
  explicit VirtualDisplay(const std::string& screen = "1024x768x24");
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return name_; }  // ":N"

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace test

// The end-to-end driver's window search, apart from the tests so that Xlib's macros stay out of
// them.
#include "XFind.h"

#include <chrono>
#include <string>
#include <thread>

namespace e2e {

// The id of a mapped window whose title begins with prefix, waiting up to seconds for it; ""
// when none appeared in that time.
std::string WaitForWindow(const std::string& prefix, double seconds) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return "";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  Window found = 0;
  do {
    found = FindByTitle(display, DefaultRootWindow(display), prefix, true);
    if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } while (!found && std::chrono::steady_clock::now() < deadline);
  XCloseDisplay(display);
  return found ? std::to_string(found) : "";
}

}  // namespace e2e

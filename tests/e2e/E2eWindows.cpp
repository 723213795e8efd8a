// The end-to-end driver's window search and display modes, apart from the tests so that Xlib's
// macros stay out of them.
#include "XFind.h"

#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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

// Offers the display's first output the extra modes width × height. A mode made this way lives as
// long as the connection that made it, so that connection stays open until the process ends.
// False when the server can't (no RandR, no output).
bool AddDisplayModes(const std::vector<std::pair<int, int>>& sizes) {
  Display* display = XOpenDisplay(nullptr);
  int event = 0, error = 0;
  if (!display || !XRRQueryExtension(display, &event, &error)) return false;
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResources(display, root);
  bool added = resources && resources->noutput > 0;
  for (size_t i = 0; added && i < sizes.size(); ++i) {
    const auto [width, height] = sizes[i];
    std::string name = std::to_string(width) + "x" + std::to_string(height);
    XRRModeInfo mode = {};
    mode.width = unsigned(width);
    mode.height = unsigned(height);
    mode.hTotal = unsigned(width) + 160;
    mode.vTotal = unsigned(height) + 30;
    mode.hSyncStart = mode.hSyncEnd = unsigned(width) + 40;
    mode.vSyncStart = mode.vSyncEnd = unsigned(height) + 3;
    mode.dotClock = (unsigned long)mode.hTotal * mode.vTotal * 60;  // 60 Hz
    mode.name = name.data();
    mode.nameLength = unsigned(name.size());
    const RRMode id = XRRCreateMode(display, root, &mode);
    XRRAddOutputMode(display, resources->outputs[0], id);
  }
  if (resources) XRRFreeScreenResources(resources);
  XSync(display, False);
  return added;
}

// "WxH" of the mode the display's first output shows now, asked on a connection of its own.
std::string CurrentMode() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return "";
  std::string mode;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
  if (resources && resources->ncrtc > 0) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[0]);
    if (crtc) mode = std::to_string(crtc->width) + "x" + std::to_string(crtc->height);
    if (crtc) XRRFreeCrtcInfo(crtc);
  }
  if (resources) XRRFreeScreenResources(resources);
  XCloseDisplay(display);
  return mode;
}

}  // namespace e2e

// The end-to-end driver's display modes, apart from the tests to keep Xlib's macros out of them.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

// Offers the first output the extra modes; false without RandR or an output. A mode lives as long as
// the connection that made it, so that one stays open until the process ends.
bool AddDisplayModes(const std::vector<std::pair<int, int>>& sizes) {
  Display* display = XOpenDisplay(nullptr);
  int event = 0, error = 0;
  if (!display || !XRRQueryExtension(display, &event, &error)) return false;
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResources(display, root);
  const bool added = resources && resources->noutput > 0;
  for (size_t i = 0; added && i < sizes.size(); ++i) {
    const unsigned width = unsigned(sizes[i].first), height = unsigned(sizes[i].second);
    std::string name = std::to_string(width) + "x" + std::to_string(height);
    XRRModeInfo mode = {};
    mode.width = mode.hTotal = width;
    mode.height = mode.vTotal = height;
    mode.dotClock = 60ul * width * height;  // 60 Hz, with no blanking: a virtual screen needs none
    mode.name = name.data();
    mode.nameLength = unsigned(name.size());
    XRRAddOutputMode(display, resources->outputs[0], XRRCreateMode(display, root, &mode));
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
  XRRCrtcInfo* crtc =
      resources && resources->ncrtc > 0 ? XRRGetCrtcInfo(display, resources, resources->crtcs[0]) : nullptr;
  if (crtc) mode = std::to_string(crtc->width) + "x" + std::to_string(crtc->height);
  if (crtc) XRRFreeCrtcInfo(crtc);
  if (resources) XRRFreeScreenResources(resources);
  XCloseDisplay(display);
  return mode;
}

}  // namespace e2e

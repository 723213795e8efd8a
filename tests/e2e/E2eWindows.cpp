// The end-to-end driver's window search and display modes, apart from the tests so that Xlib's
// macros stay out of them.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {
namespace {

// A title as raw bytes whatever its encoding: SDL writes WM_NAME as UTF8_STRING, which XFetchName
// (and xdotool's name search) pass over.
std::string Title(Display* display, Window window) {
  std::string title;
  for (const char* name : {"_NET_WM_NAME", "WM_NAME"}) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (title.empty() && XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False,
                                            AnyPropertyType, &type, &format, &count, &after, &data) == Success && data) {
      if (format == 8) title.assign(reinterpret_cast<const char*>(data), count);
      XFree(data);
    }
  }
  return title;
}

// The first mapped window at or below window whose title begins with prefix, or 0.
Window FindByTitle(Display* display, Window window, const std::string& prefix) {
  XWindowAttributes attributes;
  if (Title(display, window).starts_with(prefix) && XGetWindowAttributes(display, window, &attributes) &&
      attributes.map_state == IsViewable)
    return window;
  Window root = 0, parent = 0, *children = nullptr, found = 0;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) found = FindByTitle(display, children[i], prefix);
  if (children) XFree(children);
  return found;
}

}  // namespace

// The id of a mapped window whose title begins with prefix, or "".
std::string FindWindow(const std::string& prefix) {
  // A window may go while the tree is walked: its errors read as "not this one", not as the end.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  Display* display = XOpenDisplay(nullptr);
  const Window found = display ? FindByTitle(display, DefaultRootWindow(display), prefix) : 0;
  if (display) XCloseDisplay(display);
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
  const bool added = resources && resources->noutput > 0;
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

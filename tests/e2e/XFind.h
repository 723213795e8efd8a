// Finding a top-level window for the end-to-end tools: by its id (as xdotool prints it) or by
// its title, searched through the whole window tree. Titles are read as raw bytes from
// _NET_WM_NAME or WM_NAME whatever their encoding: SDL writes WM_NAME as UTF8_STRING, which
// XFetchName (and xdotool's name search) pass over.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <string>

namespace e2e {

inline std::string PropertyText(Display* display, Window window, const char* name) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom property = XInternAtom(display, name, False);
  std::string text;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    if (format == 8) text.assign(reinterpret_cast<const char*>(data), count);
    XFree(data);
  }
  return text;
}

inline std::string WindowTitle(Display* display, Window window) {
  const std::string title = PropertyText(display, window, "_NET_WM_NAME");
  return title.empty() ? PropertyText(display, window, "WM_NAME") : title;
}

// The first window below window whose title begins with prefix (and that is mapped, when
// viewableOnly), or 0.
inline Window FindByTitle(Display* display, Window window, const std::string& prefix, bool viewableOnly) {
  if (WindowTitle(display, window).compare(0, prefix.size(), prefix) == 0) {
    XWindowAttributes attributes;
    if (!viewableOnly ||
        (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable)) {
      return window;
    }
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) found = FindByTitle(display, children[i], prefix, viewableOnly);
  if (children) XFree(children);
  return found;
}

// A number is a window id; anything else the beginning of a title.
inline Window FindWindow(Display* display, const char* idOrTitle) {
  char* end = nullptr;
  const unsigned long id = std::strtoul(idOrTitle, &end, 0);
  if (end && *end == '\0' && end != idOrTitle) return static_cast<Window>(id);
  return FindByTitle(display, DefaultRootWindow(display), idOrTitle, false);
}

}  // namespace e2e

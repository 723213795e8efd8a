// End-to-end helper: asks a window to close the way a window manager's close button does, with a
// WM_PROTOCOLS client message carrying WM_DELETE_WINDOW. Exit code 0 when the message was sent.
#include "XFind.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xclose WINDOW-ID|TITLE\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "xclose: no display\n");
    return 1;
  }
  const Window window = e2e::FindWindow(display, argv[1]);
  if (!window) {
    std::fprintf(stderr, "xclose: no window %s\n", argv[1]);
    return 1;
  }
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  return sent ? 0 : 1;
}

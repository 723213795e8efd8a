// Writes what the window WINDOW-ID (as xdotool prints it) shows to OUT as a PPM; exit code 0 or 1.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

int main(int argc, char** argv) {
  Display* display = argc == 3 ? XOpenDisplay(nullptr) : nullptr;
  const Window window = argc == 3 ? std::strtoul(argv[1], nullptr, 0) : 0;
  XWindowAttributes attributes;
  XImage* image = display && XGetWindowAttributes(display, window, &attributes)
                      ? XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap)
                      : nullptr;
  std::FILE* out = image ? std::fopen(argv[2], "wb") : nullptr;
  if (!out) {
    std::fprintf(stderr, "usage: xshot WINDOW-ID OUT.ppm, with the window on the display\n");
    return 1;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", image->width, image->height);
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      for (const unsigned long mask : {image->red_mask, image->green_mask, image->blue_mask})
        std::fputc(int((pixel & mask) >> __builtin_ctzl(mask)), out);
    }
  }
  std::fclose(out);
  XDestroyImage(image);
  XCloseDisplay(display);
  return 0;
}

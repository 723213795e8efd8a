// End-to-end helper: reads what a window shows. Prints "WIDTH HEIGHT NONBLACK" (the count of
// pixels that are not black) and, given a second argument, writes the picture there as a PPM.
// Exit code 0 on success, 1 when the window or its picture can't be had.
#include "XFind.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xshot WINDOW-ID|TITLE [OUT.ppm]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "xshot: no display\n");
    return 1;
  }
  const Window window = e2e::FindWindow(display, argv[1]);
  XWindowAttributes attributes;
  if (!window || !XGetWindowAttributes(display, window, &attributes)) {
    std::fprintf(stderr, "xshot: no window %s\n", argv[1]);
    return 1;
  }
  XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (!image) {
    std::fprintf(stderr, "xshot: the window's picture can't be read\n");
    return 1;
  }
  std::FILE* out = argc > 2 ? std::fopen(argv[2], "wb") : nullptr;
  if (out) std::fprintf(out, "P6\n%d %d\n255\n", image->width, image->height);
  long nonBlack = 0;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      const unsigned char rgb[3] = {
          static_cast<unsigned char>((pixel & image->red_mask) >> __builtin_ctzl(image->red_mask)),
          static_cast<unsigned char>((pixel & image->green_mask) >> __builtin_ctzl(image->green_mask)),
          static_cast<unsigned char>((pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask))};
      if (rgb[0] > 8 || rgb[1] > 8 || rgb[2] > 8) ++nonBlack;
      if (out) std::fwrite(rgb, 1, 3, out);
    }
  }
  if (out) std::fclose(out);
  std::printf("%d %d %ld\n", image->width, image->height, nonBlack);
  XDestroyImage(image);
  XCloseDisplay(display);
  return 0;
}

// PNG files for offscreen frames, through the image library the project already decodes
// textures with.
#include "platform/Platform.h"

#include <FreeImage.h>


namespace platform {

bool WritePng(const char* path, uint32_t width, uint32_t height, const uint8_t* rgb) {
  if (!path || !rgb || width == 0 || height == 0) return false;
  FIBITMAP* bitmap = FreeImage_Allocate(int(width), int(height), 24);
  if (!bitmap) return false;
  // The library keeps its rows bottom-up, each pixel in blue, green, red order.
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* source = rgb + size_t(y) * width * 3;
    BYTE* target = FreeImage_GetScanLine(bitmap, int(height - 1 - y));
    for (uint32_t x = 0; x < width; ++x) {
      target[3 * x + FI_RGBA_RED] = source[3 * x];
      target[3 * x + FI_RGBA_GREEN] = source[3 * x + 1];
      target[3 * x + FI_RGBA_BLUE] = source[3 * x + 2];
    }
  }
  const bool saved = FreeImage_Save(FIF_PNG, bitmap, path, PNG_DEFAULT) == TRUE;
  FreeImage_Unload(bitmap);
  return saved;
}

bool ReadPng(const char* path, uint32_t* width, uint32_t* height, std::vector<uint8_t>* rgb) {
  if (!path || !width || !height || !rgb) return false;
  FIBITMAP* loaded = FreeImage_Load(FIF_PNG, path, PNG_DEFAULT);
  if (!loaded) return false;
  FIBITMAP* bitmap = FreeImage_ConvertTo24Bits(loaded);
  FreeImage_Unload(loaded);
  if (!bitmap) return false;
  *width = FreeImage_GetWidth(bitmap);
  *height = FreeImage_GetHeight(bitmap);
  rgb->resize(size_t(*width) * *height * 3);
  for (uint32_t y = 0; y < *height; ++y) {
    const BYTE* source = FreeImage_GetScanLine(bitmap, int(*height - 1 - y));
    uint8_t* target = rgb->data() + size_t(y) * *width * 3;
    for (uint32_t x = 0; x < *width; ++x) {
      target[3 * x] = source[3 * x + FI_RGBA_RED];
      target[3 * x + 1] = source[3 * x + FI_RGBA_GREEN];
      target[3 * x + 2] = source[3 * x + FI_RGBA_BLUE];
    }
  }
  FreeImage_Unload(bitmap);
  return true;
}

}  // namespace platform

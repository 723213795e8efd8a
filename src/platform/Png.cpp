// Reading PNG files (offscreen frames, test pictures), through the image library the project
// already decodes textures with. Captures write theirs through the video module.
#include "platform/Platform.h"

#include <FreeImage.h>


namespace platform {

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

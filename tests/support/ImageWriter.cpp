#include "support/ImageWriter.h"

#include <FreeImage.h>

#include <algorithm>
#include <utility>

namespace test {

namespace {

// Writes each (value, byte count) little-endian from out[at] on.
void PutFields(std::vector<uint8_t>& out, size_t at, std::initializer_list<std::pair<uint32_t, int>> fields) {
  for (const auto& [value, bytes] : fields)
    for (int i = 0; i < bytes; ++i) out[at++] = uint8_t(value >> (8 * i));
}

// picture as the library's 24-bit bitmap: bottom row first, each pixel as B, G, R.
FIBITMAP* ToBitmap(const Picture& picture) {
  FIBITMAP* bitmap = FreeImage_Allocate(int(picture.width), int(picture.height), 24);
  for (uint32_t y = 0; bitmap && y < picture.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap, int(picture.height - 1 - y));
    for (uint32_t x = 0; x < picture.width; ++x)
      for (int c = 0; c < 3; ++c) row[x * 3 + FI_RGBA_RED - c] = picture.At(x, y)[c];
  }
  return bitmap;
}

// Run-length encodes one plane line: up to 63 equal bytes, and a byte that would read as a count.
void PutPcxLine(std::vector<uint8_t>& out, const std::vector<uint8_t>& line) {
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 | run));
    out.push_back(line[i]);
    i += run;
  }
}

// Version 5: a 24-bit bitmap as red, green and blue planes, an 8-bit one as one plane and a palette.
std::vector<uint8_t> EncodePcx(FIBITMAP* bitmap) {
  const bool paletted = FreeImage_GetBPP(bitmap) == 8;
  const uint32_t width = FreeImage_GetWidth(bitmap), height = FreeImage_GetHeight(bitmap);
  const uint32_t planes = paletted ? 1 : 3;
  const uint32_t bytesPerLine = (width + 1) & ~1u;  // even, as the format wants
  std::vector<uint8_t> out(128, 0);
  PutFields(out, 0, {{0x0A, 1}, {5, 1}, {1, 1}, {8, 1}, {0, 4}, {width - 1, 2}, {height - 1, 2}});
  PutFields(out, 65, {{planes, 1}, {bytesPerLine, 2}, {1, 2}});  // 1: a colour palette
  for (uint32_t y = 0; y < height; ++y) {
    const BYTE* row = FreeImage_GetScanLine(bitmap, int(height - 1 - y));
    for (uint32_t plane = 0; plane < planes; ++plane) {
      std::vector<uint8_t> line(bytesPerLine, 0);
      for (uint32_t x = 0; x < width; ++x) line[x] = paletted ? row[x] : row[x * 3 + FI_RGBA_RED - plane];
      PutPcxLine(out, line);
    }
  }
  if (paletted) {
    out.push_back(0x0C);
    const RGBQUAD* palette = FreeImage_GetPalette(bitmap);
    for (int i = 0; i < 256; ++i) out.insert(out.end(), {palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue});
  }
  return out;
}

}  // namespace

Picture Gradient(uint32_t width, uint32_t height) {
  Picture picture{width, height, {}};
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      picture.rgb.insert(picture.rgb.end(), {uint8_t(x * 255 / std::max(1u, width - 1)),
                                             uint8_t(y * 255 / std::max(1u, height - 1)), uint8_t(x * 7 + y * 13)});
  return picture;
}

std::vector<uint8_t> EncodeImage(ImageKind format, const Picture& picture) {
  FIBITMAP* bitmap = ToBitmap(picture);
  auto convert = [&bitmap](FIBITMAP* converted) {
    FreeImage_Unload(bitmap);
    bitmap = converted;
  };
  if (format == ImageKind::BMP8 || format == ImageKind::PCX8) convert(FreeImage_ColorQuantizeEx(bitmap, FIQ_LFPQUANT));
  if (format == ImageKind::PNG8_GREY || format == ImageKind::PNG16_GREY) convert(FreeImage_ConvertToGreyscale(bitmap));
  if (format == ImageKind::PNG32) convert(FreeImage_ConvertTo32Bits(bitmap));
  // 16 bits a channel: the library widens each value v to v × 256.
  const FREE_IMAGE_TYPE wide = format == ImageKind::PNG16_GREY ? FIT_UINT16
                               : format == ImageKind::PNG48    ? FIT_RGB16
                               : format == ImageKind::PNG64    ? FIT_RGBA16
                                                               : FIT_BITMAP;
  if (wide != FIT_BITMAP) convert(FreeImage_ConvertToType(bitmap, wide, FALSE));
  const bool bmp = format == ImageKind::BMP24 || format == ImageKind::BMP8;
  const FREE_IMAGE_FORMAT file = format == ImageKind::JPEG ? FIF_JPEG : bmp ? FIF_BMP : FIF_PNG;
  std::vector<uint8_t> bytes;
  FIMEMORY* memory = FreeImage_OpenMemory();
  BYTE* data = nullptr;
  DWORD size = 0;
  if (bitmap && (format == ImageKind::PCX24 || format == ImageKind::PCX8))
    bytes = EncodePcx(bitmap);
  else if (bitmap && FreeImage_SaveToMemory(file, bitmap, memory, file == FIF_JPEG ? JPEG_QUALITYSUPERB : 0) &&
           FreeImage_AcquireMemory(memory, &data, &size))
    bytes.assign(data, data + size);
  FreeImage_CloseMemory(memory);
  FreeImage_Unload(bitmap);
  return bytes;
}

}  // namespace test

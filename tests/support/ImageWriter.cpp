#include "support/ImageWriter.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstring>

namespace test {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// The distinct colours of picture (at most 256) and each pixel's index into them.
struct Palette {
  std::vector<uint32_t> colours;  // 0xRRGGBB
  std::vector<uint8_t> indices;
};

Palette MakePalette(const Picture& picture) {
  Palette palette;
  for (size_t i = 0; i < size_t(picture.width) * picture.height; ++i) {
    const uint8_t* p = &picture.rgb[i * 3];
    const uint32_t colour = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    auto found = std::find(palette.colours.begin(), palette.colours.end(), colour);
    if (found == palette.colours.end()) {
      if (palette.colours.size() == 256) return {};
      palette.colours.push_back(colour);
      found = palette.colours.end() - 1;
    }
    palette.indices.push_back(uint8_t(found - palette.colours.begin()));
  }
  return palette;
}

// BITMAPFILEHEADER + BITMAPINFOHEADER, rows padded to 4 bytes.
std::vector<uint8_t> EncodeBmp(const Picture& picture, bool paletted, bool topDown) {
  const Palette palette = paletted ? MakePalette(picture) : Palette{};
  if (paletted && palette.indices.empty()) return {};
  const uint32_t bytesPerPixel = paletted ? 1 : 3;
  const uint32_t pitch = (picture.width * bytesPerPixel + 3) & ~3u;
  const uint32_t paletteBytes = paletted ? 256 * 4 : 0;
  const uint32_t offset = 14 + 40 + paletteBytes;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + pitch * picture.height);
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, picture.width);
  Put32(out, topDown ? uint32_t(-int32_t(picture.height)) : picture.height);
  Put16(out, 1);
  Put16(out, bytesPerPixel * 8);
  Put32(out, 0);  // uncompressed
  Put32(out, pitch * picture.height);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, paletted ? 256 : 0);
  Put32(out, 0);
  for (uint32_t i = 0; paletted && i < 256; ++i) {
    const uint32_t colour = i < palette.colours.size() ? palette.colours[i] : 0;
    out.push_back(uint8_t(colour));
    out.push_back(uint8_t(colour >> 8));
    out.push_back(uint8_t(colour >> 16));
    out.push_back(0);
  }
  for (uint32_t row = 0; row < picture.height; ++row) {
    const uint32_t y = topDown ? row : picture.height - 1 - row;
    size_t start = out.size();
    for (uint32_t x = 0; x < picture.width; ++x) {
      if (paletted) {
        out.push_back(palette.indices[size_t(y) * picture.width + x]);
      } else {
        const uint8_t* p = picture.At(x, y);
        out.push_back(p[2]);
        out.push_back(p[1]);
        out.push_back(p[0]);
      }
    }
    out.resize(start + pitch, 0);
  }
  return out;
}

// Run-length encodes one plane line: runs of up to 63 equal bytes, and any byte with both top
// bits set as a run of one, since it would read as a count.
void PutPcxLine(std::vector<uint8_t>& out, const std::vector<uint8_t>& line) {
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) out.push_back(uint8_t(0xC0 | run));
    out.push_back(line[i]);
    i += run;
  }
}

// Version 5, run-length encoded: three planes of 8 bits, or one plane with the 256-colour
// palette after the pixels.
std::vector<uint8_t> EncodePcx(const Picture& picture, bool paletted) {
  const Palette palette = paletted ? MakePalette(picture) : Palette{};
  if (paletted && palette.indices.empty()) return {};
  const uint32_t planes = paletted ? 1 : 3;
  const uint32_t bytesPerLine = (picture.width + 1) & ~1u;  // even, as the format wants
  std::vector<uint8_t> out = {0x0A, 5, 1, 8};
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, picture.width - 1);
  Put16(out, picture.height - 1);
  Put16(out, 72);
  Put16(out, 72);
  out.resize(out.size() + 48, 0);  // 16-colour palette, unused
  out.push_back(0);
  out.push_back(uint8_t(planes));
  Put16(out, bytesPerLine);
  Put16(out, 1);  // colour palette
  Put16(out, 0);
  Put16(out, 0);
  out.resize(128, 0);
  std::vector<uint8_t> line(bytesPerLine);
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t plane = 0; plane < planes; ++plane) {
      std::fill(line.begin(), line.end(), 0);
      for (uint32_t x = 0; x < picture.width; ++x)
        line[x] = paletted ? palette.indices[size_t(y) * picture.width + x] : picture.At(x, y)[plane];
      PutPcxLine(out, line);
    }
  }
  if (paletted) {
    out.push_back(0x0C);
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t colour = i < palette.colours.size() ? palette.colours[i] : 0;
      out.push_back(uint8_t(colour >> 16));
      out.push_back(uint8_t(colour >> 8));
      out.push_back(uint8_t(colour));
    }
  }
  return out;
}

// The formats the image library writes itself.
std::vector<uint8_t> EncodeWithLibrary(ImageKind format, const Picture& picture) {
  const bool grey = format == ImageKind::PNG8_GREY || format == ImageKind::PNG16_GREY;
  const unsigned bpp = grey ? 8 : format == ImageKind::PNG32 || format == ImageKind::PNG64 ? 32 : 24;
  FIBITMAP* bitmap = FreeImage_Allocate(int(picture.width), int(picture.height), int(bpp));
  if (!bitmap) return {};
  if (grey) {
    RGBQUAD* ramp = FreeImage_GetPalette(bitmap);
    for (int i = 0; i < 256; ++i) ramp[i].rgbRed = ramp[i].rgbGreen = ramp[i].rgbBlue = BYTE(i);
  }
  for (uint32_t y = 0; y < picture.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap, int(picture.height - 1 - y));  // bottom row first
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = picture.At(x, y);
      if (grey) {
        row[x] = p[1];
        continue;
      }
      BYTE* out = row + x * (bpp / 8);
      out[FI_RGBA_RED] = p[0];
      out[FI_RGBA_GREEN] = p[1];
      out[FI_RGBA_BLUE] = p[2];
      if (bpp == 32) out[FI_RGBA_ALPHA] = 255;
    }
  }
  // 16 bits a channel: the library widens each value v to v × 256.
  const FREE_IMAGE_TYPE wide = format == ImageKind::PNG16_GREY ? FIT_UINT16
                               : format == ImageKind::PNG48    ? FIT_RGB16
                               : format == ImageKind::PNG64    ? FIT_RGBA16
                                                               : FIT_BITMAP;
  if (wide != FIT_BITMAP) {
    FIBITMAP* widened = FreeImage_ConvertToType(bitmap, wide, FALSE);
    FreeImage_Unload(bitmap);
    if (!(bitmap = widened)) return {};
  }
  FREE_IMAGE_FORMAT fif = FIF_PNG;
  int flags = 0;
  if (format == ImageKind::JPEG) {
    fif = FIF_JPEG;
    flags = JPEG_QUALITYSUPERB;
  } else if (format == ImageKind::TIFF) {
    fif = FIF_TIFF;
  } else if (format == ImageKind::PPM) {
    fif = FIF_PPM;
    flags = PNM_SAVE_RAW;
  }
  std::vector<uint8_t> bytes;
  FIMEMORY* memory = FreeImage_OpenMemory();
  if (FreeImage_SaveToMemory(fif, bitmap, memory, flags)) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (FreeImage_AcquireMemory(memory, &data, &size)) bytes.assign(data, data + size);
  }
  FreeImage_CloseMemory(memory);
  FreeImage_Unload(bitmap);
  return bytes;
}

}  // namespace

Picture Gradient(uint32_t width, uint32_t height) {
  Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = &picture.rgb[(size_t(y) * width + x) * 3];
      p[0] = uint8_t(x * 255 / std::max(1u, width - 1));
      p[1] = uint8_t(y * 255 / std::max(1u, height - 1));
      p[2] = uint8_t((x * 7 + y * 13) & 0xFF);
    }
  }
  return picture;
}

Picture Quadrants(uint32_t width, uint32_t height) {
  static const uint8_t COLOURS[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  Picture picture{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* colour = COLOURS[(y * 2 / height) * 2 + (x * 2 / width)];
      std::memcpy(&picture.rgb[(size_t(y) * width + x) * 3], colour, 3);
    }
  }
  return picture;
}

std::vector<uint8_t> EncodeImage(ImageKind format, const Picture& picture) {
  switch (format) {
    case ImageKind::BMP24: return EncodeBmp(picture, false, false);
    case ImageKind::BMP8: return EncodeBmp(picture, true, false);
    case ImageKind::BMP24_TOP_DOWN: return EncodeBmp(picture, false, true);
    case ImageKind::PCX24: return EncodePcx(picture, false);
    case ImageKind::PCX8: return EncodePcx(picture, true);
    default: return EncodeWithLibrary(format, picture);
  }
}

}  // namespace test

// Image files for the texture tests and fuzz seeds: PNG, JPEG, TIFF and PPM by the image library,
// BMP and PCX byte by byte so that their header fields can be chosen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test {

// width × height pixels as RGB triplets, top row first, unpadded: how a picture is described,
// not how a bitmap stores it.
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;

  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// Every pixel different, so a swapped channel, row or column shows: red grows to the right,
// green downwards, blue with both.
Picture Gradient(uint32_t width, uint32_t height);
// Four colours in quadrants (for 8-bit palettes and for lossy formats, which keep flat areas).
Picture Quadrants(uint32_t width, uint32_t height);

enum class ImageKind {
  BMP24, BMP8, BMP24_TOP_DOWN, PNG24, PNG32, PNG8_GREY, PNG16_GREY, PNG48, PNG64, JPEG, TIFF, PPM, PCX24, PCX8
};

// The file bytes of picture in that format; none for a BMP8 or PCX8 of more than 256 colours.
// PNG32 and PNG64 get full alpha everywhere; the grey PNGs keep the green channel. The 16-bit
// PNGs store each 8-bit value v as v × 256.
std::vector<uint8_t> EncodeImage(ImageKind format, const Picture& picture);

}  // namespace test

// Image files for the texture tests: the image library's, and PCX, which it only reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test {

// width × height RGB triplets, top row first, unpadded: a picture, not how a bitmap stores it.
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;

  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// Every pixel different (red grows to the right, green downwards, blue with both).
Picture Gradient(uint32_t width, uint32_t height);

enum class ImageKind {
  BMP24, BMP8, PNG24, PNG32, PNG8_GREY, PNG16_GREY, PNG48, PNG64, JPEG, PCX24, PCX8
};

// The file (none for a BMP8 or PCX8 over 256 colours); PNG32/64 opaque, grey PNGs luminance, 16-bit ones v × 256.
std::vector<uint8_t> EncodeImage(ImageKind format, const Picture& picture);

}  // namespace test

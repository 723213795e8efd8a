// PNG pictures of a capture folder, written for speed. A capture writes a picture per frame and
// a default-level PNG writer spent two thirds of a capture compressing: here every row takes the
// "sub" filter (one subtraction per byte, and the best of the cheap filters on rendered frames)
// and libdeflate's fastest level does the rest.
#include "video/Video.h"

#include <libdeflate.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace video {

namespace {

constexpr int DEFLATE_LEVEL = 1;
constexpr uint8_t FILTER_SUB = 1;

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

// Length, type, data, and the CRC of type and data.
void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
  PutBigEndian(out, uint32_t(size));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + size);
  PutBigEndian(out, uint32_t(libdeflate_crc32(0, out.data() + start, out.size() - start)));
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

}  // namespace

bool WritePng(const char* path, uint32_t width, uint32_t height, const uint8_t* rgb) {
  if (!path || !rgb || width == 0 || height == 0 || width > 0x7FFFFFFFu / 3) return false;
  // One compressor per thread, kept: allocating it costs as much as compressing a small picture.
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(DEFLATE_LEVEL));
  if (!compressor) return false;

  const size_t stride = size_t(width) * 3;
  thread_local std::vector<uint8_t> filtered, packed;
  filtered.resize((stride + 1) * height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = rgb + y * stride;
    uint8_t* out = filtered.data() + y * (stride + 1);
    out[0] = FILTER_SUB;
    std::memcpy(out + 1, row, 3);
    for (size_t x = 3; x < stride; ++x) out[1 + x] = uint8_t(row[x] - row[x - 3]);
  }
  packed.resize(libdeflate_zlib_compress_bound(compressor.get(), filtered.size()));
  const size_t packedSize =
      libdeflate_zlib_compress(compressor.get(), filtered.data(), filtered.size(), packed.data(), packed.size());
  if (packedSize == 0) return false;

  static const uint8_t SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> file(SIGNATURE, SIGNATURE + 8);
  file.reserve(packedSize + 64);
  std::vector<uint8_t> header;
  PutBigEndian(header, width);
  PutBigEndian(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filtered rows, no interlace
  PutChunk(file, "IHDR", header.data(), header.size());
  PutChunk(file, "IDAT", packed.data(), packedSize);
  PutChunk(file, "IEND", nullptr, 0);

  std::FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace video

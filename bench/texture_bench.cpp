// Texture decoding: one 2048 × 1024 image (the size of a large demo texture) decoded from memory
// into the 24-bit bitmap the upload takes, as JPEG, as RGB PNG and as RGBA PNG (which also pays
// the conversion to 24 bits). No OpenGL: the upload is the driver's cost, not ours.
//
// Reported: bytes_per_second over the file's bytes, and decoded_MB/s over the 24-bit pixels.
#include "textures/Textures.h"
#include "vfs/Vfs.h"

#include <FreeImage.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr int WIDTH = 2048, HEIGHT = 1024;

// Smooth colour ramps with a little noise: compresses like a photograph rather than like a flat
// test card, which would flatter both decoders.
FIBITMAP* MakePicture(unsigned bpp) {
  FIBITMAP* bitmap = FreeImage_Allocate(WIDTH, HEIGHT, int(bpp));
  uint32_t seed = 12345;
  for (int y = 0; y < HEIGHT; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap, y);
    for (int x = 0; x < WIDTH; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 28) - 8;
      BYTE* p = row + x * int(bpp / 8);
      p[FI_RGBA_RED] = BYTE(std::clamp(x * 255 / WIDTH + noise, 0, 255));
      p[FI_RGBA_GREEN] = BYTE(std::clamp(y * 255 / HEIGHT + noise, 0, 255));
      p[FI_RGBA_BLUE] = BYTE(std::clamp((x + y) * 255 / (WIDTH + HEIGHT) - noise, 0, 255));
      if (bpp == 32) p[FI_RGBA_ALPHA] = BYTE(x ^ y);
    }
  }
  return bitmap;
}

VfsFile Encode(FREE_IMAGE_FORMAT format, unsigned bpp, int flags) {
  FIBITMAP* bitmap = MakePicture(bpp);
  FIMEMORY* memory = FreeImage_OpenMemory();
  VfsFile file;
  file.name = "bench";
  if (FreeImage_SaveToMemory(format, bitmap, memory, flags)) {
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    file.data.assign(data, data + size);
    file.size = uint32_t(size);
    file.loaded = 1;
  }
  FreeImage_CloseMemory(memory);
  FreeImage_Unload(bitmap);
  return file;
}

void Decode(benchmark::State& state, const VfsFile& file) {
  if (file.size == 0) {
    state.SkipWithError("the image could not be encoded");
    return;
  }
  TextureEntry entry;
  entry.name = "bench";
  for (auto _ : state) {
    if (!TextureLoader::Decode(&entry, &file)) {
      state.SkipWithError("decoding failed");
      return;
    }
    benchmark::DoNotOptimize(entry.pixels);
    entry.image.reset();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * file.size);
  state.counters["decoded_MB/s"] = benchmark::Counter(double(state.iterations()) * WIDTH * HEIGHT * 3 / 1e6,
                                                      benchmark::Counter::kIsRate);
  state.counters["file_KB"] = double(file.size) / 1024;
}

void BM_DecodeJpeg(benchmark::State& state) {
  static const VfsFile file = Encode(FIF_JPEG, 24, JPEG_QUALITYGOOD);
  Decode(state, file);
}
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);

void BM_DecodePngRgb(benchmark::State& state) {
  static const VfsFile file = Encode(FIF_PNG, 24, PNG_DEFAULT);
  Decode(state, file);
}
BENCHMARK(BM_DecodePngRgb)->Unit(benchmark::kMillisecond);

void BM_DecodePngRgbaConverted(benchmark::State& state) {
  static const VfsFile file = Encode(FIF_PNG, 32, PNG_DEFAULT);
  Decode(state, file);
}
BENCHMARK(BM_DecodePngRgbaConverted)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Small sound files for the sound tests and benchmark, made with the demo generator's writers.
#pragma once

#include "demogen/DemoGen.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace test {

// An "M.K." module of `orders` orders of about 1 s: order k loops a square wave of its own pitch on channel k % 4.
inline std::vector<uint8_t> MakeTinyMod(uint32_t orders = 5) {
  static const uint16_t PERIODS[] = {428, 381, 339, 320, 285, 254, 226, 214};
  demogen::Module mod;
  std::vector<int8_t> square(32, 100);
  std::fill(square.begin() + 16, square.end(), -100);
  mod.samples.push_back({"", square, 64, 0, 32});
  for (uint32_t p = 0; p < orders; ++p) {
    mod.orders.push_back(uint8_t(p));
    std::vector<demogen::Note>& pattern = mod.patterns.emplace_back(demogen::MOD_ROWS * demogen::MOD_CHANNELS);
    pattern[p % 4] = {PERIODS[p % 8], 1};
    pattern[(p + 1) % 4] = {0, 0, 0x0F, 3};           // speed 3
    pattern[15 * 4 + (p + 1) % 4] = {0, 0, 0x0D, 0};  // next order
  }
  return demogen::EncodeMod(mod);
}

// frames of a constant level (as a 16-bit value), mono.
inline std::vector<uint8_t> MakeConstantWav(uint32_t frames, int16_t level, uint32_t rate) {
  return demogen::EncodeWav(std::vector<int16_t>(frames, level), 1, rate);
}

// The 16-bit samples of a WAV file's data chunk.
inline std::vector<int16_t> WavSamples(const std::vector<uint8_t>& bytes) {
  const uint8_t* data = nullptr;
  for (size_t i = 0; i + 8 <= bytes.size() && !data; ++i)
    if (std::memcmp(&bytes[i], "data", 4) == 0) data = &bytes[i + 8];
  if (!data) return {};
  std::vector<int16_t> samples(size_t(bytes.data() + bytes.size() - data) / 2);
  std::memcpy(samples.data(), data, samples.size() * 2);
  return samples;
}

}  // namespace test

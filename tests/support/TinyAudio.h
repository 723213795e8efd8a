// Small sound files made in memory for the sound tests and benchmark: a MOD, and PCM or float WAVs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace test {

// value in `bytes` bytes, the least significant first.
inline void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// An "M.K." module of `orders` orders, each its own 16-row pattern: order k plays a looped
// square wave at a pitch of its own on channel k % 4, at speed 3 (about 1 s per order).
inline std::vector<uint8_t> MakeTinyMod(uint32_t orders = 5) {
  static const uint16_t PERIODS[] = {428, 381, 339, 320, 285, 254, 226, 214};
  std::vector<uint8_t> mod(20, 0);  // title
  // 31 samples: name, length, finetune, volume, loop start and length; the first 16 words, looped.
  for (int s = 0; s < 31; ++s) {
    const uint8_t used = s == 0;
    mod.insert(mod.end(), 22, 0);
    mod.insert(mod.end(), {0, uint8_t(16 * used), 0, uint8_t(64 * used), 0, 0, 0, uint8_t(used ? 16 : 1)});
  }
  mod.insert(mod.end(), {uint8_t(orders), 127});  // song length, restart byte
  for (uint32_t i = 0; i < 128; ++i) mod.push_back(uint8_t(i < orders ? i : 0));
  for (char c : std::string("M.K.")) mod.push_back(uint8_t(c));
  for (uint32_t p = 0; p < orders; ++p)
    for (int row = 0; row < 64; ++row)
      for (uint32_t channel = 0; channel < 4; ++channel) {
        uint8_t cell[4] = {0, 0, 0, 0};
        if (row == 0 && channel == p % 4) {
          cell[0] = uint8_t(PERIODS[p % 8] >> 8);
          cell[1] = uint8_t(PERIODS[p % 8]);
          cell[2] = 0x10;  // sample 1, no effect
        }
        if (row == 0 && channel == (p + 1) % 4) cell[2] = 0x0F, cell[3] = 3;   // speed 3
        if (row == 15 && channel == (p + 1) % 4) cell[2] = 0x0D, cell[3] = 0;  // next order
        mod.insert(mod.end(), cell, cell + 4);
      }
  for (int i = 0; i < 32; ++i) mod.push_back(uint8_t(i < 16 ? 100 : -100));
  return mod;
}

// A WAV file of interleaved samples: 16-bit PCM for int16_t, 32-bit float (format 3) for float.
template <typename Sample>
inline std::vector<uint8_t> MakeWavOf(const std::vector<Sample>& samples, uint32_t channels, uint32_t rate) {
  constexpr uint32_t bytes = sizeof(Sample), format = std::is_same_v<Sample, float> ? 3 : 1;
  const uint32_t dataBytes = uint32_t(samples.size() * bytes);
  const std::string header = "RIFF....WAVEfmt ";
  std::vector<uint8_t> wav(header.begin(), header.end());
  // Values and their sizes in bytes: chunk sizes, format, channels, rates, block size, bits.
  const uint32_t fields[][2] = {{16, 4},        {format, 2},        {channels, 2},
                                {rate, 4},      {rate * channels * bytes, 4}, {channels * bytes, 2},
                                {bytes * 8, 2}, {0x61746164 /* "data" */, 4}, {dataBytes, 4}};
  for (const auto& field : fields) Put(wav, field[0], int(field[1]));
  for (int i = 0; i < 4; ++i) wav[4 + i] = uint8_t((36 + dataBytes) >> (8 * i));
  for (Sample s : samples) {
    uint32_t bits = 0;
    std::memcpy(&bits, &s, bytes);
    Put(wav, bits, int(bytes));
  }
  return wav;
}
inline std::vector<uint8_t> MakeWav(const std::vector<int16_t>& samples, uint32_t channels, uint32_t rate) {
  return MakeWavOf(samples, channels, rate);
}
// frames of a constant level (as a 16-bit value), mono.
inline std::vector<uint8_t> MakeConstantWav(uint32_t frames, int16_t level, uint32_t rate) {
  return MakeWav(std::vector<int16_t>(frames, level), 1, rate);
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

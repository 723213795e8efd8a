// Sound files in memory through libsndfile's virtual I/O, converted to the mixer's format.
#include "sound/SampleDecode.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace sound {
namespace {

// The bytes libsndfile reads from, as if they were a file.
struct MemoryFile {
  const uint8_t* data;
  sf_count_t size;
  sf_count_t position;
};

sf_count_t MemoryLength(void* user) { return static_cast<MemoryFile*>(user)->size; }

sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  MemoryFile* file = static_cast<MemoryFile*>(user);
  sf_count_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->size : 0;
  // Offsets from a corrupt header can be anything: refuse what would overflow or go negative.
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  file->position = base + offset;
  return file->position;
}

sf_count_t MemoryRead(void* out, sf_count_t count, void* user) {
  MemoryFile* file = static_cast<MemoryFile*>(user);
  if (count <= 0 || file->position >= file->size) return 0;
  const sf_count_t n = std::min(count, file->size - file->position);
  std::memcpy(out, file->data + file->position, size_t(n));
  file->position += n;
  return n;
}

sf_count_t MemoryWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

// Linear interpolation from sourceRate to outputRate, stereo in and out.
bool Resample(const std::vector<float>& in, uint32_t sourceRate, uint32_t outputRate, std::vector<float>& out,
              std::string& why) {
  const uint64_t frames = in.size() / 2;
  const uint64_t outFrames = (frames * outputRate + sourceRate - 1) / sourceRate;
  if (outFrames > SAMPLE_FRAMES_MAX) {
    why = "it is too long at the output rate";
    return false;
  }
  out.resize(outFrames * 2);
  const double step = double(sourceRate) / double(outputRate);
  for (uint64_t i = 0; i < outFrames; ++i) {
    const double at = double(i) * step;
    const uint64_t index = std::min(uint64_t(at), frames - 1);
    const uint64_t next = std::min(index + 1, frames - 1);
    const float t = float(at - double(index));
    for (int c = 0; c < 2; ++c) out[i * 2 + c] = in[index * 2 + c] + (in[next * 2 + c] - in[index * 2 + c]) * t;
  }
  return true;
}

}  // namespace

bool DecodeSample(const void* data, size_t size, uint32_t outputRate, std::vector<float>& stereo, std::string& why) {
  stereo.clear();
  if (!data || size == 0) {
    why = "there is no data";
    return false;
  }
  MemoryFile memory{static_cast<const uint8_t*>(data), sf_count_t(size), 0};
  SF_VIRTUAL_IO io{MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};
  SF_INFO info{};
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
  if (!file) {
    why = sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    why = "it has no channels or no sample rate";
    return false;
  }

  // Read in pieces until the data ends, whatever the header claimed: a header's frame count is
  // neither trusted for the allocation nor required to be reached.
  constexpr sf_count_t PIECE = 4096;
  const size_t channels = size_t(info.channels);
  std::vector<float> piece(size_t(PIECE) * channels);
  std::vector<float> decoded;
  bool tooLong = false;
  for (;;) {
    const sf_count_t n = sf_readf_float(file, piece.data(), PIECE);
    if (n <= 0) break;
    if (decoded.size() / 2 + uint64_t(n) > SAMPLE_FRAMES_MAX) {
      tooLong = true;
      break;
    }
    for (sf_count_t f = 0; f < n; ++f) {
      const float* in = &piece[size_t(f) * channels];
      const float left = std::isfinite(in[0]) ? in[0] : 0.0f;
      const float right = channels < 2 ? left : std::isfinite(in[1]) ? in[1] : 0.0f;
      decoded.push_back(left);
      decoded.push_back(right);
    }
  }
  sf_close(file);
  if (tooLong) {
    why = "it is too long";
    return false;
  }
  if (decoded.empty()) {
    why = "it holds no sound";
    return false;
  }
  if (uint32_t(info.samplerate) == outputRate) {
    stereo = std::move(decoded);
    return true;
  }
  return Resample(decoded, uint32_t(info.samplerate), outputRate, stereo, why);
}

}  // namespace sound

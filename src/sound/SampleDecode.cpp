// Sound files in memory through libsndfile's virtual I/O, converted to the mixer's format and
// rate; the rate conversion through libsoxr.
#include "sound/SampleDecode.h"

#include <sndfile.h>
#include <soxr.h>

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

// A decoded value made playable: not a number becomes silence, anything else (infinities, 1e38)
// is held to full scale, so no sample can poison or overwhelm the mix.
float Playable(float value) { return std::isnan(value) ? 0.0f : std::clamp(value, -1.0f, 1.0f); }

}  // namespace

bool DecodeSample(const void* data, size_t size, uint32_t outputRate, uint64_t copyBudget, DecodedSample& sample,
                  std::string& why) {
  sample = DecodedSample{};
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
      const float left = Playable(in[0]);
      const float right = channels < 2 ? left : Playable(in[1]);
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
  const uint32_t rate = uint32_t(info.samplerate);
  const uint64_t frames = decoded.size() / 2;
  const uint64_t outputFrames = ConvertedFrames(frames, rate, outputRate);
  if (outputFrames > SAMPLE_FRAMES_MAX) {
    why = "it is too long at the output rate";
    return false;
  }
  if (outputFrames == 0) {
    why = "it is too short to last a frame at the output rate";
    return false;
  }
  sample.outputFrames = outputFrames;
  const uint64_t copyBytes = outputFrames * 2 * sizeof(float);
  if (rate == outputRate || (copyBytes > copyBudget && copyBytes > decoded.size() * sizeof(float))) {
    sample.frames = std::move(decoded);
    sample.rate = rate;
    return true;
  }
  RateConverter converter(rate, outputRate);
  if (!converter.IsOpen()) {
    why = "its rate can't be converted";
    return false;
  }
  sample.frames.resize(outputFrames * 2);
  uint64_t position = 0;
  sample.outputFrames = converter.Convert(decoded.data(), frames, position, sample.frames.data(), outputFrames);
  sample.frames.resize(sample.outputFrames * 2);
  sample.rate = outputRate;
  return true;
}

uint64_t ConvertedFrames(uint64_t frames, uint32_t sourceRate, uint32_t outputRate) {
  // Rounded to nearest, as libsoxr ends a stream.
  return (frames * outputRate + sourceRate / 2) / sourceRate;
}

RateConverter::RateConverter(uint32_t sourceRate, uint32_t outputRate) {
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  // One thread: a voice's converter runs inside the device's callback.
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t error = nullptr;
  converter = soxr_create(sourceRate, outputRate, 2, &error, &io, &quality, &runtime);
  if (error) {
    soxr_delete(converter);
    converter = nullptr;
  }
}

RateConverter::~RateConverter() { soxr_delete(converter); }

uint64_t RateConverter::Convert(const float* source, uint64_t sourceFrames, uint64_t& position, float* out,
                                uint64_t frames) {
  // Fed in bounded pieces, so libsoxr never buffers more than a piece of the source.
  constexpr uint64_t PIECE = 4096;
  uint64_t done = 0;
  while (converter && done < frames) {
    // Without input (a null pointer), libsoxr drains the end of the stream.
    const bool more = position < sourceFrames;
    const float* in = more ? source + position * 2 : nullptr;
    size_t used = 0, made = 0;
    if (soxr_process(converter, in, more ? std::min(sourceFrames - position, PIECE) : 0, &used, out + done * 2,
                     frames - done, &made))
      break;
    position += used;
    done += made;
    if (!more && made == 0) break;
  }
  for (uint64_t i = 0; i < done * 2; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
  return done;
}

}  // namespace sound

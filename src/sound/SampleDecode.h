// Inside the sound module: turning a sound file in memory into what the mixer plays, and the
// conversion of sample rates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct soxr;  // libsoxr's converter

namespace sound {

// Longest sample accepted, in frames, both as decoded and at the output rate: a corrupt header
// must not make the mixer allocate gigabytes (64 Mi frames is over 25 minutes at 44100 Hz, 512 MiB
// as stereo floats).
inline constexpr uint64_t SAMPLE_FRAMES_MAX = uint64_t(64) << 20;

// A decoded sample: interleaved stereo floats, each finite and within -1..1.
struct DecodedSample {
  std::vector<float> frames;
  uint32_t rate = 0;          // frames per second of frames: the output rate unless kept as decoded
  uint64_t outputFrames = 0;  // its length at the output rate
};

// Decodes data (any format libsndfile reads): mono is doubled, channels past the second are
// dropped, values that aren't numbers become 0 and the rest is clamped to full scale. Then it is
// converted to outputRate, unless that copy would take more than copyBudget bytes and more than
// the sample as decoded: such a sample is kept at its own rate, to be converted as it plays.
// False with the reason in why when the data is unreadable, empty, or longer than
// SAMPLE_FRAMES_MAX either way.
bool DecodeSample(const void* data, size_t size, uint32_t outputRate, uint64_t copyBudget, DecodedSample& sample,
                  std::string& why);

// Frames that frames at sourceRate last at outputRate.
uint64_t ConvertedFrames(uint64_t frames, uint32_t sourceRate, uint32_t outputRate);

// Band-limited conversion of one stereo stream between two rates (libsoxr's high-quality recipe, on
// the calling thread): flat within 0.01 dB up to 91% of the lower rate's Nyquist frequency, images
// and aliases more than 120 dB down. Output frame k is the source at time k / outputRate, with no
// delay; the stream lasts ConvertedFrames. Converting it in pieces gives the same frames as
// converting it whole. The output is clamped to full scale (band-limiting a clipped wave overshoots).
class RateConverter {
 public:
  RateConverter(uint32_t sourceRate, uint32_t outputRate);
  ~RateConverter();
  RateConverter(const RateConverter&) = delete;
  RateConverter& operator=(const RateConverter&) = delete;

  bool IsOpen() const { return converter != nullptr; }
  // Writes up to frames output frames into out (interleaved stereo), reading the source's frames
  // from position on and advancing position; once the source is used up the converter drains what
  // it still holds. Returns the frames written: fewer than asked only when the stream has ended.
  uint64_t Convert(const float* source, uint64_t sourceFrames, uint64_t& position, float* out, uint64_t frames);

 private:
  soxr* converter = nullptr;
};

}  // namespace sound

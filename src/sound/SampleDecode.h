// Inside the sound module: turning a sound file in memory into what the mixer plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sound {

// Longest sample accepted, in frames, both as decoded and after conversion to the output rate:
// a corrupt header must not make the mixer allocate gigabytes (64 Mi frames is over 25 minutes
// at 44100 Hz, 512 MiB as stereo floats).
inline constexpr uint64_t SAMPLE_FRAMES_MAX = uint64_t(64) << 20;

// Decodes data (any format libsndfile reads) into interleaved stereo floats at outputRate:
// mono is doubled, channels past the second are dropped, other rates are converted by linear
// interpolation, values that aren't finite become 0. False with the reason in why when the data
// is unreadable, empty, or longer than SAMPLE_FRAMES_MAX.
bool DecodeSample(const void* data, size_t size, uint32_t outputRate, std::vector<float>& stereo, std::string& why);

}  // namespace sound

// Plays arbitrary bytes as a module (first byte even) or sample (odd), converted at load or as the
// voices play (first byte's bit 1), and mixes a few hundred frames: all finite and within -1..1.
#include "sound/Sound.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (!sound::Init(sound::DEVICE_NO_OUTPUT, 44100)) std::abort();
  const bool music = (data[0] & 1) == 0;
  if (data[0] & 2) sound::SetSampleCopyBudget(0);
  sound::Handle handle = 0;
  {
    // The input's bytes only, gone before the mix: a read past or after them leaves the allocation.
    const std::vector<uint8_t> bytes(data + 1, data + size);
    if (music) {
      handle = sound::MusicLoad(bytes.data(), bytes.size());
      if (handle) sound::MusicPlay(handle, 0, 0, false);
    } else {
      handle = sound::SampleLoad(bytes.data(), bytes.size(), 2);
      for (int i = 0; handle && i < 3; ++i) sound::SamplePlay(handle, 100);
    }
  }
  float out[2 * 300];
  sound::Render(out, 300);
  for (float value : out)
    if (!std::isfinite(value) || value < -1.0f || value > 1.0f) std::abort();
  if (handle && !(music ? sound::MusicFree(handle) : sound::SampleFree(handle))) std::abort();
  sound::Free();
  return 0;
}

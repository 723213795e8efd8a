// 16-bit PCM stereo WAV files for captures, written through libsndfile.
#include "sound/Sound.h"

#include <sndfile.h>

#include "log/Log.h"

namespace sound {

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Open(const char* path, uint32_t sampleRate) {
  Close();
  SF_INFO info{};
  info.samplerate = int(sampleRate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* handle = sampleRate > 0 && path ? sf_open(path, SFM_WRITE, &info) : nullptr;
  if (!handle) {
    Log(1, "SOUND(WavWriter) - Could not create \"%s\": %s", path ? path : "", sf_strerror(nullptr));
    return false;
  }
  // Without clipping, a sample past full scale would wrap around to the other extreme.
  sf_command(handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  file = handle;
  failed = false;
  return true;
}

bool WavWriter::Append(const float* interleavedStereo, uint32_t frames) {
  if (!file) return false;
  if (frames == 0) return true;
  if (!interleavedStereo || sf_writef_float(static_cast<SNDFILE*>(file), interleavedStereo, frames) != frames) {
    failed = true;
    return false;
  }
  return true;
}

bool WavWriter::Close() {
  if (!file) return false;
  const bool closed = sf_close(static_cast<SNDFILE*>(file)) == 0;
  file = nullptr;
  if (!closed || failed) Log(1, "SOUND(WavWriter) - The WAV file could not be written completely");
  return closed && !failed;
}

bool WriteWav(const char* path, const float* interleavedStereo, uint32_t frames, uint32_t sampleRate) {
  WavWriter writer;
  if (!writer.Open(path, sampleRate)) return false;
  const bool written = writer.Append(interleavedStereo, frames);
  return writer.Close() && written;
}

}  // namespace sound

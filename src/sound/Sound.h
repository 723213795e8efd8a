// The sound layer: one program-wide mixer that plays tracker music and sound samples handed to
// it as bytes in memory, into the audio device or, for tests and captures, into a buffer.
//
// Music is decoded by libopenmpt (every module format it knows), samples by libsndfile (WAV,
// AIFF, FLAC, OGG, MP3) and converted to the output rate by libsoxr. Everything is mixed in our
// own callback at the output rate given to Init, as interleaved stereo floats; the sum passes
// untouched up to full scale and through a soft limiter above it. Calls come from one thread (the
// render thread); the device's callback thread only pulls mixed sound, under the layer's own lock.
//
// Handles are small non-zero numbers; 0 is "none". A call with a handle that is 0, unknown or
// already freed, and data a decoder refuses, fail: the call returns false (or 0), logs a level-1
// "SOUND(...)" line saying why, and changes nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sound {

using Handle = uint32_t;

// Output devices for Init.
inline constexpr int32_t DEVICE_DEFAULT = -1;    // the system's default audio output
inline constexpr int32_t DEVICE_NO_OUTPUT = -2;  // no device: sound is mixed only by Render

// Voices one sample can play at once; a further play takes over the oldest voice.
inline constexpr uint32_t SAMPLE_VOICES_MAX = 16;

// Opens the output device at sampleRate Hz (stereo). DEVICE_NO_OUTPUT needs no device and
// always succeeds. False when the device can't be opened (the reason is logged); the layer then
// stays closed. Output runs from here on until Stop.
bool Init(int32_t device, uint32_t sampleRate);
// Stored only, as a 3D mixer would use them: distance, roll-off and Doppler factors.
void Set3DFactors(float distance, float rollOff, float doppler);
// Stereo separation of music in percent: 0 plays it mono, STEREO_SEPARATION_DEFAULT (libopenmpt's
// own) pans channels as the module says, more widens it. For the musics loaded from here on;
// clamped to 0..STEREO_SEPARATION_MAX. Init sets the default.
inline constexpr int32_t STEREO_SEPARATION_DEFAULT = 100;
inline constexpr int32_t STEREO_SEPARATION_MAX = 200;
void SetStereoSeparation(int32_t percent);
// A sample is converted to the output rate once, when loaded, so playing it is a copy. One whose
// copy would take more bytes than this budget, and more than the sample as decoded, is kept at its
// own rate and converted by each voice as it plays. Init sets SAMPLE_COPY_BUDGET (32 MiB: over
// 80 s of stereo at 48000 Hz).
inline constexpr uint64_t SAMPLE_COPY_BUDGET = uint64_t(32) << 20;
void SetSampleCopyBudget(uint64_t bytes);
// Stop pauses all output (nothing advances; positions are kept); Start resumes it.
bool Start();
void Stop();
// Stops output, frees every music and sample and closes the device. Safe to repeat.
void Free();
bool IsOpen();
uint32_t SampleRate();  // 0 while closed

// ---- Music ----

// Loads a module from memory (the bytes are copied). 0 when the layer is closed or the data is
// no module libopenmpt can read.
Handle MusicLoad(const void* data, size_t size);
// Starts (or restarts) the music at order and row, looping at its end when loop is set, and
// returns at once. The music plays whenever output runs.
bool MusicPlay(Handle music, uint16_t order, uint16_t row, bool loop);
// Volume 0-100 of a music; values outside are clamped.
bool MusicSetVolume(Handle music, int32_t volume);
bool MusicFree(Handle music);

// ---- Samples ----

// Loads a sample from memory, decoded at once: values that aren't numbers become silence and the
// rest is held within full scale. 0 when the layer is closed or the data is no sound file
// libsndfile can read. maxVoices is clamped to 1..SAMPLE_VOICES_MAX.
Handle SampleLoad(const void* data, size_t size, uint32_t maxVoices = SAMPLE_VOICES_MAX);
// Starts one playback of the sample from its start, at volume 0-100 (clamped), not looping.
bool SamplePlay(Handle sample, int32_t volume);
// Stops every playback of the sample.
bool SampleStop(Handle sample);
bool SampleFree(Handle sample);

// ---- Offline mixing ----

// Mixes the next frames sample frames of everything playing into out (2 × frames floats,
// interleaved left/right, -1..1), as the device would have pulled them: silence, with nothing
// advancing, while output is stopped or the layer closed. For DEVICE_NO_OUTPUT this is the only
// way sound advances; with a real device it is for tests only.
void Render(float* out, uint32_t frames);

// ---- WAV files, for captures ----

// A 16-bit PCM stereo WAV file written piece by piece; samples beyond -1..1 are clipped. The
// header is completed by Close (or the destructor).
class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // False (logged) when the file can't be created; a writer already open is closed first.
  bool Open(const char* path, uint32_t sampleRate);
  // Appends frames of interleaved left/right floats. False when closed or the write failed.
  bool Append(const float* interleavedStereo, uint32_t frames);
  // False when it wasn't open or the file could not be finished. Safe to repeat.
  bool Close();
  bool IsOpen() const { return file != nullptr; }

 private:
  void* file = nullptr;  // the library's file handle
  bool failed = false;   // a write came up short
};

// The whole file at once: frames of interleaved left/right floats.
bool WriteWav(const char* path, const float* interleavedStereo, uint32_t frames, uint32_t sampleRate);

}  // namespace sound

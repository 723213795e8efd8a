// The program-wide mixer: the layer's one state, the music and sample calls, and the mix that
// both the audio device's callback and Render pull from: music and voices summed, then limited.
//
// Lock order: SDL holds its device lock while it runs our callback, and the callback takes the
// mixer's lock. So no SDL audio call is made while the mixer's lock is held.
#include "sound/Sound.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "log/Log.h"
#include "sound/SampleDecode.h"

namespace sound {
namespace {

// Output rates libopenmpt renders at.
constexpr uint32_t RATE_MIN = 8000, RATE_MAX = 192000;
// Frames the device asks for at a time (about 23 ms at 44100 Hz).
constexpr uint16_t DEVICE_BUFFER_FRAMES = 1024;
// Frames mixed per step: bounds the scratch buffers however much Render is asked for.
constexpr uint32_t MIX_STEP = 1024;
// How fast the limiter's gain returns to 1 after a peak above full scale, in dB per second: 3 dB
// over full scale are gone in 0.15 s, sixteen times full scale in 1.2 s.
constexpr double LIMITER_RELEASE_DB = 20;

struct ModuleDeleter {
  void operator()(openmpt_module* module) const { openmpt_module_destroy(module); }
};

struct Music {
  std::unique_ptr<openmpt_module, ModuleDeleter> module;
  float gain = 1.0f;
  bool playing = false;  // started and not yet at its end
};

struct Voice {
  uint64_t position = 0;  // next frame at the output rate
  float gain = 1.0f;
  uint64_t started = 0;  // the mixer's play counter when it started: the smallest is the oldest
  // Only for a sample kept at its own rate: this voice's conversion, and the next frame it reads.
  std::unique_ptr<RateConverter> converter;
  uint64_t sourcePosition = 0;
};

struct Sample {
  DecodedSample sound;  // at the output rate, or at its own when it is converted as it plays
  uint32_t maxVoices = SAMPLE_VOICES_MAX;
  std::vector<Voice> voices;
};

struct Mixer {
  std::mutex lock;
  bool open = false;
  bool running = false;  // output advances
  SDL_AudioDeviceID device = 0;
  uint32_t rate = 0;
  float distanceFactor = 1, rollOffFactor = 1, dopplerFactor = 1;
  int32_t stereoSeparation = STEREO_SEPARATION_DEFAULT;
  uint64_t copyBudget = SAMPLE_COPY_BUDGET;
  float limiterGain = 1;     // 1, or less while recovering from a peak above full scale
  float limiterRelease = 1;  // the factor by which the gain recovers each frame
  Handle lastHandle = 0;
  uint64_t plays = 0;
  std::map<Handle, Music> musics;
  std::map<Handle, Sample> samples;
  std::vector<float> scratch;    // music as libopenmpt renders it
  std::vector<float> converted;  // a voice's frames converted as it plays
};

// Never destroyed: the device's thread may still call in while the program exits.
Mixer& TheMixer() {
  static Mixer* mixer = new Mixer;
  return *mixer;
}

// A handle unused by any music or sample; never 0.
Handle NewHandle(Mixer& mixer) {
  do {
    ++mixer.lastHandle;
  } while (mixer.lastHandle == 0 || mixer.musics.count(mixer.lastHandle) || mixer.samples.count(mixer.lastHandle));
  return mixer.lastHandle;
}

float VolumeGain(int32_t volume) { return float(std::clamp(volume, 0, 100)) / 100.0f; }

// Adds the next frames of a music to out; a music that reaches its end stops.
void MixMusic(Mixer& mixer, Music& music, float* out, uint32_t frames) {
  uint32_t done = 0;
  while (done < frames) {
    const size_t n = openmpt_module_read_interleaved_float_stereo(music.module.get(), int32_t(mixer.rate),
                                                                  frames - done, mixer.scratch.data());
    if (n == 0) {
      music.playing = false;
      return;
    }
    for (size_t i = 0; i < n * 2; ++i) out[done * 2 + i] += mixer.scratch[i] * music.gain;
    done += uint32_t(n);
  }
}

// Adds the next frames of every voice of a sample to out; finished voices are dropped.
void MixSample(Mixer& mixer, Sample& sample, float* out, uint32_t frames) {
  const DecodedSample& sound = sample.sound;
  const uint64_t length = sound.outputFrames;
  for (Voice& voice : sample.voices) {
    uint64_t n = std::min<uint64_t>(frames, length - voice.position);
    const float* in = nullptr;
    if (voice.converter) {
      in = mixer.converted.data();
      const uint64_t made = voice.converter->Convert(sound.frames.data(), sound.frames.size() / 2,
                                                     voice.sourcePosition, mixer.converted.data(), n);
      if (made < n) {  // the conversion ended early: this is the voice's last piece
        n = made;
        voice.position = length - n;
      }
    } else {
      in = &sound.frames[voice.position * 2];
    }
    for (uint64_t i = 0; i < n * 2; ++i) out[i] += in[i] * voice.gain;
    voice.position += n;
  }
  std::erase_if(sample.voices, [length](const Voice& voice) { return voice.position >= length; });
}

// The sum of music and voices passes untouched up to full scale. A frame above it turns the gain
// down at once, just enough for full scale, and the gain then recovers towards 1: a soft limiter,
// so loud passages neither wrap nor clip every peak.
void Limit(Mixer& mixer, float* out, uint32_t frames) {
  float gain = mixer.limiterGain;
  for (size_t i = 0; i < size_t(frames) * 2; i += 2) {
    gain = std::min(1.0f, gain * mixer.limiterRelease);
    const float peak = std::max(std::fabs(out[i]), std::fabs(out[i + 1]));
    if (peak * gain > 1.0f) gain = 1.0f / peak;
    // The clamps only catch the rounding of gain × peak.
    out[i] = std::clamp(out[i] * gain, -1.0f, 1.0f);
    out[i + 1] = std::clamp(out[i + 1] * gain, -1.0f, 1.0f);
  }
  mixer.limiterGain = gain;
}

// The mix itself, with the lock held.
void Mix(Mixer& mixer, float* out, uint32_t frames) {
  std::fill(out, out + size_t(frames) * 2, 0.0f);
  if (!mixer.open || !mixer.running) return;
  mixer.scratch.resize(size_t(MIX_STEP) * 2);
  mixer.converted.resize(size_t(MIX_STEP) * 2);
  for (uint32_t first = 0; first < frames; first += MIX_STEP) {
    const uint32_t n = std::min(MIX_STEP, frames - first);
    float* step = out + size_t(first) * 2;
    for (auto& [handle, music] : mixer.musics)
      if (music.playing) MixMusic(mixer, music, step, n);
    for (auto& [handle, sample] : mixer.samples) MixSample(mixer, sample, step, n);
  }
  Limit(mixer, out, frames);
}

void DeviceCallback(void* user, Uint8* stream, int bytes) {
  Mixer& mixer = *static_cast<Mixer*>(user);
  std::lock_guard<std::mutex> hold(mixer.lock);
  Mix(mixer, reinterpret_cast<float*>(stream), uint32_t(bytes) / (2 * sizeof(float)));
}

Music* FindMusic(Mixer& mixer, Handle music, const char* function) {
  auto found = mixer.musics.find(music);
  if (found != mixer.musics.end()) return &found->second;
  Log(1, "SOUND(%s) - %u is no music handle", function, music);
  return nullptr;
}

Sample* FindSample(Mixer& mixer, Handle sample, const char* function) {
  auto found = mixer.samples.find(sample);
  if (found != mixer.samples.end()) return &found->second;
  Log(1, "SOUND(%s) - %u is no sample handle", function, sample);
  return nullptr;
}

void LibopenmptQuiet(const char*, void*) {}

}  // namespace

bool Init(int32_t device, uint32_t sampleRate) {
  Free();
  if (sampleRate < RATE_MIN || sampleRate > RATE_MAX) {
    Log(1, "SOUND(Init) - A sample rate of %u Hz is outside %u to %u", sampleRate, RATE_MIN, RATE_MAX);
    return false;
  }
  if (device != DEVICE_DEFAULT && device != DEVICE_NO_OUTPUT) {
    Log(1, "SOUND(Init) - There is no output device %d", device);
    return false;
  }
  Mixer& mixer = TheMixer();
  SDL_AudioDeviceID opened = 0;
  if (device == DEVICE_DEFAULT) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      Log(1, "SOUND(Init) - Could not start audio: %s", SDL_GetError());
      return false;
    }
    SDL_AudioSpec want{};
    want.freq = int(sampleRate);
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = DEVICE_BUFFER_FRAMES;
    want.callback = DeviceCallback;
    want.userdata = &mixer;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device really takes.
    opened = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (opened == 0) {
      Log(1, "SOUND(Init) - Could not open the audio device: %s", SDL_GetError());
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
  }
  {
    std::lock_guard<std::mutex> hold(mixer.lock);
    mixer.open = true;
    mixer.running = true;
    mixer.device = opened;
    mixer.rate = sampleRate;
    mixer.stereoSeparation = STEREO_SEPARATION_DEFAULT;
    mixer.copyBudget = SAMPLE_COPY_BUDGET;
    mixer.limiterGain = 1;
    mixer.limiterRelease = float(std::pow(10.0, LIMITER_RELEASE_DB / 20.0 / sampleRate));
  }
  if (opened) SDL_PauseAudioDevice(opened, 0);
  return true;
}

void Set3DFactors(float distance, float rollOff, float doppler) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  mixer.distanceFactor = distance;
  mixer.rollOffFactor = rollOff;
  mixer.dopplerFactor = doppler;
}

void SetStereoSeparation(int32_t percent) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  mixer.stereoSeparation = std::clamp(percent, 0, STEREO_SEPARATION_MAX);
}

void SetSampleCopyBudget(uint64_t bytes) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  mixer.copyBudget = bytes;
}

bool Start() {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  if (!mixer.open) {
    Log(1, "SOUND(Start) - The sound layer is not open");
    return false;
  }
  mixer.running = true;
  return true;
}

void Stop() {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  mixer.running = false;
}

void Free() {
  Mixer& mixer = TheMixer();
  SDL_AudioDeviceID device = 0;
  {
    std::lock_guard<std::mutex> hold(mixer.lock);
    if (!mixer.open) return;
    device = mixer.device;
    mixer.open = false;
    mixer.running = false;
    mixer.device = 0;
  }
  // Waits for the callback to finish: outside the lock, which the callback takes.
  if (device) {
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  std::lock_guard<std::mutex> hold(mixer.lock);
  mixer.musics.clear();
  mixer.samples.clear();
  mixer.rate = 0;
}

bool IsOpen() {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  return mixer.open;
}

uint32_t SampleRate() {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  return mixer.rate;
}

Handle MusicLoad(const void* data, size_t size) {
  Mixer& mixer = TheMixer();
  if (!IsOpen()) {
    Log(1, "SOUND(MusicLoad) - The sound layer is not open");
    return 0;
  }
  if (!data || size == 0) {
    Log(1, "SOUND(MusicLoad) - There is no data");
    return 0;
  }
  // Loaded without the lock, so the device keeps playing meanwhile; libopenmpt keeps a copy.
  int error = 0;
  const char* message = nullptr;
  openmpt_module* module = openmpt_module_create_from_memory2(data, size, LibopenmptQuiet, nullptr,
                                                              openmpt_error_func_ignore, nullptr, &error, &message,
                                                              nullptr);
  if (!module) {
    Log(1, "SOUND(MusicLoad) - Not a module that can be played (%s)", message ? message : "unknown format");
    openmpt_free_string(message);
    return 0;
  }
  openmpt_free_string(message);
  std::lock_guard<std::mutex> hold(mixer.lock);
  openmpt_module_set_render_param(module, OPENMPT_MODULE_RENDER_STEREOSEPARATION_PERCENT, mixer.stereoSeparation);
  const Handle handle = NewHandle(mixer);
  mixer.musics[handle].module.reset(module);
  return handle;
}

bool MusicPlay(Handle music, uint16_t order, uint16_t row, bool loop) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  Music* found = FindMusic(mixer, music, "MusicPlay");
  if (!found) return false;
  openmpt_module* module = found->module.get();
  const int32_t orders = openmpt_module_get_num_orders(module);
  const int32_t rows = order < orders ? openmpt_module_get_pattern_num_rows(
                                            module, openmpt_module_get_order_pattern(module, order))
                                      : 0;
  if (order >= orders || row >= rows) {
    Log(1, "SOUND(MusicPlay) - Music %u has no order %u row %u", music, order, row);
    return false;
  }
  openmpt_module_set_repeat_count(module, loop ? -1 : 0);
  openmpt_module_set_position_order_row(module, order, row);
  found->playing = true;
  return true;
}

bool MusicSetVolume(Handle music, int32_t volume) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  Music* found = FindMusic(mixer, music, "MusicSetVolume");
  if (!found) return false;
  found->gain = VolumeGain(volume);
  return true;
}

bool MusicFree(Handle music) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  if (!FindMusic(mixer, music, "MusicFree")) return false;
  mixer.musics.erase(music);
  return true;
}

Handle SampleLoad(const void* data, size_t size, uint32_t maxVoices) {
  Mixer& mixer = TheMixer();
  uint32_t rate = 0;
  uint64_t copyBudget = 0;
  {
    std::lock_guard<std::mutex> hold(mixer.lock);
    rate = mixer.rate;
    copyBudget = mixer.copyBudget;
  }
  if (rate == 0) {
    Log(1, "SOUND(SampleLoad) - The sound layer is not open");
    return 0;
  }
  // Decoded and converted without the lock, so the device keeps playing meanwhile.
  Sample sample;
  std::string why;
  if (!DecodeSample(data, size, rate, copyBudget, sample.sound, why)) {
    Log(1, "SOUND(SampleLoad) - Not a sample that can be played: %s", why.c_str());
    return 0;
  }
  sample.maxVoices = std::clamp<uint32_t>(maxVoices, 1, SAMPLE_VOICES_MAX);
  std::lock_guard<std::mutex> hold(mixer.lock);
  const Handle handle = NewHandle(mixer);
  mixer.samples[handle] = std::move(sample);
  return handle;
}

bool SamplePlay(Handle sample, int32_t volume) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  Sample* found = FindSample(mixer, sample, "SamplePlay");
  if (!found) return false;
  Voice voice{0, VolumeGain(volume), ++mixer.plays, nullptr, 0};
  if (found->sound.rate != mixer.rate) {
    voice.converter = std::make_unique<RateConverter>(found->sound.rate, mixer.rate);
    if (!voice.converter->IsOpen()) {
      Log(1, "SOUND(SamplePlay) - Sample %u can't be converted to %u Hz", sample, mixer.rate);
      return false;
    }
  }
  if (found->voices.size() < found->maxVoices) {
    found->voices.push_back(std::move(voice));
  } else {
    auto oldest = std::min_element(found->voices.begin(), found->voices.end(),
                                   [](const Voice& a, const Voice& b) { return a.started < b.started; });
    *oldest = std::move(voice);
  }
  return true;
}

bool SampleStop(Handle sample) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  Sample* found = FindSample(mixer, sample, "SampleStop");
  if (!found) return false;
  found->voices.clear();
  return true;
}

bool SampleFree(Handle sample) {
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  if (!FindSample(mixer, sample, "SampleFree")) return false;
  mixer.samples.erase(sample);
  return true;
}

void Render(float* out, uint32_t frames) {
  if (!out) return;
  Mixer& mixer = TheMixer();
  std::lock_guard<std::mutex> hold(mixer.lock);
  Mix(mixer, out, frames);
}

}  // namespace sound

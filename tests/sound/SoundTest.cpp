// The sound layer mixed offline at 44100 Hz: music against libopenmpt itself, voices, conversion.
#include "sound/Sound.h"

#include "log/Log.h"
#include "support/TestSupport.h"
#include "support/TinyAudio.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t RATE = 44100;

std::vector<float> Pull(uint32_t frames) {
  std::vector<float> out(size_t(frames) * 2, 7.0f);
  sound::Render(out.data(), frames);
  return out;
}

// A sample loaded from the bytes of a file.
sound::Handle Sample(const std::vector<uint8_t>& file, uint32_t maxVoices = sound::SAMPLE_VOICES_MAX) {
  return sound::SampleLoad(file.data(), file.size(), maxVoices);
}

// Largest magnitude of frames [from, to) of interleaved stereo.
float Peak(const std::vector<float>& stereo, size_t from = 0, size_t to = SIZE_MAX) {
  float peak = 0;
  for (size_t i = from * 2; i < std::min(to * 2, stereo.size()); ++i) peak = std::max(peak, std::fabs(stereo[i]));
  return peak;
}

// Largest difference between a and scale × b.
float Difference(const std::vector<float>& a, const std::vector<float>& b, float scale = 1) {
  float difference = a.size() == b.size() ? 0 : INFINITY;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    difference = std::max(difference, std::fabs(a[i] - scale * b[i]));
  return difference;
}

// Frames holding anything but silence.
size_t Sounding(const std::vector<float>& stereo) {
  size_t count = 0;
  for (size_t i = 0; i < stereo.size(); i += 2) count += stereo[i] != 0 || stereo[i + 1] != 0;
  return count;
}

// Amplitude of the best-fitting sinusoid (n frames from `from` on the left, whole cycles), and RMS of the rest.
std::pair<double, double> FitTone(const std::vector<float>& stereo, double cyclesPerFrame, size_t from, size_t n) {
  const auto wave = [&](size_t i) { return std::polar(1.0, 2 * M_PI * cyclesPerFrame * double(i)); };
  std::complex<double> fit = 0;
  for (size_t i = 0; i < n; ++i) fit += 2.0 * double(stereo[(from + i) * 2]) * std::conj(wave(i)) / double(n);
  double rest = 0;
  for (size_t i = 0; i < n; ++i) rest += std::norm(double(stereo[(from + i) * 2]) - (fit * wave(i)).real());
  return {std::abs(fit), std::sqrt(rest / double(n))};
}

// The same module rendered by libopenmpt with nothing of ours in between.
std::vector<float> RenderDirectly(const std::vector<uint8_t>& data, int32_t order, uint32_t frames) {
  openmpt_module* module = openmpt_module_create_from_memory2(data.data(), data.size(), nullptr, nullptr, nullptr,
                                                              nullptr, nullptr, nullptr, nullptr);
  std::vector<float> out(size_t(frames) * 2, 0.0f);
  openmpt_module_set_repeat_count(module, -1);
  openmpt_module_set_position_order_row(module, order, 0);
  for (size_t done = 0, n = 1; done < frames && n > 0; done += n)
    n = openmpt_module_read_interleaved_float_stereo(module, RATE, frames - done, &out[done * 2]);
  openmpt_module_destroy(module);
  return out;
}

// A fresh no-output layer playing data from order 0 at volume, for frames.
std::vector<float> PlayMusic(const std::vector<uint8_t>& data, int32_t volume, uint32_t frames, bool loop = true) {
  EXPECT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, RATE));
  const sound::Handle music = sound::MusicLoad(data.data(), data.size());
  EXPECT_TRUE(sound::MusicPlay(music, 0, 0, loop));
  EXPECT_TRUE(sound::MusicSetVolume(music, volume));
  return Pull(frames);
}

// A fresh layer; its level-1 lines are counted.
class SoundLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, RATE));
    SetLogListener([this](int level, const char* text) {
      warnings += level == 1 && std::strncmp(text, "SOUND(", 6) == 0;
    });
  }
  void TearDown() override {
    SetLogListener({});
    sound::Free();
  }
  int warnings = 0;
};

TEST_F(SoundLayer, MusicPlaysAsLibopenmptRendersItFromItsOrderAtItsVolume) {
  const std::vector<uint8_t> mod = test::MakeTinyMod();
  const sound::Handle music = sound::MusicLoad(mod.data(), mod.size());
  EXPECT_EQ(Peak(Pull(1000)), 0.0f);  // loaded, not yet playing
  ASSERT_TRUE(sound::MusicPlay(music, 3, 0, true));
  std::vector<float> ours;
  for (uint32_t piece : {1u, 700u, 5000u, 24299u}) {  // uneven pieces, as a device pulls them
    const std::vector<float> part = Pull(piece);
    ours.insert(ours.end(), part.begin(), part.end());
  }
  EXPECT_LT(Difference(ours, RenderDirectly(mod, 3, 30000)), 1e-6f);
  EXPECT_GT(Difference(ours, RenderDirectly(mod, 0, 30000)), 0.01f);  // order 0 sounds otherwise
  EXPECT_FALSE(sound::MusicPlay(music, 5, 0, true) || sound::MusicPlay(music, 0, 64, true));  // no such order, row

  // The volume is a linear gain, held to 0 to 100.
  const std::vector<float> full = PlayMusic(mod, 100, 20000);
  EXPECT_LT(Difference(PlayMusic(mod, 40, 20000), full, 0.4f), 1e-6f);
  EXPECT_EQ(PlayMusic(mod, 250, 20000), full);
  EXPECT_EQ(Peak(PlayMusic(mod, -3, 20000)), 0.0f);
  // Two orders last about two seconds: without a loop the third is silent, with one it sounds.
  const std::vector<uint8_t> shortMod = test::MakeTinyMod(2);
  std::vector<float> once = PlayMusic(shortMod, 100, 3 * RATE, false);
  EXPECT_TRUE(Peak(once, 0, RATE) > 0.01f && Peak(once, 2 * RATE + RATE / 4) == 0 && Peak(Pull(RATE)) == 0);
  EXPECT_GT(Peak(PlayMusic(shortMod, 100, 3 * RATE, true), 2 * RATE + RATE / 4), 0.01f);
}

TEST_F(SoundLayer, SamplesPlayOnceOnVoicesOfTheirOwn) {
  const sound::Handle sample = Sample(test::MakeConstantWav(4410, 328, RATE));  // 0.1 s at 0.01
  const float level = 328.0f / 32768.0f;
  ASSERT_TRUE(sound::SamplePlay(sample, 50));
  std::vector<float> once(6000 * 2, 0.0f);
  std::fill_n(once.begin(), 4410 * 2, level / 2);
  EXPECT_LT(Difference(Pull(6000), once), 1e-6f);

  // Stopped output is silent and keeps the position; SampleStop ends every voice.
  sound::SamplePlay(sample, 100);
  Pull(1000);
  sound::Stop();
  EXPECT_EQ(Sounding(Pull(5000)), 0u);
  EXPECT_TRUE(sound::Start());
  EXPECT_EQ(Sounding(Pull(6000)), 3410u);
  sound::SamplePlay(sample, 100);
  sound::SamplePlay(sample, 100);
  Pull(100);
  EXPECT_TRUE(sound::SampleStop(sample));
  EXPECT_EQ(Sounding(Pull(6000)), 0u);

  // Seventeen plays keep sixteen voices; the seventeenth restarts the oldest.
  for (int i = 0; i < 16; ++i) sound::SamplePlay(sample, 100);
  EXPECT_NEAR(Pull(2000)[0], 16 * level, 1e-5f);
  sound::SamplePlay(sample, 100);
  std::vector<float> after = Pull(6000);
  EXPECT_NEAR(after[0], 16 * level, 1e-5f);
  EXPECT_NEAR(after[2500 * 2], level, 1e-6f);  // the fifteen others have ended
  EXPECT_EQ(Sounding(after), 2000u + 2410u);

  // A sample limited to one voice; stereo sides stay apart.
  const sound::Handle single = Sample(demogen::EncodeWav(std::vector<int16_t>{3277, -3277, 3277, -3277}, 2, RATE), 1);
  sound::SamplePlay(single, 100);
  sound::SamplePlay(single, 100);
  EXPECT_LT(Difference(Pull(4), {0.1f, -0.1f, 0.1f, -0.1f, 0, 0, 0, 0}), 1e-4f);
}

TEST_F(SoundLayer, ConvertedTonesKeepTheirLevelAndLeaveNoImages) {
  std::vector<float> mono(11025);  // 1 s of 4000 Hz at 0.4
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = float(0.4 * std::sin(2 * M_PI * 4000 * double(i) / 11025));
  const std::vector<uint8_t> wav = demogen::EncodeWav(mono, 1, 11025);
  std::vector<float> mixed[2];
  for (int converted = 0; converted < 2; ++converted) {
    if (converted) sound::SetSampleCopyBudget(0);  // no budget for a copy: converted as it plays
    ASSERT_TRUE(sound::SamplePlay(Sample(wav), 100));
    mixed[converted] = Pull(RATE + 100);
  }
  EXPECT_LT(Difference(mixed[0], mixed[1]), 1e-6f);
  // Within 0.1 dB, with images above the source's Nyquist frequency 90 dB below; 1200 whole cycles.
  const auto [amplitude, rest] = FitTone(mixed[0], 4000.0 / RATE, RATE / 10, 13230);
  EXPECT_NEAR(20 * std::log10(amplitude / 0.4), 0, 0.1);
  EXPECT_LT(20 * std::log10(rest / amplitude), -90);
}

TEST_F(SoundLayer, LoudSumsAreLimitedSoftlyToFullScale) {
  // 0.2 s of a 441 Hz sine, full scale on the right and half on the left, on sixteen voices.
  std::vector<float> stereo;
  for (size_t i = 0; i < RATE / 5; ++i) {
    const float value = float(std::sin(2 * M_PI * 441 * double(i) / RATE));
    stereo.insert(stereo.end(), {value / 2, value});
  }
  const sound::Handle sample = Sample(demogen::EncodeWav(stereo, 2, RATE));
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(sound::SamplePlay(sample, 100));
  const std::vector<float> loud = Pull(RATE / 5);
  size_t wrapped = 0, atFullScale = 0;
  for (size_t i = 0; i < loud.size(); ++i) {
    wrapped += std::fabs(stereo[i]) > 0.01f && (loud[i] > 0) != (stereo[i] > 0);
    atFullScale += std::fabs(loud[i]) > 0.999f;
  }
  // Turned down, not clipped flat nor wrapped: the peaks reach full scale, the slopes don't.
  EXPECT_TRUE(Peak(loud) <= 1.0f && wrapped == 0) << Peak(loud) << " " << wrapped;
  EXPECT_TRUE(atFullScale > 0 && atFullScale < loud.size() / 25) << atFullScale;
  // Once the gain has recovered, sound below full scale passes untouched again.
  Pull(2 * RATE);
  ASSERT_TRUE(sound::SamplePlay(sample, 50));
  EXPECT_EQ(Difference(Pull(RATE / 5), stereo, 0.5f), 0.0f);
}

TEST_F(SoundLayer, BadHandlesAndBadDataAreRefusedAndChangeNothing) {
  const std::vector<uint8_t> mod = test::MakeTinyMod();
  const std::vector<uint8_t> wav = test::MakeConstantWav(RATE, 3277, RATE);
  const sound::Handle sample = Sample(wav);
  const sound::Handle music = sound::MusicLoad(mod.data(), mod.size());
  ASSERT_TRUE(sound::SamplePlay(sample, 100));
  for (const std::vector<uint8_t>& data :
       {decltype(wav)(wav.rbegin(), wav.rend()), {mod.begin(), mod.begin() + 100}, {wav.begin(), wav.begin() + 30}, {}})
    EXPECT_EQ(sound::MusicLoad(data.data(), data.size()) + sound::SampleLoad(data.data(), data.size()), 0u);
  EXPECT_EQ(sound::MusicLoad(nullptr, 100) + sound::SampleLoad(nullptr, 100), 0u);
  const sound::Handle freed = Sample(wav);
  EXPECT_TRUE(sound::SampleFree(freed));
  for (sound::Handle bad : {sound::Handle(0), sound::Handle(4711), freed})
    EXPECT_FALSE(sound::SamplePlay(bad, 100) || sound::SampleStop(bad) || sound::SampleFree(bad) ||
                 sound::MusicPlay(bad, 0, 0, true) || sound::MusicSetVolume(bad, 50) || sound::MusicFree(bad));
  // A handle of the other kind is no handle either.
  EXPECT_FALSE(sound::SampleStop(music) || sound::MusicSetVolume(sample, 0));
  EXPECT_EQ(warnings, 4 * 2 + 2 + 3 * 6 + 2);
  EXPECT_NEAR(Peak(Pull(100)), 0.1f, 1e-4f);  // the sample played on through all of it

  // Float data that isn't a number plays as silence, values past full scale as full scale.
  const std::vector<float> values = {NAN, INFINITY, 0.25f, -INFINITY, 1e38f, -1e38f};
  ASSERT_TRUE(sound::SampleStop(sample));
  ASSERT_TRUE(sound::SamplePlay(Sample(demogen::EncodeWav(values, 1, RATE)), 100));
  EXPECT_EQ(Pull(6), (std::vector<float>{0, 0, 1, 1, 0.25f, 0.25f, -1, -1, 1, 1, -1, -1}));
  ASSERT_TRUE(sound::SamplePlay(Sample(demogen::EncodeWav(values, 1, 11025)), 50));
  EXPECT_LE(Peak(Pull(100)), 0.5f);

  // Closed, the layer takes nothing and renders silence; Free and Init may be repeated.
  sound::Free();
  sound::Free();
  EXPECT_FALSE(sound::IsOpen() || sound::Start() || sound::SampleRate());
  EXPECT_EQ(sound::MusicLoad(mod.data(), mod.size()) + Sample(wav), 0u);
  EXPECT_EQ(Pull(10), std::vector<float>(20, 0.0f));
  EXPECT_FALSE(sound::Init(sound::DEVICE_NO_OUTPUT, 7999) || sound::Init(sound::DEVICE_NO_OUTPUT, 192001) ||
               sound::Init(7, RATE) || sound::IsOpen());
  ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, 8000) && sound::Init(sound::DEVICE_NO_OUTPUT, 192000));
  ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, RATE) && sound::SampleRate() == RATE);
  EXPECT_FALSE(sound::SamplePlay(sample, 100));  // gone with the first layer
}

// SDL's dummy driver pulls from our callback in real time without any sound hardware.
TEST_F(SoundLayer, ADeviceConsumesTheMixOnItsOwnThread) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const bool opened = sound::Init(sound::DEVICE_DEFAULT, RATE);
  unsetenv("SDL_AUDIODRIVER");
  if (!opened) GTEST_SKIP() << "SDL has no dummy audio driver here";
  ASSERT_TRUE(sound::SamplePlay(Sample(test::MakeConstantWav(4410, 3277, RATE)), 100));
  // Each look takes one frame: only the device can play the 4410 frames away within 1000 looks.
  bool ended = false;
  for (int look = 0; look < 1000 && !ended; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ended = Peak(Pull(1)) == 0;
  }
  sound::Free();  // joins the device's thread
  EXPECT_TRUE(ended && !sound::IsOpen());
}

TEST(SoundCapture, WavFilesAreStereo16BitAndClipped) {
  test::TempDir dir;
  const float loud[6] = {2.0f, -2.0f, 0.5f, -0.5f, 0, 1};
  ASSERT_TRUE(sound::WriteWav((dir / "loud.wav").c_str(), loud, 3, 22050));
  const std::vector<uint8_t> file = test::ReadBytes(dir / "loud.wav");
  const std::vector<int16_t> back = test::WavSamples(file);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_EQ(file[22] | file[24] << 8 | file[25] << 16, 2 | 22050 << 8);  // channels, rate
  EXPECT_TRUE(back[0] >= 32766 && back[1] <= -32767 && std::abs(back[2] - 16384) <= 1) << back[0] << " " << back[1];
  EXPECT_FALSE(sound::WriteWav((dir / "no/such/dir.wav").c_str(), loud, 3, 22050));
}

}  // namespace

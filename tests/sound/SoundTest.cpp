// The sound layer rendered offline (no device) at 44100 Hz: music against libopenmpt itself,
// volumes, sample voices, refused input, the real modules and samples, and capture sound.
#include "sound/Sound.h"

#include "app/Offscreen.h"
#include "log/Log.h"
#include "support/SceneText.h"
#include "support/TestSupport.h"
#include "support/TinyAudio.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t RATE = 44100;

std::vector<float> Pull(uint32_t frames) {
  std::vector<float> out(size_t(frames) * 2, 7.0f);
  sound::Render(out.data(), frames);
  return out;
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

// Levels in dB against amplitude 1 of the spectrum of the left channel's frames [from, from + n),
// n a power of two: Kaiser-windowed (beta 16, side lobes far below -120 dB), each bin summing the
// power of the main lobe around it, so a sinusoid of amplitude A reads 20 log10 A at its bin
// wherever between bins it falls.
constexpr size_t LOBE = 8;
std::vector<double> LevelsDb(const std::vector<float>& stereo, size_t from, size_t n) {
  const auto i0 = [](double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 60; ++k) sum += term *= x * x / (4.0 * k * k);
    return sum;
  };
  std::vector<std::complex<double>> x(n);
  double energy = 0;
  for (size_t i = 0; i < n; ++i) {
    const double r = 2.0 * double(i) / double(n - 1) - 1, w = i0(16 * std::sqrt(1 - r * r)) / i0(16);
    x[i] = w * stereo[(from + i) * 2];
    energy += w * w;
  }
  for (size_t i = 1, j = 0; i < n; ++i) {  // bit-reversed order, then radix-2 butterflies
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    if (i < (j ^= bit)) std::swap(x[i], x[j]);
  }
  for (size_t length = 2; length <= n; length <<= 1)
    for (size_t i = 0; i < n; i += length)
      for (size_t k = 0; k < length / 2; ++k) {
        const std::complex<double> a = x[i + k], b = x[i + k + length / 2] * std::polar(1.0, -2 * M_PI * k / length);
        x[i + k] = a + b;
        x[i + k + length / 2] = a - b;
      }
  std::vector<double> levels(n / 2);
  for (size_t k = 0; k < n / 2; ++k) {
    double power = 0;
    for (size_t j = k > LOBE ? k - LOBE : 0; j <= std::min(k + LOBE, n / 2 - 1); ++j) power += std::norm(x[j]);
    levels[k] = 10 * std::log10(4 * power / (double(n) * energy) + 1e-30);
  }
  return levels;
}

// The same module rendered by libopenmpt with nothing of ours in between.
std::vector<float> RenderDirectly(const std::vector<uint8_t>& data, int32_t order, uint32_t frames) {
  openmpt_module* module = openmpt_module_create_from_memory2(data.data(), data.size(), nullptr, nullptr, nullptr,
                                                              nullptr, nullptr, nullptr, nullptr);
  std::vector<float> out(size_t(frames) * 2, 0.0f);
  if (!module) return out;
  openmpt_module_set_repeat_count(module, -1);
  openmpt_module_set_position_order_row(module, order, 0);
  size_t done = 0;
  while (done < frames) {
    const size_t n = openmpt_module_read_interleaved_float_stereo(module, RATE, frames - done, &out[done * 2]);
    if (n == 0) break;
    done += n;
  }
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

// The frames of a sound file as floats, with what libsndfile says of it in info.
std::vector<float> ReadSound(const std::string& path, SF_INFO& info) {
  info = SF_INFO{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return {};
  std::vector<float> frames(size_t(info.frames) * size_t(info.channels));
  frames.resize(size_t(sf_readf_float(file, frames.data(), info.frames)) * size_t(info.channels));
  sf_close(file);
  return frames;
}

// Counts the level-1 lines of the layer while it lives.
struct SoundWarnings {
  SoundWarnings() {
    SetLogListener([this](int level, const char* text) {
      if (level == 1 && std::string(text).rfind("SOUND(", 0) == 0) ++count;
    });
  }
  ~SoundWarnings() { SetLogListener({}); }
  int count = 0;
};

class SoundLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, RATE)); }
  void TearDown() override { sound::Free(); }
};

TEST_F(SoundLayer, MusicPlaysFromItsOrderAsLibopenmptRendersIt) {
  const std::vector<uint8_t> mod = test::MakeTinyMod();
  const sound::Handle music = sound::MusicLoad(mod.data(), mod.size());
  ASSERT_NE(music, 0u);
  EXPECT_EQ(Peak(Pull(1000)), 0.0f);  // loaded, not yet playing
  ASSERT_TRUE(sound::MusicPlay(music, 3, 0, true));
  // Pulled in uneven pieces, as a device would.
  std::vector<float> ours;
  for (uint32_t piece : {1u, 700u, 5000u, 24299u}) {
    const std::vector<float> part = Pull(piece);
    ours.insert(ours.end(), part.begin(), part.end());
  }
  const std::vector<float> reference = RenderDirectly(mod, 3, 30000);
  ASSERT_GT(Peak(reference), 0.01f);
  EXPECT_LT(Difference(ours, reference), 1e-6f);
  EXPECT_GT(Difference(ours, RenderDirectly(mod, 0, 30000)), 0.01f);  // order 0 sounds otherwise
  // An order or row the module doesn't have is refused.
  EXPECT_FALSE(sound::MusicPlay(music, 5, 0, true));
  EXPECT_FALSE(sound::MusicPlay(music, 0, 64, true));
}

TEST_F(SoundLayer, MusicVolumeIsALinearGainAndAMusicWithoutLoopEnds) {
  const std::vector<uint8_t> mod = test::MakeTinyMod();
  const std::vector<float> full = PlayMusic(mod, 100, 20000);
  const std::vector<float> part = PlayMusic(mod, 40, 20000);
  ASSERT_GT(Peak(full), 0.01f);
  EXPECT_LT(Difference(part, full, 0.4f), 1e-6f);
  EXPECT_EQ(PlayMusic(mod, 250, 20000), full);  // clamped to 100
  EXPECT_EQ(Peak(PlayMusic(mod, -3, 20000)), 0.0f);

  // Two orders last about two seconds: without a loop the third is silent, with one it sounds.
  const std::vector<uint8_t> shortMod = test::MakeTinyMod(2);
  std::vector<float> once = PlayMusic(shortMod, 100, 3 * RATE, false);
  EXPECT_GT(Peak(once, 0, RATE), 0.01f);
  EXPECT_EQ(Peak(once, 2 * RATE + RATE / 4), 0.0f);
  EXPECT_EQ(Peak(Pull(RATE)), 0.0f);
  std::vector<float> looped = PlayMusic(shortMod, 100, 3 * RATE, true);
  EXPECT_GT(Peak(looped, 2 * RATE + RATE / 4), 0.01f);
}

TEST_F(SoundLayer, SamplesPlayOnceOnVoicesOfTheirOwn) {
  // 0.1 s of a constant 0.01.
  const std::vector<uint8_t> wav = test::MakeConstantWav(4410, 328, RATE);
  const sound::Handle sample = sound::SampleLoad(wav.data(), wav.size());
  ASSERT_NE(sample, 0u);
  const float level = 328.0f / 32768.0f;

  ASSERT_TRUE(sound::SamplePlay(sample, 50));
  std::vector<float> once = Pull(6000);
  EXPECT_EQ(Sounding(once), 4410u);
  EXPECT_NEAR(once[0], level / 2, 1e-6f);
  EXPECT_NEAR(once[4409 * 2 + 1], level / 2, 1e-6f);

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
  std::vector<float> sixteen = Pull(2000);
  EXPECT_NEAR(sixteen[0], 16 * level, 1e-5f);
  sound::SamplePlay(sample, 100);
  std::vector<float> after = Pull(6000);
  EXPECT_NEAR(after[0], 16 * level, 1e-5f);
  EXPECT_NEAR(after[2500 * 2], level, 1e-6f);  // the fifteen others have ended
  EXPECT_EQ(Sounding(after), 2000u + 2410u);

  // A sample limited to one voice; stereo sides stay apart.
  const std::vector<uint8_t> stereo = test::MakeWav({3277, -3277, 3277, -3277}, 2, RATE);
  const sound::Handle single = sound::SampleLoad(stereo.data(), stereo.size(), 1);
  sound::SamplePlay(single, 100);
  sound::SamplePlay(single, 100);
  std::vector<float> sides = Pull(4);
  EXPECT_NEAR(sides[0], 0.1f, 1e-4f);
  EXPECT_NEAR(sides[1], -0.1f, 1e-4f);
  EXPECT_EQ(Sounding(sides), 2u);
}

// Through the conversion to the output rate, the tone that fits keeps its level within 0.1 dB and
// nothing else (images above the source's Nyquist frequency, aliases of a tone above the output's)
// comes within 90 dB of it, whether the sample is converted at load or as it plays.
TEST_F(SoundLayer, ConvertedTonesKeepTheirLevelAndLeaveNoImagesOrAliases) {
  struct Case {
    uint32_t source, output;
    std::vector<double> tones;  // Hz at amplitude 0.4; the first is the one that fits
  };
  for (const Case& c : {Case{11025, 44100, {4000}}, Case{44100, 22050, {5000, 15000}}}) {
    std::vector<float> mono(c.source);
    for (size_t i = 0; i < mono.size(); ++i)
      for (double hz : c.tones) mono[i] += float(0.4 * std::sin(2 * M_PI * hz * double(i) / c.source));
    const std::vector<uint8_t> wav = test::MakeFloatWav(mono, 1, c.source);
    // Converted once at load, and (without a budget for the copy) by the voice as it plays.
    std::vector<float> mixed[2];
    for (int converted = 0; converted < 2; ++converted) {
      ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, c.output));
      if (converted) sound::SetSampleCopyBudget(0);
      ASSERT_TRUE(sound::SamplePlay(sound::SampleLoad(wav.data(), wav.size()), 100));
      mixed[converted] = Pull(c.output + 100);
    }
    EXPECT_LT(Difference(mixed[0], mixed[1]), 1e-6f);
    const size_t n = 16384;
    const std::vector<double> levels = LevelsDb(mixed[0], c.output / 10, n);
    const size_t bin = size_t(std::lround(c.tones[0] * n / c.output));
    double loudestOther = -300;
    for (size_t k = 0; k < levels.size(); ++k)
      if (k + 2 * LOBE < bin || k > bin + 2 * LOBE) loudestOther = std::max(loudestOther, levels[k]);
    const double tone = 20 * std::log10(0.4);
    EXPECT_NEAR(levels[bin], tone, 0.1) << c.source << " to " << c.output;
    EXPECT_LT(loudestOther - levels[bin], -90) << c.source << " to " << c.output;
  }
}

TEST_F(SoundLayer, LoudSumsAreLimitedSoftlyToFullScale) {
  // 0.2 s of a 441 Hz sine, full scale on the right and half on the left, on sixteen voices.
  std::vector<float> stereo;
  for (size_t i = 0; i < RATE / 5; ++i) {
    const float value = float(std::sin(2 * M_PI * 441 * double(i) / RATE));
    stereo.insert(stereo.end(), {value / 2, value});
  }
  const std::vector<uint8_t> wav = test::MakeFloatWav(stereo, 2, RATE);
  const sound::Handle sample = sound::SampleLoad(wav.data(), wav.size());
  for (int i = 0; i < 16; ++i) ASSERT_TRUE(sound::SamplePlay(sample, 100));
  const std::vector<float> loud = Pull(RATE / 5);
  EXPECT_LE(Peak(loud), 1.0f);
  size_t wrapped = 0, atFullScale = 0;
  for (size_t i = 0; i < loud.size(); ++i) {
    wrapped += std::fabs(stereo[i]) > 0.01f && (loud[i] > 0) != (stereo[i] > 0);
    atFullScale += std::fabs(loud[i]) > 0.999f;
  }
  EXPECT_EQ(wrapped, 0u);
  // Turned down, not clipped flat: the peaks reach full scale, the slopes between them don't.
  EXPECT_GT(atFullScale, 0u);
  EXPECT_LT(atFullScale, loud.size() / 25);
  // Once the gain has recovered, sound below full scale passes untouched again.
  Pull(2 * RATE);
  ASSERT_TRUE(sound::SamplePlay(sample, 50));
  EXPECT_EQ(Difference(Pull(RATE / 5), stereo, 0.5f), 0.0f);
}

TEST_F(SoundLayer, BadHandlesAndBadDataAreRefusedAndChangeNothing) {
  const std::vector<uint8_t> mod = test::MakeTinyMod();
  const std::vector<uint8_t> wav = test::MakeConstantWav(RATE, 3277, RATE);
  const sound::Handle sample = sound::SampleLoad(wav.data(), wav.size());
  const sound::Handle music = sound::MusicLoad(mod.data(), mod.size());
  ASSERT_NE(sample, 0u);
  ASSERT_TRUE(sound::SamplePlay(sample, 100));

  SoundWarnings warnings;
  std::vector<uint8_t> garbage(4000);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 7919 >> 3);
  const std::vector<std::vector<uint8_t>> broken = {
      garbage, {mod.begin(), mod.begin() + 100}, {wav.begin(), wav.begin() + 30}, {}};
  for (const std::vector<uint8_t>& data : broken) {
    EXPECT_EQ(sound::MusicLoad(data.data(), data.size()), 0u);
    EXPECT_EQ(sound::SampleLoad(data.data(), data.size()), 0u);
  }
  EXPECT_EQ(sound::MusicLoad(nullptr, 100), 0u);
  EXPECT_EQ(sound::SampleLoad(nullptr, 100), 0u);
  const sound::Handle freed = sound::SampleLoad(wav.data(), wav.size());
  EXPECT_TRUE(sound::SampleFree(freed));
  for (sound::Handle bad : {sound::Handle(0), sound::Handle(4711), freed}) {
    EXPECT_FALSE(sound::SamplePlay(bad, 100));
    EXPECT_FALSE(sound::SampleStop(bad));
    EXPECT_FALSE(sound::SampleFree(bad));
    EXPECT_FALSE(sound::MusicPlay(bad, 0, 0, true));
    EXPECT_FALSE(sound::MusicSetVolume(bad, 50));
    EXPECT_FALSE(sound::MusicFree(bad));
  }
  // A handle of the other kind is no handle either.
  EXPECT_FALSE(sound::SampleStop(music));
  EXPECT_FALSE(sound::MusicSetVolume(sample, 0));
  EXPECT_EQ(warnings.count, 4 * 2 + 2 + 3 * 6 + 2);
  // The sample played on through all of it.
  EXPECT_NEAR(Peak(Pull(100)), 0.1f, 1e-4f);

  // Float data that isn't a number plays as silence, and values past full scale as full scale,
  // instead of poisoning the mix; converted from another rate, they stay within it.
  const std::vector<float> values = {NAN, INFINITY, 0.25f, -INFINITY, 1e38f, -1e38f};
  const std::vector<uint8_t> hostile = test::MakeFloatWav(values, 1, RATE);
  const std::vector<uint8_t> converted = test::MakeFloatWav(values, 1, 11025);
  ASSERT_TRUE(sound::SampleStop(sample));
  ASSERT_TRUE(sound::SamplePlay(sound::SampleLoad(hostile.data(), hostile.size()), 100));
  EXPECT_EQ(Pull(6), (std::vector<float>{0, 0, 1, 1, 0.25f, 0.25f, -1, -1, 1, 1, -1, -1}));
  ASSERT_TRUE(sound::SamplePlay(sound::SampleLoad(converted.data(), converted.size()), 50));
  EXPECT_LE(Peak(Pull(100)), 0.5f);

  // Closed, the layer takes nothing and renders silence; Free and Init may be repeated.
  sound::Free();
  sound::Free();
  EXPECT_FALSE(sound::IsOpen() || sound::Start());
  EXPECT_EQ(sound::SampleRate(), 0u);
  EXPECT_EQ(sound::MusicLoad(mod.data(), mod.size()) + sound::SampleLoad(wav.data(), wav.size()), 0u);
  EXPECT_EQ(Pull(10), std::vector<float>(20, 0.0f));
  EXPECT_FALSE(sound::Init(sound::DEVICE_NO_OUTPUT, 0) || sound::Init(7, RATE) || sound::IsOpen());
  ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, 48000));
  ASSERT_TRUE(sound::Init(sound::DEVICE_NO_OUTPUT, RATE));
  EXPECT_EQ(sound::SampleRate(), RATE);
  EXPECT_FALSE(sound::SamplePlay(sample, 100));  // gone with the first layer
}

TEST_F(SoundLayer, ADeviceConsumesTheMixOnItsOwnThread) {
  // SDL's dummy driver pulls from our callback in real time without any sound hardware.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const bool opened = sound::Init(sound::DEVICE_DEFAULT, RATE);
  unsetenv("SDL_AUDIODRIVER");
  if (!opened) GTEST_SKIP() << "SDL has no dummy audio driver here";
  const std::vector<uint8_t> wav = test::MakeConstantWav(4410, 3277, RATE);
  ASSERT_TRUE(sound::SamplePlay(sound::SampleLoad(wav.data(), wav.size()), 100));
  // Each look takes one frame: only the device can play the 4410 frames away within 1000 looks.
  bool ended = false;
  for (int look = 0; look < 1000 && !ended; ++look) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ended = Peak(Pull(1)) == 0;
  }
  EXPECT_TRUE(ended);
  sound::Free();  // joins the device's thread
  EXPECT_FALSE(sound::IsOpen());
}

TEST_F(SoundLayer, RealModulesAndSamplesSound) {
  SKIP_WITHOUT_CORPUS();
  const std::filesystem::path corpus = test::CorpusDir();
  int modules = 0, samples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus / "music")) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".xm" && extension != ".it" && extension != ".s3m" && extension != ".mod") continue;
    // As libopenmpt plays it, and audible unless libopenmpt itself finds nothing to play (one
    // of the test modules is silent by design).
    const std::vector<uint8_t> data = test::ReadBytes(entry.path().string());
    const std::vector<float> ours = PlayMusic(data, 100, 4 * RATE);
    const std::vector<float> reference = RenderDirectly(data, 0, 4 * RATE);
    EXPECT_LT(Difference(ours, reference), 1e-6f) << entry.path();
    if (Peak(reference) == 0) continue;
    EXPECT_GT(Peak(ours), 0.01f) << entry.path();
    ++modules;
  }
  for (const auto& entry : std::filesystem::directory_iterator(corpus / "samples")) {
    if (entry.path().extension() != ".wav") continue;
    const std::vector<uint8_t> data = test::ReadBytes(entry.path().string());
    const sound::Handle sample = sound::SampleLoad(data.data(), data.size());
    EXPECT_TRUE(sound::SamplePlay(sample, 100)) << entry.path();
    EXPECT_GT(Peak(Pull(RATE)), 0.01f) << entry.path();
    ++samples;
  }
  EXPECT_GE(modules, 4);  // XM, IT, S3M and MOD at least
  EXPECT_GE(samples, 1);
}

TEST(SoundCapture, WavFilesAndCaptureSoundHaveTheFramesTheyCover) {
  test::TempDir dir;
  // Samples past full scale are clipped, not wrapped.
  const float loud[6] = {2.0f, -2.0f, 0.5f, -0.5f, 0, 1};
  ASSERT_TRUE(sound::WriteWav((dir / "loud.wav").c_str(), loud, 3, 22050));
  SF_INFO info;
  const std::vector<float> back = ReadSound(dir / "loud.wav", info);
  ASSERT_EQ(back.size(), 6u);
  EXPECT_TRUE(info.samplerate == 22050 && info.channels == 2 && info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  EXPECT_TRUE(back[0] > 0.99f && back[1] < -0.99f) << back[0] << " " << back[1];
  EXPECT_NEAR(back[2], 0.5f, 1e-3f);
  EXPECT_FALSE(sound::WriteWav((dir / "no/such/dir.wav").c_str(), loud, 3, 22050));

  // 48 pictures at 24 per second up to frame 60 (picture 47 shows frame 59.97): 48 / 24 s of
  // sound. Its music, panned hard to one side, is captured at the stereo separation of the settings.
  test::MessageCapture boxes;
  test::WriteBytes(dir / "tune.mod", test::MakeTinyMod());
  std::string scene = "LWSC\n3\n\nPreviewFirstFrame 0\nPreviewLastFrame 60\n"
                      "AddNullObject ACTMOD tune.mod 3 0 0\nObjectMotion\nNumChannels 9\n";
  for (int c = 0; c < 9; ++c) scene += test::LwsChannel(c, c < 6 ? 0 : 2.5f);  // full volume
  test::WriteText(dir / "scene.lws", scene + "AddCamera\n");
  RunOptions options;
  options.input = dir / "scene.lws";
  options.mode = MODE_CAPTURE;
  options.captureDirectory = dir / "capture";
  options.captureFps = 24;
  options.settings.width = 64;
  options.settings.height = 48;
  options.settings.stereoSeparation = 0;
  std::FILE* sink = std::tmpfile();
  ASSERT_EQ(RunCapture(options, sink, sink), 0);
  std::fclose(sink);
  const std::vector<float> captured = ReadSound(dir / "capture/audio.wav", info);
  EXPECT_EQ(info.frames, std::llround(48 * 44100.0 / 24));
  EXPECT_EQ(info.samplerate, 44100);
  float sides = 0;
  for (size_t i = 0; i < captured.size(); i += 2) sides = std::max(sides, std::fabs(captured[i] - captured[i + 1]));
  EXPECT_TRUE(Peak(captured) > 0.01f && sides == 0) << Peak(captured) << " " << sides;
  EXPECT_FALSE(sound::IsOpen());
}

}  // namespace

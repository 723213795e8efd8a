// Mixing cost: one second of sound at 44100 Hz with one module playing and sixteen sample voices
// sounding, rendered offline through the no-output layer in device-sized pieces. The module is
// one of the corpus's when the corpus is there, else a small one made here. The voices play a
// 22050 Hz sample converted at load (argument 1), or converting it as they play (argument 0, the
// way of a sample over the copy budget).
//
// Loading cost: a 10 s mono sample at 22050 Hz decoded and converted to 48000 Hz.
//
// Reported: core_percent, the CPU time of one mixed second as a percentage of one core; the load
// time per iteration.
#include "sound/Sound.h"
#include "tests/support/TinyAudio.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr uint32_t RATE = 44100;
constexpr uint32_t PIECE = 1024;  // what a device pulls at a time

// A FastTracker module of the corpus (sampled instruments, twelve seconds), else ours.
std::vector<uint8_t> PickModule() {
  const char* corpus = std::getenv("ZIVI3_CORPUS");
  const std::filesystem::path path =
      (corpus ? std::filesystem::path(corpus) : std::filesystem::path(ZIVI3_SOURCE_DIR) / ".." / "shared" / "corpus") /
      "music" / "libxmp-ft2_kxx.xm";
  std::ifstream file(path, std::ios::binary);
  if (!file) return test::MakeTinyMod();
  return {std::istreambuf_iterator<char>(file), {}};
}

// A 16-bit mono tone at 22050 Hz lasting seconds.
std::vector<uint8_t> ToneWav(uint32_t seconds) {
  std::vector<int16_t> tone(seconds * 22050);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t(2000 * std::sin(double(i) * 0.05));
  return demogen::EncodeWav(tone, 1, 22050);
}

void BM_MixOneSecond(benchmark::State& state) {
  sound::Init(sound::DEVICE_NO_OUTPUT, RATE);
  if (state.range(0) == 0) sound::SetSampleCopyBudget(0);
  const std::vector<uint8_t> module = PickModule();
  const sound::Handle music = sound::MusicLoad(module.data(), module.size());
  sound::MusicPlay(music, 0, 0, true);
  // Two seconds long: sixteen voices, restarted every second so they never end.
  const std::vector<uint8_t> wav = ToneWav(2);
  const sound::Handle sample = sound::SampleLoad(wav.data(), wav.size());
  std::vector<float> out(PIECE * 2);
  for (auto _ : state) {
    for (int voice = 0; voice < 16; ++voice) sound::SamplePlay(sample, 50);
    for (uint32_t done = 0; done < RATE; done += PIECE) sound::Render(out.data(), std::min(PIECE, RATE - done));
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["core_percent"] =
      benchmark::Counter(double(state.iterations()) / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  sound::Free();
}
BENCHMARK(BM_MixOneSecond)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_LoadTenSecondsTo48k(benchmark::State& state) {
  sound::Init(sound::DEVICE_NO_OUTPUT, 48000);
  const std::vector<uint8_t> wav = ToneWav(10);
  for (auto _ : state) {
    const sound::Handle sample = sound::SampleLoad(wav.data(), wav.size());
    benchmark::DoNotOptimize(sample);
    sound::SampleFree(sample);
  }
  sound::Free();
}
BENCHMARK(BM_LoadTenSecondsTo48k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Mixing cost: one second of sound at 44100 Hz with one module playing and sixteen sample voices
// sounding, rendered offline through the no-output layer in device-sized pieces. The module is
// one of the corpus's when the corpus is there, else a small one made here.
//
// Reported: core_percent, the CPU time of one mixed second as a percentage of one core.
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

void BM_MixOneSecond(benchmark::State& state) {
  sound::Init(sound::DEVICE_NO_OUTPUT, RATE);
  const std::vector<uint8_t> module = PickModule();
  const sound::Handle music = sound::MusicLoad(module.data(), module.size());
  sound::MusicPlay(music, 0, 0, true);
  // A 22050 Hz mono tone two seconds long: sixteen voices, restarted every second so they never end.
  std::vector<int16_t> tone(2 * 22050);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t(2000 * std::sin(double(i) * 0.05));
  const std::vector<uint8_t> wav = test::MakeWav(tone, 1, 22050);
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
BENCHMARK(BM_MixOneSecond)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

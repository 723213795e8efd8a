// Captures of the bundled demo at 640 × 480 with the software rasteriser, from the start to the
// last frame at 30 pictures a second: into a folder of PNG pictures with audio.wav, and into an
// MP4 file (H.264 + AAC). Counters: pictures_per_s, and real_time_ratio, the capture's playing
// time over its wall time (loading included). Goal: at least 2 on two cores, aim 3.
//   build/bench/bench_capture [--benchmark_filter=Mp4]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/App.h"
#include "app/Offscreen.h"

namespace {

constexpr float FPS = 30;

void Capture(benchmark::State& state, const char* target) {
  const std::string demo = std::string(ZIVI3_SOURCE_DIR) + "/demo/demo.lws";
  if (!std::filesystem::exists(demo)) {
    state.SkipWithError("no bundled demo (demo/demo.lws)");
    return;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zivi3-capture-bench";
  platform::SetBatchMessages(true);
  RunOptions options;
  options.input = demo;
  options.mode = MODE_CAPTURE;
  options.captureDirectory = (dir / target).string();
  options.captureFps = FPS;
  options.glDevice = platform::GL_DEVICE_SOFTWARE;
  options.batch = true;
  std::FILE* quiet = std::fopen("/dev/null", "w");
  unsigned long long pictures = 0;
  double seconds = 0;
  for (auto _ : state) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    LogSystem log;
    log.Open(LOG_FILE, (dir / "capture.log").c_str());
    std::FILE* out = std::tmpfile();
    const auto start = std::chrono::steady_clock::now();
    const int code = RunCapture(options, out, quiet);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The summary line begins "<target>: N pictures".
    std::rewind(out);
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, out) != nullptr;
    std::fclose(out);
    const char* count = read ? std::strstr(line, ": ") : nullptr;
    if (code != 0 || !count || std::sscanf(count + 2, "%llu pictures", &pictures) != 1) {
      state.SkipWithError("the capture failed");
      break;
    }
    state.SetIterationTime(took);
    seconds += took;
  }
  if (quiet) std::fclose(quiet);
  std::filesystem::remove_all(dir);
  if (seconds <= 0 || pictures == 0) return;
  const double perIteration = seconds / double(state.iterations());
  state.counters["pictures"] = double(pictures);
  state.counters["pictures_per_s"] = double(pictures) / perIteration;
  state.counters["real_time_ratio"] = double(pictures) / FPS / perIteration;
}

void BM_CapturePng(benchmark::State& state) { Capture(state, "pictures"); }
void BM_CaptureMp4(benchmark::State& state) { Capture(state, "demo.mp4"); }

BENCHMARK(BM_CapturePng)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_CaptureMp4)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();

// Start-up of a play run: from System::Init (window, log, sound) through loading, precalculating
// and uploading the bundled demo to the first presented frame, in a real window. Needs a
// display: run it under xvfb-run -a where there is none. Target: well under one second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/App.h"

namespace {

void BM_StartupToFirstFrame(benchmark::State& state) {
  const std::string demo = std::string(ZIVI3_SOURCE_DIR) + "/demo/demo.lws";
  if (!std::filesystem::exists(demo)) {
    state.SkipWithError("no bundled demo (demo/demo.lws)");
    return;
  }
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    state.SkipWithError("needs a display: run under xvfb-run -a");
    return;
  }
  platform::SetBatchMessages(true);
  const std::string logPath = (std::filesystem::temp_directory_path() / "zivi3-startup-bench.log").string();
  std::FILE* quiet = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    {
      Player player;
      player.input = demo;
      player.err = quiet ? quiet : stderr;
      RunOptions options;
      options.logPath = logPath;
      options.settings.noSound = 1;
      std::atomic<bool> over{false};
      // Watches for the first Present, takes the time and asks the run to end.
      std::thread watcher([&] {
        while (!over && player.system.presentedFrames == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        player.system.runFlags |= QUIT_REQUESTED;
      });
      const int code = PlaySystem(
          player.system, player.log, options,
          [&player](std::atomic<uint32_t>& runFlags) { return ViewerDriver(player, runFlags); },
          [&player] { ViewerCleanup(player); });
      over = true;
      watcher.join();
      if (code != 0 || player.system.presentedFrames == 0) {
        state.SkipWithError("the demo did not play");
        break;
      }
    }
    state.SetIterationTime(seconds);
  }
  if (quiet) std::fclose(quiet);
  std::filesystem::remove(logPath);
}
BENCHMARK(BM_StartupToFirstFrame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

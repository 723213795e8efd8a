// zivi3_crash_probe LOG WHAT [ARGUMENT...] [--fullscreen WxH]: the real System, its driver doing what WHAT says.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app/App.h"

namespace {

// A field a few bytes into a null record, which the sanitizer's null check doesn't stop first; volatile: it is written.
int* volatile nowhere = reinterpret_cast<int*>(uintptr_t{16});

void Fault() { *nowhere = 1; }

std::mutex probeLock;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zivi3_crash_probe LOG crash [MS] | return N | log-lock | hang [MS] | twice | load SCENE TEXT\n");
    return 64;
  }
  const std::string what = argv[2];
  const char* argument = argc > 3 ? argv[3] : "0";
  platform::SetBatchMessages(true);
  RunOptions options;
  options.logPath = argv[1];
  options.settings.width = 160;
  options.settings.height = 120;
  options.settings.noSound = 1;
  if (argc > 4 && std::strcmp(argv[argc - 2], "--fullscreen") == 0)
    options.settings.fullscreen = std::sscanf(argv[argc - 1], "%ux%u", &options.settings.width, &options.settings.height) == 2;

  Player player;
  player.input = what == "load" ? argument : "";
  ViewerProcedure driver = [&](std::atomic<uint32_t>& runFlags) -> uint32_t {
    Log(3, "PROBE(Driver) - running");
    if (what == "return") return uint32_t(std::atoi(argument));
    if (what == "hang") probeLock.lock();
    if (what == "log-lock") player.log.writeLock.Acquire();
    if (what == "load") {
      const std::string text = argc > 4 ? argv[4] : "";
      SetLogListener([text](int, const char* line) {
        if (std::strstr(line, text.c_str())) Fault();
      });
      return ViewerDriver(player, runFlags);
    }
    // crash and hang draw for MS milliseconds (or until the run is ended) first.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argument));
    while (std::chrono::steady_clock::now() < end && runFlags == 0) {
      player.system.Clear();
      player.system.Present();
    }
    Fault();
    return 0;
  };
  CleanupProcedure cleanup = [&] {
    if (what == "hang") probeLock.lock();  // never comes free: the driver faulted holding it
    Log(3, "PROBE(Cleanup) - cleaning up");
    if (what == "twice") Fault();
    ViewerCleanup(player);
    std::fprintf(stderr, "crash probe: cleanup ran, %zu objects left\n", player.scene.objects.size());
  };
  return PlaySystem(player.system, player.log, options, driver, cleanup);
}

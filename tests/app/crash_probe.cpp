// zivi3_crash_probe: the real System in a real window whose driver does what the arguments say,
// so a test can watch the whole run from outside: exit code, log file, message boxes (--batch,
// on stderr) and the cleanup.
//
//   zivi3_crash_probe LOG crash     the driver writes through a null record
//   zivi3_crash_probe LOG return N  the driver returns N at once
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/App.h"

namespace {

// A field a few bytes into a null record: the fault of a null pointer, without the sanitizer's
// null check stopping the run first. Volatile: the write below must really happen.
int* volatile nowhere = reinterpret_cast<int*>(uintptr_t{16});

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zivi3_crash_probe LOG crash | LOG return N\n");
    return 64;
  }
  const bool crash = std::strcmp(argv[2], "crash") == 0;
  const uint32_t code = argc > 3 ? uint32_t(std::atoi(argv[3])) : 0;
  platform::SetBatchMessages(true);
  RunOptions options;
  options.logPath = argv[1];
  options.settings.width = 160;
  options.settings.height = 120;
  options.settings.noSound = 1;

  System system;
  LogSystem log;
  const int exitCode = PlaySystem(
      system, log, options,
      [crash, code](std::atomic<uint32_t>&) -> uint32_t {
        Log(3, "PROBE(Driver) - running");
        if (crash) *nowhere = 1;
        return code;
      },
      [] { std::fprintf(stderr, "crash probe: cleanup ran\n"); });
  std::fprintf(stderr, "crash probe: exit code %d\n", exitCode);
  return exitCode;
}

// demogen OUTDIR: writes the bundled demo into OUTDIR, the same bytes on every run.
#include "DemoGen.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demogen OUTDIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  size_t total = 0;
  for (const demogen::DemoFile& file : demogen::MakeDemo()) {
    const std::string path = (dir / file.name).string();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool written = out && std::fwrite(file.bytes.data(), 1, file.bytes.size(), out) == file.bytes.size();
    if (out && std::fclose(out) != 0) out = nullptr;
    if (!written || !out) {
      std::fprintf(stderr, "demogen: can't write %s\n", path.c_str());
      return 1;
    }
    std::printf("%-14s %8zu bytes\n", file.name.c_str(), file.bytes.size());
    total += file.bytes.size();
  }
  std::printf("%-14s %8zu bytes in %s\n", "total", total, dir.string().c_str());
  return 0;
}

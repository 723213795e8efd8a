// Object loading speed: a large triangles-only object made here (a grid of over a million
// triangles with a tag per triangle and a UV map per point), and the real objects of the corpus
// read with triangulation. Files are in memory, as the Vfs holds them; bytes/s is file bytes.
// big_arrays counts allocations of 1 MiB or more during a load: the grid's layer should need
// exactly two (its points and its triangles).
#include "LwoWriter.h"
#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "platform/Platform.h"
#include "scene/Scene.h"
#include "vfs/Vfs.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<bool> countingAllocations{false};
std::atomic<uint64_t> bigAllocations{0};
constexpr size_t BIG_ALLOCATION = size_t(1) << 20;

}  // namespace

// The counting operator new hands out malloc's memory and operator delete gives it back to
// free; GCC can't see that the two are replaced together and warns of a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t size) {
  if (countingAllocations.load(std::memory_order_relaxed) && size >= BIG_ALLOCATION) ++bigAllocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

// side x side points, 2 (side - 1)^2 triangles.
std::vector<uint8_t> GridObject(uint32_t side) {
  iff::LwoWriter w;
  w.Tags({"Grid"});
  w.Layer(0, 0, 0, 0, 0, "");
  w.Chunk("PNTS");
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x) w.Vec(float(x), float(y), float((x * y) % 7));
  w.End();
  w.Chunk("VMAP").Id("TXUV").U2(2).S0("UV");
  for (uint32_t i = 0; i < side * side; ++i) w.VX(i).F4(float(i % side) / side).F4(float(i / side) / side);
  w.End();
  w.Chunk("POLS").Id("FACE");
  uint32_t triangles = 0;
  for (uint32_t y = 0; y + 1 < side; ++y) {
    for (uint32_t x = 0; x + 1 < side; ++x) {
      uint32_t p = y * side + x;
      w.U2(3).VX(p).VX(p + side).VX(p + 1);
      w.U2(3).VX(p + 1).VX(p + side).VX(p + side + 1);
      triangles += 2;
    }
  }
  w.End();
  w.Chunk("PTAG").Id("SURF");
  for (uint32_t t = 0; t < triangles; ++t) w.VX(t).U2(0);
  w.End();
  return w.File();
}

VfsFile InMemory(const char* name, std::vector<uint8_t> bytes) {
  VfsFile file;
  file.name = name;
  file.size = uint32_t(bytes.size());
  file.data = std::move(bytes);
  file.loaded = 1;
  return file;
}

void LoadFile(benchmark::State& state, const VfsFile& file, bool triangulate) {
  System system;
  system.settings.triangulate = triangulate;
  size_t triangles = 0;
  for (auto _ : state) {
    Scene scene;
    scene.AttachToSystem(&system);
    bigAllocations = 0;
    countingAllocations = true;
    bool loaded = LwoLoader().Load(&file, &scene);
    countingAllocations = false;
    if (!loaded) {
      state.SkipWithError("the object didn't load");
      break;
    }
    triangles = 0;
    for (const auto& object : scene.objects) triangles += object->triangles.size();
    benchmark::DoNotOptimize(scene.objects.data());
    state.PauseTiming();  // freeing the scene is not loading it
    scene.Free();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * file.size);
  state.counters["triangles"] = double(triangles);
  state.counters["big_arrays"] = double(bigAllocations.load());
}

const VfsFile& Grid() {
  static const VfsFile grid = InMemory("grid.lwo", GridObject(710));  // 1 005 362 triangles
  return grid;
}

// As a program loads an object: its arrays are fresh memory, whose first touch costs page
// faults (about 120 MB of vertex and triangle records here).
void BM_LoadMillionTriangleGrid(benchmark::State& state) { LoadFile(state, Grid(), false); }
BENCHMARK(BM_LoadMillionTriangleGrid)->Unit(benchmark::kMillisecond);

// The reading alone: freed memory is kept in the heap (no mmap, no trimming), so after a first
// load every later one writes to pages that are already mapped. Runs last: it changes malloc.
void BM_LoadMillionTriangleGridWarmMemory(benchmark::State& state) {
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  {
    Scene scene;
    LwoLoader().Load(&Grid(), &scene);
  }
  LoadFile(state, Grid(), false);
}

std::string CorpusDir() {
  if (const char* env = std::getenv("ZIVI3_CORPUS")) return env;
  return std::string(ZIVI3_SOURCE_DIR) + "/../shared/corpus";
}

// One benchmark per corpus object, when the corpus is here.
void RegisterCorpusObjects() {
  std::error_code error;
  std::vector<std::filesystem::path> paths;
  for (const char* folder : {"objects", "mapping", "scenes"}) {
    std::filesystem::path dir = std::filesystem::path(CorpusDir()) / "lightwave" / folder;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      if (it->path().extension() == ".lwo") paths.push_back(it->path());
    }
  }
  std::sort(paths.begin(), paths.end());
  for (const auto& path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    auto* file = new VfsFile(InMemory(path.filename().c_str(), std::move(bytes)));  // lives for the run
    benchmark::RegisterBenchmark(("BM_LoadCorpus/" + path.filename().string()).c_str(),
                                 [file](benchmark::State& state) { LoadFile(state, *file, true); })
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Unsupported blocks in the corpus log level-0 messages; nobody is there to dismiss them.
  platform::SetMessageHook([](const char*, const char*, platform::MessageIcon) {});
  RegisterCorpusObjects();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RegisterBenchmark("BM_LoadMillionTriangleGridWarmMemory", BM_LoadMillionTriangleGridWarmMemory)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Frame time with a nested particle scene, offscreen at 640 × 480: 1000 particles of a nested
// scene whose one animated object has 1000 triangles, over a main scene of a lit floor, against
// the same main scene without the particle null (the baseline the ratio is taken to).
#include "actions/Actions.h"
#include "app/System.h"
#include "platform/Platform.h"
#include "render/Render.h"
#include "scene/Scene.h"
#include "vfs/Vfs.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr uint32_t WIDTH = 640, HEIGHT = 480;
constexpr uint32_t PARTICLES = 1000;

void PutU2(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(uint8_t(value >> 8));
  out.push_back(uint8_t(value));
}
void PutU4(std::vector<uint8_t>& out, uint32_t value) {
  PutU2(out, value >> 16);
  PutU2(out, value & 0xFFFF);
}
void PutF4(std::vector<uint8_t>& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutU4(out, bits);
}
void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
  out.insert(out.end(), id, id + 4);
  PutU4(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
}

// An LWO2 sheet of 11 × 51 points: 10 × 50 quads, 1000 triangles.
std::vector<uint8_t> SheetObject() {
  constexpr uint32_t ROWS = 11, COLUMNS = 51;
  std::vector<uint8_t> layer, points, polygons;
  PutU2(layer, 0), PutU2(layer, 0);
  for (int i = 0; i < 3; ++i) PutF4(layer, 0);
  layer.insert(layer.end(), {'s', 'h', 'e', 'e', 't', 0});
  for (uint32_t y = 0; y < ROWS; ++y)
    for (uint32_t x = 0; x < COLUMNS; ++x) {
      PutF4(points, float(x) * 0.04f - 1.0f);
      PutF4(points, float(y) * 0.04f - 0.2f);
      PutF4(points, 0.05f * float((x + y) % 3));
    }
  polygons.insert(polygons.end(), {'F', 'A', 'C', 'E'});
  for (uint32_t y = 0; y + 1 < ROWS; ++y)
    for (uint32_t x = 0; x + 1 < COLUMNS; ++x) {
      const uint32_t i = y * COLUMNS + x;
      const uint32_t triangles[2][3] = {{i, i + COLUMNS, i + COLUMNS + 1}, {i, i + COLUMNS + 1, i + 1}};
      for (const auto& triangle : triangles) {
        PutU2(polygons, 3);
        for (uint32_t corner : triangle) PutU2(polygons, corner);
      }
    }
  std::vector<uint8_t> body = {'L', 'W', 'O', '2'};
  PutChunk(body, "LAYR", layer);
  PutChunk(body, "PNTS", points);
  PutChunk(body, "POLS", polygons);
  std::vector<uint8_t> file = {'F', 'O', 'R', 'M'};
  PutU4(file, uint32_t(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

// One channel block of the scene file: a constant, or two linear keys.
std::string Channel(int channel, float value0, float value1 = 0, float seconds1 = -1) {
  char text[256];
  if (seconds1 < 0)
    std::snprintf(text, sizeof text, "Channel %d\n{ Envelope\n  1\n  Key %g 0 3 0 0 0 0 0 0\n}\n", channel, value0);
  else
    std::snprintf(text, sizeof text, "Channel %d\n{ Envelope\n  2\n  Key %g 0 3 0 0 0 0 0 0\n  Key %g %g 3 0 0 0 0 0 0\n}\n",
                  channel, value0, value1, seconds1);
  return text;
}

// Nine channels: position, heading turning once over two seconds, unit scale.
std::string Motion(float x, float y, float z, bool turning) {
  std::string text = "ObjectMotion\nNumChannels 9\n" + Channel(0, x) + Channel(1, y) + Channel(2, z);
  text += turning ? Channel(3, 0, 6.2831853f, 2) : Channel(3, 0);
  text += Channel(4, 0) + Channel(5, 0) + Channel(6, 1) + Channel(7, 1) + Channel(8, 1);
  return text;
}

void WriteFile(const std::filesystem::path& path, const void* bytes, size_t size) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char*>(bytes), std::streamsize(size));
}

// A folder with the nested scene and a main scene, with or without the particle null, loaded
// and ready to render into an offscreen context.
struct Bench {
  std::filesystem::path folder;
  System system;
  Vfs vfs{&system};
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  platform::OffscreenContext* context = nullptr;
  bool ready = false;

  explicit Bench(bool particles) {
    folder = std::filesystem::temp_directory_path() / ("zivi3_actions_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::vector<uint8_t> sheet = SheetObject();
    WriteFile(folder / "sheet.lwo", sheet.data(), sheet.size());
    const std::string nested = "LWSC\n3\n\nFramesPerSecond 30\nPreviewLastFrame 60\nLoadObjectLayer 1 sheet.lwo\n" +
                               Motion(0, 0, 0, true) + "AddCamera\n";
    WriteFile(folder / "nested.lws", nested.data(), nested.size());
    std::string main = "LWSC\n3\n\nFramesPerSecond 30\nPreviewLastFrame 1000\nLoadObjectLayer 1 sheet.lwo\n" +
                       Motion(0, -2, 8, false);
    if (particles)
      main += "AddNullObject ACTSPS nested.lws " + std::to_string(PARTICLES) + " 0 1000 6 4 6 8 8 8\n" +
              Motion(0, 0, 10, false);
    main += "AddLight\nLightColor 1 1 1\n" + Motion(0, 5, -5, false) + "AddCamera\n" + Motion(0, 0, -4, false);
    WriteFile(folder / "main.lws", main.data(), main.size());

    Settings settings;
    settings.width = WIDTH;
    settings.height = HEIGHT;
    settings.widescreen = 0;
    system.ApplySettings(settings);
    context = platform::CreateOffscreenContext(WIDTH, HEIGHT, 32);
    if (!context || !vfs.Mount(MOUNT_DIRECTORY, folder.string().c_str())) return;
    SetupRenderState();
    scene->AttachToSystem(&system);
    system.textureCache.AddScene(scene.get());
    if (!scene->Load(&vfs, "main.lws")) return;
    scene->Precalc(&vfs);
    system.textureCache.Load(&vfs);
    SetupViewports(*scene);
    ready = true;
  }

  ~Bench() {
    if (context) {
      ReleaseSceneRendering(*scene);
      system.textureCache.Free();
    }
    scene.reset();
    if (context) platform::DestroyOffscreenContext(context);
    std::filesystem::remove_all(folder);
  }

  void Frame(float time) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->RenderFrame(time);
    glFinish();
  }
};

void RunFrames(benchmark::State& state, bool particles) {
  Bench bench(particles);
  if (!bench.ready) {
    state.SkipWithError("the benchmark scene could not be set up");
    return;
  }
  float time = 100;
  bench.Frame(time);  // display lists compiled outside the timing
  for (auto _ : state) {
    bench.Frame(time);
    time += 1;
    if (time >= 1000) time = 100;
  }
  state.counters["particles"] = particles ? double(PARTICLES) : 0.0;
}

// The baseline: the main scene alone.
void BM_FrameMainSceneOnly(benchmark::State& state) { RunFrames(state, false); }
BENCHMARK(BM_FrameMainSceneOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same frame with 1000 particles of the 1000-triangle nested scene.
void BM_FrameWithParticles(benchmark::State& state) { RunFrames(state, true); }
BENCHMARK(BM_FrameWithParticles)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

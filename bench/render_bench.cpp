// Rendering speed offscreen at 640 × 480: a static scene of about 200 000 triangles in 50 objects
// against the same triangles replayed from one display list without any state change; and an
// object of 100 000 points following a point cache: its per-frame update and array refresh on
// the CPU, and its whole draw next to the same triangles sent in immediate mode.
#include "lightwave/Lightwave.h"
#include "platform/Platform.h"
#include "render/MeshArrays.h"
#include "render/Render.h"
#include "scene/Scene.h"
#include "app/System.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t WIDTH = 640, HEIGHT = 480;

void Constant(std::unique_ptr<Envelope>& slot, float value) {
  slot = std::make_unique<Envelope>();
  EnvelopeKey key;
  key.value = value;
  key.shape = SHAPE_LINEAR;
  slot->keys = {key};
}

// A bumpy side × side sheet of 2 (side − 1)² triangles, in two surfaces by halves, placed at
// position by one-key channels.
SceneObject* AddSheet(Scene& scene, uint32_t side, float spacing, Vec3 position, Surface* a, Surface* b) {
  SceneObject* object = scene.AddObject();
  object->fileName = "sheet";
  const float values[9] = {position.x, position.y, position.z, 0.2f, -0.3f, 0, 1, 1, 1};
  for (int i = 0; i < 9; ++i) Constant(object->envelopes[i], values[i]);
  object->baseVertices.resize(size_t(side) * side);
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x) {
      Vertex& vertex = object->baseVertices[size_t(y) * side + x];
      vertex.position = {spacing * float(x), spacing * float(y), 0.05f * std::sin(float(x * 3 + y) * 0.4f)};
    }
  object->triangles.reserve(size_t(2) * (side - 1) * (side - 1));
  for (uint32_t y = 0; y + 1 < side; ++y)
    for (uint32_t x = 0; x + 1 < side; ++x) {
      const uint32_t i = y * side + x;
      Triangle t1, t2;
      t1.cornerIndex[0] = i, t1.cornerIndex[1] = i + side, t1.cornerIndex[2] = i + side + 1;
      t2.cornerIndex[0] = i, t2.cornerIndex[1] = i + side + 1, t2.cornerIndex[2] = i + 1;
      t1.surface = t2.surface = x < side / 2 ? a : b;
      object->triangles.push_back(t1);
      object->triangles.push_back(t2);
    }
  return object;
}

// An offscreen context and a scene with a camera, two lights and two smooth surfaces.
struct Bench {
  System system;
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  platform::OffscreenContext* context = nullptr;
  Surface* surfaces[2] = {nullptr, nullptr};

  Bench() {
    Settings settings;
    settings.width = WIDTH;
    settings.height = HEIGHT;
    system.ApplySettings(settings);
    context = platform::CreateOffscreenContext(WIDTH, HEIGHT, 32);
    SetupRenderState();
    scene->AttachToSystem(&system);
    Camera* camera = scene->AddCamera();
    for (auto& envelope : camera->envelopes) Constant(envelope, 0);
    for (int i = 0; i < 2; ++i) {
      Light* light = scene->AddLight();
      light->lightIndex = uint32_t(i);
      light->kind = uint8_t(i == 0 ? LIGHT_POINT : LIGHT_DISTANT);
      light->color = {0.8f, 0.8f, 0.8f};
      Constant(light->envelopes[0], i == 0 ? 5.0f : -1.0f);
      Constant(light->envelopes[1], 5);
      Constant(light->envelopes[2], -5);
    }
    for (int i = 0; i < 2; ++i) {
      surfaces[i] = scene->AddSurface();
      surfaces[i]->color = {0.4f + 0.4f * float(i), 0.5f, 0.6f};
      surfaces[i]->diffuse = 1;
      surfaces[i]->smoothing = 1;
    }
  }
  ~Bench() {
    ReleaseSceneRendering(*scene);
    scene.reset();
    platform::DestroyOffscreenContext(context);
  }

  void Prepare() {
    scene->Precalc(nullptr);
    SetupViewports(*scene);
  }

  void Frame(float time) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->RenderFrame(time);
    glFinish();
  }
};

// 50 sheets of 46 × 46 points (4 050 triangles each, 202 500 in all), ten by five in view.
void AddStaticScene(Bench& bench) {
  for (int j = 0; j < 5; ++j)
    for (int i = 0; i < 10; ++i)
      AddSheet(*bench.scene, 46, 0.04f, {-5.0f + float(i), -2.5f + float(j), 12}, bench.surfaces[0],
               bench.surfaces[1]);
}

void BM_StaticSceneFrame(benchmark::State& state) {
  Bench bench;
  AddStaticScene(bench);
  bench.Prepare();
  bench.Frame(0);  // records the display lists
  size_t triangles = 0;
  for (const auto& object : bench.scene->objects) triangles += object->triangles.size();
  for (auto _ : state) bench.Frame(0);
  state.counters["triangles"] = double(triangles);
}
BENCHMARK(BM_StaticSceneFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: the same triangles, already in world space, in one display list under one
// material, replayed with the same projection and lights.
void BM_StaticSceneOneListBaseline(benchmark::State& state) {
  Bench bench;
  AddStaticScene(bench);
  bench.Prepare();
  bench.Frame(0);  // projection, lights and world matrices as the renderer leaves them
  const GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  ApplySurface(bench.surfaces[0]);
  glBegin(GL_TRIANGLES);
  for (const auto& object : bench.scene->objects) {
    const float* m = object->worldMatrix.m;
    auto apply = [m](const Vec3& v, float w) {
      return Vec3{m[0] * v.x + m[4] * v.y + m[8] * -v.z + m[12] * w, m[1] * v.x + m[5] * v.y + m[9] * -v.z + m[13] * w,
                  m[2] * v.x + m[6] * v.y + m[10] * -v.z + m[14] * w};
    };
    for (const Triangle* triangle : object->sortedTriangles)
      for (int k : {0, 2, 1}) {
        const Vertex& vertex = object->vertices[triangle->cornerIndex[k]];
        const Vec3 n = apply(vertex.normal, 0), p = apply(vertex.position, 1);
        glNormal3f(n.x, n.y, n.z);
        glVertex3f(p.x, p.y, p.z);
      }
  }
  glEnd();
  glEndList();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glCallList(list);
    glFinish();
  }
  glDeleteLists(list, 1);
}
BENCHMARK(BM_StaticSceneOneListBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// 317 × 317 = 100 489 points, 200 000 triangles, following a 10-sample cache that moves every
// point a little.
constexpr uint32_t CACHE_SIDE = 317;
constexpr uint32_t CACHE_SAMPLES = 10;

SceneObject* AddCachedSheet(Bench& bench) {
  SceneObject* object = AddSheet(*bench.scene, CACHE_SIDE, 0.02f, {-3, -3, 10}, bench.surfaces[0], bench.surfaces[1]);
  bench.Prepare();
  ForeignPtr<PointCache> cache = NewPointCache();
  cache->frameStep = 1;
  cache->frameCount = CACHE_SAMPLES;
  cache->length = CACHE_SAMPLES - 1;
  cache->pointCount = uint32_t(object->baseVertices.size());
  for (uint32_t s = 0; s < CACHE_SAMPLES; ++s)
    for (const Vertex& vertex : object->baseVertices)
      cache->positions.push_back({vertex.position.x - 3, vertex.position.y - 3 + 0.01f * float(s), 10 + vertex.position.z});
  object->pointCache = std::move(cache);
  object->flags |= OBJECT_DYNAMIC;
  return object;
}

// The CPU side of one frame: the point-cache update and the copy into the arrays.
void BM_PointCacheUpdateAndArrays(benchmark::State& state) {
  Bench bench;
  SceneObject* object = AddCachedSheet(bench);
  RefreshDynamicArrays(*object);  // the layout, built once
  float time = 0;
  for (auto _ : state) {
    UpdateDynamicObject(*object, time);
    RefreshDynamicArrays(*object);
    time = time > 8 ? 0 : time + 0.37f;
  }
  state.counters["points"] = double(object->vertices.size());
}
BENCHMARK(BM_PointCacheUpdateAndArrays)->Unit(benchmark::kMicrosecond);

void BM_PointCacheUpdateOnly(benchmark::State& state) {
  Bench bench;
  SceneObject* object = AddCachedSheet(bench);
  float time = 0;
  for (auto _ : state) {
    UpdateDynamicObject(*object, time);
    benchmark::DoNotOptimize(object->vertices.data());
    time = time > 8 ? 0 : time + 0.37f;
  }
}
BENCHMARK(BM_PointCacheUpdateOnly)->Unit(benchmark::kMicrosecond);

// Whole frames with the cached object: arrays against immediate mode.
void BM_PointCacheFrame(benchmark::State& state) {
  Bench bench;
  AddCachedSheet(bench);
  float time = 0;
  for (auto _ : state) {
    bench.Frame(time);
    time = time > 8 ? 0 : time + 0.37f;
  }
}
BENCHMARK(BM_PointCacheFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PointCacheFrameImmediateMode(benchmark::State& state) {
  Bench bench;
  SceneObject* object = AddCachedSheet(bench);
  bench.Frame(0);  // projection and lights
  float time = 0;
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    UpdateDynamicObject(*object, time);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (const SurfaceBatch& batch : object->surfaceBatches) {
      ApplySurface(batch.surface);
      glBegin(GL_TRIANGLES);
      EmitSmooth(object, batch.first, batch.first + batch.count);
      glEnd();
    }
    glFinish();
    time = time > 8 ? 0 : time + 0.37f;
  }
}
BENCHMARK(BM_PointCacheFrameImmediateMode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

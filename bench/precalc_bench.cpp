// Precalculation speed: a scene with one grid object of about a million triangles in four
// surfaces (one with a planar texture layer) precalculated whole, in the classic look and in the
// LightWave look with every surface smoothed by angle (corner normals); vertex normals alone on
// a mid-size grid, next to the scan of every triangle per vertex they replace; and the
// per-frame update of an object following a point cache.
#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "scene/Scene.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// side × side points on a bumpy sheet (neighbouring faces up to some 15° apart), 2 (side − 1)²
// triangles in horizontal bands of the scene's surfaces.
SceneObject* AddGrid(Scene& scene, uint32_t side) {
  SceneObject* object = scene.AddObject();
  object->fileName = "grid.lwo";
  object->baseVertices.resize(size_t(side) * side);
  for (uint32_t y = 0; y < side; ++y)
    for (uint32_t x = 0; x < side; ++x)
      object->baseVertices[size_t(y) * side + x].position = {float(x), float(y), 0.3f * std::sin(float(x) * 0.9f) * std::sin(float(y) * 0.7f)};
  const size_t surfaceCount = scene.surfaces.size();
  object->triangles.reserve(size_t(2) * (side - 1) * (side - 1));
  for (uint32_t y = 0; y + 1 < side; ++y) {
    Surface* surface = surfaceCount ? scene.surfaces[size_t(y) * surfaceCount / (side - 1)].get() : nullptr;
    for (uint32_t x = 0; x + 1 < side; ++x) {
      const uint32_t i = y * side + x;
      Triangle a, b;
      a.cornerIndex[0] = i, a.cornerIndex[1] = i + 1, a.cornerIndex[2] = i + side;
      b.cornerIndex[0] = i + 1, b.cornerIndex[1] = i + side + 1, b.cornerIndex[2] = i + side;
      a.surface = b.surface = surface;
      object->triangles.push_back(a);
      object->triangles.push_back(b);
    }
  }
  return object;
}

void AddSurfaces(Scene& scene) {
  for (int s = 0; s < 4; ++s) scene.AddSurface()->name = "band";
  TextureLayer* layer = (scene.surfaces[1]->layers[0] = std::make_unique<TextureLayer>()).get();
  layer->axis = AXIS_Z;
  layer->size = {100, 100, 1};
  scene.surfaces[1]->layerCount = 1;
}

// A fresh scene for every run, as the player precalculates each scene once. In the LightWave
// look every surface is smoothed by angle: LightWave's default of 89.5°, which keeps the sheet
// smooth all round (but for the borders between surfaces), or 5°, which makes most vertices
// hard ones whose corners need normals of their own.
void PrecalcMillionTriangles(benchmark::State& state, bool lightwave, float smoothing = 0) {
  System system;
  system.settings.lightwave = lightwave;
  size_t triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
    AddSurfaces(*scene);
    if (lightwave)
      for (const auto& surface : scene->surfaces) surface->smoothing = smoothing;
    SceneObject* grid = AddGrid(*scene, 709);  // 1 002 528 triangles
    scene->AddCamera();
    triangles = grid->triangles.size();
    state.ResumeTiming();
    scene->Precalc(nullptr);
    benchmark::DoNotOptimize(grid->vertices.data());
    state.PauseTiming();
    scene.reset();
    state.ResumeTiming();
  }
  state.counters["triangles"] = double(triangles);
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(triangles));
}

void BM_PrecalcMillionTriangles(benchmark::State& state) { PrecalcMillionTriangles(state, false); }
BENCHMARK(BM_PrecalcMillionTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();

// The argument: the smoothing angle in thousandths of a degree.
void BM_PrecalcMillionTrianglesByAngle(benchmark::State& state) {
  PrecalcMillionTriangles(state, true, float(state.range(0)) * 0.001f * 3.14159265f / 180);
}
BENCHMARK(BM_PrecalcMillionTrianglesByAngle)->Arg(89500)->Arg(5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The scan the linear pass replaces: every triangle tested against every vertex.
void QuadraticVertexNormals(SceneObject& object) {
  for (Vertex& vertex : object.baseVertices) {
    Vec3 sum;
    uint32_t count = 0;
    for (const Triangle& triangle : object.triangles) {
      if (triangle.corners[0] == &vertex || triangle.corners[1] == &vertex || triangle.corners[2] == &vertex) {
        sum.x += triangle.faceNormal.x;
        sum.y += triangle.faceNormal.y;
        sum.z += triangle.faceNormal.z;
        ++count;
      }
    }
    if (count != 0) {
      const float scale = 1.0f / float(count);
      sum = Vec3{sum.x * scale, sum.y * scale, sum.z * scale};
    }
    vertex.normal = Normalize(sum);
  }
}

// Mid-size: 101 × 101 points, 20 000 triangles.
constexpr uint32_t MID_SIDE = 101;

void BM_NormalsLinear(benchmark::State& state) {
  Scene scene;
  SceneObject* grid = AddGrid(scene, MID_SIDE);
  for (auto _ : state) {
    ComputeNormals(*grid);
    benchmark::DoNotOptimize(grid->baseVertices.data());
  }
}
BENCHMARK(BM_NormalsLinear)->Unit(benchmark::kMillisecond);

void BM_NormalsQuadratic(benchmark::State& state) {
  Scene scene;
  SceneObject* grid = AddGrid(scene, MID_SIDE);
  ComputeNormals(*grid);  // face normals
  for (Triangle& triangle : grid->triangles)
    for (int k = 0; k < 3; ++k) triangle.corners[k] = &grid->baseVertices[triangle.cornerIndex[k]];
  for (auto _ : state) {
    QuadraticVertexNormals(*grid);
    benchmark::DoNotOptimize(grid->baseVertices.data());
  }
}
BENCHMARK(BM_NormalsQuadratic)->Unit(benchmark::kMillisecond);

// One frame of an object of 100 000 points following a 100-sample cache.
void BM_UpdatePointCache(benchmark::State& state) {
  constexpr uint32_t POINTS = 100000, SAMPLES = 100;
  Scene scene;
  SceneObject* object = scene.AddObject();
  object->baseVertices.resize(POINTS);
  object->vertices.resize(POINTS);
  object->pointCache = NewPointCache();
  PointCache& cache = *object->pointCache;
  cache.frameStep = 1;
  cache.length = SAMPLES - 1;
  cache.frameCount = SAMPLES;
  cache.pointCount = POINTS;
  cache.positions.resize(size_t(SAMPLES) * POINTS);
  for (size_t i = 0; i < cache.positions.size(); ++i) cache.positions[i] = {float(i), 1, 2};
  float time = 0;
  for (auto _ : state) {
    UpdateDynamicObject(*object, time);
    time = time > 98 ? 0 : time + 0.37f;
    benchmark::DoNotOptimize(object->vertices.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * POINTS);
}
BENCHMARK(BM_UpdatePointCache)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

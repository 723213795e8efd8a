// Loads arbitrary bytes as an MDD point cache in the precalculation, then plays its morphing, planar
// mapped object about and past the cache; a cache that loads holds exactly the samples it announced.
#include "FuzzFile.h"
#include "lightwave/Lightwave.h"
#include "scene/Scene.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietMessages();
  Vfs vfs;
  vfs.files.push_back(FuzzFile("fuzz.mdd", data, size));

  Scene scene;
  Surface* surface = scene.AddSurface();
  surface->layers[0] = std::make_unique<TextureLayer>();
  surface->layers[0]->size = {1, 1, 1};
  surface->layerCount = 1;
  SceneObject* target = scene.AddObject();
  target->baseVertices.resize(2);
  target->baseVertices[1].position = {1, 2, 3};
  SceneObject* object = scene.AddObject();
  object->fileName = "fuzz.lwo";
  // The vertex count varies with the input so caches meet objects of other sizes.
  object->baseVertices.resize(1 + size % 4);
  object->triangles.resize(1);
  object->triangles[0].cornerIndex[2] = uint32_t(object->baseVertices.size() - 1);
  object->triangles[0].surface = surface;
  object->morphTarget = target;
  object->pointCache = NewPointCache();
  SetPointCacheName(*object->pointCache, "fuzz.mdd");
  object->pointCache->startFrame = uint32_t(size % 3);
  scene.AddCamera();
  scene.Precalc(&vfs);

  if (const PointCache* cache = object->pointCache.get()) {
    if (cache->frameCount == 0 || cache->frameStep == 0) std::abort();
    if (cache->positions.size() != size_t(cache->frameCount) * cache->pointCount) std::abort();
    if (uint64_t(cache->frameStep) * (cache->frameCount - 1) != cache->length) std::abort();
    if (!(object->flags & OBJECT_DYNAMIC)) std::abort();
  }
  const float length = object->pointCache ? float(object->pointCache->length) : 10.0f;
  for (float time : {0.0f, 0.5f, 1.0f, 2.75f, length, length + 2, length * 0.5f + 1.3f, NAN, INFINITY, -INFINITY, 4e9f})
    UpdateDynamicObject(*object, time);
  return 0;
}

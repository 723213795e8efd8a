// MDD point caches: the record the scene loader hangs on an object, the loading of its samples
// during the precalculation, and the per-frame update of a dynamic object's drawn vertices
// (planar texture coordinates, morph blend, point cache).
//
// File layout, every number big-endian:
//   0   u32 frameCount
//   4   u32 pointCount
//   8   frameCount × f32 sample times in seconds; only the second (offset 12) is read, the
//       samples are taken as evenly spaced from 0
//   8 + 4 × frameCount   frameCount × pointCount × (f32 x, y, z), sample after sample
// Positions are scene-space and used as they are, without any change of axis.
#include "lightwave/Lightwave.h"

#include "log/Log.h"
#include "vfs/Vfs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Sample times are read as seconds at this rate, whatever the scene's or the engine's rate.
constexpr float MDD_FRAMES_PER_SECOND = 30.0f;
constexpr uint64_t MDD_HEADER_BYTES = 8;
// How far (relative) a frame step may miss a whole number and still be taken as it: a few units
// in the last place of a float.
constexpr double MDD_STEP_ROUNDING = 1e-6;

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

float ReadF32(const uint8_t* p) {
  const uint32_t bits = ReadU32(p);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

void ReleasePointCache(PointCache* cache) { delete cache; }

// Ends a load that can't give a usable cache: the object draws its own vertices instead.
bool DropCache(SceneObject& object, const char* why) {
  Log(1, "VKTOBJ(LoadMDD) - MDD \"%s\" of object \"%s\" %s, object left without point cache",
      object.pointCache->mddName.c_str(), object.fileName.c_str(), why);
  object.pointCache.reset();
  return false;
}

// out = from + (to − from) × amount for a vertex's position and normal.
void Blend(const Vertex& from, const Vertex& to, float amount, Vertex& out) {
  out.position.x = from.position.x + (to.position.x - from.position.x) * amount;
  out.position.y = from.position.y + (to.position.y - from.position.y) * amount;
  out.position.z = from.position.z + (to.position.z - from.position.z) * amount;
  out.normal.x = from.normal.x + (to.normal.x - from.normal.x) * amount;
  out.normal.y = from.normal.y + (to.normal.y - from.normal.y) * amount;
  out.normal.z = from.normal.z + (to.normal.z - from.normal.z) * amount;
}

}  // namespace

ForeignPtr<PointCache> NewPointCache() {
  ForeignPtr<PointCache> cache(new PointCache, ReleasePointCache);
  cache->enabled = 1;
  return cache;
}

void SetPointCacheName(PointCache& cache, std::string_view name) {
  cache.mddName.assign(name.substr(0, MDD_NAME_MAX));
}

bool LoadMDD(SceneObject& object, const Vfs* vfs) {
  if (!object.pointCache) return false;
  PointCache& cache = *object.pointCache;
  Log(3, "VKTOBJ(LoadMDD) - Found MDD reference in object \"%s\", now loading...", object.fileName.c_str());

  // An empty name would match the folder's first file, whatever it is.
  const VfsFile* file = vfs && !cache.mddName.empty() ? vfs->Find(cache.mddName.c_str()) : nullptr;
  if (!file) return DropCache(object, "can't be found");
  const uint64_t size = std::min<uint64_t>(file->size, file->data.size());
  const uint8_t* bytes = file->data.data();
  if (size < 16) return DropCache(object, "is shorter than its header");

  const uint32_t frameCount = ReadU32(bytes);
  const uint32_t pointCount = ReadU32(bytes + 4);
  if (frameCount == 0) return DropCache(object, "has no samples");
  // Counts are compared with what the file holds by division: their product can pass 2^64.
  const uint64_t positionsAt = MDD_HEADER_BYTES + 4 * uint64_t(frameCount);
  if (positionsAt > size || (pointCount != 0 && (size - positionsAt) / 12 / pointCount < frameCount))
    return DropCache(object, "is shorter than its header says");

  // The step is truncated toward zero; anything below one frame (or not a number) is no step. A
  // time written as a float misses a whole number of frames by its rounding (1/30 s comes out
  // 0.99999994 frames): a step that close to a whole number is that number.
  double step = double(ReadF32(bytes + 12)) * MDD_FRAMES_PER_SECOND;
  const double whole = std::round(step);
  if (std::fabs(step - whole) <= MDD_STEP_ROUNDING * std::max(whole, 1.0)) step = whole;
  if (!(step >= 1.0)) return DropCache(object, "has a frame step of 0");
  // The span must fit the record's frame count.
  const char* tooLong = "spans more frames than can be counted";
  if (!(step < 4294967296.0)) return DropCache(object, tooLong);
  const uint32_t frameStep = uint32_t(step);
  const uint64_t length = uint64_t(frameStep) * (frameCount - 1);
  if (length > 0xFFFFFFFFu) return DropCache(object, tooLong);

  cache.frameStep = frameStep;
  cache.length = uint32_t(length);
  cache.positions.resize(size_t(frameCount) * pointCount);
  const uint8_t* value = bytes + positionsAt;
  for (Vec3& position : cache.positions) {
    position.x = ReadF32(value);
    position.y = ReadF32(value + 4);
    position.z = ReadF32(value + 8);
    value += 12;
  }
  cache.frameCount = frameCount;
  cache.pointCount = pointCount;
  object.flags |= OBJECT_DYNAMIC;

  if (pointCount != object.baseVertices.size())
    Log(1, "VKTOBJ(LoadMDD) - MDD \"%s\" has %u points for the %zu vertices of object \"%s\", the smaller count follows it",
        cache.mddName.c_str(), pointCount, object.baseVertices.size(), object.fileName.c_str());
  return true;
}

void UpdateDynamicObject(SceneObject& object, float time) {
  const bool lightwave = LightWaveLook(object.scene);
  for (const SurfaceBatch& batch : object.surfaceBatches) {
    const Surface* surface = batch.surface;
    if (!surface) continue;
    const uint32_t layerCount = std::min(surface->layerCount, SURFACE_LAYER_MAX);
    for (uint32_t li = 0; li < layerCount; ++li) {
      const TextureLayer* layer = surface->layers[li].get();
      if (layer && FollowsMapping(*layer, lightwave)) ProjectBatch(object, batch, li);
    }
  }

  std::vector<Vertex>& vertices = object.vertices;
  if (const SceneObject* target = object.morphTarget) {
    // No amount envelope means no morph: the object keeps its own shape.
    const Envelope* envelope = object.envelopes[CHANNEL_MORPH_AMOUNT].get();
    const float amount = EvaluateEnvelope(envelope, time, LightWaveLook(object.scene));
    object.morphAmount = amount;
    const size_t count = std::min({vertices.size(), object.baseVertices.size(), target->baseVertices.size()});
    for (size_t k = 0; k < count; ++k) Blend(object.baseVertices[k], target->baseVertices[k], amount, vertices[k]);
  }

  const PointCache* cache = object.pointCache.get();
  if (!cache || cache->frameCount == 0 || cache->frameStep == 0) return;  // not loaded
  const float startFrame = float(cache->startFrame);
  if (startFrame > time) return;
  const float elapsed = time - startFrame;
  if (!(elapsed <= float(cache->length))) return;  // past the end, or no time at all

  const float step = float(cache->frameStep);
  uint32_t sample = uint32_t(elapsed / step);
  const float fraction = std::fmod(elapsed, step) / step;
  const uint32_t lastSample = cache->frameCount - 1;
  sample = std::min(sample, lastSample);
  const size_t count = std::min<size_t>(vertices.size(), cache->pointCount);
  if (cache->positions.size() < size_t(cache->frameCount) * cache->pointCount) return;
  const Vec3* a = cache->positions.data() + size_t(sample) * cache->pointCount;
  const Vec3* b = sample == lastSample ? a : a + cache->pointCount;
  for (size_t k = 0; k < count; ++k) {
    Vec3& p = vertices[k].position;
    p.x = a[k].x + (b[k].x - a[k].x) * fraction;
    p.y = a[k].y + (b[k].y - a[k].y) * fraction;
    p.z = a[k].z + (b[k].z - a[k].z) * fraction;
  }
}

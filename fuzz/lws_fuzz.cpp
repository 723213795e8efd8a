// Loads arbitrary bytes as a scene file, next to a small two-layer triangle object that the
// scene can name as tri.lwo or simple_cube.lwo, then checks what the loader promises: parents
// and targets are items of the scene and no parent chain comes round, item indices are unique
// per kind, keys are finite and ascending in time. Every envelope is evaluated once.
#include "FuzzFile.h"
#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "platform/Platform.h"
#include "scene/Scene.h"
#include "LwoWriter.h"
#include "vfs/Vfs.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Two layers of one triangle each: the smallest object with layers to claim and clone.
std::vector<uint8_t> TriangleObject() {
  iff::LwoWriter w;
  for (uint16_t layer = 0; layer < 2; ++layer)
    w.Layer(layer, 0, 0, 0, 0, "").Points({0, 0, 0, 1, 0, 0, 0, 1, 0}).Polygons("FACE", {{0, 1, 2}});
  return w.File();
}

void CheckEnvelopes(const std::unique_ptr<Envelope>* slots, uint32_t count) {
  for (uint32_t c = 0; c < count; ++c) {
    const Envelope* envelope = slots[c].get();
    if (!envelope) continue;
    for (size_t k = 0; k < envelope->keys.size(); ++k) {
      const EnvelopeKey& key = envelope->keys[k];
      if (!std::isfinite(key.time) || !std::isfinite(key.value)) std::abort();
      if (k > 0 && key.time < envelope->keys[k - 1].time) std::abort();
    }
    // Both looks, inside the keys and far outside them (behaviours fold or extend the time).
    for (float time : {12.5f, -1e4f, 1e7f}) {
      volatile float value = EvaluateEnvelope(envelope, time, time != 12.5f) + EvaluateEnvelope(envelope, time);
      (void)value;
    }
  }
}

void CheckScene(const Scene& scene) {
  std::set<const void*> items;
  std::set<uint32_t> objectIndices, cameraIndices, lightIndices;
  for (const auto& o : scene.objects) {
    items.insert(o.get());
    if (o->itemIndex != NO_ITEM_INDEX && !objectIndices.insert(o->itemIndex).second) std::abort();
    CheckEnvelopes(o->envelopes, OBJECT_ENVELOPE_COUNT);
  }
  for (const auto& c : scene.cameras) {
    items.insert(c.get());
    if (!cameraIndices.insert(c->cameraIndex).second) std::abort();
    CheckEnvelopes(c->envelopes, CAMERA_ENVELOPE_COUNT);
  }
  for (const auto& l : scene.lights) {
    items.insert(l.get());
    if (!lightIndices.insert(l->lightIndex).second) std::abort();
    CheckEnvelopes(l->envelopes, LIGHT_ENVELOPE_COUNT);
  }
  auto parentOf = [](const void* item, uint8_t kind, uint8_t* parentKind) -> const void* {
    if (kind == ITEM_OBJECT) {
      auto* o = static_cast<const SceneObject*>(item);
      return *parentKind = o->parentKind, o->parent;
    }
    if (kind == ITEM_CAMERA) {
      auto* c = static_cast<const Camera*>(item);
      return *parentKind = c->parentKind, c->parent;
    }
    auto* l = static_cast<const Light*>(item);
    return *parentKind = l->parentKind, l->parent;
  };
  auto checkChain = [&](const void* start, uint8_t kind) {
    size_t steps = 0;
    for (const void* at = start; at;) {
      if (!items.count(at) || ++steps > items.size()) std::abort();
      uint8_t parentKind = 0;
      at = parentOf(at, kind, &parentKind);
      kind = parentKind;
    }
  };
  for (const auto& o : scene.objects) {
    checkChain(o.get(), ITEM_OBJECT);
    if (o->morphTarget && !items.count(o->morphTarget)) std::abort();
  }
  for (const auto& c : scene.cameras) {
    checkChain(c.get(), ITEM_CAMERA);
    if (c->target && !items.count(c->target)) std::abort();
  }
  for (const auto& l : scene.lights) checkChain(l.get(), ITEM_LIGHT);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (platform::SetMessageHook([](const char*, const char*, platform::MessageIcon) {}), true);
  (void)quiet;
  static const std::vector<uint8_t> object = TriangleObject();

  Vfs vfs;
  vfs.files.push_back(FuzzFile("fuzz.lws", data, size));
  vfs.files.push_back(FuzzFile("tri.lwo", object.data(), object.size()));
  vfs.files.push_back(FuzzFile("simple_cube.lwo", object.data(), object.size()));
  System system;
  Scene scene;
  scene.AttachToSystem(&system);
  scene.Load(&vfs, "fuzz.lws");
  CheckScene(scene);
  vfs.Close();
  return 0;
}

// Loads arbitrary bytes as a scene beside a two-layer object named tri.lwo and simple_cube.lwo:
// parents and targets are the scene's items, no parent chain comes round, indices are unique per
// kind, keys are finite and ascending in time. Every envelope is evaluated once.
#include "FuzzFile.h"
#include "LwoWriter.h"
#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "scene/Scene.h"

#include <cmath>
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

template <size_t N>
void CheckEnvelopes(const std::unique_ptr<Envelope> (&slots)[N]) {
  for (const auto& slot : slots) {
    const Envelope* envelope = slot.get();
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

// Every item of one kind goes into items, with an index of its own and sound envelopes.
template <class Item>
void CheckKind(const std::vector<std::unique_ptr<Item>>& list, uint32_t Item::*index, std::set<const void*>& items) {
  std::set<uint32_t> indices;
  for (const auto& item : list) {
    items.insert(item.get());
    if ((*item).*index != NO_ITEM_INDEX && !indices.insert((*item).*index).second) std::abort();
    CheckEnvelopes(item->envelopes);
  }
}

// The parent of item, whose kind becomes the parent's.
template <class Item>
const void* Parent(const void* item, uint8_t* kind) {
  const Item* at = static_cast<const Item*>(item);
  *kind = at->parentKind;
  return at->parent;
}

void CheckScene(const Scene& scene) {
  std::set<const void*> items;
  CheckKind(scene.objects, &SceneObject::itemIndex, items);
  CheckKind(scene.cameras, &Camera::cameraIndex, items);
  CheckKind(scene.lights, &Light::lightIndex, items);
  auto checkChain = [&](const void* at, uint8_t kind) {
    for (size_t steps = 0; at; ++steps) {
      if (!items.count(at) || steps >= items.size()) std::abort();
      at = kind == ITEM_OBJECT   ? Parent<SceneObject>(at, &kind)
           : kind == ITEM_CAMERA ? Parent<Camera>(at, &kind)
                                 : Parent<Light>(at, &kind);
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
  QuietMessages();
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

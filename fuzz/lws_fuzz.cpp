// Loads arbitrary bytes as a scene beside two-layer tri.lwo and simple_cube.lwo: parents are items of their
// kind, chains end, targets are items, indices unique per kind, keys finite and ascending; envelopes evaluate.
#include "FuzzFile.h"
#include "support/SceneFixture.h"

#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace {

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

// An item's kind and its parent, with the kind the item says the parent is.
struct Link {
  uint8_t kind;
  const void* parent;
  uint8_t parentKind;
};

// Every item of one kind goes into items, with an index of its own and sound envelopes.
template <class Item>
void CheckKind(const std::vector<std::unique_ptr<Item>>& list, uint32_t Item::*index, uint8_t kind,
               std::map<const void*, Link>& items) {
  std::set<uint32_t> indices;
  for (const auto& item : list) {
    items[item.get()] = {kind, item->parent, item->parentKind};
    if ((*item).*index != NO_ITEM_INDEX && !indices.insert((*item).*index).second) std::abort();
    CheckEnvelopes(item->envelopes);
  }
}

void CheckScene(const Scene& scene) {
  std::map<const void*, Link> items;
  CheckKind(scene.objects, &SceneObject::itemIndex, ITEM_OBJECT, items);
  CheckKind(scene.cameras, &Camera::cameraIndex, ITEM_CAMERA, items);
  CheckKind(scene.lights, &Light::lightIndex, ITEM_LIGHT, items);
  for (const auto& entry : items) {
    const Link* link = &entry.second;
    for (size_t steps = 0; link->parent; ++steps) {
      const auto parent = items.find(link->parent);
      if (parent == items.end() || parent->second.kind != link->parentKind || steps >= items.size()) std::abort();
      link = &parent->second;
    }
  }
  for (const auto& o : scene.objects)
    if (o->morphTarget && !items.count(o->morphTarget)) std::abort();
  for (const auto& c : scene.cameras)
    if (c->target && !items.count(c->target)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietMessages();
  static const std::vector<uint8_t> object = test::TriangleObject(2);  // the smallest with layers to claim

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

// Scene-file references between items: parents, camera targets and morph targets, and the pass
// after the last line that turns the numbers the lines gave into pointers.
//
// Lines name items by index within a kind. ParentItem gives an item number in the file's form:
// the kind in the top 4 bits (1 object, 2 light, 3 camera) and the index in the low 16 bits.
#include "lightwave/Lightwave.h"

#include "lightwave/LwsParser.h"
#include "log/Log.h"

#include <string>
#include <vector>

namespace lws {

namespace {

template <typename T>
T* ItemByIndex(const std::vector<T*>& items, uint32_t index) {
  return index < items.size() ? items[index] : nullptr;
}

// Aims the current camera at the object with item index; only cameras have targets.
void AimAt(Parser& parser, uint32_t index) {
  switch (parser.currentKind) {
    case KIND_OBJECT:
      Log(1, "LWSLDR(TargetObject) - LWS \"%s\" contains target from object which isn't supported!",
          parser.sceneName);
      return;
    case KIND_LIGHT:
      Log(1, "LWSLDR(TargetObject) - LWS \"%s\" contains target from light which isn't supported!", parser.sceneName);
      return;
    case KIND_CAMERA:
      break;
    default:  // a bone's goal
      return;
  }
  SceneObject* target = ItemByIndex(parser.objectItems, index);
  if (!target) {
    Log(1, "LWSLDR(TargetObject) - LWS \"%s\": Camera \"%s\"'s target object not found in database!",
        parser.sceneName, parser.currentCamera->name.c_str());
    return;
  }
  parser.currentCamera->target = target;
}

// One item with a parent link, as the loop check sees it.
struct Link {
  void** parent;
  uint32_t* parentIndex;
  uint32_t parentLink;  // index in the list of links, or NO_LINK
  const char* kind;
  const std::string* name;
};
constexpr uint32_t NO_LINK = 0xFFFFFFFF;

// The parent's position in the list of links (objects, then cameras, then lights) and the item
// itself, or none.
void* FindParent(const Parser& parser, uint8_t kind, uint32_t parentIndex, uint32_t* link) {
  *link = NO_LINK;
  if (parentIndex == 0) return nullptr;
  const uint32_t index = parentIndex - 1;
  const uint32_t objects = uint32_t(parser.objectItems.size()), cameras = uint32_t(parser.cameraItems.size());
  void* parent = nullptr;
  uint32_t base = 0;
  switch (kind) {
    case ITEM_OBJECT:
      parent = ItemByIndex(parser.objectItems, index);
      break;
    case ITEM_CAMERA:
      parent = ItemByIndex(parser.cameraItems, index);
      base = objects;
      break;
    case ITEM_LIGHT:
      parent = ItemByIndex(parser.lightItems, index);
      base = objects + cameras;
      break;
  }
  if (parent) *link = base + index;
  return parent;
}

// The name the loop message gives: a null's or clone's item name, else the layer's file.
const std::string* ItemName(const SceneObject* object) {
  return object->itemName.empty() ? &object->fileName : &object->itemName;
}
const std::string* ItemName(const Camera* camera) { return &camera->name; }
const std::string* ItemName(const Light* light) { return &light->name; }

template <typename T>
void AddLinks(const Parser& parser, const std::vector<T*>& items, const char* kind, std::vector<Link>& links) {
  for (T* item : items) {
    uint32_t parentLink = NO_LINK;
    item->parent = FindParent(parser, item->parentKind, item->parentIndex, &parentLink);
    links.push_back({&item->parent, &item->parentIndex, parentLink, kind, ItemName(item)});
  }
}

// A parenting loop would make every walk up the hierarchy endless: each loop loses the link
// that closes it, found by walking up from each item in list order.
void BreakParentLoops(const Parser& parser, std::vector<Link>& links) {
  enum : uint8_t { UNSEEN, ON_PATH, DONE };
  std::vector<uint8_t> state(links.size(), UNSEEN);
  std::vector<uint32_t> path;
  for (uint32_t start = 0; start < links.size(); ++start) {
    path.clear();
    uint32_t at = start;
    while (at != NO_LINK && state[at] == UNSEEN) {
      state[at] = ON_PATH;
      path.push_back(at);
      at = links[at].parentLink;
    }
    if (at != NO_LINK && state[at] == ON_PATH) {
      Link& closing = links[path.back()];
      Log(1, "LWSLDR(ResolveParents) - LWS \"%s\": %s \"%s\" is its own ancestor, its parent was dropped",
          parser.sceneName, closing.kind, closing.name->c_str());
      *closing.parent = nullptr;
      *closing.parentIndex = 0;
      closing.parentLink = NO_LINK;
    }
    for (uint32_t visited : path) state[visited] = DONE;
  }
}

}  // namespace

// ParentItem kind+index (hexadecimal): the current item's parent, resolved after the last line.
// Other kinds (a bone's parent bone) are skipped.
bool ParentItem(Parser& parser, const char* line) {
  Args args(line);
  uint32_t item = 0;
  if (!args.Skip(1) || !args.Hex(&item)) return true;
  uint8_t kind = 0;
  switch (item >> 28) {
    case 1: kind = ITEM_OBJECT; break;
    case 2: kind = ITEM_LIGHT; break;
    case 3: kind = ITEM_CAMERA; break;
    default: return true;
  }
  const uint32_t parentIndex = (item & 0xFFFF) + 1;
  switch (parser.currentKind) {
    case KIND_OBJECT:
      if (!parser.currentObject) return true;
      parser.currentObject->parentIndex = parentIndex;
      parser.currentObject->parentKind = kind;
      break;
    case KIND_CAMERA:
      parser.currentCamera->parentIndex = parentIndex;
      parser.currentCamera->parentKind = kind;
      break;
    case KIND_LIGHT:
      parser.currentLight->parentIndex = parentIndex;
      parser.currentLight->parentKind = kind;
      break;
    default:
      break;
  }
  return true;
}

// TargetObject n: the object with item index n - 1. The target must come before the camera.
bool TargetObject(Parser& parser, const char* line) {
  Args args(line);
  int32_t number = 0;
  if (args.Skip(1) && args.Int(&number)) AimAt(parser, uint32_t(number) - 1);
  return true;
}

// TargetItem kind+index (hexadecimal): the object with the low 16 bits as item index; the kind
// bits are not examined.
bool TargetItem(Parser& parser, const char* line) {
  Args args(line);
  uint32_t item = 0;
  if (args.Skip(1) && args.Hex(&item)) AimAt(parser, item & 0xFFFF);
  return true;
}

// MorphTarget n: the object with item index n - 1 (0: none), resolved after the last line.
bool MorphTarget(Parser& parser, const char* line) {
  Args args(line);
  int32_t number = 0;
  if (parser.currentObject && args.Skip(1) && args.Int(&number))
    parser.currentObject->morphTargetIndex = int32_t(uint32_t(number) - 1);
  return true;
}

void ResolveReferences(Parser& parser) {
  std::vector<Link> links;
  links.reserve(parser.objectItems.size() + parser.cameraItems.size() + parser.lightItems.size());
  AddLinks(parser, parser.objectItems, "object", links);
  AddLinks(parser, parser.cameraItems, "camera", links);
  AddLinks(parser, parser.lightItems, "light", links);
  BreakParentLoops(parser, links);

  for (SceneObject* object : parser.objectItems) {
    if (object->morphTargetIndex == -1) continue;
    object->morphTarget = ItemByIndex(parser.objectItems, uint32_t(object->morphTargetIndex));
    object->flags |= OBJECT_DYNAMIC;
  }
}

}  // namespace lws

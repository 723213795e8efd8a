// Scene-file handlers that make and fill items: object layers and their clones, null objects,
// lights, cameras, the object switches, the MD_Plug point-cache record, and the scene's own
// values.
//
// Item indices count within a kind in file order (object layers and nulls together); they are
// the numbers by which scene lines name items. Object keywords act on the last object whatever
// item came since, light keywords on the last light, CameraName on the last camera; a line
// whose item doesn't exist yet is skipped.
#include "lightwave/Lightwave.h"

#include "lightwave/LwsParser.h"
#include "log/Log.h"
#include "vfs/Vfs.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace lws {

namespace {

// Whole numbers that become frame counts are taken as unsigned 32-bit values.
float AsFrames(int32_t number) { return float(uint32_t(number)); }

void MakeCurrentObject(Parser& parser, SceneObject* object) {
  parser.currentObject = object;
  parser.currentKind = KIND_OBJECT;
}

void GiveObjectIndex(Parser& parser, SceneObject* object) {
  object->itemIndex = uint32_t(parser.objectItems.size());
  parser.objectItems.push_back(object);
}

// The path of a LoadObjectLayer line: the rest of the line after the layer number, and after
// the item id that files from format version 4 on write before the path. Blanks belong to it.
const char* ObjectPath(const Parser& parser, const char* line, int32_t* layerNumber) {
  Args args(line);
  if (!args.Skip(1) || !args.Int(layerNumber)) return args.at;  // no number: no layer has it
  if (parser.version < 4) return args.at;
  Args id(args.at);
  char word[KEYWORD_MAX + 1];
  if (!id.Word(word, sizeof word)) return args.at;
  for (const char* p = word; *p; ++p)
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return args.at;
  while (IsBlank(*id.at)) ++id.at;
  return *id.at ? id.at : args.at;  // an id alone on the line would be the path
}

bool CloneLayer(Parser& parser, SceneObject* layer) {
  SceneObject* clone = parser.scene->AddObject();
  parser.scene->CloneObjectGeometry(layer, clone);
  GiveObjectIndex(parser, clone);
  clone->layerNumber = 0;
  clone->flags = OBJECT_CLAIMED;  // the layer's own flags stay with the layer
  char name[32];
  std::snprintf(name, sizeof name, "Clone ID %u", clone->itemIndex);
  clone->fileName = name;
  clone->itemName = name;
  MakeCurrentObject(parser, clone);
  return true;
}

// Where a null object's demo action attaches: the engine's action factory gets the line, the
// null's name and the null, with the Vfs and the scene for what the action loads. From format
// version 4 on an item id stands between the keyword and the name; the factory then counts from
// the id as it would from the keyword, so the parameters still begin after the name. Without a
// factory the null stays plain.
void AttachNullAction(Parser& parser, const char* line, const char* itemId, const char* name, SceneObject* null) {
  const ActionFactory createAction = parser.system->actionFactory;
  if (!createAction) return;
  if (!*itemId) {
    createAction(line, parser.keyword, name, null, parser.vfs, parser.scene, parser.sceneName);
    return;
  }
  const char* id = line;
  while (IsBlank(*id)) ++id;
  id += std::strlen(parser.keyword);
  while (IsBlank(*id)) ++id;
  createAction(id, itemId, name, null, parser.vfs, parser.scene, parser.sceneName);
}

// The viewport a camera renders into, from the display settings: the window's width, and its
// height or the 16:9 band's. Only the numbers: the renderer applies them.
void TakeViewport(Camera* camera, Engine* system) {
  camera->system = system;
  camera->fieldOfView = CAMERA_FIELD_OF_VIEW;
  camera->viewportWidth = system->settings.width;
  camera->viewportHeight = system->settings.widescreen ? uint32_t(system->widescreenHeight) : system->settings.height;
  if (camera->viewportHeight > 0) camera->aspect = float(camera->viewportWidth) / float(camera->viewportHeight);
}

}  // namespace

// ---- Scene values ----

bool PreviewFirstFrame(Parser& parser, const char* line) {
  Args args(line);
  int32_t frame = 0;
  if (args.Skip(1) && args.Int(&frame)) parser.scene->firstFrame = AsFrames(frame);
  return true;
}

bool PreviewLastFrame(Parser& parser, const char* line) {
  Args args(line);
  int32_t frame = 0;
  if (args.Skip(1) && args.Int(&frame)) parser.scene->lastFrame = AsFrames(frame);
  return true;
}

bool FramesPerSecond(Parser& parser, const char* line) {
  Args args(line);
  int32_t rate = 0;
  if (!args.Skip(1) || !args.Int(&rate)) return true;
  if (AsFrames(rate) != parser.system->engineSpeed) {
    Log(2, "LWSLDR(PC_FramesPerSecond) - LWS player speed(%i) is not the same as the demo engine uses(%i)", rate,
        int(parser.system->engineSpeed));
  }
  parser.scene->framesPerSecond = AsFrames(rate);
  return true;
}

bool AmbientColor(Parser& parser, const char* line) {
  Args args(line);
  Vec3 color;
  if (args.Skip(1) && args.Float(&color.x) && args.Float(&color.y) && args.Float(&color.z))
    parser.scene->ambientColor = color;
  return true;
}

bool AmbientIntensity(Parser& parser, const char* line) {
  Args args(line);
  float intensity = 0;
  if (args.Skip(1) && args.Float(&intensity)) parser.scene->ambientIntensity = intensity;
  return true;
}

// ObjectDissolve d: 0 fully there ... 1 gone. "(envelope)" holds no number: the block after it
// animates the value (as for the other parameters below).
bool ObjectDissolve(Parser& parser, const char* line) {
  Args args(line);
  float dissolve = 0;
  if (parser.currentObject && args.Skip(1) && args.Float(&dissolve)) parser.currentObject->dissolve = dissolve;
  return true;
}

// ---- Objects ----

// LoadObjectLayer layer [id] path: loads the file on its first mention; the layer becomes the
// current object, or a clone of it once a line has claimed it.
bool LoadObjectLayer(Parser& parser, const char* line) {
  int32_t layerNumber = 0;  // none on the line: no layer has it, so the load stops below
  const char* fileName = BareFileName(ObjectPath(parser, line, &layerNumber));
  const VfsFile* file = *fileName ? parser.vfs->Find(fileName) : nullptr;
  if (!file) {
    Log(0, "LWSLDR(LoadObjectLayer) - File \"%s\" not found in current path/datafile, VFS returned error!",
        fileName);
    return false;
  }
  const char* loadedName = file->name.c_str();
  if (!parser.scene->FindObjectByFileName(loadedName) && !LwoLoader::Load(*parser.scene, *parser.vfs, fileName)) {
    Log(0, "LWSLDR(LoadObjectLayer) - File \"%s\" could not be loaded, LWS parser canceled", loadedName);
    return false;
  }
  SceneObject* layer = parser.scene->FindObjectLayer(loadedName, uint16_t(layerNumber));
  if (!layer) {
    Log(0,
        "LWSLDR(LoadObjectLayer) - File \"%s\" was loaded/found but the database returned an error. This should "
        "not happen. Better write me a mail :)",
        loadedName);
    return false;
  }
  if (layer->flags & OBJECT_CLAIMED) return CloneLayer(parser, layer);
  GiveObjectIndex(parser, layer);
  layer->flags |= OBJECT_CLAIMED;
  MakeCurrentObject(parser, layer);
  return true;
}

// AddNullObject name [action parameters]; from format version 4 on: AddNullObject id name [...]
bool AddNullObject(Parser& parser, const char* line) {
  Args args(line);
  char itemId[LINE_LENGTH_MAX + 1] = {};
  char name[LINE_LENGTH_MAX + 1] = {};
  if (args.Skip(1) && (parser.version < 4 || args.Word(itemId, sizeof itemId))) args.Word(name, sizeof name);
  SceneObject* null = parser.scene->AddObject();
  GiveObjectIndex(parser, null);
  MakeCurrentObject(parser, null);
  null->itemName = name;
  null->flags |= OBJECT_HIDDEN | OBJECT_NULL;
  AttachNullAction(parser, line, itemId, name, null);
  return true;
}

// A bone is no item of the scene: its motion, parent and target lines, which follow it, are
// skipped instead of landing on the object before it. Object keywords still reach that object.
bool AddBone(Parser& parser, const char*) {
  parser.currentKind = KIND_BONE;
  return true;
}

bool UnseenByCamera(Parser& parser, const char*) {
  if (parser.currentObject) parser.currentObject->flags |= OBJECT_HIDDEN;
  return true;
}

bool PivotPosition(Parser& parser, const char* line) {
  Args args(line);
  Vec3 pivot;
  if (parser.currentObject && args.Skip(1) && args.Float(&pivot.x) && args.Float(&pivot.y) && args.Float(&pivot.z))
    parser.currentObject->pivot = pivot;
  return true;
}

// ShadowOptions n: the low byte as a whole selects an effect; 4 unlit, 3 the trail.
bool ShadowOptions(Parser& parser, const char* line) {
  Args args(line);
  int32_t options = 0;
  if (!parser.currentObject || !args.Skip(1) || !args.Int(&options)) return true;
  switch (uint32_t(options) & 0xFF) {
    case 4:
      parser.currentObject->flags |= OBJECT_UNLIT;
      break;
    case 3:
      parser.currentObject->flags |= OBJECT_TRAIL | OBJECT_DYNAMIC;
      break;
    default:
      break;
  }
  return true;
}

// ---- The MD_Plug point cache ----

// Plugin class number name: an MD_Plug gives the current object a fresh point-cache record.
bool Plugin(Parser& parser, const char* line) {
  Args args(line);
  char pluginClass[LINE_LENGTH_MAX + 1], pluginName[LINE_LENGTH_MAX + 1];
  int32_t number = 0;
  if (!parser.currentObject || !args.Skip(1) || !args.Word(pluginClass, sizeof pluginClass) ||
      !args.Int(&number) || !args.Word(pluginName, sizeof pluginName)) {
    return true;
  }
  if (std::strcmp(pluginName, "MD_Plug") == 0) parser.currentObject->pointCache = NewPointCache();
  return true;
}

// filename path: the cache's file, without directories, blanks and all. The precalculation
// loads it.
bool Filename(Parser& parser, const char* line) {
  if (!parser.currentObject) return true;
  if (!parser.currentObject->pointCache) {
    Log(0, "LWSLDR(Filename) - MDD got no valid filename, can't load MDD!");
    return false;
  }
  Args args(line);
  const char* name = args.Skip(1) ? BareFileName(args.at) : "";
  if (!*name) return true;
  SetPointCacheName(*parser.currentObject->pointCache, name);
  Log(3, "LWSLDR(Filename) - Found MDD file reference, marked for later processing");
  return true;
}

// mdflag a b start d e f: the third number is the scene frame at which the cache starts.
bool MdFlag(Parser& parser, const char* line) {
  if (!parser.currentObject) return true;
  if (!parser.currentObject->pointCache) {
    Log(0, "LWSLDR(MDFLAG) - \"%s\" MDD is not enabled, error while processing flags!", parser.sceneName);
    return false;
  }
  Args args(line);
  int32_t flags[3] = {};
  if (args.Skip(1) && args.Int(&flags[0]) && args.Int(&flags[1]) && args.Int(&flags[2]))
    parser.currentObject->pointCache->startFrame = uint32_t(flags[2]);
  return true;
}

// ---- Lights ----

bool AddLight(Parser& parser, const char*) {
  Light* light = parser.scene->AddLight();
  light->lightIndex = uint32_t(parser.lightItems.size());
  parser.lightItems.push_back(light);
  parser.currentLight = light;
  parser.currentKind = KIND_LIGHT;
  return true;
}

bool LightName(Parser& parser, const char* line) {
  Args args(line);
  char name[LINE_LENGTH_MAX + 1];
  if (parser.currentLight && args.Skip(1) && args.Word(name, sizeof name)) parser.currentLight->name = name;
  return true;
}

bool LightColor(Parser& parser, const char* line) {
  Args args(line);
  Vec3 color;
  if (parser.currentLight && args.Skip(1) && args.Float(&color.x) && args.Float(&color.y) && args.Float(&color.z))
    parser.currentLight->color = color;
  return true;
}

// LightIntensity (envelope) holds no number: the envelope block after it is kept in the current
// channel's slot like any other.
bool LightIntensity(Parser& parser, const char* line) {
  Args args(line);
  float intensity = 0;
  if (parser.currentLight && args.Skip(1) && args.Float(&intensity)) parser.currentLight->intensity = intensity;
  return true;
}

// LightType 0 distant, 1 point, 2 spot, 3 linear, 4 area: kept as written for the LightWave
// look. The classic look takes 1 as a point and 2 as a distant light; the other types keep the
// light as it was made.
bool LightType(Parser& parser, const char* line) {
  Args args(line);
  int32_t type = 0;
  if (!parser.currentLight || !args.Skip(1) || !args.Int(&type)) return true;
  if (type >= LIGHT_TYPE_DISTANT && type <= LIGHT_TYPE_AREA) parser.currentLight->type = uint8_t(type);
  if (type == LIGHT_POINT || type == LIGHT_DISTANT) parser.currentLight->kind = uint8_t(type);
  return true;
}

// LightConeAngle a, LightEdgeAngle e: a spot light's cone half-angle and soft edge, degrees.
bool LightConeAngle(Parser& parser, const char* line) {
  Args args(line);
  float angle = 0;
  if (parser.currentLight && args.Skip(1) && args.Float(&angle)) parser.currentLight->coneAngle = angle;
  return true;
}

bool LightEdgeAngle(Parser& parser, const char* line) {
  Args args(line);
  float angle = 0;
  if (parser.currentLight && args.Skip(1) && args.Float(&angle)) parser.currentLight->edgeAngle = angle;
  return true;
}

bool LightRange(Parser& parser, const char* line) {
  Args args(line);
  float range = 0;
  if (parser.currentLight && args.Skip(1) && args.Float(&range)) parser.currentLight->range = range;
  return true;
}

bool LightFalloffType(Parser& parser, const char* line) {
  Args args(line);
  int32_t falloff = 0;
  if (parser.currentLight && args.Skip(1) && args.Int(&falloff)) parser.currentLight->falloff = uint32_t(falloff);
  return true;
}

// ---- Cameras ----

bool AddCamera(Parser& parser, const char*) {
  Camera* camera = parser.scene->AddCamera();
  camera->cameraIndex = uint32_t(parser.cameraItems.size());
  parser.cameraItems.push_back(camera);
  TakeViewport(camera, parser.system);
  parser.currentCamera = camera;
  parser.currentKind = KIND_CAMERA;
  return true;
}

bool CameraName(Parser& parser, const char* line) {
  Args args(line);
  char name[LINE_LENGTH_MAX + 1];
  if (parser.currentCamera && args.Skip(1) && args.Word(name, sizeof name)) parser.currentCamera->name = name;
  return true;
}

// ZoomFactor z: the field of view of the LightWave look.
bool ZoomFactor(Parser& parser, const char* line) {
  Args args(line);
  float zoom = 0;
  if (parser.currentCamera && args.Skip(1) && args.Float(&zoom)) parser.currentCamera->zoomFactor = zoom;
  return true;
}

}  // namespace lws

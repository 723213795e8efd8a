// The action base, the factory that turns a null's name into its action, the program-wide random
// sequence and the file list for reports.
#include "actions/Actions.h"

#include "actions/ActionsInternal.h"
#include "log/Log.h"

#include <cstring>
#include <new>

namespace actions {
const char* currentSceneFile = nullptr;
}  // namespace actions

void NullAction::Create() { Log(3, "NULL(BaseLevel) - Create was called, unoptimized or invalid code!"); }

void NullAction::Render(SceneObject*, float) {
  Log(3, "NULL(BaseLevel) - Render was called, unoptimized or invalid code!");
}

void NullAction::Delete() { Log(3, "NULL(BaseLevel) - Delete was called, unoptimized or invalid code!"); }

namespace {

// The owner's release: the action gives back what it holds, then goes.
void ReleaseAction(SceneAction* action) {
  NullAction* own = static_cast<NullAction*>(action);  // only Attach hangs these releases on
  own->Delete();
  delete own;
}

template <typename T>
void Attach(SceneObject* object, uint8_t phase, const char* params, Vfs* vfs, Scene* scene) {
  T* action = new (std::nothrow) T();
  if (!action) return;  // no memory: the null stays plain, as after a failed Create
  action->created = action->Create(params, vfs, scene);
  object->action = ForeignPtr<SceneAction>(action, ReleaseAction);
  object->actionPhase = phase;
}

}  // namespace

void CreateNullAction(const char* line, const char* keyword, const char* token, SceneObject* object, Vfs* vfs,
                      Scene* scene, const char* sceneFile) {
  if (!line || !keyword || !token || !object) return;
  const size_t lineLength = std::strlen(line);
  size_t at = std::strlen(keyword) + 1 + std::strlen(token);
  if (at > lineLength) at = lineLength;  // a line that ends at the name has empty parameters
  const char* params = line + at;

  // A nested scene's lines come through here while the outer line is still being handled.
  const char* outerFile = actions::currentSceneFile;
  actions::currentSceneFile = sceneFile;
  if (std::strcmp(token, "ACTCAM") == 0) Attach<CameraAction>(object, ACTION_POST_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTBAMM") == 0) Attach<BitmapAnimAction>(object, ACTION_POST_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTMOD") == 0) Attach<ModuleAction>(object, ACTION_PRE_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTSFX") == 0) Attach<SoundAction>(object, ACTION_PRE_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTFADE") == 0) Attach<FadeAction>(object, ACTION_POST_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTPIP") == 0) Attach<PipAction>(object, ACTION_PRE_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTSPS") == 0)
    Attach<SceneParticlesAction>(object, ACTION_POST_SCENE, params, vfs, scene);
  if (std::strcmp(token, "ACTMVOL") == 0) Attach<MusicVolumeAction>(object, ACTION_PRE_SCENE, params, vfs, scene);
  actions::currentSceneFile = outerFile;
}

std::vector<NullAction::File> ActionFiles(const Scene& scene) {
  std::vector<NullAction::File> files;
  for (const auto& object : scene.objects)
    if (const auto* action = dynamic_cast<const NullAction*>(object->action.get())) action->ListFiles(files);
  return files;
}

namespace {
uint32_t randomState = 1;
}  // namespace

uint32_t ActionRandom() {
  randomState = randomState * 214013u + 2531011u;
  return (randomState >> 16) & 0x7FFF;
}

void ResetActionRandom() { randomState = 1; }

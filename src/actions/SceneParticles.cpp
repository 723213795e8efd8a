// The nested particle scene (ACTSPS): a second scene file, loaded through the same Vfs into a
// Scene of its own that shares the outer scene's engine and texture cache, drawn once per
// particle in the null's frame. Only its opaque pass is drawn, under the outer scene's camera and
// lights; its own actions are never rendered.
#include "actions/Actions.h"

#include "actions/ActionsInternal.h"
#include "log/Log.h"
#include "render/Render.h"
#include "textures/Textures.h"
#include "vfs/Vfs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The nested scene files being loaded right now, outermost first.
std::vector<std::string> loadingChain;

void Unregister(Scene* nested) {
  if (!nested || !nested->system || !nested->system->textures) return;
  std::vector<Scene*>& scenes = nested->system->textures->scenes;
  scenes.erase(std::remove(scenes.begin(), scenes.end(), nested), scenes.end());
}

// May a scene that is being loaded load file as a nested scene? Not deeper than the limit, and
// never a scene it is itself part of: that would load forever.
bool MayNest(const std::string& file) {
  if (loadingChain.size() >= NESTED_SCENE_DEPTH_MAX) {
    Log(1, "NULL(SceneParticlesAction) - \"%s\" would nest scenes deeper than %u levels, not loaded", file.c_str(),
        NESTED_SCENE_DEPTH_MAX);
    return false;
  }
  const bool outer = actions::currentSceneFile && file == actions::currentSceneFile;
  if (outer || std::find(loadingChain.begin(), loadingChain.end(), file) != loadingChain.end()) {
    Log(1, "NULL(SceneParticlesAction) - \"%s\" would include itself, not loaded", file.c_str());
    return false;
  }
  return true;
}

// The parameters are a scene file and nine numbers. The numbers are the last nine words, so a
// file name may hold blanks; its directories are dropped, as the Vfs knows files by bare name.
constexpr size_t PARAMETER_NUMBERS = 9;

void SplitParameters(const char* params, std::string& name, std::string& numbers) {
  const std::string text = params ? params : "";
  std::vector<std::pair<size_t, size_t>> words;  // [start, end) of each
  for (size_t at = text.find_first_not_of(" \t"); at != std::string::npos;) {
    const size_t end = std::min(text.find_first_of(" \t", at), text.size());
    words.push_back({at, end});
    at = text.find_first_not_of(" \t", end);
  }
  if (words.empty()) return;
  const size_t nameWords = words.size() > PARAMETER_NUMBERS ? words.size() - PARAMETER_NUMBERS : 1;
  const size_t nameEnd = words[nameWords - 1].second;
  name = text.substr(words[0].first, nameEnd - words[0].first);
  numbers = text.substr(nameEnd);
  const size_t cut = name.find_last_of(":/\\");
  if (cut != std::string::npos) name.erase(0, cut + 1);
}

}  // namespace

bool SceneParticlesAction::Create(const char* params, Vfs* vfs, Scene* scene) {
  std::string numbers;
  SplitParameters(params, fileName, numbers);
  int32_t number = 0, start = 0, end = 0;
  std::sscanf(numbers.c_str(), "%i %i %i %f %f %f %f %f %f", &number, &start, &end, &box.x, &box.y, &box.z,
              &limit.x, &limit.y, &limit.z);
  const char* name = fileName.c_str();
  count = uint32_t(number);
  startTime = uint32_t(start);
  endTime = uint32_t(end);
  this->scene = scene;
  if (!scene || !scene->system || !vfs || !*name) return false;

  const VfsFile* file = vfs->Find(name);
  if (!MayNest(file ? file->name : fileName)) return false;
  nested = std::make_unique<Scene>();
  nested->AttachToSystem(scene->system);
  if (scene->system->textures) scene->system->textures->AddScene(nested.get());  // loaded with the outer ones
  loadingChain.push_back(file ? file->name : fileName);
  const bool loaded = nested->Load(vfs, name);  // logs its own failures
  loadingChain.pop_back();
  // The phase is taken modulo the end time, and the nested time wraps at it: it must be a whole
  // frame at least.
  const int64_t nestedEnd = loaded ? actions::Truncate(nested->lastFrame) : 0;
  if (loaded && nestedEnd <= 0)
    Log(1, "NULL(SceneParticlesAction) - \"%s\" ends at frame %g, it can't be played as particles", name,
        double(nested->lastFrame));
  if (nestedEnd <= 0) {
    Unregister(nested.get());
    nested.reset();
    return false;
  }
  nested->Precalc(vfs, false);  // its particles are drawn through the outer scene's camera

  if (count > PARTICLES_MAX) {
    Log(1, "NULL(SceneParticlesAction) - %u particles are too many, using %u", count, PARTICLES_MAX);
    count = PARTICLES_MAX;
  }
  particles.assign(count, Particle{});
  for (Particle& particle : particles) {
    uint32_t r[8];
    for (uint32_t& value : r) value = ActionRandom();  // r[3] is drawn and not used
    particle.start.x = float((double(r[0] % 255) / 255.0 - 0.5) * box.x);
    particle.start.y = float((double(r[1] % 255) / 255.0 - 0.5) * box.y);
    particle.start.z = float((double(r[2] % 255) / 255.0 - 0.5) * box.z);
    particle.velocity.x = float(double(r[4] % 255) / 4000.0 - 0.031875);
    particle.velocity.y = float(double(r[5] % 255) / 4000.0);
    particle.velocity.z = float(double(r[6] % 255) / 4000.0 - 0.031875);
    particle.phase = float(int64_t(r[7]) % nestedEnd);
  }
  return true;
}

bool SceneParticlesAction::Move(float time) {
  if (!created) return false;
  if (!(float(startTime) <= time && time < float(endTime))) return false;
  const float t = time - float(startTime);
  const double flight = double(t) * (2.0 / double(endTime)) * 7000.0;
  const float end = nested->lastFrame;
  for (Particle& particle : particles) {
    float* position = &particle.position.x;
    const float* start = &particle.start.x;
    const float* velocity = &particle.velocity.x;
    const float* bound = &limit.x;
    for (int axis = 0; axis < 3; ++axis) {
      // A coordinate that has reached its bound stays where it is.
      if (std::fabs(position[axis]) < bound[axis])
        position[axis] = float(double(start[axis]) + double(velocity[axis]) * flight);
    }
    particle.nestedTime = t + particle.phase;
    if (particle.nestedTime >= end) particle.nestedTime = std::fmod(particle.nestedTime, end);
  }
  return true;
}

void SceneParticlesAction::Render(SceneObject* owner, float time) {
  if (!Move(time)) return;
  for (Particle& particle : particles) {
    const Matrix4 frame =
        Multiply(Translation(particle.position.x, particle.position.y, particle.position.z), owner->worldMatrix);
    for (const auto& object : nested->objects) UpdateObject(object.get(), particle.nestedTime);
    for (const auto& object : nested->objects) UpdateObjectWorld(object.get());
    for (const auto& object : nested->objects) {
      object->worldMatrix = Multiply(object->worldMatrix, frame);
      DrawOpaque(object.get());
    }
  }
}

void SceneParticlesAction::Delete() {
  if (nested) {
    Unregister(nested.get());
    nested->Free();
    nested.reset();
  }
  std::vector<Particle>().swap(particles);
  count = 0;
}

void SceneParticlesAction::ReleaseRendering() {
  if (nested) ReleaseSceneRendering(*nested);
}

void SceneParticlesAction::ListFiles(std::vector<File>& files) const {
  if (fileName.empty()) return;
  files.push_back({"scene", fileName});
  if (nested)
    for (File& file : ActionFiles(*nested)) files.push_back(std::move(file));
}

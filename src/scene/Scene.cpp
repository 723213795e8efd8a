// Creation, lookup, cloning and release of the scene's records. Lookups are linear scans in
// creation order and return the first match, so a name shared by several records finds the
// oldest one.
#include "scene/Scene.h"

#include <cstring>

void Scene::AttachToSystem(Engine* newSystem) {
  if (system) return;
  system = newSystem;
}

SceneObject* Scene::AddObject() {
  objects.push_back(std::make_unique<SceneObject>());
  SceneObject* object = objects.back().get();
  object->scene = this;
  return object;
}

Surface* Scene::AddSurface() {
  surfaces.push_back(std::make_unique<Surface>());
  surfaces.back()->scene = this;
  return surfaces.back().get();
}

Camera* Scene::AddCamera() {
  cameras.push_back(std::make_unique<Camera>());
  cameras.back()->scene = this;
  return cameras.back().get();
}

Light* Scene::AddLight() {
  lights.push_back(std::make_unique<Light>());
  lights.back()->scene = this;
  return lights.back().get();
}

Oscillator* Scene::AddOscillator() {
  oscillators.push_back(std::make_unique<Oscillator>());
  return oscillators.back().get();
}

bool LightWaveLook(const Scene* scene) { return scene && scene->system && scene->system->settings.lightwave; }

Light* Scene::FindLightByIndex(uint32_t lightIndex) const {
  for (const auto& light : lights)
    if (light->lightIndex == lightIndex) return light.get();
  return nullptr;
}

Surface* Scene::FindSurfaceByName(const char* name) const {
  if (!name) return nullptr;
  for (const auto& surface : surfaces)
    if (surface->name == name) return surface.get();
  return nullptr;
}

Camera* Scene::FindCameraByIndex(uint32_t cameraIndex) const {
  for (const auto& camera : cameras)
    if (camera->cameraIndex == cameraIndex) return camera.get();
  return nullptr;
}

SceneObject* Scene::FindObjectByIndex(uint32_t itemIndex) const {
  if (itemIndex == NO_ITEM_INDEX) return nullptr;
  for (const auto& object : objects)
    if (object->itemIndex == itemIndex) return object.get();
  return nullptr;
}

SceneObject* Scene::FindObjectByFileName(const char* fileName) const {
  if (!fileName) return nullptr;
  for (const auto& object : objects)
    if (object->fileName == fileName) return object.get();
  return nullptr;
}

SceneObject* Scene::FindObjectLayer(const char* fileName, uint16_t layerNumber) const {
  if (!fileName) return nullptr;
  for (const auto& object : objects)
    if (object->layerNumber == layerNumber && object->fileName == fileName) return object.get();
  return nullptr;
}

void Scene::CloneObjectGeometry(const SceneObject* source, SceneObject* clone) const {
  if (!source || !clone || source == clone) return;
  clone->baseVertices = source->baseVertices;
  clone->triangles = source->triangles;
  clone->uvMaps = source->uvMaps;
  clone->pivot = source->pivot;
  // The copied corners still point into the source; move each to the same vertex of the copy.
  // Corners not yet set (before the precalculation) stay unset.
  const Vertex* sourceBase = source->baseVertices.data();
  Vertex* cloneBase = clone->baseVertices.data();
  for (Triangle& triangle : clone->triangles)
    for (Vertex*& corner : triangle.corners)
      if (corner) corner = cloneBase + (corner - sourceBase);
}

void Scene::Free() {
  if (!system) return;
  activeCamera = nullptr;  // it pointed into the cameras about to go
  // Each list is swapped out before its records are destroyed, so an action shutting down
  // never sees a half-destroyed list, and the memory itself goes back too.
  std::vector<SceneObject*>().swap(preSceneActions);
  std::vector<SceneObject*>().swap(postSceneActions);
  std::vector<SceneObject*>().swap(drawables);
  std::vector<std::unique_ptr<SceneObject>>().swap(objects);
  std::vector<std::unique_ptr<Surface>>().swap(surfaces);
  std::vector<std::unique_ptr<Camera>>().swap(cameras);
  std::vector<std::unique_ptr<Light>>().swap(lights);
  std::vector<std::unique_ptr<Oscillator>>().swap(oscillators);
}

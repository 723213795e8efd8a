#include "scene/Scene.h"

#include "app/System.h"

#include <gtest/gtest.h>

namespace {

// Counts how often the scene releases records that other modules own.
int releasedActions = 0;
int releasedCaches = 0;
void ReleaseAction(SceneAction*) { ++releasedActions; }
void ReleaseCache(PointCache*) { ++releasedCaches; }

// An object with a triangle, a surface, envelopes, an oscillator and foreign records.
void Populate(Scene& scene) {
  Surface* surface = scene.AddSurface();
  surface->layers[0] = std::make_unique<TextureLayer>();
  SceneObject* object = scene.AddObject();
  object->fileName = "box.lwo";
  object->triangles.resize(1);
  object->triangles[0].surface = surface;
  object->envelopes[0] = std::make_unique<Envelope>();
  object->envelopes[0]->oscillators.push_back(scene.AddOscillator());
  object->action = {reinterpret_cast<SceneAction*>(&releasedActions), ReleaseAction};
  object->pointCache = {reinterpret_cast<PointCache*>(&releasedCaches), ReleaseCache};
  scene.drawables.push_back(object);
  scene.activeCamera = scene.AddCamera();
  scene.AddLight();
}

TEST(Scene, LookupsReturnTheFirstMatch) {
  Scene scene;
  Surface* skin = scene.AddSurface();
  skin->name = "Skin";
  scene.AddSurface()->name = "Skin";
  EXPECT_EQ(scene.FindSurfaceByName("Skin"), skin);
  EXPECT_EQ(scene.FindSurfaceByName("skin"), nullptr);  // case counts

  // An object layer no scene line named has no index and is never found by one.
  SceneObject* unnamed = scene.AddObject();
  unnamed->fileName = "ship.lwo";
  unnamed->layerNumber = 1;
  for (int copy = 0; copy < 2; ++copy) {
    SceneObject* layer = scene.AddObject();
    layer->fileName = "ship.lwo";
    layer->layerNumber = 2;
    layer->itemIndex = 0;
  }
  SceneObject* layer2 = scene.objects[1].get();
  EXPECT_EQ(scene.FindObjectByIndex(0), layer2);
  EXPECT_EQ(scene.FindObjectByIndex(NO_ITEM_INDEX), nullptr);
  EXPECT_EQ(scene.FindObjectByFileName("ship.lwo"), unnamed);
  EXPECT_EQ(scene.FindObjectLayer("ship.lwo", 2), layer2);
  EXPECT_EQ(scene.FindObjectLayer("ship.lwo", 3), nullptr);

  for (uint32_t i = 0; i < 3; ++i) scene.AddLight()->lightIndex = 2 - i;
  scene.AddLight()->lightIndex = 0;
  EXPECT_EQ(scene.FindLightByIndex(0), scene.lights[2].get());
  for (uint32_t i = 0; i < 3; ++i) scene.AddCamera()->cameraIndex = 2 - i;
  EXPECT_EQ(scene.FindCameraByIndex(0), scene.cameras[2].get());
  EXPECT_EQ(scene.FindCameraByIndex(3), nullptr);
}

TEST(Scene, FreeEmptiesAnAttachedSceneAndReleasesEverythingOnce) {
  releasedActions = releasedCaches = 0;
  System system;
  Scene scene;
  Populate(scene);
  scene.Free();  // never attached: left as it is
  EXPECT_EQ(scene.objects.size(), 1u);

  scene.AttachToSystem(&system);
  scene.Free();
  EXPECT_TRUE(scene.objects.empty() && scene.surfaces.empty() && scene.cameras.empty() && scene.lights.empty() &&
              scene.oscillators.empty() && scene.drawables.empty() && scene.activeCamera == nullptr);
  EXPECT_TRUE(releasedActions == 1 && releasedCaches == 1);
  // Reusable, and a second Free of an empty scene does nothing more.
  Populate(scene);
  scene.Free();
  scene.Free();
  EXPECT_EQ(releasedActions, 2);
  {
    Scene detached;  // destruction releases what Free was never asked to
    Populate(detached);
  }
  EXPECT_TRUE(releasedActions == 3 && releasedCaches == 3);
}

TEST(SceneSystem, AttachesOnceAndRefusesAZeroSpeed) {
  System first, second;
  Scene scene;
  scene.AttachToSystem(&first);
  scene.AttachToSystem(&second);
  EXPECT_EQ(scene.system, &first);

  first.SetEngineSpeed(25);
  EXPECT_EQ(first.msPerFrame, 40u);
  first.SetEngineSpeed(0);  // would make a frame endless
  EXPECT_TRUE(first.engineSpeed == 25 && first.msPerFrame == 40u);
}

}  // namespace

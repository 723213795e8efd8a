#include "support/SceneFixture.h"

namespace {

// Counts how often the scene releases records that other modules own.
int releasedActions = 0, releasedCaches = 0;
void ReleaseAction(SceneAction*) { ++releasedActions; }
void ReleaseCache(PointCache*) { ++releasedCaches; }

// One record of each kind, an object holding foreign records, and the render lists.
void Populate(Scene& scene) {
  scene.AddSurface();
  SceneObject* object = scene.AddObject();
  object->action = {reinterpret_cast<SceneAction*>(&releasedActions), ReleaseAction};
  object->pointCache = {reinterpret_cast<PointCache*>(&releasedCaches), ReleaseCache};
  scene.drawables.push_back(object);
  scene.AddOscillator();
  scene.activeCamera = scene.AddCamera();
  scene.AddLight();
}

// Other tests force the index and file-name lookups; here the first name, case, and no index.
TEST(Scene, LookupsReturnTheFirstMatch) {
  Scene scene;
  Surface* skin = scene.AddSurface();
  skin->name = "Skin";
  scene.AddSurface()->name = "Skin";
  EXPECT_EQ(scene.FindSurfaceByName("Skin"), skin);
  EXPECT_EQ(scene.FindSurfaceByName("skin"), nullptr);
  scene.AddObject();
  EXPECT_EQ(scene.FindObjectByIndex(NO_ITEM_INDEX), nullptr);
}

TEST(Scene, FreeEmptiesAnAttachedSceneAndReleasesEverythingOnce) {
  releasedActions = releasedCaches = 0;
  System system, other;
  Scene scene;
  Populate(scene);
  scene.Free();  // never attached: left as it is
  EXPECT_EQ(scene.objects.size(), 1u);

  scene.AttachToSystem(&system);
  scene.AttachToSystem(&other);  // attaches once
  EXPECT_EQ(scene.system, &system);
  scene.Free();
  EXPECT_TRUE(scene.objects.empty() && scene.surfaces.empty() && scene.cameras.empty() && scene.lights.empty() &&
              scene.oscillators.empty() && scene.drawables.empty() && scene.activeCamera == nullptr);
  EXPECT_TRUE(releasedActions == 1 && releasedCaches == 1);
  // Reusable, and a second Free of an empty scene does nothing more.
  Populate(scene);
  scene.Free();
  scene.Free();
  {
    Scene detached;  // destruction releases what Free was never asked to
    Populate(detached);
  }
  EXPECT_TRUE(releasedActions == 3 && releasedCaches == 3);
}

TEST(SceneSystem, RefusesAZeroSpeed) {
  System first;
  first.SetEngineSpeed(25);
  first.SetEngineSpeed(0);  // would make a frame endless
  EXPECT_TRUE(first.engineSpeed == 25 && first.msPerFrame == 40u);
}

}  // namespace

#include "support/SceneFixture.h"

#include <cmath>

namespace {

using Transform = test::SceneFixture;

constexpr float HALF_PI = 1.5707964f;

// Where a point given in scene coordinates lands, read back in scene coordinates (GL's z is negated).
Vec3 Place(const Matrix4& m, Vec3 p) {
  const float* a = m.m;
  return {a[0] * p.x + a[4] * p.y - a[8] * p.z + a[12], a[1] * p.x + a[5] * p.y - a[9] * p.z + a[13],
          -(a[2] * p.x + a[6] * p.y - a[10] * p.z + a[14])};
}

void ExpectNear(Vec3 got, Vec3 expected, const char* what) {
  EXPECT_LT(Length({got.x - expected.x, got.y - expected.y, got.z - expected.z}), 2e-5f)
      << what << ": " << got.x << " " << got.y << " " << got.z;
}

bool IsIdentity(const Matrix4& m, float tolerance) {
  for (int i = 0; i < 16; ++i)
    if (std::fabs(m.m[i] - float(i % 5 == 0)) > tolerance) return false;
  return true;
}

TEST_F(Transform, ObjectLocalMatrixPivotsRotatesScalesAndMoves) {
  SceneObject* object = scene->AddObject();

  // Classic: pitch, heading, bank, then scale on the parent's axes; LightWave: own-axis scale, bank, pitch, heading.
  const struct {
    bool lightwave;
    Vec3 rotation, from, to;
    const char* what;
    Vec3 scale = {1, 1, 1}, position = {}, pivot = {};
  } cases[] = {
      {false, {}, {1, 0, 0}, {5, 0, 0}, "pivot", {1, 1, 1}, {5, 0, 0}, {1, 0, 0}},
      {true, {}, {1, 0, 0}, {5, 0, 0}, "LightWave pivot", {1, 1, 1}, {5, 0, 0}, {1, 0, 0}},
      {false, {0, HALF_PI, 0}, {0, 1, 0}, {0, 0, 1}, "pitch"},
      {false, {HALF_PI, 0, 0}, {0, 0, 1}, {1, 0, 0}, "heading"},
      {false, {0, 0, HALF_PI}, {1, 0, 0}, {0, 1, 0}, "bank"},
      {false, {HALF_PI, HALF_PI, HALF_PI}, {1, 0, 0}, {0, 0, -1}, "all three, x"},
      {false, {HALF_PI, HALF_PI, HALF_PI}, {0, 0, 1}, {1, 0, 0}, "all three, z"},
      {false, {HALF_PI, 0, 0}, {0, 0, 1}, {2, 0, 0}, "scale after heading", {2, 1, 1}},
      {true, {HALF_PI, 0, 0}, {0, 0, 1}, {1, 0, 0}, "LightWave heading"},
      {true, {0, HALF_PI, 0}, {0, 0, 1}, {0, -1, 0}, "LightWave pitch"},
      {true, {0, 0, HALF_PI}, {1, 0, 0}, {0, 1, 0}, "LightWave bank"},
      {true, {HALF_PI, 0, HALF_PI}, {1, 0, 0}, {0, 1, 0}, "LightWave heading and bank"},
      {true, {HALF_PI, HALF_PI, HALF_PI}, {1, 0, 0}, {1, 0, 0}, "LightWave all three"},
      {true, {HALF_PI, 0, 0}, {0, 0, 1}, {3, 0, 0}, "LightWave scale before heading, z", {2, 1, 3}},
      {true, {HALF_PI, 0, 0}, {1, 0, 0}, {5, 0, -2}, "LightWave scale before heading, x", {2, 1, 1}, {5, 0, 0}},
  };
  for (const auto& c : cases) {
    system.settings.lightwave = c.lightwave;
    object->pivot = c.pivot;
    test::Place(object, c.position, c.rotation, c.scale);
    UpdateObject(object, 0);
    ExpectNear(Place(object->localMatrix, c.from), c.to, c.what);
  }
  // The dissolve follows its envelope in the LightWave look only.
  test::Ramp(object->dissolveEnvelope, 0, 0, 10, 1);
  UpdateObject(object, 5);
  system.settings.lightwave = false;
  UpdateObject(object, 10);
  EXPECT_FLOAT_EQ(object->dissolve, 0.5f);

  // Without a position-x envelope nothing is evaluated and the matrices stay as they were.
  SceneObject* still = scene->AddObject();
  test::Place(still, {1, 2, 3});
  still->envelopes[CHANNEL_POSITION_X].reset();
  UpdateObject(still, 0);
  UpdateObjectWorld(still);
  EXPECT_TRUE(IsIdentity(still->localMatrix, 0) && IsIdentity(still->worldMatrix, 0));
  EXPECT_EQ(still->channelValues[CHANNEL_POSITION_Y], 0);
}

TEST_F(Transform, WorldMatricesCombineLocalMatricesOfAncestors) {
  // The child comes first: only local matrices are combined, so the update order does not matter.
  SceneObject* child = scene->AddObject();
  SceneObject* parent = scene->AddObject();
  SceneObject* grandparent = scene->AddObject();
  child->parent = parent;
  parent->parent = grandparent;
  test::Place(child, {1, 0, 0});
  test::Place(parent, {}, {HALF_PI, 0, 0});
  test::Place(grandparent, {0, 10, 0});
  for (auto& object : scene->objects) UpdateObject(object.get(), 0);
  for (auto& object : scene->objects) UpdateObjectWorld(object.get());
  // The child's origin: 1 along x, turned by the parent's heading to −z, lifted by 10.
  ExpectNear(Place(child->worldMatrix, {0, 0, 0}), {0, 10, -1}, "grandchild");
  ExpectNear(Place(parent->worldMatrix, {0, 0, 0}), {0, 10, 0}, "child");

  // An object under a camera follows the camera: it carries the inverse of the view matrix.
  Camera* camera = scene->AddCamera();
  camera->localMatrix = Translation(-1, -2, 3);  // its view: the inverse of its placement at (1, 2, 3), turned
  RotateY(camera->localMatrix, 0.4f);
  RotateX(camera->localMatrix, 0.2f);
  RotateZ(camera->localMatrix, 0.6f);
  SceneObject* held = scene->AddObject();
  held->parent = camera;
  held->parentKind = ITEM_CAMERA;
  UpdateObjectWorld(held);
  EXPECT_TRUE(IsIdentity(Multiply(held->worldMatrix, camera->localMatrix), 1e-5f));

  // A camera undoes its parents' placement after its own: 1 ahead of a null at x 5 facing +x is x 6; 4 ahead, 4 behind.
  SceneObject* rig = scene->AddObject();
  test::Place(rig, {5, 0, 0}, {HALF_PI, 0, 0});
  UpdateObject(rig, 0);
  Camera* riding = scene->AddCamera();
  riding->localMatrix = Translation(0, 0, 1);  // the view from 1 ahead (GL's z is negated)
  riding->parent = rig;
  UpdateCameraWorld(riding);
  ExpectNear(Place(riding->worldMatrix, {7, 0, 0}), {0, 0, 1}, "a point 1 ahead of the riding camera");
  Camera* mounted = scene->AddCamera();
  mounted->localMatrix = Translation(0, 0, 4);
  mounted->parent = camera;
  mounted->parentKind = ITEM_CAMERA;
  UpdateCameraWorld(mounted);
  ExpectNear(Place(mounted->worldMatrix, Place(held->worldMatrix, {1, 0, 0})), {1, 0, -4}, "beside the camera below");

  // A light goes where its parent takes it, under an object or a camera.
  Light* lamp = scene->AddLight();
  lamp->localMatrix = Translation(0, 1, 0);
  lamp->parent = grandparent;
  UpdateLightWorld(lamp);
  ExpectNear(Place(lamp->worldMatrix, {0, 0, 0}), {0, 11, 0}, "light under an object");
  lamp->localMatrix = Translation(0, 0, -2);
  lamp->parent = camera;
  lamp->parentKind = ITEM_CAMERA;
  UpdateLightWorld(lamp);
  ExpectNear(Place(lamp->worldMatrix, {0, 0, 0}), Place(held->worldMatrix, {0, 0, 2}), "light 2 ahead of a camera");
  // And an object under a light goes where the light takes it.
  SceneObject* shade = scene->AddObject();
  shade->parent = lamp;
  shade->parentKind = ITEM_LIGHT;
  UpdateObjectWorld(shade);
  ExpectNear(Place(shade->worldMatrix, {0, 0, 0}), Place(lamp->worldMatrix, {0, 0, 0}), "object under a light");

  // A parenting loop ends the walk once it comes round: its own parent keeps its own place.
  child->parent = child;
  UpdateObjectWorld(child);
  ExpectNear(Place(child->worldMatrix, {0, 0, 0}), {1, 0, 0}, "its own parent");
  child->parent = parent;
  grandparent->parent = parent;
  UpdateObjectWorld(child);
  for (float value : child->worldMatrix.m) EXPECT_TRUE(std::isfinite(value));
}

}  // namespace

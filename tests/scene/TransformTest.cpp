#include "scene/Scene.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

constexpr float HALF_PI = 1.5707964f;

// Gives every motion channel a one-key envelope: x, y, z, heading, pitch, bank, sx, sy, sz.
void SetChannels(SceneObject* object, std::array<float, 9> values) {
  for (int i = 0; i < 9; ++i) {
    object->envelopes[i] = std::make_unique<Envelope>();
    EnvelopeKey key;
    key.value = values[i];
    key.shape = SHAPE_LINEAR;
    object->envelopes[i]->keys = {key};
  }
}

Vec3 Apply(const Matrix4& m, Vec3 p) {
  const float* a = m.m;
  return {a[0] * p.x + a[4] * p.y + a[8] * p.z + a[12], a[1] * p.x + a[5] * p.y + a[9] * p.z + a[13],
          a[2] * p.x + a[6] * p.y + a[10] * p.z + a[14]};
}

// Where a point given in scene coordinates lands, read back in scene coordinates.
Vec3 Place(const Matrix4& m, Vec3 scenePoint) {
  Vec3 gl = Apply(m, {scenePoint.x, scenePoint.y, -scenePoint.z});
  return {gl.x, gl.y, -gl.z};
}

void ExpectNear(Vec3 got, Vec3 expected, const char* what) {
  EXPECT_NEAR(got.x, expected.x, 1e-5f) << what;
  EXPECT_NEAR(got.y, expected.y, 1e-5f) << what;
  EXPECT_NEAR(got.z, expected.z, 1e-5f) << what;
}

void ExpectIdentity(const Matrix4& m, float tolerance) {
  Matrix4 identity;
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.m[i], identity.m[i], tolerance) << "element " << i;
}

// The view matrix a camera builds for itself: the inverse of its placement.
Matrix4 CameraView(Vec3 position, float heading, float pitch, float bank) {
  Matrix4 m = Translation(-position.x, -position.y, position.z);
  RotateY(m, heading);
  RotateX(m, pitch);
  RotateZ(m, -bank);
  return m;
}

TEST(Transform, PrimitivesComposeInTheDocumentedOrder) {
  // Multiply(a, b) applies a first: move to x = 1, then turn a quarter about Z.
  Matrix4 turn;
  RotateZ(turn, HALF_PI);
  ExpectNear(Apply(Multiply(Translation(1, 0, 0), turn), {0, 0, 0}), {0, 1, 0}, "a then b");
  Matrix4 m = Translation(1, 0, 0);
  PreMultiply(m, turn);
  ExpectNear(Apply(m, {0, 0, 0}), {0, 1, 0}, "premultiply");

  Matrix4 rigid = CameraView({3, -2, 7}, 0.7f, -0.3f, 1.9f);
  Matrix4 inverse = rigid;
  RigidInverse(inverse);
  ExpectIdentity(Multiply(rigid, inverse), 1e-5f);

  ExpectNear(Normalize({0, 0, 0}), {0, 0, 0}, "a zero vector stays zero");
}

TEST(Transform, ObjectLocalMatrixPivotsRotatesScalesAndMoves) {
  Scene scene;
  SceneObject* object = scene.AddObject();

  // The pivot lands on the position; the origin one pivot-length before it.
  object->pivot = {1, 0, 0};
  SetChannels(object, {5, 0, 0, 0, 0, 0, 1, 1, 1});
  UpdateObject(object, 0);
  ExpectNear(Place(object->localMatrix, {1, 0, 0}), {5, 0, 0}, "pivot");
  ExpectNear(Place(object->localMatrix, {0, 0, 0}), {4, 0, 0}, "origin");
  object->pivot = {};

  SetChannels(object, {0, 0, 0, 0, HALF_PI, 0, 1, 1, 1});
  UpdateObject(object, 0);
  ExpectNear(Place(object->localMatrix, {0, 1, 0}), {0, 0, 1}, "pitch");
  SetChannels(object, {0, 0, 0, HALF_PI, 0, 0, 1, 1, 1});
  UpdateObject(object, 0);
  ExpectNear(Place(object->localMatrix, {0, 0, 1}), {1, 0, 0}, "heading");
  SetChannels(object, {0, 0, 0, 0, 0, HALF_PI, 1, 1, 1});
  UpdateObject(object, 0);
  ExpectNear(Place(object->localMatrix, {1, 0, 0}), {0, 1, 0}, "bank");

  // Pitch first, then heading, then bank.
  SetChannels(object, {0, 0, 0, HALF_PI, HALF_PI, HALF_PI, 1, 1, 1});
  UpdateObject(object, 0);
  ExpectNear(Place(object->localMatrix, {1, 0, 0}), {0, 0, -1}, "all three, x");
  ExpectNear(Place(object->localMatrix, {0, 0, 1}), {1, 0, 0}, "all three, z");

  // Scale acts after rotation, along the parent's axes.
  SetChannels(object, {0, 0, 0, HALF_PI, 0, 0, 2, 1, 1});
  UpdateObject(object, 0);
  ExpectNear(Place(object->localMatrix, {0, 0, 1}), {2, 0, 0}, "scale after heading");

  // Without a position-x envelope nothing is evaluated and the matrices stay as they were.
  SceneObject* still = scene.AddObject();
  SetChannels(still, {1, 2, 3, 0, 0, 0, 1, 1, 1});
  still->envelopes[CHANNEL_POSITION_X].reset();
  UpdateObject(still, 0);
  UpdateObjectWorld(still);
  ExpectIdentity(still->localMatrix, 0);
  ExpectIdentity(still->worldMatrix, 0);
  EXPECT_EQ(still->channelValues[CHANNEL_POSITION_Y], 0);
}

TEST(Transform, WorldMatricesCombineLocalMatricesOfAncestors) {
  Scene scene;
  // The child comes first in the array: only local matrices are combined, so the update order
  // does not matter.
  SceneObject* child = scene.AddObject();
  SceneObject* parent = scene.AddObject();
  SceneObject* grandparent = scene.AddObject();
  child->parent = parent;
  parent->parent = grandparent;
  SetChannels(child, {1, 0, 0, 0, 0, 0, 1, 1, 1});
  SetChannels(parent, {0, 0, 0, HALF_PI, 0, 0, 1, 1, 1});
  SetChannels(grandparent, {0, 10, 0, 0, 0, 0, 1, 1, 1});
  for (auto& object : scene.objects) UpdateObject(object.get(), 0);
  for (auto& object : scene.objects) UpdateObjectWorld(object.get());
  // The child's origin: 1 along x, turned by the parent's heading to −z, lifted by 10.
  ExpectNear(Place(child->worldMatrix, {0, 0, 0}), {0, 10, -1}, "grandchild");
  ExpectNear(Place(parent->worldMatrix, {0, 0, 0}), {0, 10, 0}, "child");

  // An object under a camera follows the camera: it carries the inverse of the view matrix.
  Camera* camera = scene.AddCamera();
  camera->localMatrix = CameraView({1, 2, 3}, 0.4f, 0.2f, -0.6f);
  SceneObject* held = scene.AddObject();
  held->parent = camera;
  held->parentKind = ITEM_CAMERA;
  UpdateObjectWorld(held);
  ExpectIdentity(Multiply(held->worldMatrix, camera->localMatrix), 1e-5f);
  ExpectNear(Place(held->worldMatrix, {0, 0, 0}), {1, 2, 3}, "at the camera");

  // Cameras and lights take their ancestors' local matrices as they are.
  Camera* mounted = scene.AddCamera();
  mounted->localMatrix = Translation(0, 0, -4);
  mounted->parent = camera;
  mounted->parentKind = ITEM_CAMERA;
  UpdateCameraWorld(mounted);
  Matrix4 expected = Multiply(mounted->localMatrix, camera->localMatrix);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(mounted->worldMatrix.m[i], expected.m[i]);

  Light* lamp = scene.AddLight();
  lamp->localMatrix = Translation(0, 1, 0);
  lamp->parent = grandparent;
  lamp->parentKind = ITEM_OBJECT;
  UpdateLightWorld(lamp);
  ExpectNear(Apply(lamp->worldMatrix, {0, 0, 0}), {0, 11, 0}, "light under an object");

}

TEST(Transform, ParentingLoopsEndTheWalk) {
  Scene scene;
  SceneObject* a = scene.AddObject();
  SceneObject* b = scene.AddObject();
  SceneObject* c = scene.AddObject();
  SetChannels(a, {1, 0, 0, 0, 0, 0, 1, 1, 1});
  SetChannels(b, {0, 1, 0, 0, 0, 0, 1, 1, 1});
  SetChannels(c, {0, 0, 1, 0, 0, 0, 1, 1, 1});
  for (auto& object : scene.objects) UpdateObject(object.get(), 0);

  a->parent = a;  // its own parent
  UpdateObjectWorld(a);
  ExpectNear(Apply(a->worldMatrix, {0, 0, 0}), {1, 0, 0}, "self");

  // a → b → c → b: the walk goes round once and stops; every matrix stays finite.
  a->parent = b;
  b->parent = c;
  c->parent = b;
  UpdateObjectWorld(a);
  for (float value : a->worldMatrix.m) EXPECT_TRUE(std::isfinite(value));
}

}  // namespace

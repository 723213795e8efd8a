// Matrix and vector primitives and the item transforms: local matrices from channel values, and
// world matrices from the chain of ancestors. Left-handed scene data enters OpenGL's
// right-handed space here: positions and pivots have Z negated, heading and pitch change sign,
// bank and scale keep theirs. Objects turn and scale by the classic engine's order, or by
// LightWave's with its look.
#include "scene/Scene.h"

#include <cmath>

Matrix4 Identity() { return Matrix4{}; }

Matrix4 Translation(float x, float y, float z) {
  Matrix4 m;
  m.m[12] = x;
  m.m[13] = y;
  m.m[14] = z;
  return m;
}

namespace {

// m ← R · m, where R rotates in the plane of rows a and b: row a ← c·a − s·b, row b ← s·a + c·b.
void RotateRows(Matrix4& m, int a, int b, float angle) {
  float c = std::cos(angle);
  float s = std::sin(angle);
  for (int column = 0; column < 4; ++column) {
    float ra = m.m[4 * column + a];
    float rb = m.m[4 * column + b];
    m.m[4 * column + a] = c * ra - s * rb;
    m.m[4 * column + b] = s * ra + c * rb;
  }
}

}  // namespace

// Rx rows (1 0 0), (0 c −s), (0 s c).
void RotateX(Matrix4& m, float angle) { RotateRows(m, 1, 2, angle); }
// Ry rows (c 0 s), (0 1 0), (−s 0 c): row 2 ← c·z − s·x, row 0 ← s·z + c·x.
void RotateY(Matrix4& m, float angle) { RotateRows(m, 2, 0, angle); }
// Rz rows (c −s 0), (s c 0), (0 0 1).
void RotateZ(Matrix4& m, float angle) { RotateRows(m, 0, 1, angle); }

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
  Matrix4 result;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      float sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.m[4 * c + k] * b.m[4 * k + r];
      result.m[4 * c + r] = sum;
    }
  return result;
}

void PreMultiply(Matrix4& m, const Matrix4& b) { m = Multiply(m, b); }

void RigidInverse(Matrix4& m) {
  Matrix4 inverse;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) inverse.m[4 * c + r] = m.m[4 * r + c];
  for (int r = 0; r < 3; ++r)
    inverse.m[12 + r] = -(inverse.m[r] * m.m[12] + inverse.m[4 + r] * m.m[13] + inverse.m[8 + r] * m.m[14]);
  m = inverse;  // bottom row 0 0 0 1 from the identity it started as
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
  return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Vec3 Normalize(const Vec3& v) {
  float length = Length(v);
  if (length == 0) return v;
  float scale = 1 / length;
  return Vec3{v.x * scale, v.y * scale, v.z * scale};
}

Matrix4 LightWaveLocalMatrix(const float channels[9], const Vec3& pivot) {
  // Scale along the item's own axes, then bank, pitch and heading in turn (each about the
  // parent's axes), then the position: LightWave's order.
  Matrix4 m = Translation(-pivot.x, -pivot.y, pivot.z);
  Matrix4 s;
  s.m[0] = channels[CHANNEL_SCALE_X];
  s.m[5] = channels[CHANNEL_SCALE_Y];
  s.m[10] = channels[CHANNEL_SCALE_Z];
  PreMultiply(m, s);
  RotateZ(m, channels[CHANNEL_BANK]);
  RotateX(m, -channels[CHANNEL_PITCH]);
  RotateY(m, -channels[CHANNEL_HEADING]);
  m.m[12] += channels[CHANNEL_POSITION_X];
  m.m[13] += channels[CHANNEL_POSITION_Y];
  m.m[14] -= channels[CHANNEL_POSITION_Z];
  return m;
}

void UpdateObject(SceneObject* object, float time) {
  if (!object) return;
  const bool lightwave = LightWaveLook(object->scene);
  if (lightwave && object->dissolveEnvelope)
    object->dissolve = EvaluateEnvelope(object->dissolveEnvelope.get(), time, true);
  if (!object->envelopes[CHANNEL_POSITION_X]) return;
  float* channel = object->channelValues;
  for (uint32_t i = 0; i < 9; ++i) channel[i] = EvaluateEnvelope(object->envelopes[i].get(), time, lightwave);
  if (lightwave) {
    object->localMatrix = LightWaveLocalMatrix(channel, object->pivot);
    return;
  }

  const Vec3& pivot = object->pivot;
  Matrix4 m = Translation(-pivot.x, -pivot.y, pivot.z);
  RotateX(m, -channel[CHANNEL_PITCH]);
  RotateY(m, -channel[CHANNEL_HEADING]);
  RotateZ(m, channel[CHANNEL_BANK]);
  // Scale after rotation, so it acts along the parent's axes; the position comes last.
  Matrix4 s;
  s.m[0] = channel[CHANNEL_SCALE_X];
  s.m[5] = channel[CHANNEL_SCALE_Y];
  s.m[10] = channel[CHANNEL_SCALE_Z];
  s.m[12] = channel[CHANNEL_POSITION_X];
  s.m[13] = channel[CHANNEL_POSITION_Y];
  s.m[14] = -channel[CHANNEL_POSITION_Z];
  PreMultiply(m, s);
  object->localMatrix = m;
}

namespace {

struct ItemRef {
  const void* item;
  uint8_t kind;
};

ItemRef ParentOf(ItemRef ref) {
  switch (ref.kind) {
    case ITEM_OBJECT: {
      auto* o = static_cast<const SceneObject*>(ref.item);
      return {o->parent, o->parentKind};
    }
    case ITEM_CAMERA: {
      auto* c = static_cast<const Camera*>(ref.item);
      return {c->parent, c->parentKind};
    }
    case ITEM_LIGHT: {
      auto* l = static_cast<const Light*>(ref.item);
      return {l->parent, l->parentKind};
    }
  }
  return {nullptr, ITEM_OBJECT};  // an unknown kind ends the chain
}

// Premultiplies world by the local matrix of every ancestor of start, nearest first; a camera
// ancestor contributes its inverted view matrix, i.e. its placement.
// The loader breaks parenting loops, but a loop must still not hang a frame: the walk keeps a
// marker item that it moves to the current item at every power-of-two step (Brent), and stops
// when it meets the marker again, i.e. once it has gone round a loop. A chain without a loop
// is walked to its root.
void WalkAncestors(Matrix4& world, ItemRef start) {
  const void* marker = start.item;
  uint32_t stepsSinceMark = 0, markInterval = 1;
  for (ItemRef ref = ParentOf(start); ref.item; ref = ParentOf(ref)) {
    if (ref.item == marker) return;
    switch (ref.kind) {
      case ITEM_OBJECT:
        PreMultiply(world, static_cast<const SceneObject*>(ref.item)->localMatrix);
        break;
      case ITEM_CAMERA: {
        Matrix4 placement = static_cast<const Camera*>(ref.item)->localMatrix;
        RigidInverse(placement);
        PreMultiply(world, placement);
        break;
      }
      case ITEM_LIGHT:
        PreMultiply(world, static_cast<const Light*>(ref.item)->localMatrix);
        break;
      default:
        return;
    }
    if (++stepsSinceMark == markInterval) {
      marker = ref.item;
      stepsSinceMark = 0;
      markInterval *= 2;
    }
  }
}

// The inverse of an affine matrix (any 3 × 3 block, a translation, bottom row 0 0 0 1); false,
// leaving inverse alone, when the block has no inverse (a parent scaled to nothing).
bool AffineInverse(const Matrix4& m, Matrix4& inverse) {
  auto at = [&m](int r, int c) { return double(m.m[4 * c + r]); };
  double cofactor[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cofactor[r][c] = at(r1, c1) * at(r2, c2) - at(r1, c2) * at(r2, c1);
    }
  const double determinant = at(0, 0) * cofactor[0][0] + at(0, 1) * cofactor[0][1] + at(0, 2) * cofactor[0][2];
  if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-12) return false;
  Matrix4 result;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) result.m[4 * c + r] = float(cofactor[c][r] / determinant);
  for (int r = 0; r < 3; ++r)
    result.m[12 + r] = -(result.m[r] * m.m[12] + result.m[4 + r] * m.m[13] + result.m[8 + r] * m.m[14]);
  inverse = result;
  return true;
}

}  // namespace

void UpdateObjectWorld(SceneObject* object) {
  if (!object) return;
  object->worldMatrix = object->localMatrix;
  WalkAncestors(object->worldMatrix, {object, ITEM_OBJECT});
}

// The camera's view matrix undoes its own placement; under parents it must undo theirs too,
// after its own: view = local · (ancestors' placement)⁻¹.
void UpdateCameraWorld(Camera* camera) {
  if (!camera) return;
  camera->worldMatrix = camera->localMatrix;
  if (!camera->parent) return;
  Matrix4 ancestors;
  WalkAncestors(ancestors, {camera, ITEM_CAMERA});
  Matrix4 undo;
  if (AffineInverse(ancestors, undo)) camera->worldMatrix = Multiply(undo, camera->localMatrix);
}

void UpdateLightWorld(Light* light) {
  if (!light) return;
  light->worldMatrix = light->localMatrix;
  WalkAncestors(light->worldMatrix, {light, ITEM_LIGHT});
}

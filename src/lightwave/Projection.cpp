// Texture projections: texture coordinates of one layer for the triangles of one surface batch.
// The classic look computes planar layers only, by its own rule (ProjectPlanar). The LightWave
// look computes every projection as LightWave maps it (ProjectLayer): planar, cylindrical,
// spherical and cubic from the layer's centre, size, rotation and axis, and UV layers from the
// object's UV map of the layer's name. Front projection depends on the camera and is made while
// drawing. The precalculation runs these once; dynamic objects run them again every frame for
// layers whose mapping may be animated.
#include "lightwave/Lightwave.h"

#include <cmath>
#include <vector>


bool FollowsMapping(const TextureLayer& layer, bool lightwave) {
  if (!lightwave) return layer.projection == PROJECTION_PLANAR;
  return layer.projection <= PROJECTION_CUBIC;
}

void ProjectPlanar(SceneObject& object, const SurfaceBatch& batch, uint32_t layerIndex) {
  if (layerIndex >= SURFACE_LAYER_MAX || !batch.surface) return;
  const TextureLayer* layer = batch.surface->layers[layerIndex].get();
  if (!layer || layer->projection != PROJECTION_PLANAR) return;
  if (layer->axis > AXIS_Z) return;
  const size_t end = size_t(batch.first) + batch.count;
  if (end > object.sortedTriangles.size()) return;

  // The reference point is the corner of the mapping box, not its centre.
  const Vec3& size = layer->size;
  const Vec3 c = {layer->center.x + size.x * 0.5f, layer->center.y + size.y * 0.5f,
                  layer->center.z + size.z * 0.5f};
  const float s = std::sin(layer->rotation.y);
  const float k = std::cos(layer->rotation.y);
  const std::vector<Vertex>& vertices = object.baseVertices;

  for (size_t i = batch.first; i < end; ++i) {
    Triangle* triangle = object.sortedTriangles[i];
    if (!triangle) continue;
    CornerCoords& coords = triangle->texCoords[layerIndex];
    for (int corner = 0; corner < 3; ++corner) {
      if (triangle->cornerIndex[corner] >= vertices.size()) continue;
      const Vec3& p = vertices[triangle->cornerIndex[corner]].position;
      float u = 0, v = 0;
      switch (layer->axis) {
        case AXIS_Z:  // only this axis follows the pitch
          u = -(c.x - p.x) / size.x;
          v = -((c.y - p.y) / size.y * k + (c.z - p.z) / size.z * s);
          break;
        case AXIS_Y:
          u = -(c.x - p.x) / size.x;
          v = -(c.z + p.z) / size.z;
          break;
        default:  // AXIS_X
          u = -(c.z + p.z) / size.z;
          v = -(c.y - p.y) / size.y;
          break;
      }
      coords.cornerU[corner] = u;
      coords.cornerV[corner] = v;
    }
  }
}

namespace {

constexpr float TWO_PI = 6.28318531f;
constexpr float PI = 3.14159265f;

// A ratio that a zero size can't turn into infinity: the image's middle.
float Over(float value, float size) { return size != 0 ? value / size : 0.0f; }

// The layer's mapping: a point in texture space is the point relative to the centre, turned
// back by the layer's rotation (heading, pitch, bank as an item turns: bank first, then pitch,
// then heading), so the inverse undoes heading, then pitch, then bank.
struct Mapping {
  const TextureLayer& layer;
  float m[3][3];

  explicit Mapping(const TextureLayer& mapped) : layer(mapped) {
    const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int c = 0; c < 3; ++c) {
      const Vec3 column = Unrotate(axes[c]);
      m[0][c] = column.x, m[1][c] = column.y, m[2][c] = column.z;
    }
  }

  Vec3 Unrotate(const Vec3& d) const {
    const float ch = std::cos(layer.rotation.x), sh = std::sin(layer.rotation.x);
    const float cp = std::cos(layer.rotation.y), sp = std::sin(layer.rotation.y);
    const float cb = std::cos(layer.rotation.z), sb = std::sin(layer.rotation.z);
    const Vec3 a = {ch * d.x - sh * d.z, d.y, sh * d.x + ch * d.z};
    const Vec3 b = {a.x, cp * a.y + sp * a.z, -sp * a.y + cp * a.z};
    return {cb * b.x + sb * b.y, -sb * b.x + cb * b.y, b.z};
  }

  Vec3 Turn(const Vec3& d) const {
    return {m[0][0] * d.x + m[0][1] * d.y + m[0][2] * d.z, m[1][0] * d.x + m[1][1] * d.y + m[1][2] * d.z,
            m[2][0] * d.x + m[2][1] * d.y + m[2][2] * d.z};
  }

  Vec3 ToTexture(const Vec3& p) const {
    return Turn(Vec3{p.x - layer.center.x, p.y - layer.center.y, p.z - layer.center.z});
  }

  // Planar along axis: the image spans one size, centred on the centre; seen from the + side
  // for X and Y, from the - side (the default camera's) for Z.
  void Planar(const Vec3& q, uint8_t axis, float* u, float* v) const {
    const Vec3& size = layer.size;
    switch (axis) {
      case AXIS_X: *u = Over(q.z, size.z) + 0.5f, *v = Over(q.y, size.y) + 0.5f; break;
      case AXIS_Y: *u = Over(q.x, size.x) + 0.5f, *v = Over(q.z, size.z) + 0.5f; break;
      default: *u = Over(q.x, size.x) + 0.5f, *v = Over(q.y, size.y) + 0.5f; break;
    }
  }

  // Around the axis: the turn's two coordinates for atan2 and the height along the axis, so
  // that for axis Y the image's middle faces -Z and its side edges meet at +Z.
  void AroundAxis(const Vec3& q, float* across, float* depth, float* height, float* size) const {
    switch (layer.axis) {
      case AXIS_X: *across = -q.y, *depth = -q.z, *height = q.x, *size = layer.size.x; break;
      case AXIS_Z: *across = q.x, *depth = q.y, *height = q.z, *size = layer.size.z; break;
      default: *across = q.x, *depth = -q.z, *height = q.y, *size = layer.size.y; break;
    }
  }

  // One triangle of a cylindrical or spherical layer. The turn is unwrapped across the seam so
  // that the triangle doesn't run back over the whole image; a corner on the axis, where the
  // turn means nothing, takes the mean turn of the triangle's other corners.
  void Around(const Vec3 (&q)[3], bool spherical, float (&u)[3], float (&v)[3]) const {
    float turn[3];
    bool onAxis[3];
    float low = 2, high = -1;
    for (int k = 0; k < 3; ++k) {
      float across, depth, height, size;
      AroundAxis(q[k], &across, &depth, &height, &size);
      onAxis[k] = across == 0 && depth == 0;
      turn[k] = onAxis[k] ? 0.5f : 0.5f + std::atan2(across, depth) / TWO_PI;
      if (!onAxis[k]) low = std::fmin(low, turn[k]), high = std::fmax(high, turn[k]);
      if (spherical) {
        const float length = std::sqrt(across * across + depth * depth + height * height);
        const float latitude = length > 0 ? std::asin(std::fmax(-1.0f, std::fmin(1.0f, height / length))) : 0.0f;
        v[k] = layer.wrapHeight * (0.5f + latitude / PI);
      } else {
        v[k] = Over(height, size) + 0.5f;
      }
    }
    if (high - low > 0.5f)
      for (int k = 0; k < 3; ++k)
        if (!onAxis[k] && turn[k] < 0.5f) turn[k] += 1;
    float sum = 0;
    int count = 0;
    for (int k = 0; k < 3; ++k)
      if (!onAxis[k]) sum += turn[k], ++count;
    for (int k = 0; k < 3; ++k) {
      if (onAxis[k] && count) turn[k] = sum / float(count);
      u[k] = layer.wrapWidth * turn[k];
    }
  }

  // Cubic: the planar projection along the axis the triangle faces most (in texture space);
  // X wins a tie over Y and Z, Y over Z.
  uint8_t FacingAxis(const Vec3& faceNormal) const {
    const Vec3 n = Turn(faceNormal);
    const float x = std::fabs(n.x), y = std::fabs(n.y), z = std::fabs(n.z);
    if (x >= y && x >= z) return AXIS_X;
    return y >= z ? AXIS_Y : AXIS_Z;
  }
};

// The coordinates of the UV map that the layer names, point by point, with the map's corner
// entries over them. A point the map doesn't reach gets (0, 0). False when the object has no
// map of that name: the layer then keeps the coordinates it was loaded with.
bool ProjectUv(SceneObject& object, const SurfaceBatch& batch, const TextureLayer& layer, uint32_t layerIndex,
               size_t end) {
  const UvMap* map = nullptr;
  for (const UvMap& candidate : object.uvMaps)
    if (!layer.uvMapName.empty() && candidate.name == layer.uvMapName) map = &candidate;
  if (!map) return false;
  const size_t vertexCount = object.baseVertices.size();
  std::vector<float> uv(2 * vertexCount, 0.0f);
  for (const UvMap::Point& entry : map->points) {
    if (entry.point >= vertexCount) continue;
    uv[2 * size_t(entry.point)] = entry.u;
    uv[2 * size_t(entry.point) + 1] = entry.v;
  }
  for (size_t i = batch.first; i < end; ++i) {
    Triangle* triangle = object.sortedTriangles[i];
    if (!triangle) continue;
    CornerCoords& coords = triangle->texCoords[layerIndex];
    for (int k = 0; k < 3; ++k) {
      const uint32_t point = triangle->cornerIndex[k];
      if (point >= vertexCount) continue;
      coords.cornerU[k] = uv[2 * size_t(point)];
      coords.cornerV[k] = uv[2 * size_t(point) + 1];
    }
  }
  for (const UvMap::Corner& entry : map->corners) {
    if (entry.triangle >= object.triangles.size()) continue;
    Triangle& triangle = object.triangles[entry.triangle];
    if (triangle.surface != batch.surface) continue;
    for (int k = 0; k < 3; ++k) {
      if (triangle.cornerIndex[k] != entry.point) continue;
      triangle.texCoords[layerIndex].cornerU[k] = entry.u;
      triangle.texCoords[layerIndex].cornerV[k] = entry.v;
      break;
    }
  }
  return true;
}

}  // namespace

void ProjectLayer(SceneObject& object, const SurfaceBatch& batch, uint32_t layerIndex) {
  if (layerIndex >= SURFACE_LAYER_MAX || !batch.surface) return;
  const TextureLayer* layer = batch.surface->layers[layerIndex].get();
  if (!layer) return;
  const size_t end = size_t(batch.first) + batch.count;
  if (end > object.sortedTriangles.size()) return;
  if (layer->projection == PROJECTION_UV) {
    ProjectUv(object, batch, *layer, layerIndex, end);
    return;
  }
  if (!FollowsMapping(*layer, true)) return;
  if (layer->projection != PROJECTION_CUBIC && layer->axis > AXIS_Z) return;  // no such axis: left alone

  const Mapping mapping(*layer);
  const std::vector<Vertex>& vertices = object.baseVertices;
  for (size_t i = batch.first; i < end; ++i) {
    Triangle* triangle = object.sortedTriangles[i];
    if (!triangle) continue;
    Vec3 q[3];
    bool whole = true;
    for (int k = 0; k < 3; ++k) {
      whole = whole && triangle->cornerIndex[k] < vertices.size();
      if (whole) q[k] = mapping.ToTexture(vertices[triangle->cornerIndex[k]].position);
    }
    if (!whole) continue;
    CornerCoords& coords = triangle->texCoords[layerIndex];
    switch (layer->projection) {
      case PROJECTION_CYLINDRICAL:
      case PROJECTION_SPHERICAL:
        mapping.Around(q, layer->projection == PROJECTION_SPHERICAL, coords.cornerU, coords.cornerV);
        break;
      default: {
        const uint8_t axis =
            layer->projection == PROJECTION_CUBIC ? mapping.FacingAxis(triangle->faceNormal) : layer->axis;
        for (int k = 0; k < 3; ++k) mapping.Planar(q[k], axis, &coords.cornerU[k], &coords.cornerV[k]);
        break;
      }
    }
  }
}

void ProjectBatch(SceneObject& object, const SurfaceBatch& batch, uint32_t layerIndex) {
  if (LightWaveLook(object.scene))
    ProjectLayer(object, batch, layerIndex);
  else
    ProjectPlanar(object, batch, layerIndex);
}

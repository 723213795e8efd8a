// Planar texture projection: texture coordinates from a layer's centre, size, pitch and axis,
// for the triangles of one surface batch. The precalculation runs it for every planar layer, and
// dynamic objects run it again when their texture mapping is animated.
#include "lightwave/Lightwave.h"

#include <cmath>

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

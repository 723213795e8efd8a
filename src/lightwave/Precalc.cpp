// The precalculation: what a loaded scene needs before its first frame. It reports the scene's
// size, finishes surfaces, turns each object's loaded geometry into drawable form (corner
// pointers, face and vertex normals, triangles grouped into one batch per surface, the drawn
// copy of the vertices, planar texture coordinates), loads point caches, picks the camera and
// builds the render lists. The LightWave look adds corner normals by smoothing angle and the
// texture coordinates of every projection.
//
// It lives with the loaders because it runs their point caches and texture projections; the
// scene module declares it, so the scene's callers reach it as Scene::Precalc.
#include "lightwave/Lightwave.h"

#include "log/Log.h"
#include "scene/Scene.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

// The surface given to triangles that were never tagged. It is told apart from the object
// files' surfaces by a tag index no file can reach.
constexpr uint32_t DEFAULT_SURFACE_TAG = 0xFFFFFFFF;
constexpr const char* DEFAULT_SURFACE_NAME = "Default";
constexpr float DEFAULT_SURFACE_GREY = 200.0f / 255.0f;

void MakeDefaultSurface(Surface& surface) {
  surface.name = DEFAULT_SURFACE_NAME;
  surface.tagIndex = DEFAULT_SURFACE_TAG;
  surface.color = {DEFAULT_SURFACE_GREY, DEFAULT_SURFACE_GREY, DEFAULT_SURFACE_GREY};
  surface.diffuse = 1;
}

// The scene's default surface, made on first use. An object outside any scene shares one that
// lives as long as the program.
Surface* DefaultSurface(Scene* scene) {
  if (!scene) {
    static Surface detached = [] {
      Surface surface;
      MakeDefaultSurface(surface);
      return surface;
    }();
    return &detached;
  }
  for (const auto& surface : scene->surfaces)
    if (surface->tagIndex == DEFAULT_SURFACE_TAG && surface->name == DEFAULT_SURFACE_NAME) return surface.get();
  Surface* surface = scene->AddSurface();
  MakeDefaultSurface(*surface);
  return surface;
}

bool HasEnvelope(const std::unique_ptr<Envelope>* slots, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (slots[i]) return true;
  return false;
}

Vec3 Subtract(const Vec3& a, const Vec3& b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }

// Leaves out triangles that name a vertex the object doesn't have: nothing could draw them.
void DropBrokenTriangles(SceneObject& object) {
  const size_t vertexCount = object.baseVertices.size();
  const size_t dropped = std::erase_if(object.triangles, [vertexCount](const Triangle& triangle) {
    return triangle.cornerIndex[0] >= vertexCount || triangle.cornerIndex[1] >= vertexCount ||
           triangle.cornerIndex[2] >= vertexCount;
  });
  if (dropped)
    Log(1, "VKTSCE(PrecalcObject) - Object \"%s\" has %zu triangles with corners past its %zu vertices, left out",
        object.fileName.c_str(), dropped, vertexCount);
}

// sortedTriangles: the triangles grouped by surface, the groups in the order of the scene's
// surface list (surfaces from elsewhere after them, in order of first use), each group in
// triangle order. A counting sort, so a million triangles cost two passes.
void SortBySurface(SceneObject& object) {
  const uint32_t triangleCount = uint32_t(object.triangles.size());
  object.sortedTriangles.assign(triangleCount, nullptr);
  if (triangleCount == 0) return;

  std::vector<Surface*> used;                      // distinct surfaces, first use first
  std::unordered_map<Surface*, uint32_t> usedIndex;
  std::vector<uint32_t> group(triangleCount);      // each triangle's index into used
  Surface* last = nullptr;
  uint32_t lastGroup = 0;
  for (uint32_t t = 0; t < triangleCount; ++t) {
    Surface* surface = object.triangles[t].surface;
    if (surface != last || t == 0) {
      auto [at, added] = usedIndex.try_emplace(surface, uint32_t(used.size()));
      if (added) used.push_back(surface);
      last = surface;
      lastGroup = at->second;
    }
    group[t] = lastGroup;
  }

  // Rank each used surface by its place in the scene's list.
  const uint64_t unlisted = object.scene ? object.scene->surfaces.size() : 0;
  std::vector<uint64_t> rank(used.size());
  for (size_t g = 0; g < used.size(); ++g) rank[g] = unlisted + g;
  if (object.scene) {
    const auto& surfaces = object.scene->surfaces;
    for (size_t i = 0; i < surfaces.size(); ++i) {
      auto found = usedIndex.find(surfaces[i].get());
      if (found != usedIndex.end()) rank[found->second] = i;
    }
  }
  std::vector<uint32_t> order(used.size());
  for (uint32_t g = 0; g < order.size(); ++g) order[g] = g;
  std::sort(order.begin(), order.end(), [&rank](uint32_t a, uint32_t b) { return rank[a] < rank[b]; });

  // Group starts, then every triangle to the next free place of its group.
  std::vector<uint32_t> counts(used.size(), 0);
  for (uint32_t g : group) ++counts[g];
  std::vector<uint32_t> next(used.size());
  uint32_t first = 0;
  object.surfaceBatches.clear();
  object.surfaceBatches.reserve(used.size());
  for (uint32_t g : order) {
    next[g] = first;
    object.surfaceBatches.push_back(SurfaceBatch{first, counts[g], used[g]});
    first += counts[g];
  }
  for (uint32_t t = 0; t < triangleCount; ++t) object.sortedTriangles[next[group[t]]++] = &object.triangles[t];
}

}  // namespace

void ComputeNormals(SceneObject& object) {
  std::vector<Vertex>& vertices = object.baseVertices;
  const size_t vertexCount = vertices.size();
  for (Vertex& vertex : vertices) vertex.normal = Vec3{};
  std::vector<uint32_t> touching(vertexCount, 0);
  // The last polygon (by its first triangle) that added to each vertex: a split polygon adds once.
  std::vector<uint32_t> addedBy;

  // Each vertex sums the face normals of its triangles in ascending triangle order, exactly the
  // additions a scan of all triangles per vertex would make, so the result is the same to the
  // bit, without that scan's vertices × triangles cost.
  std::vector<Triangle>& triangles = object.triangles;
  const size_t triangleCount = triangles.size();
  auto valid = [vertexCount](const Triangle& t) {
    return t.cornerIndex[0] < vertexCount && t.cornerIndex[1] < vertexCount && t.cornerIndex[2] < vertexCount;
  };
  for (size_t first = 0; first < triangleCount;) {
    size_t end = first + 1;
    while (end < triangleCount && triangles[end].continuesPolygon) ++end;
    Vec3 face, area;
    for (size_t t = first; t < end; ++t) {
      Triangle& triangle = triangles[t];
      if (!valid(triangle)) continue;
      const Vec3& p0 = vertices[triangle.cornerIndex[0]].position;
      const Vec3& p1 = vertices[triangle.cornerIndex[1]].position;
      const Vec3& p2 = vertices[triangle.cornerIndex[2]].position;
      const Vec3 cross = Cross(Subtract(p0, p1), Subtract(p0, p2));
      triangle.faceNormal = Normalize(cross);
      face = triangle.faceNormal;
      area = Vec3{area.x + cross.x, area.y + cross.y, area.z + cross.z};
    }
    if (end - first > 1) {
      face = Normalize(area);
      if (addedBy.empty()) addedBy.assign(vertexCount, 0xFFFFFFFF);
    }
    for (size_t t = first; t < end; ++t) {
      const Triangle& triangle = triangles[t];
      if (!valid(triangle)) continue;
      const uint32_t* index = triangle.cornerIndex;
      // A triangle counts once for a vertex, however many of its corners name it; so does a
      // split polygon, however many of its pieces do.
      for (int corner = 0; corner < 3; ++corner) {
        const uint32_t i = index[corner];
        if ((corner > 0 && i == index[0]) || (corner > 1 && i == index[1])) continue;
        if (end - first > 1) {
          if (addedBy[i] == first) continue;
          addedBy[i] = uint32_t(first);
        }
        Vec3& sum = vertices[i].normal;
        sum.x += face.x;
        sum.y += face.y;
        sum.z += face.z;
        ++touching[i];
      }
    }
    first = end;
  }

  for (size_t i = 0; i < vertexCount; ++i) {
    Vec3& sum = vertices[i].normal;
    if (touching[i] != 0) {
      const float scale = 1.0f / float(touching[i]);
      sum = Vec3{sum.x * scale, sum.y * scale, sum.z * scale};
    }
    sum = Normalize(sum);  // an unused vertex keeps its zero normal
  }
}

void ComputeCornerNormals(SceneObject& object) {
  const std::vector<Vertex>& vertices = object.baseVertices;
  std::vector<Triangle>& triangles = object.triangles;
  const size_t vertexCount = vertices.size(), triangleCount = triangles.size();
  object.cornerNormals.clear();
  auto valid = [vertexCount](const Triangle& t) {
    return t.cornerIndex[0] < vertexCount && t.cornerIndex[1] < vertexCount && t.cornerIndex[2] < vertexCount;
  };
  auto dot = [](const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
  auto smoothed = [](const Surface* surface) { return surface && surface->smoothing > 0; };

  // A polygon is one face: the pieces of a split one take its normal (the direction of their
  // summed area vectors), so that it shades and maps as one. polygonStart[t]: its first piece.
  std::vector<uint32_t> polygonStart(triangleCount);
  bool anySmoothed = false;
  for (size_t first = 0; first < triangleCount;) {
    size_t end = first + 1;
    while (end < triangleCount && triangles[end].continuesPolygon) ++end;
    if (end - first > 1) {
      Vec3 area;
      for (size_t t = first; t < end; ++t) {
        if (!valid(triangles[t])) continue;
        const Vec3& p0 = vertices[triangles[t].cornerIndex[0]].position;
        const Vec3 cross = Cross(Subtract(p0, vertices[triangles[t].cornerIndex[1]].position),
                                 Subtract(p0, vertices[triangles[t].cornerIndex[2]].position));
        area = Vec3{area.x + cross.x, area.y + cross.y, area.z + cross.z};
      }
      const Vec3 normal = Normalize(area);
      for (size_t t = first; t < end; ++t) triangles[t].faceNormal = normal;
    }
    for (size_t t = first; t < end; ++t) polygonStart[t] = uint32_t(first);
    anySmoothed = anySmoothed || smoothed(triangles[first].surface);
    first = end;
  }
  for (Triangle& triangle : triangles) triangle.cornerNormals = NO_CORNER_NORMALS;
  if (!anySmoothed) return;

  // A vertex whose polygons are all of one smoothed surface and lie within half its angle of the
  // vertex normal is smooth all round: any two of them are within the angle, so each corner's
  // normal is the vertex normal. The others (hard edges, borders between surfaces) are worked
  // out corner by corner. `several` marks a vertex of more than one surface.
  static const Surface several{};
  std::vector<const Surface*> surfaceAt(vertexCount, nullptr);
  std::vector<float> closest(vertexCount, 1.0f);  // the smallest cosine to the vertex normal
  for (const Triangle& triangle : triangles) {
    if (!valid(triangle)) continue;
    for (uint32_t i : triangle.cornerIndex) {
      const Surface*& at = surfaceAt[i];
      at = at == nullptr || at == triangle.surface ? triangle.surface : &several;
      closest[i] = std::min(closest[i], dot(triangle.faceNormal, vertices[i].normal));
    }
  }
  std::vector<uint8_t> cornered(vertexCount, 0);
  size_t corneredCount = 0;
  const Surface* cachedSurface = nullptr;
  float cosHalf = 1;
  for (size_t i = 0; i < vertexCount; ++i) {
    const Surface* surface = surfaceAt[i];
    if (surface == &several) {
      cornered[i] = 1;
    } else if (smoothed(surface)) {
      if (surface != cachedSurface) cachedSurface = surface, cosHalf = std::cos(surface->smoothing * 0.5f);
      cornered[i] = closest[i] < cosHalf;
    }
    corneredCount += cornered[i];
  }
  if (corneredCount == 0) return;
  std::vector<const Surface*>().swap(surfaceAt);
  std::vector<float>().swap(closest);

  // The polygons at each of those vertices, each once, by their first piece: counted into
  // start[i + 1], then listed with start[i] as the cursor, which leaves it at the next vertex's
  // start, so the list of vertex i ends up at [start[i - 1], start[i]).
  std::vector<uint32_t> start(vertexCount + 1, 0), lastPolygon(vertexCount, 0xFFFFFFFF);
  auto eachIncident = [&](auto&& visit) {
    for (size_t t = 0; t < triangleCount; ++t) {
      if (!valid(triangles[t])) continue;
      const uint32_t polygon = polygonStart[t];
      for (uint32_t i : triangles[t].cornerIndex) {
        if (!cornered[i] || lastPolygon[i] == polygon) continue;  // a repeated corner, or another piece
        lastPolygon[i] = polygon;
        visit(i, polygon);
      }
    }
    std::fill(lastPolygon.begin(), lastPolygon.end(), 0xFFFFFFFF);
  };
  eachIncident([&](uint32_t i, uint32_t) { ++start[i + 1]; });
  for (size_t i = 0; i < vertexCount; ++i) start[i + 1] += start[i];
  std::unique_ptr<uint32_t[]> incidents(new uint32_t[start[vertexCount]]);
  eachIncident([&](uint32_t i, uint32_t polygon) { incidents[start[i]++] = polygon; });

  // Triangles of smoothed surfaces with a corner at such a vertex get three normals of their own:
  // the polygons of its surface there within the angle of its own (its own always counts,
  // whatever rounding does to the angle between it and itself), the vertex normal elsewhere.
  size_t own = 0;
  for (const Triangle& triangle : triangles)
    own += valid(triangle) && smoothed(triangle.surface) &&
           (cornered[triangle.cornerIndex[0]] || cornered[triangle.cornerIndex[1]] || cornered[triangle.cornerIndex[2]]);
  object.cornerNormals.reserve(3 * own);
  cachedSurface = nullptr;
  float cosLimit = 1;
  for (size_t t = 0; t < triangleCount; ++t) {
    Triangle& triangle = triangles[t];
    const Surface* surface = triangle.surface;
    const uint32_t* corners = triangle.cornerIndex;
    if (!valid(triangle) || !smoothed(surface) || !(cornered[corners[0]] || cornered[corners[1]] || cornered[corners[2]]))
      continue;
    if (surface != cachedSurface) cachedSurface = surface, cosLimit = std::cos(surface->smoothing);
    triangle.cornerNormals = uint32_t(object.cornerNormals.size());
    for (uint32_t i : triangle.cornerIndex) {
      if (!cornered[i]) {
        object.cornerNormals.push_back(vertices[i].normal);
        continue;
      }
      Vec3 sum;
      for (uint32_t a = i ? start[i - 1] : 0; a < start[i]; ++a) {
        const Triangle& other = triangles[incidents[a]];
        if (other.surface != surface ||
            (incidents[a] != polygonStart[t] && dot(triangle.faceNormal, other.faceNormal) < cosLimit))
          continue;
        sum = Vec3{sum.x + other.faceNormal.x, sum.y + other.faceNormal.y, sum.z + other.faceNormal.z};
      }
      object.cornerNormals.push_back(Normalize(sum));
    }
  }
}

void PrecalcSurface(Surface& surface) {
  for (const auto& layer : surface.layers)
    if (layer) std::string().swap(layer->ordinal);
  if (HasEnvelope(surface.envelopes, SURFACE_ENVELOPE_COUNT)) surface.flags |= SURFACE_ANIMATED;
}

void PrecalcObject(SceneObject& object, Vfs* vfs) {
  if (object.flags & OBJECT_NULL) return;

  DropBrokenTriangles(object);
  Surface* fallback = nullptr;
  for (Triangle& triangle : object.triangles) {
    for (int k = 0; k < 3; ++k) triangle.corners[k] = &object.baseVertices[triangle.cornerIndex[k]];
    if (!triangle.surface) {
      if (!fallback) fallback = DefaultSurface(object.scene);
      triangle.surface = fallback;
    }
  }
  ComputeNormals(object);
  const bool lightwave = LightWaveLook(object.scene);
  if (lightwave) ComputeCornerNormals(object);
  SortBySurface(object);
  object.vertices = object.baseVertices;

  for (const SurfaceBatch& batch : object.surfaceBatches) {
    const Surface& surface = *batch.surface;
    const uint32_t layerCount = std::min(surface.layerCount, SURFACE_LAYER_MAX);
    for (uint32_t li = 0; li < layerCount; ++li) {
      const TextureLayer* layer = surface.layers[li].get();
      if (!layer) continue;
      if (lightwave || layer->projection == PROJECTION_PLANAR) ProjectBatch(object, batch, li);
      if (HasEnvelope(layer->envelopes, LAYER_ENVELOPE_COUNT)) object.flags |= OBJECT_DYNAMIC;
    }
    if (surface.flags & SURFACE_ANIMATED) object.flags |= OBJECT_DYNAMIC;
  }

  if (object.pointCache) LoadMDD(object, vfs);
  object.flags |= OBJECT_COMPILE_OPAQUE | OBJECT_COMPILE_TRANSPARENT;
}

void Scene::Precalc(Vfs* vfs, bool cameraNeeded) {
  Log(3, "VKTSCE(Precalc) -------------------- Scene report ---------------------");
  Log(3, "VKTSCE(Precalc)  -> %zu Lights", lights.size());
  Log(3, "VKTSCE(Precalc)  -> %zu Surfaces", surfaces.size());
  Log(3, "VKTSCE(Precalc)  -> %zu Cameras", cameras.size());
  Log(3, "VKTSCE(Precalc)  -> %zu Objects(including NULL's)", objects.size());
  Log(3, "VKTSCE(Precalc) -------------------------------------------------------");

  Log(3, "VKTSCE(Precalc) - Sorting oridinal surface texture layers...");
  for (const auto& surface : surfaces) PrecalcSurface(*surface);

  Log(3, "VKTSCE(Precalc) - Normalizing Objects, this can take a while...");
  uint64_t vertexTotal = 0, triangleTotal = 0;
  for (const auto& object : objects) {
    PrecalcObject(*object, vfs);
    vertexTotal += object->baseVertices.size();
    triangleTotal += object->triangles.size();
  }
  Log(3, "VKTSCE(Precalc) - We have %llu Vertices connected through %llu Faces, now optimizing/building cache...",
      static_cast<unsigned long long>(vertexTotal), static_cast<unsigned long long>(triangleTotal));

  activeCamera = cameras.empty() ? nullptr : cameras.front().get();
  if (!activeCamera && cameraNeeded) Log(0, "VKTSCE(Precalc) - Argh! No Cam found! Now I'm crashing...");
  if (!activeCamera && !cameraNeeded)
    Log(1, "VKTSCE(Precalc) - No camera in this scene; it is drawn through the camera of the scene around it");

  preSceneActions.clear();
  postSceneActions.clear();
  drawables.clear();
  preSceneActions.reserve(objects.size());
  postSceneActions.reserve(objects.size());
  drawables.reserve(objects.size());
  for (const auto& object : objects) {
    SceneObject* item = object.get();
    if (!(item->flags & OBJECT_NULL))
      drawables.push_back(item);
    else if (item->actionPhase == ACTION_PRE_SCENE)
      preSceneActions.push_back(item);
    else if (item->actionPhase == ACTION_POST_SCENE)
      postSceneActions.push_back(item);
  }
}

// Mesh drawing: an object's surface batches in the opaque or the transparent pass. Static
// objects replay two display lists recorded the first time they are drawn; dynamic objects are
// drawn every frame from their current vertices through vertex arrays.
//
// The arrays of a dynamic object hold one slot per distinct corner of a batch: a vertex with one
// set of texture coordinates in a smooth batch shares its slot among all its triangles there,
// while a flat batch gives every corner its own slot, carrying the triangle's face normal. The
// index list names the slots triangle by triangle in sortedTriangles order with the corners
// 0, 2, 1, so the triangles, their order and their attributes are those that EmitSmooth and
// EmitFlat send, and the pixels come out the same. The slot layout is built once; each draw then
// copies the current positions (Z negated) into the slots of the batches it draws, plus normals
// when a morph target moves them and texture coordinates when the layer's mapping recomputes
// them. In the LightWave look a smooth batch draws corner normals: a vertex shares a slot only
// among corners with the same normal, so a hard edge splits it for drawing while the vertex
// itself, which point caches and morphs move, stays one.
#include "render/Render.h"
#include "render/MeshArrays.h"

#include "lightwave/Lightwave.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t NO_SLOT = 0xFFFFFFFF;

struct BatchArrays {
  SurfaceBatch batch;        // the batch the layout was built for
  bool smooth = false;       // vertex or corner normals (else face normals), as when built
  bool mapped = false;       // layer 0 follows its mapping: texture coordinates change per frame
  bool shared = false;       // corners of one vertex may share a slot
  uint32_t firstSlot = 0, slotCount = 0;
  uint32_t firstIndex = 0, indexCount = 0;
};

struct DynamicArrays {
  // What the layout was built from; a different object at the same address, or a changed one,
  // gets a new layout.
  const Triangle* triangles = nullptr;
  size_t triangleCount = 0;
  size_t vertexCount = 0;
  Triangle* const* sortedTriangles = nullptr;

  std::vector<BatchArrays> batches;         // parallel to the object's surfaceBatches
  std::vector<uint32_t> slotVertex;         // per slot: index into the object's vertices
  std::vector<uint32_t> slotCorner;         // per slot: 3 × triangle index (into triangles) + corner
  std::vector<float> positions;             // per slot x, y, −z
  std::vector<float> normals;               // per slot x, y, −z
  std::vector<float> texCoords;             // per slot u, v of layer 0
  std::vector<uint32_t> indices;            // 3 slots per triangle
};

// The renderer's arrays for each dynamic object it has drawn. Render thread only, like the
// GL context; ReleaseObjectRendering removes an object's entry.
std::unordered_map<const SceneObject*, DynamicArrays>& ArraysByObject() {
  static std::unordered_map<const SceneObject*, DynamicArrays> arrays;
  return arrays;
}

// The layer-0 corner order that turns LightWave's winding into GL's front faces once Z is negated.
constexpr int CORNER_ORDER[3] = {0, 2, 1};

bool IsSmooth(const Surface* surface) { return surface && surface->smoothing > 0; }

const TextureLayer* FirstLayer(const Surface* surface) {
  return surface && surface->layerCount ? surface->layers[0].get() : nullptr;
}

bool IsMapped(const Surface* surface, bool lightwave) {
  const TextureLayer* layer = FirstLayer(surface);
  return layer && FollowsMapping(*layer, lightwave);
}

// Corners of one vertex share a slot in a smooth batch, unless their coordinates may part from
// one frame to the next: the LightWave look's seams and cube faces are chosen per triangle.
bool SharesSlots(const Surface* surface, bool lightwave) {
  const TextureLayer* layer = FirstLayer(surface);
  return IsSmooth(surface) && !(lightwave && IsMapped(surface, lightwave) && layer->projection != PROJECTION_PLANAR);
}

// The triangle's own normals from smoothing by angle, or none when its corners take their
// vertices' normals.
const Vec3* OwnNormals(const SceneObject& object, const Triangle& triangle) {
  const uint32_t first = triangle.cornerNormals;
  return first != NO_CORNER_NORMALS && size_t(first) + 3 <= object.cornerNormals.size()
             ? &object.cornerNormals[first]
             : nullptr;
}

// The normal a smooth surface shows at corner k of the triangle, with the vertex normals of
// vertices.
const Vec3& SmoothNormal(const SceneObject& object, const Triangle& triangle, int k, const std::vector<Vertex>& vertices) {
  const Vec3* own = OwnNormals(object, triangle);
  return own ? own[k] : vertices[triangle.cornerIndex[k]].normal;
}

bool IsOpaque(const Surface* surface) { return surface && surface->transparency == 0; }

bool Drawable(const Triangle* triangle, size_t vertexCount) {
  return triangle && triangle->cornerIndex[0] < vertexCount && triangle->cornerIndex[1] < vertexCount &&
         triangle->cornerIndex[2] < vertexCount;
}

bool SameBatch(const SurfaceBatch& a, const SurfaceBatch& b) {
  return a.first == b.first && a.count == b.count && a.surface == b.surface;
}

bool LayoutFits(const DynamicArrays& arrays, const SceneObject& object) {
  const bool lightwave = LightWaveLook(object.scene);
  if (arrays.triangles != object.triangles.data() || arrays.triangleCount != object.triangles.size() ||
      arrays.vertexCount != object.vertices.size() || arrays.sortedTriangles != object.sortedTriangles.data() ||
      arrays.batches.size() != object.surfaceBatches.size())
    return false;
  for (size_t b = 0; b < arrays.batches.size(); ++b) {
    const BatchArrays& built = arrays.batches[b];
    const SurfaceBatch& batch = object.surfaceBatches[b];
    if (!SameBatch(built.batch, batch) || built.smooth != IsSmooth(batch.surface) ||
        built.mapped != IsMapped(batch.surface, lightwave) || built.shared != SharesSlots(batch.surface, lightwave))
      return false;
  }
  return true;
}

void CopyTexCoords(DynamicArrays& arrays, const SceneObject& object, uint32_t firstSlot, uint32_t slotCount) {
  for (uint32_t s = firstSlot; s < firstSlot + slotCount; ++s) {
    const uint32_t corner = arrays.slotCorner[s];
    const CornerCoords& coords = object.triangles[corner / 3].texCoords[0];
    arrays.texCoords[2 * s] = coords.cornerU[corner % 3];
    arrays.texCoords[2 * s + 1] = coords.cornerV[corner % 3];
  }
}

// The smooth normals of the current (morphed) vertices. A corner with a normal of its own is
// blended towards the target's same corner by the morph amount, as vertex normals are; a
// target of other triangles leaves it as it is.
void CopySmoothNormals(DynamicArrays& arrays, const SceneObject& object, uint32_t firstSlot, uint32_t slotCount) {
  const SceneObject* target = object.morphTarget;
  if (target && target->triangles.size() != object.triangles.size()) target = nullptr;
  float* normal = arrays.normals.data() + 3 * size_t(firstSlot);
  for (uint32_t s = firstSlot; s < firstSlot + slotCount; ++s, normal += 3) {
    const uint32_t triangle = arrays.slotCorner[s] / 3, k = arrays.slotCorner[s] % 3;
    const Vec3* own = OwnNormals(object, object.triangles[triangle]);
    Vec3 n = object.vertices[arrays.slotVertex[s]].normal;
    if (own) {
      const Vec3& a = own[k];
      const Vec3& b = target ? SmoothNormal(*target, target->triangles[triangle], int(k), target->baseVertices) : a;
      const float amount = object.morphAmount;
      n = Vec3{a.x + (b.x - a.x) * amount, a.y + (b.y - a.y) * amount, a.z + (b.z - a.z) * amount};
    }
    normal[0] = n.x;
    normal[1] = n.y;
    normal[2] = -n.z;
  }
}

// One batch's slots and indices. Smooth batches share a slot between the corners of one vertex
// with bit-identical texture coordinates (and normals, when they are the corners' own);
// slotsOfVertex chains a vertex's slots in this batch.
void BuildBatch(DynamicArrays& arrays, const SceneObject& object, BatchArrays& built,
                std::vector<uint32_t>& firstSlotOfVertex, std::vector<uint32_t>& nextSlotOfVertex) {
  const size_t vertexCount = object.vertices.size();
  const Triangle* base = object.triangles.data();
  const size_t end = std::min<size_t>(size_t(built.batch.first) + built.batch.count, object.sortedTriangles.size());
  built.firstSlot = uint32_t(arrays.slotVertex.size());
  built.firstIndex = uint32_t(arrays.indices.size());
  std::vector<uint32_t> touched;

  for (size_t i = built.batch.first; i < end; ++i) {
    const Triangle* triangle = object.sortedTriangles[i];
    if (!Drawable(triangle, vertexCount)) continue;
    const uint32_t triangleIndex = uint32_t(triangle - base);
    for (int k : CORNER_ORDER) {
      const uint32_t vertex = triangle->cornerIndex[k];
      const float u = triangle->texCoords[0].cornerU[k];
      const float v = triangle->texCoords[0].cornerV[k];
      const Vec3& n = built.smooth ? SmoothNormal(object, *triangle, k, object.vertices) : triangle->faceNormal;
      const float drawn[3] = {n.x, n.y, -n.z};
      uint32_t slot = NO_SLOT;
      if (built.shared) {
        for (uint32_t s = firstSlotOfVertex[vertex]; s != NO_SLOT; s = nextSlotOfVertex[s - built.firstSlot]) {
          if (std::memcmp(&arrays.texCoords[2 * s], &u, sizeof u) == 0 &&
              std::memcmp(&arrays.texCoords[2 * s + 1], &v, sizeof v) == 0 &&
              std::memcmp(&arrays.normals[3 * size_t(s)], drawn, sizeof drawn) == 0) {
            slot = s;
            break;
          }
        }
      }
      if (slot == NO_SLOT) {
        slot = uint32_t(arrays.slotVertex.size());
        arrays.slotVertex.push_back(vertex);
        arrays.slotCorner.push_back(3 * triangleIndex + uint32_t(k));
        arrays.texCoords.push_back(u);
        arrays.texCoords.push_back(v);
        arrays.normals.insert(arrays.normals.end(), drawn, drawn + 3);
        if (built.shared) {
          if (firstSlotOfVertex[vertex] == NO_SLOT) touched.push_back(vertex);
          nextSlotOfVertex.push_back(firstSlotOfVertex[vertex]);
          firstSlotOfVertex[vertex] = slot;
        }
      }
      arrays.indices.push_back(slot);
    }
  }
  built.slotCount = uint32_t(arrays.slotVertex.size()) - built.firstSlot;
  built.indexCount = uint32_t(arrays.indices.size()) - built.firstIndex;
  for (uint32_t vertex : touched) firstSlotOfVertex[vertex] = NO_SLOT;
  nextSlotOfVertex.clear();
}

void BuildLayout(DynamicArrays& arrays, const SceneObject& object) {
  arrays = DynamicArrays{};
  arrays.triangles = object.triangles.data();
  arrays.triangleCount = object.triangles.size();
  arrays.vertexCount = object.vertices.size();
  arrays.sortedTriangles = object.sortedTriangles.data();
  std::vector<uint32_t> firstSlotOfVertex(object.vertices.size(), NO_SLOT);
  std::vector<uint32_t> nextSlotOfVertex;
  const bool lightwave = LightWaveLook(object.scene);
  for (const SurfaceBatch& batch : object.surfaceBatches) {
    BatchArrays built;
    built.batch = batch;
    built.smooth = IsSmooth(batch.surface);
    built.mapped = IsMapped(batch.surface, lightwave);
    built.shared = SharesSlots(batch.surface, lightwave);
    BuildBatch(arrays, object, built, firstSlotOfVertex, nextSlotOfVertex);
    arrays.batches.push_back(built);
  }
  arrays.positions.resize(arrays.slotVertex.size() * 3);
}

DynamicArrays& ArraysFor(const SceneObject& object) {
  DynamicArrays& arrays = ArraysByObject()[&object];
  if (!LayoutFits(arrays, object)) BuildLayout(arrays, object);
  return arrays;
}

// The batch's slots take the object's current vertices.
void RefreshBatch(DynamicArrays& arrays, const SceneObject& object, const BatchArrays& built) {
  const Vertex* vertices = object.vertices.data();
  const uint32_t* slotVertex = arrays.slotVertex.data();
  float* position = arrays.positions.data() + 3 * size_t(built.firstSlot);
  for (uint32_t s = built.firstSlot; s < built.firstSlot + built.slotCount; ++s, position += 3) {
    const Vec3& p = vertices[slotVertex[s]].position;
    position[0] = p.x;
    position[1] = p.y;
    position[2] = -p.z;
  }
  // Only a morph blends normals; flat slots keep their face normals, which nothing recomputes.
  if (built.smooth && object.morphTarget) CopySmoothNormals(arrays, object, built.firstSlot, built.slotCount);
  if (built.mapped) CopyTexCoords(arrays, object, built.firstSlot, built.slotCount);
}

// Which batches a draw takes: those of opaque surfaces, of transparent ones, or all of them (an
// object dissolving, which is drawn in the transparent pass only).
enum Pass : uint8_t { PASS_OPAQUE, PASS_TRANSPARENT, PASS_ALL };

bool InPass(const Surface* surface, Pass pass) {
  return pass == PASS_ALL || IsOpaque(surface) == (pass == PASS_OPAQUE);
}

void DrawDynamic(const SceneObject& object, Pass pass, float opacity, bool lightwave) {
  DynamicArrays& arrays = ArraysFor(object);
  if (arrays.indices.empty()) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, arrays.positions.data());
  glNormalPointer(GL_FLOAT, 0, arrays.normals.data());
  glTexCoordPointer(2, GL_FLOAT, 0, arrays.texCoords.data());
  for (const BatchArrays& built : arrays.batches) {
    if (!InPass(built.batch.surface, pass)) continue;
    ApplySurface(built.batch.surface, lightwave, opacity);
    if (built.indexCount == 0) continue;
    RefreshBatch(arrays, object, built);
    glDrawElements(GL_TRIANGLES, GLsizei(built.indexCount), GL_UNSIGNED_INT, arrays.indices.data() + built.firstIndex);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

// The batches of one pass in immediate mode: what a display list records.
void EmitPass(const SceneObject& object, Pass pass, bool lightwave, float opacity = 1) {
  for (const SurfaceBatch& batch : object.surfaceBatches) {
    if (!InPass(batch.surface, pass)) continue;
    ApplySurface(batch.surface, lightwave, opacity);
    const uint32_t end = batch.first + batch.count;
    glBegin(GL_TRIANGLES);
    if (IsSmooth(batch.surface))
      EmitSmooth(&object, batch.first, end);
    else
      EmitFlat(&object, batch.first, end);
    glEnd();
  }
}

// Both list names are made together on first use.
bool HaveLists(SceneObject& object) {
  if (object.opaqueList && object.transparentList) return true;
  const GLuint first = glGenLists(2);
  if (first == 0) return false;
  object.opaqueList = first;
  object.transparentList = first + 1;
  return true;
}

void DrawPass(SceneObject* object, bool opaquePass) {
  if (!object || (object->flags & OBJECT_HIDDEN)) return;
  // With the LightWave look a dissolving object fades as a whole: every batch in the
  // transparent pass, drawn afresh each frame; a dissolve of 1 (or more) leaves nothing.
  const float dissolve = LightWaveLook(object->scene) ? object->dissolve : 0;
  if (dissolve >= 1 || (dissolve > 0 && opaquePass)) return;
  if (object->flags & OBJECT_UNLIT)
    glDisable(GL_LIGHTING);
  else
    glEnable(GL_LIGHTING);
  // Front projection follows the camera, so its planes are set every time, outside the lists.
  const bool lightwave = LightWaveLook(object->scene);
  if (lightwave && std::any_of(object->surfaceBatches.begin(), object->surfaceBatches.end(),
                               [](const SurfaceBatch& batch) {
                                 const TextureLayer* layer = FirstLayer(batch.surface);
                                 return layer && layer->projection == PROJECTION_FRONT;
                               }))
    ApplyFrontProjection();
  glMatrixMode(GL_MODELVIEW);
  // A point cache holds positions in the scene's space already.
  if (object->pointCache)
    glLoadIdentity();
  else
    glLoadMatrixf(object->worldMatrix.m);

  const Pass pass = dissolve > 0 ? PASS_ALL : opaquePass ? PASS_OPAQUE : PASS_TRANSPARENT;
  if (object->flags & OBJECT_DYNAMIC) {
    DrawDynamic(*object, pass, 1 - dissolve, lightwave);
    return;
  }
  if (dissolve > 0) {
    EmitPass(*object, pass, lightwave, 1 - dissolve);
    return;
  }
  // A static object's list keeps the pass and surface state of the moment it was recorded.
  const uint32_t compileFlag = opaquePass ? OBJECT_COMPILE_OPAQUE : OBJECT_COMPILE_TRANSPARENT;
  if (!HaveLists(*object)) {
    EmitPass(*object, pass, lightwave);  // no list to be had: draw it directly
    return;
  }
  const GLuint list = opaquePass ? object->opaqueList : object->transparentList;
  if (object->flags & compileFlag) {
    glNewList(list, GL_COMPILE);
    EmitPass(*object, pass, lightwave);
    glEndList();
    object->flags &= ~compileFlag;
  }
  glCallList(list);
}

}  // namespace

void RefreshDynamicArrays(const SceneObject& object) {
  DynamicArrays& arrays = ArraysFor(object);
  for (const BatchArrays& built : arrays.batches) RefreshBatch(arrays, object, built);
}

void DrawOpaque(SceneObject* object) { DrawPass(object, true); }

void DrawTransparent(SceneObject* object) { DrawPass(object, false); }

void EmitSmooth(const SceneObject* object, uint32_t first, uint32_t end) {
  const size_t vertexCount = object->vertices.size();
  const Vertex* vertices = object->vertices.data();
  end = uint32_t(std::min<size_t>(end, object->sortedTriangles.size()));
  for (uint32_t i = first; i < end; ++i) {
    const Triangle* triangle = object->sortedTriangles[i];
    if (!Drawable(triangle, vertexCount)) continue;
    for (int k : CORNER_ORDER) {
      const Vertex& vertex = vertices[triangle->cornerIndex[k]];
      const Vec3& normal = SmoothNormal(*object, *triangle, k, object->vertices);
      glTexCoord2f(triangle->texCoords[0].cornerU[k], triangle->texCoords[0].cornerV[k]);
      glNormal3f(normal.x, normal.y, -normal.z);
      glVertex3f(vertex.position.x, vertex.position.y, -vertex.position.z);
    }
  }
}

void EmitFlat(const SceneObject* object, uint32_t first, uint32_t end) {
  const size_t vertexCount = object->vertices.size();
  const Vertex* vertices = object->vertices.data();
  end = uint32_t(std::min<size_t>(end, object->sortedTriangles.size()));
  for (uint32_t i = first; i < end; ++i) {
    const Triangle* triangle = object->sortedTriangles[i];
    if (!Drawable(triangle, vertexCount)) continue;
    const Vec3& f = triangle->faceNormal;
    glNormal3f(f.x, f.y, -f.z);
    for (int k : CORNER_ORDER) {
      const Vertex& vertex = vertices[triangle->cornerIndex[k]];
      glTexCoord2f(triangle->texCoords[0].cornerU[k], triangle->texCoords[0].cornerV[k]);
      glVertex3f(vertex.position.x, vertex.position.y, -vertex.position.z);
    }
  }
}

void ReleaseObjectRendering(SceneObject* object) {
  if (!object) return;
  if (object->opaqueList) glDeleteLists(object->opaqueList, 1);
  if (object->transparentList) glDeleteLists(object->transparentList, 1);
  object->opaqueList = object->transparentList = 0;
  if (!(object->flags & OBJECT_NULL)) object->flags |= OBJECT_COMPILE_OPAQUE | OBJECT_COMPILE_TRANSPARENT;
  ArraysByObject().erase(object);
}

void ReleaseSceneRendering(Scene& scene) {
  for (const auto& object : scene.objects) {
    ReleaseObjectRendering(object.get());
    if (object->action) object->action->ReleaseRendering();  // a nested scene's lists
  }
}

// The geometry chunks of an LWO2 file: layers, points, polygons, tags and the vertex maps that
// give points and polygon corners their texture coordinates.
//
// Indices from the file are checked against the arrays read so far; an entry that names a
// point, polygon or tag that isn't there is skipped, and each chunk says once how many it
// skipped. Triangle arrays are counted first and allocated once with their exact size.
#include "lightwave/Lightwave.h"

#include "lightwave/LwoRead.h"
#include "lightwave/Triangulate.h"
#include "log/Log.h"
#include "platform/Platform.h"
#include "vfs/Vfs.h"

using lwo::Cursor;
using lwo::Id;

namespace {

// A polygon header: the corner count in the low 10 bits, flags in the top 6.
constexpr uint16_t POLYGON_CORNER_MASK = 0x3FF;

// Appends one triangle of existing points. Point maps read before the polygons reach its
// corners here; face maps after them replace single corners.
void AppendTriangle(std::vector<Triangle>& triangles, const Vertex* vertices, uint32_t a, uint32_t b, uint32_t c) {
  Triangle& triangle = triangles.emplace_back();
  const uint32_t points[3] = {a, b, c};
  for (int corner = 0; corner < 3; ++corner) {
    const Vertex& vertex = vertices[points[corner]];
    triangle.cornerIndex[corner] = points[corner];
    triangle.texCoords[0].cornerU[corner] = vertex.u;
    triangle.texCoords[0].cornerV[corner] = vertex.v;
  }
}

}  // namespace

bool LwoLoader::RequireLayer(const char* reader) {
  if (currentLayer) return true;
  Log(1, "LWOLDR(%s) - File %s has geometry before its first layer, skipped", reader, fileName);
  return false;
}

// LAYR: U2 number, U2 flags, VEC12 pivot, S0 name, then an optional U2 parent (not used).
uint32_t LwoLoader::ReadLAYR(Cursor& chunk) {
  currentLayer = scene->AddObject();
  currentLayer->flags = 0;
  polygonBase = polygonCount = 0;
  polygonTriangles.clear();

  uint16_t numberAndFlags[2];
  float pivot[3];
  std::string_view name;
  lwo::ReadU2(chunk, numberAndFlags, 2);
  lwo::ReadVEC12(chunk, pivot);
  lwo::ReadS0(chunk, &name);
  // Layers count from 1 in scene files; the number wraps as the 16-bit field it is.
  currentLayer->layerNumber = uint16_t(numberAndFlags[0] + 1);
  if (numberAndFlags[1] & 1) currentLayer->flags |= OBJECT_HIDDEN;
  currentLayer->pivot = {pivot[0], pivot[1], pivot[2]};
  currentLayer->layerName.assign(name);
  currentLayer->fileName = file->name;
  if (chunk.truncated) {
    // The layer still takes the geometry that follows; it only lacks what was cut off.
    Log(1, "LWOLDR(ReadLAYR) - Layer header in %s is cut short", fileName);
  }
  return chunk.Consumed();
}

// PNTS: VEC12 per point.
uint32_t LwoLoader::ReadPNTS(Cursor& chunk) {
  if (!RequireLayer("ReadPNTS")) return chunk.Consumed();
  if (!currentLayer->triangles.empty()) {
    // Triangles already index the layer's points; other points would leave them dangling.
    Log(1, "LWOLDR(ReadPNTS) - File %s has a second point list after polygons in one layer, skipped",
        fileName);
    return chunk.Consumed();
  }
  const uint32_t count = chunk.Left() / 12;
  std::vector<Vertex>& vertices = currentLayer->baseVertices;
  vertices.clear();
  if (count > vertices.capacity()) {
    vertices.reserve(count);
    platform::AdviseLargePages(vertices.data(), vertices.capacity() * sizeof(Vertex));
  }
  vertices.resize(count);
  for (Vertex& vertex : vertices) {
    vertex.position = {lwo::LoadF4(chunk.at), lwo::LoadF4(chunk.at + 4), lwo::LoadF4(chunk.at + 8)};
    chunk.at += 12;
  }
  return 12 * count;
}

// BBOX: VEC12 minimum, VEC12 maximum. Not kept: the precalculation needs no box.
uint32_t LwoLoader::ReadBBOX(Cursor& chunk) { return chunk.Skip(chunk.Left()); }

// POLS: ID4 type, then per polygon U2 header (corner count and flags) and that many VX point
// indices. Read as the player reads objects, every polygon is a face. Objects read with
// triangulation come from any modeller, whose curves, bones and metaballs are no faces: only
// FACE and PTCH chunks are drawn, the others are passed over with a notice.
uint32_t LwoLoader::ReadPOLS(Cursor& chunk) {
  if (!RequireLayer("ReadPOLS")) return chunk.Consumed();
  uint32_t type = 0;
  lwo::ReadID4(chunk, &type);
  if (triangulate && type != Id("FACE") && type != Id("PTCH")) {
    Log(2, "LWOLDR(ReadPOLS) - File %s has %s polygons, which are no faces; skipped", fileName,
        lwo::IdText(type).text);
    // Its polygon tags and face maps, which follow it, name polygons that make no triangles.
    polygonBase = uint32_t(currentLayer->triangles.size());
    polygonCount = 0xFFFFFFFF;
    polygonTriangles.clear();
    return chunk.Size();
  }

  uint32_t polygons = 0, triangleCount = 0;
  bool oneToOne = true;
  if (!CountPolygons(chunk, &polygons, &triangleCount, &oneToOne)) return LWO_STOP;

  std::vector<Triangle>& triangles = currentLayer->triangles;
  polygonBase = uint32_t(triangles.size());
  polygonCount = polygons;
  polygonTriangles.clear();
  // Exactly the room the first pass counted; a layer's second POLS chunk (faces and patches
  // apart, say) adds to its triangles.
  if (size_t(polygonBase) + triangleCount > triangles.capacity()) {
    triangles.reserve(size_t(polygonBase) + triangleCount);
    platform::AdviseLargePages(triangles.data(), triangles.capacity() * sizeof(Triangle));
  }
  FillTriangles(chunk, polygons, oneToOne);
  return chunk.Size();
}

// The first pass over the polygons: how many there are, how many triangles they make, and
// whether each is exactly one triangle. False (after the level-0 message) when a polygon can't
// be drawn and triangulation is off.
bool LwoLoader::CountPolygons(Cursor polygons, uint32_t* polygonTotal, uint32_t* triangleTotal, bool* oneToOne) {
  const uint32_t pointCount = uint32_t(currentLayer->baseVertices.size());
  uint32_t tooFewCorners = 0, badPoints = 0;
  while (!polygons.AtEnd()) {
    uint16_t header = 0;
    lwo::ReadU2(polygons, &header);
    const uint32_t corners = header & POLYGON_CORNER_MASK;
    if (corners != 3 && !triangulate && !polygons.truncated) {
      Log(0, "LWOLDR(ReadPOLS) - File %s contains polygons with more than three vertices!", fileName);
      return false;
    }
    bool pointsExist = true;
    for (uint32_t i = 0; i < corners; ++i) {
      uint32_t point = 0;
      lwo::ReadVX(polygons, &point);
      pointsExist = pointsExist && point < pointCount;
    }
    if (polygons.truncated) {
      Log(1, "LWOLDR(ReadPOLS) - The last polygon of %s is cut short, skipped", fileName);
      break;
    }
    ++*polygonTotal;
    if (corners < 3) {
      ++tooFewCorners;
      *oneToOne = false;
    } else if (!pointsExist) {
      ++badPoints;
      *oneToOne = false;
    } else {
      *triangleTotal += corners - 2;
      if (corners != 3) *oneToOne = false;
    }
  }
  if (tooFewCorners) {
    Log(1, "LWOLDR(ReadPOLS) - File %s has %u polygons of fewer than three corners, skipped", fileName,
        tooFewCorners);
  }
  if (badPoints) {
    Log(1, "LWOLDR(ReadPOLS) - File %s has %u polygons naming points that don't exist, skipped", fileName,
        badPoints);
  }
  return true;
}

// The second pass: the triangles themselves, after the layer's earlier ones.
void LwoLoader::FillTriangles(Cursor polygons, uint32_t polygonTotal, bool oneToOne) {
  std::vector<Triangle>& triangles = currentLayer->triangles;
  const Vertex* vertices = currentLayer->baseVertices.data();
  if (oneToOne) {
    // Every polygon is a triangle of existing points, as the first pass found.
    for (uint32_t p = 0; p < polygonTotal; ++p) {
      uint32_t a, b, c;
      polygons.at += 2;
      lwo::ReadVX(polygons, &a);
      lwo::ReadVX(polygons, &b);
      lwo::ReadVX(polygons, &c);
      AppendTriangle(triangles, vertices, a, b, c);
    }
    return;
  }

  const uint32_t pointCount = uint32_t(currentLayer->baseVertices.size());
  polygonTriangles.assign(size_t(polygonTotal) + 1, 0);
  for (uint32_t p = 0; p < polygonTotal; ++p) {
    polygonTriangles[p] = uint32_t(triangles.size());
    uint16_t header = 0;
    lwo::ReadU2(polygons, &header);
    const uint32_t corners = header & POLYGON_CORNER_MASK;
    cornerPoints.resize(corners);
    bool pointsExist = true;
    for (uint32_t i = 0; i < corners; ++i) {
      lwo::ReadVX(polygons, &cornerPoints[i]);
      pointsExist = pointsExist && cornerPoints[i] < pointCount;
    }
    if (corners >= 3 && pointsExist) SplitPolygon(cornerPoints.data(), corners);
  }
  polygonTriangles[polygonTotal] = uint32_t(triangles.size());
}

// Appends the corners - 2 triangles of one polygon of existing points.
void LwoLoader::SplitPolygon(const uint32_t* points, uint32_t corners) {
  std::vector<Triangle>& triangles = currentLayer->triangles;
  const Vertex* vertices = currentLayer->baseVertices.data();
  if (corners == 3) {
    AppendTriangle(triangles, vertices, points[0], points[1], points[2]);
    return;
  }
  cornerPositions.resize(3 * size_t(corners));
  for (uint32_t i = 0; i < corners; ++i) {
    const Vec3& p = vertices[points[i]].position;
    cornerPositions[3 * i] = p.x;
    cornerPositions[3 * i + 1] = p.y;
    cornerPositions[3 * i + 2] = p.z;
  }
  splitCorners.resize(3 * size_t(corners - 2));
  lwo::TriangulatePolygon(cornerPositions.data(), corners, splitCorners.data(), *triangulateScratch);
  for (uint32_t t = 0; t < corners - 2; ++t) {
    const uint32_t* split = &splitCorners[3 * t];
    AppendTriangle(triangles, vertices, points[split[0]], points[split[1]], points[split[2]]);
    triangles.back().continuesPolygon = t > 0;
  }
}

bool LwoLoader::PolygonTriangles(uint32_t polygon, uint32_t* first, uint32_t* end) const {
  if (polygonCount == 0xFFFFFFFF) {  // a skipped chunk: any polygon, no triangle
    *first = *end = polygonBase;
    return true;
  }
  if (polygon >= polygonCount) return false;
  if (polygonTriangles.empty()) {
    *first = polygonBase + polygon;
    *end = *first + 1;
  } else {
    *first = polygonTriangles[polygon];
    *end = polygonTriangles[polygon + 1];
  }
  return true;
}

// TAGS: S0 per tag. Every tag makes a surface, whether a polygon uses it or not.
uint32_t LwoLoader::ReadTAGS(Cursor& chunk) {
  while (!chunk.AtEnd()) {
    std::string_view tag;
    lwo::ReadS0(chunk, &tag);
    if (chunk.truncated) {
      Log(1, "LWOLDR(ReadTAGS) - The last tag of %s is cut short, skipped", fileName);
      break;
    }
    tags.emplace_back(tag);
    tagSurfaces.push_back(scene->AddSurface());
  }
  return chunk.Consumed();
}

// PTAG: ID4 type, then per entry VX polygon and U2 tag, the polygon counted within the layer's
// last POLS chunk. Only SURF tags give surfaces; part names, smoothing groups, colours and the
// like tag polygons too, and are passed over.
uint32_t LwoLoader::ReadPTAG(Cursor& chunk) {
  if (!RequireLayer("ReadPTAG")) return chunk.Consumed();
  uint32_t type = 0;
  lwo::ReadID4(chunk, &type);
  if (type != Id("SURF")) return chunk.Size();
  uint32_t skipped = 0;
  std::vector<Triangle>& triangles = currentLayer->triangles;
  while (!chunk.AtEnd()) {
    uint32_t polygon = 0, first = 0, end = 0;
    uint16_t tag = 0;
    lwo::ReadVX(chunk, &polygon);
    lwo::ReadU2(chunk, &tag);
    if (chunk.truncated || tag >= tagSurfaces.size() || !PolygonTriangles(polygon, &first, &end)) {
      ++skipped;
      continue;
    }
    Surface* surface = tagSurfaces[tag];
    surface->tagIndex = tag;
    if (surface->name.empty()) surface->name = tags[tag];
    for (uint32_t t = first; t < end; ++t) triangles[t].surface = surface;
  }
  if (skipped) {
    Log(1, "LWOLDR(ReadPTAG) - File %s has %u polygon tags naming polygons or tags that don't exist, skipped",
        fileName, skipped);
  }
  return chunk.Consumed();
}

// Weights, normals, colours and other maps that aren't texture coordinates. Objects read with
// triangulation come from any modeller and carry such maps; they are passed over.
uint32_t LwoLoader::SkipOtherMap(const char* reader, const char* mapName, uint32_t dimension, Cursor& chunk) {
  Log(1, "LWOLDR(%s) - Vertex map \"%s\" in %s has %u coordinates, not 2(UV); skipped", reader, mapName, fileName,
      dimension);
  return chunk.Size();
}

// The layer's texture-coordinate map of that name, made on first use.
UvMap* LwoLoader::NamedUvMap(uint32_t type, std::string_view name) {
  if (type != Id("TXUV")) return nullptr;
  for (UvMap& map : currentLayer->uvMaps)
    if (map.name == name) return &map;
  UvMap& map = currentLayer->uvMaps.emplace_back();
  map.name.assign(name);
  return &map;
}

// VMAP: ID4 type, U2 dimension, S0 name, then per entry VX point and dimension F4 values. Only
// two-dimensional maps (u, v) can be drawn. The vertices take every map, a later one replacing
// an earlier one; a texture-coordinate (TXUV) map is also kept by its name.
uint32_t LwoLoader::ReadVMAP(Cursor& chunk) {
  if (!RequireLayer("ReadVMAP")) return chunk.Consumed();
  uint32_t type = 0;
  uint16_t dimension = 0;
  std::string_view name;
  lwo::ReadID4(chunk, &type);
  lwo::ReadU2(chunk, &dimension);
  lwo::ReadS0(chunk, &name);
  if (dimension != 2) {
    std::string mapName(name);
    if (triangulate) return SkipOtherMap("ReadVMAP", mapName.c_str(), dimension, chunk);
    Log(0,
        "LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"%s\" in %s. The coordinate dimension is "
        "not 2(UV)!",
        mapName.c_str(), fileName);
    return LWO_STOP;
  }
  std::vector<Vertex>& vertices = currentLayer->baseVertices;
  UvMap* named = NamedUvMap(type, name);
  uint32_t skipped = 0;
  while (!chunk.AtEnd()) {
    uint32_t point = 0;
    float u = 0, v = 0;
    lwo::ReadVX(chunk, &point);
    lwo::ReadF4(chunk, &u);
    lwo::ReadF4(chunk, &v);
    if (chunk.truncated || point >= vertices.size()) {
      ++skipped;
      continue;
    }
    vertices[point].u = u;
    vertices[point].v = v;
    if (named) named->points.push_back(UvMap::Point{point, u, v});
  }
  if (skipped) {
    Log(1, "LWOLDR(ReadVMAP) - File %s has %u vertex map entries for points that don't exist, skipped", fileName,
        skipped);
  }
  return chunk.Consumed();
}

// VMAD: ID4 type, U2 dimension, S0 name, then per entry VX point, VX polygon and dimension F4
// values: texture coordinates of one corner of one polygon. The triangles take every map; a
// texture-coordinate map is also kept by its name.
uint32_t LwoLoader::ReadVMAD(Cursor& chunk) {
  if (!RequireLayer("ReadVMAD")) return chunk.Consumed();
  uint32_t type = 0;
  uint16_t dimension = 0;
  std::string_view name;
  lwo::ReadID4(chunk, &type);
  lwo::ReadU2(chunk, &dimension);
  lwo::ReadS0(chunk, &name);
  if (dimension != 2) {
    std::string mapName(name);
    if (triangulate) return SkipOtherMap("ReadVMAD", mapName.c_str(), dimension, chunk);
    Log(0,
        "LWOLDR(ReadVMAD) - Loader encountered invalid face based UV vertex map \"%s\" in %s. The coordinate "
        "dimension is not 2(UV)!",
        mapName.c_str(), fileName);
    return LWO_STOP;
  }
  currentLayer->flags |= OBJECT_FACE_UVS;
  std::vector<Triangle>& triangles = currentLayer->triangles;
  UvMap* named = NamedUvMap(type, name);
  uint32_t skipped = 0;
  while (!chunk.AtEnd()) {
    uint32_t point = 0, polygon = 0, first = 0, end = 0;
    float u = 0, v = 0;
    lwo::ReadVX(chunk, &point);
    lwo::ReadVX(chunk, &polygon);
    lwo::ReadF4(chunk, &u);
    lwo::ReadF4(chunk, &v);
    if (chunk.truncated || !PolygonTriangles(polygon, &first, &end)) {
      ++skipped;
      continue;
    }
    // A point the polygon doesn't use changes nothing. A split polygon shares the point among
    // several of its triangles; each of them takes the coordinates.
    for (uint32_t t = first; t < end; ++t) {
      Triangle& triangle = triangles[t];
      for (int corner = 0; corner < 3; ++corner) {
        if (triangle.cornerIndex[corner] != point) continue;
        triangle.texCoords[0].cornerU[corner] = u;
        triangle.texCoords[0].cornerV[corner] = v;
        if (named) named->corners.push_back(UvMap::Corner{t, point, u, v});
        break;
      }
    }
  }
  if (skipped) {
    Log(1, "LWOLDR(ReadVMAD) - File %s has %u face vertex map entries for polygons that don't exist, skipped",
        fileName, skipped);
  }
  return chunk.Consumed();
}

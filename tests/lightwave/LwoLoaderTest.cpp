// The object loader's geometry, the failures that stop a load, damaged files, triangulation and real objects.
#include "support/SceneFixture.h"

#include <cstdio>

namespace {

using test::LwoWriter;

const std::vector<float> SQUARE = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};

std::string Summary(const SceneObject& o) {
  char text[256];
  std::snprintf(text, sizeof text, "layer %u \"%s\" of %s, flags %u, pivot %g %g %g, %zu points, %zu triangles",
                o.layerNumber, o.layerName.c_str(), o.fileName.c_str(), o.flags, o.pivot.x, o.pivot.y, o.pivot.z,
                o.baseVertices.size(), o.triangles.size());
  return text;
}

// The corner coordinates of a triangle's layer 0, as u v pairs.
std::vector<float> Uvs(const Triangle& t) {
  const CornerCoords& c = t.texCoords[0];
  return {c.cornerU[0], c.cornerV[0], c.cornerU[1], c.cornerV[1], c.cornerU[2], c.cornerV[2]};
}

std::vector<uint32_t> CornersOf(const Triangle& t) { return {t.cornerIndex[0], t.cornerIndex[1], t.cornerIndex[2]}; }

using LwoLoad = test::SceneFixture;

TEST_F(LwoLoad, TriangleObjectGivesLayersPointsTrianglesSurfacesAndCoordinates) {
  LwoWriter w;
  w.Tags({"Red", "Unused"}).Layer(0, 1, 1, 2, 3, "first").Points(SQUARE);
  w.Chunk("BBOX").Vec(0, 0, 0).Vec(1, 1, 0).End();
  w.Chunk("XTRA").U4(7).U2(1).End();  // a chunk this loader doesn't know
  w.VertexMap("TXUV", 2, "uv", {{0, 0, {0.1f, 0.2f}}, {3, 0, {0.7f, 0.8f}}});
  w.Polygons("FACE", {{0, 1, 2}, {1, 3, 2}}).PolygonTags("SURF", {{1, 0}, {0, 0}});
  w.PolygonTags("PART", {{0, 1}, {1, 1}});  // part names don't surface polygons
  // Point 0 is no corner of polygon 1: that entry changes nothing.
  w.FaceVertexMap("TXUV", 2, "uv", {{2, 1, {0.5f, 0.6f}}, {0, 1, {9, 9}}});
  w.Layer(3, 0, -1, 0, 0, "second", 0).Points({0, 0, 5, 1, 0, 5, 0, 1, 5}).Polygons("FACE", {{0, 1, 2}});
  w.PolygonTags("SURF", {});
  ASSERT_TRUE(LoadObject(w.File()));
  EXPECT_TRUE(Logged(3, "LWOLDR(Load) - Loading \"test.lwo\"...") && boxes.messages.empty());

  ASSERT_EQ(scene->objects.size(), 2u);
  const SceneObject& first = Object(0);
  EXPECT_EQ(Summary(first), "layer 1 \"first\" of test.lwo, flags 17, pivot 1 2 3, 4 points, 2 triangles");
  EXPECT_TRUE(first.baseVertices[3].u == 0.7f && first.baseVertices[1].u == 0);  // no map named point 1
  const Triangle& t1 = first.triangles[1];
  EXPECT_EQ(CornersOf(t1), (std::vector<uint32_t>{1, 3, 2}));
  // Corner 1 (point 3) from the point map, corner 2 (point 2) from the face map.
  EXPECT_EQ(Uvs(t1), (std::vector<float>{0, 0, 0.7f, 0.8f, 0.5f, 0.6f}));
  // The map is also kept by its name, as the file gives it, for the layers that name it.
  ASSERT_TRUE(first.uvMaps.size() == 1 && first.uvMaps[0].corners.size() == 1);
  const UvMap& uv = first.uvMaps[0];
  EXPECT_TRUE(uv.name == "uv" && uv.points.size() == 2 && uv.points[1].point == 3 && uv.points[1].v == 0.8f);
  EXPECT_TRUE(uv.corners[0].triangle == 1 && uv.corners[0].point == 2 && uv.corners[0].u == 0.5f);

  ASSERT_EQ(scene->surfaces.size(), 2u);  // every tag makes a surface; only a used one gets its name
  EXPECT_TRUE(scene->surfaces[0]->name == "Red" && scene->surfaces[1]->name == "" && scene->surfaces[0]->tagIndex == 0);
  EXPECT_TRUE(first.triangles[0].surface == scene->surfaces[0].get() && t1.surface == scene->surfaces[0].get());

  const SceneObject& second = Object(1);
  EXPECT_EQ(Summary(second), "layer 4 \"second\" of test.lwo, flags 0, pivot -1 0 0, 3 points, 1 triangles");
  EXPECT_EQ(second.triangles[0].surface, nullptr);  // its PTAG was empty
}

TEST_F(LwoLoad, FilesThatAreNoObjectsFailWithOneMessage) {
  LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "");
  EXPECT_FALSE(LoadObject(w.File("LWOB")));
  EXPECT_TRUE(Logged(0, "LWOLDR(Load) - Version of file test.lwo is not supported by this loader!"));
  const std::vector<std::vector<uint8_t>> foreign = {{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'L', 'W', 'O', '2'}, {'F', 'O', 'R'}, {}};
  for (const std::vector<uint8_t>& bytes : foreign) EXPECT_FALSE(LoadObject(bytes));
  EXPECT_EQ(LinesWith("LWOLDR(Load) - File test.lwo is no valid Lightwave Object(LWO)!"), 3u);
  EXPECT_TRUE(scene->objects.empty() && boxes.messages.size() == 4);

  NewScene();  // either separator finds the file, which keeps its bare name; a missing file gets one message
  test::WriteBytes(dir / "cube.lwo", test::TriangleObject());
  ASSERT_TRUE(scene->LoadObjectFile((dir.Path().string() + "\\cube.lwo").c_str()));
  EXPECT_EQ(Summary(Object(0)), "layer 1 \"layer\" of cube.lwo, flags 0, pivot 0 0 0, 3 points, 1 triangles");
  EXPECT_FALSE(scene->LoadObjectFile((dir / "gone.lwo").c_str()));
  ASSERT_EQ(boxes.messages.size(), 5u);
  EXPECT_EQ(boxes.messages[4].text, "LWOLDR(Load) - File doesn't exist or software error!");
}

TEST_F(LwoLoad, ShapesThePlayerCantDrawStopTheLoadAndKeepWhatCameBefore) {
  const std::string polygons = "[ 00 ] - LWOLDR(ReadPOLS) - File test.lwo contains polygons with more than three vertices!";
  const struct {
    std::vector<std::vector<uint32_t>> polygons;
    uint16_t mapDimension;
    bool faceMap;
    std::string expected;
  } cases[] = {
      {{{0, 1, 2}, {0, 1, 3, 2}}, 2, false, polygons},
      {{{0, 1}}, 2, false, polygons},
      {{{0, 1, 2}}, 1, false,
       "[ 00 ] - LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"map\" in test.lwo. The coordinate "
       "dimension is not 2(UV)!"},
      {{{0, 1, 2}}, 3, true,
       "[ 00 ] - LWOLDR(ReadVMAD) - Loader encountered invalid face based UV vertex map \"map\" in test.lwo. The "
       "coordinate dimension is not 2(UV)!"},
  };
  for (const auto& c : cases) {
    NewScene();
    LwoWriter w;
    w.Layer(0, 0, 0, 0, 0, "kept").Points(SQUARE).Polygons("FACE", c.polygons);
    if (c.faceMap) w.FaceVertexMap("NORM", c.mapDimension, "map", {{0, 0, std::vector<float>(c.mapDimension, 1)}});
    if (!c.faceMap) w.VertexMap("WGHT", c.mapDimension, "map", {{0, 0, std::vector<float>(c.mapDimension, 1)}});
    w.Layer(1, 0, 0, 0, 0, "never read");
    const size_t before = LinesWith(c.expected);
    EXPECT_FALSE(LoadObject(w.File()));
    EXPECT_EQ(LinesWith(c.expected), before + 1) << c.expected;
    EXPECT_TRUE(scene->objects.size() == 1 && Object(0).layerName == "kept");  // nothing after the stop is read
  }
  EXPECT_EQ(LinesWith("[ 03 ] - LWOLDR(Load) - LWO wasn't successfully loaded due to error in subroutines"), 4u);
  EXPECT_EQ(boxes.messages.size(), 4u);
}

TEST_F(LwoLoad, EntriesNamingWhatIsntThereAreSkippedAndTheRestLoads) {
  LwoWriter w;
  w.Points({0, 0, 0});  // before any layer: no layer to fill
  w.Tags({"A", "B"}).Layer(0, 0, 0, 0, 0, "").Points({0, 0, 0, 1, 0, 0, 0, 1, 0});
  w.VertexMap("TXUV", 2, "uv", {{3, 0, {1, 1}}, {1, 0, {0.25f, 0.5f}}});  // point 3: one past the last
  // Polygon 1 names point 3: it is left out, and polygon 2 still gets its own tag.
  w.Polygons("FACE", {{0, 1, 2}, {0, 1, 3}, {2, 1, 0}});
  w.PolygonTags("SURF", {{2, 0}, {3, 0}, {0, 2}});
  w.FaceVertexMap("TXUV", 2, "uv", {{0, 2, {0.75f, 0.5f}}, {0, 3, {1, 1}}});
  // A second polygon chunk adds to the layer, its tags counting from its own first polygon.
  w.Polygons("FACE", {{2, 1, 0}}).PolygonTags("SURF", {{0, 1}});
  w.Points({5, 5, 5});  // after polygons: would leave them pointing at other points
  ASSERT_TRUE(LoadObject(w.File()));
  for (const char* line :
       {"ReadPNTS) - File test.lwo has geometry before its first layer, skipped",
        "ReadVMAP) - File test.lwo has 1 vertex map entries for points that don't exist, skipped",
        "ReadPOLS) - File test.lwo has 1 polygons naming points that don't exist, skipped",
        "ReadPTAG) - File test.lwo has 2 polygon tags naming polygons or tags that don't exist, skipped",
        "ReadVMAD) - File test.lwo has 1 face vertex map entries for polygons that don't exist, skipped",
        "ReadPNTS) - File test.lwo has a second point list after polygons in one layer, skipped"})
    EXPECT_TRUE(Logged(1, std::string("LWOLDR(") + line)) << line;

  ASSERT_TRUE(scene->objects.size() == 1 && Object(0).triangles.size() == 3 && Object(0).baseVertices.size() == 3);
  const SceneObject& layer = Object(0);
  EXPECT_TRUE(layer.triangles[0].surface == nullptr && layer.triangles[1].surface == scene->surfaces[0].get() &&
              layer.triangles[2].surface == scene->surfaces[1].get());
  EXPECT_EQ(CornersOf(layer.triangles[1]), (std::vector<uint32_t>{2, 1, 0}));
  EXPECT_EQ(Uvs(layer.triangles[1]), (std::vector<float>{0, 0, 0.25f, 0.5f, 0.75f, 0.5f}));
  EXPECT_EQ(Uvs(layer.triangles[0])[0], 0);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(LwoLoad, CutShortFilesLoadWhatIsWhole) {
  LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "layer").Points({0, 0, 0, 1, 0, 0, 0, 1, 0});
  // The last polygon says three corners and holds one.
  w.Chunk("POLS").Id("FACE").U2(3).VX(0).VX(1).VX(2).U2(3).VX(0).End();
  w.Tags({"A"}).PolygonTags("SURF", {{0, 0}});
  std::vector<uint8_t> bytes = w.File();
  bytes.resize(bytes.size() - 3);  // the PTAG chunk loses its end
  ASSERT_TRUE(LoadObject(bytes));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPOLS) - The last polygon of test.lwo is cut short, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(Load) - File test.lwo is shorter than its header says, reading what is there"));
  EXPECT_TRUE(Logged(1, "LWOLDR(Load) - Chunk PTAG of test.lwo runs past the end of the file, skipped with the rest"));
  ASSERT_TRUE(scene->objects.size() == 1 && Object(0).triangles.size() == 1);
  EXPECT_EQ(Object(0).triangles[0].surface, nullptr);

  LwoWriter whole;  // every prefix of a whole object loads or fails cleanly, and never more than it holds
  whole.Tags({"A"}).Layer(0, 0, 0, 0, 0, "l").Points(SQUARE).Polygons("FACE", {{0, 1, 2}, {1, 3, 2}});
  whole.PolygonTags("SURF", {{0, 0}, {1, 0}}).VertexMap("TXUV", 2, "uv", {{1, 0, {1, 1}}});
  const std::vector<uint8_t> full = whole.File();
  for (size_t size = 0; size < full.size(); ++size) {
    NewScene();
    LoadObject(std::vector<uint8_t>(full.begin(), full.begin() + size));
    for (const auto& object : scene->objects) {
      EXPECT_LE(object->triangles.size(), 2u);
      for (const Triangle& t : object->triangles)
        for (uint32_t corner : t.cornerIndex) EXPECT_LT(corner, object->baseVertices.size());
    }
  }
}

TEST_F(LwoLoad, TriangulationSplitsPolygonsAndCarriesTheirTagsAndCorners) {
  system.settings.triangulate = true;
  LwoWriter w;  // a notched square (concave at point 2) and a square (points 5-8), clockwise seen from -z
  w.Tags({"A", "B"}).Layer(0, 0, 0, 0, 0, "");
  w.Points({0, 0, 0, 4, 0, 0, 2, 1.5f, 0, 4, 4, 0, 0, 4, 0, 10, 0, 0, 11, 0, 0, 11, 1, 0, 10, 1, 0});
  w.VertexMap("WGHT", 1, "weight", {{0, 0, {1}}});  // passed over rather than failing the load
  w.Polygons("PTCH", {{1, 0, 4, 3, 2}, {5, 6}, {5, 8, 7, 6}, {0, 2, 1}, {3}});
  w.PolygonTags("SURF", {{0, 0}, {2, 1}, {3, 0}, {1, 1}});
  w.FaceVertexMap("TXUV", 2, "uv", {{2, 0, {0.5f, 0.25f}}, {6, 2, {0.75f, 1}}});
  // A curve is no face: neither it nor its tags make or change triangles.
  w.Polygons("CURV", {{0, 1, 3, 4, 2}}).PolygonTags("SURF", {{0, 1}});
  // A cube of quads: each quad weighs once in its corners' normals, whichever diagonal splits it.
  w.Layer(1, 0, 0, 0, 0, "cube");
  std::vector<float> cube;
  for (int i = 0; i < 8; ++i)
    for (int bit : {1, 2, 4}) cube.push_back(i & bit ? 1.0f : -1.0f);
  w.Points(cube).Polygons("FACE", {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}});
  ASSERT_TRUE(LoadObject(w.File()));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPOLS) - File test.lwo has 2 polygons of fewer than three corners, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadVMAP) - Vertex map \"weight\" in test.lwo has 1 coordinates, not 2(UV); skipped"));
  EXPECT_TRUE(Logged(2, "LWOLDR(ReadPOLS) - File test.lwo has CURV polygons, which are no faces; skipped"));
  PrecalcObject(Object(1), nullptr);
  for (const Vertex& corner : Object(1).vertices) {
    const Vec3 diagonal = Normalize(corner.position);
    EXPECT_NEAR(corner.normal.x * diagonal.x + corner.normal.y * diagonal.y + corner.normal.z * diagonal.z, 1, 1e-6f);
  }

  const SceneObject& layer = Object(0);
  ASSERT_EQ(layer.triangles.size(), 6u);  // 3 + 2 + 1
  const Surface* a = scene->surfaces[0].get();
  const Surface* b = scene->surfaces[1].get();
  const Surface* expected[] = {a, a, a, b, b, a};
  for (int t = 0; t < 6; ++t) {
    const Triangle& triangle = layer.triangles[t];
    EXPECT_EQ(triangle.surface, expected[t]) << t;
    const auto p = [&](int i) { return layer.baseVertices[triangle.cornerIndex[i]].position; };
    // Signed area seen from -z: negative for a triangle turned over.
    const float area = -Cross({p(1).x - p(0).x, p(1).y - p(0).y, 0}, {p(2).x - p(0).x, p(2).y - p(0).y, 0}).z / 2;
    EXPECT_GT(area, 0) << "triangle " << t << " turned over";
    // Each triangle using the mapped point of its polygon took the face map's coordinates there.
    const uint32_t mapped = t < 3 ? 2 : (t < 5 ? 6 : 0xFFFF);
    for (int corner = 0; corner < 3; ++corner)
      EXPECT_FLOAT_EQ(triangle.texCoords[0].cornerU[corner],
                      triangle.cornerIndex[corner] == mapped ? (t < 3 ? 0.5f : 0.75f) : 0.0f);
  }
  EXPECT_EQ(layer.triangles[5].cornerIndex[1], 2u);
  EXPECT_TRUE(boxes.messages.empty());
}

struct CorpusLayer {
  uint32_t points, triangles;
  double area;  // sum of the polygons' areas
};

struct CorpusObject {
  const char* path;  // under lightwave/
  uint32_t tags;
  std::vector<CorpusLayer> layers;
  const char* image;  // the one texture its surfaces name
};

class LwoCorpus : public test::SceneFixture {
 protected:
  bool LoadCorpus(const std::string& path) {
    NewScene();
    system.settings.triangulate = true;
    return LoadObject(test::ReadBytes(test::CorpusDir() + "/lightwave/" + path));
  }
};

TEST_F(LwoCorpus, TriangulatedObjectsLoadWholeAndNameTheirImages) {
  SKIP_WITHOUT_CORPUS();
  const CorpusLayer SPHERE = {266, 528, 63.522419}, EARTH = {266, 528, 95.938423}, CELLS = {16, 24, 150.860006};
  const CorpusObject objects[] = {
      {"mapping/earth_cylindrical_x_scale_222_wrap_21.lwo", 2, {EARTH}, "earthCylindric.jpg"},
      {"mapping/earth_planar_z.lwo", 2, {EARTH}, "earthSpherical.jpg"},
      {"mapping/earth_spherical_y.lwo", 2, {EARTH}, "earthSpherical.jpg"},
      {"mapping/earth_uv_cylindrical_y.lwo", 2, {EARTH}, "earthCylindric.jpg"},
      {"objects/CellShader.lwo", 2, {CELLS}, nullptr},
      {"objects/ModoExport_vertNormals.lwo", 1, {SPHERE}, nullptr},
      {"objects/Subdivision.lwo", 2, {{26, 48, 17.974999}}, nullptr},
      {"objects/box_2uv_1unused.lwo", 2, {{8, 12, 47.875001}}, "any_texture"},
      {"objects/box_2vc_1unused.lwo", 2, {{218, 432, 47.875001}}, "white.bmp"},
      {"objects/boxuv.lwo", 1, {{24, 12, 6.0}}, "boxuv.png"},
      {"objects/concave_polygon.lwo", 1, {{64, 64, 0.245497}}, nullptr},
      {"objects/hierarchy.lwo", 4,
       {{8, 12, 44.730001}, {266, 528, 50.332769}, {8, 12, 44.415000}, {8, 12, 35.355001}}, nullptr},
      {"objects/sphere_with_gradient.lwo", 2, {SPHERE}, nullptr},
      {"objects/sphere_with_mat_gloss_10pc.lwo", 1, {SPHERE}, nullptr},
      {"scenes/simple_cube.lwo", 2, {{8, 12, 29.58}}, nullptr},
  };
  for (const CorpusObject& object : objects) {
    SCOPED_TRACE(object.path);
    system.textureCache.references.clear();
    ASSERT_TRUE(LoadCorpus(object.path));
    ASSERT_EQ(scene->objects.size(), object.layers.size());
    EXPECT_EQ(scene->surfaces.size(), object.tags);
    for (size_t i = 0; i < object.layers.size(); ++i) {
      const SceneObject& layer = Object(i);
      EXPECT_EQ(layer.baseVertices.size(), object.layers[i].points);
      ASSERT_EQ(layer.triangles.size(), object.layers[i].triangles);
      double area = 0;
      for (const Triangle& t : layer.triangles) {
        ASSERT_NE(t.surface, nullptr);
        const Vec3 a = layer.baseVertices[t.cornerIndex[0]].position, b = layer.baseVertices[t.cornerIndex[1]].position,
                   c = layer.baseVertices[t.cornerIndex[2]].position;
        area += Length(Cross({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z})) / 2.0;
      }
      // No triangle overlaps or leaves its polygon; the spheres' slightly bent quads make a little more.
      EXPECT_NEAR(area, object.layers[i].area, object.layers[i].area * 2e-3);
    }
    EXPECT_EQ(system.textureCache.references,
              object.image ? std::vector<std::string>{object.image} : std::vector<std::string>{});
  }

  // Of the box's two UV maps the classic look draws the last read, the LightWave look the named one.
  for (bool lightwave : {false, true}) {
    system.settings.lightwave = lightwave;
    ASSERT_TRUE(LoadCorpus("objects/box_2uv_1unused.lwo"));
    PrecalcObject(Object(0), nullptr);
    EXPECT_NEAR(Object(0).triangles[0].texCoords[0].cornerV[0], lightwave ? 0.3905f : 0.2518f, 1e-4f) << lightwave;
  }
}

}  // namespace

// The object loader's geometry: layers, points, triangles, tags and vertex maps, the failures
// that stop a load, damaged files, and polygons split into triangles.
#include "LwoFixture.h"

#include <cmath>

namespace {

using test::LwoWriter;

// Four points of a unit square in the z = 0 plane.
const std::vector<float> SQUARE = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};

float Area(const std::vector<Vertex>& v, const Triangle& t, Vec3 facing) {
  Vec3 a = v[t.cornerIndex[0]].position, b = v[t.cornerIndex[1]].position, c = v[t.cornerIndex[2]].position;
  Vec3 n = Cross({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z});
  float dot = n.x * facing.x + n.y * facing.y + n.z * facing.z;
  return dot / 2;  // signed: negative for a triangle turned over
}

using LwoLoad = LwoFixture;

TEST_F(LwoLoad, TriangleObjectGivesLayersPointsTrianglesSurfacesAndCoordinates) {
  LwoWriter w;
  w.Tags({"Red", "Unused"});
  w.Layer(0, 1, 1, 2, 3, "first");
  w.Points(SQUARE);
  w.Chunk("BBOX").Vec(0, 0, 0).Vec(1, 1, 0).End();
  w.Chunk("XTRA").U4(7).U2(1).End();  // a chunk this loader doesn't know
  w.VertexMap("TXUV", 2, "uv", {{0, 0, {0.1f, 0.2f}}, {3, 0, {0.7f, 0.8f}}});
  w.Polygons("FACE", {{0, 1, 2}, {1, 3, 2}});
  w.PolygonTags("SURF", {{1, 0}, {0, 0}});
  // Point 0 is no corner of polygon 1: that entry changes nothing.
  w.FaceVertexMap("TXUV", 2, "uv", {{2, 1, {0.5f, 0.6f}}, {0, 1, {9, 9}}});
  w.Layer(3, 0, -1, 0, 0, "second", 0);  // carries a parent-layer field
  w.Points({0, 0, 5, 1, 0, 5, 0, 1, 5});
  w.Polygons("FACE", {{0, 1, 2}});
  w.PolygonTags("SURF", {});
  ASSERT_TRUE(Load(w.File()));
  EXPECT_TRUE(Logged(3, "LWOLDR(Load) - Loading \"test.lwo\"..."));
  EXPECT_TRUE(boxes.messages.empty());

  ASSERT_EQ(scene->objects.size(), 2u);
  const SceneObject& first = *scene->objects[0];
  EXPECT_EQ(first.layerNumber, 1);
  EXPECT_EQ(first.flags, OBJECT_HIDDEN | OBJECT_FACE_UVS);
  EXPECT_EQ(first.layerName, "first");
  EXPECT_EQ(first.fileName, "test.lwo");
  EXPECT_EQ(first.pivot.x, 1);
  EXPECT_EQ(first.pivot.z, 3);
  ASSERT_EQ(first.baseVertices.size(), 4u);
  EXPECT_EQ(first.baseVertices[3].position.x, 1);
  EXPECT_EQ(first.baseVertices[3].position.y, 1);
  EXPECT_FLOAT_EQ(first.baseVertices[3].u, 0.7f);
  EXPECT_EQ(first.baseVertices[1].u, 0);  // no map named it
  ASSERT_EQ(first.triangles.size(), 2u);
  const Triangle& t1 = first.triangles[1];
  EXPECT_EQ(t1.cornerIndex[0], 1u);
  EXPECT_EQ(t1.cornerIndex[1], 3u);
  EXPECT_EQ(t1.cornerIndex[2], 2u);
  // Corner 1 (point 3) from the point map, corner 2 (point 2) from the face map.
  EXPECT_FLOAT_EQ(t1.texCoords[0].cornerU[1], 0.7f);
  EXPECT_FLOAT_EQ(t1.texCoords[0].cornerV[1], 0.8f);
  EXPECT_FLOAT_EQ(t1.texCoords[0].cornerU[2], 0.5f);
  EXPECT_FLOAT_EQ(t1.texCoords[0].cornerV[2], 0.6f);
  EXPECT_FLOAT_EQ(first.triangles[0].texCoords[0].cornerU[0], 0.1f);
  EXPECT_FLOAT_EQ(t1.texCoords[0].cornerU[0], 0);

  // Every tag makes a surface; only a used one gets its name.
  ASSERT_EQ(scene->surfaces.size(), 2u);
  EXPECT_EQ(scene->surfaces[0]->name, "Red");
  EXPECT_EQ(scene->surfaces[0]->tagIndex, 0u);
  EXPECT_EQ(scene->surfaces[1]->name, "");
  EXPECT_EQ(first.triangles[0].surface, scene->surfaces[0].get());
  EXPECT_EQ(t1.surface, scene->surfaces[0].get());

  const SceneObject& second = *scene->objects[1];
  EXPECT_EQ(second.layerNumber, 4);
  EXPECT_EQ(second.flags, 0u);
  EXPECT_EQ(second.layerName, "second");
  EXPECT_EQ(second.pivot.x, -1);
  ASSERT_EQ(second.triangles.size(), 1u);
  EXPECT_EQ(second.triangles[0].surface, nullptr);  // its PTAG was empty
  EXPECT_EQ(second.baseVertices[2].position.z, 5);
  EXPECT_EQ(scene->FindObjectLayer("test.lwo", 1), &first);
}

TEST_F(LwoLoad, FilesThatAreNoObjectsFailWithOneMessage) {
  LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "");
  EXPECT_FALSE(Load(w.File("LWOB")));
  EXPECT_TRUE(Logged(0, "LWOLDR(Load) - Version of file test.lwo is not supported by this loader!"));
  EXPECT_FALSE(Load({'R', 'I', 'F', 'F', 0, 0, 0, 4, 'L', 'W', 'O', '2'}));
  EXPECT_FALSE(Load({'F', 'O', 'R'}));
  EXPECT_FALSE(Load({}));
  EXPECT_EQ(LinesWith("LWOLDR(Load) - File test.lwo is no valid Lightwave Object(LWO)!"), 3u);

  Vfs empty;
  EXPECT_FALSE(LwoLoader::Load(*scene, empty, "missing.lwo"));
  EXPECT_TRUE(Logged(0, "LWOLDR(Load) - File doesn't exist or software error!"));
  EXPECT_FALSE(LwoLoader().Load(nullptr, scene.get()));
  EXPECT_TRUE(scene->objects.empty());
  ASSERT_EQ(boxes.messages.size(), 6u);
  EXPECT_EQ(boxes.messages[0].caption, "ZIVI3 Engine");
}

TEST_F(LwoLoad, LoadObjectFileReadsAPathWithEitherSeparator) {
  LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "").Points({0, 0, 0, 1, 0, 0, 0, 1, 0}).Polygons("FACE", {{0, 1, 2}});
  test::WriteBytes(dir / "cube.lwo", w.File());
  ASSERT_TRUE(scene->LoadObjectFile((dir.Path().string() + "\\cube.lwo").c_str()));
  ASSERT_EQ(scene->objects.size(), 1u);
  EXPECT_EQ(scene->objects[0]->fileName, "cube.lwo");  // found later by this name
  EXPECT_EQ(scene->objects[0]->triangles.size(), 1u);

  // A missing file is the loader's one message, not a file-system error as well.
  EXPECT_FALSE(scene->LoadObjectFile((dir / "gone.lwo").c_str()));
  ASSERT_EQ(boxes.messages.size(), 1u);
  EXPECT_EQ(boxes.messages[0].text, "LWOLDR(Load) - File doesn't exist or software error!");
}

TEST_F(LwoLoad, ShapesThePlayerCantDrawStopTheLoadAndKeepWhatCameBefore) {
  struct Case {
    std::vector<std::vector<uint32_t>> polygons;
    uint16_t mapDimension;
    const char* expected;
  };
  const Case cases[] = {
      {{{0, 1, 2}, {0, 1, 3, 2}}, 2,
       "[ 00 ] - LWOLDR(ReadPOLS) - File test.lwo contains polygons with more than three vertices!"},
      {{{0, 1}}, 2, "[ 00 ] - LWOLDR(ReadPOLS) - File test.lwo contains polygons with more than three vertices!"},
      {{{0, 1, 2}}, 1,
       "[ 00 ] - LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"map\" in test.lwo. The coordinate "
       "dimension is not 2(UV)!"},
  };
  for (const Case& c : cases) {
    NewScene();
    LwoWriter w;
    w.Layer(0, 0, 0, 0, 0, "kept").Points(SQUARE).Polygons("FACE", c.polygons);
    w.VertexMap("WGHT", c.mapDimension, "map", {{0, 0, std::vector<float>(c.mapDimension, 1.0f)}});
    w.Layer(1, 0, 0, 0, 0, "never read");
    size_t before = LinesWith(c.expected);
    EXPECT_FALSE(Load(w.File()));
    EXPECT_EQ(LinesWith(c.expected), before + 1) << c.expected;
    ASSERT_EQ(scene->objects.size(), 1u);  // the first layer stays, nothing after the stop is read
    EXPECT_EQ(scene->objects[0]->layerName, "kept");
  }
  NewScene();
  LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "").Points(SQUARE).Polygons("FACE", {{0, 1, 2}});
  w.FaceVertexMap("NORM", 3, "normals", {{0, 0, {0, 0, 1}}});
  EXPECT_FALSE(Load(w.File()));
  EXPECT_TRUE(Logged(0,
                     "LWOLDR(ReadVMAD) - Loader encountered invalid face based UV vertex map \"normals\" in test.lwo. "
                     "The coordinate dimension is not 2(UV)!"));
  EXPECT_EQ(LinesWith("[ 03 ] - LWOLDR(Load) - LWO wasn't successfully loaded due to error in subroutines"), 4u);
  EXPECT_EQ(boxes.messages.size(), 4u);
}

TEST_F(LwoLoad, EntriesNamingWhatIsntThereAreSkippedAndTheRestLoads) {
  LwoWriter w;
  w.Points({0, 0, 0});  // before any layer: no layer to fill
  w.Tags({"A"});
  w.Layer(0, 0, 0, 0, 0, "");
  w.Points({0, 0, 0, 1, 0, 0, 0, 1, 0});
  w.VertexMap("TXUV", 2, "uv", {{9, 0, {1, 1}}, {1, 0, {0.25f, 0.5f}}});
  // Polygon 1 names point 7: it is left out, and polygon 2 still gets its own tag.
  w.Polygons("FACE", {{0, 1, 2}, {0, 1, 7}, {2, 1, 0}});
  w.PolygonTags("SURF", {{2, 0}, {5, 0}, {0, 9}});
  w.FaceVertexMap("TXUV", 2, "uv", {{0, 2, {0.75f, 0.5f}}, {0, 3, {1, 1}}});
  ASSERT_TRUE(Load(w.File()));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPNTS) - File test.lwo has geometry before its first layer, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadVMAP) - File test.lwo has 1 vertex map entries for points that don't exist, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPOLS) - File test.lwo has 1 polygons naming points that don't exist, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPTAG) - File test.lwo has 2 polygon tags naming polygons or tags that don't "
                        "exist, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadVMAD) - File test.lwo has 1 face vertex map entries for polygons that don't "
                        "exist, skipped"));

  ASSERT_EQ(scene->objects.size(), 1u);
  const SceneObject& layer = *scene->objects[0];
  ASSERT_EQ(layer.triangles.size(), 2u);
  EXPECT_EQ(layer.triangles[0].surface, nullptr);
  EXPECT_EQ(layer.triangles[1].surface, scene->surfaces[0].get());
  EXPECT_EQ(layer.triangles[1].cornerIndex[0], 2u);
  EXPECT_FLOAT_EQ(layer.triangles[1].texCoords[0].cornerU[1], 0.25f);
  EXPECT_FLOAT_EQ(layer.triangles[1].texCoords[0].cornerU[2], 0.75f);
  EXPECT_FLOAT_EQ(layer.triangles[0].texCoords[0].cornerU[0], 0);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(LwoLoad, CutShortFilesLoadWhatIsWhole) {
  LwoWriter w;
  w.Layer(0, 0, 0, 0, 0, "layer");
  w.Points({0, 0, 0, 1, 0, 0, 0, 1, 0});
  // The last polygon says three corners and holds one.
  w.Chunk("POLS").Id("FACE").U2(3).VX(0).VX(1).VX(2).U2(3).VX(0).End();
  w.Tags({"A"});
  w.PolygonTags("SURF", {{0, 0}});
  std::vector<uint8_t> bytes = w.File();
  bytes.resize(bytes.size() - 3);  // the PTAG chunk loses its end
  ASSERT_TRUE(Load(bytes));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPOLS) - The last polygon of test.lwo is cut short, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(Load) - File test.lwo is shorter than its header says, reading what is there"));
  EXPECT_TRUE(Logged(1, "LWOLDR(Load) - Chunk PTAG of test.lwo runs past the end of the file, skipped with the rest"));
  ASSERT_EQ(scene->objects.size(), 1u);
  EXPECT_EQ(scene->objects[0]->triangles.size(), 1u);
  EXPECT_EQ(scene->objects[0]->triangles[0].surface, nullptr);

  // Every prefix of a whole object loads or fails cleanly, and never more than it holds.
  LwoWriter whole;
  whole.Tags({"A"}).Layer(0, 0, 0, 0, 0, "l").Points(SQUARE).Polygons("FACE", {{0, 1, 2}, {1, 3, 2}});
  whole.PolygonTags("SURF", {{0, 0}, {1, 0}}).VertexMap("TXUV", 2, "uv", {{1, 0, {1, 1}}});
  std::vector<uint8_t> full = whole.File();
  for (size_t size = 0; size < full.size(); ++size) {
    NewScene();
    Load(std::vector<uint8_t>(full.begin(), full.begin() + size));
    for (const auto& object : scene->objects) {
      EXPECT_LE(object->triangles.size(), 2u);
      for (const Triangle& t : object->triangles)
        for (uint32_t corner : t.cornerIndex) EXPECT_LT(corner, object->baseVertices.size());
    }
  }
}

TEST_F(LwoLoad, SecondPolygonChunkOfALayerAddsItsTriangles) {
  LwoWriter w;
  w.Tags({"A", "B"}).Layer(0, 0, 0, 0, 0, "").Points(SQUARE);
  w.Polygons("FACE", {{0, 1, 2}, {1, 3, 2}}).PolygonTags("SURF", {{0, 0}});
  w.Polygons("FACE", {{2, 1, 0}}).PolygonTags("SURF", {{0, 1}});  // polygon 0 of this chunk
  w.Points({5, 5, 5});  // after polygons: would leave them pointing at other points
  ASSERT_TRUE(Load(w.File()));
  const SceneObject& layer = *scene->objects[0];
  ASSERT_EQ(layer.triangles.size(), 3u);
  EXPECT_EQ(layer.baseVertices.size(), 4u);
  EXPECT_EQ(layer.triangles[0].surface->name, "A");
  EXPECT_EQ(layer.triangles[1].surface, nullptr);
  EXPECT_EQ(layer.triangles[2].surface->name, "B");
  EXPECT_EQ(layer.triangles[2].cornerIndex[0], 2u);
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPNTS) - File test.lwo has a second point list after polygons in one layer, "
                        "skipped"));
}

TEST_F(LwoLoad, TriangulationSplitsPolygonsAndCarriesTheirTagsAndCorners) {
  system.settings.triangulate = true;
  // A square with a notch cut into its right side (concave at point 2), then a plain square,
  // in the z = 0 plane.
  std::vector<float> points = {0, 0, 0, 4, 0, 0, 2, 1.5f, 0, 4, 4, 0, 0, 4, 0};
  points.insert(points.end(), {10, 0, 0, 11, 0, 0, 11, 1, 0, 10, 1, 0});  // square 5-8
  LwoWriter w;
  w.Tags({"A", "B"}).Layer(0, 0, 0, 0, 0, "").Points(points);
  w.VertexMap("WGHT", 1, "weight", {{0, 0, {1}}});  // passed over rather than failing the load
  // Clockwise seen from -z, as LightWave winds front faces.
  w.Polygons("PTCH", {{1, 0, 4, 3, 2}, {5, 6}, {5, 8, 7, 6}, {0, 2, 1}, {3}});
  w.PolygonTags("SURF", {{0, 0}, {2, 1}, {3, 0}, {1, 1}});
  w.FaceVertexMap("TXUV", 2, "uv", {{2, 0, {0.5f, 0.25f}}, {6, 2, {0.75f, 1}}});
  ASSERT_TRUE(Load(w.File()));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadPOLS) - File test.lwo has 2 polygons of fewer than three corners, skipped"));
  EXPECT_TRUE(Logged(1, "LWOLDR(ReadVMAP) - Vertex map \"weight\" in test.lwo has 1 coordinates, not 2(UV); skipped"));

  const SceneObject& layer = *scene->objects[0];
  ASSERT_EQ(layer.triangles.size(), 6u);  // 3 + 2 + 1
  const Surface* a = scene->surfaces[0].get();
  const Surface* b = scene->surfaces[1].get();
  const Surface* expected[] = {a, a, a, b, b, a};
  const Vec3 front = {0, 0, -1};
  float pentagonArea = 0;
  for (int t = 0; t < 6; ++t) {
    const Triangle& triangle = layer.triangles[t];
    EXPECT_EQ(triangle.surface, expected[t]) << t;
    float area = Area(layer.baseVertices, triangle, front);
    EXPECT_GT(area, 0) << "triangle " << t << " turned over";
    if (t < 3) pentagonArea += area;
    // Each triangle using the mapped point of its polygon took the face map's coordinates there.
    uint32_t mapped = t < 3 ? 2 : (t < 5 ? 6 : 0xFFFF);
    for (int corner = 0; corner < 3; ++corner) {
      bool hit = triangle.cornerIndex[corner] == mapped;
      EXPECT_FLOAT_EQ(triangle.texCoords[0].cornerU[corner], hit ? (t < 3 ? 0.5f : 0.75f) : 0.0f);
    }
  }
  EXPECT_FLOAT_EQ(pentagonArea, 16 - 4 * 2 / 2);  // the square less the notch
  EXPECT_EQ(layer.triangles[5].cornerIndex[1], 2u);
  EXPECT_TRUE(boxes.messages.empty());
}

}  // namespace

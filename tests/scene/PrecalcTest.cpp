// The precalculation: report, render lists, camera, normals, surface batches, the dynamic flag.
#include "support/SceneFixture.h"

#include <cmath>
#include <cstring>
#include <random>
#include <tuple>

namespace {

using PrecalcTest = test::SceneFixture;

// A vertex sums the face normal of every triangle with a corner pointer at it.
std::vector<Vec3> QuadraticNormals(const SceneObject& object) {
  std::vector<Vec3> normals;
  for (const Vertex& vertex : object.baseVertices) {
    Vec3 sum;
    uint32_t count = 0;
    for (const Triangle& t : object.triangles) {
      if (t.corners[0] != &vertex && t.corners[1] != &vertex && t.corners[2] != &vertex) continue;
      sum = Vec3{sum.x + t.faceNormal.x, sum.y + t.faceNormal.y, sum.z + t.faceNormal.z};
      ++count;
    }
    const float scale = count ? 1.0f / float(count) : 1.0f;
    normals.push_back(Normalize(count ? Vec3{sum.x * scale, sum.y * scale, sum.z * scale} : sum));
  }
  return normals;
}

TEST_F(PrecalcTest, ReportRenderListsAndCamera) {
  auto addNull = [this](uint8_t phase) {
    SceneObject* null = scene->AddObject();
    null->flags = OBJECT_NULL;
    null->actionPhase = phase;
    return null;
  };
  SceneObject* quiet = addNull(ACTION_NONE);
  SceneObject* music = addNull(ACTION_PRE_SCENE);
  SceneObject* cube = scene->AddObject();
  test::AddCube(cube, scene->AddSurface());
  SceneObject* fade = addNull(ACTION_POST_SCENE);
  SceneObject* sound = addNull(ACTION_PRE_SCENE);
  SceneObject* clone = scene->AddObject();
  cube->pivot = {0, 0, 3};
  cube->uvMaps = {{"uv", {}, {}}};
  scene->CloneObjectGeometry(cube, clone);
  EXPECT_TRUE(clone->pivot.z == 3 && clone->uvMaps.size() == 1 && clone->baseVertices.data() != cube->baseVertices.data());
  Camera* first = scene->AddCamera();
  scene->AddCamera();
  scene->AddLight();
  scene->drawables.push_back(quiet);  // stale: the lists are rebuilt

  scene->Precalc(nullptr);

  EXPECT_EQ(scene->drawables, (std::vector<SceneObject*>{cube, clone}));
  EXPECT_EQ(scene->preSceneActions, (std::vector<SceneObject*>{music, sound}));
  EXPECT_EQ(scene->postSceneActions, (std::vector<SceneObject*>{fade}));
  EXPECT_EQ(scene->activeCamera, first);
  EXPECT_EQ(quiet->flags, OBJECT_NULL);
  EXPECT_EQ(clone->triangles[5].corners[1], &clone->baseVertices[clone->triangles[5].cornerIndex[1]]);
  std::string report;
  for (const char* line : {"-------------------- Scene report ---------------------", " -> 1 Lights",
                           " -> 1 Surfaces", " -> 2 Cameras", " -> 6 Objects(including NULL's)",
                           "-------------------------------------------------------",
                           "- Sorting oridinal surface texture layers...",
                           "- Normalizing Objects, this can take a while...",
                           "- We have 16 Vertices connected through 24 Faces, now optimizing/building cache..."})
    report += std::string("[ 03 ] - VKTSCE(Precalc) ") + line + "\n";
  EXPECT_NE(log.Text().find(report), std::string::npos) << log.Text();
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(PrecalcTest, NormalsAverageTheFacesOfEachVertexBitForBit) {
  // Random meshes, with repeated corners and coincident points: the same bits as a plain scan.
  std::mt19937 random(1234);
  std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
  for (int mesh = 0; mesh < 40; ++mesh) {
    const uint32_t vertexCount = 1 + random() % 60;
    const uint32_t usedCount = 1 + random() % vertexCount;  // the rest must come out zero
    std::vector<Vec3> points(vertexCount);
    for (Vec3& p : points) p = {coordinate(random), coordinate(random), coordinate(random)};
    test::Corners corners(random() % 150);
    for (auto& c : corners) {
      for (uint32_t& index : c) index = random() % usedCount;
      switch (random() % 6) {
        case 0: c[2] = c[0]; break;                  // a repeated corner
        case 1: c[1] = c[2] = c[0]; break;           // one vertex three times
        case 2: points[c[2]] = points[c[1]]; break;  // coincident points: a zero face normal
        default: break;
      }
    }
    SceneObject* object = test::AddMesh(*scene, points, corners, {scene->AddSurface()});
    PrecalcObject(*object, nullptr);
    const std::vector<Vec3> expected = QuadraticNormals(*object);
    for (uint32_t i = 0; i < vertexCount; ++i)
      ASSERT_EQ(std::memcmp(&object->baseVertices[i].normal, &expected[i], sizeof(Vec3)), 0)
          << "mesh " << mesh << " vertex " << i;
  }
}

TEST_F(PrecalcTest, LightWaveLookSmoothsByAngleWithinASurfaceCountingEachPolygonOnce) {
  const float DEGREE = 3.14159265f / 180;
  system.settings.lightwave = true;
  // A box smoothed at 89°: every corner keeps its face's normal, the axis its corners share.
  SceneObject* box = scene->AddObject();
  test::AddCube(box, scene->AddSurface());
  box->triangles[0].surface->smoothing = 89 * DEGREE;
  // A cylinder of 16 sides smoothed at 30°: smooth sides, hard caps; an open tube of it.
  SceneObject* cylinder = scene->AddObject();
  SceneObject* tube = scene->AddObject();
  Surface* metal = scene->AddSurface();
  metal->smoothing = 30 * DEGREE;
  test::AddCylinder(cylinder, metal, 16, 1, 1);
  test::AddCylinder(tube, metal, 16, 1, 1, false);
  // A split square and a triangle tilted 11° on its edge 0-3, at 45°: the square counts once; another surface doesn't.
  SceneObject* roof =
      test::AddMesh(*scene, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {-1, -0.2f, 0.5f}, {0.5f, -0.2f, -1}}, {});
  Surface* tiles = scene->AddSurface();
  Surface* other = scene->AddSurface();
  tiles->smoothing = other->smoothing = 45 * DEGREE;
  const Vec3 below = {0, -10, 0};
  test::AddPolygon(roof, tiles, {0, 1, 2, 3}, below);
  test::AddPolygon(roof, tiles, {0, 3, 4}, below);
  test::AddPolygon(roof, other, {0, 1, 5}, below);
  scene->Precalc(nullptr);

  // A corner's normal: its triangle's own, or its vertex's.
  auto expectCorners = [](const SceneObject* object, auto expected, const char* what) {
    for (size_t t = 0; t < object->triangles.size(); ++t)
      for (int k = 0; k < 3; ++k) {
        const Triangle& triangle = object->triangles[t];
        const Vec3 want = expected(triangle, k);
        const Vec3& got = triangle.cornerNormals == NO_CORNER_NORMALS
                              ? object->baseVertices[triangle.cornerIndex[k]].normal
                              : object->cornerNormals.at(triangle.cornerNormals + k);
        EXPECT_LT(Length({got.x - want.x, got.y - want.y, got.z - want.z}), 2e-5f)
            << what << " triangle " << t << " corner " << k << ": " << got.x << " " << got.y << " " << got.z;
      }
  };
  expectCorners(box, [&](const Triangle& t, int) {
    const Vec3 &a = box->baseVertices[t.cornerIndex[0]].position, &b = box->baseVertices[t.cornerIndex[1]].position,
               &c = box->baseVertices[t.cornerIndex[2]].position;
    return a.x == b.x && b.x == c.x ? Vec3{a.x, 0, 0} : a.y == b.y && b.y == c.y ? Vec3{0, a.y, 0} : Vec3{0, 0, a.z};
  }, "box");
  for (const SceneObject* solid : {cylinder, tube})
    expectCorners(solid, [&](const Triangle& t, int k) {
      const Vec3& p = solid->baseVertices[t.cornerIndex[k]].position;
      const bool cap = solid->baseVertices[t.cornerIndex[(k + 1) % 3]].position.y == p.y &&
                       solid->baseVertices[t.cornerIndex[(k + 2) % 3]].position.y == p.y;
      return cap ? Vec3{0, p.y, 0} : Vec3{p.x, 0, p.z};
    }, solid == tube ? "tube" : "cylinder");
  // At point 0: the square's (0, 1, 0) and the triangle's (-0.2, 1, 0) / |…|, once each.
  const Vec3 smoothed = {-0.0985404f, 0.9951331f, 0};
  expectCorners(roof, [&](const Triangle& t, int k) {
    const uint32_t p = t.cornerIndex[k];
    if (t.surface == other) return Normalize(Vec3{0, 1, -0.2f});
    if (p == 0 || p == 3) return smoothed;
    return p == 4 ? Vec3{-0.1961161f, 0.9805807f, 0} : Vec3{0, 1, 0};
  }, "roof");
}

TEST_F(PrecalcTest, OneBatchPerSurfaceInListOrderAndAnimatedSurfacesMakeObjectsDynamic) {
  Surface* first = scene->AddSurface();
  Surface* second = scene->AddSurface();
  const std::vector<Vec3> points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  // Alternating triangles of the two surfaces, an untagged one and one past the vertices.
  SceneObject* object =
      test::AddMesh(*scene, points, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 2, 3}, {0, 1, 3}}, {second, first});
  object->triangles.emplace_back();
  object->triangles.emplace_back().cornerIndex[1] = 4;
  const std::vector<Vec3> slope = {{0, 0, 0}, {2, 0, 4}, {0, 0, 4}};
  Surface* still = scene->AddSurface();
  (still->layers[0] = std::make_unique<TextureLayer>())->ordinal = "\x80";
  still->layers[0]->projection = 1;  // not planar: coordinates stay as loaded
  still->layerCount = 1;
  Surface* fading = scene->AddSurface();
  fading->envelopes[SURFACE_ENV_TRANSPARENCY] = std::make_unique<Envelope>();
  Surface* dimming = scene->AddSurface();
  dimming->envelopes[SURFACE_ENV_DIFFUSE] = std::make_unique<Envelope>();
  Surface* sliding = scene->AddSurface();
  for (auto& layer : sliding->layers) {
    layer = std::make_unique<TextureLayer>();
    layer->axis = AXIS_Y;
    layer->size = {2, 2, 4};
    layer->center = {-1, 0, -2};  // box corner at the origin
  }
  sliding->layers[1]->envelopes[LAYER_ENV_SIZE_Z] = std::make_unique<Envelope>();
  sliding->layerCount = 2;
  SceneObject* plain = test::AddMesh(*scene, slope, {{0, 1, 2}}, {still});
  plain->triangles[0].texCoords[0].cornerU[1] = 0.5f;
  SceneObject* fades = test::AddMesh(*scene, slope, {{0, 1, 2}}, {fading});
  SceneObject* dims = test::AddMesh(*scene, slope, {{0, 1, 2}}, {dimming});
  SceneObject* slides = test::AddMesh(*scene, slope, {{0, 1, 2}}, {sliding});

  scene->Precalc(nullptr);

  EXPECT_TRUE(Logged(3, "VKTSCE(Precalc)  -> 6 Surfaces"));  // counted before the grey one is made
  EXPECT_EQ(LinesWith("has 1 triangles with corners past its 4 vertices, left out"), 1u);
  ASSERT_EQ(object->triangles.size(), 6u);
  ASSERT_EQ(scene->surfaces.size(), 7u);
  Surface* grey = scene->surfaces[6].get();
  EXPECT_TRUE(grey->color.x > 0 && grey->color.x == grey->color.z);
  std::vector<std::tuple<uint32_t, uint32_t, Surface*>> batches;
  for (const SurfaceBatch& batch : object->surfaceBatches) batches.emplace_back(batch.first, batch.count, batch.surface);
  EXPECT_EQ(batches, (std::vector<std::tuple<uint32_t, uint32_t, Surface*>>{{0, 2, first}, {2, 3, second}, {5, 1, grey}}));
  const uint32_t order[] = {1, 3, 0, 2, 4, 5};  // triangle order within a batch
  for (int i = 0; i < 6; ++i) EXPECT_EQ(object->sortedTriangles[i], &object->triangles[order[i]]) << i;

  PrecalcObject(*test::AddMesh(*scene, points, {{0, 1, 2}}), nullptr);
  EXPECT_EQ(scene->objects.back()->triangles[0].surface, grey);  // one grey surface per scene
  EXPECT_EQ(scene->surfaces.size(), 7u);

  EXPECT_FALSE(plain->flags & OBJECT_DYNAMIC);
  EXPECT_EQ(plain->triangles[0].texCoords[0].cornerU[1], 0.5f);
  EXPECT_TRUE(still->layers[0]->ordinal.empty());
  EXPECT_TRUE((fades->flags & dims->flags & slides->flags) & OBJECT_DYNAMIC);
  EXPECT_EQ(fading->flags & dimming->flags & SURFACE_ANIMATED, SURFACE_ANIMATED);
  EXPECT_FALSE(sliding->flags & SURFACE_ANIMATED);  // a layer envelope isn't a surface envelope
  // Both planar layers are projected: axis Y gives u = x / 2, v = -z / 4 from the box corner.
  for (const CornerCoords& coords : slides->triangles[0].texCoords)
    EXPECT_TRUE(std::fabs(coords.cornerU[1] - 1) < 1e-6f && std::fabs(coords.cornerV[1] + 1) < 1e-6f);
}

}  // namespace

// The precalculation: the scene report, render lists and camera, normals (against a reference
// that scans every triangle per vertex), surface batches and the dynamic flag.
#include "lightwave/LwoFixture.h"

#include <array>
#include <cmath>
#include <cstring>
#include <random>

namespace {

class PrecalcTest : public LwoFixture {
 protected:
  SceneObject* AddMesh(const std::vector<Vec3>& points, const std::vector<std::array<uint32_t, 3>>& corners,
                       const std::vector<Surface*>& surfaces = {}) {
    SceneObject* object = scene->AddObject();
    object->fileName = "mesh.lwo";
    for (const Vec3& p : points) object->baseVertices.push_back(Vertex{p, {}, 0, 0});
    for (size_t t = 0; t < corners.size(); ++t) {
      Triangle triangle;
      for (int k = 0; k < 3; ++k) triangle.cornerIndex[k] = corners[t][k];
      triangle.surface = surfaces.empty() ? nullptr : surfaces[t % surfaces.size()];
      object->triangles.push_back(triangle);
    }
    return object;
  }

  SceneObject* AddNull(const char* name, uint8_t phase) {
    SceneObject* null = scene->AddObject();
    null->flags = OBJECT_NULL | OBJECT_HIDDEN;
    null->itemName = name;
    null->actionPhase = phase;
    return null;
  }
};

// The vertex normals the way a scan of every triangle for every vertex computes them: a
// triangle counts when any of its corner pointers points at the vertex.
std::vector<Vec3> QuadraticNormals(const SceneObject& object) {
  std::vector<Vec3> normals;
  for (const Vertex& vertex : object.baseVertices) {
    Vec3 sum;
    uint32_t count = 0;
    for (const Triangle& triangle : object.triangles) {
      if (triangle.corners[0] == &vertex || triangle.corners[1] == &vertex || triangle.corners[2] == &vertex) {
        sum.x += triangle.faceNormal.x;
        sum.y += triangle.faceNormal.y;
        sum.z += triangle.faceNormal.z;
        ++count;
      }
    }
    if (count != 0) {
      const float scale = 1.0f / float(count);
      sum = Vec3{sum.x * scale, sum.y * scale, sum.z * scale};
    }
    normals.push_back(Normalize(sum));
  }
  return normals;
}

bool SameBits(const Vec3& a, const Vec3& b) { return std::memcmp(&a, &b, sizeof(Vec3)) == 0; }

// A cube of 8 shared points and 12 triangles, each wound so that its face normal points out.
// Every face is split along its diagonal joining two of the points 0, 3, 5 and 6, so each point
// touches as many triangles on each of its three faces and its average favours none of them.
void Cube(std::vector<Vec3>& points, std::vector<std::array<uint32_t, 3>>& corners) {
  for (int i = 0; i < 8; ++i) points.push_back(Vec3{i & 1 ? 1.f : -1.f, i & 2 ? 1.f : -1.f, i & 4 ? 1.f : -1.f});
  const uint32_t quads[6][4] = {{0, 1, 3, 2}, {5, 7, 6, 4}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 2, 6, 4}, {3, 7, 5, 1}};
  for (const auto& q : quads) {
    for (std::array<uint32_t, 3> t : {std::array<uint32_t, 3>{q[0], q[1], q[2]}, {q[0], q[2], q[3]}}) {
      const Vec3 &a = points[t[0]], &b = points[t[1]], &c = points[t[2]];
      const Vec3 n = Cross(Vec3{a.x - b.x, a.y - b.y, a.z - b.z}, Vec3{a.x - c.x, a.y - c.y, a.z - c.z});
      const float out = n.x * (a.x + b.x + c.x) + n.y * (a.y + b.y + c.y) + n.z * (a.z + b.z + c.z);
      if (out < 0) std::swap(t[1], t[2]);
      corners.push_back(t);
    }
  }
}

TEST_F(PrecalcTest, SceneOfNullsReportsThemAndFillsOnlyTheActionLists) {
  SceneObject* quiet = AddNull("Quiet", ACTION_NONE);
  SceneObject* music = AddNull("ACTMOD", ACTION_PRE_SCENE);
  SceneObject* fade = AddNull("ACTFADE", ACTION_POST_SCENE);
  SceneObject* sound = AddNull("ACTSFX", ACTION_PRE_SCENE);
  scene->AddLight();
  scene->AddSurface();
  scene->drawables.push_back(quiet);  // left over from somewhere: the lists are rebuilt

  scene->Precalc(nullptr);

  EXPECT_TRUE(scene->drawables.empty());
  EXPECT_EQ(scene->preSceneActions, (std::vector<SceneObject*>{music, sound}));
  EXPECT_EQ(scene->postSceneActions, (std::vector<SceneObject*>{fade}));
  EXPECT_EQ(quiet->flags, OBJECT_NULL | OBJECT_HIDDEN);  // null objects are not touched
  EXPECT_EQ(scene->activeCamera, nullptr);

  const char* report[] = {
      "VKTSCE(Precalc) -------------------- Scene report ---------------------",
      "VKTSCE(Precalc)  -> 1 Lights",
      "VKTSCE(Precalc)  -> 1 Surfaces",
      "VKTSCE(Precalc)  -> 0 Cameras",
      "VKTSCE(Precalc)  -> 4 Objects(including NULL's)",
      "VKTSCE(Precalc) -------------------------------------------------------",
      "VKTSCE(Precalc) - Sorting oridinal surface texture layers...",
      "VKTSCE(Precalc) - Normalizing Objects, this can take a while...",
      "VKTSCE(Precalc) - We have 0 Vertices connected through 0 Faces, now optimizing/building cache...",
  };
  std::string expected;
  for (const char* line : report) expected += std::string("[ 03 ] - ") + line + "\n";
  EXPECT_NE(LogText().find(expected), std::string::npos) << LogText();
  EXPECT_TRUE(Logged(0, "VKTSCE(Precalc) - Argh! No Cam found! Now I'm crashing..."));
  ASSERT_EQ(boxes.messages.size(), 1u);
  EXPECT_EQ(boxes.messages[0].text, "VKTSCE(Precalc) - Argh! No Cam found! Now I'm crashing...");
}

TEST_F(PrecalcTest, FirstCameraDrawablesInObjectOrderAndTotalsCountClones) {
  std::vector<Vec3> points;
  std::vector<std::array<uint32_t, 3>> corners;
  Cube(points, corners);
  Camera* first = scene->AddCamera();
  scene->AddCamera();
  SceneObject* cube = AddMesh(points, corners, {scene->AddSurface()});
  AddNull("ACTCAM", ACTION_POST_SCENE);
  SceneObject* clone = scene->AddObject();
  scene->CloneObjectGeometry(cube, clone);

  scene->Precalc(nullptr);

  EXPECT_EQ(scene->activeCamera, first);
  EXPECT_EQ(scene->drawables, (std::vector<SceneObject*>{cube, clone}));
  EXPECT_TRUE(Logged(3, "VKTSCE(Precalc) - We have 16 Vertices connected through 24 Faces, now optimizing/building cache..."));
  EXPECT_TRUE(boxes.messages.empty());
  // The clone's corners are its own.
  EXPECT_EQ(clone->triangles[5].corners[1], &clone->baseVertices[clone->triangles[5].cornerIndex[1]]);
}

TEST_F(PrecalcTest, CubeCornersGetDiagonalNormalsAndTheDrawnCopy) {
  std::vector<Vec3> points;
  std::vector<std::array<uint32_t, 3>> corners;
  Cube(points, corners);
  SceneObject* cube = AddMesh(points, corners, {scene->AddSurface()});

  PrecalcObject(*cube, nullptr);

  const float d = 1.0f / std::sqrt(3.0f);
  for (const Vertex& vertex : cube->baseVertices) {
    EXPECT_NEAR(vertex.normal.x, vertex.position.x * d, 1e-6f);
    EXPECT_NEAR(vertex.normal.y, vertex.position.y * d, 1e-6f);
    EXPECT_NEAR(vertex.normal.z, vertex.position.z * d, 1e-6f);
  }
  for (const Triangle& triangle : cube->triangles) {
    EXPECT_NEAR(Length(triangle.faceNormal), 1.0f, 1e-6f);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(triangle.corners[k], &cube->baseVertices[triangle.cornerIndex[k]]);
  }
  ASSERT_EQ(cube->vertices.size(), 8u);
  EXPECT_TRUE(SameBits(cube->vertices[7].normal, cube->baseVertices[7].normal));
  EXPECT_EQ(cube->flags, OBJECT_COMPILE_OPAQUE | OBJECT_COMPILE_TRANSPARENT);  // static
}

TEST_F(PrecalcTest, LinearNormalsMatchTheQuadraticScanBitForBit) {
  std::mt19937 random(1234);
  std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
  for (int mesh = 0; mesh < 40; ++mesh) {
    const uint32_t vertexCount = 1 + random() % 60;
    const uint32_t triangleCount = random() % 150;
    std::vector<Vec3> points;
    for (uint32_t i = 0; i < vertexCount; ++i) points.push_back({coordinate(random), coordinate(random), coordinate(random)});
    // Vertices past usedCount are never named: their normal must come out zero.
    const uint32_t usedCount = 1 + random() % vertexCount;
    std::vector<std::array<uint32_t, 3>> corners;
    for (uint32_t t = 0; t < triangleCount; ++t) {
      std::array<uint32_t, 3> c = {uint32_t(random() % usedCount), uint32_t(random() % usedCount),
                                   uint32_t(random() % usedCount)};
      switch (random() % 6) {
        case 0: c[2] = c[0]; break;           // a repeated corner
        case 1: c[1] = c[2] = c[0]; break;    // all three the same vertex
        case 2: points[c[2]] = points[c[1]]; break;  // coincident points: a zero face normal
        default: break;
      }
      corners.push_back(c);
    }
    SceneObject* object = AddMesh(points, corners, {scene->AddSurface()});
    PrecalcObject(*object, nullptr);
    const std::vector<Vec3> expected = QuadraticNormals(*object);
    for (uint32_t i = 0; i < vertexCount; ++i) {
      ASSERT_TRUE(SameBits(object->baseVertices[i].normal, expected[i])) << "mesh " << mesh << " vertex " << i;
      if (i >= usedCount) {
        ASSERT_TRUE(SameBits(object->baseVertices[i].normal, Vec3{}));
      }
    }
  }
}

TEST_F(PrecalcTest, OneBatchPerSurfaceInSurfaceListOrder) {
  Surface* first = scene->AddSurface();
  Surface* second = scene->AddSurface();
  std::vector<Vec3> points(4, Vec3{});
  points[1].x = points[2].y = points[3].z = 1;
  // Triangles of the second surface come first and alternate with the first one's.
  SceneObject* object = AddMesh(points, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 2, 3}, {0, 1, 3}}, {second, first});
  // Untagged, and one naming a vertex that isn't there.
  object->triangles.push_back(Triangle{});
  Triangle broken;
  broken.cornerIndex[1] = 4;
  broken.surface = first;
  object->triangles.push_back(broken);

  scene->Precalc(nullptr);

  EXPECT_TRUE(Logged(3, "VKTSCE(Precalc)  -> 2 Surfaces"));  // reported before the grey one is made
  ASSERT_EQ(object->triangles.size(), 6u);
  EXPECT_EQ(LinesWith("corners past its 4 vertices, left out"), 1u);
  ASSERT_EQ(scene->surfaces.size(), 3u);
  Surface* grey = scene->surfaces[2].get();
  EXPECT_GT(grey->color.x, 0.0f);
  EXPECT_EQ(grey->color.x, grey->color.z);

  ASSERT_EQ(object->surfaceBatches.size(), 3u);
  const uint32_t firsts[] = {0, 2, 5}, counts[] = {2, 3, 1};
  Surface* surfaces[] = {first, second, grey};
  for (int b = 0; b < 3; ++b) {
    EXPECT_EQ(object->surfaceBatches[b].first, firsts[b]);
    EXPECT_EQ(object->surfaceBatches[b].count, counts[b]);
    EXPECT_EQ(object->surfaceBatches[b].surface, surfaces[b]);
  }
  // Within a batch, triangle order.
  const uint32_t order[] = {1, 3, 0, 2, 4, 5};
  ASSERT_EQ(object->sortedTriangles.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(object->sortedTriangles[i], &object->triangles[order[i]]) << i;

  // A second object without surfaces uses the same grey surface.
  SceneObject* plain = AddMesh(points, {{0, 1, 2}});
  PrecalcObject(*plain, nullptr);
  EXPECT_EQ(plain->triangles[0].surface, grey);
  EXPECT_EQ(scene->surfaces.size(), 3u);
}

TEST_F(PrecalcTest, AnimatedSurfacesAndLayersMakeObjectsDynamic) {
  std::vector<Vec3> points = {{0, 0, 0}, {2, 0, 4}, {0, 0, 4}};
  auto withSurface = [&](Surface* surface) { return AddMesh(points, {{0, 1, 2}}, {surface}); };

  Surface* still = scene->AddSurface();
  still->layers[0] = std::make_unique<TextureLayer>();
  still->layers[0]->ordinal = "\x80";
  still->layers[0]->projection = 1;  // not planar: coordinates stay as loaded
  still->layerCount = 1;
  Surface* fading = scene->AddSurface();
  fading->envelopes[SURFACE_ENV_TRANSPARENCY] = std::make_unique<Envelope>();
  Surface* dimming = scene->AddSurface();
  dimming->envelopes[SURFACE_ENV_DIFFUSE] = std::make_unique<Envelope>();
  Surface* sliding = scene->AddSurface();
  for (int li = 0; li < 2; ++li) {
    sliding->layers[li] = std::make_unique<TextureLayer>();
    sliding->layers[li]->axis = AXIS_Y;
    sliding->layers[li]->size = {2, 2, 4};
    sliding->layers[li]->center = {-1, 0, -2};  // box corner at the origin
  }
  sliding->layers[1]->envelopes[LAYER_ENV_SIZE_Z] = std::make_unique<Envelope>();
  sliding->layerCount = 2;

  SceneObject* plain = withSurface(still);
  plain->triangles[0].texCoords[0].cornerU[1] = 0.5f;
  SceneObject* fades = withSurface(fading);
  SceneObject* dims = withSurface(dimming);
  SceneObject* slides = withSurface(sliding);
  SceneObject* morphs = withSurface(still);
  morphs->flags |= OBJECT_DYNAMIC;  // set by the scene loader; kept

  scene->Precalc(nullptr);

  EXPECT_FALSE(plain->flags & OBJECT_DYNAMIC);
  EXPECT_EQ(plain->triangles[0].texCoords[0].cornerU[1], 0.5f);
  EXPECT_TRUE(still->layers[0]->ordinal.empty());
  EXPECT_EQ(still->flags, SURFACE_INITIAL);
  EXPECT_TRUE(fades->flags & OBJECT_DYNAMIC);
  EXPECT_TRUE(fading->flags & SURFACE_ANIMATED);
  EXPECT_TRUE(dims->flags & OBJECT_DYNAMIC);
  EXPECT_TRUE(slides->flags & OBJECT_DYNAMIC);
  EXPECT_FALSE(sliding->flags & SURFACE_ANIMATED);  // a layer envelope isn't a surface envelope
  EXPECT_TRUE(morphs->flags & OBJECT_DYNAMIC);
  EXPECT_TRUE(morphs->flags & OBJECT_COMPILE_TRANSPARENT);

  // Both planar layers are projected: axis Y gives u = p.x / 2, v = -p.z / 4 from the corner.
  for (int li = 0; li < 2; ++li) {
    const CornerCoords& coords = slides->triangles[0].texCoords[li];
    EXPECT_FLOAT_EQ(coords.cornerU[1], 1.0f);
    EXPECT_FLOAT_EQ(coords.cornerV[1], -1.0f);
    EXPECT_FLOAT_EQ(coords.cornerU[2], 0.0f);
    EXPECT_FLOAT_EQ(coords.cornerV[0], 0.0f);
  }
}

}  // namespace

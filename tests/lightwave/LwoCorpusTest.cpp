// Real objects, none of triangles only: read as the player reads them each fails with its first
// message; triangulated, each loads whole, covering its polygons' area (read separately) exactly.
#include "support/SceneFixture.h"

#include <cstdio>
#include <cstring>

namespace {

struct CorpusLayer {
  uint32_t points, triangles;
  double area;  // sum of the polygons' areas
};

struct CorpusObject {
  const char* path;     // under lightwave/
  const char* failure;  // the first level-0 line when read without triangulation
  uint32_t tags;
  std::vector<CorpusLayer> layers;
  const char* image;  // the one texture its surfaces name
};

const char* const POLYGONS = "LWOLDR(ReadPOLS) - File %s contains polygons with more than three vertices!";
const char* const VMAP = "LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"%s\" in %%s. The coordinate "
                         "dimension is not 2(UV)!";
const CorpusLayer SPHERE = {266, 528, 63.522419}, EARTH = {266, 528, 95.938423}, CELLS = {16, 24, 150.860006};

std::string Vmap(const char* name) {
  char text[256];
  std::snprintf(text, sizeof text, VMAP, name);
  return text;
}

const std::vector<CorpusObject>& Objects() {
  static const std::string normals = Vmap("vert_normals"), colours = Vmap("Vertex Color 0");
  static const std::vector<CorpusObject> objects = {
      {"mapping/earth_cylindrical_x_scale_222_wrap_21.lwo", POLYGONS, 2, {EARTH}, "earthCylindric.jpg"},
      {"mapping/earth_cylindrical_y.lwo", POLYGONS, 2, {EARTH}, "earthCylindric.jpg"},
      {"mapping/earth_planar_z.lwo", POLYGONS, 2, {EARTH}, "earthSpherical.jpg"},
      {"mapping/earth_planar_z_scale_111.lwo", POLYGONS, 2, {EARTH}, "earthSpherical.jpg"},
      {"mapping/earth_spherical_y.lwo", POLYGONS, 2, {EARTH}, "earthSpherical.jpg"},
      {"mapping/earth_uv_cylindrical_y.lwo", POLYGONS, 2, {EARTH}, "earthCylindric.jpg"},
      {"objects/CellShader.lwo", POLYGONS, 2, {CELLS}, nullptr},
      {"objects/ModoExport_vertNormals.lwo", normals.c_str(), 1, {SPHERE}, nullptr},
      {"objects/Subdivision.lwo", POLYGONS, 2, {{26, 48, 17.974999}}, nullptr},
      {"objects/SuperCellShader.lwo", POLYGONS, 2, {CELLS}, nullptr},
      {"objects/box_2uv_1unused.lwo", POLYGONS, 2, {{8, 12, 47.875001}}, "any_texture"},
      {"objects/box_2vc_1unused.lwo", colours.c_str(), 2, {{218, 432, 47.875001}}, "white.bmp"},
      {"objects/boxuv.lwo", POLYGONS, 1, {{24, 12, 6.0}}, "boxuv.png"},
      {"objects/concave_polygon.lwo", POLYGONS, 1, {{64, 64, 0.245497}}, nullptr},
      {"objects/hierarchy.lwo", POLYGONS, 4,
       {{8, 12, 44.730001}, {266, 528, 50.332769}, {8, 12, 44.415000}, {8, 12, 35.355001}}, nullptr},
      {"objects/sphere_with_gradient.lwo", POLYGONS, 2, {SPHERE}, nullptr},
      {"objects/sphere_with_mat_gloss_10pc.lwo", POLYGONS, 1, {SPHERE}, nullptr},
      {"scenes/simple_cube.lwo", POLYGONS, 2, {{8, 12, 29.58}}, nullptr},
  };
  return objects;
}

class LwoCorpus : public test::SceneFixture {
 protected:
  bool LoadCorpus(const std::string& path) {
    const std::string full = test::CorpusDir() + "/lightwave/" + path;
    const std::string name = full.substr(full.find_last_of('/') + 1);
    Vfs corpus;
    const char* names[] = {name.c_str()};
    EXPECT_TRUE(corpus.Mount(MOUNT_DIRECTORY, full.substr(0, full.find_last_of('/')).c_str(), names, 1)) << path;
    return LwoLoader::Load(*scene, corpus, name.c_str());
  }
};

TEST_F(LwoCorpus, ObjectsFailWithTheirFirstMessageOrLoadWholeWithTriangulation) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusObject& object : Objects()) {
    SCOPED_TRACE(object.path);
    NewScene();
    system.settings.triangulate = false;
    char expected[512];
    std::snprintf(expected, sizeof expected, object.failure, std::strrchr(object.path, '/') + 1);
    const size_t before = LinesWith(std::string("[ 00 ] - ") + expected);
    EXPECT_FALSE(LoadCorpus(object.path));
    EXPECT_EQ(LinesWith(std::string("[ 00 ] - ") + expected), before + 1);

    NewScene();
    system.settings.triangulate = true;
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
      // No triangle overlaps another or leaves its polygon (concave_polygon.lwo is one polygon of
      // 66 corners); the spheres' slightly bent quads make a little more.
      EXPECT_NEAR(area, object.layers[i].area, object.layers[i].area * 2e-3);
    }
    EXPECT_EQ(system.textureCache.references,
              object.image ? std::vector<std::string>{object.image} : std::vector<std::string>{});
  }

  // The box's block names the first of its two UV maps, testUV0: the LightWave look draws it,
  // with its entries for the corners of polygon 4 at points 3 and 7 (one repeat to the left);
  // the classic look draws the map read last, testUV1.
  const float uv0[8][2] = {{0.1158f, 0.3905f}, {0.3842f, 0.3905f}, {0.6158f, 0.3905f}, {0.8842f, 0.3905f},
                           {0.1158f, 0.6095f}, {0.3842f, 0.6095f}, {0.6158f, 0.6095f}, {0.8842f, 0.6095f}};
  for (bool lightwave : {false, true}) {
    NewScene();
    system.settings.triangulate = true;
    system.settings.lightwave = lightwave;
    ASSERT_TRUE(LoadCorpus("objects/box_2uv_1unused.lwo"));
    PrecalcObject(Object(0), nullptr);
    const std::vector<Triangle>& triangles = Object(0).triangles;
    if (!lightwave) {
      EXPECT_NEAR(triangles[0].texCoords[0].cornerV[0], 0.2518f, 1e-4f) << "point 0 from testUV1";
      continue;
    }
    for (size_t t = 0; t < triangles.size(); ++t)
      for (int k = 0; k < 3; ++k) {
        const uint32_t point = triangles[t].cornerIndex[k];
        const bool corner = t / 2 == 4 && (point == 3 || point == 7);
        EXPECT_NEAR(triangles[t].texCoords[0].cornerU[k], uv0[point][0] - (corner ? 1 : 0), 1e-4f) << t;
        EXPECT_NEAR(triangles[t].texCoords[0].cornerV[k], uv0[point][1], 1e-4f) << t;
      }
  }
}

}  // namespace

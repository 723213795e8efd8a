// Real objects, none of triangles only: triangulated, each loads whole, covering its polygons' area
// (read separately) exactly.
#include "support/SceneFixture.h"

namespace {

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
    const std::string full = test::CorpusDir() + "/lightwave/" + path;
    const std::string name = full.substr(full.find_last_of('/') + 1);
    Vfs corpus;
    const char* names[] = {name.c_str()};
    EXPECT_TRUE(corpus.Mount(MOUNT_DIRECTORY, full.substr(0, full.find_last_of('/')).c_str(), names, 1)) << path;
    NewScene();
    system.settings.triangulate = true;
    return LwoLoader::Load(*scene, corpus, name.c_str());
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
      // No triangle overlaps another or leaves its polygon (concave_polygon.lwo is one polygon of
      // 66 corners); the spheres' slightly bent quads make a little more.
      EXPECT_NEAR(area, object.layers[i].area, object.layers[i].area * 2e-3);
    }
    EXPECT_EQ(system.textureCache.references,
              object.image ? std::vector<std::string>{object.image} : std::vector<std::string>{});
  }

  // The box names two UV maps: the classic look draws the one read last (testUV1), the LightWave
  // look the one its block names (testUV0).
  for (bool lightwave : {false, true}) {
    system.settings.lightwave = lightwave;
    ASSERT_TRUE(LoadCorpus("objects/box_2uv_1unused.lwo"));
    PrecalcObject(Object(0), nullptr);
    EXPECT_NEAR(Object(0).triangles[0].texCoords[0].cornerV[0], lightwave ? 0.3905f : 0.2518f, 1e-4f) << lightwave;
  }
}

}  // namespace

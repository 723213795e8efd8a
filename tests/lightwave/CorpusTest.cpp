// The corpus's real files: objects load whole when triangulated; one motion loads alike in every format.
#include "support/SceneFixture.h"

#include <filesystem>

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

using LwsCorpus = test::SceneFixture;

TEST_F(LwsCorpus, RealScenesLoadAlikeWhateverTheirFormat) {
  SKIP_WITHOUT_CORPUS();
  system.settings.triangulate = true;  // the cube is of quads
  const std::string folder = test::CorpusDir() + "/lightwave/scenes/";
  std::filesystem::copy_file(folder + "simple_cube.lwo", dir / "simple_cube.lwo");
  // The last frame, then every key of the cube, the light and the camera, channel by channel.
  auto load = [&](const char* name) {
    NewScene();
    EXPECT_TRUE(LoadScene(test::ReadText(folder + name), name)) << name;
    std::vector<std::vector<float>> keys = {{scene->lastFrame}};
    if (scene->objects.size() != 1 || scene->lights.size() != 1 || scene->cameras.size() != 1) {
      ADD_FAILURE() << name << ": items";
      return keys;
    }
    const SceneObject& cube = Object(0);
    EXPECT_TRUE(cube.fileName == "simple_cube.lwo" && cube.flags == OBJECT_CLAIMED && cube.triangles.size() == 12u);
    EXPECT_TRUE(scene->lights[0]->name == "Light" && scene->lights[0]->kind == LIGHT_POINT);
    EXPECT_TRUE(scene->cameras[0]->name == "Camera" && scene->cameras[0]->target == nullptr);
    for (const auto& [slots, count] : {std::pair{cube.envelopes, 9u}, {scene->lights[0]->envelopes, LIGHT_ENVELOPE_COUNT},
                                       {scene->cameras[0]->envelopes, CAMERA_ENVELOPE_COUNT}})
      for (uint32_t c = 0; c < count; ++c) {
        EXPECT_TRUE(slots[c] && !slots[c]->keys.empty()) << name << " channel " << c;
        std::vector<float>& channel = keys.emplace_back();
        for (size_t k = 0; slots[c] && k < slots[c]->keys.size(); ++k) {
          EXPECT_TRUE(k == 0 || slots[c]->keys[k - 1].time < slots[c]->keys[k].time) << name;
          channel.insert(channel.end(), {slots[c]->keys[k].time, slots[c]->keys[k].value});
        }
      }
    return keys;
  };
  const std::vector<std::vector<const char*>> groups = {
      {"move_x.lws", "move_x_oldformat_6.lws"},
      {"move_x_post_linear.lws", "move_x_post_repeat.lws", "move_x_post_reset.lws"},
      {"move_xz_hermite.lws", "move_xz_linear.lws", "move_xz_bezier.lws"}};
  for (const auto& group : groups) {
    const auto first = load(group[0]);
    EXPECT_EQ(first[0][0], group[0][6] == '.' ? 60 : 120) << group[0];
    for (const char* name : group) EXPECT_EQ(load(name), first) << name;
  }
  EXPECT_TRUE(boxes.messages.empty());
  EXPECT_EQ(log.Text().find("[ 01 ] - LWSLDR"), std::string::npos);
}

}  // namespace

// Real objects saved by LightWave and other modellers. None of them is made of triangles only:
// read as the player reads objects, each must fail with its first message; read with
// triangulation, each must load whole. The expected numbers come from a separate reading of the
// files (points, corners - 2 per polygon, polygon areas, tags, surface and block attributes).
#include "LwoFixture.h"

#include <cmath>

namespace {

struct CorpusLayer {
  uint16_t number;
  const char* name;
  Vec3 pivot;
  uint32_t points;
  uint32_t triangles;
  double area;           // sum of the polygons' areas
  const char* surface;   // the surface every triangle of the layer carries
};

struct CorpusSurface {
  const char* name;
  Vec3 color;
  const char* image;     // of its one texture layer; none for no layer
  uint8_t projection, axis;
  Vec3 center, size;
};

struct CorpusObject {
  const char* path;      // under lightwave/
  const char* failure;   // the first level-0 line when read without triangulation
  uint32_t tags;
  std::vector<CorpusLayer> layers;
  std::vector<CorpusSurface> surfaces;
};

const char* const POLYGONS = "LWOLDR(ReadPOLS) - File %s contains polygons with more than three vertices!";

const Vec3 ORIGIN = {0, 0, 0};
const Vec3 GREY = {0.7843137383460999f, 0.7843137383460999f, 0.7843137383460999f};
const Vec3 PINK = {1.0f, 0.501960813999176f, 0.7529411911964417f};
const Vec3 EARTH_CENTER = {-0.5500000715255737f, 0.19999992847442627f, 0};
const Vec3 EARTH_SIZE = {5.699999809265137f, 5.300000190734863f, 5.699999809265137f};
const Vec3 UNIT = {1, 1, 1};

CorpusLayer Sphere(const char* surface, double area) { return {1, "", ORIGIN, 266, 528, area, surface}; }
CorpusSurface Earth(const char* image, uint8_t projection, uint8_t axis, Vec3 center, Vec3 size) {
  return {"Default", GREY, image, projection, axis, center, size};
}

const std::vector<CorpusObject>& Objects() {
  static const std::vector<CorpusObject> objects = {
      {"mapping/earth_cylindrical_x_scale_222_wrap_21.lwo", POLYGONS, 2, {Sphere("Default", 95.938423)},
       {Earth("earthCylindric.jpg", 1, 0, EARTH_CENTER, {2, 2, 2})}},
      {"mapping/earth_cylindrical_y.lwo", POLYGONS, 2, {Sphere("Default", 95.938423)},
       {Earth("earthCylindric.jpg", 1, 1, EARTH_CENTER, EARTH_SIZE)}},
      {"mapping/earth_planar_z.lwo", POLYGONS, 2, {Sphere("Default", 95.938423)},
       {Earth("earthSpherical.jpg", 0, 2, EARTH_CENTER, EARTH_SIZE)}},
      {"mapping/earth_planar_z_scale_111.lwo", POLYGONS, 2, {Sphere("Default", 95.938423)},
       {Earth("earthSpherical.jpg", 0, 2, EARTH_CENTER, UNIT)}},
      {"mapping/earth_spherical_y.lwo", POLYGONS, 2, {Sphere("Default", 95.938423)},
       {Earth("earthSpherical.jpg", 2, 1, ORIGIN, UNIT)}},
      {"mapping/earth_uv_cylindrical_y.lwo", POLYGONS, 2, {Sphere("Default", 95.938423)},
       {Earth("earthCylindric.jpg", 5, 1, EARTH_CENTER, EARTH_SIZE)}},
      {"objects/CellShader.lwo", POLYGONS, 2, {{1, "", ORIGIN, 16, 24, 150.860006, "Default"}},
       {{"Default", GREY, nullptr, 0, 0, {}, {}}}},
      {"objects/ModoExport_vertNormals.lwo",
       "LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"vert_normals\" in %s. The coordinate dimension is "
       "not 2(UV)!",
       1, {Sphere("Default", 63.522419)}, {{"Default", {1.0f, 0.501960813999176f, 0.7529412508010864f}, nullptr, 0, 0, {}, {}}}},
      {"objects/Subdivision.lwo", POLYGONS, 2, {{1, "", ORIGIN, 26, 48, 17.974999, "Default"}},
       {{"Default", GREY, nullptr, 0, 0, {}, {}}}},
      {"objects/SuperCellShader.lwo", POLYGONS, 2, {{1, "", ORIGIN, 16, 24, 150.860006, "Default"}},
       {{"Default", GREY, nullptr, 0, 0, {}, {}}}},
      {"objects/box_2uv_1unused.lwo", POLYGONS, 2, {{1, "", ORIGIN, 8, 12, 47.875001, "Default"}},
       {{"Default", GREY, "any_texture", 5, 2, ORIGIN, UNIT}}},
      {"objects/box_2vc_1unused.lwo",
       "LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"Vertex Color 0\" in %s. The coordinate dimension "
       "is not 2(UV)!",
       2, {{1, "", ORIGIN, 218, 432, 47.875001, "Default"}}, {{"Default", GREY, "white.bmp", 5, 2, ORIGIN, UNIT}}},
      {"objects/boxuv.lwo", POLYGONS, 1, {{1, "", ORIGIN, 24, 12, 6.0, "boxSurface"}},
       {{"boxSurface", GREY, "boxuv.png", 5, 2, ORIGIN, UNIT}}},
      {"objects/concave_polygon.lwo", POLYGONS, 1,
       {{1, "concave_polygon", ORIGIN, 64, 64, 0.245497, "test_Smoothing"}},
       {{"test_Smoothing", {0.1411760002374649f, 0.18431399762630463f, 0.4117650091648102f}, nullptr, 0, 0, {}, {}}}},
      {"objects/hierarchy.lwo", POLYGONS, 4,
       {{4, "ChildOfRoot0", ORIGIN, 8, 12, 44.730001, "BoxOnLayer3"},
        {5, "RootOfHierarchy", ORIGIN, 266, 528, 50.332769, "Default"},
        {3, "GrandChildOfRoot0", {0.800000011920929f, 0, 1.350000023841858f}, 8, 12, 44.415000, "Default"},
        {2, "ChildOfRoot1", {-2.75f, 0, -0.8500000238418579f}, 8, 12, 35.355001, "RedBox"}},
       {{"BoxOnLayer3", {0.501960813999176f, 0.501960813999176f, 0.7529411911964417f}, nullptr, 0, 0, {}, {}},
        {"Default", GREY, nullptr, 0, 0, {}, {}},
        {"RedBox", {1, 0, 0}, nullptr, 0, 0, {}, {}}}},
      {"objects/sphere_with_gradient.lwo", POLYGONS, 2, {Sphere("Default", 63.522419)},
       {{"Default", PINK, nullptr, 0, 0, {}, {}}}},
      {"objects/sphere_with_mat_gloss_10pc.lwo", POLYGONS, 1, {Sphere("Default", 63.522419)},
       {{"Default", {1.0f, 0.501960813999176f, 0.7529412508010864f}, nullptr, 0, 0, {}, {}}}},
      {"scenes/simple_cube.lwo", POLYGONS, 2, {{1, "", ORIGIN, 8, 12, 29.58, "Default"}},
       {{"Default", GREY, nullptr, 0, 0, {}, {}}}},
  };
  return objects;
}

double TriangleArea(const SceneObject& object, const Triangle& t) {
  Vec3 a = object.baseVertices[t.cornerIndex[0]].position;
  Vec3 b = object.baseVertices[t.cornerIndex[1]].position;
  Vec3 c = object.baseVertices[t.cornerIndex[2]].position;
  return Length(Cross({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z})) / 2.0;
}

class LwoCorpus : public LwoFixture {
 protected:
  bool LoadCorpus(const std::string& path) {
    std::string full = test::CorpusDir() + "/lightwave/" + path;
    std::string folder = full.substr(0, full.find_last_of('/'));
    std::string name = full.substr(full.find_last_of('/') + 1);
    Vfs vfs;
    const char* names[] = {name.c_str()};
    EXPECT_TRUE(vfs.Mount(MOUNT_DIRECTORY, folder.c_str(), names, 1)) << path;
    return LwoLoader::Load(*scene, vfs, name.c_str());
  }
};

TEST_F(LwoCorpus, ObjectsWithMoreThanTrianglesFailWithTheirFirstMessage) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusObject& object : Objects()) {
    NewScene();
    std::string name = std::string(object.path).substr(std::string(object.path).find('/') + 1);
    char expected[512];
    std::snprintf(expected, sizeof expected, object.failure, name.c_str());
    size_t before = LinesWith(std::string("[ 00 ] - ") + expected);
    EXPECT_FALSE(LoadCorpus(object.path)) << object.path;
    EXPECT_EQ(LinesWith(std::string("[ 00 ] - ") + expected), before + 1) << object.path;
  }
}

TEST_F(LwoCorpus, ObjectsLoadWholeWithTriangulation) {
  SKIP_WITHOUT_CORPUS();
  system.settings.triangulate = true;
  for (const CorpusObject& object : Objects()) {
    SCOPED_TRACE(object.path);
    NewScene();
    system.textureCache.references.clear();
    ASSERT_TRUE(LoadCorpus(object.path));
    ASSERT_EQ(scene->objects.size(), object.layers.size());
    EXPECT_EQ(scene->surfaces.size(), object.tags);
    for (size_t i = 0; i < object.layers.size(); ++i) {
      const CorpusLayer& expected = object.layers[i];
      const SceneObject& layer = *scene->objects[i];
      EXPECT_EQ(layer.layerNumber, expected.number);
      EXPECT_EQ(layer.layerName, expected.name);
      EXPECT_EQ(layer.pivot.x, expected.pivot.x);
      EXPECT_EQ(layer.pivot.z, expected.pivot.z);
      EXPECT_EQ(layer.baseVertices.size(), expected.points);
      ASSERT_EQ(layer.triangles.size(), expected.triangles);
      double area = 0;
      for (const Triangle& triangle : layer.triangles) {
        ASSERT_NE(triangle.surface, nullptr);
        EXPECT_EQ(triangle.surface->name, expected.surface);
        area += TriangleArea(layer, triangle);
      }
      // No triangle overlaps another or reaches outside its polygon (concave_polygon.lwo is one
      // polygon of 66 corners); slightly bent quads of the spheres make triangles a little
      // larger than their outline.
      EXPECT_NEAR(area, expected.area, expected.area * 2e-3);
    }
    std::vector<std::string> images;
    for (const CorpusSurface& expected : object.surfaces) {
      const Surface* surface = scene->FindSurfaceByName(expected.name);
      ASSERT_NE(surface, nullptr) << expected.name;
      EXPECT_EQ(surface->color.x, expected.color.x);
      EXPECT_EQ(surface->color.y, expected.color.y);
      EXPECT_EQ(surface->color.z, expected.color.z);
      EXPECT_EQ(surface->diffuse, 1.0f);
      if (!expected.image) {
        EXPECT_EQ(surface->layerCount, 0u);
        continue;
      }
      images.push_back(expected.image);
      ASSERT_EQ(surface->layerCount, 1u);
      const TextureLayer& layer = *surface->layers[0];
      EXPECT_EQ(layer.imageName, expected.image);
      EXPECT_EQ(layer.channel, LAYER_COLOR);
      EXPECT_EQ(layer.projection, expected.projection);
      EXPECT_EQ(layer.axis, expected.axis);
      EXPECT_EQ(layer.center.x, expected.center.x);
      EXPECT_EQ(layer.center.y, expected.center.y);
      EXPECT_EQ(layer.size.x, expected.size.x);
      EXPECT_EQ(layer.size.y, expected.size.y);
    }
    EXPECT_EQ(system.textureCache.references, images);
  }
}

}  // namespace

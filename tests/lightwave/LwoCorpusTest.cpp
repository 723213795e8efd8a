// Real objects saved by LightWave and other modellers. None of them is made of triangles only:
// read as the player reads objects, each must fail with its first message; read with
// triangulation, each must load whole. The expected numbers come from a separate reading of the
// files (points, corners - 2 per polygon, polygon areas, tags, surface and block attributes).
#include "support/SceneFixture.h"

#include <cstdio>
#include <cstring>

namespace {

struct CorpusLayer {
  uint16_t number;
  const char* name;
  Vec3 pivot;
  uint32_t points, triangles;
  double area;          // sum of the polygons' areas
  const char* surface;  // the surface every triangle of the layer carries
};

struct CorpusSurface {
  const char* name;
  Vec3 color;
  const char* image;  // of its one texture layer; none for no layer
  uint8_t projection, axis;
  Vec3 center, size;
};

struct CorpusObject {
  const char* path;     // under lightwave/
  const char* failure;  // the first level-0 line when read without triangulation
  uint32_t tags;
  std::vector<CorpusLayer> layers;
  std::vector<CorpusSurface> surfaces;
};

const char* const POLYGONS = "LWOLDR(ReadPOLS) - File %s contains polygons with more than three vertices!";
const char* const VMAP = "LWOLDR(ReadVMAP) - Loader encountered invalid vertex map \"%s\" in %%s. The coordinate "
                         "dimension is not 2(UV)!";
const Vec3 O = {0, 0, 0}, UNIT = {1, 1, 1};
const Vec3 GREY = {0.7843137383460999f, 0.7843137383460999f, 0.7843137383460999f};
const Vec3 PINK = {1.0f, 0.501960813999176f, 0.7529411911964417f};
const Vec3 PINK2 = {1.0f, 0.501960813999176f, 0.7529412508010864f};
const Vec3 EARTH_CENTER = {-0.5500000715255737f, 0.19999992847442627f, 0};
const Vec3 EARTH_SIZE = {5.699999809265137f, 5.300000190734863f, 5.699999809265137f};

CorpusLayer Sphere(double area) { return {1, "", O, 266, 528, area, "Default"}; }
CorpusLayer Box(uint32_t points, uint32_t triangles, double area) { return {1, "", O, points, triangles, area, "Default"}; }
CorpusSurface Plain(Vec3 color, const char* name = "Default") { return {name, color, nullptr, 0, 0, {}, {}}; }
CorpusObject Earth(const char* path, const char* image, uint8_t projection, uint8_t axis, Vec3 center, Vec3 size) {
  return {path, POLYGONS, 2, {Sphere(95.938423)}, {{"Default", GREY, image, projection, axis, center, size}}};
}

std::string Vmap(const char* name) {
  char text[256];
  std::snprintf(text, sizeof text, VMAP, name);
  return text;
}

const std::vector<CorpusObject>& Objects() {
  static const std::string normals = Vmap("vert_normals"), colours = Vmap("Vertex Color 0");
  static const std::vector<CorpusObject> objects = {
      Earth("mapping/earth_cylindrical_x_scale_222_wrap_21.lwo", "earthCylindric.jpg", 1, 0, EARTH_CENTER, {2, 2, 2}),
      Earth("mapping/earth_cylindrical_y.lwo", "earthCylindric.jpg", 1, 1, EARTH_CENTER, EARTH_SIZE),
      Earth("mapping/earth_planar_z.lwo", "earthSpherical.jpg", 0, 2, EARTH_CENTER, EARTH_SIZE),
      Earth("mapping/earth_planar_z_scale_111.lwo", "earthSpherical.jpg", 0, 2, EARTH_CENTER, UNIT),
      Earth("mapping/earth_spherical_y.lwo", "earthSpherical.jpg", 2, 1, O, UNIT),
      Earth("mapping/earth_uv_cylindrical_y.lwo", "earthCylindric.jpg", 5, 1, EARTH_CENTER, EARTH_SIZE),
      {"objects/CellShader.lwo", POLYGONS, 2, {Box(16, 24, 150.860006)}, {Plain(GREY)}},
      {"objects/ModoExport_vertNormals.lwo", normals.c_str(), 1, {Sphere(63.522419)}, {Plain(PINK2)}},
      {"objects/Subdivision.lwo", POLYGONS, 2, {Box(26, 48, 17.974999)}, {Plain(GREY)}},
      {"objects/SuperCellShader.lwo", POLYGONS, 2, {Box(16, 24, 150.860006)}, {Plain(GREY)}},
      {"objects/box_2uv_1unused.lwo", POLYGONS, 2, {Box(8, 12, 47.875001)},
       {{"Default", GREY, "any_texture", 5, 2, O, UNIT}}},
      {"objects/box_2vc_1unused.lwo", colours.c_str(), 2, {Box(218, 432, 47.875001)},
       {{"Default", GREY, "white.bmp", 5, 2, O, UNIT}}},
      {"objects/boxuv.lwo", POLYGONS, 1, {{1, "", O, 24, 12, 6.0, "boxSurface"}},
       {{"boxSurface", GREY, "boxuv.png", 5, 2, O, UNIT}}},
      {"objects/concave_polygon.lwo", POLYGONS, 1, {{1, "concave_polygon", O, 64, 64, 0.245497, "test_Smoothing"}},
       {Plain({0.1411760002374649f, 0.18431399762630463f, 0.4117650091648102f}, "test_Smoothing")}},
      {"objects/hierarchy.lwo", POLYGONS, 4,
       {{4, "ChildOfRoot0", O, 8, 12, 44.730001, "BoxOnLayer3"},
        {5, "RootOfHierarchy", O, 266, 528, 50.332769, "Default"},
        {3, "GrandChildOfRoot0", {0.800000011920929f, 0, 1.350000023841858f}, 8, 12, 44.415000, "Default"},
        {2, "ChildOfRoot1", {-2.75f, 0, -0.8500000238418579f}, 8, 12, 35.355001, "RedBox"}},
       {Plain({0.501960813999176f, 0.501960813999176f, 0.7529411911964417f}, "BoxOnLayer3"), Plain(GREY),
        Plain({1, 0, 0}, "RedBox")}},
      {"objects/sphere_with_gradient.lwo", POLYGONS, 2, {Sphere(63.522419)}, {Plain(PINK)}},
      {"objects/sphere_with_mat_gloss_10pc.lwo", POLYGONS, 1, {Sphere(63.522419)}, {Plain(PINK2)}},
      {"scenes/simple_cube.lwo", POLYGONS, 2, {Box(8, 12, 29.58)}, {Plain(GREY)}},
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
      const CorpusLayer& expected = object.layers[i];
      const SceneObject& layer = Object(i);
      EXPECT_EQ(layer.layerNumber, expected.number);
      EXPECT_EQ(layer.layerName, expected.name);
      EXPECT_TRUE(layer.pivot.x == expected.pivot.x && layer.pivot.z == expected.pivot.z);
      EXPECT_EQ(layer.baseVertices.size(), expected.points);
      ASSERT_EQ(layer.triangles.size(), expected.triangles);
      double area = 0;
      for (const Triangle& t : layer.triangles) {
        ASSERT_NE(t.surface, nullptr);
        EXPECT_EQ(t.surface->name, expected.surface);
        const Vec3 a = layer.baseVertices[t.cornerIndex[0]].position, b = layer.baseVertices[t.cornerIndex[1]].position,
                   c = layer.baseVertices[t.cornerIndex[2]].position;
        area += Length(Cross({b.x - a.x, b.y - a.y, b.z - a.z}, {c.x - a.x, c.y - a.y, c.z - a.z})) / 2.0;
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
      EXPECT_TRUE(surface->color.x == expected.color.x && surface->color.y == expected.color.y &&
                  surface->color.z == expected.color.z);
      EXPECT_EQ(surface->diffuse, 1.0f);
      ASSERT_EQ(surface->layerCount, expected.image ? 1u : 0u);
      if (!expected.image) continue;
      images.push_back(expected.image);
      const TextureLayer& layer = *surface->layers[0];
      EXPECT_EQ(layer.imageName, expected.image);
      EXPECT_EQ(layer.channel, LAYER_COLOR);
      EXPECT_TRUE(layer.projection == expected.projection && layer.axis == expected.axis);
      EXPECT_TRUE(layer.center.x == expected.center.x && layer.center.y == expected.center.y);
      EXPECT_TRUE(layer.size.x == expected.size.x && layer.size.y == expected.size.y);
    }
    EXPECT_EQ(system.textureCache.references, images);
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

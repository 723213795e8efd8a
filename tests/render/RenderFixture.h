// The render tests' offscreen context, scenes built in code, frames read back and projected points.
#pragma once

#include "platform/Platform.h"
#include "render/Render.h"
#include "support/SceneFixture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace render_test {

using namespace test;  // the scene builders

constexpr float DEGREES = 3.14159265f / 180.0f;

using Pixel = std::pair<float, float>;  // x, y from the top left

// An RGB frame, top row first.
struct Image {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;

  std::vector<int> Rgb(float x, float y) const {
    const uint8_t* at = &rgb[(size_t(y) * width + size_t(x)) * 3];
    return {at[0], at[1], at[2]};
  }
  std::vector<int> Rgb(Pixel pixel) const { return Rgb(pixel.first, pixel.second); }
  bool Black(float x, float y) const { return Rgb(x, y) == std::vector<int>{0, 0, 0}; }
};

// Centre, count and inclusive bounds of the pixels that aren't black.
struct Blob {
  float x = -1, y = -1;
  uint32_t count = 0, left = ~0u, right = 0, top = ~0u, bottom = 0;
};

inline Blob FindBlob(const Image& image) {
  Blob blob;
  double sumX = 0, sumY = 0;
  for (uint32_t y = 0; y < image.height; ++y)
    for (uint32_t x = 0; x < image.width; ++x) {
      if (image.Black(x, y)) continue;
      sumX += x + 0.5;
      sumY += y + 0.5;
      ++blob.count;
      blob.left = std::min(blob.left, x), blob.right = std::max(blob.right, x);
      blob.top = std::min(blob.top, y), blob.bottom = std::max(blob.bottom, y);
    }
  if (blob.count) blob.x = float(sumX / blob.count), blob.y = float(sumY / blob.count);
  return blob;
}

// Within a few steps of each channel: the small mip-maps of a face seen edge-on blend a little.
inline bool Near(const std::vector<int>& rgb, const std::vector<int>& expected) {
  for (size_t i = 0; i < 3; ++i)
    if (std::abs(rgb[i] - expected[i]) > 4) return false;
  return true;
}

inline void ExpectBlobAt(const Image& image, float x, float y, float tolerance, const char* what) {
  const Blob blob = FindBlob(image);
  ASSERT_GT(blob.count, 0u) << what << ": nothing drawn";
  EXPECT_NEAR(blob.x, x, tolerance) << what;
  EXPECT_NEAR(blob.y, y, tolerance) << what;
}

class RenderFixture : public ::testing::Test {
 protected:
  static constexpr uint32_t WIDTH = 320, HEIGHT = 240;

  void SetUp() override {
    system.ApplySettings({.width = WIDTH, .height = HEIGHT, .widescreen = 0});
    context = platform::CreateOffscreenContext(WIDTH, HEIGHT, 32);
    ASSERT_NE(context, nullptr);
    NewScene();
  }

  void TearDown() override {
    system.textureCache.Free();
    if (scene) ReleaseSceneRendering(*scene);
    platform::DestroyOffscreenContext(context);
  }

  // A fresh, attached scene; the last one's GL objects are released.
  void NewScene() {
    if (scene) ReleaseSceneRendering(*scene);
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
    precalculated = false;
  }

  Camera* AddCamera(Vec3 position = {}, Vec3 rotation = {}) {
    Camera* camera = scene->AddCamera();
    const float values[6] = {position.x, position.y, position.z, rotation.x, rotation.y, rotation.z};
    for (int i = 0; i < 6; ++i) Constant(camera->envelopes[i], values[i]);
    return camera;
  }

  Surface* AddSurface(Vec3 colour, float smoothing = 0, uint8_t flags = SURFACE_INITIAL) {
    Surface* surface = scene->AddSurface();
    surface->color = colour;
    surface->diffuse = 1;
    surface->smoothing = smoothing;
    surface->flags = flags;
    return surface;
  }

  Light* AddLight(uint8_t kind, Vec3 position, Vec3 colour = {1, 1, 1}) {
    Light* light = scene->AddLight();
    light->lightIndex = uint32_t(scene->lights.size() - 1);
    light->kind = kind;
    light->color = colour;
    light->intensity = 1;
    for (int i = 0; i < 3; ++i) Constant(light->envelopes[i], (&position.x)[i]);
    return light;
  }

  // An object at position, turned by rotation, of the given flags (unlit by default).
  SceneObject* AddObject(Vec3 position, Vec3 rotation = {}, uint32_t flags = OBJECT_UNLIT) {
    SceneObject* object = scene->AddObject();
    object->flags = flags;
    Place(object, position, rotation);
    return object;
  }

  // A square in the object's XY plane facing -Z, wound clockwise as front faces are.
  static void AddSquare(SceneObject* object, Surface* surface, Vec3 centre, float half) {
    const uint32_t base = uint32_t(object->baseVertices.size());
    for (const auto& c : {std::array<float, 2>{-half, -half}, {-half, half}, {half, half}, {half, -half}})
      object->baseVertices.push_back(Vertex{{centre.x + c[0], centre.y + c[1], centre.z}, {}, 0, 0});
    test::AddTriangle(object, surface, base, base + 1, base + 2);
    test::AddTriangle(object, surface, base, base + 2, base + 3);
  }

  // Texture coordinates of a square about the object's origin: (0, 0) bottom left, (1, 1) top right.
  static void MapSquare(SceneObject* object) {
    for (Triangle& triangle : object->triangles)
      for (int k = 0; k < 3; ++k) {
        triangle.texCoords[0].cornerU[k] = object->baseVertices[triangle.cornerIndex[k]].position.x > 0;
        triangle.texCoords[0].cornerV[k] = object->baseVertices[triangle.cornerIndex[k]].position.y > 0;
      }
  }

  void Precalculate() {
    if (!precalculated) scene->Precalc(nullptr);
    precalculated = true;
  }

  // Precalculates on first use, clears to clearColour and renders the frame at time, without a GL error.
  Image Render(float time, Vec3 clearColour = {}) {
    Precalculate();
    SetupRenderState();
    SetupViewports(*scene);
    glClearColor(clearColour.x, clearColour.y, clearColour.z, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->RenderFrame(time);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    Image image{WIDTH, HEIGHT, {}};
    EXPECT_TRUE(platform::ReadOffscreenPixels(context, &image.rgb));
    return image;
  }

  // Where a point lands, seen from the origin along +Z: 34.71° high, the width by the aspect, in bandHeight rows.
  static Pixel Project(Vec3 point, float aspect = float(WIDTH) / HEIGHT, uint32_t bandHeight = HEIGHT) {
    const float f = 1.0f / std::tan(34.71f * 0.5f * DEGREES);
    return {(f / aspect * point.x / point.z + 1) * 0.5f * WIDTH,
            float(HEIGHT - bandHeight) / 2 + (1 - f * point.y / point.z) * 0.5f * bandHeight};
  }

  System system;
  platform::OffscreenContext* context = nullptr;
  std::unique_ptr<Scene> scene;
  bool precalculated = false;
};

}  // namespace render_test

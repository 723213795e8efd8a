// What the render tests share: an offscreen context, a scene built in code (cameras, lights,
// surfaces, cubes and squares placed by one-key envelopes), a frame rendered and read back, and
// where the camera maths says a scene point lands on the image.
#pragma once

#include "app/System.h"
#include "platform/Platform.h"
#include "render/Render.h"
#include "scene/Scene.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace render_test {

constexpr float DEGREES = 3.14159265f / 180.0f;

// An RGB frame, top row first.
struct Image {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;

  const uint8_t* At(uint32_t x, uint32_t y) const { return &rgb[(size_t(y) * width + x) * 3]; }
  int R(uint32_t x, uint32_t y) const { return At(x, y)[0]; }
  int G(uint32_t x, uint32_t y) const { return At(x, y)[1]; }
  int B(uint32_t x, uint32_t y) const { return At(x, y)[2]; }
  bool Black(uint32_t x, uint32_t y) const { return R(x, y) == 0 && G(x, y) == 0 && B(x, y) == 0; }
};

// Centre of the pixels that aren't black, and how many there are.
struct Blob {
  float x = -1, y = -1;
  uint32_t count = 0;
  uint32_t left = 0, right = 0, top = 0, bottom = 0;  // inclusive bounds
};

inline Blob FindBlob(const Image& image) {
  Blob blob;
  double sumX = 0, sumY = 0;
  blob.left = image.width;
  blob.top = image.height;
  for (uint32_t y = 0; y < image.height; ++y)
    for (uint32_t x = 0; x < image.width; ++x) {
      if (image.Black(x, y)) continue;
      sumX += x + 0.5;
      sumY += y + 0.5;
      ++blob.count;
      blob.left = std::min(blob.left, x);
      blob.right = std::max(blob.right, x);
      blob.top = std::min(blob.top, y);
      blob.bottom = std::max(blob.bottom, y);
    }
  if (blob.count) {
    blob.x = float(sumX / blob.count);
    blob.y = float(sumY / blob.count);
  }
  return blob;
}

// Gives an envelope slot one key: a constant value.
inline void Constant(std::unique_ptr<Envelope>& slot, float value) {
  slot = std::make_unique<Envelope>();
  EnvelopeKey key;
  key.value = value;
  key.shape = SHAPE_LINEAR;
  slot->keys = {key};
}

// Two linear keys: value0 at time0, value1 at time1.
inline void Ramp(std::unique_ptr<Envelope>& slot, float time0, float value0, float time1, float value1) {
  slot = std::make_unique<Envelope>();
  EnvelopeKey a, b;
  a.time = time0, a.value = value0, a.shape = SHAPE_LINEAR;
  b.time = time1, b.value = value1, b.shape = SHAPE_LINEAR;
  slot->keys = {a, b};
}

// Position, heading/pitch/bank (radians) and unit scale as constant channels.
inline void Place(SceneObject* object, Vec3 position, Vec3 rotation = {}) {
  const float values[9] = {position.x, position.y, position.z, rotation.x, rotation.y, rotation.z, 1, 1, 1};
  for (int i = 0; i < 9; ++i) Constant(object->envelopes[i], values[i]);
}

class RenderFixture : public ::testing::Test {
 protected:
  static constexpr uint32_t WIDTH = 320, HEIGHT = 240;

  void SetUp() override {
    Settings settings;
    settings.width = WIDTH;
    settings.height = HEIGHT;
    settings.widescreen = 0;
    system.ApplySettings(settings);
    context = platform::CreateOffscreenContext(WIDTH, HEIGHT, 32);
    ASSERT_NE(context, nullptr);
    NewScene();
  }

  void TearDown() override {
    if (scene) ReleaseSceneRendering(*scene);
    platform::DestroyOffscreenContext(context);
  }

  // A fresh scene, attached; the last one's GL objects are released.
  void NewScene() {
    if (scene) ReleaseSceneRendering(*scene);
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
    precalculated = false;
  }

  void SetWidescreen(bool on) {
    Settings settings = system.settings;
    settings.widescreen = on;
    system.ApplySettings(settings);
  }

  Camera* AddCamera(Vec3 position = {}, Vec3 rotation = {}) {
    Camera* camera = scene->AddCamera();
    camera->cameraIndex = uint32_t(scene->cameras.size() - 1);
    const float values[6] = {position.x, position.y, position.z, rotation.x, rotation.y, rotation.z};
    for (int i = 0; i < 6; ++i) Constant(camera->envelopes[i], values[i]);
    return camera;
  }

  Surface* AddSurface(Vec3 colour, float smoothing = 0, uint8_t flags = SURFACE_INITIAL) {
    Surface* surface = scene->AddSurface();
    surface->name = "surface";
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
    for (int i = 0; i < 3; ++i) Constant(light->envelopes[i], (&position.x)[i]);
    return light;
  }

  // An object at position, turned by rotation, of the given flags (unlit by default).
  SceneObject* AddObject(Vec3 position, Vec3 rotation = {}, uint32_t flags = OBJECT_UNLIT) {
    SceneObject* object = scene->AddObject();
    object->fileName = "object";
    object->flags = flags;
    Place(object, position, rotation);
    return object;
  }

  // A square in the object's XY plane facing -Z (towards a camera at the origin), in
  // LightWave's clockwise winding.
  static void AddSquare(SceneObject* object, Surface* surface, Vec3 centre, float half) {
    const uint32_t base = uint32_t(object->baseVertices.size());
    const float corners[4][2] = {{-half, -half}, {-half, half}, {half, half}, {half, -half}};
    for (auto& c : corners) {
      Vertex vertex;
      vertex.position = {centre.x + c[0], centre.y + c[1], centre.z};
      object->baseVertices.push_back(vertex);
    }
    AddTriangle(object, surface, base, base + 1, base + 2);
    AddTriangle(object, surface, base, base + 2, base + 3);
  }

  // A cube with outward faces.
  static void AddCube(SceneObject* object, Surface* surface, Vec3 centre, float half) {
    const uint32_t base = uint32_t(object->baseVertices.size());
    for (int i = 0; i < 8; ++i) {
      Vertex vertex;
      vertex.position = {centre.x + (i & 1 ? half : -half), centre.y + (i & 2 ? half : -half),
                         centre.z + (i & 4 ? half : -half)};
      object->baseVertices.push_back(vertex);
    }
    // Each face clockwise seen from outside.
    const uint32_t faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (auto& f : faces) {
      AddTriangle(object, surface, base + f[0], base + f[1], base + f[2]);
      AddTriangle(object, surface, base + f[0], base + f[2], base + f[3]);
    }
  }

  static void AddTriangle(SceneObject* object, Surface* surface, uint32_t a, uint32_t b, uint32_t c) {
    Triangle triangle;
    triangle.cornerIndex[0] = a;
    triangle.cornerIndex[1] = b;
    triangle.cornerIndex[2] = c;
    triangle.surface = surface;
    object->triangles.push_back(triangle);
  }

  // Precalculates on first use, takes the viewports, clears to clearColour and renders the
  // frame at time; no GL error may come of it.
  void Precalculate() {
    if (precalculated) return;
    scene->Precalc(nullptr);
    precalculated = true;
  }

  Image Render(float time, Vec3 clearColour = {}) {
    Precalculate();
    SetupRenderState();
    SetupViewports(*scene);
    glClearColor(clearColour.x, clearColour.y, clearColour.z, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->RenderFrame(time);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    Image image;
    image.width = WIDTH;
    image.height = HEIGHT;
    EXPECT_TRUE(platform::ReadOffscreenPixels(context, &image.rgb));
    return image;
  }

  // Where a scene point lands, in pixels from the top-left corner, seen from a camera at the
  // origin looking along +Z: 34.71° vertically, the width's share by the aspect.
  static void Project(Vec3 point, float aspect, uint32_t bandHeight, float* x, float* y) {
    const float f = 1.0f / std::tan(34.71f * 0.5f * DEGREES);
    const float ndcX = f / aspect * point.x / point.z;
    const float ndcY = f * point.y / point.z;
    const float bandTop = float(HEIGHT - bandHeight) / 2;
    *x = (ndcX + 1) * 0.5f * WIDTH;
    *y = bandTop + (1 - ndcY) * 0.5f * bandHeight;
  }
  static void Project(Vec3 point, float* x, float* y) { Project(point, float(WIDTH) / HEIGHT, HEIGHT, x, y); }

  System system;
  platform::OffscreenContext* context = nullptr;
  std::unique_ptr<Scene> scene;
  bool precalculated = false;
};

}  // namespace render_test

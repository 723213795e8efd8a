// Scenes built in code, and a fixture that loads objects and scene files as the program does,
// with the log read back and message boxes captured.
#pragma once

#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "scene/Scene.h"
#include "support/LwoWriter.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace test {

inline EnvelopeKey Key(float time, float value, uint32_t shape = SHAPE_LINEAR) {
  EnvelopeKey key;
  key.time = time;
  key.value = value;
  key.shape = shape;
  return key;
}

// One key: a constant value. Two: value0 at time0 to value1 at time1, straight.
inline void Constant(std::unique_ptr<Envelope>& slot, float value) {
  slot = std::make_unique<Envelope>();
  slot->keys = {Key(0, value)};
}
inline void Ramp(std::unique_ptr<Envelope>& slot, float time0, float value0, float time1, float value1) {
  slot = std::make_unique<Envelope>();
  slot->keys = {Key(time0, value0), Key(time1, value1)};
}

// Position, heading/pitch/bank (radians) and scale as constant channels.
inline void Place(SceneObject* object, Vec3 position, Vec3 rotation = {}, Vec3 scale = {1, 1, 1}) {
  const float values[9] = {position.x, position.y, position.z, rotation.x, rotation.y,
                           rotation.z, scale.x,    scale.y,    scale.z};
  for (int i = 0; i < 9; ++i) Constant(object->envelopes[i], values[i]);
}

inline void AddTriangle(SceneObject* object, Surface* surface, uint32_t a, uint32_t b, uint32_t c) {
  Triangle& triangle = object->triangles.emplace_back();
  triangle.cornerIndex[0] = a;
  triangle.cornerIndex[1] = b;
  triangle.cornerIndex[2] = c;
  triangle.surface = surface;
}

// A convex polygon of the object's points as a fan of triangles wound to face away from inside
// (front faces are clockwise seen from outside), the pieces after the first continuing it.
inline void AddPolygon(SceneObject* object, Surface* surface, const std::vector<uint32_t>& points, Vec3 inside = {}) {
  for (size_t i = 1; i + 1 < points.size(); ++i) {
    uint32_t t[3] = {points[0], points[i], points[i + 1]};
    const Vec3 &a = object->baseVertices[t[0]].position, &b = object->baseVertices[t[1]].position,
               &c = object->baseVertices[t[2]].position;
    const Vec3 n = Cross(Vec3{b.x - a.x, b.y - a.y, b.z - a.z}, Vec3{c.x - a.x, c.y - a.y, c.z - a.z});
    const Vec3 out = {a.x + b.x + c.x - 3 * inside.x, a.y + b.y + c.y - 3 * inside.y, a.z + b.z + c.z - 3 * inside.z};
    if (n.x * out.x + n.y * out.y + n.z * out.z < 0) std::swap(t[1], t[2]);
    AddTriangle(object, surface, t[0], t[1], t[2]);
    object->triangles.back().continuesPolygon = i > 1;
  }
}

// Solids about the object's origin, of quads split in two and (cylinder) two capping polygons:
// a cylinder along Y of the given sides (or an open tube), and a sphere of 32 meridians and 16
// parallels.
inline void AddCylinder(SceneObject* object, Surface* surface, uint32_t sides, float radius, float halfHeight,
                        bool capped = true) {
  const uint32_t base = uint32_t(object->baseVertices.size());
  for (float y : {-halfHeight, halfHeight})
    for (uint32_t i = 0; i < sides; ++i) {
      const float angle = 6.2831853f * float(i) / float(sides);
      object->baseVertices.push_back(Vertex{{radius * std::cos(angle), y, radius * std::sin(angle)}, {}, 0, 0});
    }
  std::vector<uint32_t> bottom, top;
  for (uint32_t i = 0; i < sides; ++i) {
    const uint32_t next = (i + 1) % sides;
    AddPolygon(object, surface, {base + i, base + next, base + sides + next, base + sides + i});
    bottom.push_back(base + i), top.push_back(base + sides + i);
  }
  if (!capped) return;
  AddPolygon(object, surface, bottom);
  AddPolygon(object, surface, top);
}
inline void AddSphere(SceneObject* object, Surface* surface, float radius) {
  constexpr uint32_t MERIDIANS = 32, PARALLELS = 16;
  const uint32_t base = uint32_t(object->baseVertices.size());
  for (uint32_t j = 0; j <= PARALLELS; ++j)
    for (uint32_t i = 0; i < MERIDIANS; ++i) {
      const float latitude = 3.14159265f * (float(j) / PARALLELS - 0.5f), angle = 6.2831853f * float(i) / MERIDIANS;
      object->baseVertices.push_back(Vertex{{radius * std::cos(latitude) * std::cos(angle), radius * std::sin(latitude),
                                             radius * std::cos(latitude) * std::sin(angle)}, {}, 0, 0});
    }
  for (uint32_t j = 0; j < PARALLELS; ++j)
    for (uint32_t i = 0; i < MERIDIANS; ++i) {
      const uint32_t a = base + j * MERIDIANS + i, b = base + j * MERIDIANS + (i + 1) % MERIDIANS;
      // The pole rows' quads have two corners at one place: only their whole triangle is kept.
      if (j == 0)
        AddPolygon(object, surface, {a, b + MERIDIANS, a + MERIDIANS});
      else if (j == PARALLELS - 1)
        AddPolygon(object, surface, {a, b, a + MERIDIANS});
      else
        AddPolygon(object, surface, {a, b, b + MERIDIANS, a + MERIDIANS});
    }
}

// An object of these points and triangles; triangle t gets surfaces[t % count], or none.
using Corners = std::vector<std::array<uint32_t, 3>>;
inline SceneObject* AddMesh(Scene& scene, const std::vector<Vec3>& points, const Corners& corners,
                            const std::vector<Surface*>& surfaces = {}) {
  SceneObject* object = scene.AddObject();
  for (const Vec3& p : points) object->baseVertices.push_back(Vertex{p, {}, 0, 0});
  for (size_t t = 0; t < corners.size(); ++t)
    AddTriangle(object, surfaces.empty() ? nullptr : surfaces[t % surfaces.size()], corners[t][0], corners[t][1],
                corners[t][2]);
  return object;
}

// A one-layer object of one triangle, or of `layers` layers (layer i shifted by i in x).
inline std::vector<uint8_t> TriangleObject(uint16_t layers = 1, uint16_t flags = 0) {
  LwoWriter w;
  for (uint16_t i = 0; i < layers; ++i) {
    const float x = float(i);
    w.Layer(i, flags, 0, 0, 0, "layer").Points({x, 0, 0, x + 1, 0, 0, x, 1, 0}).Polygons("FACE", {{0, 1, 2}});
  }
  return w.File();
}

// A scene file: "LWSC", the version, then the lines, each ended by CR LF.
inline std::string Lws(const std::vector<std::string>& lines, const char* version = "3") {
  std::string text = std::string("LWSC\r\n") + version + "\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class SceneFixture : public ::testing::Test {
 protected:
  SceneFixture() { NewScene(); }

  // A fresh, empty scene on the same system; the log goes on.
  void NewScene() {
    vfs.Close();
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
  }

  void AddFile(const std::string& name, const std::vector<uint8_t>& bytes) { WriteBytes(dir / name, bytes); }
  void Mount() {
    vfs.Close();
    EXPECT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
  }
  bool LoadObject(const std::vector<uint8_t>& bytes, const std::string& name = "test.lwo") {
    AddFile(name, bytes);
    Mount();
    return LwoLoader::Load(*scene, vfs, name.c_str());
  }
  bool LoadScene(const std::string& text, const std::string& name = "test.lws") {
    WriteText(dir / name, text);
    Mount();
    return scene->Load(&vfs, name.c_str());
  }

  bool Logged(int level, const std::string& text) const { return log.Has(level, text); }
  size_t LinesWith(const std::string& text) const { return log.Count(text); }
  SceneObject& Object(size_t i) { return *scene->objects.at(i); }

  TempDir dir;
  MessageCapture boxes;
  LogFile log{dir / "ZIVI3.LOG"};
  System system;
  Vfs vfs;
  std::unique_ptr<Scene> scene;
};

}  // namespace test

// Scenes built in code, and a fixture that loads objects and scene files as the program does,
// with the log read back and message boxes captured.
#pragma once

#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "scene/Scene.h"
#include "LwoWriter.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace test {

using iff::LwoWriter;

inline EnvelopeKey Key(float time, float value, uint32_t shape = SHAPE_LINEAR) {
  return EnvelopeKey{.time = time, .value = value, .shape = shape};
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

// A solid about the object's Y axis: rings of (radius, y), each of `sides` points, joined by
// quads (by triangles at a ring of radius 0, a pole); two rings may be capped.
inline void AddRings(SceneObject* object, Surface* surface, uint32_t sides, const std::vector<std::array<float, 2>>& rings,
                     bool capped) {
  const uint32_t base = uint32_t(object->baseVertices.size());
  for (const auto& [radius, y] : rings)
    for (uint32_t i = 0; i < sides; ++i) {
      const float angle = 6.2831853f * float(i) / float(sides);
      object->baseVertices.push_back(Vertex{{radius * std::cos(angle), y, radius * std::sin(angle)}, {}, 0, 0});
    }
  for (uint32_t j = 0; j + 1 < rings.size(); ++j)
    for (uint32_t i = 0; i < sides; ++i) {
      const uint32_t a = base + j * sides + i, b = base + j * sides + (i + 1) % sides;
      if (rings[j][0] == 0)
        AddPolygon(object, surface, {a, b + sides, a + sides});
      else if (rings[j + 1][0] == 0)
        AddPolygon(object, surface, {a, b, a + sides});
      else
        AddPolygon(object, surface, {a, b, b + sides, a + sides});
    }
  if (!capped) return;
  std::vector<uint32_t> bottom, top;
  for (uint32_t i = 0; i < sides; ++i) bottom.push_back(base + i), top.push_back(base + sides + i);
  AddPolygon(object, surface, bottom);
  AddPolygon(object, surface, top);
}
// A cylinder along Y (or an open tube), and a sphere of 32 meridians and 16 parallels.
inline void AddCylinder(SceneObject* object, Surface* surface, uint32_t sides, float radius, float halfHeight,
                        bool capped = true) {
  AddRings(object, surface, sides, {{radius, -halfHeight}, {radius, halfHeight}}, capped);
}
inline void AddSphere(SceneObject* object, Surface* surface, float radius) {
  std::vector<std::array<float, 2>> rings;
  for (int j = 0; j <= 16; ++j) {
    const float latitude = 3.14159265f * (float(j) / 16 - 0.5f);
    rings.push_back({j % 16 ? radius * std::cos(latitude) : 0, radius * std::sin(latitude)});
  }
  AddRings(object, surface, 32, rings, false);
}
// A cube of 8 shared points (point i at -half or +half by its bits 1, 2, 4), each face split
// along a diagonal joining two of the points 0, 3, 5, 6, so that every point touches as many
// triangles on each of its faces.
inline void AddCube(SceneObject* object, Surface* surface, Vec3 centre = {}, float half = 1) {
  const uint32_t base = uint32_t(object->baseVertices.size());
  for (int i = 0; i < 8; ++i)
    object->baseVertices.push_back(Vertex{{centre.x + (i & 1 ? half : -half), centre.y + (i & 2 ? half : -half),
                                           centre.z + (i & 4 ? half : -half)}, {}, 0, 0});
  const uint32_t quads[6][4] = {{0, 1, 3, 2}, {5, 7, 6, 4}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 2, 6, 4}, {3, 7, 5, 1}};
  for (const auto& q : quads) AddPolygon(object, surface, {base + q[0], base + q[1], base + q[2], base + q[3]}, centre);
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

#include "lightwave/Triangulate.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <vector>

namespace {

using V3 = std::array<double, 3>;

V3 Sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 Cross(const V3& a, const V3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Length(const V3& a) { return std::sqrt(Dot(a, a)); }

V3 Corner(const std::vector<float>& xyz, uint32_t i) { return {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]}; }

V3 NewellNormal(const std::vector<float>& xyz) {  // twice the area vector
  uint32_t n = uint32_t(xyz.size() / 3);
  V3 sum = {0, 0, 0};
  for (uint32_t i = 0; i < n; ++i) {
    V3 c = Cross(Corner(xyz, i), Corner(xyz, (i + 1) % n));
    for (int k = 0; k < 3; ++k) sum[k] += c[k];
  }
  return sum;
}

// A planar outline (x, y) placed in space on a tilted plane, optionally bent out of it.
std::vector<float> Place(const std::vector<std::array<double, 2>>& outline, double bend = 0) {
  const V3 origin = {3, -2, 7}, u = {0.6, 0.0, 0.8}, v = {0.0, 1.0, 0.0};
  const V3 w = Cross(u, v);
  std::vector<float> xyz;
  for (size_t i = 0; i < outline.size(); ++i) {
    double lift = bend * ((i % 2) ? 1 : -1);
    for (int k = 0; k < 3; ++k) xyz.push_back(float(origin[k] + outline[i][0] * u[k] + outline[i][1] * v[k] + lift * w[k]));
  }
  return xyz;
}

// Whether the point (in the outline's own plane coordinates) lies inside the outline.
bool InsideOutline(const std::vector<std::array<double, 2>>& outline, double x, double y) {
  bool inside = false;
  for (size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
    const auto& a = outline[i];
    const auto& b = outline[j];
    if ((a[1] > y) != (b[1] > y) && x < (b[0] - a[0]) * (y - a[1]) / (b[1] - a[1]) + a[0]) inside = !inside;
  }
  return inside;
}

std::vector<uint32_t> Triangulate(const std::vector<float>& xyz) {
  uint32_t n = uint32_t(xyz.size() / 3);
  std::vector<uint32_t> triangles(3 * (n - 2), 0xDEAD);
  lwo::TriangulateScratch scratch;
  lwo::TriangulatePolygon(xyz.data(), n, triangles.data(), scratch);
  return triangles;
}

// Checks what every triangulation must give: n - 2 triangles of valid, distinct corners, each
// facing the polygon's way, areas adding up to the polygon's (so none overlaps or leaks out).
void ExpectSoundTriangles(const std::vector<float>& xyz, const std::vector<uint32_t>& triangles,
                          double areaTolerance = 1e-4) {
  const uint32_t n = uint32_t(xyz.size() / 3);
  ASSERT_EQ(triangles.size(), 3 * size_t(n - 2));
  const V3 normal = NewellNormal(xyz);
  double area = 0;
  std::set<uint32_t> used;
  for (size_t t = 0; t < triangles.size(); t += 3) {
    ASSERT_LT(triangles[t], n);
    ASSERT_LT(triangles[t + 1], n);
    ASSERT_LT(triangles[t + 2], n);
    EXPECT_NE(triangles[t], triangles[t + 1]);
    EXPECT_NE(triangles[t + 1], triangles[t + 2]);
    EXPECT_NE(triangles[t], triangles[t + 2]);
    V3 a = Corner(xyz, triangles[t]), b = Corner(xyz, triangles[t + 1]), c = Corner(xyz, triangles[t + 2]);
    V3 facing = Cross(Sub(b, a), Sub(c, a));
    EXPECT_GT(Dot(facing, normal), 0) << "triangle " << t / 3 << " is turned over";
    area += Length(facing) / 2;
    used.insert({triangles[t], triangles[t + 1], triangles[t + 2]});
  }
  EXPECT_EQ(used.size(), n) << "a corner was left out";
  EXPECT_NEAR(area, Length(normal) / 2, areaTolerance * Length(normal));
}

TEST(LwoTriangulate, ConvexPolygonsKeepTheirWindingEitherWay) {
  std::vector<std::array<double, 2>> hexagon;
  for (int i = 0; i < 6; ++i) hexagon.push_back({std::cos(i * M_PI / 3), std::sin(i * M_PI / 3)});
  std::vector<float> xyz = Place(hexagon);
  ExpectSoundTriangles(xyz, Triangulate(xyz));

  // The same hexagon wound the other way: still sound, so every triangle faces the other way.
  std::vector<float> reversed;
  for (int i = 5; i >= 0; --i) reversed.insert(reversed.end(), xyz.begin() + 3 * i, xyz.begin() + 3 * i + 3);
  ExpectSoundTriangles(reversed, Triangulate(reversed));

  std::vector<float> quad = Place({{0, 0}, {2, 0}, {2, 1}, {0, 1}});
  ExpectSoundTriangles(quad, Triangulate(quad));
}

TEST(LwoTriangulate, ConcavePolygonsStayInsideTheirOutline) {
  const std::vector<std::vector<std::array<double, 2>>> outlines = {
      {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}},                      // L
      {{0, 0}, {2, 1.5}, {4, 0}, {2, 4}},                                    // arrow head
      {{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}},  // comb
  };
  std::vector<std::array<double, 2>> star;
  for (int i = 0; i < 10; ++i) {
    double r = (i % 2) ? 0.4 : 1.0;
    star.push_back({r * std::cos(i * M_PI / 5), r * std::sin(i * M_PI / 5)});
  }
  std::vector<std::vector<std::array<double, 2>>> all = outlines;
  all.push_back(star);
  for (const auto& outline : all) {
    std::vector<float> xyz = Place(outline);
    std::vector<uint32_t> triangles = Triangulate(xyz);
    ExpectSoundTriangles(xyz, triangles);
    for (size_t t = 0; t < triangles.size(); t += 3) {
      double cx = 0, cy = 0;
      for (int k = 0; k < 3; ++k) cx += outline[triangles[t + k]][0] / 3, cy += outline[triangles[t + k]][1] / 3;
      EXPECT_TRUE(InsideOutline(outline, cx, cy)) << "triangle " << t / 3 << " of a " << outline.size() << "-gon";
    }
  }
}

TEST(LwoTriangulate, NonPlanarPolygonsFaceTheirBestFitPlane) {
  // Corners lifted alternately above and below the plane, as modellers leave after edits.
  std::vector<std::array<double, 2>> ring;
  for (int i = 0; i < 8; ++i) ring.push_back({2 * std::cos(i * M_PI / 4), 2 * std::sin(i * M_PI / 4)});
  std::vector<float> xyz = Place(ring, 0.2);
  std::vector<uint32_t> triangles = Triangulate(xyz);
  // Bent triangles are larger than the flat outline: only count and facing are exact here.
  const V3 normal = NewellNormal(xyz);
  ASSERT_EQ(triangles.size(), 18u);
  for (size_t t = 0; t < triangles.size(); t += 3) {
    V3 a = Corner(xyz, triangles[t]), b = Corner(xyz, triangles[t + 1]), c = Corner(xyz, triangles[t + 2]);
    EXPECT_GT(Dot(Cross(Sub(b, a), Sub(c, a)), normal), 0);
  }
  std::vector<float> bentQuad = Place({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0.1);
  ExpectSoundTriangles(bentQuad, Triangulate(bentQuad), 0.05);
}

TEST(LwoTriangulate, DegeneratePolygonsStillGiveEveryTriangle) {
  // Collinear corners, repeated corners, a polygon without area: n - 2 triangles of valid corners.
  const std::vector<std::vector<float>> polygons = {
      {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0},
      {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
      {0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0},  // a doubled corner on a square
      {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0},  // folds back over itself
  };
  for (const auto& xyz : polygons) {
    uint32_t n = uint32_t(xyz.size() / 3);
    std::vector<uint32_t> triangles = Triangulate(xyz);
    ASSERT_EQ(triangles.size(), 3 * size_t(n - 2));
    for (uint32_t corner : triangles) EXPECT_LT(corner, n);
  }
  // A polygon of random corners crosses itself everywhere: still n - 2 triangles.
  std::vector<float> tangle;
  uint32_t seed = 12345;
  for (int i = 0; i < 3 * 400; ++i) {
    seed = seed * 1664525u + 1013904223u;
    tangle.push_back(float(seed >> 8) / float(1 << 24));
  }
  std::vector<uint32_t> tangled = Triangulate(tangle);
  ASSERT_EQ(tangled.size(), 3u * 398);
  for (uint32_t corner : tangled) ASSERT_LT(corner, 400u);

  // A square with a doubled corner keeps its whole area.
  std::vector<float> square = polygons[2];
  std::vector<uint32_t> triangles = Triangulate(square);
  double area = 0;
  for (size_t t = 0; t < triangles.size(); t += 3) {
    V3 a = Corner(square, triangles[t]), b = Corner(square, triangles[t + 1]), c = Corner(square, triangles[t + 2]);
    area += Cross(Sub(b, a), Sub(c, a))[2] / 2;
  }
  EXPECT_NEAR(area, 1.0, 1e-9);
}

}  // namespace

#include "lightwave/Triangulate.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <vector>

namespace {

using V3 = std::array<double, 3>;
using Outline = std::vector<std::array<double, 2>>;

V3 Sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 Cross(const V3& a, const V3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const V3& a, const V3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double Length(const V3& a) { return std::sqrt(Dot(a, a)); }
V3 Corner(const std::vector<float>& xyz, uint32_t i) { return {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]}; }

V3 NewellNormal(const std::vector<float>& xyz) {  // twice the area vector
  const uint32_t n = uint32_t(xyz.size() / 3);
  V3 sum = {0, 0, 0};
  for (uint32_t i = 0; i < n; ++i) {
    const V3 c = Cross(Corner(xyz, i), Corner(xyz, (i + 1) % n));
    for (int k = 0; k < 3; ++k) sum[k] += c[k];
  }
  return sum;
}

// A planar outline placed on a tilted plane in space, its corners lifted alternately by ±bend.
std::vector<float> Place(const Outline& outline, double bend = 0) {
  const V3 origin = {3, -2, 7}, u = {0.6, 0.0, 0.8}, v = {0.0, 1.0, 0.0}, w = Cross(u, v);
  std::vector<float> xyz;
  for (size_t i = 0; i < outline.size(); ++i)
    for (int k = 0; k < 3; ++k)
      xyz.push_back(float(origin[k] + outline[i][0] * u[k] + outline[i][1] * v[k] + bend * (i % 2 ? 1 : -1) * w[k]));
  return xyz;
}

std::vector<uint32_t> Triangulate(const std::vector<float>& xyz) {
  const uint32_t n = uint32_t(xyz.size() / 3);
  std::vector<uint32_t> triangles(3 * (n - 2), 0xDEAD);
  lwo::TriangulateScratch scratch;
  lwo::TriangulatePolygon(xyz.data(), n, triangles.data(), scratch);
  EXPECT_EQ(triangles.size(), 3 * size_t(n - 2));
  for (uint32_t corner : triangles) EXPECT_LT(corner, n);
  return triangles;
}

// A sound polygon's triangulation: distinct corners facing its way (or lying flat), every corner used, areas adding up.
void ExpectSound(const std::vector<float>& xyz, double areaTolerance = 1e-4, bool flat = false) {
  const std::vector<uint32_t> triangles = Triangulate(xyz);
  const V3 normal = NewellNormal(xyz);
  double area = 0;
  std::set<uint32_t> used(triangles.begin(), triangles.end());
  for (size_t t = 0; t < triangles.size(); t += 3) {
    const V3 a = Corner(xyz, triangles[t]), b = Corner(xyz, triangles[t + 1]), c = Corner(xyz, triangles[t + 2]);
    EXPECT_TRUE(triangles[t] != triangles[t + 1] && triangles[t + 1] != triangles[t + 2] &&
                triangles[t] != triangles[t + 2]);
    const V3 facing = Cross(Sub(b, a), Sub(c, a));
    EXPECT_TRUE(Dot(facing, normal) > 0 || (flat && Dot(facing, normal) == 0)) << "triangle " << t / 3 << " flipped";
    area += Length(facing) / 2;
  }
  EXPECT_EQ(used.size(), xyz.size() / 3) << "a corner was left out";
  EXPECT_NEAR(area, Length(normal) / 2, areaTolerance * Length(normal));
}

TEST(LwoTriangulate, PolygonsStayInsideTheirOutlineEitherWayRoundAndFaceTheirPlane) {
  Outline hexagon, star;
  for (int i = 0; i < 6; ++i) hexagon.push_back({std::cos(i * M_PI / 3), std::sin(i * M_PI / 3)});
  for (int i = 0; i < 10; ++i) star.push_back({(i % 2 ? 0.4 : 1.0) * std::cos(i * M_PI / 5), (i % 2 ? 0.4 : 1.0) * std::sin(i * M_PI / 5)});
  const std::vector<Outline> outlines = {
      hexagon, {{0, 0}, {2, 0}, {2, 1}, {0, 1}}, star,
      {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}},  // L
      {{0, 0}, {2, 1.5}, {4, 0}, {2, 4}},                // arrow head
      {{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}},  // comb
      // the comb a tenth as large, where the cross products that find a corner inside an ear stay below 1
      {{0, 0}, {.5, 0}, {.5, .3}, {.4, .3}, {.4, .1}, {.3, .1}, {.3, .3}, {.2, .3}, {.2, .1}, {.1, .1}, {.1, .3}, {0, .3}},
  };
  // Either way round: clipped ears add up to the outline, so facing its way means no overlap or leak.
  for (const Outline& forward : outlines)
    for (bool reversed : {false, true})
      ExpectSound(Place(reversed ? Outline(forward.rbegin(), forward.rend()) : forward));
  Outline ring;  // corners lifted off the plane, as modellers leave them, face the best-fit plane (and add area)
  for (int i = 0; i < 8; ++i) ring.push_back({2 * std::cos(i * M_PI / 4), 2 * std::sin(i * M_PI / 4)});
  ExpectSound(Place(ring, 0.2), 1.0);
  ExpectSound(Place({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0.1), 0.05);
}

TEST(LwoTriangulate, DegeneratePolygonsStillGiveEveryTriangle) {
  // Collinear, repeated, arealess and folded corners: still n - 2 triangles of valid corners.
  Triangulate({0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0});
  Triangulate({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  Triangulate({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0});
  std::vector<float> tangle;  // a polygon of random corners crosses itself everywhere
  uint32_t seed = 12345;
  for (int i = 0; i < 3 * 400; ++i) tangle.push_back(float((seed = seed * 1664525u + 1013904223u) >> 8) / float(1 << 24));
  Triangulate(tangle);

  ExpectSound({0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, 1e-9, true);  // a doubled corner keeps the whole area
}

}  // namespace

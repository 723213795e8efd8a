// Ear clipping of one polygon in the plane of its Newell normal.
#include "lightwave/Triangulate.h"

#include <cmath>

namespace lwo {

namespace {

// Twice the signed area of the triangle a, b, c in the plane: positive when counter-clockwise.
double Cross(const double* a, const double* b, const double* c) {
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

bool SamePoint(const double* a, const double* b) { return a[0] == b[0] && a[1] == b[1]; }

// How choosy the ear search is; it gets less choosy each time a whole round finds no ear.
enum EarLevel { STRICT_EAR, FLAT_EAR, OVERLAPPING_EAR, ANY_EAR };

// Projects the corners onto the plane whose normal is the Newell normal, axes chosen so that the
// polygon runs counter-clockwise there. False when the polygon has no area to speak of.
bool ProjectToPlane(const float* corners, uint32_t n, double* planar) {
  double normal[3] = {0, 0, 0};
  for (uint32_t i = 0; i < n; ++i) {
    const float* a = corners + 3 * i;
    const float* b = corners + 3 * ((i + 1) % n);
    normal[0] += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
    normal[1] += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
    normal[2] += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
  }
  double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  if (!(length > 0) || !std::isfinite(length)) return false;
  for (double& c : normal) c /= length;

  // u: any unit vector across the normal; v = normal x u, so that u x v = normal.
  double u[3];
  if (std::fabs(normal[0]) < 0.6) {
    u[0] = 0, u[1] = normal[2], u[2] = -normal[1];  // x axis x normal
  } else {
    u[0] = -normal[2], u[1] = 0, u[2] = normal[0];  // y axis x normal
  }
  double uLength = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  for (double& c : u) c /= uLength;
  double v[3] = {normal[1] * u[2] - normal[2] * u[1], normal[2] * u[0] - normal[0] * u[2],
                 normal[0] * u[1] - normal[1] * u[0]};

  // The Newell normal is the polygon's area vector, so the polygon is counter-clockwise in (u, v)
  // whatever way its corners run in space. Positions are taken relative to the first corner to
  // keep precision for objects far from the origin.
  for (uint32_t i = 0; i < n; ++i) {
    double d[3] = {double(corners[3 * i]) - corners[0], double(corners[3 * i + 1]) - corners[1],
                   double(corners[3 * i + 2]) - corners[2]};
    planar[2 * i] = d[0] * u[0] + d[1] * u[1] + d[2] * u[2];
    planar[2 * i + 1] = d[0] * v[0] + d[1] * v[1] + d[2] * v[2];
  }
  return true;
}

// The ring of corners not yet clipped, with what the ear search needs to know of each.
struct Ring {
  const double* planar;
  uint32_t* previous;
  uint32_t* next;
  uint8_t* reflex;   // turns the wrong way or not at all: only such corners can spoil an ear
  // Corners looked at by ear tests so far, and how many the polygon may cost: a polygon that
  // folds over itself again and again would otherwise take cubic time. Simple polygons stay far
  // below the budget; past it, ears are taken without looking for corners inside them.
  uint64_t work = 0;
  uint64_t budget = 0;

  const double* At(uint32_t i) const { return planar + 2 * i; }

  void UpdateReflex(uint32_t i) { reflex[i] = !(Cross(At(previous[i]), At(i), At(next[i])) > 0); }

  // Whether a reflex corner still in the ring lies inside or on the triangle a, b, c. Corners
  // at the same place as one of the three (a polygon that touches itself) don't count.
  bool AnyCornerInside(uint32_t a, uint32_t b, uint32_t c) {
    const double* pa = At(a);
    const double* pb = At(b);
    const double* pc = At(c);
    for (uint32_t i = next[c]; i != a; i = next[i]) {
      ++work;
      if (!reflex[i]) continue;
      const double* p = At(i);
      if (SamePoint(p, pa) || SamePoint(p, pb) || SamePoint(p, pc)) continue;
      if (Cross(pa, pb, p) >= 0 && Cross(pb, pc, p) >= 0 && Cross(pc, pa, p) >= 0) return true;
    }
    return false;
  }

  bool IsEar(uint32_t a, uint32_t b, uint32_t c, int level) {
    if (work > budget && level < OVERLAPPING_EAR) level = OVERLAPPING_EAR;
    if (level == ANY_EAR) return true;
    double area = Cross(At(a), At(b), At(c));
    if (level == OVERLAPPING_EAR) return area > 0;
    if (level == STRICT_EAR ? !(area > 0) : area < 0) return false;
    return !AnyCornerInside(a, b, c);
  }
};

}  // namespace

void TriangulatePolygon(const float* corners, uint32_t n, uint32_t* triangles, TriangulateScratch& scratch) {
  if (n < 3) return;
  scratch.planar.resize(2 * size_t(n));
  if (n == 3 || !ProjectToPlane(corners, n, scratch.planar.data())) {
    // A triangle, or nothing to clip against: a fan keeps the count and the corner order.
    for (uint32_t i = 1; i + 1 < n; ++i, triangles += 3) {
      triangles[0] = 0, triangles[1] = i, triangles[2] = i + 1;
    }
    return;
  }

  scratch.previous.resize(n);
  scratch.next.resize(n);
  scratch.reflex.resize(n);
  Ring ring{scratch.planar.data(), scratch.previous.data(), scratch.next.data(), scratch.reflex.data()};
  ring.budget = 4 * uint64_t(n) * n;  // simple polygons, concave or not, take about n² / 2
  for (uint32_t i = 0; i < n; ++i) {
    ring.previous[i] = (i + n - 1) % n;
    ring.next[i] = (i + 1) % n;
  }
  for (uint32_t i = 0; i < n; ++i) ring.UpdateReflex(i);

  uint32_t remaining = n;
  uint32_t corner = 0;
  uint32_t tried = 0;  // corners tried since the last ear was clipped
  int level = STRICT_EAR;
  while (remaining > 3) {
    uint32_t a = ring.previous[corner];
    uint32_t c = ring.next[corner];
    if (ring.IsEar(a, corner, c, level)) {
      triangles[0] = a, triangles[1] = corner, triangles[2] = c;
      triangles += 3;
      ring.next[a] = c;
      ring.previous[c] = a;
      ring.UpdateReflex(a);
      ring.UpdateReflex(c);
      --remaining;
      // Clipping changes the corners on both sides; looking at the one before first keeps the
      // triangles from fanning out of a single corner.
      corner = a;
      tried = 0;
      level = STRICT_EAR;
    } else if (++tried >= remaining) {
      ++level;
      tried = 0;
    } else {
      corner = c;
    }
  }
  triangles[0] = ring.previous[corner], triangles[1] = corner, triangles[2] = ring.next[corner];
}

}  // namespace lwo

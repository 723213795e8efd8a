// Splitting one polygon into triangles, for objects whose polygons have more than three corners.
// Ear clipping in the polygon's best-fit plane, so concave polygons come out right and slightly
// non-planar ones still do; every triangle keeps the polygon's corner order, so a front face
// stays a front face.
#pragma once

#include <cstdint>
#include <vector>

namespace lwo {

// Working memory kept between polygons so that a layer of many polygons allocates it once.
struct TriangulateScratch {
  std::vector<double> planar;       // 2 per corner: the corners in the polygon's plane
  std::vector<uint32_t> previous;   // ring of the corners not yet clipped
  std::vector<uint32_t> next;
  std::vector<uint8_t> reflex;
};

// corners: xyz of the polygon's n >= 3 corners, in polygon order. Writes n - 2 triangles as
// corner numbers 0..n-1 (3 per triangle) to triangles. Always n - 2 of them: a polygon that
// folds over itself or has no area still gives that many (some without area), so nothing that
// counts triangles by corners - 2 is ever off.
void TriangulatePolygon(const float* corners, uint32_t n, uint32_t* triangles, TriangulateScratch& scratch);

}  // namespace lwo

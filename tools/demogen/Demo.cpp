// The bundled demo: procedural shapes and pictures, and the scene that stages them for 30
// seconds at 30 frames per second, with its demo action nulls (music, sound, volume, camera
// cuts, fades, a spark sequence, a picture-in-picture screen and a particle fountain); and a
// second scene of the same length made for the LightWave look.
//
// Coordinates are LightWave's: +Y up, +Z away from the viewer, left-handed; a triangle's front
// shows its corners clockwise. Angles in the scene are radians, key times seconds.
#include "DemoGen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>

namespace demogen {

namespace {

constexpr float PI = 3.14159265f;
constexpr float FPS = 30;
constexpr float LENGTH_SECONDS = 30;

// Generated coordinates on a 1/1024 grid, so that the last bit of a sine from one maths library
// or another cannot change a file.
float Q(float v) { return std::round(v * 1024.0f) / 1024.0f; }
Point QP(float x, float y, float z) { return {Q(x), Q(y), Q(z)}; }

// ---- Shapes ----

Point Minus(const Point& a, const Point& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
float Dot(const Point& a, const Point& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Point Cross(const Point& a, const Point& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A triangle whose front faces the direction out: its corners are put in the order that
// makes it so.
void AddFacing(Mesh& m, uint32_t a, uint32_t b, uint32_t c, uint16_t surface, const Point& out) {
  const Point normal = Cross(Minus(m.points[b], m.points[a]), Minus(m.points[c], m.points[a]));
  if (Dot(normal, out) < 0) std::swap(b, c);
  m.AddFace(a, b, c, surface);
}

Point Centroid(const Mesh& m, uint32_t a, uint32_t b, uint32_t c) {
  const Point &p = m.points[a], &q = m.points[b], &r = m.points[c];
  return {(p.x + q.x + r.x) / 3, (p.y + q.y + r.y) / 3, (p.z + q.z + r.z) / 3};
}

// An axis-aligned box from min to max; UVs in metres × uvPerMetre on every face.
Mesh Box(Point min, Point max, uint16_t surface, float uvPerMetre = 1) {
  Mesh m;
  const float lo[3] = {min.x, min.y, min.z}, hi[3] = {max.x, max.y, max.z};
  for (int axis = 0; axis < 3; ++axis) {
    const int s = (axis + 1) % 3, t = (axis + 2) % 3;
    for (int side = 0; side < 2; ++side) {
      uint32_t corner[4];
      for (int k = 0; k < 4; ++k) {
        float p[3];
        p[axis] = side ? hi[axis] : lo[axis];
        p[s] = (k == 1 || k == 2) ? hi[s] : lo[s];
        p[t] = (k >= 2) ? hi[t] : lo[t];
        // u runs along the horizontal one of the face's axes where it has one.
        const int uAxis = (s == 1) ? t : s, vAxis = (uAxis == s) ? t : s;
        corner[k] = m.AddPoint(Q(p[0]), Q(p[1]), Q(p[2]), Q(p[uAxis] * uvPerMetre), Q(p[vAxis] * uvPerMetre));
      }
      Point out{0, 0, 0};
      (axis == 0 ? out.x : axis == 1 ? out.y : out.z) = side ? 1.0f : -1.0f;
      AddFacing(m, corner[0], corner[1], corner[2], surface, out);
      AddFacing(m, corner[0], corner[2], corner[3], surface, out);
    }
  }
  return m;
}

// A sphere of shared points (no texture coordinates), fronts outward.
Mesh Sphere(float radius, uint32_t rings, uint32_t segments, uint16_t surface) {
  Mesh m;
  const uint32_t top = m.AddPoint(0, Q(radius), 0);
  for (uint32_t i = 1; i < rings; ++i) {
    const float theta = PI * float(i) / float(rings);
    for (uint32_t j = 0; j < segments; ++j) {
      const float phi = 2 * PI * float(j) / float(segments);
      const Point p = QP(radius * std::sin(theta) * std::cos(phi), radius * std::cos(theta),
                         radius * std::sin(theta) * std::sin(phi));
      m.AddPoint(p.x, p.y, p.z);
    }
  }
  const uint32_t bottom = m.AddPoint(0, Q(-radius), 0);
  auto at = [&](uint32_t ring, uint32_t j) { return 1 + (ring - 1) * segments + j % segments; };
  auto face = [&](uint32_t a, uint32_t b, uint32_t c) { AddFacing(m, a, b, c, surface, Centroid(m, a, b, c)); };
  for (uint32_t j = 0; j < segments; ++j) {
    face(top, at(1, j), at(1, j + 1));
    for (uint32_t i = 1; i + 1 < rings; ++i) {
      face(at(i, j), at(i, j + 1), at(i + 1, j + 1));
      face(at(i, j), at(i + 1, j + 1), at(i + 1, j));
    }
    face(bottom, at(rings - 1, j), at(rings - 1, j + 1));
  }
  return m;
}

// A dome seen from inside: a sphere of rows of points with UVs (u around, v from the bottom up).
Mesh SkyDome(float radius, uint32_t rings, uint32_t segments, uint16_t surface) {
  Mesh m;
  for (uint32_t i = 0; i <= rings; ++i) {
    const float theta = PI * float(i) / float(rings);
    for (uint32_t j = 0; j <= segments; ++j) {
      const float phi = 2 * PI * float(j) / float(segments);
      const Point p = QP(radius * std::sin(theta) * std::cos(phi), radius * std::cos(theta),
                         radius * std::sin(theta) * std::sin(phi));
      m.AddPoint(p.x, p.y, p.z, Q(float(j) / float(segments)), Q(1 - float(i) / float(rings)));
    }
  }
  auto at = [&](uint32_t i, uint32_t j) { return i * (segments + 1) + j; };
  auto face = [&](uint32_t a, uint32_t b, uint32_t c) {
    const Point centre = Centroid(m, a, b, c);
    AddFacing(m, a, b, c, surface, {-centre.x, -centre.y, -centre.z});
  };
  for (uint32_t i = 0; i < rings; ++i) {
    for (uint32_t j = 0; j < segments; ++j) {
      // The pole rows have one real triangle per quad; the other would have no area.
      if (i > 0) face(at(i, j), at(i, j + 1), at(i + 1, j + 1));
      if (i + 1 < rings) face(at(i, j), at(i + 1, j + 1), at(i + 1, j));
    }
  }
  return m;
}

// A ring around the Y axis: major radius R, tube radius r.
Mesh Torus(float R, float r, uint32_t around, uint32_t tube, uint16_t surface) {
  Mesh m;
  for (uint32_t i = 0; i < around; ++i) {
    const float a = 2 * PI * float(i) / float(around);
    for (uint32_t j = 0; j < tube; ++j) {
      const float b = 2 * PI * float(j) / float(tube);
      const float d = R + r * std::cos(b);
      const Point p = QP(d * std::cos(a), r * std::sin(b), d * std::sin(a));
      m.AddPoint(p.x, p.y, p.z);
    }
  }
  auto at = [&](uint32_t i, uint32_t j) { return (i % around) * tube + j % tube; };
  auto face = [&](uint32_t p, uint32_t q, uint32_t s, uint32_t i) {
    const float a = 2 * PI * (float(i) + 0.5f) / float(around);
    const Point c = Centroid(m, p, q, s);
    AddFacing(m, p, q, s, surface, {c.x - R * std::cos(a), c.y, c.z - R * std::sin(a)});
  };
  for (uint32_t i = 0; i < around; ++i) {
    for (uint32_t j = 0; j < tube; ++j) {
      face(at(i, j), at(i + 1, j), at(i + 1, j + 1), i);
      face(at(i, j), at(i + 1, j + 1), at(i, j + 1), i);
    }
  }
  return m;
}

// A (p, q) torus knot: a tube of radius r around a curve that winds p times around the Y axis
// and q times through the hole of a ring of radius R.
Mesh TorusKnot(int p, int q, float R, float r, uint32_t around, uint32_t tube, uint16_t surface) {
  auto curve = [&](float t) {
    const float d = R + 0.4f * R * std::cos(float(q) * t);
    return Point{d * std::cos(float(p) * t), 0.4f * R * std::sin(float(q) * t), d * std::sin(float(p) * t)};
  };
  auto unit = [](Point v) {
    const float length = std::sqrt(Dot(v, v));
    return Point{v.x / length, v.y / length, v.z / length};
  };
  Mesh m;
  std::vector<Point> centres;
  for (uint32_t i = 0; i < around; ++i) {
    const float t = 2 * PI * float(i) / float(around), h = 1e-3f;
    const Point c = curve(t), ahead = curve(t + h), behind = curve(t - h);
    // The Frenet frame: the curve bends toward the normal; it never runs straight.
    const Point tangent = unit(Minus(ahead, behind));
    const Point bend = {ahead.x + behind.x - 2 * c.x, ahead.y + behind.y - 2 * c.y, ahead.z + behind.z - 2 * c.z};
    const Point binormal = unit(Cross(tangent, bend)), normal = Cross(binormal, tangent);
    centres.push_back(c);
    for (uint32_t j = 0; j < tube; ++j) {
      const float b = 2 * PI * float(j) / float(tube), cs = r * std::cos(b), sn = r * std::sin(b);
      m.AddPoint(Q(c.x + cs * normal.x + sn * binormal.x), Q(c.y + cs * normal.y + sn * binormal.y),
                 Q(c.z + cs * normal.z + sn * binormal.z));
    }
  }
  auto at = [&](uint32_t i, uint32_t j) { return (i % around) * tube + j % tube; };
  for (uint32_t i = 0; i < around; ++i) {
    const Point &c0 = centres[i], &c1 = centres[(i + 1) % around];
    const Point mid = {(c0.x + c1.x) / 2, (c0.y + c1.y) / 2, (c0.z + c1.z) / 2};
    for (uint32_t j = 0; j < tube; ++j) {
      for (auto [a, b, c] : {std::array<uint32_t, 3>{at(i, j), at(i + 1, j), at(i + 1, j + 1)},
                             std::array<uint32_t, 3>{at(i, j), at(i + 1, j + 1), at(i, j + 1)}})
        AddFacing(m, a, b, c, surface, Minus(Centroid(m, a, b, c), mid));
    }
  }
  return m;
}

// Two shapes with the same points in the same order: a cube of side 2·half whose faces are
// n × n grids, and the same grid pushed out onto a sphere of radius. The cube's windings serve
// both.
std::pair<Mesh, Mesh> CubeAndSphere(uint32_t n, float half, float radius, uint16_t surface) {
  Mesh cube, sphere;
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = -1; side <= 1; side += 2) {
      const uint32_t base = uint32_t(cube.points.size());
      for (uint32_t i = 0; i <= n; ++i) {
        for (uint32_t j = 0; j <= n; ++j) {
          float p[3];
          p[axis] = float(side);
          p[(axis + 1) % 3] = -1 + 2 * float(i) / float(n);
          p[(axis + 2) % 3] = -1 + 2 * float(j) / float(n);
          const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
          cube.AddPoint(Q(p[0] * half), Q(p[1] * half), Q(p[2] * half));
          sphere.AddPoint(Q(p[0] / length * radius), Q(p[1] / length * radius), Q(p[2] / length * radius));
        }
      }
      Point out{0, 0, 0};
      (axis == 0 ? out.x : axis == 1 ? out.y : out.z) = float(side);
      auto at = [&](uint32_t i, uint32_t j) { return base + i * (n + 1) + j; };
      for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = 0; j < n; ++j) {
          AddFacing(cube, at(i, j), at(i + 1, j), at(i + 1, j + 1), surface, out);
          AddFacing(cube, at(i, j), at(i + 1, j + 1), at(i, j + 1), surface, out);
        }
      }
    }
  }
  sphere.faces = cube.faces;
  return {cube, sphere};
}

// A flat grid in the XY plane facing -Z, from (x0, y0) to (x1, y1), UVs 0-1.
Mesh Panel(float x0, float y0, float x1, float y1, float z, uint32_t columns, uint32_t rows, uint16_t surface) {
  Mesh m;
  for (uint32_t i = 0; i <= rows; ++i) {
    for (uint32_t j = 0; j <= columns; ++j) {
      const float u = float(j) / float(columns), v = float(i) / float(rows);
      m.AddPoint(Q(x0 + (x1 - x0) * u), Q(y0 + (y1 - y0) * v), Q(z), Q(u), Q(v));
    }
  }
  auto at = [&](uint32_t i, uint32_t j) { return i * (columns + 1) + j; };
  for (uint32_t i = 0; i < rows; ++i) {
    for (uint32_t j = 0; j < columns; ++j) {
      AddFacing(m, at(i, j), at(i + 1, j), at(i + 1, j + 1), surface, {0, 0, -1});
      AddFacing(m, at(i, j), at(i + 1, j + 1), at(i, j + 1), surface, {0, 0, -1});
    }
  }
  return m;
}

// The floor: size × size metres at y = 0 in cells × cells squares, facing up.
Mesh Floor(float size, uint32_t cells, uint16_t surface) {
  Mesh m;
  for (uint32_t i = 0; i <= cells; ++i)
    for (uint32_t j = 0; j <= cells; ++j)
      m.AddPoint(Q(-size / 2 + size * float(j) / float(cells)), 0, Q(-size / 2 + size * float(i) / float(cells)));
  auto at = [&](uint32_t i, uint32_t j) { return i * (cells + 1) + j; };
  for (uint32_t i = 0; i < cells; ++i) {
    for (uint32_t j = 0; j < cells; ++j) {
      AddFacing(m, at(i, j), at(i + 1, j), at(i + 1, j + 1), surface, {0, 1, 0});
      AddFacing(m, at(i, j), at(i + 1, j + 1), at(i, j + 1), surface, {0, 1, 0});
    }
  }
  return m;
}

// An upright cylinder with caps, sides sides around the Y axis, no texture coordinates (a
// projection maps it), fronts outward.
Mesh Cylinder(float radius, float height, uint32_t sides, uint32_t rows, uint16_t surface) {
  Mesh m;
  for (uint32_t i = 0; i <= rows; ++i)
    for (uint32_t j = 0; j < sides; ++j) {
      const float a = 2 * PI * float(j) / float(sides);
      m.AddPoint(Q(radius * std::cos(a)), Q(height * float(i) / float(rows)), Q(radius * std::sin(a)));
    }
  auto at = [&](uint32_t i, uint32_t j) { return i * sides + j % sides; };
  for (uint32_t i = 0; i < rows; ++i)
    for (uint32_t j = 0; j < sides; ++j) {
      const float a = 2 * PI * (float(j) + 0.5f) / float(sides);
      const Point out = {std::cos(a), 0, std::sin(a)};
      AddFacing(m, at(i, j), at(i + 1, j), at(i + 1, j + 1), surface, out);
      AddFacing(m, at(i, j), at(i + 1, j + 1), at(i, j + 1), surface, out);
    }
  for (uint32_t end = 0; end < 2; ++end) {
    const uint32_t ring = end ? rows : 0;
    const uint32_t centre = m.AddPoint(0, end ? Q(height) : 0, 0);
    for (uint32_t j = 0; j < sides; ++j)
      AddFacing(m, centre, at(ring, j), at(ring, j + 1), surface, {0, end ? 1.0f : -1.0f, 0});
  }
  return m;
}

// Two pyramids base to base: the comet's and the particles' shape.
Mesh Diamond(float width, float height, uint16_t surface) {
  Mesh m;
  const uint32_t top = m.AddPoint(0, Q(height / 2), 0), bottom = m.AddPoint(0, Q(-height / 2), 0);
  uint32_t ring[4];
  for (int k = 0; k < 4; ++k) {
    const float a = PI / 2 * float(k);
    ring[k] = m.AddPoint(Q(width / 2 * std::cos(a)), 0, Q(width / 2 * std::sin(a)));
  }
  for (int k = 0; k < 4; ++k) {
    for (uint32_t tip : {top, bottom}) {
      const uint32_t a = ring[k], b = ring[(k + 1) % 4];
      AddFacing(m, tip, a, b, surface, Centroid(m, tip, a, b));
    }
  }
  return m;
}

// ---- Pictures ----

uint8_t Byte(float v) { return uint8_t(std::clamp(std::lround(v * 255.0f), 0L, 255L)); }

// A small fixed-seed hash for texture grain: the same value for the same pixel every run.
float Grain(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return float((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

// Stone tiles, 2 × 2 per picture, with dark grout.
Image TilesPicture() {
  Image image(128, 128);
  for (uint32_t y = 0; y < 128; ++y) {
    for (uint32_t x = 0; x < 128; ++x) {
      const bool grout = x % 64 < 3 || y % 64 < 3;
      const bool dark = ((x / 64) + (y / 64)) % 2 != 0;
      const float g = Grain(x, y, 1) * 0.08f;
      if (grout) {
        image.Set(x, y, Byte(0.18f + g), Byte(0.17f + g), Byte(0.16f + g));
      } else if (dark) {
        image.Set(x, y, Byte(0.35f + g), Byte(0.38f + g), Byte(0.45f + g));
      } else {
        image.Set(x, y, Byte(0.72f + g), Byte(0.70f + g), Byte(0.64f + g));
      }
    }
  }
  return image;
}

// Red bricks in courses of four, the courses offset by half a brick.
Image BricksPicture() {
  Image image(64, 64);
  for (uint32_t y = 0; y < 64; ++y) {
    for (uint32_t x = 0; x < 64; ++x) {
      const uint32_t course = y / 16;
      const uint32_t shifted = (x + (course % 2) * 16) % 64;
      const bool mortar = y % 16 < 2 || shifted % 32 < 2;
      const float g = Grain(x, y, 2) * 0.12f;
      const float tone = 0.9f + 0.1f * Grain(shifted / 32, course, 3);
      if (mortar) {
        image.Set(x, y, Byte(0.75f + g), Byte(0.73f + g), Byte(0.68f + g));
      } else {
        image.Set(x, y, Byte((0.62f + g) * tone), Byte((0.26f + g) * tone), Byte((0.18f + g) * tone));
      }
    }
  }
  return image;
}

// Night sky: dark ground below the horizon (the middle row), a warm glow above it, deep blue
// at the top, and a few stars.
Image SkyPicture() {
  Image image(64, 64);
  for (uint32_t y = 0; y < 64; ++y) {
    const float up = 1.0f - float(y) / 63.0f;  // 1 at the zenith, 0 at the nadir
    for (uint32_t x = 0; x < 64; ++x) {
      float r, g, b;
      if (up < 0.5f) {
        r = 0.05f, g = 0.04f, b = 0.08f;
      } else {
        const float h = (up - 0.5f) * 2;  // 0 at the horizon
        const float glow = std::exp(-h * 6);
        r = 0.05f + 0.75f * glow, g = 0.06f + 0.35f * glow, b = 0.22f + 0.1f * glow;
        if (h > 0.2f && Grain(x, y, 4) > 0.97f) r = g = b = 0.9f;
      }
      image.Set(x, y, Byte(r), Byte(g), Byte(b));
    }
  }
  return image;
}

// A banner: three stripes with a diamond in the middle.
Image FlagPicture() {
  Image image(64, 64);
  for (uint32_t y = 0; y < 64; ++y) {
    for (uint32_t x = 0; x < 64; ++x) {
      const float dx = std::fabs(float(x) - 31.5f), dy = std::fabs(float(y) - 31.5f);
      if (dx + dy < 14) {
        image.Set(x, y, 250, 210, 40);
      } else if (y < 21) {
        image.Set(x, y, 30, 60, 170);
      } else if (y < 43) {
        image.Set(x, y, 235, 235, 235);
      } else {
        image.Set(x, y, 200, 30, 40);
      }
    }
  }
  return image;
}

// 5 × 7 glyphs of the letters the logo uses, one bit per pixel, top row first.
const uint8_t* Glyph(char c) {
  static const uint8_t Z[7] = {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F};
  static const uint8_t I[7] = {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E};
  static const uint8_t V[7] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04};
  static const uint8_t THREE[7] = {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E};
  switch (c) {
    case 'Z': return Z;
    case 'I': return I;
    case 'V': return V;
    default: return THREE;
  }
}

// The logo's colour (a rainbow sweep) and its mask (the letters ZIVI3 in white on black).
std::pair<Image, Image> LogoPictures() {
  Image colour(128, 32), mask(128, 32);
  for (uint32_t y = 0; y < 32; ++y) {
    for (uint32_t x = 0; x < 128; ++x) {
      const float h = float(x) / 128.0f * 2 * PI;
      const float shade = 0.75f + 0.25f * float(y) / 31.0f;
      colour.Set(x, y, Byte((0.6f + 0.4f * std::cos(h)) * shade), Byte((0.6f + 0.4f * std::cos(h - 2.1f)) * shade),
                 Byte((0.6f + 0.4f * std::cos(h + 2.1f)) * shade));
    }
  }
  const char* text = "ZIVI3";
  constexpr uint32_t SCALE = 4, LEFT = 6, TOP = 2;
  for (uint32_t k = 0; k < 5; ++k) {
    const uint8_t* glyph = Glyph(text[k]);
    for (uint32_t row = 0; row < 7; ++row) {
      for (uint32_t col = 0; col < 5; ++col) {
        if (!(glyph[row] & (0x10 >> col))) continue;
        for (uint32_t dy = 0; dy < SCALE; ++dy)
          for (uint32_t dx = 0; dx < SCALE; ++dx)
            mask.Set(LEFT + k * 24 + col * SCALE + dx, TOP + row * SCALE + dy, 255, 255, 255);
      }
    }
  }
  return {colour, mask};
}

// A planet for the spherical map, left to right around it, top row at the north pole: seas,
// continents of summed waves, ice at the poles.
Image PlanetPicture() {
  Image image(128, 64);
  for (uint32_t y = 0; y < 64; ++y) {
    const float latitude = PI * (0.5f - (float(y) + 0.5f) / 64.0f);
    for (uint32_t x = 0; x < 128; ++x) {
      const float longitude = 2 * PI * (float(x) + 0.5f) / 128.0f;
      const float land = std::sin(2 * longitude + 1.3f * std::sin(3 * latitude)) * std::cos(latitude * 2.2f) +
                         0.6f * std::sin(5 * longitude - 2 * latitude) + 0.15f * Grain(x, y, 5);
      const float g = Grain(x, y, 6) * 0.06f;
      if (std::fabs(latitude) > 1.25f) {
        image.Set(x, y, Byte(0.92f + g), Byte(0.94f + g), Byte(0.97f));
      } else if (land > 0.55f) {
        image.Set(x, y, Byte(0.25f + g + 0.3f * (land - 0.55f)), Byte(0.5f + g), Byte(0.18f + g));
      } else {
        image.Set(x, y, Byte(0.08f), Byte(0.25f + g), Byte(0.6f + g));
      }
    }
  }
  return image;
}

// The label round the column for the cylindrical map: red and cream bands and a row of
// diamonds, one turn of the column wide.
Image LabelPicture() {
  Image image(128, 64);
  for (uint32_t y = 0; y < 64; ++y) {
    for (uint32_t x = 0; x < 128; ++x) {
      const float dx = std::fabs(float(x % 32) - 15.5f), dy = std::fabs(float(y) - 31.5f);
      if (dx + dy < 12) {
        image.Set(x, y, 40, 70, 180);
      } else if (y < 8 || y >= 56 || (y >= 16 && y < 20) || (y >= 44 && y < 48)) {
        image.Set(x, y, 190, 40, 35);
      } else {
        image.Set(x, y, 240, 228, 200);
      }
    }
  }
  return image;
}

// Colour bars: what the screen shows until a camera's picture is copied onto it.
Image ScreenPicture() {
  static const uint8_t BARS[7][3] = {{192, 192, 192}, {192, 192, 0}, {0, 192, 192}, {0, 192, 0},
                                     {192, 0, 192},   {192, 0, 0},   {0, 0, 192}};
  Image image(128, 128);
  for (uint32_t y = 0; y < 128; ++y) {
    for (uint32_t x = 0; x < 128; ++x) {
      const uint8_t* bar = BARS[x * 7 / 128];
      image.Set(x, y, bar[0], bar[1], bar[2]);
    }
  }
  return image;
}

// Frame k of SPARK_FRAMES of a spark burst: a white-hot core, eight rays and a ring that grow
// and fade; colour and mask.
constexpr uint32_t SPARK_FRAMES = 16, SPARK_SIZE = 64;
std::pair<Image, Image> SparkPictures(uint32_t k) {
  Image colour(SPARK_SIZE, SPARK_SIZE), mask(SPARK_SIZE, SPARK_SIZE);
  const float grow = float(k + 1) / float(SPARK_FRAMES);
  const float fade = 1.0f - 0.85f * grow * grow;
  const float middle = (float(SPARK_SIZE) - 1) / 2;
  for (uint32_t y = 0; y < SPARK_SIZE; ++y) {
    for (uint32_t x = 0; x < SPARK_SIZE; ++x) {
      const float dx = float(x) - middle, dy = float(y) - middle;
      const float r = std::sqrt(dx * dx + dy * dy) / middle;  // 1 at the picture's edge
      const float angle = std::atan2(dy, dx);
      const float rays = std::pow(std::fabs(std::cos(angle * 4.0f)), 6.0f) * std::max(0.0f, 1.0f - r / grow);
      const float core = std::exp(-r * r / (0.01f + 0.04f * (1 - grow)));
      const float ring = std::exp(-std::pow((r - 0.85f * grow) / 0.07f, 2.0f));
      const float light = std::min(1.0f, core + rays + 0.8f * ring) * fade;
      const float hot = std::min(1.0f, core + 0.3f * rays);
      colour.Set(x, y, Byte(1.0f), Byte(0.5f + 0.5f * hot), Byte(0.1f + 0.8f * hot));
      const uint8_t a = Byte(light);
      mask.Set(x, y, a, a, a);
    }
  }
  return {colour, mask};
}

// ---- Objects ----

ObjectModel OneLayer(const std::string& name, Mesh mesh, std::vector<SurfaceLook> surfaces) {
  ObjectModel object;
  object.surfaces = std::move(surfaces);
  object.layers.push_back({name, false, std::move(mesh)});
  return object;
}

Texture UvImage(const std::string& image, Channel channel = Channel::COLOR) {
  Texture t;
  t.image = image;
  t.channel = channel;
  t.projection = Projection::UV;
  return t;
}

SurfaceLook Look(const std::string& name, float r, float g, float b) {
  SurfaceLook s;
  s.name = name;
  s.red = r, s.green = g, s.blue = b;
  return s;
}

constexpr float SMOOTH = 1.5f;  // smoothing angle of round shapes, radians

// The flag's cloth: columns × rows squares hanging from a pole at x = 0, its points in scene
// space (a point-cached object is drawn without its own transform), waving at time seconds.
constexpr uint32_t FLAG_COLUMNS = 8, FLAG_ROWS = 5;
constexpr float FLAG_X = -8, FLAG_Z = 3, FLAG_BOTTOM = 3.4f, FLAG_WIDTH = 2.8f, FLAG_HEIGHT = 1.7f;

std::vector<Point> FlagPoints(float seconds) {
  std::vector<Point> points;
  for (uint32_t i = 0; i <= FLAG_ROWS; ++i) {
    for (uint32_t j = 0; j <= FLAG_COLUMNS; ++j) {
      const float u = float(j) / float(FLAG_COLUMNS), v = float(i) / float(FLAG_ROWS);
      const float wave = std::sin(u * 5.0f - seconds * 4.0f + v * 0.8f) * 0.35f * u;
      const float sag = -0.25f * u * u;
      points.push_back(QP(FLAG_X + 0.1f + FLAG_WIDTH * u * (1 - 0.05f * std::fabs(wave)),
                          FLAG_BOTTOM + FLAG_HEIGHT * v + sag * (1 - v), FLAG_Z + wave));
    }
  }
  return points;
}

ObjectModel FlagObject() {
  SurfaceLook cloth = Look("Cloth", 1, 1, 1);
  cloth.doubleSided = true;
  cloth.smoothing = SMOOTH;
  cloth.textures = {UvImage("flag.png")};
  Mesh mesh = Panel(0, 0, 1, 1, 0, FLAG_COLUMNS, FLAG_ROWS, 0);
  const std::vector<Point> start = FlagPoints(0);
  for (size_t i = 0; i < mesh.points.size(); ++i) mesh.points[i] = start[i];

  SurfaceLook pole = Look("Pole", 0.75f, 0.75f, 0.8f);
  pole.shininess = 0.6f;
  ObjectModel object;
  object.surfaces = {cloth, pole};
  object.layers.push_back({"Cloth", false, mesh});
  object.layers.push_back({"Pole", false, Box({-0.06f, 0, -0.06f}, {0.06f, FLAG_BOTTOM + FLAG_HEIGHT + 0.1f, 0.06f}, 1)});
  return object;
}

ObjectModel MonitorObject() {
  SurfaceLook casing = Look("Casing", 0.2f, 0.21f, 0.24f);
  casing.shininess = 0.4f;
  SurfaceLook screen = Look("Screen", 1, 1, 1);
  screen.luminosity = 1;
  screen.textures = {UvImage("screen.png")};
  // Switched off for two seconds: a fully transparent screen draws nothing, and its picture
  // is not rendered meanwhile.
  screen.transparencyKeys = {{25.3f, 0}, {25.5f, 1}, {27.3f, 1}, {27.5f, 0}};
  Mesh mesh = Box({-1.7f, 1.4f, -0.15f}, {1.7f, 3.8f, 0.15f}, 0);
  mesh.Append(Box({-0.15f, 0, -0.15f}, {0.15f, 1.4f, 0.15f}, 0));
  mesh.Append(Box({-0.8f, 0, -0.5f}, {0.8f, 0.1f, 0.5f}, 0));
  mesh.Append(Panel(-1.5f, 1.6f, 1.5f, 3.6f, -0.17f, 1, 1, 1));
  return OneLayer("Monitor", mesh, {casing, screen});
}

// ---- Scene text ----

enum Span : int { TCB = 0, HERMITE = 1, BEZIER = 2, LINEAR = 3, STEPPED = 4, BEZIER2D = 5 };

struct Key {
  float value = 0;
  float seconds = 0;
  int span = TCB;
  float p[6] = {0, 0, 0, 0, 0, 0};  // tension, continuity, bias, in and out tangents, unused
};
using Keys = std::vector<Key>;

// Keys of one span type at (seconds, value) pairs.
Keys Path(int span, std::initializer_list<std::pair<float, float>> points) {
  Keys keys;
  for (const auto& [seconds, value] : points) keys.push_back({value, seconds, span, {}});
  return keys;
}
Keys Hold(float value) { return {{value, 0, TCB, {}}}; }

// A sine added to a channel: cycles per second, amplitude, and its window in seconds.
struct Wave {
  float frequency = 0, amplitude = 0, start = 0, end = 0;
};

// What an envelope gives after its last key (LightWave's codes): the classic look holds the end
// value whatever the code; the LightWave look goes on as the code says.
enum Behaviour : int { RESET = 0, CONSTANT = 1, REPEAT = 2, OSCILLATE = 3, OFFSET_REPEAT = 4, GO_ON = 5 };

// Channels 0-8: position, heading/pitch/bank, scale. A camera writes the first six.
struct Motion {
  Keys channels[9];
  Wave waves[9];
  int after[9] = {CONSTANT, CONSTANT, CONSTANT, CONSTANT, CONSTANT, CONSTANT, CONSTANT, CONSTANT, CONSTANT};
};

Motion Still(float x, float y, float z, float heading = 0, float pitch = 0, float bank = 0, float scale = 1) {
  Motion m;
  const float values[9] = {x, y, z, heading, pitch, bank, scale, scale, scale};
  for (int c = 0; c < 9; ++c) m.channels[c] = Hold(values[c]);
  return m;
}

// Numbers as LightWave writes them: plain decimals without trailing zeros.
std::string Num(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", double(v));
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

std::string Hex(uint32_t kind, uint32_t index) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", (kind << 28) | index);
  return text;
}

enum : uint32_t { KIND_OBJECT = 1, KIND_LIGHT = 2, KIND_CAMERA = 3 };

// Builds scene text line by line with CR LF line ends; items get their indices as they are
// added, which later lines use to name them.
class SceneText {
 public:
  explicit SceneText(float lastFrame) {
    text_ = "LWSC\r\n3\r\n\r\n";
    Line("FirstFrame 0");
    Line("LastFrame " + Num(lastFrame));
    Line("FrameStep 1");
    Line("PreviewFirstFrame 0");
    Line("PreviewLastFrame " + Num(lastFrame));
    Line("PreviewFrameStep 1");
    Line("CurrentFrame 0");
    Line("FramesPerSecond " + Num(FPS));
    Line("");
  }

  void Line(const std::string& line) { text_ += line + "\r\n"; }

  uint32_t Object(const std::string& file, uint32_t layer, const Motion& motion, int parent = -1) {
    Line("LoadObjectLayer " + std::to_string(layer) + " " + file);
    return FinishObject(motion, parent);
  }

  // A null object; for a demo action, name is the action word and its parameters.
  uint32_t Null(const std::string& name, const Motion& motion, int parent = -1) {
    Line("AddNullObject " + name);
    return FinishObject(motion, parent);
  }

  void Envelope(uint32_t channel, const Keys& keys, const Wave& wave = {}, int after = CONSTANT) {
    Line("Channel " + std::to_string(channel));
    Block(keys, after);
    if (wave.frequency > 0) Oscillator(wave);
  }

  void Block(const Keys& keys, int after = CONSTANT) {
    Line("{ Envelope");
    Line("  " + std::to_string(keys.size()));
    for (const Key& k : keys) {
      std::string line = "  Key " + Num(k.value) + " " + Num(k.seconds) + " " + std::to_string(k.span);
      for (float p : k.p) line += " " + Num(p);
      Line(line);
    }
    Line("  Behaviors 1 " + std::to_string(after));
    Line("}");
  }

  // The plug-in line and its eight numbers; the oscillator joins the channel just written.
  void Oscillator(const Wave& wave) {
    Line("\"LW_Oscillator\"");
    for (float v : {0.0f, wave.frequency, wave.amplitude, 0.0f, 0.0f, 0.0f, wave.start, wave.end}) Line("  " + Num(v));
  }

  // type: 0 distant, 1 point, 2 spot (cone and soft edge in degrees).
  void Light(const std::string& name, const Motion& motion, float r, float g, float b, int type, int parent = -1,
             float cone = 30, float edge = 5) {
    Line("AddLight");
    Line("LightName " + name);
    Line("ShowLight 0 7");
    Line("LightMotion");
    Line("NumChannels 9");
    for (uint32_t c = 0; c < 9; ++c) Envelope(c, motion.channels[c], {}, motion.after[c]);
    if (parent >= 0) Line("ParentItem " + Hex(KIND_OBJECT, uint32_t(parent)));
    Line("LightColor " + Num(r) + " " + Num(g) + " " + Num(b));
    Line("LightIntensity 1");
    Line("LightType " + std::to_string(type));
    if (type == 2) Line("LightConeAngle " + Num(cone)), Line("LightEdgeAngle " + Num(edge));
    Line("LightFalloffType 0");
    Line("LightRange 20");
    Line("ShadowType 0");
    Line("");
  }

  void Camera(const std::string& name, const Motion& motion, int target = -1) {
    Line("AddCamera");
    Line("CameraName " + name);
    Line("ShowCamera 1 2");
    Line("CameraMotion");
    Line("NumChannels 6");
    for (uint32_t c = 0; c < 6; ++c) Envelope(c, motion.channels[c], {}, motion.after[c]);
    if (target >= 0) Line("TargetItem " + Hex(KIND_OBJECT, uint32_t(target)));
    Line("ZoomFactor 3.2");
    Line("");
  }

  const std::string& Text() const { return text_; }

 private:
  uint32_t FinishObject(const Motion& motion, int parent) {
    Line("ShowObject 6 7");
    Line("ObjectMotion");
    Line("NumChannels 9");
    for (uint32_t c = 0; c < 9; ++c) Envelope(c, motion.channels[c], motion.waves[c], motion.after[c]);
    if (parent >= 0) Line("ParentItem " + Hex(KIND_OBJECT, uint32_t(parent)));
    return objects_++;
  }

  std::string text_;
  uint32_t objects_ = 0;
};

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ---- The staging ----

// The particle that the fountain throws: one spinning diamond. The fountain's null scales
// everything by 0.02, so the shape is made 50 times its size on screen.
std::string ShardsScene() {
  SceneText s(30);
  Motion spin = Still(0, 0, 0);
  spin.channels[3] = Path(LINEAR, {{0, 0}, {1, 2 * PI}});
  spin.channels[5] = Path(LINEAR, {{0, 0}, {1, PI}});
  s.Object("shard.lwo", 1, spin);
  s.Line("");
  s.Camera("Camera", Still(0, 1, -5));
  return s.Text();
}

// Where the effects play, and the camera cuts.
constexpr float SPARKS_Y = 4.3f, FOUNTAIN_X = -3, FOUNTAIN_Z = -4;
constexpr float CUTS[] = {4.5f, 10, 14, 15, 21, 22, 25};

std::string MainScene() {
  const float END = LENGTH_SECONDS;
  SceneText s(END * FPS);

  // The set: sky, floor, four brick pillars (one object and three clones) and a pedestal.
  s.Object("sky.lwo", 1, Still(0, 0, 0));
  s.Line("ShadowOptions 4");  // drawn without lighting
  s.Object("floor.lwo", 1, Still(0, 0, 0));
  const float corners[4][2] = {{-6, -6}, {6, -6}, {-6, 6}, {6, 6}};
  for (int i = 0; i < 4; ++i) {
    Motion pillar = Still(corners[i][0], 0, corners[i][1]);
    if (i == 1) pillar.channels[7] = Path(HERMITE, {{0, 1}, {15, 1.25f}, {30, 1}});
    s.Object("blocks.lwo", 1, pillar);
  }

  // The pedestal turns a quarter at a time.
  Motion pedestal = Still(0, 0, 0, 0, 0, 0, 1);
  pedestal.channels[6] = Hold(1.6f);
  pedestal.channels[7] = Hold(0.25f);
  pedestal.channels[8] = Hold(1.6f);
  pedestal.channels[3] = Path(STEPPED, {{0, 0}, {3, PI / 4}, {6, PI / 2}, {9, 3 * PI / 4}, {12, PI},
                                        {15, 5 * PI / 4}, {18, 3 * PI / 2}, {21, 7 * PI / 4}, {24, 2 * PI}});
  s.Object("blocks.lwo", 1, pedestal);

  // The blob on the pedestal turns from cube to sphere and back, bobbing on an oscillator.
  Motion blob = Still(0, 1.95f, 0);
  blob.channels[3] = Path(LINEAR, {{0, 0}, {END, 3 * PI}});
  blob.waves[1] = {0.5f, 0.15f, 0, END};
  const uint32_t blobIndex = s.Object("blob.lwo", 1, blob);
  s.Line("MorphTarget " + std::to_string(blobIndex + 2));  // the next object, 1-based
  s.Line("MorphAmount (envelope)");
  s.Block(Path(TCB, {{0, 0}, {3, 1}, {6, 0}, {9, 1}, {12, 0}, {15, 1}, {18, 0}, {21, 1}, {24, 0}, {27, 1}, {30, 0}}));
  s.Object("blob.lwo", 2, Still(0, 1.95f, 0));
  s.Line("UnseenByCamera");

  // A spinning hub carries a glowing ring (unlit) with a moon inside it, and the lamp.
  Motion hub = Still(0, 2.4f, 0);
  hub.channels[3] = Path(LINEAR, {{0, 0}, {END, -4 * PI}});
  const uint32_t spinner = s.Null("Spinner", hub);
  Motion ringMotion = Still(3.4f, 0.4f, 0, 0, 0.5f, 0);
  ringMotion.channels[5] = Path(LINEAR, {{0, 0}, {END, 12 * PI}});
  const uint32_t ring = s.Object("ring.lwo", 1, ringMotion, int(spinner));
  s.Line("ShadowOptions 4");
  s.Object("moon.lwo", 1, Still(0, 0, 0), int(ring));

  // The glass pane turns slowly; the logo swings on Bezier keys above the monitor.
  Motion glass = Still(5, 0, -2.5f);
  glass.channels[3] = Path(LINEAR, {{0, 0.6f}, {END, 0.6f + 2 * PI}});
  s.Object("glass.lwo", 1, glass);
  Motion logo = Still(0, 6.2f, 12);
  logo.channels[3] = Path(BEZIER, {{0, -0.35f}, {7.5f, 0.35f}, {15, -0.35f}, {22.5f, 0.35f}, {30, -0.35f}});
  s.Object("logo.lwo", 1, logo);
  s.Object("monitor.lwo", 1, Still(0, 0, 8));

  // The golden knot turns slowly beside the set, between two pillars.
  Motion knot = Still(7.5f, 3, 1.5f, 0, 0.3f, 0);
  knot.channels[3] = Path(LINEAR, {{0, 0}, {END, 2 * PI}});
  s.Object("knot.lwo", 1, knot);

  // The flag: its cloth played from the point cache, the pole standing still.
  s.Object("flag.lwo", 1, Still(0, 0, 0));
  s.Line("Plugin DisplacementHandler 1 MD_Plug");
  s.Line("filename flag.mdd");
  s.Line("mdflag 0 0 0 0 0 0");
  s.Line("EndPlugin");
  s.Object("flag.lwo", 2, Still(FLAG_X, 0, FLAG_Z));

  // The comet laps the set with a trail.
  Motion comet = Still(0, 3, 0);
  Keys cx, cy, cz;
  for (int k = 0; k <= 15; ++k) {
    const float t = float(k) * 2, a = float(k) * PI / 2;
    cx.push_back({Q(9 * std::cos(a)), t, TCB, {}});
    cz.push_back({Q(9 * std::sin(a)), t, TCB, {}});
    cy.push_back({k % 2 ? 4.5f : 2.5f, t, TCB, {}});
  }
  comet.channels[0] = cx, comet.channels[1] = cy, comet.channels[2] = cz;
  comet.channels[3] = Path(LINEAR, {{0, 0}, {END, 20 * PI}});
  s.Object("comet.lwo", 1, comet);
  s.Line("ShadowOptions 3");  // the trail

  // The main camera aims at this null.
  Motion aim = Still(0, 2, 0);
  aim.channels[1] = Keys{{2, 0, HERMITE, {0, 0, 0, 0, 0, 0}},
                         {3.5f, 10, HERMITE, {0, 0, 0, 0.5f, 0.5f, 0}},
                         {2.5f, 20, HERMITE, {0, 0, 0, -0.5f, -0.5f, 0}},
                         {2, 30, HERMITE, {0, 0, 0, 0, 0, 0}}};
  aim.channels[2] = Path(BEZIER2D, {{0, 0}, {12, 4}, {18, 3}, {30, 0}});
  const uint32_t target = s.Null("CamTarget", aim);

  // The effects camera aims at this null: the sparks at first, the fountain later.
  Motion fxAim = Still(0, SPARKS_Y, 0);
  fxAim.channels[0] = Path(STEPPED, {{0, 0}, {15, FOUNTAIN_X}});
  fxAim.channels[1] = Path(STEPPED, {{0, SPARKS_Y}, {15, 2.2f}});
  fxAim.channels[2] = Path(STEPPED, {{0, 0}, {15, FOUNTAIN_Z}});
  const uint32_t fxTarget = s.Null("FxTarget", fxAim);

  // ---- The demo's actions ----
  auto scaled = [](Keys x, Keys y, Keys z) {
    Motion m = Still(0, 0, 0);
    m.channels[6] = x, m.channels[7] = y, m.channels[8] = z;
    return m;
  };
  s.Null("ACTMOD music.mod 0 0 0", scaled(Hold(2), Hold(1), Hold(1)));
  // Scale X is the music volume / 40: louder for the fountain, and the same (60) at the last
  // frame as at the first, so the tune, which lasts one loop, goes round without a jump.
  s.Null("ACTMVOL 0", scaled(Path(LINEAR, {{0, 1.5f}, {1.5f, 2}, {12, 2}, {14, 1.2f}, {15, 2.4f}, {27, 2.4f}, {30, 1.5f}}),
                             Hold(1), Hold(1)));
  // A whoosh at every camera cut: scale Y dips to -1.
  Keys whoosh = {{0, 0, STEPPED, {}}};
  for (float t : CUTS) {
    whoosh.push_back({-1, t - 0.1f, STEPPED, {}});
    whoosh.push_back({0, t + 0.2f, STEPPED, {}});
  }
  s.Null("ACTSFX whoosh.wav", scaled(Hold(2), whoosh, Hold(1)));
  // The monitor shows the second camera's view, except while its screen is switched off (the
  // screen surface's transparency envelope reaches 1).
  s.Null("ACTPIP Screen 128", scaled(Hold(2), Hold(1), Hold(1)));
  // Spark bursts above the blob while scale Z is below 1, a 4 m square seen by the effects camera.
  Motion sparks = scaled(Hold(1), Hold(1), Path(STEPPED, {{0, 1}, {1.5f, 0}, {4.5f, 1}, {25.5f, 0}, {27.5f, 1}}));
  sparks.channels[0] = Hold(0), sparks.channels[1] = Hold(SPARKS_Y), sparks.channels[2] = Hold(0);
  s.Null("ACTBAMM spark###.png sparka###.png " + std::to_string(SPARK_FRAMES) + " 4", sparks);
  // The fountain of diamonds, 15 to 24 seconds, scaled down to the set's size. The longest
  // flight reaches 25 + 0.031875 x 5250 = 192 across and 5 + 0.0635 x 5250 = 338 up: the
  // limits lie beyond, so no particle ever stops (a stopped one would hang in the sky from the
  // second loop on).
  s.Null("ACTSPS shards.lws 120 450 720 50 10 50 250 400 250",
         Still(FOUNTAIN_X, 0.2f, FOUNTAIN_Z, 0, 0, 0, 0.02f));
  // Cameras: the effects camera for the sparks and the fountain, the side camera twice, the
  // main camera in between.
  s.Null("ACTCAM", scaled(Path(STEPPED, {{0, 3}, {4.5f, 1}, {10, 2}, {14, 1}, {15, 3}, {21, 1}, {22, 2}, {25, 1}}),
                          Hold(1), Hold(1)));
  // Fade from black and back to black: position X is the black's opacity.
  Motion fade = Still(0, 0, 0);
  fade.channels[0] = Path(LINEAR, {{0, 1}, {1.5f, 0}, {28, 0}, {30, 1}});
  s.Null("ACTFADE 0 0 0", fade);
  // A warm flash as the fountain starts.
  Motion flash = Still(0, 0, 0);
  flash.channels[0] = Path(LINEAR, {{0, 0}, {14.95f, 0}, {15, 0.85f}, {16.2f, 0}});
  s.Null("ACTFADE 255 190 90", flash);
  s.Line("");

  s.Line("AmbientColor 1 1 1");
  s.Line("AmbientIntensity 0.2");
  s.Line("");
  s.Light("Sun", Still(4, 10, -6), 0.85f, 0.82f, 0.75f, 2);
  s.Light("Lamp", Still(-3, 1.2f, 0), 1, 0.55f, 0.25f, 1, int(spinner));
  Motion rim = Still(0, 6, 10);
  rim.channels[0] = Path(LINEAR, {{0, -8}, {15, 8}, {30, -8}});
  s.Light("Rim", rim, 0.25f, 0.35f, 0.7f, 1);

  // The main camera circles the set on TCB keys, looking at the aim null; at its keys no pillar
  // stands in the way.
  Motion main = Still(0, 3, -14);
  Keys x, y, z;
  const float orbit[7][3] = {{0, 14, 3},     {-90, 15, 4},     {-150, 17, 7}, {-215, 16, 8},
                             {-290, 14, 4.5f}, {-330, 14, 3.5f}, {-360, 14, 3}};
  for (int k = 0; k < 7; ++k) {
    const float angle = orbit[k][0] * PI / 180, radius = orbit[k][1], t = float(k) * 5;
    x.push_back({Q(radius * std::sin(angle)), t, TCB, {}});
    y.push_back({orbit[k][2], t, TCB, {}});
    z.push_back({Q(-radius * std::cos(angle)), t, TCB, {}});
  }
  x[3].p[0] = 0.3f;  // a little tension where it looks down over the monitor
  main.channels[0] = x, main.channels[1] = y, main.channels[2] = z;
  s.Camera("MainCam", main, int(target));

  // The second camera watches from low down and pans, without a target.
  Motion side = Still(10, 1.5f, -1.5f, -1.5f, 0.05f, 0);
  side.channels[2] = Path(LINEAR, {{0, -2.5f}, {30, 0}});
  side.channels[3] = Path(BEZIER2D, {{0, -1.75f}, {14, -1.3f}, {30, -1.75f}});
  s.Camera("SideCam", side);

  // The effects camera: in front of the sparks, then dollying past the fountain.
  Motion fx = Still(0, SPARKS_Y, -7.5f);
  fx.channels[0] = Keys{{0, 0, STEPPED, {}}, {FOUNTAIN_X + 2, 15, STEPPED, {}}, {FOUNTAIN_X - 2, 21, LINEAR, {}}};
  fx.channels[1] = Keys{{SPARKS_Y, 0, STEPPED, {}}, {1.6f, 15, STEPPED, {}}, {2.6f, 21, LINEAR, {}}};
  fx.channels[2] = Keys{{-7.5f, 0, STEPPED, {}}, {FOUNTAIN_Z - 10, 15, STEPPED, {}}, {FOUNTAIN_Z - 8.5f, 21, LINEAR, {}}};
  s.Camera("FxCam", fx, int(fxTarget));
  return s.Text();
}

// The second scene, made for the LightWave look (--lightwave): motions that go on after their
// last keys by each post behaviour, a spot light sweeping over the stage under a distant sun,
// cylindrical and spherical maps, and smoothing by angle. The classic look shows the same files
// with its own rules. It lasts as long as the main scene, so the same tune goes round with it.
std::string LightwaveScene() {
  const float END = LENGTH_SECONDS;
  SceneText s(END * FPS);
  s.Object("sky.lwo", 1, Still(0, 0, 0));
  s.Line("ShadowOptions 4");
  s.Object("floor.lwo", 1, Still(0, 0, 0));

  // The column with its label: two keys of a quarter turn, repeated with an offset, turn it on
  // and on.
  Motion column = Still(-4, 0, 2.5f);
  column.channels[3] = Path(LINEAR, {{0, 0}, {2, PI / 2}});
  column.after[3] = OFFSET_REPEAT;
  s.Object("column.lwo", 1, column);

  // The planet bounces: one hop of keys, repeated.
  Motion planet = Still(4, 1, 2.5f);
  planet.channels[1] = Path(HERMITE, {{0, 1}, {0.6f, 3.2f}, {1.2f, 1}});
  planet.after[1] = REPEAT;
  planet.channels[3] = Path(LINEAR, {{0, 0}, {4, 2 * PI}});
  planet.after[3] = REPEAT;
  s.Object("planet.lwo", 1, planet);

  // Two gems of the same shape, flat (smoothing angle 0) and smooth (the angle above their
  // facets'), swinging on a pendulum: one swing of keys, oscillating.
  Motion pendulum = Still(0, 5.2f, 0);
  pendulum.channels[5] = Path(HERMITE, {{0, -0.5f}, {1.5f, 0.5f}});
  pendulum.after[5] = OSCILLATE;
  const uint32_t pivot = s.Null("Pivot", pendulum);
  s.Object("gems.lwo", 1, Still(-1.1f, -3.2f, 0), int(pivot));
  s.Object("gems.lwo", 2, Still(1.1f, -3.2f, 0), int(pivot));

  // A comet crosses the stage: its first two seconds of keys go on in a straight line.
  Motion comet = Still(-10, 4, 0);
  comet.channels[0] = Path(LINEAR, {{0, -12}, {2, -11}});
  comet.after[0] = GO_ON;
  comet.channels[4] = Path(LINEAR, {{0, 0}, {1, 2 * PI}});
  comet.after[4] = REPEAT;
  s.Object("comet.lwo", 1, comet);
  s.Null("ACTMOD music.mod 0 0 0", Still(0, 0, 0, 0, 0, 0, 2));
  Motion fade = Still(0, 0, 0);
  fade.channels[0] = Path(LINEAR, {{0, 1}, {1.5f, 0}, {28, 0}, {30, 1}});
  s.Null("ACTFADE 0 0 0", fade);
  s.Line("");

  s.Line("AmbientColor 1 1 1");
  s.Line("AmbientIntensity 0.12");
  s.Line("");
  // A low evening sun from the left and behind, and a spot sweeping to and fro.
  s.Light("Sun", Still(0, 10, 0, 1.1f, 0.6f, 0), 1, 0.8f, 0.6f, 0);
  Motion spot = Still(0, 9, -7, 0, 0.9f, 0);
  spot.channels[3] = Path(HERMITE, {{0, -0.45f}, {3, 0.45f}});
  spot.after[3] = OSCILLATE;
  s.Light("Spot", spot, 0.8f, 0.9f, 1, 2, -1, 18, 6);

  // The camera swings round the stage and back, looking down at it.
  Motion camera = Still(0, 4.5f, -11, 0, 0.22f, 0);
  Keys x, z, heading;
  const float swing[5] = {-0.6f, 0, 0.6f, 0, -0.6f};
  for (int k = 0; k <= 4; ++k) {
    const float a = swing[k], t = float(k) * END / 4;
    x.push_back({Q(-11 * std::sin(a)), t, TCB, {}});
    z.push_back({Q(-11 * std::cos(a)), t, TCB, {}});
    heading.push_back({a, t, TCB, {}});
  }
  camera.channels[0] = x, camera.channels[2] = z, camera.channels[3] = heading;
  s.Camera("Camera", camera);
  return s.Text();
}

void AddImage(std::vector<DemoFile>& files, const std::string& name, const Image& image) {
  files.push_back({name, EncodePng(image)});
}

void AddObject(std::vector<DemoFile>& files, const std::string& name, const ObjectModel& object) {
  files.push_back({name, EncodeLwo(object)});
}

}  // namespace

std::vector<DemoFile> MakeDemo() {
  std::vector<DemoFile> files;
  files.push_back({"demo.lws", TextBytes(MainScene())});
  files.push_back({"shards.lws", TextBytes(ShardsScene())});
  files.push_back({"lightwave.lws", TextBytes(LightwaveScene())});

  // Objects.
  {
    SurfaceLook sky = Look("Sky", 1, 1, 1);
    sky.textures = {UvImage("sky.png")};
    AddObject(files, "sky.lwo", OneLayer("Sky", SkyDome(60, 24, 48, 0), {sky}));

    SurfaceLook tiles = Look("Tiles", 1, 1, 1);
    tiles.smoothing = SMOOTH;
    Texture planar;
    planar.image = "tiles.png";
    planar.projection = Projection::PLANAR;
    planar.axis = 1;
    planar.size = {4, 4, 4};
    tiles.textures = {planar};
    // Fine cells, so that the lamp's and the rim light's pools of light, lit at the corners, are
    // round.
    AddObject(files, "floor.lwo", OneLayer("Floor", Floor(40, 80, 0), {tiles}));

    // The pillars: bricks projected along X on their X sides and along Z on their Z sides; the
    // ends keep their UVs.
    ObjectModel blocks = OneLayer("Block", Box({-0.5f, 0, -0.5f}, {0.5f, 4, 0.5f}, 0, 1), {});
    for (uint16_t axis : {0, 2}) {
      SurfaceLook side = Look(axis == 0 ? "BricksX" : "BricksZ", 1, 1, 1);
      Texture bricks;
      bricks.image = "bricks.png";
      bricks.projection = Projection::PLANAR;
      bricks.axis = axis;
      side.textures = {bricks};
      blocks.surfaces.push_back(side);
    }
    SurfaceLook ends = Look("BrickEnds", 1, 1, 1);
    ends.textures = {UvImage("bricks.png")};
    blocks.surfaces.push_back(ends);
    // Box writes two triangles per face, the X faces first, then Y, then Z.
    std::vector<Face>& faces = blocks.layers[0].mesh.faces;
    for (size_t f = 0; f < faces.size(); ++f) faces[f].surface = f < 4 ? 0 : f < 8 ? 2 : 1;
    AddObject(files, "blocks.lwo", blocks);

    SurfaceLook gold = Look("Gold", 0.95f, 0.72f, 0.25f);
    gold.smoothing = SMOOTH;
    gold.shininess = 0.8f;
    AddObject(files, "knot.lwo", OneLayer("Knot", TorusKnot(2, 3, 1.4f, 0.28f, 400, 16, 0), {gold}));

    auto [cube, sphere] = CubeAndSphere(10, 0.7f, 0.85f, 0);
    SurfaceLook blob = Look("Blob", 0.85f, 0.25f, 0.6f);
    blob.smoothing = SMOOTH;
    blob.shininess = 0.5f;
    ObjectModel blobObject;
    blobObject.surfaces = {blob};
    blobObject.layers = {{"Cube", false, cube}, {"Sphere", false, sphere}};
    AddObject(files, "blob.lwo", blobObject);

    SurfaceLook neon = Look("Neon", 0.3f, 1, 0.95f);
    neon.luminosity = 1;
    neon.smoothing = SMOOTH;
    AddObject(files, "ring.lwo", OneLayer("Ring", Torus(0.7f, 0.1f, 64, 12, 0), {neon}));

    SurfaceLook moon = Look("Moon", 0.9f, 0.88f, 0.8f);
    moon.smoothing = SMOOTH;
    AddObject(files, "moon.lwo", OneLayer("Moon", Sphere(0.3f, 16, 24, 0), {moon}));

    SurfaceLook glass = Look("Glass", 0.55f, 0.8f, 1);
    glass.transparency = 0.55f;
    glass.transparencyKeys = {{0, 0.55f}, {15, 0.85f}, {30, 0.55f}};  // clearer at the fountain
    glass.shininess = 0.9f;
    AddObject(files, "glass.lwo", OneLayer("Glass", Box({-1.3f, 0, -0.04f}, {1.3f, 2.6f, 0.04f}, 0), {glass}));

    SurfaceLook logo = Look("Logo", 1, 1, 1);
    logo.doubleSided = true;
    logo.luminosity = 0.5f;
    logo.textures = {UvImage("logo.png"), UvImage("logoa.png", Channel::TRANSPARENCY)};
    AddObject(files, "logo.lwo", OneLayer("Logo", Panel(-4, -1, 4, 1, 0, 1, 1, 0), {logo}));

    AddObject(files, "monitor.lwo", MonitorObject());
    AddObject(files, "flag.lwo", FlagObject());

    SurfaceLook comet = Look("Comet", 1, 0.95f, 0.6f);
    comet.luminosity = 1;
    AddObject(files, "comet.lwo", OneLayer("Comet", Diamond(0.5f, 0.8f, 0), {comet}));

    // The LightWave scene's objects.
    SurfaceLook label = Look("Label", 1, 1, 1);
    label.smoothing = 40 * PI / 180;  // the sides' 22.5° bends are smoothed, the rims' 90° kept
    label.shininess = 0.4f;
    Texture around;
    around.image = "label.png";
    around.projection = Projection::CYLINDRICAL;
    around.axis = 1;
    around.size = {1.6f, 4, 1.6f};
    around.center = {0, 2, 0};
    around.wrapWidth = 2;
    label.textures = {around};
    AddObject(files, "column.lwo", OneLayer("Column", Cylinder(0.8f, 4, 16, 4, 0), {label}));

    SurfaceLook world = Look("Planet", 1, 1, 1);
    world.smoothing = SMOOTH;
    Texture globe;
    globe.image = "planet.png";
    globe.projection = Projection::SPHERICAL;
    globe.axis = 1;
    globe.size = {2, 2, 2};
    world.textures = {globe};
    AddObject(files, "planet.lwo", OneLayer("Planet", Sphere(1, 24, 32, 0), {world}));

    SurfaceLook flat = Look("Facets", 0.3f, 0.85f, 0.6f), soft = Look("Polished", 0.3f, 0.85f, 0.6f);
    flat.shininess = soft.shininess = 0.7f;
    flat.smoothing = 0;
    soft.smoothing = 60 * PI / 180;  // above the 45° between neighbouring facets
    ObjectModel gems;
    gems.surfaces = {flat, soft};
    gems.layers = {{"Facets", false, Sphere(0.95f, 6, 8, 0)}, {"Polished", false, Sphere(0.95f, 6, 8, 1)}};
    AddObject(files, "gems.lwo", gems);

    SurfaceLook shard = Look("Shard", 1, 0.6f, 0.15f);
    AddObject(files, "shard.lwo", OneLayer("Shard", Diamond(8, 14, 0), {shard}));
  }

  // The flag's point cache: five samples a second (six scene frames apart) for the whole demo.
  {
    std::vector<std::vector<Point>> samples;
    for (uint32_t i = 0; i <= uint32_t(LENGTH_SECONDS * 5); ++i) samples.push_back(FlagPoints(float(i) * 0.2f));
    files.push_back({"flag.mdd", EncodeMdd(samples, 0.2f)});
  }

  // Pictures.
  AddImage(files, "tiles.png", TilesPicture());
  AddImage(files, "bricks.png", BricksPicture());
  AddImage(files, "sky.png", SkyPicture());
  AddImage(files, "flag.png", FlagPicture());
  {
    auto [colour, mask] = LogoPictures();
    AddImage(files, "logo.png", colour);
    AddImage(files, "logoa.png", mask);
  }
  AddImage(files, "screen.png", ScreenPicture());
  AddImage(files, "planet.png", PlanetPicture());
  AddImage(files, "label.png", LabelPicture());
  for (uint32_t k = 0; k < SPARK_FRAMES; ++k) {
    auto [colour, mask] = SparkPictures(k);
    char name[32];
    std::snprintf(name, sizeof name, "spark%03u.png", k + 1);
    AddImage(files, name, colour);
    std::snprintf(name, sizeof name, "sparka%03u.png", k + 1);
    AddImage(files, name, mask);
  }

  // Sound.
  files.push_back({"music.mod", EncodeMod(DemoMusic())});
  files.push_back({"whoosh.wav", EncodeWav(WhooshSound(22050), 1, 22050)});
  return files;
}

}  // namespace demogen

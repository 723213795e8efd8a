// The demo generator: our own writers of every file format the bundled demo is made of (LWO2
// objects, LWS scenes, MDD point caches, PNG images, a ProTracker module, a WAV sample) and the
// demo itself, composed from procedural shapes, pictures and sounds.
//
// Everything is deterministic: no clock, no unseeded random numbers, generated coordinates
// rounded to a fixed grid, so that the same program writes the same bytes every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace demogen {

using Bytes = std::vector<uint8_t>;

// ---- Checksums ----

// The CRC-32 of PNG chunks and zip files (polynomial 0xEDB88320); crc continues an earlier run.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
// The Adler-32 checksum that ends a zlib stream.
uint32_t Adler32(const uint8_t* data, size_t size);

// ---- Images ----

// width × height RGB triplets, top row first, unpadded.
struct Image {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;

  Image() = default;
  Image(uint32_t w, uint32_t h) : width(w), height(h), rgb(size_t(w) * h * 3, 0) {}
  uint8_t* At(uint32_t x, uint32_t y) { return &rgb[(size_t(y) * width + x) * 3]; }
  void Set(uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b);
};

// An 8-bit RGB PNG whose zlib stream holds stored (uncompressed) deflate blocks.
Bytes EncodePng(const Image& image);

// ---- LWO2 objects ----

struct Point {
  float x = 0, y = 0, z = 0;
};

struct Face {
  uint32_t a = 0, b = 0, c = 0;  // point indices, clockwise seen from the front (LightWave's winding)
  uint16_t surface = 0;          // index into the object's surfaces
};

// One layer: points, triangles and optionally one UV per point (the "UV" map, VMAP TXUV).
struct Mesh {
  std::vector<Point> points;
  std::vector<Face> faces;
  std::vector<float> uv;  // 2 per point, or empty

  uint32_t AddPoint(float x, float y, float z);
  uint32_t AddPoint(float x, float y, float z, float u, float v);
  void AddFace(uint32_t a, uint32_t b, uint32_t c, uint16_t surface);
  // Two triangles over the quad a b c d (clockwise from the front).
  void AddQuad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint16_t surface);
  // Appends other's points and faces, moved by (dx, dy, dz), its surfaces kept.
  void Append(const Mesh& other, float dx = 0, float dy = 0, float dz = 0);
};

enum class Projection : uint16_t { PLANAR = 0, CYLINDRICAL = 1, SPHERICAL = 2, UV = 5 };
enum class Channel { COLOR, TRANSPARENCY };

// One image texture block.
struct Texture {
  std::string image;                 // file name; one CLIP per distinct name
  Channel channel = Channel::COLOR;
  Projection projection = Projection::UV;
  uint16_t axis = 1;                 // planar projection axis: 0 X, 1 Y, 2 Z
  Point center, size{1, 1, 1};       // planar, cylindrical and spherical mapping
  float wrapWidth = 1, wrapHeight = 1;  // cylindrical and spherical: repeats around and up
};

// An animated surface level (ENVL): (seconds, value) keys joined by straight lines, the end
// values held before the first key and after the last.
using LevelKeys = std::vector<std::pair<float, float>>;

struct SurfaceLook {
  std::string name;
  float red = 0.8f, green = 0.8f, blue = 0.8f;
  float diffuse = 1, luminosity = 0, shininess = 0, transparency = 0;
  float smoothing = 0;  // radians; above 0 the surface is drawn smooth
  LevelKeys transparencyKeys, luminosityKeys;  // none: the level stands still
  bool doubleSided = false;
  std::vector<Texture> textures;  // at most two are drawn: colour, then its alpha mask
};

struct Layer {
  std::string name;
  bool hidden = false;
  Mesh mesh;
};

struct ObjectModel {
  std::vector<SurfaceLook> surfaces;
  std::vector<Layer> layers;
};

// FORM LWO2: TAGS, CLIP, ENVL, then per layer LAYR, PNTS, VMAP, POLS FACE, PTAG SURF, then SURF.
Bytes EncodeLwo(const ObjectModel& object);

// ---- MDD point caches ----

// samples[i] holds every point at time i × sampleSeconds; all samples have the same count.
Bytes EncodeMdd(const std::vector<std::vector<Point>>& samples, float sampleSeconds);

// ---- Sound ----

// A WAV of interleaved samples: 16-bit PCM, or 32-bit float (format 3) for float samples.
Bytes EncodeWav(const std::vector<int16_t>& samples, uint32_t channels, uint32_t rate);
Bytes EncodeWav(const std::vector<float>& samples, uint32_t channels, uint32_t rate);

// One cell of a pattern: note 0 for none, else a period of the Amiga table; sample 1-31, 0 none.
struct Note {
  uint16_t period = 0;
  uint8_t sample = 0;
  uint8_t effect = 0, parameter = 0;
};

struct ModSample {
  std::string name;
  std::vector<int8_t> data;      // even length
  uint8_t volume = 64;           // 0-64
  uint32_t loopStart = 0, loopLength = 0;  // bytes, even; no loop when loopLength is 0
};

// A four-channel ProTracker ("M.K.") module.
struct Module {
  std::string title;
  std::vector<ModSample> samples;           // at most 31
  std::vector<uint8_t> orders;              // the song: pattern numbers, 1-128 of them
  std::vector<std::vector<Note>> patterns;  // 64 rows × 4 channels each, row-major
};
inline constexpr uint32_t MOD_ROWS = 64, MOD_CHANNELS = 4;

Bytes EncodeMod(const Module& module);

// ---- The demo ----

// The demo's music and its whoosh sample (mono, at rate samples per second).
Module DemoMusic();
std::vector<int16_t> WhooshSound(uint32_t rate);

struct DemoFile {
  std::string name;
  Bytes bytes;
};

// Every file of the bundled demo, in a fixed order; the main scene is "demo.lws", the one for
// the LightWave look "lightwave.lws".
std::vector<DemoFile> MakeDemo();

}  // namespace demogen

// The one LWO2 writer, shared by the demo generator, tests, fuzz seeds and benchmarks:
// big-endian values, chunks and sub-chunks whose sizes are filled in when they are closed (or set
// to any value a test wants, to make broken files), and shorthands for the chunks objects are
// made of.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace iff {

class LwoWriter {
 public:
  LwoWriter() = default;

  // Plain values, big-endian.
  LwoWriter& Id(const char* id4);
  LwoWriter& U1(uint8_t value);
  LwoWriter& U2(uint16_t value);
  LwoWriter& U4(uint32_t value);
  LwoWriter& F4(float value);
  LwoWriter& Vec(float x, float y, float z);
  LwoWriter& VX(uint32_t index);        // 2 bytes below 0xFF00, else 4
  LwoWriter& S0(const std::string& text);  // terminator and pad byte included

  // A chunk (ID4, U4 size) or sub-chunk (ID4, U2 size); End fills the size of the innermost
  // open one with the bytes written since, or with declaredSize when one is given.
  LwoWriter& Chunk(const char* id4);
  LwoWriter& Sub(const char* id4);
  LwoWriter& End(int64_t declaredSize = -1);

  // Whole chunks.
  LwoWriter& Layer(uint16_t number, uint16_t flags, float px, float py, float pz, const std::string& name,
                   int parent = -1);
  LwoWriter& Points(const std::vector<float>& xyz);
  LwoWriter& Polygons(const char* type, const std::vector<std::vector<uint32_t>>& polygons);
  LwoWriter& Tags(const std::vector<std::string>& tags);
  LwoWriter& PolygonTags(const char* type, const std::vector<std::pair<uint32_t, uint16_t>>& polygonTag);
  // VMAP: (point, values) entries; VMAD: (point, polygon, values) entries.
  struct MapEntry {
    uint32_t point;
    uint32_t polygon;
    std::vector<float> values;
  };
  LwoWriter& VertexMap(const char* type, uint16_t dimension, const std::string& name,
                       const std::vector<MapEntry>& entries);
  LwoWriter& FaceVertexMap(const char* type, uint16_t dimension, const std::string& name,
                           const std::vector<MapEntry>& entries);
  LwoWriter& StillClip(uint32_t index, const std::string& path);

  // The file: FORM, its size (or formSizeOverride), LWO2 (or another type) and the chunks.
  std::vector<uint8_t> File(const char* formType = "LWO2", int64_t formSizeOverride = -1) const;
  const std::vector<uint8_t>& Body() const { return bytes_; }

 private:
  struct Open {
    size_t at;       // where the size field is
    int sizeBytes;   // 4 for a chunk, 2 for a sub-chunk
  };
  std::vector<uint8_t> bytes_;
  std::vector<Open> open_;
};

}  // namespace iff

// The LWO2 writer.
#include "LwoWriter.h"

#include <cstring>

namespace iff {

LwoWriter& LwoWriter::Id(const char* id4) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(id4[i]));
  return *this;
}

LwoWriter& LwoWriter::U1(uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

LwoWriter& LwoWriter::U2(uint16_t value) {
  bytes_.push_back(uint8_t(value >> 8));
  bytes_.push_back(uint8_t(value));
  return *this;
}

LwoWriter& LwoWriter::U4(uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes_.push_back(uint8_t(value >> shift));
  return *this;
}

LwoWriter& LwoWriter::F4(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return U4(bits);
}

LwoWriter& LwoWriter::Vec(float x, float y, float z) { return F4(x).F4(y).F4(z); }

LwoWriter& LwoWriter::VX(uint32_t index) { return index < 0xFF00 ? U2(uint16_t(index)) : U4(0xFF000000u | index); }

LwoWriter& LwoWriter::S0(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
  if ((text.size() + 1) & 1) bytes_.push_back(0);
  return *this;
}

LwoWriter& LwoWriter::Chunk(const char* id4) {
  Id(id4);
  open_.push_back({bytes_.size(), 4});
  return U4(0);
}

LwoWriter& LwoWriter::Sub(const char* id4) {
  Id(id4);
  open_.push_back({bytes_.size(), 2});
  return U2(0);
}

LwoWriter& LwoWriter::End(int64_t declaredSize) {
  Open chunk = open_.back();
  open_.pop_back();
  uint64_t size = declaredSize >= 0 ? uint64_t(declaredSize) : bytes_.size() - chunk.at - chunk.sizeBytes;
  for (int i = 0; i < chunk.sizeBytes; ++i) bytes_[chunk.at + i] = uint8_t(size >> (8 * (chunk.sizeBytes - 1 - i)));
  return *this;
}

LwoWriter& LwoWriter::Layer(uint16_t number, uint16_t flags, float px, float py, float pz, const std::string& name,
                            int parent) {
  Chunk("LAYR").U2(number).U2(flags).Vec(px, py, pz).S0(name);
  if (parent >= 0) U2(uint16_t(parent));
  return End();
}

LwoWriter& LwoWriter::Points(const std::vector<float>& xyz) {
  Chunk("PNTS");
  for (float value : xyz) F4(value);
  return End();
}

LwoWriter& LwoWriter::Polygons(const char* type, const std::vector<std::vector<uint32_t>>& polygons) {
  Chunk("POLS").Id(type);
  for (const auto& polygon : polygons) {
    U2(uint16_t(polygon.size() & 0x3FF));
    for (uint32_t point : polygon) VX(point);
  }
  return End();
}

LwoWriter& LwoWriter::Tags(const std::vector<std::string>& tags) {
  Chunk("TAGS");
  for (const auto& tag : tags) S0(tag);
  return End();
}

LwoWriter& LwoWriter::PolygonTags(const char* type, const std::vector<std::pair<uint32_t, uint16_t>>& polygonTag) {
  Chunk("PTAG").Id(type);
  for (const auto& [polygon, tag] : polygonTag) VX(polygon).U2(tag);
  return End();
}

LwoWriter& LwoWriter::VertexMap(const char* type, uint16_t dimension, const std::string& name,
                                const std::vector<MapEntry>& entries) {
  Chunk("VMAP").Id(type).U2(dimension).S0(name);
  for (const MapEntry& entry : entries) {
    VX(entry.point);
    for (float value : entry.values) F4(value);
  }
  return End();
}

LwoWriter& LwoWriter::FaceVertexMap(const char* type, uint16_t dimension, const std::string& name,
                                    const std::vector<MapEntry>& entries) {
  Chunk("VMAD").Id(type).U2(dimension).S0(name);
  for (const MapEntry& entry : entries) {
    VX(entry.point).VX(entry.polygon);
    for (float value : entry.values) F4(value);
  }
  return End();
}

LwoWriter& LwoWriter::StillClip(uint32_t index, const std::string& path) {
  return Chunk("CLIP").U4(index).Sub("STIL").S0(path).End().End();
}

std::vector<uint8_t> LwoWriter::File(const char* formType, int64_t formSizeOverride) const {
  LwoWriter form;
  form.Id("FORM").U4(formSizeOverride >= 0 ? uint32_t(formSizeOverride) : uint32_t(4 + bytes_.size())).Id(formType);
  std::vector<uint8_t> out = std::move(form.bytes_);
  out.insert(out.end(), bytes_.begin(), bytes_.end());
  return out;
}

}  // namespace iff

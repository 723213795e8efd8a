// Reading helpers for the LWO2 data types over a bounded cursor. Every multi-byte value in an
// object file is big-endian; these helpers are the only place that converts it. A cursor never
// moves past its end: a value that doesn't fit is not read, the cursor goes to its end and
// remembers that it was truncated, so a chunk reader can drop the entry and carry on.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace lwo {

// Chunk and sub-chunk identifiers, compared as the big-endian value of their four bytes.
constexpr uint32_t Id(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
         uint32_t(uint8_t(text[3]));
}

// The four characters of an identifier with a terminator, for log lines. Bytes outside
// printable ASCII become '?' so that a broken file can't put control bytes into the log.
struct IdText {
  char text[5];
  explicit IdText(uint32_t id) {
    for (int i = 0; i < 4; ++i) {
      char c = char(id >> (24 - 8 * i));
      text[i] = (c >= 32 && c < 127) ? c : '?';
    }
    text[4] = 0;
  }
};

struct Cursor {
  const uint8_t* begin = nullptr;
  const uint8_t* at = nullptr;
  const uint8_t* end = nullptr;
  bool truncated = false;  // a helper was asked for more bytes than were left

  Cursor() = default;
  Cursor(const uint8_t* start, const uint8_t* limit) : begin(start), at(start), end(limit) {}

  uint32_t Left() const { return uint32_t(end - at); }
  uint32_t Consumed() const { return uint32_t(at - begin); }
  uint32_t Size() const { return uint32_t(end - begin); }
  bool AtEnd() const { return at >= end; }
  // A cursor over the next size bytes, or none (and this one truncated) when they aren't there.
  bool Take(uint32_t size, Cursor* part) {
    if (size > Left()) {
      Fail();
      return false;
    }
    *part = Cursor(at, at + size);
    at += size;
    return true;
  }
  // Moves forward by size bytes; short of that, to the end, marked truncated.
  uint32_t Skip(uint32_t size) {
    if (size > Left()) return Fail();
    at += size;
    return size;
  }
  uint32_t Fail() {
    at = end;
    truncated = true;
    return 0;
  }
};

inline uint32_t LoadU4(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint16_t LoadU2(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline float LoadF4(const uint8_t* p) {
  uint32_t bits = LoadU4(p);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// Each helper returns the bytes it consumed: 0 (and value 0) when the value was cut short.

inline uint32_t ReadID4(Cursor& c, uint32_t* id) {
  *id = 0;
  if (c.Left() < 4) return c.Fail();
  *id = LoadU4(c.at);
  c.at += 4;
  return 4;
}

inline uint32_t ReadU2(Cursor& c, uint16_t* values, uint32_t count = 1) {
  for (uint32_t i = 0; i < count; ++i) values[i] = 0;
  if (c.Left() < 2 * count) return c.Fail();
  for (uint32_t i = 0; i < count; ++i) values[i] = LoadU2(c.at + 2 * i);
  c.at += 2 * count;
  return 2 * count;
}

inline uint32_t ReadU4(Cursor& c, uint32_t* values, uint32_t count = 1) {
  for (uint32_t i = 0; i < count; ++i) values[i] = 0;
  if (c.Left() < 4 * count) return c.Fail();
  for (uint32_t i = 0; i < count; ++i) values[i] = LoadU4(c.at + 4 * i);
  c.at += 4 * count;
  return 4 * count;
}

inline uint32_t ReadF4(Cursor& c, float* value) {
  *value = 0;
  if (c.Left() < 4) return c.Fail();
  *value = LoadF4(c.at);
  c.at += 4;
  return 4;
}

// VEC12 and COL12: three F4.
inline uint32_t ReadVEC12(Cursor& c, float* xyz) {
  xyz[0] = xyz[1] = xyz[2] = 0;
  if (c.Left() < 12) return c.Fail();
  for (int i = 0; i < 3; ++i) xyz[i] = LoadF4(c.at + 4 * i);
  c.at += 12;
  return 12;
}

// Variable-length index: a U2 below 0xFF00, else 0xFF and a 24-bit index.
inline uint32_t ReadVX(Cursor& c, uint32_t* index) {
  *index = 0;
  if (c.Left() < 2) return c.Fail();
  if (c.at[0] != 0xFF) {
    *index = LoadU2(c.at);
    c.at += 2;
    return 2;
  }
  if (c.Left() < 4) return c.Fail();
  *index = LoadU4(c.at) & 0x00FFFFFFu;
  c.at += 4;
  return 4;
}

// A zero-terminated string padded to an even length. The text is a view into the file's bytes
// and is valid while they are; a string without terminator before the end is truncated.
inline uint32_t ReadS0(Cursor& c, std::string_view* text) {
  *text = {};
  const void* nul = std::memchr(c.at, 0, c.Left());
  if (!nul) return c.Fail();
  uint32_t length = uint32_t(static_cast<const uint8_t*>(nul) - c.at);
  *text = std::string_view(reinterpret_cast<const char*>(c.at), length);
  uint32_t consumed = length + 1;
  if (consumed & 1) ++consumed;
  // A pad byte missing at the very end of the chunk costs nothing: the string is whole.
  if (consumed > c.Left()) consumed = c.Left();
  c.at += consumed;
  return consumed;
}

// Chunk header: ID4 and U4 size; sub-chunk header: ID4 and U2 size. The body is handed out as
// a cursor of its own, so a reader can never run into its neighbour; false when the header is
// cut short or the body runs past this cursor's end (the cursor is then at its end).
inline bool ReadChunk(Cursor& c, uint32_t* id, Cursor* body, uint32_t* size) {
  uint32_t declared = 0;
  if (c.Left() < 8) {
    *id = 0;
    *size = 0;
    c.Fail();
    return false;
  }
  ReadID4(c, id);
  ReadU4(c, &declared);
  *size = declared;
  return c.Take(declared, body);
}

inline bool ReadSubChunk(Cursor& c, uint32_t* id, Cursor* body, uint32_t* size) {
  uint16_t declared = 0;
  if (c.Left() < 6) {
    *id = 0;
    *size = 0;
    c.Fail();
    return false;
  }
  ReadID4(c, id);
  ReadU2(c, &declared);
  *size = declared;
  return c.Take(declared, body);
}

}  // namespace lwo

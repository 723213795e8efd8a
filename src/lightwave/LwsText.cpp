// Reading scene-file text: cutting it into lines and reading the words and numbers of a line.
// Every read stays inside the bytes it was given; the Vfs's copy of a file need not end in a zero.
#include "lightwave/LwsParser.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace lws {

namespace {

const char* SkipBlanks(const char* at) {
  while (IsBlank(*at)) ++at;
  return at;
}

uint32_t DigitValue(char c) {
  if (c >= '0' && c <= '9') return uint32_t(c - '0');
  if (c >= 'a' && c <= 'f') return uint32_t(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return uint32_t(c - 'A' + 10);
  return 99;
}

// Reads digits of base from at; false when there is none. Values wrap at 32 bits, as the
// numbers of a scene file are 32-bit fields.
bool ReadDigits(const char* at, uint32_t base, uint32_t* value, const char** end) {
  uint32_t result = 0;
  const char* p = at;
  while (DigitValue(*p) < base) {
    result = result * base + DigitValue(*p);
    ++p;
  }
  if (p == at) return false;
  *value = result;
  *end = p;
  return true;
}

bool IsHexPrefix(const char* p) { return p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16; }

}  // namespace

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\n'; }

const char* BareFileName(const char* path) {
  const char* name = SkipBlanks(path);
  for (const char* p = name; *p; ++p)
    if (*p == '/' || *p == '\\' || *p == ':') name = p + 1;
  return name;
}

bool Lines::Next(char (&line)[LINE_LENGTH_MAX + 1]) {
  if (!text || position >= size) return false;
  const uint8_t* start = text + position;
  const uint32_t left = size - position;
  // A line ends at LF, CR LF or a lone CR; the last one may have no end at all.
  uint32_t length = 0;
  while (length < left && start[length] != '\n' && start[length] != '\r') ++length;
  uint32_t consumed = length;
  if (consumed < left) {
    ++consumed;
    if (start[length] == '\r' && consumed < left && start[consumed] == '\n') ++consumed;
  }
  position += consumed;

  const uint32_t kept = length < LINE_LENGTH_MAX ? length : LINE_LENGTH_MAX;
  std::memcpy(line, start, kept);
  line[kept] = 0;
  // A zero byte ends the line's text; trailing blanks are no part of any value.
  size_t end = std::strlen(line);
  while (end > 0 && IsBlank(line[end - 1])) line[--end] = 0;
  return true;
}

bool Args::Word(char* out, uint32_t size) {
  if (failed || size == 0) return failed = true, false;
  const char* p = SkipBlanks(at);
  if (*p == 0) return failed = true, false;
  uint32_t n = 0;
  while (*p && !IsBlank(*p)) {
    if (n + 1 < size) out[n++] = *p;
    ++p;
  }
  out[n] = 0;
  at = p;
  return true;
}

bool Args::Int(int32_t* value) {
  if (failed) return false;
  const char* p = SkipBlanks(at);
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint32_t base = 10;
  if (IsHexPrefix(p)) {
    base = 16;
    p += 2;
  } else if (*p == '0') {
    base = 8;
  }
  uint32_t magnitude = 0;
  if (!ReadDigits(p, base, &magnitude, &at)) return failed = true, false;
  *value = int32_t(negative ? 0u - magnitude : magnitude);
  return true;
}

bool Args::Hex(uint32_t* value) {
  if (failed) return false;
  const char* p = SkipBlanks(at);
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (IsHexPrefix(p)) p += 2;
  uint32_t magnitude = 0;
  if (!ReadDigits(p, 16, &magnitude, &at)) return failed = true, false;
  *value = negative ? 0u - magnitude : magnitude;
  return true;
}

bool Args::Float(float* value) {
  if (failed) return false;
  const char* p = SkipBlanks(at);
  if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
  float result = 0;
  auto [end, error] = std::from_chars(p, p + std::strlen(p), result, std::chars_format::general);
  // Infinities and NaNs would poison every value computed from them (and key order).
  if (error != std::errc() || !std::isfinite(result)) return failed = true, false;
  *value = result;
  at = end;
  return true;
}

bool Args::Skip(uint32_t count) {
  char word[LINE_LENGTH_MAX + 1];
  for (uint32_t i = 0; i < count; ++i)
    if (!Word(word, sizeof word)) return false;
  return true;
}

}  // namespace lws

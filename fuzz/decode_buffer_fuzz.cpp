// A stream that decodes decodes the same again in exactly its room, and fills up with one byte less.
#include "FuzzFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const uint8_t NONE = 0;
  const auto decode = [&](uint8_t* out, uint32_t* room) {
    return DecodeBuffer(out, room, size ? data : &NONE, static_cast<uint32_t>(size), 0, 0);
  };
  // Room grows with the input, as a member's unpacked size does, up to 4 MiB.
  const uint32_t room = static_cast<uint32_t>(std::min<size_t>(size * 64 + 16, 4u << 20));
  std::vector<uint8_t> out(room + 1);
  uint32_t len = room;
  const int r = decode(out.data(), &len);
  if (r != DECODE_OK && r != DECODE_DATA_ERROR && r != DECODE_DATA_ERROR_MAGIC && r != DECODE_UNEXPECTED_EOF &&
      r != DECODE_OUTBUFF_FULL && r != DECODE_MEM_ERROR)
    std::abort();
  if (r != DECODE_OK) return 0;
  if (len > room) std::abort();

  std::vector<uint8_t> again(len + 1);
  uint32_t exact = len, shorter = len - 1;
  if (decode(again.data(), &exact) != DECODE_OK || exact != len || std::memcmp(again.data(), out.data(), len) != 0)
    std::abort();
  if (len > 0 && decode(again.data(), &shorter) != DECODE_OUTBUFF_FULL) std::abort();
  return 0;
}

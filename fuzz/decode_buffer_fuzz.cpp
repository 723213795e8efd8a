// Fuzzes the block decoder with arbitrary streams. Besides never crashing or touching memory
// outside its buffers, a stream that decodes must decode the same way again, fail with a full
// destination when given one byte less room, and succeed with exactly the room it needs.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vfs/Vfs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  // Room grows with the input, as a member's unpacked size does, up to 4 MiB.
  const uint32_t room = static_cast<uint32_t>(std::min<size_t>(size * 64 + 16, 4u << 20));
  std::vector<uint8_t> out(room + 1);
  uint32_t len = room;
  static const uint8_t NONE = 0;
  const uint8_t* source = size ? data : &NONE;
  const int r = DecodeBuffer(out.data(), &len, source, static_cast<uint32_t>(size), 0, 0);
  if (r != DECODE_OK) {
    if (r != DECODE_DATA_ERROR && r != DECODE_DATA_ERROR_MAGIC && r != DECODE_UNEXPECTED_EOF &&
        r != DECODE_OUTBUFF_FULL && r != DECODE_MEM_ERROR) {
      std::abort();
    }
    return 0;
  }
  if (len > room) std::abort();

  std::vector<uint8_t> again(len + 1);
  uint32_t exact = len;
  if (DecodeBuffer(again.data(), &exact, source, static_cast<uint32_t>(size), 0, 0) != DECODE_OK || exact != len ||
      std::memcmp(again.data(), out.data(), len) != 0) {
    std::abort();
  }
  if (len > 0) {
    uint32_t shorter = len - 1;
    if (DecodeBuffer(again.data(), &shorter, source, static_cast<uint32_t>(size), 0, 0) != DECODE_OUTBUFF_FULL) {
      std::abort();
    }
  }
  return 0;
}

// Internal to the block decoder: the bit reader over a compressed member and the Huffman
// tables of a block. Both sit on the hot path of a datafile mount, so they are plain values
// that the decoding loop keeps in registers.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace blockdec {

inline constexpr int MAX_CODE_LEN = 20;   // longest code length a table may declare
inline constexpr int MAX_ALPHA = 258;     // RUNA, RUNB, 255 move-to-front positions, end of block
inline constexpr int FAST_BITS = 10;      // codes up to this long resolve in one table look-up
inline constexpr uint32_t BAD_SYMBOL = 0xFFFF;

// Most significant bit first. The buffer holds at least 56 bits after every Refill; past the
// end of the source it is fed zero bytes, counted in padBytes, so that Overrun can tell a
// truncated stream from a corrupt one at the points where a result is decided.
struct BitReader {
  uint64_t buf = 0;          // next bit at bit 63; bits below the valid ones are harmless
  int count = 0;             // valid bits in buf
  const uint8_t* in = nullptr;
  const uint8_t* end = nullptr;
  const uint8_t* start = nullptr;
  uint64_t padBytes = 0;     // zero bytes supplied past the end

  static uint64_t LoadBig64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
  }

  void Refill() {
    if (end - in >= 8) [[likely]] {
      // Loads whole bytes as far as they fit; a partly loaded byte is loaded again next time,
      // to the same bit positions, so OR-ing it twice changes nothing.
      buf |= LoadBig64(in) >> count;
      in += (63 - count) >> 3;
      count |= 56;
    } else {
      while (count < 56) {
        uint64_t byte = 0;
        if (in < end) {
          byte = *in++;
        } else {
          ++padBytes;
        }
        buf |= byte << (56 - count);
        count += 8;
      }
    }
  }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buf >> (64 - n)); }  // 1 <= n <= 32
  void Skip(int n) {
    buf <<= n;
    count -= n;
  }
  uint32_t Get(int n) {  // n <= 32
    Refill();
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // True once a bit past the end of the source was consumed.
  bool Overrun() const {
    uint64_t fed = static_cast<uint64_t>(in - start) + padBytes;
    return fed * 8 - static_cast<uint64_t>(count) > static_cast<uint64_t>(end - start) * 8;
  }
};

// One table's canonical code. Lengths need not satisfy Kraft's inequality: as in the published
// decoder, the codes of each length follow on from the last code one bit shorter, a length
// whose codes overflow its bit width loses the excess, and bit patterns no code covers are
// corrupt data once 20 bits are exhausted.
struct HuffTable {
  uint16_t fast[1u << FAST_BITS];      // (length << 9) | symbol; 0: longer code or none
  uint32_t limit[MAX_CODE_LEN + 1];    // codes of length l are below limit[l]
  int32_t delta[MAX_CODE_LEN + 1];     // code + delta[l] = index into perm
  uint16_t perm[MAX_ALPHA];            // symbols by increasing length, then symbol

  void Build(const uint8_t* lengths, int alphaSize) {
    uint32_t count[MAX_CODE_LEN + 1] = {};
    for (int s = 0; s < alphaSize; ++s) count[lengths[s]]++;
    uint32_t next[MAX_CODE_LEN + 1];
    uint32_t base = 0;
    for (int l = 1; l <= MAX_CODE_LEN; ++l) {
      next[l] = base;
      base += count[l];
    }
    for (int s = 0; s < alphaSize; ++s) perm[next[lengths[s]]++] = static_cast<uint16_t>(s);

    uint32_t v = 0;       // one past the last code of the previous length
    uint32_t rank = 0;    // symbols shorter than l
    uint32_t filled = 0;  // fast entries assigned so far
    for (int l = 1; l <= MAX_CODE_LEN; ++l) {
      uint32_t first = 2 * v;
      v = first + count[l];
      limit[l] = v;
      delta[l] = static_cast<int32_t>(rank) - static_cast<int32_t>(first);
      if (l <= FAST_BITS) {
        uint32_t top = v < (1u << l) ? v : (1u << l);
        int shift = FAST_BITS - l;
        for (uint32_t code = first; code < top; ++code) {
          uint16_t entry = static_cast<uint16_t>((l << 9) | perm[rank + code - first]);
          uint32_t lo = code << shift, hi = (code + 1) << shift;
          for (uint32_t x = lo; x < hi; ++x) fast[x] = entry;
          filled = hi;
        }
      }
      rank += count[l];
    }
    for (uint32_t x = filled; x < (1u << FAST_BITS); ++x) fast[x] = 0;
  }

  // Codes longer than FAST_BITS: bits holds the next 32 bits of the stream. Returns the symbol
  // and sets length, or BAD_SYMBOL when no code of up to 20 bits matches.
  uint32_t DecodeLong(uint32_t bits, int& length) const {
    for (int l = FAST_BITS + 1; l <= MAX_CODE_LEN; ++l) {
      uint32_t code = bits >> (32 - l);
      if (code < limit[l]) {
        // Always inside perm for codes reached this way; checked all the same.
        uint32_t index = static_cast<uint32_t>(static_cast<int32_t>(code) + delta[l]);
        if (index >= MAX_ALPHA) return BAD_SYMBOL;
        length = l;
        return perm[index];
      }
    }
    return BAD_SYMBOL;
  }
};

}  // namespace blockdec

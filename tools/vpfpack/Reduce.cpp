// Making reduced block-sorting streams for the datafile packer. libbz2 compresses; the stream
// is then parsed block by block (blocks are not byte-aligned, and only decoding a block's
// symbols up to its end-of-block finds where it stops) and copied bit by bit without the
// signature, the block CRCs, the randomised bits and the stream CRC.

#include "vpfpack/Reduce.h"

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "vfs/Vfs.h"

namespace {

constexpr uint64_t BLOCK_MARKER = 0x314159265359ull;
constexpr uint64_t END_MARKER = 0x177245385090ull;
constexpr int GROUP_SIZE = 50;
constexpr int MAX_GROUPS = 6;
constexpr int MAX_ALPHA = 258;
constexpr int MAX_CODE_LEN = 20;
constexpr int MAX_SELECTORS = 18002;

// Reads bits most significant first; past the end it returns zeros and sets over.
struct BitIn {
  const uint8_t* data;
  uint64_t sizeBits;
  uint64_t pos = 0;
  bool over = false;

  uint32_t Bits(int n) {
    if (pos + static_cast<uint64_t>(n) > sizeBits) {
      over = true;
      pos = sizeBits;
      return 0;
    }
    uint32_t v = 0;
    while (n > 0) {
      int offset = static_cast<int>(pos & 7);
      int take = std::min(n, 8 - offset);
      uint32_t byte = data[pos >> 3];
      v = (v << take) | ((byte >> (8 - offset - take)) & ((1u << take) - 1));
      pos += static_cast<uint64_t>(take);
      n -= take;
    }
    return v;
  }
  uint32_t Bit() { return Bits(1); }
};

struct BitOut {
  std::vector<uint8_t>& bytes;
  uint32_t acc = 0;
  int fill = 0;  // bits in acc

  void Put(uint64_t value, int n) {  // n <= 48
    while (n > 0) {
      int take = std::min(n, 8 - fill);
      uint32_t part = static_cast<uint32_t>(value >> (n - take)) & ((1u << take) - 1);
      acc = (acc << take) | part;
      fill += take;
      n -= take;
      if (fill == 8) {
        bytes.push_back(static_cast<uint8_t>(acc));
        acc = 0;
        fill = 0;
      }
    }
  }
  void Flush() {
    if (fill > 0) Put(0, 8 - fill);
  }
};

// Canonical decoding with the same rule for odd length sets as the decoder: codes of each
// length follow the last code one bit shorter.
struct Table {
  uint32_t limit[MAX_CODE_LEN + 1];
  int32_t delta[MAX_CODE_LEN + 1];
  uint16_t perm[MAX_ALPHA];

  void Build(const uint8_t* lengths, int alphaSize) {
    uint32_t count[MAX_CODE_LEN + 1] = {};
    for (int s = 0; s < alphaSize; ++s) count[lengths[s]]++;
    uint32_t next[MAX_CODE_LEN + 1];
    uint32_t rank = 0;
    for (int l = 1; l <= MAX_CODE_LEN; ++l) {
      next[l] = rank;
      rank += count[l];
    }
    for (int s = 0; s < alphaSize; ++s) perm[next[lengths[s]]++] = static_cast<uint16_t>(s);
    uint32_t v = 0;
    rank = 0;
    for (int l = 1; l <= MAX_CODE_LEN; ++l) {
      uint32_t first = 2 * v;
      v = first + count[l];
      limit[l] = v;
      delta[l] = static_cast<int32_t>(rank) - static_cast<int32_t>(first);
      rank += count[l];
    }
  }
  // The symbol, or -1 when no code of up to 20 bits matches.
  int Decode(BitIn& in) const {
    uint32_t code = 0;
    for (int l = 1; l <= MAX_CODE_LEN; ++l) {
      code = (code << 1) | in.Bit();
      if (code < limit[l]) {
        int32_t index = static_cast<int32_t>(code) + delta[l];
        return index >= 0 && index < MAX_ALPHA ? perm[index] : -1;
      }
    }
    return -1;
  }
};

// Reads one block body (after the randomised bit) up to and including its end-of-block
// symbol. False on anything the decoder would reject in the header or the symbols.
bool SkipBlockBody(BitIn& in) {
  in.Bits(24);  // origin pointer: only the decoder can judge it
  uint32_t ranges = in.Bits(16);
  int inUse = 0;
  for (int r = 0; r < 16; ++r) {
    if (ranges & (0x8000u >> r)) inUse += __builtin_popcount(in.Bits(16));
  }
  if (inUse == 0) return false;
  const int alphaSize = inUse + 2;

  const int groups = static_cast<int>(in.Bits(3));
  if (groups < 2 || groups > MAX_GROUPS) return false;
  const int stored = static_cast<int>(in.Bits(15));
  if (stored < 1) return false;
  uint8_t selectors[MAX_SELECTORS];
  uint8_t order[MAX_GROUPS] = {0, 1, 2, 3, 4, 5};
  for (int i = 0; i < stored; ++i) {
    int j = 0;
    while (in.Bit()) {
      if (++j >= groups || in.over) return false;
    }
    if (i < MAX_SELECTORS) {
      uint8_t table = order[j];
      for (int k = j; k > 0; --k) order[k] = order[k - 1];
      order[0] = table;
      selectors[i] = table;
    }
  }
  const int selectorCount = std::min(stored, MAX_SELECTORS);

  Table tables[MAX_GROUPS];
  for (int t = 0; t < groups; ++t) {
    uint8_t lengths[MAX_ALPHA];
    int length = static_cast<int>(in.Bits(5));
    for (int s = 0; s < alphaSize; ++s) {
      for (;;) {
        if (length < 1 || length > MAX_CODE_LEN || in.over) return false;
        if (!in.Bit()) break;
        length += in.Bit() ? -1 : 1;
      }
      lengths[s] = static_cast<uint8_t>(length);
    }
    tables[t].Build(lengths, alphaSize);
  }

  const int endOfBlock = alphaSize - 1;
  for (int group = 0; group < selectorCount; ++group) {
    const Table& table = tables[selectors[group]];
    for (int k = 0; k < GROUP_SIZE; ++k) {
      int sym = table.Decode(in);
      if (sym < 0 || in.over) return false;
      if (sym == endOfBlock) return true;
    }
  }
  return false;  // selectors ran out before the end of the block
}

void CopyBits(const BitIn& source, uint64_t from, uint64_t to, BitOut& out) {
  BitIn in = source;
  in.pos = from;
  while (from < to) {
    int n = static_cast<int>(std::min<uint64_t>(32, to - from));
    out.Put(in.Bits(n), n);
    from += static_cast<uint64_t>(n);
  }
}

bool Reduce(const uint8_t* bz2, size_t size, std::vector<uint8_t>& out) {
  if (!bz2 || size < 4 || std::memcmp(bz2, "BZh", 3) != 0 || bz2[3] < '1' || bz2[3] > '9') return false;
  out.push_back(bz2[3]);
  BitIn in{bz2, static_cast<uint64_t>(size) * 8, 32};
  BitOut writer{out};
  for (;;) {
    uint64_t marker = static_cast<uint64_t>(in.Bits(24)) << 24;
    marker |= in.Bits(24);
    if (in.over) return false;
    if (marker == END_MARKER) break;
    if (marker != BLOCK_MARKER) return false;
    in.Bits(32);                // block CRC
    if (in.Bit()) return false;  // randomised blocks have no reduced form
    uint64_t body = in.pos;
    if (!SkipBlockBody(in) || in.over) return false;
    writer.Put(BLOCK_MARKER, 48);
    CopyBits(in, body, in.pos, writer);
  }
  in.Bits(32);  // stream CRC
  // Only the zero padding of the last byte may follow.
  if (in.over || in.sizeBits - in.pos >= 8) return false;
  writer.Put(END_MARKER, 48);
  writer.Flush();
  return true;
}

}  // namespace

bool ReduceStream(const uint8_t* bz2, size_t size, std::vector<uint8_t>& out) {
  out.clear();
  if (Reduce(bz2, size, out)) return true;
  out.clear();
  return false;
}

bool CompressReduced(const uint8_t* data, size_t size, int blockSize100k, std::vector<uint8_t>& out) {
  out.clear();
  if (blockSize100k < 1 || blockSize100k > 9 || size > UINT_MAX - UINT_MAX / 100 - 600 || (!data && size > 0)) {
    return false;
  }
  static const uint8_t NOTHING = 0;
  const uint8_t* source = data ? data : &NOTHING;
  unsigned int capacity = static_cast<unsigned int>(size + size / 100 + 600);
  std::vector<char> bz2(capacity);
  int r = BZ2_bzBuffToBuffCompress(bz2.data(), &capacity, const_cast<char*>(reinterpret_cast<const char*>(source)),
                                   static_cast<unsigned int>(size), blockSize100k, 0, 0);
  if (r != BZ_OK) return false;
  if (!ReduceStream(reinterpret_cast<const uint8_t*>(bz2.data()), capacity, out)) return false;

  // A member that would not mount is worse than no datafile: decode and compare.
  std::vector<uint8_t> check(size + 1);
  uint32_t checkLen = static_cast<uint32_t>(check.size());
  if (DecodeBuffer(check.data(), &checkLen, out.data(), static_cast<uint32_t>(out.size()), 0, 0) != DECODE_OK ||
      checkLen != size || (size > 0 && std::memcmp(check.data(), source, size) != 0)) {
    out.clear();
    return false;
  }
  return true;
}

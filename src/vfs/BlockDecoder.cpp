// The block decoder: turns a reduced block-sorting stream (a compressed datafile member) back
// into its bytes, straight into the caller's buffer. Each block passes through Huffman and
// move-to-front decoding into a byte array, the inverse Burrows-Wheeler transform and, on the
// way out, the first run-length stage. Every count and index read from the stream is checked
// before it is used, so any input is safe; without CRCs a damaged stream may still decode to
// wrong bytes, which only the datafile's own checksum can catch.

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "vfs/BlockDecoderBits.h"
#include "vfs/Vfs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace blockdec;

namespace {

constexpr int GROUP_SIZE = 50;            // symbols decoded with one selector's table
static_assert(GROUP_SIZE % 2 == 0, "symbols are decoded in pairs within a group");
constexpr int MIN_GROUPS = 2;
constexpr int MAX_GROUPS = 6;
constexpr int MAX_SELECTORS = 18002;      // enough for the largest block; more are read and dropped
constexpr uint32_t MAX_RUN_WEIGHT = 2u * 1024 * 1024;  // keeps RUNA/RUNB runs from overflowing
constexpr uint32_t BLOCK_UNIT = 100000;   // the size digit counts this many bytes
constexpr uint32_t BLOCK_SLACK = 16;      // block array bytes past the end for wide run stores
constexpr uint32_t INITIAL_BLOCK = 1u << 16;  // first size of the block array

// The inverse transform of a large block walks a chain of links scattered over megabytes.
// One walker would wait on a cache miss per byte, so the chain is cut at fixed positions into
// segments that several walkers follow at once; the segments are stitched together after.
constexpr uint32_t LINK_MASK = 0xFFFFF;   // links fit 20 bits: blocks hold at most 900000 bytes
constexpr uint32_t SEGMENT_MARK = 0x80000000u;  // the entry links to the start of a segment
constexpr uint32_t PARALLEL_MIN = 1u << 12;  // below this the links fit the first-level cache
constexpr int SEGMENTS_LOG2 = 6;          // a block is cut into 64 to 128 segments
constexpr int WALKERS = 16;
// A block of n < 2^(shift + 7) bytes has at most 128 segment starts at the multiples of
// 2^shift, and the origin pointer; its chunks of 2^(shift - 1) bytes are fewer than 256 full
// ones and one part-filled per segment.
constexpr uint32_t MAX_SEGMENTS = 130;
constexpr uint32_t MAX_CHUNKS = 256 + MAX_SEGMENTS;

struct Decoder {
  BitReader bits;
  uint8_t* out = nullptr;      // next byte of the destination
  uint8_t* outEnd = nullptr;
  uint32_t blockMax = 0;       // digit * 100000
  uint32_t origPtr = 0;
  uint32_t blockLen = 0;
  int alphaSize = 0;
  int groupCount = 0;
  int selectorCount = 0;
  uint32_t counts[256];
  uint8_t alphabet[256];       // byte values in use, increasing
  uint8_t selectors[MAX_SELECTORS];
  uint8_t lengths[MAX_GROUPS][MAX_ALPHA];
  HuffTable tables[MAX_GROUPS];
  // Block arrays, grown as blocks need them up to blockMax, so that the many small members
  // of a datafile don't each pay for megabytes.
  std::unique_ptr<uint8_t[]> block;   // blockCap + BLOCK_SLACK: decoded, then inverted bytes
  std::unique_ptr<uint32_t[]> tt;     // ttCap links for the inverse transform
  std::unique_ptr<uint8_t[]> pool;    // poolBytes for the chunks of the segmented walk
  uint32_t blockCap = 0;
  uint32_t ttCap = 0;
  size_t poolBytes = 0;
  int segmentShift = 0;        // segments start at the multiples of 1 << segmentShift

  int EndOfSource() const { return out < outEnd ? DECODE_UNEXPECTED_EOF : DECODE_OUTBUFF_FULL; }
  // Corrupt-looking bits that were really the zeros fed past the end mean a truncated stream.
  int Corrupt() const { return bits.Overrun() ? EndOfSource() : DECODE_DATA_ERROR; }

  bool GrowBlock(uint32_t need, uint32_t keep);
  int ReadMarker(bool& isBlock);
  int ReadBlockHeader();
  int DecodeSymbols();
  int Invert();
  bool WalkSegments(uint32_t chunkSize);
  int Emit();
};

// Makes room for need bytes (need <= blockMax), keeping the first keep.
bool Decoder::GrowBlock(uint32_t need, uint32_t keep) {
  uint32_t cap = std::max(need, std::min(blockMax, std::max(blockCap * 2, INITIAL_BLOCK)));
  std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[cap + BLOCK_SLACK]);
  if (!grown) return false;
  if (keep > 0) std::memcpy(grown.get(), block.get(), keep);
  block = std::move(grown);
  blockCap = cap;
  return true;
}

// Reads a 48-bit marker a byte at a time, failing at the first byte that fits neither marker,
// as a byte-oriented reader would.
int Decoder::ReadMarker(bool& isBlock) {
  static constexpr uint8_t BLOCK_BYTES[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
  static constexpr uint8_t END_BYTES[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
  uint32_t first = bits.Get(8);
  if (bits.Overrun()) return EndOfSource();
  const uint8_t* expect = first == BLOCK_BYTES[0] ? BLOCK_BYTES : first == END_BYTES[0] ? END_BYTES : nullptr;
  if (!expect) return DECODE_DATA_ERROR;
  for (int i = 1; i < 6; ++i) {
    uint32_t byte = bits.Get(8);
    if (bits.Overrun()) return EndOfSource();
    if (byte != expect[i]) return DECODE_DATA_ERROR;
  }
  isBlock = expect == BLOCK_BYTES;
  return DECODE_OK;
}

int Decoder::ReadBlockHeader() {
  origPtr = bits.Get(24);
  if (origPtr > 10 + blockMax) return Corrupt();

  uint32_t ranges = bits.Get(16);
  int inUse = 0;
  for (int r = 0; r < 16; ++r) {
    if (!(ranges & (0x8000u >> r))) continue;
    uint32_t values = bits.Get(16);
    for (int v = 0; v < 16; ++v) {
      if (values & (0x8000u >> v)) alphabet[inUse++] = static_cast<uint8_t>(r * 16 + v);
    }
  }
  if (inUse == 0) return Corrupt();
  alphaSize = inUse + 2;

  groupCount = static_cast<int>(bits.Get(3));
  if (groupCount < MIN_GROUPS || groupCount > MAX_GROUPS) return Corrupt();
  int stored = static_cast<int>(bits.Get(15));
  if (stored < 1) return Corrupt();
  uint8_t order[MAX_GROUPS] = {0, 1, 2, 3, 4, 5};
  for (int i = 0; i < stored; ++i) {
    bits.Refill();
    int ones = std::countl_one(bits.buf);
    if (ones >= groupCount) {
      bits.Skip(groupCount);
      return Corrupt();
    }
    bits.Skip(ones + 1);
    if (i < MAX_SELECTORS) {
      uint8_t table = order[ones];
      for (int k = ones; k > 0; --k) order[k] = order[k - 1];
      order[0] = table;
      selectors[i] = table;
    }
  }
  selectorCount = std::min(stored, MAX_SELECTORS);

  for (int t = 0; t < groupCount; ++t) {
    int length = static_cast<int>(bits.Get(5));
    for (int s = 0; s < alphaSize; ++s) {
      for (;;) {
        if (length < 1 || length > MAX_CODE_LEN) return Corrupt();
        bits.Refill();
        uint32_t step = bits.Peek(2);
        if (step < 2) {
          bits.Skip(1);
          break;
        }
        bits.Skip(2);
        length += step == 2 ? 1 : -1;
      }
      lengths[t][s] = static_cast<uint8_t>(length);
    }
    tables[t].Build(lengths[t], alphaSize);
  }
  return DECODE_OK;
}

alignas(16) constexpr uint8_t INDEX[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// Move-to-front list of the block's byte values, position 0 first.
struct MoveToFront {
  alignas(16) uint8_t list[256];

  uint8_t Take(uint32_t pos) {
    uint8_t c = list[pos];
#if defined(__SSE2__)
    __m128i head = _mm_load_si128(reinterpret_cast<const __m128i*>(list));
    if (pos < 16) {
      // Positions 0..pos move up by one inside a single register, without a loop.
      const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(INDEX));
      __m128i moved = _mm_or_si128(_mm_slli_si128(head, 1), _mm_cvtsi32_si128(c));
      __m128i mask = _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(pos + 1)));
      _mm_store_si128(reinterpret_cast<__m128i*>(list), _mm_or_si128(_mm_and_si128(mask, moved), _mm_andnot_si128(mask, head)));
      return c;
    }
    // Copies overlapping by one byte, from the top down, so each reads bytes not yet written;
    // the lowest sixteen were read first and go last.
    for (int k = static_cast<int>(pos) - 16; k > 0; k -= 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(list + k + 1), _mm_loadu_si128(reinterpret_cast<const __m128i*>(list + k)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(list + 1), head);
#else
    std::memmove(list + 1, list, pos);
#endif
    list[0] = c;
    return c;
  }
};

int Decoder::DecodeSymbols() {
  MoveToFront mtf;
  std::memset(mtf.list, 0, sizeof mtf.list);
  for (int i = 0; i < alphaSize - 2; ++i) mtf.list[i] = alphabet[i];
  std::memset(counts, 0, sizeof counts);

  const uint32_t endOfBlock = static_cast<uint32_t>(alphaSize - 1);
  uint8_t* data = block.get();
  uint32_t cap = blockCap;
  BitReader br = bits;  // a local copy stays in registers
  uint32_t n = 0;
  uint32_t runLength = 0;
  uint32_t runWeight = 1;
  int group = 0;
  int groupLeft = 0;
  const HuffTable* table = nullptr;

  for (;;) {
    if (groupLeft == 0) {
      if (group >= selectorCount) {
        bits = br;
        return Corrupt();
      }
      table = &tables[selectors[group++]];
      groupLeft = GROUP_SIZE;
    }
    // A refill leaves at least 56 bits: enough for two codes of up to 20 bits, and groups
    // hold an even number of symbols.
    br.Refill();
    for (int pair = 0; pair < 2; ++pair) {
      --groupLeft;
      uint32_t entry = table->fast[br.Peek(FAST_BITS)];
      uint32_t sym;
      if (entry != 0) [[likely]] {
        br.Skip(static_cast<int>(entry >> 9));
        sym = entry & 511;
      } else {
        int length = 0;
        sym = table->DecodeLong(br.Peek(32), length);
        if (sym == BAD_SYMBOL) {
          br.Skip(MAX_CODE_LEN);
          bits = br;
          return Corrupt();
        }
        br.Skip(length);
      }

      if (sym <= 1) {
        // RUNA adds the weight, RUNB twice the weight: bijective base 2, lowest digit first.
        if (runWeight >= MAX_RUN_WEIGHT) {
          bits = br;
          return Corrupt();
        }
        runLength += runWeight << sym;
        runWeight <<= 1;
        continue;
      }
      if (runLength != 0) {
        if (runLength > cap - n) {
          bits = br;
          if (runLength > blockMax - n) return Corrupt();
          if (!GrowBlock(n + runLength, n)) return DECODE_MEM_ERROR;
          data = block.get();
          cap = blockCap;
        }
        uint8_t c = mtf.list[0];
        counts[c] += runLength;
        if (runLength <= 8) {
          uint64_t eight = 0x0101010101010101ull * c;  // block has slack for the full store
          std::memcpy(data + n, &eight, 8);
        } else {
          std::memset(data + n, c, runLength);
        }
        n += runLength;
        runLength = 0;
        runWeight = 1;
      }
      if (sym == endOfBlock) goto blockEnd;
      if (n >= cap) {
        bits = br;
        if (n >= blockMax) return Corrupt();
        if (!GrowBlock(n + 1, n)) return DECODE_MEM_ERROR;
        data = block.get();
        cap = blockCap;
      }
      uint8_t c = mtf.Take(sym - 1);
      counts[c]++;
      data[n++] = c;
    }
  }
blockEnd:
  bits = br;
  if (bits.Overrun()) return EndOfSource();
  if (origPtr >= n) return DECODE_DATA_ERROR;
  blockLen = n;
  return DECODE_OK;
}

// Undoes the transform: afterwards block[0..blockLen) holds the block's bytes in order.
int Decoder::Invert() {
  const uint32_t n = blockLen;
  if (ttCap < n) {
    tt.reset(new (std::nothrow) uint32_t[n]);
    if (!tt) return DECODE_MEM_ERROR;
    ttCap = n;
  }
  // About 2^SEGMENTS_LOG2 segments whatever the block's size, written in chunks of half a
  // segment's mean length; each segment leaves at most one chunk part-filled.
  segmentShift = std::max(static_cast<int>(std::bit_width(n)) - 1 - SEGMENTS_LOG2, SEGMENTS_LOG2);
  const uint32_t segmentMask = (1u << segmentShift) - 1;
  const uint32_t chunkSize = 1u << (segmentShift - 1);
  const size_t bytesNeeded = static_cast<size_t>(MAX_CHUNKS) * chunkSize;
  if (n >= PARALLEL_MIN && poolBytes < bytesNeeded) {
    pool.reset(new (std::nothrow) uint8_t[bytesNeeded]);
    if (!pool) return DECODE_MEM_ERROR;
    poolBytes = bytesNeeded;
  }
  uint32_t next[256];
  uint32_t sum = 0;
  for (int c = 0; c < 256; ++c) {
    next[c] = sum;
    sum += counts[c];
  }
  // Entry j: the position its link leads to (bits 8..27) and that position's byte (bits
  // 0..7), so a walker reads one word per byte. SEGMENT_MARK flags links to segment starts:
  // every multiple of 1 << segmentShift and the origin pointer.
  uint32_t* const t = tt.get();
  const uint8_t* const data = block.get();
  auto link = [&](uint32_t from, uint32_t to) {
    for (uint32_t i = from; i < to; ++i) {
      uint32_t c = data[i];
      uint32_t mark = static_cast<uint32_t>((i & segmentMask) == 0) << 31;
      t[next[c]++] = (i << 8) | c | mark;
    }
  };
  link(0, origPtr);
  uint32_t markedOrig = next[data[origPtr]];
  link(origPtr, n);
  t[markedOrig] |= SEGMENT_MARK;

  if (n >= PARALLEL_MIN && WalkSegments(chunkSize)) return DECODE_OK;

  // Entry origPtr leads to the first byte; each of the n reads yields the next byte.
  uint8_t* const dst = block.get();
  uint32_t pos = origPtr;
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t e = t[pos];
    dst[k] = static_cast<uint8_t>(e);
    pos = (e >> 8) & LINK_MASK;
  }
  return DECODE_OK;
}

// Follows the chain from every segment start at once, WALKERS at a time, each segment into its
// own chunks, then joins them in chain order into the block array. False when the links do
// not form one cycle through every position (damaged data): the caller then walks the single
// chain from the origin pointer, which is what the format defines for that case too.
bool Decoder::WalkSegments(const uint32_t chunkSize) {
  const uint32_t n = blockLen;
  const uint32_t* const t = tt.get();
  const int shift = segmentShift;
  const uint32_t mask = (1u << shift) - 1;
  const uint32_t multiples = (n + mask) >> shift;
  const bool origIsMultiple = (origPtr & mask) == 0;
  const uint32_t segmentCount = multiples + (origIsMultiple ? 0 : 1);
  auto startOf = [&](uint32_t s) { return s < multiples ? s << shift : origPtr; };
  auto segmentAt = [&](uint32_t pos) { return (pos & mask) == 0 ? pos >> shift : multiples; };

  if (segmentCount > MAX_SEGMENTS) return false;
  uint32_t segLength[MAX_SEGMENTS];
  uint32_t segNext[MAX_SEGMENTS];
  uint32_t segChunk[MAX_SEGMENTS];
  uint32_t chunkNext[MAX_CHUNKS];
  uint32_t chunksUsed = 0;
  uint8_t* const chunks = pool.get();

  struct Walker {
    uint32_t pos;       // entry to read next
    uint32_t segment;
    uint32_t chunk;     // chunk being written
    uint32_t written;   // bytes of the segment in earlier chunks
    uint8_t* out;
    uint8_t* chunkEnd;
  };
  Walker walkers[WALKERS];
  uint32_t active = 0;
  uint32_t nextSegment = 0;
  // Chunks can't run out (see MAX_CHUNKS); were they to, the single walk still works.
  auto begin = [&](Walker& w) {
    if (chunksUsed >= MAX_CHUNKS) return false;
    uint32_t s = nextSegment++;
    w.pos = startOf(s);
    w.segment = s;
    w.chunk = chunksUsed++;
    w.written = 0;
    w.out = chunks + static_cast<size_t>(w.chunk) * chunkSize;
    w.chunkEnd = w.out + chunkSize;
    segChunk[s] = w.chunk;
    return true;
  };
  while (active < WALKERS && nextSegment < segmentCount) {
    if (!begin(walkers[active++])) return false;
  }

  while (active > 0) {
    for (uint32_t k = 0; k < active; ++k) {
      Walker& w = walkers[k];
      uint32_t e = t[w.pos];
      *w.out++ = static_cast<uint8_t>(e);
      w.pos = (e >> 8) & LINK_MASK;
      if (((e & SEGMENT_MARK) != 0) | (w.out == w.chunkEnd)) [[unlikely]] {
        if (e & SEGMENT_MARK) {
          uint8_t* chunkStart = chunks + static_cast<size_t>(w.chunk) * chunkSize;
          segLength[w.segment] = w.written + static_cast<uint32_t>(w.out - chunkStart);
          segNext[w.segment] = segmentAt(w.pos);
          if (nextSegment < segmentCount) {
            if (!begin(w)) return false;
          } else {
            w = walkers[--active];
            --k;
          }
        } else {
          if (chunksUsed >= MAX_CHUNKS) return false;
          uint32_t chunk = chunksUsed++;
          chunkNext[w.chunk] = chunk;
          w.written += chunkSize;
          w.chunk = chunk;
          w.out = chunks + static_cast<size_t>(chunk) * chunkSize;
          w.chunkEnd = w.out + chunkSize;
        }
      }
    }
  }

  // One cycle through all positions: the segments from the origin's cover exactly n bytes.
  const uint32_t first = segmentAt(origPtr);
  uint32_t total = 0;
  uint32_t s = first;
  for (uint32_t steps = 0; steps < segmentCount; ++steps) {
    total += segLength[s];
    s = segNext[s];
    if (s == first) break;
  }
  if (s != first || total != n) return false;

  uint8_t* dst = block.get();
  s = first;
  do {
    uint32_t left = segLength[s];
    uint32_t chunk = segChunk[s];
    while (left > 0) {
      uint32_t take = std::min(left, chunkSize);
      std::memcpy(dst, chunks + static_cast<size_t>(chunk) * chunkSize, take);
      dst += take;
      left -= take;
      if (left > 0) chunk = chunkNext[chunk];
    }
    s = segNext[s];
  } while (s != first);
  return true;
}

// Position of the first run of four equal bytes starting at or after from, or n.
uint32_t FindRun(const uint8_t* data, uint32_t from, uint32_t n) {
  uint32_t i = from;
#if defined(__SSE2__)
  while (i + 19 <= n) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 2));
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 3));
    __m128i same = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(a, c)), _mm_cmpeq_epi8(a, d));
    uint32_t bitsSet = static_cast<uint32_t>(_mm_movemask_epi8(same));
    if (bitsSet != 0) return i + static_cast<uint32_t>(std::countr_zero(bitsSet));
    i += 16;
  }
#endif
  for (; i + 4 <= n; ++i) {
    uint8_t c = data[i];
    if (data[i + 1] == c && data[i + 2] == c && data[i + 3] == c) return i;
  }
  return n;
}

// Undoes the first run-length stage into the destination: four equal bytes are followed by a
// count of further copies. Runs never cross blocks.
int Decoder::Emit() {
  const uint8_t* const data = block.get();
  const uint32_t n = blockLen;
  uint32_t pos = 0;
  while (pos < n) {
    uint32_t run = FindRun(data, pos, n);
    uint32_t literal = (run < n ? run + 4 : n) - pos;
    size_t room = static_cast<size_t>(outEnd - out);
    if (literal > room) {
      std::memcpy(out, data + pos, room);
      out += room;
      return DECODE_OUTBUFF_FULL;
    }
    std::memcpy(out, data + pos, literal);
    out += literal;
    if (run >= n) break;
    if (run + 4 >= n) return DECODE_DATA_ERROR;  // a run with no count byte
    uint32_t extra = data[run + 4];
    room -= literal;
    if (extra > room) {
      std::memset(out, data[run], room);
      out += room;
      return DECODE_OUTBUFF_FULL;
    }
    std::memset(out, data[run], extra);
    out += extra;
    pos = run + 5;
  }
  return DECODE_OK;
}

int Decode(uint8_t* dest, uint32_t* destLen, const uint8_t* source, uint32_t sourceLen) {
  if (sourceLen == 0) return *destLen > 0 ? DECODE_UNEXPECTED_EOF : DECODE_OUTBUFF_FULL;
  uint8_t digit = source[0];
  if (digit < '1' || digit > '9') return DECODE_DATA_ERROR_MAGIC;

  std::unique_ptr<Decoder> d(new (std::nothrow) Decoder);
  if (!d) return DECODE_MEM_ERROR;
  d->blockMax = static_cast<uint32_t>(digit - '0') * BLOCK_UNIT;
  if (!d->GrowBlock(std::min(d->blockMax, INITIAL_BLOCK), 0)) return DECODE_MEM_ERROR;
  d->bits.start = source;
  d->bits.in = source + 1;
  d->bits.end = source + sourceLen;
  d->out = dest;
  d->outEnd = dest + *destLen;

  for (;;) {
    bool isBlock = false;
    if (int r = d->ReadMarker(isBlock); r != DECODE_OK) return r;
    if (!isBlock) break;
    if (int r = d->ReadBlockHeader(); r != DECODE_OK) return r;
    if (int r = d->DecodeSymbols(); r != DECODE_OK) return r;
    if (int r = d->Invert(); r != DECODE_OK) return r;
    if (int r = d->Emit(); r != DECODE_OK) return r;
  }
  *destLen = static_cast<uint32_t>(d->out - dest);
  return DECODE_OK;
}

}  // namespace

int DecodeBuffer(uint8_t* dest, uint32_t* destLen, const uint8_t* source, uint32_t sourceLen, int small,
                 int verbosity) {
  if (!dest || !destLen || !source || (small != 0 && small != 1) || verbosity < 0 || verbosity > 4) {
    return DECODE_PARAM_ERROR;
  }
  return Decode(dest, destLen, source, sourceLen);
}

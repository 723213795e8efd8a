// The block decoder: round trips through the packer, every result code, hand-made streams at each
// limit, and random blocks decoded as libbz2 decodes them (damage in general is the fuzzer's).

#include <bzlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "vfs/Vfs.h"
#include "vpfpack/Reduce.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t RUNA = 0;
constexpr uint32_t RUNB = 1;

struct Decoded {
  int result;
  Bytes bytes;
};

Decoded Decode(const Bytes& stream, uint32_t room) {
  Decoded d{0, Bytes(room + 1)};  // never empty, so data() is never null
  uint32_t len = room;
  static const uint8_t NONE = 0;
  d.result = DecodeBuffer(d.bytes.data(), &len, stream.empty() ? &NONE : stream.data(),
                          static_cast<uint32_t>(stream.size()), 0, 0);
  d.bytes.resize(d.result == DECODE_OK ? len : 0);
  return d;
}

Bytes Reduced(const Bytes& data, int blockSize) {
  Bytes out;
  EXPECT_TRUE(CompressReduced(data.data(), data.size(), blockSize, out)) << data.size() << " bytes at " << blockSize;
  return out;
}

Bytes Text(size_t size, uint32_t seed) {
  static const char* const WORDS[] = {"the ", "surface ", "of ", "a ", "light ", "camera ", "envelope ", "and ",
                                      "motion, ", "keyframe ", "polygon. ", "\n", "Scene ", "0.5 ", "1.0 "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) s += WORDS[rng() % 15];
  s.resize(size);
  return {s.begin(), s.end()};
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& c : b) c = static_cast<uint8_t>(rng());
  return b;
}

// Byte values with a steep distribution, so rare values get codes longer than a table look-up.
Bytes Skewed(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::geometric_distribution<int> g(0.12);
  Bytes b(size);
  for (auto& c : b) c = static_cast<uint8_t>(std::min(g(rng), 255));
  return b;
}

// Runs of one byte of every length up to 300, which the first run-length stage codes as four
// bytes and a count, and back-to-back runs that need two counts.
Bytes Runs(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < size)
    b.insert(b.end(), rng() % 4 == 0 ? 255 + 4 + rng() % 8 : rng() % 300, static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng()));
  b.resize(size);
  return b;
}

// ---- Hand-made streams ----

struct BitWriter {
  Bytes bytes;
  uint64_t bits = 0;

  void Put(uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i, ++bits) {
      if (bits % 8 == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
    }
  }
};

constexpr uint64_t BLOCK_MARKER = 0x314159265359ull;
constexpr uint64_t END_MARKER = 0x177245385090ull;

// Canonical codes for lengths that satisfy Kraft's inequality.
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  std::vector<uint32_t> codes(lengths.size());
  uint32_t code = 0;
  for (int l = 1; l <= 20; ++l, code <<= 1)
    for (size_t s = 0; s < lengths.size(); ++s)
      if (lengths[s] == l) codes[s] = code++;
  return codes;
}

// One block body, field by field; each field can be set to an out-of-range value.
struct Block {
  uint32_t origPtr = 0;
  std::vector<int> used = {'A'};           // byte values in use
  int groups = 2;
  std::vector<int> selectors = {0};        // stored move-to-front values
  std::vector<std::vector<int>> lengths;   // per table; empty: every code 9 bits wide
  std::vector<uint32_t> symbols = {RUNA};  // end of block is appended
  bool endOfBlock = true;                  // false: the symbols stop without one

  int AlphaSize() const { return static_cast<int>(used.size()) + 2; }
  std::vector<int> Lengths(int t) const {
    if (!lengths.empty()) return lengths[static_cast<size_t>(t) % lengths.size()];
    return std::vector<int>(static_cast<size_t>(AlphaSize()), 9);
  }

  void WriteBody(BitWriter& w) const {
    w.Put(origPtr, 24);
    uint32_t ranges = 0;
    for (int v : used) ranges |= 0x8000u >> (v / 16);
    w.Put(ranges, 16);
    for (int r = 0; r < 16; ++r) {
      if (!(ranges & (0x8000u >> r))) continue;
      uint32_t values = 0;
      for (int v : used) values |= v / 16 == r ? 0x8000u >> (v % 16) : 0;
      w.Put(values, 16);
    }
    w.Put(static_cast<uint32_t>(groups), 3);
    w.Put(static_cast<uint32_t>(selectors.size()), 15);
    for (int s : selectors) w.Put(((1u << s) - 1) << 1, s + 1);  // s ones, then a zero
    for (int t = 0; t < std::max(groups, 0); ++t) {
      std::vector<int> ls = Lengths(t);
      int current = ls[0];
      w.Put(static_cast<uint32_t>(current), 5);
      for (int l : ls) {
        for (; current < l; ++current) w.Put(2, 2);
        for (; current > l; --current) w.Put(3, 2);
        w.Put(0, 1);
      }
    }
    // Symbols with the first table's codes; blocks with several tables make them equal.
    std::vector<uint32_t> codes = CanonicalCodes(Lengths(0));
    std::vector<int> ls = Lengths(0);
    std::vector<uint32_t> all = symbols;
    if (endOfBlock) all.push_back(static_cast<uint32_t>(AlphaSize() - 1));
    for (uint32_t s : all) w.Put(codes[s], ls[s]);
  }
};

Bytes Stream(const std::vector<Block>& blocks, char digit = '1') {
  BitWriter w;
  w.Put(static_cast<uint8_t>(digit), 8);
  for (const Block& b : blocks) {
    w.Put(BLOCK_MARKER, 48);
    b.WriteBody(w);
  }
  w.Put(END_MARKER, 48);
  return w.bytes;
}

// The same single block as a standard stream that libbz2 accepts, given its decoded bytes.
Bytes StandardStream(const Block& block, const Bytes& decoded, char digit = '1') {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t c : decoded) {
    crc ^= static_cast<uint32_t>(c) << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  crc = ~crc;
  BitWriter w;
  w.Put(0x425A68, 24);  // "BZh"
  w.Put(static_cast<uint8_t>(digit), 8);
  w.Put(BLOCK_MARKER, 48);
  w.Put(crc, 32);
  w.Put(0, 1);
  block.WriteBody(w);
  w.Put(END_MARKER, 48);
  w.Put(crc, 32);  // the stream CRC of one block is that block's CRC
  return w.bytes;
}

Decoded Libbz2(const Bytes& stream, uint32_t room) {
  Decoded d{0, Bytes(room + 1)};
  unsigned int len = room;
  d.result = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(d.bytes.data()), &len,
                                        reinterpret_cast<char*>(const_cast<uint8_t*>(stream.data())),
                                        static_cast<unsigned int>(stream.size()), 0, 0);
  d.bytes.resize(d.result == BZ_OK ? len : 0);
  return d;
}

// Run length n as RUNA/RUNB digits: bijective base 2, lowest digit first.
std::vector<uint32_t> RunSymbols(uint64_t n) {
  std::vector<uint32_t> out;
  for (; n > 0; n = (n - 1) / 2) {
    out.push_back(n & 1 ? RUNA : RUNB);
    n -= !(n & 1);
  }
  return out;
}

}  // namespace

TEST(BlockDecoder, RoundTripsEveryKindOfContentAndBlockSize) {
  struct Case {
    const char* name;
    Bytes (*make)(size_t, uint32_t);
  };
  const Case kinds[] = {{"text", Text}, {"random", Random}, {"skewed", Skewed}, {"runs", Runs}};
  // Sizes around nothing, the run-length stage's thresholds and a 100k block's capacity.
  const size_t sizes[] = {0, 1, 2, 3, 4, 5, 6, 255, 259, 260, 4096, 99980, 99981, 100000, 100001, 250000};
  uint32_t seed = 1;
  for (const Case& kind : kinds)
    for (size_t size : sizes) {
      Bytes data = kind.make(size, seed++);
      Decoded d = Decode(Reduced(data, 1), static_cast<uint32_t>(size));
      ASSERT_TRUE(d.result == DECODE_OK && data == d.bytes) << kind.name << " " << size << ": " << d.result;
    }
  // Every block size, with blocks large enough for the segmented inverse transform.
  for (int blockSize = 1; blockSize <= 9; ++blockSize) {
    const size_t size = 140000 + 40000 * static_cast<size_t>(blockSize);
    Bytes data = blockSize % 2 ? Text(size, seed++) : Skewed(size, seed++);
    Decoded d = Decode(Reduced(data, blockSize), static_cast<uint32_t>(data.size()));
    ASSERT_TRUE(d.result == DECODE_OK && data == d.bytes) << blockSize << ": " << d.result;
  }
  // One byte value repeated: runs up to the longest the move-to-front stage can code.
  for (size_t size : {1u, 4u, 5u, 258u, 259u, 260u, 264u, 3000000u}) {
    Bytes data(size, 0x41);
    Decoded d = Decode(Reduced(data, 9), static_cast<uint32_t>(size));
    ASSERT_TRUE(d.result == DECODE_OK && data == d.bytes) << size << ": " << d.result;
  }
  // All 256 values, in order and shuffled.
  Bytes all;
  for (int r = 0; r < 64; ++r)
    for (int v = 0; v < 256; ++v) all.push_back(static_cast<uint8_t>(r % 2 ? v : 255 - v));
  std::shuffle(all.begin() + 8192, all.end(), std::mt19937(5));
  EXPECT_EQ(all, Decode(Reduced(all, 2), static_cast<uint32_t>(all.size())).bytes);
}

TEST(BlockDecoder, ReportsEachResultCode) {
  const Bytes data = Text(30000, 7);
  const Bytes stream = Reduced(data, 1);
  const uint32_t size = static_cast<uint32_t>(data.size());
  uint8_t dest[16];
  uint32_t len = sizeof dest;

  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(nullptr, &len, stream.data(), 10, 0, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, nullptr, stream.data(), 10, 0, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, &len, nullptr, 10, 0, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, &len, stream.data(), 10, 2, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, &len, stream.data(), 10, -1, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, &len, stream.data(), 10, 0, 5));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, &len, stream.data(), 10, 0, -1));
  // small and verbosity change nothing else.
  for (int small : {0, 1})
    for (int verbosity : {0, 4}) {
      Bytes out(size);
      uint32_t outLen = size;
      ASSERT_EQ(DECODE_OK, DecodeBuffer(out.data(), &outLen, stream.data(), static_cast<uint32_t>(stream.size()),
                                        small, verbosity));
      EXPECT_EQ(data, out);
    }

  // The standard format (here an empty stream), and first bytes that are not a size digit.
  const Bytes standard = {'B', 'Z', 'h', '9', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90, 0, 0, 0, 0};
  EXPECT_EQ(DECODE_DATA_ERROR_MAGIC, Decode(standard, size).result);
  for (char first : {'0', ':', '\0'}) {
    Bytes bad = stream;
    bad[0] = static_cast<uint8_t>(first);
    EXPECT_EQ(DECODE_DATA_ERROR_MAGIC, Decode(bad, size).result) << int(first);
  }

  // Each byte of the block marker matters; the sixth is the last one read.
  for (size_t i = 1; i <= 6; ++i) {
    Bytes bad = stream;
    bad[i] ^= 0x04;
    EXPECT_EQ(DECODE_DATA_ERROR, Decode(bad, size).result) << i;
  }

  // Destination exactly the size, one byte short, none at all.
  EXPECT_EQ(DECODE_OK, Decode(stream, size).result);
  EXPECT_EQ(DECODE_OUTBUFF_FULL, Decode(stream, size - 1).result);
  EXPECT_EQ(DECODE_OUTBUFF_FULL, Decode(stream, 0).result);
  // A larger destination reports the bytes produced.
  EXPECT_EQ(size, Decode(stream, size + 1000).bytes.size());

  // Cut anywhere before the end marker is complete: the source ran out.
  for (size_t cut = 0; cut < stream.size(); cut += (cut < 40 || cut + 40 > stream.size()) ? 1 : 97) {
    Bytes part(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
    EXPECT_EQ(DECODE_UNEXPECTED_EOF, Decode(part, size).result) << cut;
  }
  // With no room left, running out of source counts as running out of room.
  EXPECT_EQ(DECODE_OUTBUFF_FULL, Decode(Bytes(stream.begin(), stream.end() - 20), 0).result);

  // Nothing is read after the end marker.
  Bytes trailing = stream;
  trailing.insert(trailing.end(), {0xde, 0xad, 0xbe, 0xef});
  EXPECT_EQ(data, Decode(trailing, size).bytes);

  // "1" and the end marker: an empty stream.
  const Bytes empty = {'1', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
  Decoded d = Decode(empty, 100);
  EXPECT_EQ(DECODE_OK, d.result);
  EXPECT_TRUE(d.bytes.empty());
  EXPECT_EQ(DECODE_OK, Decode(empty, 0).result);
  EXPECT_EQ(empty, Reduced({}, 1));
  Bytes badEnd = empty;
  badEnd[6] ^= 1;
  EXPECT_EQ(DECODE_DATA_ERROR, Decode(badEnd, 100).result);
}

TEST(BlockDecoder, DecodesHandMadeBlocksAsLibbz2Does) {
  // The smallest block: one 'A', with codes of 1, 2 and 20 bits; the 20-bit end of block is
  // longer than one table look-up resolves.
  Block one;
  one.lengths = {{1, 2, 20}};
  Decoded d = Decode(Stream({one}), 10);
  ASSERT_EQ(DECODE_OK, d.result);
  EXPECT_EQ(Bytes{'A'}, d.bytes);
  EXPECT_EQ(d.bytes, Libbz2(StandardStream(one, d.bytes), 10).bytes);

  // "abac" sorts its rotations to the last column "cbaa", origin 0: move-to-front positions
  // 2, 2, 2 and a run of one. A second block follows the first.
  Block abc;
  abc.used = {'a', 'b', 'c'};
  abc.symbols = {3, 3, 3, RUNA};
  d = Decode(Stream({abc}), 10);
  ASSERT_EQ(DECODE_OK, d.result);
  EXPECT_EQ((Bytes{'a', 'b', 'a', 'c'}), d.bytes);
  EXPECT_EQ(d.bytes, Libbz2(StandardStream(abc, d.bytes), 10).bytes);
  EXPECT_EQ((Bytes{'A', 'a', 'b', 'a', 'c'}), Decode(Stream({one, abc}), 10).bytes);

  // Lengths that overfill the code space: end of block "0", RUNA "10", RUNB "11", and the
  // two move-to-front symbols lost past the space, as libbz2 loses them. The run of 12 is
  // "xxxx", a count, "xxxx", a count, "xx" for the first run-length stage.
  Block over;
  over.used = {'x', 'y', 'z'};
  over.lengths = {{2, 2, 2, 2, 1}};
  over.symbols = {RUNB, RUNA, RUNB};
  over.origPtr = 4;
  d = Decode(Stream({over}), 1000);
  ASSERT_EQ(DECODE_OK, d.result);
  EXPECT_EQ(Bytes(4 + 'x' + 4 + 'x' + 2, 'x'), d.bytes);
  EXPECT_EQ(d.bytes, Libbz2(StandardStream(over, d.bytes), 1000).bytes);
}

// Random well-formed blocks, small and large, with random origin pointers: most do not come
// from any real text, so their links form several cycles. Whatever bytes libbz2 makes of
// them (its CRC proves it made exactly ours), we must make too.
TEST(BlockDecoder, MatchesLibbz2OnRandomBlocks) {
  std::mt19937 rng(2024);
  int decoded = 0;
  const int TRIALS = 160;
  for (int trial = 0; trial < TRIALS; ++trial) {
    const bool large = trial % 20 == 0;
    const char digit = large ? static_cast<char>('2' + rng() % 8) : '1';
    Block b;
    b.used.clear();
    const int wanted = 1 + static_cast<int>(rng() % (rng() % 2 ? 5 : 256));
    for (int v = 0; v < 256; ++v) {
      if (static_cast<int>(rng() % 256) < wanted) b.used.push_back(v);
    }
    if (b.used.empty()) b.used.push_back(static_cast<int>(rng() % 256));
    const int alpha = b.AlphaSize();
    // Equal widths, then random shortening and lengthening that keeps the code prefix-free.
    int width = 1;
    while ((1 << width) < alpha) ++width;
    std::vector<int> lengths(static_cast<size_t>(alpha), width);
    auto kraft = [&] {
      double k = 0;
      for (int l : lengths) k += std::ldexp(1.0, -l);
      return k;
    };
    for (int k = 0; k < alpha; ++k) {
      size_t s = rng() % lengths.size();
      int old = lengths[s];
      lengths[s] = rng() % 2 ? std::max(1, old - 1) : std::min(20, old + 1 + static_cast<int>(rng() % 6));
      if (kraft() > 1.0) lengths[s] = old;
    }
    b.lengths = {lengths};
    b.groups = 2 + static_cast<int>(rng() % 5);

    uint32_t n = 0;
    const uint32_t target = large ? 130000 + rng() % 200000 : 1 + rng() % (trial % 2 ? 3000 : 12000);
    b.symbols.clear();
    if (alpha == 3) {  // one byte value: the block is a single run
      b.symbols = RunSymbols(target);
      n = target;
    }
    while (n < target) {
      if (rng() % 3 == 0) {
        // A run, then another symbol: two runs in a row would be read as one.
        uint32_t run = 1 + rng() % (large ? 6000 : 12);
        for (uint32_t s : RunSymbols(run)) b.symbols.push_back(s);
        b.symbols.push_back(2 + rng() % static_cast<uint32_t>(alpha - 3));
        n += run + 1;
      } else {
        b.symbols.push_back(2 + rng() % static_cast<uint32_t>(alpha - 3));
        ++n;
      }
    }
    b.selectors.clear();
    for (size_t k = 0; k <= b.symbols.size() / 50 + rng() % 3; ++k) b.selectors.push_back(static_cast<int>(rng() % b.groups));
    b.origPtr = rng() % n;

    const uint32_t room = n * 52 + 64;  // four bytes and a count of 255 expand five to 259
    Decoded ours = Decode(Stream({b}, digit), room);
    if (ours.result != DECODE_OK) {
      // The one damage a well-formed block can have: four equal bytes and no count after.
      EXPECT_EQ(DECODE_DATA_ERROR, ours.result) << trial;
      continue;
    }
    ++decoded;
    Decoded theirs = Libbz2(StandardStream(b, ours.bytes, digit), room);
    ASSERT_EQ(BZ_OK, theirs.result) << trial;
    ASSERT_EQ(theirs.bytes, ours.bytes) << trial;
  }
  EXPECT_GT(decoded, TRIALS * 3 / 4);
}

TEST(BlockDecoder, RejectsEveryLimitOfTheFormat) {
  auto result = [](const Block& b, char digit = '1') { return Decode(Stream({b}, digit), 1000000).result; };
  const Block base;
  ASSERT_EQ(DECODE_OK, result(base));
  Block b = base;

  // Table count 2 to 6.
  for (int groups : {0, 1, 7}) {
    b.groups = groups;
    EXPECT_EQ(DECODE_DATA_ERROR, result(b)) << groups;
  }
  for (int groups : {2, 6}) {
    b.groups = groups;
    b.selectors = {groups - 1};
    EXPECT_EQ(DECODE_OK, result(b)) << groups;
  }
  // Selectors: at least one, each naming an existing table; more than any block needs are read
  // in full and the excess ignored.
  b = base;
  b.selectors = {};
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  b.selectors = {0, 2};
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  b.selectors.assign(18010, 1);
  EXPECT_EQ(DECODE_OK, result(b));
  b.selectors.assign(32767, 0);
  EXPECT_EQ(DECODE_OK, result(b));
  // Running out of selectors before the end of the block: 51 symbols need two.
  b = base;
  b.used = {'A', 'B'};
  b.symbols.assign(50, 2);  // move-to-front position 1: ABAB...
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  b.selectors = {0, 1};
  EXPECT_EQ(DECODE_OK, result(b));
  // Code lengths within 1 to 20 while they are read.
  for (auto lengths : {std::vector<int>{0, 1, 1}, {21, 1, 1}, {20, 21, 1}, {1, 0, 2}}) {
    b = base;
    b.lengths = {lengths};
    EXPECT_EQ(DECODE_DATA_ERROR, result(b)) << lengths[0] << " " << lengths[1];
  }
  // A bit pattern no code covers, once 20 bits are read.
  b = base;
  b.lengths = {{2, 2, 2}};  // 00, 01, 10: nothing starts with 11
  b.endOfBlock = false;
  BitWriter w;
  w.Put('1', 8);
  w.Put(BLOCK_MARKER, 48);
  b.WriteBody(w);
  w.Put(0xFFFFFFFF, 32);
  w.Put(END_MARKER, 48);
  EXPECT_EQ(DECODE_DATA_ERROR, Decode(w.bytes, 100).result);
  // The symbol map names at least one byte value.
  b = base;
  b.used = {};
  b.lengths = {{9, 9}};
  b.symbols = {};
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  // The origin pointer: below the block's length, and never above 10 + digit * 100000, judged as
  // soon as it is read, not at the end of the block.
  b = base;
  b.origPtr = 1;
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  b.origPtr = 100011;
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  Bytes cut = Stream({b});
  cut.resize(1 + 6 + 3 + 1);
  EXPECT_EQ(DECODE_DATA_ERROR, Decode(cut, 100).result);
  b.origPtr = 0xFFFFFF;
  EXPECT_EQ(DECODE_DATA_ERROR, result(b, '9'));
  // A block's length may reach digit * 100000 but not pass it: zeros, so the first stage makes
  // 4 bytes of every 5.
  b = base;
  b.used = {0};
  b.symbols = RunSymbols(100000);
  Decoded d = Decode(Stream({b}), 1000000);
  ASSERT_EQ(DECODE_OK, d.result);
  EXPECT_EQ(Bytes(80000, 0), d.bytes);
  b.symbols = RunSymbols(100001);
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  b.symbols = RunSymbols(200000);
  EXPECT_EQ(DECODE_OK, result(b, '2'));
  b.used = {0, 1};
  b.symbols = RunSymbols(100000);
  b.symbols.push_back(2);  // one byte more by move-to-front
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  // A run of more than 21 RUNA/RUNB digits, even one whose length would wrap around 32 bits
  // to a small number.
  b = base;
  b.used = {0};
  b.symbols.assign(22, RUNA);
  EXPECT_EQ(DECODE_DATA_ERROR, result(b, '9'));
  b.symbols = RunSymbols((uint64_t{1} << 32) + 5);
  EXPECT_EQ(DECODE_DATA_ERROR, result(b, '9'));
  b.symbols = RunSymbols(900000);
  EXPECT_EQ(DECODE_OK, result(b, '9'));
  // Four equal bytes at the end of a block with no count byte after them.
  b = base;
  b.symbols = RunSymbols(4);
  EXPECT_EQ(DECODE_DATA_ERROR, result(b));
  b.symbols = RunSymbols(5);
  EXPECT_EQ(DECODE_OK, result(b));
}

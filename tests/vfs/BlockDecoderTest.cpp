// The block decoder against the packer and libbz2; the packer's rewrite of standard streams.

#include <bzlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "vfs/Vfs.h"
#include "vpfpack/Reduce.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t RUNA = 0, RUNB = 1;

struct Decoded {
  int result;
  Bytes bytes;
};

// What our decoder (or libbz2, with the same result codes) makes of stream, given room bytes.
Decoded Decode(const Bytes& stream, uint32_t room, int small = 0, int verbosity = 0, bool libbz2 = false) {
  Decoded d{0, Bytes(room + 1)};  // never empty, so data() is never null
  uint32_t len = room;
  const uint8_t* source = stream.empty() ? d.bytes.data() : stream.data();  // never null either
  const uint32_t size = static_cast<uint32_t>(stream.size());
  d.result = libbz2 ? BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(d.bytes.data()), &len,
                                                 reinterpret_cast<char*>(const_cast<uint8_t*>(source)), size, 0, 0)
                    : DecodeBuffer(d.bytes.data(), &len, source, size, small, verbosity);
  d.bytes.resize(d.result == DECODE_OK ? len : 0);
  return d;
}

Bytes WithByte(Bytes bytes, size_t at, int value) {
  bytes[at] = static_cast<uint8_t>(value);
  return bytes;
}

Bytes Reduced(const Bytes& data, int blockSize) {
  Bytes out;
  EXPECT_TRUE(CompressReduced(data.data(), data.size(), blockSize, out)) << data.size() << " bytes at " << blockSize;
  return out;
}

enum Kind { TEXT, RANDOM, SKEWED, RUNS };

// Words; uniform bytes; a steep distribution (long codes); runs of one byte up to 300, back to back.
Bytes Content(Kind kind, size_t size, uint32_t seed) {
  static const char* const WORDS[] = {"the ", "surface ", "of ", "a ", "light ", "camera ", "envelope ", "and ",
                                      "motion, ", "keyframe ", "polygon. ", "\n", "Scene ", "0.5 ", "1.0 "};
  std::mt19937 rng(seed);
  std::geometric_distribution<int> steep(0.12);
  Bytes b;
  while (b.size() < size) {
    if (kind == TEXT) {
      const char* word = WORDS[rng() % 15];
      b.insert(b.end(), word, word + std::strlen(word));
    } else if (kind == RUNS) {
      const uint32_t length = rng() % 4 == 0 ? 255 + 4 + rng() % 8 : rng() % 300;
      b.insert(b.end(), length, static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng()));
    } else {
      b.push_back(static_cast<uint8_t>(kind == RANDOM ? rng() : std::min(steep(rng), 255)));
    }
  }
  b.resize(size);
  return b;
}

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

constexpr uint64_t BLOCK_MARKER = 0x314159265359ull, END_MARKER = 0x177245385090ull;

// One block body, field by field; each field can be set to an out-of-range value.
struct Block {
  uint32_t origPtr = 0;
  std::vector<int> used = {'A'};               // byte values in use
  int groups = 2;
  std::vector<int> selectors = {0};            // stored move-to-front values
  std::vector<std::vector<int>> lengths = {};  // per table; empty: every code 9 bits wide
  std::vector<uint32_t> symbols = {RUNA};      // end of block is appended
  bool uncovered = false;                      // 32 one bits instead of the end of block

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
    // Symbols with the first table's canonical codes; blocks with several tables make them equal.
    const std::vector<int> ls = Lengths(0);
    std::vector<uint32_t> codes(ls.size());
    uint32_t code = 0;
    for (int l = 1; l <= 20; ++l, code <<= 1)
      for (size_t s = 0; s < ls.size(); ++s)
        if (ls[s] == l) codes[s] = code++;
    std::vector<uint32_t> all = symbols;
    if (!uncovered) all.push_back(static_cast<uint32_t>(AlphaSize() - 1));
    for (uint32_t s : all) w.Put(codes[s], ls[s]);
    if (uncovered) w.Put(0xFFFFFFFF, 32);
  }
};

// The blocks as our stream; given a single block's decoded bytes, as libbz2's, with their CRC.
Bytes Stream(const std::vector<Block>& blocks, char digit = '1', const Bytes* standard = nullptr) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t c : standard ? *standard : Bytes()) {
    crc ^= static_cast<uint32_t>(c) << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  BitWriter w;
  if (standard) w.Put(0x425A68, 24);  // "BZh"
  w.Put(static_cast<uint8_t>(digit), 8);
  for (const Block& b : blocks) {
    w.Put(BLOCK_MARKER, 48);
    if (standard) w.Put(uint64_t{~crc} << 1, 33);  // the CRC and a clear randomised bit
    b.WriteBody(w);
  }
  w.Put(END_MARKER, 48);
  if (standard) w.Put(~crc, 32);
  return w.bytes;
}

// Run length n as RUNA/RUNB digits (bijective base 2, lowest digit first), then the symbols then.
std::vector<uint32_t> RunSymbols(uint64_t n, const std::vector<uint32_t>& then = {}) {
  std::vector<uint32_t> out;
  for (; n > 0; n = (n - 1) / 2) {
    out.push_back(n & 1 ? RUNA : RUNB);
    n -= !(n & 1);
  }
  out.insert(out.end(), then.begin(), then.end());
  return out;
}

}  // namespace

TEST(BlockDecoder, RoundTripsEveryKindOfContentAndBlockSize) {
  const auto roundTrip = [](const Bytes& data, int blockSize) {
    const Decoded d = Decode(Reduced(data, blockSize), static_cast<uint32_t>(data.size()));
    EXPECT_TRUE(d.result == DECODE_OK && data == d.bytes) << data.size() << " at " << blockSize << ": " << d.result;
  };
  // Sizes around nothing, the run-length stage's thresholds and a 100k block's capacity.
  const size_t sizes[] = {0, 1, 2, 3, 4, 5, 6, 255, 259, 260, 4096, 99980, 99981, 100000, 100001, 250000};
  uint32_t seed = 1;
  for (Kind kind : {TEXT, RANDOM, SKEWED, RUNS})
    for (size_t size : sizes) roundTrip(Content(kind, size, seed++), 1);
  // Every block size, with blocks large enough for the segmented inverse transform; one byte repeated.
  for (int blockSize = 1; blockSize <= 9; ++blockSize)
    roundTrip(Content(blockSize % 2 ? TEXT : SKEWED, 140000 + 40000 * static_cast<size_t>(blockSize), seed++),
              blockSize);
  for (size_t size : {1u, 4u, 5u, 258u, 259u, 260u, 264u, 3000000u}) roundTrip(Bytes(size, 0x41), 9);
}

TEST(BlockDecoder, ReportsEachResultCode) {
  const Bytes data = Content(TEXT, 30000, 7);
  const Bytes stream = Reduced(data, 1);
  const uint32_t size = static_cast<uint32_t>(data.size());
  uint8_t dest[16];
  uint32_t len = sizeof dest;

  // Null pointers, and small or verbosity out of range; in range they change nothing.
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(nullptr, &len, stream.data(), 10, 0, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, nullptr, stream.data(), 10, 0, 0));
  EXPECT_EQ(DECODE_PARAM_ERROR, DecodeBuffer(dest, &len, nullptr, 10, 0, 0));
  for (auto [small, verbosity] : {std::pair{2, 0}, {-1, 0}, {0, 5}, {0, -1}})
    EXPECT_EQ(DECODE_PARAM_ERROR, Decode(stream, size, small, verbosity).result) << small << " " << verbosity;
  for (auto [small, verbosity] : {std::pair{1, 0}, {0, 4}}) EXPECT_EQ(data, Decode(stream, size, small, verbosity).bytes);

  // The standard format, and first bytes that are not a size digit.
  EXPECT_EQ(DECODE_DATA_ERROR_MAGIC, Decode(Stream({}, '9', &data), size).result);
  for (char first : {'0', ':', '\0'})
    EXPECT_EQ(DECODE_DATA_ERROR_MAGIC, Decode(WithByte(stream, 0, first), size).result) << int(first);
  // Each byte of the block marker matters; the sixth is the last one read.
  for (size_t i = 1; i <= 6; ++i)
    EXPECT_EQ(DECODE_DATA_ERROR, Decode(WithByte(stream, i, stream[i] ^ 4), size).result) << i;

  // Room one byte short, or none (the round trips give exactly the size, the blocks more).
  EXPECT_EQ(DECODE_OUTBUFF_FULL, Decode(stream, size - 1).result);
  EXPECT_EQ(DECODE_OUTBUFF_FULL, Decode(stream, 0).result);

  // Cut before the end marker is whole: out of source (of room, if none is left). Nothing is read after.
  for (size_t cut = 0; cut < stream.size(); cut += (cut < 40 || cut + 40 > stream.size()) ? 1 : 97) {
    Bytes part(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
    EXPECT_EQ(DECODE_UNEXPECTED_EOF, Decode(part, size).result) << cut;
  }
  EXPECT_EQ(DECODE_OUTBUFF_FULL, Decode(Bytes(stream.begin(), stream.end() - 20), 0).result);
  Bytes trailing = stream;
  trailing.insert(trailing.end(), {0xde, 0xad, 0xbe, 0xef});
  EXPECT_EQ(data, Decode(trailing, size).bytes);

  // "1" and the end marker: an empty stream, which is what the packer makes of nothing (decoded in the round trips).
  const Bytes empty = Stream({});
  EXPECT_EQ(empty, Reduced({}, 1));
  EXPECT_EQ(DECODE_DATA_ERROR, Decode(WithByte(empty, 6, empty[6] ^ 1), 100).result);
}

// Hand-made, then random blocks (origins linking several cycles, as no text does): libbz2 agrees, the packer too.
TEST(BlockDecoder, DecodesHandMadeAndRandomBlocksAsLibbz2Does) {
  const auto agree = [](const Block& b, char digit, uint32_t room) {
    const Decoded ours = Decode(Stream({b}, digit), room);
    const Bytes standard = Stream({b}, digit, &ours.bytes);
    Bytes reduced;
    if (ours.result == DECODE_OK) {
      EXPECT_EQ(ours.bytes, Decode(standard, room, 0, 0, true).bytes);  // libbz2's
      EXPECT_TRUE(ReduceStream(standard.data(), standard.size(), reduced) && reduced == Stream({b}, digit));
    }
    return ours;
  };
  const struct {
    Block block;
    Bytes expected;
  } cases[] = {
      // One 'A', with codes of 1, 2 and 20 bits: the end of block needs more than one look-up.
      {{.lengths = {{1, 2, 20}}}, {'A'}},
      // "abac": its sorted rotations end in "cbaa", origin 0; move-to-front 2, 2, 2 and a run of one.
      {{.used = {'a', 'b', 'c'}, .symbols = {3, 3, 3, RUNA}}, {'a', 'b', 'a', 'c'}},
      // Lengths overfilling the code space: end of block "0", RUNA "10", RUNB "11", the two move-to-front symbols
      // lost past the space as libbz2 loses them. The run of 12 is "xxxx", a count, "xxxx", a count, "xx".
      {{.origPtr = 4, .used = {'x', 'y', 'z'}, .lengths = {{2, 2, 2, 2, 1}}, .symbols = {RUNB, RUNA, RUNB}},
       Bytes(4 + 'x' + 4 + 'x' + 2, 'x')},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, agree(c.block, '1', 1000).bytes);

  std::mt19937 rng(2024);
  int decoded = 0;
  const int TRIALS = 160;
  for (int trial = 0; trial < TRIALS; ++trial) {
    SCOPED_TRACE(trial);
    const bool large = trial % 20 == 0;
    const char digit = large ? static_cast<char>('2' + rng() % 8) : '1';
    Block b{.used = {}, .selectors = {}, .symbols = {}};
    const int wanted = 1 + static_cast<int>(rng() % (rng() % 2 ? 5 : 256));
    for (int v = 0; v < 256; ++v)
      if (static_cast<int>(rng() % 256) < wanted) b.used.push_back(v);
    if (b.used.empty()) b.used.push_back(static_cast<int>(rng() % 256));
    const int alpha = b.AlphaSize();
    // Equal widths, then random shortening and lengthening that keeps the code prefix-free.
    std::vector<int> lengths(static_cast<size_t>(alpha), std::bit_width(static_cast<unsigned>(alpha - 1)));
    for (int k = 0; k < alpha; ++k) {
      size_t s = rng() % lengths.size();
      int old = lengths[s];
      lengths[s] = rng() % 2 ? std::max(1, old - 1) : std::min(20, old + 1 + static_cast<int>(rng() % 6));
      double kraft = 0;
      for (int l : lengths) kraft += std::ldexp(1.0, -l);
      if (kraft > 1.0) lengths[s] = old;
    }
    b.lengths = {lengths};
    b.groups = 2 + static_cast<int>(rng() % 5);

    const uint32_t target = large ? 130000 + rng() % 200000 : 1 + rng() % (trial % 2 ? 3000 : 12000);
    uint32_t n = alpha == 3 ? target : 0;  // one byte value: the block is a single run
    b.symbols = RunSymbols(n);
    while (n < target) {
      // A run, then another symbol: two runs in a row would be read as one.
      const uint32_t run = rng() % 3 == 0 ? 1 + rng() % (large ? 6000 : 12) : 0;
      for (uint32_t s : RunSymbols(run)) b.symbols.push_back(s);
      b.symbols.push_back(2 + rng() % static_cast<uint32_t>(alpha - 3));
      n += run + 1;
    }
    for (size_t k = 0; k <= b.symbols.size() / 50 + rng() % 3; ++k) b.selectors.push_back(static_cast<int>(rng() % b.groups));
    b.origPtr = rng() % n;

    // Four bytes and a count expand 5 to 259; a well-formed block's one damage: no count after four.
    const int result = agree(b, digit, n * 52 + 64).result;
    EXPECT_TRUE(result == DECODE_OK || result == DECODE_DATA_ERROR) << result;
    decoded += result == DECODE_OK;
  }
  EXPECT_GT(decoded, TRIALS * 3 / 4);
}

TEST(BlockDecoder, RejectsEveryLimitOfTheFormat) {
  const struct {
    const char* what;
    char digit;
    int result;
    Block block;
  } cases[] = {
      {"the base block", '1', DECODE_OK, {}},
      {"no table", '1', DECODE_DATA_ERROR, {.groups = 0}},
      {"one table", '1', DECODE_DATA_ERROR, {.groups = 1}},
      {"seven tables", '1', DECODE_DATA_ERROR, {.groups = 7}},
      {"the second of two tables", '1', DECODE_OK, {.groups = 2, .selectors = {1}}},
      {"the sixth of six tables", '1', DECODE_OK, {.groups = 6, .selectors = {5}}},
      // Selectors: at least one, each naming a table; any excess is read and ignored.
      {"no selector", '1', DECODE_DATA_ERROR, {.selectors = {}}},
      {"a selector past the tables", '1', DECODE_DATA_ERROR, {.selectors = {0, 2}}},
      {"18010 selectors", '1', DECODE_OK, {.selectors = std::vector<int>(18010, 1)}},
      {"32767 selectors", '1', DECODE_OK, {.selectors = std::vector<int>(32767, 0)}},
      // Running out of selectors before the end of the block: 51 symbols (ABAB...) need two.
      {"51 symbols, one selector", '1', DECODE_DATA_ERROR, {.used = {'A', 'B'}, .symbols = std::vector<uint32_t>(50, 2)}},
      {"51 symbols, two selectors", '1', DECODE_OK,
       {.used = {'A', 'B'}, .selectors = {0, 1}, .symbols = std::vector<uint32_t>(50, 2)}},
      {"length 0", '1', DECODE_DATA_ERROR, {.lengths = {{0, 1, 1}}}},
      {"length 21", '1', DECODE_DATA_ERROR, {.lengths = {{21, 1, 1}}}},
      {"length 20 then 21", '1', DECODE_DATA_ERROR, {.lengths = {{20, 21, 1}}}},
      {"length 1 then 0", '1', DECODE_DATA_ERROR, {.lengths = {{1, 0, 2}}}},
      // A bit pattern no code covers (nothing starts with 11), once 20 bits are read.
      {"an uncovered code", '1', DECODE_DATA_ERROR, {.lengths = {{2, 2, 2}}, .uncovered = true}},
      {"an empty symbol map", '1', DECODE_DATA_ERROR, {.used = {}, .lengths = {{9, 9}}, .symbols = {}}},
      // The origin pointer: below the block's length, and never above 10 + digit * 100000.
      {"origin at the length", '1', DECODE_DATA_ERROR, {.origPtr = 1}},
      {"origin past 100010", '1', DECODE_DATA_ERROR, {.origPtr = 100011}},
      {"origin past 900010", '9', DECODE_DATA_ERROR, {.origPtr = 0xFFFFFF}},
      // A block's length may reach digit * 100000: zeros, the first stage makes 4 bytes of every 5.
      {"100000 bytes", '1', DECODE_OK, {.used = {0}, .symbols = RunSymbols(100000)}},
      {"100001 bytes in a run", '1', DECODE_DATA_ERROR, {.used = {0}, .symbols = RunSymbols(100001)}},
      {"200000 bytes", '2', DECODE_OK, {.used = {0}, .symbols = RunSymbols(200000)}},
      {"100001 bytes, the last one by move-to-front", '1', DECODE_DATA_ERROR, {.used = {0, 1}, .symbols = RunSymbols(100000, {2})}},
      // A run of more than 21 RUNA/RUNB digits, even one whose length would wrap around 32 bits.
      {"22 run digits", '9', DECODE_DATA_ERROR, {.used = {0}, .symbols = std::vector<uint32_t>(22, RUNA)}},
      {"a run that wraps", '9', DECODE_DATA_ERROR, {.used = {0}, .symbols = RunSymbols((uint64_t{1} << 32) + 5)}},
      {"900000 bytes", '9', DECODE_OK, {.used = {0}, .symbols = RunSymbols(900000)}},
      {"four equal bytes and no count after them", '1', DECODE_DATA_ERROR, {.symbols = RunSymbols(4)}},
      {"a run of five", '1', DECODE_OK, {.symbols = RunSymbols(5)}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.result, Decode(Stream({c.block}, c.digit), 1000000).result) << c.what;

  // The origin pointer is judged as soon as it is read, not at the end of the block.
  Bytes cut = Stream({Block{.origPtr = 100011}});
  cut.resize(1 + 6 + 3 + 1);
  EXPECT_EQ(DECODE_DATA_ERROR, Decode(cut, 100).result);
}

TEST(Reduce, RefusesWhatIsNotOneCompleteStream) {
  const Bytes abac = {'a', 'b', 'a', 'c'};
  const Block block{.used = {'a', 'b', 'c'}, .symbols = {3, 3, 3, RUNA}};
  const Bytes standard = Stream({block, block, block}, '1', &abac);
  Bytes out;
  EXPECT_TRUE(ReduceStream(standard.data(), standard.size(), out) && out == Stream({block, block, block}));

  EXPECT_FALSE(ReduceStream(nullptr, 0, out));
  // A wrong magic or size digit, a damaged block marker, a randomised block (the bit after the CRC).
  for (auto [at, value] : {std::pair<size_t, int>{0, 'X'}, {1, 'X'}, {2, 'X'}, {3, '0'}, {9, standard[9] ^ 1},
                           {14, standard[14] | 0x80}}) {
    const Bytes bad = WithByte(standard, at, value);
    EXPECT_FALSE(ReduceStream(bad.data(), bad.size(), out)) << at;
  }
  for (size_t cut = 0; cut < standard.size(); ++cut) {
    EXPECT_FALSE(ReduceStream(standard.data(), cut, out)) << cut;
    EXPECT_TRUE(out.empty());
  }
  // One byte more than the last byte's padding, whichever number of blocks the stream ends on.
  for (size_t blocks = 1; blocks <= 8; ++blocks) {
    Bytes trailing = Stream(std::vector<Block>(blocks, block), '1', &abac);
    trailing.push_back(0);
    EXPECT_FALSE(ReduceStream(trailing.data(), trailing.size(), out)) << blocks;
  }
}

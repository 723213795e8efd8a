// The packer's stream rewrite: what it keeps of a libbz2 stream, and what it refuses.

#include <bzlib.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "vfs/Vfs.h"
#include "vpfpack/Reduce.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Bz2(const Bytes& data, int blockSize) {
  unsigned int size = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
  Bytes out(size);
  EXPECT_EQ(BZ_OK, BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                            reinterpret_cast<char*>(const_cast<uint8_t*>(data.data())),
                                            static_cast<unsigned int>(data.size()), blockSize, 0, 0));
  out.resize(size);
  return out;
}

}  // namespace

TEST(Reduce, DropsFourFieldsFromEveryBlock) {
  // Three blocks of random bytes: the result loses "BZh", 33 bits per block and the 32-bit
  // stream CRC, give or take the padding of the last byte, and decodes to the input.
  std::mt19937 rng(3);
  Bytes data(250000);
  for (auto& c : data) c = static_cast<uint8_t>(rng());
  const Bytes bz2 = Bz2(data, 1);
  Bytes reduced;
  ASSERT_TRUE(ReduceStream(bz2.data(), bz2.size(), reduced));
  const int64_t dropped = 24 + 3 * 33 + 32;
  EXPECT_NEAR(static_cast<double>(bz2.size() * 8 - dropped), static_cast<double>(reduced.size() * 8), 7.0);
  Bytes out(data.size());
  uint32_t len = static_cast<uint32_t>(out.size());
  ASSERT_EQ(DECODE_OK, DecodeBuffer(out.data(), &len, reduced.data(), static_cast<uint32_t>(reduced.size()), 0, 0));
  EXPECT_EQ(data, out);
}

TEST(Reduce, RefusesWhatIsNotOneCompleteStream) {
  const std::string text = "Scene files, objects and images. Scene files, objects and images. 0123456789";
  Bytes data;
  for (int k = 0; k < 3000; ++k) data.insert(data.end(), text.begin(), text.end());
  data[1000] = 'x';
  const Bytes bz2 = Bz2(data, 1);  // three blocks
  Bytes out;
  ASSERT_TRUE(ReduceStream(bz2.data(), bz2.size(), out));

  EXPECT_FALSE(ReduceStream(nullptr, 0, out));
  // A wrong magic or size digit, a damaged block marker, and a randomised block (the bit after
  // "BZh1", the block marker and the CRC).
  for (auto [at, value] :
       {std::pair<size_t, int>{0, 'X'}, {1, 'X'}, {2, 'X'}, {3, '0'}, {9, bz2[9] ^ 1}, {14, bz2[14] | 0x80}}) {
    Bytes bad = bz2;
    bad[at] = uint8_t(value);
    EXPECT_FALSE(ReduceStream(bad.data(), bad.size(), out)) << at;
  }
  for (size_t cut = 0; cut < bz2.size(); cut += cut < 64 ? 1 : 37) {
    EXPECT_FALSE(ReduceStream(bz2.data(), cut, out)) << cut;
    EXPECT_TRUE(out.empty());
  }
  Bytes trailing = bz2;
  trailing.push_back(0);
  EXPECT_FALSE(ReduceStream(trailing.data(), trailing.size(), out));
}

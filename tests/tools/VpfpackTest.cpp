// The packer as a demo maker runs it: the real program on real folders.
#include "support/RawDatafile.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>


namespace {

using test::Quote;

test::ShellRun Vpfpack(const std::string& args) {
  return test::Shell(ZIVI3_BINARY_DIR "/tools/vpfpack " + args + " 2>&1");
}

}  // namespace

TEST(Vpfpack, RoundTripsAFolderByteForByte) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "in");
  std::string text;  // past one 900 kB block, so members span several blocks
  for (int i = 0; text.size() < 1200000; ++i) text += "Key " + std::to_string(i * 7 % 1000) + " 0.5 0 0 0\n";
  std::vector<uint8_t> noise(5000);
  uint32_t x = 1;
  for (auto& b : noise) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
  test::WriteText(dir / "in/scene.lws", text);
  test::WriteBytes(dir / "in/noise.bin", noise);
  test::WriteText(dir / "in/EMPTY.TXT", "");
  test::WriteText(dir / "in/a", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
  std::filesystem::create_directory(dir.Path() / "in/sub");  // folders are not packed

  test::ShellRun pack = Vpfpack(Quote(dir / "in") + " " + Quote(dir / "demo.vpf"));
  ASSERT_EQ(pack.code, 0) << pack.out;
  test::ShellRun list = Vpfpack("--list " + Quote(dir / "demo.vpf"));
  EXPECT_EQ(list.code, 0) << list.out;
  EXPECT_NE(list.out.find("4 members, 0 damaged"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("compressed"), std::string::npos);  // the text member
  EXPECT_NE(list.out.find("stored"), std::string::npos);      // the noise member

  test::ShellRun extract = Vpfpack("--extract " + Quote(dir / "demo.vpf") + " " + Quote(dir / "out"));
  ASSERT_EQ(extract.code, 0) << extract.out;
  EXPECT_EQ(test::ReadText(dir / "out/scene.lws"), text);
  EXPECT_EQ(test::ReadBytes(dir / "out/noise.bin"), noise);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "out/EMPTY.TXT"));
  EXPECT_EQ(std::filesystem::file_size(dir.Path() / "out/EMPTY.TXT"), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out/sub"));
}

TEST(Vpfpack, DamagedOrForeignInputGivesAClearMessageAndAFailingCode) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "in");
  test::WriteText(dir / "in/one.txt", std::string(4000, 'z') + "tail");
  ASSERT_EQ(Vpfpack(Quote(dir / "in") + " " + Quote(dir / "d.vpf")).code, 0);

  std::vector<uint8_t> image = test::ReadBytes(dir / "d.vpf");
  image[image.size() - 6] ^= 0x40;  // inside the member's stored bytes
  test::WriteBytes(dir / "bad.vpf", image);
  test::ShellRun list = Vpfpack("--list " + Quote(dir / "bad.vpf"));
  EXPECT_EQ(list.code, 1);
  EXPECT_NE(list.out.find("DAMAGED"), std::string::npos) << list.out;
  test::ShellRun extract = Vpfpack("--extract " + Quote(dir / "bad.vpf") + " " + Quote(dir / "out"));
  EXPECT_EQ(extract.code, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out/one.txt"));

  test::WriteText(dir / "text.vpf", "this is not a datafile");
  test::ShellRun foreign = Vpfpack("--list " + Quote(dir / "text.vpf"));
  EXPECT_EQ(foreign.code, 1);
  EXPECT_NE(foreign.out.find("not a version-2 datafile"), std::string::npos) << foreign.out;
  test::ShellRun missing = Vpfpack("--extract " + Quote(dir / "none.vpf") + " " + Quote(dir / "out"));
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.out.find("Data not present error"), std::string::npos) << missing.out;

  // Names that differ only in case could never both be found.
  test::WriteText(dir / "in/ONE.TXT", "x");
  test::ShellRun twins = Vpfpack(Quote(dir / "in") + " " + Quote(dir / "t.vpf"));
  EXPECT_EQ(twins.code, 1);
  EXPECT_NE(twins.out.find("compared without case"), std::string::npos) << twins.out;

  EXPECT_EQ(Vpfpack("--help").code, 0);
  EXPECT_EQ(Vpfpack("").code, 2);
  EXPECT_EQ(Vpfpack("--bogus x").code, 2);
}

TEST(Vpfpack, ExtractsAnotherPackersDatafileButNeverOutsideItsFolder) {
  // Written field by field: data stored in reverse order of the directory, reserved bytes
  // filled, and one member whose name would climb out of the target folder.
  const std::string text = "ownedsecond memberfirst!";
  const std::vector<uint8_t> data(text.begin(), text.end());
  const std::vector<uint8_t> image = test::RawDatafile(
      {test::StoredEntry("first.txt", data, 18, 6), test::StoredEntry("Second.TXT", data, 5, 13),
       test::StoredEntry("../escape.txt", data, 0, 5)},
      data);

  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "deep");
  test::WriteBytes(dir / "deep/other.vpf", image);
  test::ShellRun extract = Vpfpack("--extract " + Quote(dir / "deep/other.vpf") + " " + Quote(dir / "deep/out"));
  EXPECT_EQ(extract.code, 1) << extract.out;
  EXPECT_NE(extract.out.find("not a bare file name"), std::string::npos) << extract.out;
  EXPECT_EQ(test::ReadText(dir / "deep/out/first.txt"), "first!");
  EXPECT_EQ(test::ReadText(dir / "deep/out/Second.TXT"), "second member");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "deep/escape.txt"));
}

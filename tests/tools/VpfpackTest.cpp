// The packer as a demo maker runs it: the real program on real folders.
#include "support/RawDatafile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using test::Quote;

// Runs vpfpack with args; checks its exit code and that its output says these pieces in order.
void ExpectRun(const std::string& args, int code, std::initializer_list<std::string> says = {}) {
  const test::ShellRun run = test::Shell(ZIVI3_BINARY_DIR "/tools/vpfpack " + args + " 2>&1");
  EXPECT_EQ(run.code, code) << args << "\n" << run.out;
  EXPECT_TRUE(test::InOrder(run.out, says)) << args << "\n" << run.out;
}

}  // namespace

TEST(Vpfpack, RoundTripsAFolderByteForByte) {
  test::TempDir dir;
  std::filesystem::create_directories(dir.Path() / "in/sub");  // folders are not packed
  std::string text;  // past one 900 kB block, so members span several blocks
  for (int i = 0; text.size() < 1200000; ++i) text += "Key " + std::to_string(i * 7 % 1000) + " 0.5 0 0 0\n";
  std::vector<uint8_t> noise(5000);
  uint32_t x = 1;
  for (auto& b : noise) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
  test::WriteText(dir / "in/scene.lws", text);
  test::WriteBytes(dir / "in/noise.bin", noise);
  test::WriteText(dir / "in/EMPTY.TXT", "");
  test::WriteText(dir / "in/a", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");

  ExpectRun(Quote(dir / "in") + " " + Quote(dir / "demo.vpf"), 0, {"the player plays scene.lws"});
  ExpectRun("--list " + Quote(dir / "demo.vpf"), 0,
            {"noise.bin", "stored", "scene.lws", "compressed", "4 members, 0 damaged"});
  ExpectRun("--extract " + Quote(dir / "demo.vpf") + " " + Quote(dir / "out"), 0);
  EXPECT_EQ(test::ReadText(dir / "out/scene.lws"), text);
  EXPECT_EQ(test::ReadBytes(dir / "out/noise.bin"), noise);
  EXPECT_EQ(std::filesystem::file_size(dir.Path() / "out/EMPTY.TXT"), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out/sub"));
}

TEST(Vpfpack, DamagedOrForeignInputGivesAClearMessageAndAFailingCode) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "in");
  test::WriteText(dir / "in/one.txt", std::string(4000, 'z') + "tail");
  ExpectRun(Quote(dir / "in") + " " + Quote(dir / "d.vpf"), 0);

  std::vector<uint8_t> image = test::ReadBytes(dir / "d.vpf");
  image[image.size() - 6] ^= 0x40;  // inside the member's stored bytes
  test::WriteBytes(dir / "bad.vpf", image);
  ExpectRun("--list " + Quote(dir / "bad.vpf"), 1, {"DAMAGED"});
  ExpectRun("--extract " + Quote(dir / "bad.vpf") + " " + Quote(dir / "out"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out/one.txt"));

  test::WriteText(dir / "text.vpf", "this is not a datafile");
  ExpectRun("--list " + Quote(dir / "text.vpf"), 1, {"not a version-2 datafile"});
  ExpectRun("--extract " + Quote(dir / "none.vpf") + " " + Quote(dir / "out"), 1, {"Data not present error"});
  // Names that differ only in case could never both be found.
  test::WriteText(dir / "in/ONE.TXT", "x");
  ExpectRun(Quote(dir / "in") + " " + Quote(dir / "t.vpf"), 1, {"compared without case"});
  ExpectRun("--help", 0, {"usage: vpfpack"});
  ExpectRun("", 2);
  ExpectRun("--bogus x", 2);
}

TEST(Vpfpack, ExtractsAnotherPackersDatafileButNeverOutsideItsFolder) {
  // Written field by field: data stored in reverse order of the directory, and one member whose
  // name would climb out of the target folder.
  const std::string text = "ownedsecond memberfirst!";
  const std::vector<uint8_t> data(text.begin(), text.end());
  test::TempDir dir;
  std::filesystem::create_directory(dir.Path() / "deep");
  test::WriteBytes(dir / "deep/other.vpf",
                   test::RawDatafile({test::StoredEntry("first.txt", data, 18, 6), test::StoredEntry("Second.TXT", data, 5, 13),
                                      test::StoredEntry("../escape.txt", data, 0, 5)},
                                     data));
  ExpectRun("--extract " + Quote(dir / "deep/other.vpf") + " " + Quote(dir / "deep/out"), 1, {"not a bare file name"});
  EXPECT_EQ(test::ReadText(dir / "deep/out/first.txt"), "first!");
  EXPECT_EQ(test::ReadText(dir / "deep/out/Second.TXT"), "second member");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "deep/escape.txt"));
}

#include "vfs/Vfs.h"

#include "support/RawDatafile.h"
#include "support/TestSupport.h"
#include "vpfpack/Reduce.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

using namespace test;

// The names of the records, each marked loaded (+) or not (-).
std::vector<std::string> Records(const Vfs& vfs) {
  std::vector<std::string> names;
  for (const auto& f : vfs.files) names.push_back(f->name + (f->loaded ? "+" : "-"));
  return names;
}

}  // namespace

TEST(Vfs, DirectoryMountReadsEveryRegularFileInNameOrderWithoutTail) {
  // Made in both orders (neither passes for name order), in a folder over 255 characters deep, either separator.
  for (bool backupFirst : {true, false}) {
    test::TempDir temp;
    const std::filesystem::path dir = temp.Path() / std::string(200, 'd') / std::string(200, 's');
    std::filesystem::create_directories(dir / "sub");
    test::WriteText(dir / "sub/hidden.lwo", "not read");
    const char* created[] = {"scene.lws.bak", "Scene.lws", "SCENE.LWS", "B.LWO", "a.lwo", "empty"};
    for (int i = 0; i < 6; ++i) {
      const char* name = created[backupFirst ? i : 5 - i];
      test::WriteText(dir / name, std::string(name) == "B.LWO" ? std::string("se\0cond", 7) : std::string(name));
    }
    std::string path = dir.string();
    if (backupFirst) std::replace(path.begin(), path.end(), '/', '\\');

    Vfs vfs;
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, (path + (backupFirst ? "\\" : "")).c_str()));
    EXPECT_EQ(Records(vfs), (std::vector<std::string>{"a.lwo+", "B.LWO+", "empty+", "SCENE.LWS+", "Scene.lws+", "scene.lws.bak+"}));
    const VfsFile* b = vfs.Find("b.lwo");
    EXPECT_TRUE(b->size == 7 && b->data == Bytes(std::string("se\0cond", 7)));  // exactly the file, no tail

    // A list reads only its names; an empty path means the current folder.
    const char* names[] = {"a.lwo"};
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, path.c_str(), names, 1));
    EXPECT_EQ(Records(vfs), (std::vector<std::string>{"a.lwo+"}));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    EXPECT_TRUE(vfs.Mount(MOUNT_DIRECTORY, "", names, 1));
    std::filesystem::current_path(previous);
  }
}

TEST(Vfs, DatafileEntriesAreCheckedFailedMountsShowTheirMessageAndOverBudgetReadNothing) {
  const std::vector<uint8_t> hundred(100, 'x');
  std::vector<uint8_t> stream;
  ASSERT_TRUE(CompressReduced(hundred.data(), hundred.size(), 9, stream));
  std::vector<uint8_t> data = Bytes("0123456789abcdef");
  data.insert(data.end(), stream.begin(), stream.end());
  const uint32_t size = uint32_t(stream.size()), sum = DatafileChecksum(stream.data(), size);
  const uint32_t firstWord = DatafileChecksum(data.data(), 4), twoWords = DatafileChecksum(data.data(), 8);
  const std::string nul(1, '\0');
  const std::vector<RawEntry> entries = {
      {"seven" + nul, 7, 0, 7, 0, firstWord},           // a part word is not summed
      {"Seven" + nul, 9, 0, 9, 7, 0},                   // a name's first entry is the one used
      {"tiny_bad" + nul, 8, 0, 8, 0, firstWord},
      {"tiny" + nul, 3, 0, 3, 13, 0},                   // shorter than a word: sum 0
      {"packed" + nul, size, 1, 100, 16, sum},          // ends where the data ends
      {"short" + nul, size, 1, 200, 16, sum},           // decodes shorter than it declares
      {"past_end" + nul, 8, 0, 8, 12 + size, 0},        // offset + size beyond the data area
      {"stored_grows" + nul, 4, 0, 8, 0, firstWord},    // stored, yet U > S
      {"huge" + nul, 8, 1, 0x7FFFFFFF, 0, twoWords},    // U > 1 GiB
      {"wrapping" + nul, 0xFFFFFFF0u, 0, 0xFFFFFFF0u, 0x20, 0},  // offset + size wraps 32 bits
      {"garbage_compressed" + nul, 8, 1, 64, 0, twoWords},
      {"no_terminator", 8, 0, 8, 0, 0},                 // no NUL inside the entry: no record
      StoredEntry("after", data, 8, 8),
  };
  const std::vector<uint8_t> image = RawDatafile(entries, data);
  test::MessageCapture capture;
  Vfs vfs;
  EXPECT_EQ(vfs.Find(""), nullptr);  // no records, nothing to return
  ASSERT_TRUE(vfs.MountImage(image));  // a full mount makes no loaded-check
  const std::vector<std::string> loaded = {"seven+", "Seven+", "tiny_bad-", "tiny+", "packed+", "short-", "past_end-",
                                           "stored_grows-", "huge-", "wrapping-", "garbage_compressed-", "after+"};
  ASSERT_EQ(Records(vfs), loaded);
  // Exactly the member's bytes and a zero tail; nothing in a record not loaded.
  const std::string held[] = {"0123456", "0123456", "", "def", std::string(100, 'x'), "", "", "", "", "", "", "89abcdef"};
  for (size_t i = 0; i < std::size(held); ++i) {
    const VfsFile& f = *vfs.files[i];
    EXPECT_TRUE(f.size == held[i].size() && f.data == Bytes(f.loaded ? held[i] + std::string(VFS_TAIL_BYTES, 0) : "")) << i;
  }
  // Find takes the exact name before an earlier record it begins, else the first record it begins.
  EXPECT_TRUE(vfs.Find("TINY") == vfs.files[3].get() && vfs.Find("tiny_") == vfs.files[2].get());
  EXPECT_TRUE(vfs.Find("") == vfs.files[0].get() && !vfs.Find("tiny_bad.bak") && !vfs.Find("iny"));
  // A listed mount reads only those members; names match whole and without case.
  const char* listed[] = {"SEVEN", "Packed"}, *partial[] = {"seve"};
  ASSERT_TRUE(vfs.MountImage(image, listed, 2));
  EXPECT_TRUE(vfs.Count() == 2 && vfs.files[0]->size == 7u && vfs.files[1]->size == 100u);
  EXPECT_FALSE(vfs.MountImage(image, partial, 1));

  // Byte 3 (version) or byte 4 (flags) wrong: no entries at all.
  for (int at : {3, 4}) {
    std::vector<uint8_t> bad = image;
    bad[at] = 1;
    EXPECT_TRUE(vfs.MountImage(bad) && vfs.Count() == 0);
    EXPECT_FALSE(vfs.MountImage(bad, listed, 2));
  }
  // An entry length below the fixed part or past the directory ends the walk; a directory past the file.
  for (uint16_t length : {5, 4000}) {
    std::vector<RawEntry> cut = {StoredEntry("good", data, 0, 8), StoredEntry("x", data, 0, 8), entries.back()};
    cut[1].lengthOverride = length;
    ASSERT_TRUE(vfs.MountImage(RawDatafile(cut, data)));
    EXPECT_EQ(Records(vfs), (std::vector<std::string>{"good+"})) << length;
  }
  EXPECT_TRUE(vfs.MountImage(RawDatafile({StoredEntry("good", data, 0, 8)}, data, 100000)) && vfs.Count() == 0);
  // Truncated images of every length: nothing loads that the whole image doesn't load.
  for (size_t n = 0; n < image.size(); ++n) {
    vfs.MountImage(std::vector<uint8_t>(image.begin(), image.begin() + n));
    for (const auto& f : vfs.files) EXPECT_TRUE(!f->loaded || std::count(loaded.begin(), loaded.end(), f->name + "+")) << n;
  }

  // Failed mounts show their message and leave the vfs closed; over the budget nothing is read.
  test::TempDir dir;
  test::WriteText(dir / "present.lwo", "x");
  const char* names[] = {"present.lwo", "missing.lwo"};
  EXPECT_FALSE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str(), names, 2));
  EXPECT_TRUE(vfs.Count() == 0 && vfs.failure == VFS_FAILED_INTEGRITY);
  EXPECT_FALSE(vfs.Mount(MOUNT_DATAFILE, (dir / "nothing.vpf").c_str()));
  EXPECT_EQ(vfs.failure, VFS_FAILED_NOT_PRESENT);
  EXPECT_FALSE(vfs.Mount(2, dir.Path().c_str()));  // not a mode of ours
  const std::string longName(256, 'n');
  const char* tooLong[] = {longName.c_str()};
  EXPECT_FALSE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str(), tooLong, 1));  // past a demo's 255-character names

  // An empty mount: a list succeeds with nothing in it, no list fails quietly.
  EXPECT_TRUE(vfs.Mount(MOUNT_EMPTY, nullptr, names, 2) && vfs.Count() == 0);
  EXPECT_FALSE(vfs.Mount(MOUNT_EMPTY, nullptr));

  // Over the budget nothing is read: a listed member counts its unpacked size and tail (not huge's), a file its size.
  const uint64_t declared = 7 + 100 + 2 * VFS_TAIL_BYTES;
  vfs.memoryBudget = declared;
  EXPECT_TRUE(vfs.MountImage(image, listed, 2) && vfs.mountBytes == declared);
  vfs.memoryBudget = declared - 1;
  EXPECT_FALSE(vfs.MountImage(image, listed, 2));
  EXPECT_TRUE(vfs.failure == VFS_FAILED_OVER_BUDGET && vfs.Count() == 0 && vfs.mountBytes == declared);

  test::WriteText(dir / "one", std::string(300, '1'));
  test::WriteText(dir / "two", std::string(300, '2'));
  vfs.memoryBudget = 600;  // and present.lwo's byte
  EXPECT_FALSE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()) || vfs.mountBytes != 601);
  std::vector<std::string> texts;
  for (const test::Message& message : capture.messages) texts.push_back(message.text);
  EXPECT_EQ(texts, (std::vector<std::string>{VFS_INTEGRITY, VFS_INTEGRITY, VFS_INTEGRITY, VFS_INTEGRITY,
                                             VFS_NOT_PRESENT, VFS_NOT_PRESENT, VFS_INTEGRITY, VFS_OVER_BUDGET,
                                             VFS_OVER_BUDGET}));
  EXPECT_EQ(texts[0], "Data integrity error or file(s) not present");
  EXPECT_TRUE(capture.messages[8].caption == "DUZUR exception" && capture.messages[8].icon == platform::ICON_ERROR);

  // Left alone, the budget is half the machine's memory and never above 4 GiB.
  EXPECT_LE(DefaultMemoryBudget(), uint64_t(4) << 30);
  EXPECT_GE(DefaultMemoryBudget(), std::min(platform::PhysicalMemoryBytes() / 2, uint64_t(4) << 30));
}

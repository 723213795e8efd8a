#include "vfs/Vfs.h"

#include "support/RawDatafile.h"
#include "support/TestSupport.h"
#include "vpfpack/Pack.h"
#include "vpfpack/Reduce.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

using test::RawDatafile;
using test::RawEntry;
using test::StoredEntry;

std::vector<uint8_t> Packed(const std::vector<PackMember>& members) {
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(BuildDatafile(members, 9, out, nullptr, &error)) << error;
  return out;
}

}  // namespace

TEST(Vfs, FindPrefersTheExactNameThenTheFirstPrefixInIndexOrder) {
  Vfs vfs;
  EXPECT_EQ(vfs.Find("anything"), nullptr);
  EXPECT_EQ(vfs.Find(""), nullptr);  // no records, nothing to return

  // A datafile keeps its directory's order: the backup comes first there.
  ASSERT_TRUE(vfs.MountImage(Packed({{"blob.lwo.bak", Bytes("old")}, {"BLOB.LWO", Bytes("new")}, {"SCENE.LWS", {}}})));
  EXPECT_EQ(vfs.Find("blob.lwo")->name, "BLOB.LWO");
  EXPECT_EQ(vfs.Find("blob")->name, "blob.lwo.bak");
  EXPECT_EQ(vfs.Find("scene.lw")->name, "SCENE.LWS");
  EXPECT_EQ(vfs.Find(""), vfs.files[0].get());
  EXPECT_EQ(vfs.Find("scene.lws.bak"), nullptr);  // longer than the record's name
  EXPECT_EQ(vfs.Find("cene"), nullptr);
}

TEST(Vfs, DirectoryMountReadsEveryRegularFileInNameOrderWithoutTail) {
  // Created in both orders, so neither the disk's hash nor its creation order can pass for
  // name order.
  for (bool backupFirst : {true, false}) {
    test::TempDir dir;
    const char* created[] = {"scene.lws.bak", "SCENE.LWS", "B.LWO", "a.lwo", "empty"};
    for (int i = 0; i < 5; ++i) {
      const char* name = created[backupFirst ? i : 4 - i];
      test::WriteText(dir / name, std::string(name) == "B.LWO" ? std::string("se\0cond", 7) : std::string(name));
    }
    std::filesystem::create_directory(dir.Path() / "sub");
    test::WriteText(dir / "sub/hidden.lwo", "not read");

    Vfs vfs;
    ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
    std::vector<std::string> order;
    for (const auto& f : vfs.files) order.push_back(f->name);
    EXPECT_EQ(order, (std::vector<std::string>{"a.lwo", "B.LWO", "empty", "SCENE.LWS", "scene.lws.bak"}));
    EXPECT_EQ(vfs.isDatafile, 0);
    EXPECT_EQ(vfs.Find("scene.lws")->name, "SCENE.LWS");
    VfsFile* b = vfs.Find("b.lwo");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->loaded == 1 && b->size == 7u);
    EXPECT_EQ(b->data, Bytes(std::string("se\0cond", 7)));  // exactly the file, no trailing bytes
    EXPECT_EQ(vfs.Find("empty")->loaded, 1);
    EXPECT_EQ(vfs.Find("hidden"), nullptr);

    vfs.Close();
    vfs.Close();  // safe to repeat
    EXPECT_EQ(vfs.Count(), 0u);
  }
}

TEST(Vfs, DirectoryPathsTakeEitherSeparatorAnyLengthAndEmptyMeansHere) {
  // The folder's path runs past 255 characters; only the names inside a demo are bound by that.
  test::TempDir dir;
  const std::string demo(200, 'd'), scenes(200, 's');
  std::filesystem::create_directories(dir.Path() / demo / scenes);
  test::WriteText(dir / (demo + "/" + scenes + "/x.lws"), "LWSC");
  const char* names[] = {"x.lws"};
  const std::string windowsStyle = dir.Path().string() + "\\" + demo + "\\" + scenes + "\\";
  Vfs vfs;
  ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, windowsStyle.c_str(), names, 1));
  EXPECT_EQ(vfs.Find("X.LWS")->size, 4u);
  ASSERT_TRUE(vfs.Mount(MOUNT_DIRECTORY, windowsStyle.c_str()));
  EXPECT_EQ(vfs.Count(), 1u);

  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path() / demo / scenes);
  const bool mounted = vfs.Mount(MOUNT_DIRECTORY, "", names, 1);
  std::filesystem::current_path(previous);
  EXPECT_TRUE(mounted);
}

TEST(Vfs, FailedMountsShowTheirMessageAndLeaveTheVfsClosed) {
  test::TempDir dir;
  test::WriteText(dir / "present.lwo", "x");
  test::MessageCapture capture;
  Vfs vfs;

  const char* names[] = {"present.lwo", "missing.lwo"};
  EXPECT_FALSE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str(), names, 2));
  EXPECT_EQ(vfs.Count(), 0u);
  EXPECT_EQ(vfs.failure, VFS_FAILED_INTEGRITY);
  EXPECT_FALSE(vfs.Mount(MOUNT_DATAFILE, (dir / "nothing.vpf").c_str()));
  EXPECT_EQ(vfs.failure, VFS_FAILED_NOT_PRESENT);
  EXPECT_FALSE(vfs.Mount(2, dir.Path().c_str()));  // not a mode of ours
  const std::string longName(256, 'n');
  const char* tooLong[] = {longName.c_str()};
  EXPECT_FALSE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str(), tooLong, 1));  // past a demo's 255-character names

  ASSERT_EQ(capture.messages.size(), 4u);
  const std::string integrity = "Data integrity error or file(s) not present", absent = "Data not present error, maybe error in file.";
  const std::string texts[] = {integrity, absent, absent, integrity};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(capture.messages[i].text, texts[i]) << i;
  EXPECT_TRUE(capture.messages[0].caption == "DUZUR exception" && capture.messages[1].icon == platform::ICON_ERROR);

  // An empty mount: a list succeeds with nothing in it, no list fails quietly.
  EXPECT_TRUE(vfs.Mount(MOUNT_EMPTY, nullptr, names, 2));
  EXPECT_EQ(vfs.Count(), 0u);
  EXPECT_FALSE(vfs.Mount(MOUNT_EMPTY, nullptr));
  EXPECT_EQ(capture.messages.size(), 4u);
}

TEST(Vfs, AMountOverItsMemoryBudgetFailsBeforeReadingAnything) {
  // Each datafile record holds its unpacked size and the tail; a folder's files their size.
  const std::vector<uint8_t> image = Packed({{"a", std::vector<uint8_t>(400, 'a')}, {"b", std::vector<uint8_t>(100, 'b')}});
  const uint64_t declared = 500 + 2 * VFS_TAIL_BYTES;
  test::MessageCapture capture;
  Vfs vfs;
  vfs.memoryBudget = declared;
  EXPECT_TRUE(vfs.MountImage(image));
  EXPECT_EQ(vfs.mountBytes, declared);
  vfs.memoryBudget = declared - 1;
  EXPECT_FALSE(vfs.MountImage(image));
  EXPECT_TRUE(vfs.failure == VFS_FAILED_OVER_BUDGET && vfs.Count() == 0 && vfs.mountBytes == declared);
  const char* onlyB[] = {"B"};
  EXPECT_TRUE(vfs.MountImage(image, onlyB, 1));  // a list counts only what it reads

  test::TempDir dir;
  test::WriteText(dir / "one", std::string(300, '1'));
  test::WriteText(dir / "two", std::string(300, '2'));
  vfs.memoryBudget = 599;
  EXPECT_FALSE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
  EXPECT_EQ(vfs.mountBytes, 600u);
  ASSERT_EQ(capture.messages.size(), 2u);
  EXPECT_EQ(capture.messages[1].text, VFS_OVER_BUDGET);
  EXPECT_EQ(capture.messages[1].caption, "DUZUR exception");

  // Left alone, the budget is half the machine's memory and never above 4 GiB.
  EXPECT_LE(DefaultMemoryBudget(), uint64_t(4) << 30);
  EXPECT_GE(DefaultMemoryBudget(), std::min(platform::PhysicalMemoryBytes() / 2, uint64_t(4) << 30));
}

TEST(Vfs, DatafileMembersComeBackExactlyWithTheirZeroTail) {
  test::TempDir dir;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "Key " + std::to_string(i % 17) + " 0 0 0\n";
  std::vector<uint8_t> noise(777);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
  const std::vector<uint8_t> image = Packed({{"scene.lws", Bytes(text)}, {"noise.bin", noise}, {"e", {}}});
  test::WriteBytes(dir / "demo.vpf", image);

  Vfs vfs;
  ASSERT_TRUE(vfs.Mount(MOUNT_DATAFILE, (dir / "demo.vpf").c_str()));
  EXPECT_EQ(vfs.isDatafile, 1);
  ASSERT_EQ(vfs.Count(), 3u);
  for (const auto& f : vfs.files) {
    EXPECT_EQ(f->loaded, 1) << f->name;
    ASSERT_EQ(f->data.size(), f->size + VFS_TAIL_BYTES) << f->name;
    for (uint32_t i = 0; i < VFS_TAIL_BYTES; ++i) ASSERT_EQ(f->data[f->size + i], 0) << f->name;
  }
  EXPECT_EQ(std::string(vfs.Find("SCENE")->data.begin(), vfs.Find("SCENE")->data.begin() + text.size()), text);
  EXPECT_EQ(std::vector<uint8_t>(vfs.Find("noise")->data.begin(), vfs.Find("noise")->data.begin() + 777), noise);

  // A listed mount reads only those members; names match whole and without case.
  vfs.Close();
  const char* names[] = {"NOISE.BIN"};
  ASSERT_TRUE(vfs.MountImage(image, names, 1));
  ASSERT_EQ(vfs.Count(), 1u);
  EXPECT_EQ(vfs.files[0]->size, 777u);
  const char* partial[] = {"noise"};
  test::MessageCapture capture;
  EXPECT_FALSE(vfs.MountImage(image, partial, 1));
  EXPECT_EQ(capture.messages.size(), 1u);
}

TEST(Vfs, DatafileHeaderAndChecksumRules) {
  std::vector<uint8_t> data = Bytes("abcdefgHIJKLMNOP");
  std::vector<uint8_t> image = RawDatafile({StoredEntry("seven", data, 0, 7), StoredEntry("Seven", data, 7, 9)}, data);
  Vfs vfs;

  // Same name in another case: both records hold the first entry's contents.
  ASSERT_TRUE(vfs.MountImage(image));
  ASSERT_EQ(vfs.Count(), 2u);
  EXPECT_TRUE(vfs.files[1]->name == "Seven" && vfs.files[1]->size == 7u);
  EXPECT_EQ(std::memcmp(vfs.files[1]->data.data(), "abcdefg", 7), 0);

  // A 7-byte member is checked over its first word only.
  std::vector<uint8_t> tail = image;
  tail[tail.size() - data.size() + 5] ^= 0xFF;
  ASSERT_TRUE(vfs.MountImage(tail));
  EXPECT_EQ(vfs.files[0]->loaded, 1);
  std::vector<uint8_t> head = image;
  head[head.size() - data.size() + 1] ^= 0xFF;
  ASSERT_TRUE(vfs.MountImage(head));  // a full mount makes no loaded-check
  EXPECT_TRUE(vfs.files[0]->loaded == 0 && vfs.files[0]->data.empty());

  // Byte 3 (version) or byte 4 (flags) wrong: no entries at all.
  test::MessageCapture capture;
  for (int at : {3, 4}) {
    std::vector<uint8_t> bad = image;
    bad[at] = 1;
    EXPECT_TRUE(vfs.MountImage(bad));
    EXPECT_EQ(vfs.Count(), 0u);
    const char* names[] = {"seven"};
    EXPECT_FALSE(vfs.MountImage(bad, names, 1));
  }
  EXPECT_EQ(capture.messages.size(), 2u);
  EXPECT_EQ(capture.messages[0].text, "Data integrity error or file(s) not present");

  // A member shorter than a word has checksum 0.
  std::vector<uint8_t> tiny = RawDatafile({{std::string("tiny\0", 5), 3, 0, 3, 0, 0}}, Bytes("xyz"));
  ASSERT_TRUE(vfs.MountImage(tiny));
  EXPECT_TRUE(vfs.files[0]->loaded == 1 && vfs.files[0]->size == 3u);
}

TEST(Vfs, BrokenDirectoryEntriesAreUnusableNeverReadOutside) {
  const std::vector<uint8_t> data = Bytes("0123456789abcdef");
  const std::string nul(1, '\0');
  std::vector<RawEntry> entries = {
      StoredEntry("good", data, 0, 8),
      {"past_end" + nul, 8, 0, 8, 12, 0},              // offset + size beyond the data area
      {"stored_grows" + nul, 4, 0, 16, 0, DatafileChecksum(data.data(), 4)},  // stored, U > S
      {"huge" + nul, 16, 1, 0x7FFFFFFF, 0, DatafileChecksum(data.data(), 16)},  // U > 1 GiB
      {"wrapping" + nul, 0xFFFFFFF0u, 0, 0xFFFFFFF0u, 0x20, 0},  // offset + size wraps 32 bits
      {"garbage_compressed" + nul, 16, 1, 64, 0, DatafileChecksum(data.data(), 16)},
      {"no_terminator", 8, 0, 8, 0, 0},                // no NUL inside the entry: no record
      StoredEntry("after", data, 8, 8),
  };
  Vfs vfs;
  ASSERT_TRUE(vfs.MountImage(RawDatafile(entries, data)));
  std::vector<std::string> names;
  for (const auto& f : vfs.files) names.push_back(f->name + (f->loaded ? "+" : "-"));
  EXPECT_EQ(names, (std::vector<std::string>{"good+", "past_end-", "stored_grows-", "huge-", "wrapping-",
                                             "garbage_compressed-", "after+"}));
  EXPECT_EQ(std::memcmp(vfs.Find("after")->data.data(), "89abcdef", 8), 0);

  // An entry length below the fixed part, or past the directory, ends the walk there.
  std::vector<RawEntry> shortEntry = {StoredEntry("good", data, 0, 8), StoredEntry("x", data, 0, 8),
                                      StoredEntry("lost", data, 0, 8)};
  shortEntry[1].lengthOverride = 5;
  ASSERT_TRUE(vfs.MountImage(RawDatafile(shortEntry, data)));
  EXPECT_EQ(vfs.Count(), 1u);
  std::vector<RawEntry> longEntry = {StoredEntry("good", data, 0, 8), StoredEntry("x", data, 0, 8)};
  longEntry[1].lengthOverride = 4000;
  ASSERT_TRUE(vfs.MountImage(RawDatafile(longEntry, data)));
  EXPECT_EQ(vfs.Count(), 1u);

  // A directory size past the file: no entries. Truncated images of every length: no crash.
  std::vector<uint8_t> image = RawDatafile({StoredEntry("good", data, 0, 8)}, data, 100000);
  ASSERT_TRUE(vfs.MountImage(image));
  EXPECT_EQ(vfs.Count(), 0u);
  const std::vector<uint8_t> whole = RawDatafile(entries, data);
  for (size_t n = 0; n <= whole.size(); ++n) {
    vfs.MountImage(std::vector<uint8_t>(whole.begin(), whole.begin() + n));
    for (const auto& f : vfs.files) EXPECT_TRUE(!f->loaded || f->name == "good" || f->name == "after");
  }
}

TEST(Vfs, CompressedMembersAreCheckedAndUnpacked) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "Surface " + std::to_string(i % 13) + "\n";
  const std::vector<uint8_t> image = Packed({{"big.txt", Bytes(text)}});
  std::vector<DatafileEntry> entries = ReadDatafileDirectory(image.data(), image.size());
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_NE(entries[0].compressed, 0u);
  EXPECT_LT(entries[0].storedSize, text.size() / 4);

  Vfs vfs;
  ASSERT_TRUE(vfs.MountImage(image));
  ASSERT_EQ(vfs.files[0]->loaded, 1);
  EXPECT_EQ(std::string(vfs.files[0]->data.begin(), vfs.files[0]->data.begin() + text.size()), text);

  // A member that decodes shorter than its entry declares is damaged, not zero-padded.
  std::vector<uint8_t> stream;
  ASSERT_TRUE(CompressReduced(reinterpret_cast<const uint8_t*>(text.data()), 100, 9, stream));
  std::vector<uint8_t> longer = RawDatafile(
      {{std::string("short\0", 6), uint32_t(stream.size()), 1, 200, 0, DatafileChecksum(stream.data(), stream.size())}},
      stream);
  ASSERT_TRUE(vfs.MountImage(longer));
  EXPECT_EQ(vfs.files[0]->loaded, 0);
}

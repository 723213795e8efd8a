// vpfpack: ships a demo as one datafile, lists one, or unpacks one for checking.
#include "app/App.h"
#include "platform/Platform.h"
#include "vfs/Vfs.h"
#include "vpfpack/Pack.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const USAGE =
    "usage: vpfpack DIR OUT.vpf           pack every regular file of DIR into a datafile\n"
    "       vpfpack --list FILE.vpf       list the members and check each one\n"
    "       vpfpack --extract FILE.vpf DIR  unpack every member into DIR\n"
    "       vpfpack --help\n"
    "\n"
    "Members are block-compressed when that makes them smaller and stored otherwise.\n"
    "Names are bare file names, compared without case by the player.\n"
    "The player plays the scene a VIEWER.INI member names, else the one scene no other scene\n"
    "nests, else the first by name; packing says which that is.\n";

bool ReadFile(const fs::path& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Says which scene the player will play from these members: the one their VIEWER.INI names,
// or the one the player picks without it. A datafile it can't play is still written, with a
// warning, since --scene may choose for it.
void SayWhichScenePlays(const std::vector<PackMember>& members) {
  Vfs scenes;
  for (const PackMember& m : members) {
    std::string lower = m.name;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (lower != "viewer.ini" && (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".lws") != 0)) continue;
    auto file = std::make_unique<VfsFile>();
    file->name = m.name;
    file->data = m.bytes;
    file->size = uint32_t(m.bytes.size());
    file->loaded = 1;
    scenes.files.push_back(std::move(file));
  }
  DatafileSceneChoice choice;
  std::string why;
  if (ChooseDatafileScene(scenes, "", choice, why)) {
    std::printf("the player plays %s (%s)\n", choice.scene.c_str(), choice.reason.c_str());
  } else {
    std::printf("warning: %s\n", why.c_str());
  }
}

bool WriteFile(const fs::path& path, const uint8_t* bytes, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes), std::streamsize(size));
  return bool(out);
}

int Pack(const char* dirArg, const char* outArg) {
  std::error_code error;
  std::vector<fs::path> paths;
  for (fs::directory_iterator it(dirArg, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError)) paths.push_back(it->path());
  }
  if (error) {
    std::fprintf(stderr, "vpfpack: can't read directory %s: %s\n", dirArg, error.message().c_str());
    return 1;
  }
  std::sort(paths.begin(), paths.end());  // the same directory always packs the same way

  std::vector<PackMember> members;
  for (const fs::path& path : paths) {
    PackMember member;
    member.name = path.filename().string();
    if (!ReadFile(path, member.bytes)) {
      std::fprintf(stderr, "vpfpack: can't read %s\n", path.string().c_str());
      return 1;
    }
    members.push_back(std::move(member));
  }

  std::printf("packing %zu files from %s\n", members.size(), dirArg);
  std::vector<uint8_t> datafile;
  std::vector<PackedInfo> packed;
  std::string why;
  if (!BuildDatafile(members, 9, datafile, &packed, &why)) {
    std::fprintf(stderr, "vpfpack: %s\n", why.c_str());
    return 1;
  }
  uint64_t total = 0;
  for (const PackedInfo& p : packed) {
    std::printf("  %-40s %10u -> %10u  %s\n", p.name.c_str(), p.size, p.storedSize,
                p.compressed ? "compressed" : "stored");
    total += p.size;
  }
  if (!WriteFile(outArg, datafile.data(), datafile.size())) {
    std::fprintf(stderr, "vpfpack: can't write %s\n", outArg);
    return 1;
  }
  std::printf("wrote %s: %zu bytes for %llu bytes of files\n", outArg, datafile.size(),
              static_cast<unsigned long long>(total));
  SayWhichScenePlays(members);
  return 0;
}

// Checks a member the way the player does: an extraction through a datafile mount.
int List(const char* fileArg) {
  std::vector<uint8_t> image;
  if (!ReadFile(fileArg, image)) {
    std::fprintf(stderr, "vpfpack: can't read %s\n", fileArg);
    return 1;
  }
  std::vector<DatafileEntry> entries = ReadDatafileDirectory(image.data(), image.size());
  if (entries.empty() && (image.size() < DATAFILE_HEADER_SIZE || std::memcmp(image.data(), "VPF\x02\x00", 5) != 0)) {
    std::fprintf(stderr, "vpfpack: %s is not a version-2 datafile\n", fileArg);
    return 1;
  }
  Vfs vfs;
  vfs.MountImage(image);
  std::printf("%-40s %10s %10s  %-10s  %s\n", "name", "stored", "size", "kind", "check");
  int bad = 0;
  for (const DatafileEntry& e : entries) {
    const VfsFile* file = nullptr;
    for (const auto& f : vfs.files)
      if (f->name == e.name) file = f.get();
    const bool ok = file && file->loaded && e.usable;
    bad += !ok;
    std::printf("%-40s %10u %10u  %-10s  %s\n", e.name.c_str(), e.storedSize, e.size,
                e.compressed ? "compressed" : "stored", ok ? "OK" : (e.usable ? "DAMAGED" : "INVALID ENTRY"));
  }
  std::printf("%zu members, %d damaged\n", entries.size(), bad);
  return bad ? 1 : 0;
}

// Names come from the file: only bare names may be written, never a path out of DIR.
bool SafeMemberName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

int Extract(const char* fileArg, const char* dirArg) {
  Vfs vfs;
  if (!vfs.Mount(MOUNT_DATAFILE, fileArg)) return 1;
  std::error_code error;
  fs::create_directories(dirArg, error);
  if (error) {
    std::fprintf(stderr, "vpfpack: can't create %s: %s\n", dirArg, error.message().c_str());
    return 1;
  }
  int bad = 0;
  for (const auto& file : vfs.files) {
    if (!SafeMemberName(file->name)) {
      std::fprintf(stderr, "vpfpack: skipped member \"%s\": not a bare file name\n", file->name.c_str());
      ++bad;
    } else if (!file->loaded) {
      std::fprintf(stderr, "vpfpack: skipped member %s: damaged\n", file->name.c_str());
      ++bad;
    } else if (!WriteFile(fs::path(dirArg) / file->name, file->data.data(), file->size)) {
      std::fprintf(stderr, "vpfpack: can't write %s\n", file->name.c_str());
      ++bad;
    } else {
      std::printf("  %s (%u bytes)\n", file->name.c_str(), file->size);
    }
  }
  std::printf("extracted %u of %u members into %s\n", vfs.Count() - bad, vfs.Count(), dirArg);
  return bad ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetBatchMessages(true);  // a command-line tool reports on stderr
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(USAGE, args.empty() ? stderr : stdout);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--list" && args.size() == 2) return List(args[1].c_str());
  if (args[0] == "--extract" && args.size() == 3) return Extract(args[1].c_str(), args[2].c_str());
  if (args.size() == 2 && args[0][0] != '-') return Pack(args[0].c_str(), args[1].c_str());
  std::fputs(USAGE, stderr);
  return 2;
}

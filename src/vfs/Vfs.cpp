// Mounting, lookup and closing. Every file is read, checked and unpacked once, at mount time;
// afterwards lookups are a linear, case-insensitive scan and contents are used in place.
#include "vfs/Vfs.h"

#include "platform/Platform.h"
#include "vfs/VfsInternal.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unordered_map>

namespace {

// Paths handed to the Vfs may use either separator; the file system here wants '/'.
std::string NativePath(std::string path) {
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// The full path of a directory file; it must fit the 256-byte path buffer (255 characters).
bool JoinPath(const std::string& directory, const std::string& name, std::string* full) {
  if (directory.empty()) {
    *full = name;  // the current directory
  } else {
    *full = directory;
    if (!EndsWithSeparator(directory)) full->push_back('/');
    *full += name;
  }
  return full->size() < 256;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::FILE* f = std::fopen(NativePath(path).c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && uint64_t(size) < (uint64_t(1) << 32) && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    bytes->assign(size_t(size), 0);
    ok = size == 0 || std::fread(bytes->data(), 1, size_t(size), f) == size_t(size);
  }
  std::fclose(f);
  return ok;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

std::string LowerAscii(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = LowerAscii(c);
  return out;
}

void ShowMountError(const char* text) { platform::ShowMessage(VFS_CAPTION, text, platform::ICON_ERROR); }

// State of one mount: the datafile's directory, read once, and where each name first appears.
struct MountSource {
  std::vector<DatafileEntry> entries;
  std::unordered_map<std::string, size_t> firstByName;  // lower-case name -> entry index

  void Index() {
    for (size_t i = 0; i < entries.size(); ++i) firstByName.emplace(LowerAscii(entries[i].name), i);
  }
};

// Appends a record for name and fills it from the datafile image or the directory.
void AddFile(Vfs& vfs, const MountSource& source, const char* name) {
  if (vfs.isEmpty) return;
  auto file = std::make_unique<VfsFile>();
  file->name = name;
  if (vfs.isDatafile) {
    // Only a whole-name match counts, and the first entry of that name is the one used.
    auto it = source.firstByName.find(LowerAscii(file->name));
    if (it != source.firstByName.end() &&
        vfs_internal::ExtractMember(vfs.image.data(), vfs.image.size(), source.entries[it->second], *file)) {
      file->loaded = 1;
    }
  } else {
    std::string full;
    if (JoinPath(vfs.directory, file->name, &full) && ReadWholeFile(full, &file->data)) {
      file->size = uint32_t(file->data.size());
      file->loaded = 1;
    }
  }
  vfs.files.push_back(std::move(file));
}

bool AllLoaded(const Vfs& vfs) {
  for (const auto& file : vfs.files)
    if (!file->loaded) return false;
  return true;
}

bool MountOpened(Vfs& vfs, uint8_t mode, const char* const* names, uint32_t nameCount) {
  MountSource source;
  if (vfs.isDatafile) {
    source.entries = ReadDatafileDirectory(vfs.image.data(), vfs.image.size());
    source.Index();
  }

  if (names) {
    for (uint32_t i = 0; i < nameCount; ++i) AddFile(vfs, source, names[i] ? names[i] : "");
  } else if (mode == MOUNT_DIRECTORY) {
    std::error_code error;
    std::filesystem::path dir = vfs.directory.empty() ? "." : NativePath(vfs.directory);
    // A directory that can't be searched leaves an empty index, which passes the check below.
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      std::error_code typeError;
      if (!it->is_regular_file(typeError)) continue;
      AddFile(vfs, source, it->path().filename().string().c_str());
    }
  } else if (mode == MOUNT_DATAFILE) {
    // Every entry becomes a record; members that fail their check stay unloaded.
    for (const DatafileEntry& entry : source.entries) AddFile(vfs, source, entry.name.c_str());
    vfs.image.clear();
    vfs.image.shrink_to_fit();
    return true;
  } else {
    return false;  // an empty mount without a list has nothing to mount
  }

  vfs.image.clear();
  vfs.image.shrink_to_fit();
  if (!AllLoaded(vfs)) {
    ShowMountError(VFS_INTEGRITY);
    vfs.Close();
    return false;
  }
  return true;
}

}  // namespace

bool Vfs::Mount(uint8_t mode, const char* path, const char* const* names, uint32_t nameCount) {
  files.clear();
  image.clear();
  directory.clear();
  isDatafile = 0;
  isEmpty = 0;

  bool opened = false;
  switch (mode) {
    case MOUNT_DATAFILE:
      opened = path && ReadWholeFile(path, &image);
      isDatafile = opened;
      break;
    case MOUNT_DIRECTORY:
      directory = path ? path : "";
      opened = true;
      break;
    case MOUNT_EMPTY:
      isEmpty = 1;
      opened = true;
      break;
    default:
      break;
  }
  if (!opened) {
    ShowMountError(VFS_NOT_PRESENT);
    Close();
    return false;
  }
  return MountOpened(*this, mode, names, nameCount);
}

bool Vfs::MountImage(std::vector<uint8_t> datafile, const char* const* names, uint32_t nameCount) {
  Close();
  image = std::move(datafile);
  isDatafile = 1;
  isEmpty = 0;
  return MountOpened(*this, MOUNT_DATAFILE, names, nameCount);
}

VfsFile* Vfs::Find(const char* name) const {
  if (!name) return nullptr;
  const size_t length = std::char_traits<char>::length(name);
  for (const auto& file : files) {
    if (file->name.size() < length) continue;
    size_t i = 0;
    while (i < length && LowerAscii(file->name[i]) == LowerAscii(name[i])) ++i;
    if (i == length) return file.get();
  }
  return nullptr;
}

void Vfs::Close() {
  files.clear();
  files.shrink_to_fit();
  image.clear();
  image.shrink_to_fit();
  directory.clear();
}

// Mounting, lookup and closing. Every file is read, checked and unpacked once, at mount time;
// afterwards lookups are a linear, case-insensitive scan and contents are used in place.
#include "vfs/Vfs.h"

#include "platform/Platform.h"
#include "vfs/VfsInternal.h"

#include <algorithm>
#include <cstdio>
#include <new>
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

// The full path of a directory file. Only the name is bound by the demo's 255 characters: the
// folder may lie as deep as the system allows.
bool JoinPath(const std::string& directory, const std::string& name, std::string* full) {
  if (name.size() > VFS_NAME_MAX) return false;
  if (directory.empty()) {
    *full = name;  // the current directory
  } else {
    *full = directory;
    if (!EndsWithSeparator(directory)) full->push_back('/');
    *full += name;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::FILE* f = std::fopen(NativePath(path).c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && uint64_t(size) < (uint64_t(1) << 32) && std::fseek(f, 0, SEEK_SET) == 0;
  try {
    if (ok) {
      bytes->assign(size_t(size), 0);
      ok = size == 0 || std::fread(bytes->data(), 1, size_t(size), f) == size_t(size);
    }
  } catch (const std::bad_alloc&) {
    ok = false;  // a file the memory can't hold is a file that can't be read
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

// Shows the box of a failed mount and leaves the Vfs closed, with the reason kept.
bool MountFailed(Vfs& vfs, uint8_t failure) {
  const char* text = failure == VFS_FAILED_NOT_PRESENT ? VFS_NOT_PRESENT
                     : failure == VFS_FAILED_INTEGRITY ? VFS_INTEGRITY
                                                       : VFS_OVER_BUDGET;
  platform::ShowMessage(VFS_CAPTION, text, platform::ICON_ERROR);
  vfs.Close();
  vfs.failure = failure;
  return false;
}

// State of one mount: the datafile's directory, read once, and where each name first appears.
struct MountSource {
  std::vector<DatafileEntry> entries;
  std::unordered_map<std::string, size_t> firstByName;  // lower-case name -> entry index

  void Index() {
    for (size_t i = 0; i < entries.size(); ++i) firstByName.emplace(LowerAscii(entries[i].name), i);
  }
  // The bytes the record of name would hold: the first entry of that name, unpacked, with its
  // tail. An entry that can't be extracted holds none.
  uint64_t DeclaredBytes(const std::string& name) const {
    auto it = firstByName.find(LowerAscii(name));
    if (it == firstByName.end() || !entries[it->second].usable) return 0;
    return uint64_t(entries[it->second].size) + VFS_TAIL_BYTES;
  }
};

uint64_t FileBytes(const std::string& directory, const std::string& name) {
  std::string full;
  std::error_code error;
  const uintmax_t size = JoinPath(directory, name, &full) ? std::filesystem::file_size(NativePath(full), error) : 0;
  return error ? 0 : uint64_t(size);
}

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

  // The names to add, in order: the list, a directory's files by name, or a datafile's entries.
  std::vector<std::string> toAdd;
  if (names) {
    for (uint32_t i = 0; i < nameCount; ++i) toAdd.push_back(names[i] ? names[i] : "");
  } else if (mode == MOUNT_DIRECTORY) {
    std::error_code error;
    std::filesystem::path dir = vfs.directory.empty() ? "." : NativePath(vfs.directory);
    // A directory that can't be searched leaves an empty index, which passes the check below.
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError)) toAdd.push_back(it->path().filename().string());
    }
    // The disk's own order (by hash, on some file systems) must not decide which file a prefix
    // finds: the same folder loads the same way on every disk.
    std::sort(toAdd.begin(), toAdd.end(), [](const std::string& a, const std::string& b) {
      const std::string la = LowerAscii(a), lb = LowerAscii(b);
      return la != lb ? la < lb : a < b;
    });
  } else if (mode == MOUNT_DATAFILE) {
    for (const DatafileEntry& entry : source.entries) toAdd.push_back(entry.name);
  } else {
    return false;  // an empty mount without a list has nothing to mount
  }

  // Nothing is read before the whole mount is known to fit: a datafile of a few kilobytes may
  // declare gigabytes.
  uint64_t declared = 0;
  if (!vfs.isEmpty) {
    for (const std::string& name : toAdd)
      declared += vfs.isDatafile ? source.DeclaredBytes(name) : FileBytes(vfs.directory, name);
  }
  if (declared > vfs.memoryBudget) {
    MountFailed(vfs, VFS_FAILED_OVER_BUDGET);
    vfs.mountBytes = declared;
    return false;
  }
  vfs.mountBytes = declared;

  for (const std::string& name : toAdd) AddFile(vfs, source, name.c_str());
  vfs.image.clear();
  vfs.image.shrink_to_fit();
  // A full datafile mount makes no loaded-check: members that fail their check stay unloaded.
  if (!names && mode == MOUNT_DATAFILE) return true;
  if (!AllLoaded(vfs)) return MountFailed(vfs, VFS_FAILED_INTEGRITY);
  return true;
}

}  // namespace

bool Vfs::Mount(uint8_t mode, const char* path, const char* const* names, uint32_t nameCount) {
  files.clear();
  image.clear();
  directory.clear();
  isDatafile = 0;
  isEmpty = 0;
  failure = VFS_MOUNTED;
  mountBytes = 0;

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
  if (!opened) return MountFailed(*this, VFS_FAILED_NOT_PRESENT);
  return MountOpened(*this, mode, names, nameCount);
}

bool Vfs::MountImage(std::vector<uint8_t> datafile, const char* const* names, uint32_t nameCount) {
  Close();
  failure = VFS_MOUNTED;
  mountBytes = 0;
  image = std::move(datafile);
  isDatafile = 1;
  isEmpty = 0;
  return MountOpened(*this, MOUNT_DATAFILE, names, nameCount);
}

VfsFile* Vfs::Find(const char* name) const {
  if (!name) return nullptr;
  const size_t length = std::char_traits<char>::length(name);
  auto sameStart = [&](const std::string& recordName) {
    if (recordName.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
      if (LowerAscii(recordName[i]) != LowerAscii(name[i])) return false;
    return true;
  };
  // A backup beside a file ("blob.lwo.bak") must not stand in for it, wherever it lies.
  for (const auto& file : files)
    if (file->name.size() == length && sameStart(file->name)) return file.get();
  for (const auto& file : files)
    if (sameStart(file->name)) return file.get();
  return nullptr;
}

uint64_t DefaultMemoryBudget() {
  constexpr uint64_t CAP = uint64_t(4) << 30;
  const uint64_t physical = platform::PhysicalMemoryBytes();
  return physical ? std::min(physical / 2, CAP) : CAP;
}

void Vfs::Close() {
  files.clear();
  files.shrink_to_fit();
  image.clear();
  image.shrink_to_fit();
  directory.clear();
}

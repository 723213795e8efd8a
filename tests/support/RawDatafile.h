// Datafiles written field by field, as another packer might: the entries may say anything.
#pragma once

#include "vfs/Vfs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace test {

struct RawEntry {
  std::string nameField;  // written as is; include the NUL yourself
  uint32_t storedSize, compressed, size, offset, checksum;
  uint16_t lengthOverride = 0;
};

// A stored member of size bytes at offset of data, with its checksum.
inline RawEntry StoredEntry(const std::string& name, const std::vector<uint8_t>& data, uint32_t offset, uint32_t size) {
  return {name + '\0', size, 0, size, offset, DatafileChecksum(data.data() + offset, size)};
}

// The header, the entries (reserved bytes filled, since they are never read) and data.
inline std::vector<uint8_t> RawDatafile(const std::vector<RawEntry>& entries, const std::vector<uint8_t>& data,
                                        uint32_t directorySizeOverride = 0) {
  auto put = [](std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = uint8_t(v >> (8 * i));
  };
  std::vector<uint8_t> dir;
  for (const RawEntry& e : entries) {
    const size_t at = dir.size();
    dir.resize(at + DATAFILE_ENTRY_SIZE, 0xAB);
    put(dir, at, e.lengthOverride ? e.lengthOverride : uint32_t(DATAFILE_ENTRY_SIZE + e.nameField.size()), 2);
    const uint32_t fields[] = {e.storedSize, e.compressed, e.size, e.offset, e.checksum};
    for (int i = 0; i < 5; ++i) put(dir, at + 2 + 4 * i, fields[i], 4);
    dir.insert(dir.end(), e.nameField.begin(), e.nameField.end());
  }
  std::vector<uint8_t> out = {'V', 'P', 'F', 2, 0, 0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
  put(out, 5, directorySizeOverride ? directorySizeOverride : uint32_t(dir.size()), 4);
  out.reserve(out.size() + dir.size() + data.size());
  out.insert(out.end(), dir.begin(), dir.end());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace test

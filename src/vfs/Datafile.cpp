// The VPF datafile: header validation, the directory walk and member extraction.
//
// Layout (little-endian): "VPF", version 2, flags 0, u32 directory size, u32 reserved, then
// directory entries of 38 bytes + name (u16 length L, u32 stored size S, u32 compressed,
// u32 unpacked size U, u32 offset into the data area, u32 checksum, 16 reserved bytes,
// name with NUL), then the data area.
//
// Every field comes from the file, so every one is checked against the image before use: an
// entry that can't describe a member of this image is unusable, never a read outside it.
#include "vfs/VfsInternal.h"

#include <cstring>
#include <new>

namespace {

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t ReadU16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// Header check; the data area starts right after the directory.
bool ValidHeader(const uint8_t* image, size_t imageSize, size_t* directoryEnd) {
  if (imageSize < DATAFILE_HEADER_SIZE) return false;
  if (std::memcmp(image, "VPF", 3) != 0 || image[3] != 2 || image[4] != 0) return false;
  uint64_t end = uint64_t(DATAFILE_HEADER_SIZE) + ReadU32(image + 5);
  if (end > imageSize) return false;
  *directoryEnd = size_t(end);
  return true;
}

}  // namespace

uint32_t DatafileChecksum(const uint8_t* bytes, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= size; i += 4) sum ^= ReadU32(bytes + i);
  return sum;
}

std::vector<DatafileEntry> ReadDatafileDirectory(const uint8_t* image, size_t imageSize) {
  std::vector<DatafileEntry> entries;
  size_t directoryEnd = 0;
  if (!image || !ValidHeader(image, imageSize, &directoryEnd)) return entries;
  const uint64_t dataSize = imageSize - directoryEnd;

  size_t pos = DATAFILE_HEADER_SIZE;
  while (pos + 2 <= directoryEnd) {
    const uint32_t length = ReadU16(image + pos);
    // A length that can't hold the fixed fields, or runs past the directory, leaves no
    // trustworthy place for the next entry either: the walk ends here.
    if (length < DATAFILE_ENTRY_SIZE || pos + length > directoryEnd) break;
    const uint8_t* e = image + pos;
    pos += length;

    const char* nameField = reinterpret_cast<const char*>(e + DATAFILE_ENTRY_SIZE);
    const size_t nameFieldSize = length - DATAFILE_ENTRY_SIZE;
    const void* nul = std::memchr(nameField, 0, nameFieldSize);
    if (!nul) continue;  // a name without its end can't be matched or listed

    DatafileEntry entry;
    entry.name.assign(nameField, static_cast<const char*>(nul) - nameField);
    entry.storedSize = ReadU32(e + 2);
    entry.compressed = ReadU32(e + 6);
    entry.size = ReadU32(e + 10);
    entry.offset = ReadU32(e + 14);
    entry.checksum = ReadU32(e + 18);
    entry.usable = nameFieldSize <= DATAFILE_NAME_MAX &&
                   uint64_t(entry.offset) + entry.storedSize <= dataSize &&
                   entry.size <= DATAFILE_MEMBER_MAX &&
                   (entry.compressed != 0 || entry.size == entry.storedSize);
    entries.push_back(std::move(entry));
  }
  return entries;
}

namespace vfs_internal {

bool ExtractMember(const uint8_t* image, size_t imageSize, const DatafileEntry& entry, VfsFile& file) {
  if (!entry.usable) return false;
  size_t directoryEnd = 0;
  if (!ValidHeader(image, imageSize, &directoryEnd)) return false;
  const uint8_t* stored = image + directoryEnd + entry.offset;

  // The checksum covers the stored bytes; with the CRCs gone from compressed members it is
  // the only thing that catches a damaged member.
  if (DatafileChecksum(stored, entry.storedSize) != entry.checksum) return false;

  std::vector<uint8_t> contents;
  try {
    contents.assign(size_t(entry.size) + VFS_TAIL_BYTES, 0);
  } catch (const std::bad_alloc&) {
    return false;  // a member the memory can't hold is as unusable as a damaged one
  }
  if (entry.compressed) {
    uint32_t produced = entry.size;
    if (DecodeBuffer(contents.data(), &produced, stored, entry.storedSize, 0, 0) != DECODE_OK) return false;
    // A stream that ends early leaves zeros where the member's bytes should be: damaged.
    if (produced != entry.size) return false;
  } else {
    std::memcpy(contents.data(), stored, entry.size);
  }
  file.data = std::move(contents);
  file.size = entry.size;
  return true;
}

}  // namespace vfs_internal

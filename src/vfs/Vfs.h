// The virtual file system: every input file of a demo, read into memory at mount time from a
// directory or a VPF datafile, found afterwards by bare name. Also the datafile format itself
// (directory entries, checksums) and the block decoder for its compressed members.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct System;

// Mount modes. Any other value fails the mount with "Data not present error".
enum : uint8_t { MOUNT_DATAFILE = 1, MOUNT_DIRECTORY = 3, MOUNT_EMPTY = 4 };

// Zero bytes kept behind every datafile member, so parsers that read a little past the end
// find safe bytes. Directory files have none.
inline constexpr uint32_t VFS_TAIL_BYTES = 600;

// Message box caption and texts of a failed mount.
inline constexpr const char* VFS_CAPTION = "DUZUR exception";
inline constexpr const char* VFS_NOT_PRESENT = "Data not present error, maybe error in file.";
inline constexpr const char* VFS_INTEGRITY = "Data integrity error or file(s) not present";
inline constexpr const char* VFS_OVER_BUDGET = "Data too large: its files unpack to more memory than the player may use.";

// Why the last mount failed, for callers that explain more than the message box does.
enum : uint8_t { VFS_MOUNTED, VFS_FAILED_NOT_PRESENT, VFS_FAILED_INTEGRITY, VFS_FAILED_OVER_BUDGET };

// Longest file name inside a demo; the folder a demo lies in may be as long as the system allows.
inline constexpr uint32_t VFS_NAME_MAX = 255;

// The memory a mount may fill unless told otherwise: half the machine's memory, at most 4 GiB.
uint64_t DefaultMemoryBudget();

// One file, owned by the Vfs until Close. Readers use size, never a terminator.
struct VfsFile {
  std::string name;            // as found in the directory or datafile, or as listed
  std::vector<uint8_t> data;   // size bytes (+ VFS_TAIL_BYTES zeros for datafile members); empty if not loaded
  uint32_t size = 0;           // content bytes
  uint8_t loaded = 0;          // 1 once the contents were read and checked
};

struct Vfs {
  std::vector<std::unique_ptr<VfsFile>> files;  // the index, in the order files were added
  uint8_t isDatafile = 0;                       // set by a datafile mount
  uint8_t isEmpty = 0;                          // set by an empty mount: records can't be filled
  std::vector<uint8_t> image;                   // the datafile's bytes while it is being mounted
  std::string directory;                        // the directory of a directory mount
  System* owner = nullptr;                      // kept, not used
  // Bytes the records of one mount may hold in all. A mount adds up what its files declare
  // (sizes on disk, unpacked sizes of datafile members, with their tails) before it reads any of
  // them, and fails as a whole when the sum is larger.
  uint64_t memoryBudget = DefaultMemoryBudget();
  uint8_t failure = VFS_MOUNTED;  // VFS_FAILED_* of the last mount
  uint64_t mountBytes = 0;        // what the last mount's files declared, in bytes

  explicit Vfs(System* owner = nullptr) : owner(owner) {}

  // Reads the files of a datafile (MOUNT_DATAFILE, path = the file) or a directory
  // (MOUNT_DIRECTORY, path = the directory, "" = the current one; '\' and '/' both separate).
  // A directory's files are added in name order, ASCII case ignored, whatever order the disk
  // lists them in. With names, only those files are read and every one must load. Shows a
  // "DUZUR exception" message box, sets failure and leaves the Vfs closed on failure (a mount
  // over memoryBudget among them). Expects a new or closed Vfs.
  bool Mount(uint8_t mode, const char* path, const char* const* names = nullptr, uint32_t nameCount = 0);
  // A datafile mount from bytes already in memory (an embedded demo, a fuzzer).
  bool MountImage(std::vector<uint8_t> datafile, const char* const* names = nullptr, uint32_t nameCount = 0);

  // The record named name, ASCII case ignored; without one, the first record whose name begins
  // with name (stored demos may name files by a prefix); none if there is none.
  VfsFile* Find(const char* name) const;
  uint32_t Count() const { return static_cast<uint32_t>(files.size()); }
  // Frees every record. Safe to repeat and on a Vfs never mounted.
  void Close();
};

// ---- Datafile format (version 2) ----
// Header: "VPF", version 2, flags 0, u32 directory size, u32 reserved; then the directory
// entries; then the data area. All numbers little-endian.
inline constexpr uint32_t DATAFILE_HEADER_SIZE = 13;
inline constexpr uint32_t DATAFILE_ENTRY_SIZE = 38;     // fixed part of a directory entry
inline constexpr uint32_t DATAFILE_NAME_MAX = 256;      // name field, NUL included
inline constexpr uint32_t DATAFILE_MEMBER_MAX = 1u << 30;  // largest unpacked member accepted

struct DatafileEntry {
  std::string name;
  uint32_t storedSize = 0;   // S: bytes in the data area
  uint32_t compressed = 0;   // 0 stored, else block-compressed
  uint32_t size = 0;         // U: bytes once unpacked
  uint32_t offset = 0;       // from the start of the data area
  uint32_t checksum = 0;     // XOR of the stored bytes' whole little-endian words
  bool usable = false;       // false: the entry's fields can't describe a member of this image
};

// The usable and unusable entries of a datafile image in directory order; none when the
// header is invalid. A name without NUL inside its entry is not listed at all.
std::vector<DatafileEntry> ReadDatafileDirectory(const uint8_t* image, size_t imageSize);
// XOR of the first size / 4 little-endian 32-bit words; 0 below 4 bytes.
uint32_t DatafileChecksum(const uint8_t* bytes, size_t size);

// ---- Block decoder ----
// Decodes a reduced block-sorting stream (the published format less the "BZh" signature,
// the block CRCs, the randomised bits and the stream CRC). destLen is the room on entry and
// the bytes written on success. small and verbosity are accepted for compatibility only.
enum : int {
  DECODE_OK = 0,
  DECODE_PARAM_ERROR = -2,
  DECODE_MEM_ERROR = -3,
  DECODE_DATA_ERROR = -4,
  DECODE_DATA_ERROR_MAGIC = -5,
  DECODE_UNEXPECTED_EOF = -7,
  DECODE_OUTBUFF_FULL = -8,
};
int DecodeBuffer(uint8_t* dest, uint32_t* destLen, const uint8_t* source, uint32_t sourceLen, int small,
                 int verbosity);

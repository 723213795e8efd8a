// Building VPF datafiles: members block-compressed when that makes them smaller, stored
// otherwise, each with the checksum of its stored bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PackMember {
  std::string name;            // bare file name, unique without regard to case
  std::vector<uint8_t> bytes;  // the file's contents
};

struct PackedInfo {
  std::string name;
  uint32_t storedSize = 0;
  uint32_t size = 0;
  bool compressed = false;
};

// Builds a version-2 datafile of the members in the given order. On failure returns false
// and says why in error (a name too long or repeated, a member too large).
bool BuildDatafile(const std::vector<PackMember>& members, int blockSize100k, std::vector<uint8_t>& out,
                   std::vector<PackedInfo>* packed, std::string* error);

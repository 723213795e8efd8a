#include "vpfpack/Pack.h"

#include "vfs/Vfs.h"
#include "vpfpack/Reduce.h"

#include <set>

namespace {

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return s;
}

}  // namespace

bool BuildDatafile(const std::vector<PackMember>& members, int blockSize100k, std::vector<uint8_t>& out,
                   std::vector<PackedInfo>* packed, std::string* error) {
  std::vector<uint8_t> directory, data;
  std::set<std::string> seen;
  for (const PackMember& m : members) {
    if (m.name.empty() || m.name.size() + 1 > DATAFILE_NAME_MAX || m.name.find('\0') != std::string::npos) {
      if (error) *error = "unusable member name \"" + m.name + "\" (1 to 255 characters)";
      return false;
    }
    // Lookups ignore case, so a second name differing only in case could never be found.
    if (!seen.insert(Lower(m.name)).second) {
      if (error) *error = "two members named \"" + m.name + "\" (names are compared without case)";
      return false;
    }
    if (m.bytes.size() > DATAFILE_MEMBER_MAX) {
      if (error) *error = "member \"" + m.name + "\" is larger than 1 GiB";
      return false;
    }

    std::vector<uint8_t> compressed;
    const bool useCompressed = !m.bytes.empty() &&
                               CompressReduced(m.bytes.data(), m.bytes.size(), blockSize100k, compressed) &&
                               compressed.size() < m.bytes.size();
    const std::vector<uint8_t>& stored = useCompressed ? compressed : m.bytes;
    if (uint64_t(data.size()) + stored.size() > UINT32_MAX) {
      if (error) *error = "the datafile would pass 4 GiB";
      return false;
    }

    const uint32_t entryLength = uint32_t(DATAFILE_ENTRY_SIZE + m.name.size() + 1);
    PutU16(directory, entryLength);
    PutU32(directory, uint32_t(stored.size()));
    PutU32(directory, useCompressed ? 1 : 0);
    PutU32(directory, uint32_t(m.bytes.size()));
    PutU32(directory, uint32_t(data.size()));
    PutU32(directory, DatafileChecksum(stored.data(), stored.size()));
    directory.insert(directory.end(), 16, 0);
    directory.insert(directory.end(), m.name.begin(), m.name.end());
    directory.push_back(0);
    data.insert(data.end(), stored.begin(), stored.end());

    if (packed) packed->push_back({m.name, uint32_t(stored.size()), uint32_t(m.bytes.size()), useCompressed});
  }

  out.clear();
  out.reserve(DATAFILE_HEADER_SIZE + directory.size() + data.size());
  out.insert(out.end(), {'V', 'P', 'F', 2, 0});
  PutU32(out, uint32_t(directory.size()));
  PutU32(out, 0);
  out.insert(out.end(), directory.begin(), directory.end());
  out.insert(out.end(), data.begin(), data.end());
  return true;
}

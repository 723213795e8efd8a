// Shared between the Vfs's own files; not part of its interface.
#pragma once

#include "vfs/Vfs.h"

namespace vfs_internal {

// Checks and unpacks one member of a datafile image into file (data and size).
// False when the entry is unusable, the checksum differs or the member can't be decoded.
bool ExtractMember(const uint8_t* image, size_t imageSize, const DatafileEntry& entry, VfsFile& file);

}  // namespace vfs_internal

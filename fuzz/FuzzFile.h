// A record holding exactly the input's bytes, no tail: a read past the end is a read past the
// allocation.
#pragma once

#include "vfs/Vfs.h"

#include <cstddef>
#include <cstdint>
#include <memory>

inline std::unique_ptr<VfsFile> FuzzFile(const char* name, const uint8_t* data, size_t size) {
  auto file = std::make_unique<VfsFile>();
  file->name = name;
  file->data.assign(data, data + size);
  file->size = uint32_t(size);
  file->loaded = 1;
  return file;
}

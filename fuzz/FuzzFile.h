// What the harnesses share: a file record holding exactly the input's bytes, no tail, so a read
// past the end is a read past the allocation; and message boxes that go nowhere.
#pragma once

#include "platform/Platform.h"
#include "vfs/Vfs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

inline std::unique_ptr<VfsFile> FuzzFile(const char* name, const uint8_t* data, size_t size) {
  auto file = std::make_unique<VfsFile>();
  file->name = name;
  file->data.assign(data, data + size);
  file->size = uint32_t(size);
  file->loaded = 1;
  return file;
}

// The loaders report bad input in boxes; a fuzzer has no one to click them.
inline void QuietMessages() { platform::SetMessageHook([](const char*, const char*, platform::MessageIcon) {}); }

// What the texture tests share: the log read back, captured message boxes, files held the way
// the Vfs holds them, and pixel access to a decoded entry.
#pragma once

#include "support/ImageWriter.h"
#include "support/TestSupport.h"
#include "textures/Textures.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <memory>

class TextureFixture : public ::testing::Test {
 protected:
  // A record as a mount leaves it: the bytes, then (like a datafile member) zeros the decoders
  // must not mistake for content.
  static std::unique_ptr<VfsFile> File(const std::string& name, const std::vector<uint8_t>& bytes) {
    auto file = std::make_unique<VfsFile>();
    file->name = name;
    file->data = bytes;
    file->data.resize(bytes.size() + VFS_TAIL_BYTES, 0);
    file->size = uint32_t(bytes.size());
    file->loaded = 1;
    return file;
  }

  std::vector<std::string> Lines() const { return log.Lines(); }
  static std::string LoadError(const std::string& name) {
    return "[ 01 ] - TEXLDR(Load) - Error loading texture \"" + name + "\"!";
  }

  // Pixel (x, y) of a decoded entry, y counted from the top of the picture, as B, G, R.
  static const uint8_t* Bgr(const TextureEntry& entry, int x, int y) {
    return entry.pixels + size_t(entry.height - 1 - y) * entry.pitch + size_t(x) * 3;
  }

  test::TempDir dir;
  test::MessageCapture boxes;
  test::LogFile log{dir / "ZIVI3.LOG"};
};

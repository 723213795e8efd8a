// Decodes arbitrary bytes as a texture as the cache does; an image that decodes is as large as it says.
#include "FuzzFile.h"
#include "textures/Textures.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = FuzzFile("fuzz.img", data, size);
  TextureEntry entry;
  entry.name = file->name;
  if (!TextureLoader::Decode(&entry, file.get())) {
    if (entry.image || entry.pixels) std::abort();
    return 0;
  }
  if (!entry.image || !entry.pixels || entry.width <= 0 || entry.height <= 0) std::abort();
  if (entry.pitch < uint64_t(entry.width) * 3 || entry.pitch % 4 != 0) std::abort();
  const std::vector<uint8_t> merged = MergeAlpha(entry, entry);
  if (merged.size() != size_t(entry.width) * size_t(entry.height) * 4) std::abort();
  return 0;
}

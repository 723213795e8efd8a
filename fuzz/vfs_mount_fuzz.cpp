// Mounts arbitrary bytes as a datafile, fully and by its own names, and touches every byte claimed.
#include "FuzzFile.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietMessages();
  std::vector<uint8_t> image(data, data + size);
  Vfs vfs;
  vfs.memoryBudget = 64u << 20;  // what a few bytes may declare stays within the fuzzer's memory
  vfs.MountImage(image);
  uint32_t sum = 0;
  std::vector<std::string> names;
  for (const auto& file : vfs.files) {
    for (uint32_t i = 0; file->loaded && i < file->size + VFS_TAIL_BYTES; ++i) sum += file->data[i];
    names.push_back(file->name);
  }
  vfs.Find("");
  vfs.Find("a");

  std::vector<const char*> list;
  for (const std::string& name : names) list.push_back(name.c_str());
  list.push_back("not-there");
  vfs.MountImage(image, list.data(), uint32_t(list.size() - (size % 2)));
  vfs.Close();
  return int(sum & 0);
}

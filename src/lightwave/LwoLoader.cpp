// The LWO2 file reader: the FORM header, the chunk loop and the dispatch to the chunk readers,
// and the ways in from a Vfs or a path.
//
// File layout: "FORM", U4 size, "LWO2", then chunks of ID4, U4 size and that many bytes, with no
// pad byte after an odd size. Every reader gets a cursor over its own chunk only, and reading
// goes on at the chunk's declared end whatever the reader consumed.
#include "lightwave/Lightwave.h"

#include "lightwave/LwoRead.h"
#include "lightwave/Triangulate.h"
#include "log/Log.h"
#include "vfs/Vfs.h"

#include <filesystem>

using lwo::Cursor;
using lwo::Id;

LwoLoader::LwoLoader() : triangulateScratch(std::make_unique<lwo::TriangulateScratch>()) {}

LwoLoader::~LwoLoader() = default;

void LwoLoader::Reset(const VfsFile* objectFile, Scene* targetScene) {
  file = objectFile;
  scene = targetScene;
  fileName = objectFile ? objectFile->name.c_str() : "";
  formSize = 0;
  Engine* system = targetScene ? targetScene->system : nullptr;
  triangulate = system && system->settings.triangulate;
  engineSpeed = system ? system->engineSpeed : 30.0f;
  tags.clear();
  tagSurfaces.clear();
  clips.clear();
  envelopes.clear();
  currentLayer = nullptr;
  currentSurface = nullptr;
  polygonBase = polygonCount = 0;
  polygonTriangles.clear();
}

bool LwoLoader::Load(const VfsFile* objectFile, Scene* targetScene) {
  Reset(objectFile, targetScene);
  if (!file) {
    Log(0, "LWOLDR(Load) - File doesn't exist or software error!");
    return false;
  }
  Log(3, "LWOLDR(Load) - Loading \"%s\"...", fileName);
  if (!scene) {
    Log(0, "LWOLDR(Load) - Scene not allocated, possibly caused by software error");
    return false;
  }

  // A record claiming more bytes than it holds is read as far as it holds them.
  const uint32_t size = file->size <= file->data.size() ? file->size : uint32_t(file->data.size());
  Cursor bytes(file->data.data(), file->data.data() + size);
  uint32_t magic = 0, formType = 0;
  lwo::ReadID4(bytes, &magic);
  lwo::ReadU4(bytes, &formSize);
  lwo::ReadID4(bytes, &formType);
  if (bytes.truncated || magic != Id("FORM")) {
    Log(0, "LWOLDR(Load) - File %s is no valid Lightwave Object(LWO)!", fileName);
    return false;
  }
  if (formType != Id("LWO2")) {
    Log(0, "LWOLDR(Load) - Version of file %s is not supported by this loader!", fileName);
    return false;
  }

  // The form's size counts its type; bytes after the form are not the object's.
  const uint32_t bodySize = formSize >= 4 ? formSize - 4 : 0;
  if (bodySize > bytes.Left()) {
    Log(1, "LWOLDR(Load) - File %s is shorter than its header says, reading what is there", fileName);
  }
  Cursor form(bytes.at, bytes.at + (bodySize < bytes.Left() ? bodySize : bytes.Left()));

  bool stopped = false;
  while (!form.AtEnd() && !stopped) {
    uint32_t id = 0, chunkSize = 0;
    Cursor chunk;
    if (!lwo::ReadChunk(form, &id, &chunk, &chunkSize)) {
      // Without the chunk's end the next header can't be found: nothing after it is read.
      Log(1, "LWOLDR(Load) - Chunk %s of %s runs past the end of the file, skipped with the rest",
          lwo::IdText(id).text, fileName);
      break;
    }
    stopped = ReadChunk(id, chunk) == LWO_STOP;
  }

  const bool loaded = !stopped;
  Reset(nullptr, nullptr);
  if (!loaded) {
    Log(3, "LWOLDR(Load) - LWO wasn't successfully loaded due to error in subroutines");
  }
  return loaded;
}

uint32_t LwoLoader::ReadChunk(uint32_t id, Cursor& chunk) {
  switch (id) {
    case Id("LAYR"): return ReadLAYR(chunk);
    case Id("PNTS"): return ReadPNTS(chunk);
    case Id("BBOX"): return ReadBBOX(chunk);
    case Id("POLS"): return ReadPOLS(chunk);
    case Id("TAGS"): return ReadTAGS(chunk);
    case Id("PTAG"): return ReadPTAG(chunk);
    case Id("VMAP"): return ReadVMAP(chunk);
    case Id("VMAD"): return ReadVMAD(chunk);
    case Id("SURF"): return ReadSURF(chunk);
    case Id("CLIP"): return ReadCLIP(chunk);
    case Id("ENVL"): return ReadENVL(chunk);
    default: return chunk.Skip(chunk.Left());  // chunks this player has no use for
  }
}

bool LwoLoader::Load(Scene& scene, Vfs& vfs, const char* fileName) {
  const VfsFile* found = fileName ? vfs.Find(fileName) : nullptr;
  if (found && !found->loaded) found = nullptr;  // listed, but its contents never arrived
  LwoLoader loader;
  return loader.Load(found, &scene);
}

bool Scene::LoadObjectFile(const char* path) {
  // The scene keeps no file system of its own, so the file is read through a Vfs over its
  // folder that holds just this file. Either separator may divide the path.
  std::string full = path ? path : "";
  size_t slash = full.find_last_of("/\\");
  std::string directory = slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? full : full.substr(slash + 1);

  std::error_code error;
  std::string native = full;
  for (char& c : native)
    if (c == '\\') c = '/';
  Vfs vfs;
  const char* names[] = {name.c_str()};
  // A missing file is the loader's own "doesn't exist" failure, not a mount error.
  if (name.empty() || !std::filesystem::is_regular_file(native, error) ||
      !vfs.Mount(MOUNT_DIRECTORY, directory.c_str(), names, 1)) {
    return LwoLoader().Load(nullptr, this);
  }
  bool loaded = LwoLoader::Load(*this, vfs, name.c_str());
  vfs.Close();
  return loaded;
}

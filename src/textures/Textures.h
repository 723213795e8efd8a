// Textures: the pool of every image the scenes name, and the loading of each image into an
// OpenGL texture with its mip-maps.
//
// The loaders collect file names while a scene is read (AddReference, through the scene's Engine); once
// the scene is loaded and precalculated, TextureCache::Load pools the names (each distinct file
// is decoded and uploaded once), binds every texture layer of the registered scenes to its pool
// entry, uploads the images and merges a surface's second image into its first as alpha.
//
// Images are decoded straight from the Vfs's bytes. Only BMP, JPEG, PCX and PNG are accepted,
// recognised by content, never by name; every image becomes 24-bit BGR rows, bottom row first.
// Decoding needs no OpenGL context; uploading, merging and freeing the pool do, and run on the
// thread that owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Scene;
struct Vfs;
struct VfsFile;

// A decoded bitmap of the image library; only this module sees inside it. The loader stores its
// release function with the pointer, so code that merely holds a System (and so a cache) needs
// nothing of this module at link time.
struct DecodedImage;
using DecodedImagePtr = std::unique_ptr<DecodedImage, void (*)(DecodedImage*)>;

// One pooled texture.
struct TextureEntry {
  std::string name;              // the first reference that introduced it
  uint32_t glName = 0;           // its OpenGL texture object
  int32_t width = 0;             // pixels, from the decoded image
  int32_t height = 0;            // pixels
  DecodedImagePtr image{nullptr, nullptr};  // 24-bit bitmap; held from decoding to the end of Load
  const uint8_t* pixels = nullptr;  // first byte of the bottom row inside image; none without it
  uint32_t pitch = 0;            // bytes from one row to the next: width × 3 padded to 4
  uint8_t combined = 0;          // 1 once the entry took part in an alpha merge
};

struct TextureCache {
  std::vector<std::string> references;   // one per reference, in order; duplicates kept
  std::vector<Scene*> scenes;            // whose surfaces are bound at load; not owned
  std::vector<std::unique_ptr<TextureEntry>> entries;  // the pool, in order of first reference
  std::vector<uint32_t> glNames;         // generated for the pool, one per entry

  // Appends a copy of a bare file name. A null or empty name names no file and is ignored.
  void AddReference(const char* name) {
    if (name && *name) references.emplace_back(name);
  }
  void AddScene(Scene* scene) { scenes.push_back(scene); }

  // Pools the references, binds layers, decodes and uploads every entry found in vfs, merges
  // alpha layers and releases the decoded images. Needs the OpenGL context current. Always
  // true: a missing or undecodable file is logged and the others still load. Runs once.
  bool Load(Vfs* vfs);
  // Deletes the textures and releases the pool and both lists (the scenes are not touched).
  // Needs the context when Load generated textures; a second call does nothing.
  void Free();

  // Load's first two steps, without OpenGL. Pool: one entry per distinct reference, names
  // compared without regard to ASCII case, the first spelling kept. Resolve: a layer with an
  // image name is bound to the first entry whose name begins with it (ASCII case ignored) and
  // gives up its name; a layer that matches nothing keeps its name and has no texture.
  void BuildPool();
  void ResolveLayers();

  // Merges alphaEntry's image into colourEntry's texture as its alpha (the mean of the mask's
  // three channels) and marks both combined. Skipped when either entry or image is missing or
  // the two images differ in size.
  void CombineAlpha(TextureEntry* alphaEntry, TextureEntry* colourEntry);
};

// The RGBA pixels of a merge: colour's red, green and blue with (b + g + r) / 3 of alpha as
// alpha, bottom row first and unpadded. Empty when CombineAlpha would skip the pair.
std::vector<uint8_t> MergeAlpha(const TextureEntry& alpha, const TextureEntry& colour);

// The image library's read-only input over one file's bytes in the Vfs (not copied). Reads stop
// at the file's end. A read that runs into the end is remembered, since the decoders that don't
// check their reads would otherwise make an image out of a truncated file. Buffered byte reads
// (item size 1) ask for more than is left at the end of every file, so for them only a read
// that finds nothing left counts.
struct ImageStream {
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;             // content bytes
  uint64_t position = 0;         // may lie past the end after a seek; reads there get nothing
  bool overran = false;          // a read of records came up short, or a byte read got nothing

  explicit ImageStream(const VfsFile& file);
  ImageStream(const uint8_t* bytes, uint32_t size) : bytes(bytes), size(size) {}

  // Copies up to count whole items of itemSize bytes and returns how many it copied.
  uint32_t Read(void* buffer, uint32_t itemSize, uint32_t count);
  // origin 0 from the start, 1 from the position, anything else from the end. 0 on success;
  // -1 (position unchanged) for a position before the start or beyond 4 GiB.
  int Seek(long offset, int origin);
  long Tell() const { return long(position); }
};

enum ImageFormat : uint8_t { IMAGE_NONE = 0, IMAGE_BMP, IMAGE_JPEG, IMAGE_PCX, IMAGE_PNG };

struct TextureLoader {
  // Decodes file and uploads it under entry's glName with all its mip-maps. False after the
  // level-1 message "TEXLDR(Load) - Error loading texture "name"!" when the file is not one of
  // the accepted formats or can't be decoded; nothing is uploaded then.
  static bool Load(TextureEntry* entry, const VfsFile* file);
  // Load without OpenGL: fills width, height, image, pixels and pitch, or logs and returns
  // false leaving the entry without image.
  static bool Decode(TextureEntry* entry, const VfsFile* file);
  // The upload half of Load, for an entry that holds an image.
  static void Upload(const TextureEntry& entry);
  // The accepted format the bytes begin with, or IMAGE_NONE. Leaves the stream's position as
  // it found it.
  static ImageFormat Detect(ImageStream& stream);
};

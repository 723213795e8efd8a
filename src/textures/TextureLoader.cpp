// One image file into one OpenGL texture: the image library reads the Vfs's bytes through an
// ImageStream, the bitmap becomes 24-bit BGR, and GLU builds the mip-map chain from it. This is
// the only file that talks to the image library.
#include "textures/Textures.h"

#include "log/Log.h"
#include "vfs/Vfs.h"

#include <FreeImage.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifndef GL_BGR_EXT
#define GL_BGR_EXT 0x80E0
#endif

namespace {

// A DecodedImage handle is the library's bitmap under another name.
FIBITMAP* Bitmap(DecodedImage* image) { return reinterpret_cast<FIBITMAP*>(image); }
DecodedImage* Handle(FIBITMAP* bitmap) { return reinterpret_cast<DecodedImage*>(bitmap); }

ImageStream& StreamOf(fi_handle handle) { return *static_cast<ImageStream*>(handle); }

unsigned DLL_CALLCONV ReadProc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  return StreamOf(handle).Read(buffer, size, count);
}

// The loader only ever reads.
unsigned DLL_CALLCONV WriteProc(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV SeekProc(fi_handle handle, long offset, int origin) {
  return StreamOf(handle).Seek(offset, origin);
}

long DLL_CALLCONV TellProc(fi_handle handle) { return StreamOf(handle).Tell(); }

FreeImageIO StreamIO() {
  FreeImageIO io;
  io.read_proc = ReadProc;
  io.write_proc = WriteProc;
  io.seek_proc = SeekProc;
  io.tell_proc = TellProc;
  return io;
}

// The accepted formats in the order the library itself would recognise them. Only their own
// signature checks run: the library's general detection would also try every other format it
// knows on a file that is none of these, and some of those checks go deep (the camera-raw one
// parses the whole file), all for a file that would then be refused anyway.
struct AcceptedFormat {
  ImageFormat format;
  FREE_IMAGE_FORMAT libraryFormat;
};
constexpr AcceptedFormat ACCEPTED_FORMATS[] = {
    {IMAGE_BMP, FIF_BMP}, {IMAGE_JPEG, FIF_JPEG}, {IMAGE_PCX, FIF_PCX}, {IMAGE_PNG, FIF_PNG}};

FREE_IMAGE_FORMAT LibraryFormat(ImageFormat format) {
  for (const AcceptedFormat& accepted : ACCEPTED_FORMATS)
    if (accepted.format == format) return accepted.libraryFormat;
  return FIF_UNKNOWN;
}

// PCX: the library's decoder refills its buffer without looking at what the read returned, so a
// file that ends early decodes into whatever the buffer held before. This walks the run-length
// data as that decoder does (each row is bytesPerLine × planes bytes, a run ends with its row,
// a run count of 0 means 256) and says whether the file holds all of it. A one-plane 8-bit
// image keeps its palette in the file's last 769 bytes (a marker and 256 colours), which the
// decoder reads from the end whatever is there: the pixel data must stop before them.
constexpr uint32_t PCX_HEADER_SIZE = 128;
constexpr uint32_t PCX_PALETTE_TAIL = 769;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool PcxDataIsWhole(const uint8_t* bytes, uint32_t size) {
  if (size < PCX_HEADER_SIZE) return false;
  if (bytes[2] != 1) return true;  // stored rows are read as records, and a short one is noticed
  const int32_t height = int32_t(Get16(bytes + 10)) - int32_t(Get16(bytes + 6)) + 1;
  const uint64_t rowBytes = uint64_t(bytes[65]) * Get16(bytes + 66);
  if (bytes[3] == 8 && bytes[65] == 1) {
    if (size < PCX_HEADER_SIZE + PCX_PALETTE_TAIL) return false;
    size -= PCX_PALETTE_TAIL;
  }
  uint64_t at = PCX_HEADER_SIZE;
  for (int32_t row = 0; row < height; ++row) {
    for (uint64_t produced = 0; produced < rowBytes;) {
      if (at >= size) return false;
      const uint8_t code = bytes[at++];
      if ((code & 0xC0) != 0xC0) {
        produced += 1;
        continue;
      }
      if (at >= size) return false;
      ++at;
      produced += (code & 0x3F) ? (code & 0x3F) : 256;
    }
  }
  return true;
}

// Whatever the library would print goes nowhere: a file that fails gets the loader's own line.
void DLL_CALLCONV DropLibraryMessage(FREE_IMAGE_FORMAT, const char*) {}

void ReleaseImage(DecodedImage* image) { FreeImage_Unload(Bitmap(image)); }

}  // namespace


// ---- ImageStream ----

ImageStream::ImageStream(const VfsFile& file)
    : bytes(file.data.data()),
      // A record that was never filled holds fewer bytes than its size says.
      size(uint32_t(std::min<size_t>(file.size, file.data.size()))) {}

uint32_t ImageStream::Read(void* buffer, uint32_t itemSize, uint32_t count) {
  if (itemSize == 0 || count == 0) return 0;
  const uint64_t left = position < size ? size - position : 0;
  const uint32_t items = uint32_t(std::min<uint64_t>(count, left / itemSize));
  if (items < count && (itemSize > 1 || items == 0)) overran = true;
  const size_t length = size_t(items) * itemSize;
  if (length) std::memcpy(buffer, bytes + position, length);
  // A buffered decoder that ignores a short read finds zeros behind the file's bytes, not what
  // its buffer held before (earlier data, or memory never written).
  if (itemSize == 1 && items < count) std::memset(static_cast<uint8_t*>(buffer) + length, 0, count - length);
  position += length;
  return items;
}

int ImageStream::Seek(long offset, int origin) {
  int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? int64_t(position) : int64_t(size);
  int64_t target = base + int64_t(offset);
  if (target < 0 || target > int64_t(UINT32_MAX)) return -1;
  position = uint64_t(target);
  return 0;
}

// ---- TextureLoader ----

ImageFormat TextureLoader::Detect(ImageStream& stream) {
  FreeImageIO io = StreamIO();
  const uint64_t start = stream.position;
  ImageFormat found = IMAGE_NONE;
  for (const AcceptedFormat& accepted : ACCEPTED_FORMATS) {
    if (FreeImage_ValidateFromHandle(accepted.libraryFormat, &io, &stream)) {
      found = accepted.format;
      break;
    }
  }
  // A signature check may read past the end of a tiny file; that says nothing about the image.
  stream.position = start;
  stream.overran = false;
  return found;
}

bool TextureLoader::Decode(TextureEntry* entry, const VfsFile* file) {
  static const bool quiet = (FreeImage_SetOutputMessage(DropLibraryMessage), true);
  (void)quiet;

  entry->image.reset();
  entry->pixels = nullptr;
  entry->pitch = 0;

  FIBITMAP* bitmap = nullptr;
  if (file) {
    ImageStream stream(*file);
    FreeImageIO io = StreamIO();
    const ImageFormat format = Detect(stream);
    const bool whole = format != IMAGE_PCX || PcxDataIsWhole(stream.bytes, stream.size);
    if (format != IMAGE_NONE && whole) bitmap = FreeImage_LoadFromHandle(LibraryFormat(format), &io, &stream, 0);
    // Some decoders fill what they could not read with black instead of failing: a file that
    // ends before its image does is refused whatever the decoder made of it.
    if (bitmap && stream.overran) {
      FreeImage_Unload(bitmap);
      bitmap = nullptr;
    }
  }
  if (bitmap && FreeImage_GetBPP(bitmap) != 24) {
    FIBITMAP* converted = FreeImage_ConvertTo24Bits(bitmap);
    FreeImage_Unload(bitmap);
    bitmap = converted;
  }
  if (bitmap && (FreeImage_GetWidth(bitmap) == 0 || FreeImage_GetHeight(bitmap) == 0 ||
                 !FreeImage_GetBits(bitmap))) {
    FreeImage_Unload(bitmap);
    bitmap = nullptr;
  }
  if (!bitmap) {
    Log(1, "TEXLDR(Load) - Error loading texture \"%s\"!", entry->name.c_str());
    return false;
  }

  entry->image = DecodedImagePtr(Handle(bitmap), ReleaseImage);
  entry->width = int32_t(FreeImage_GetWidth(bitmap));
  entry->height = int32_t(FreeImage_GetHeight(bitmap));
  entry->pixels = FreeImage_GetBits(bitmap);
  entry->pitch = FreeImage_GetPitch(bitmap);
  return true;
}

void TextureLoader::Upload(const TextureEntry& entry) {
  if (!entry.pixels) return;
  glBindTexture(GL_TEXTURE_2D, entry.glName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  // The bitmap's rows are padded to 4 bytes; say so rather than trust what was set before.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  // The bottom row comes first in memory, so it becomes the texture's row at t = 0. GLU scales
  // sides that are not powers of two.
  gluBuild2DMipmaps(GL_TEXTURE_2D, 3, entry.width, entry.height, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                    entry.pixels);
}

bool TextureLoader::Load(TextureEntry* entry, const VfsFile* file) {
  if (!Decode(entry, file)) return false;
  Upload(*entry);
  return true;
}

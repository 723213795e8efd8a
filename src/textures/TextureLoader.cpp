// One image file into one OpenGL texture: the image library reads the Vfs's bytes through an
// ImageStream, the bitmap becomes 24-bit BGR, and GLU builds the mip-map chain from it. This is
// the only file that talks to the image library, and it keeps from the library's decoders what
// they are known to mishandle (the PCX, size and JPEG metadata checks below): they were written
// to read their own files, not whatever a demo folder holds.
#include "textures/Textures.h"

#include "log/Log.h"
#include "vfs/Vfs.h"

#include <FreeImage.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

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

// PCX, where the library's decoder trusts the header and its own reads:
// - it keeps one row of bytesPerLine × planes bytes and takes width pixels out of it, reading
//   past that buffer when a header claims fewer bytes a row than the width needs;
// - it refills its run-length buffer without looking at what the read returned, so a file that
//   ends early decodes into whatever the buffer held before;
// - it reads a one-plane 8-bit image's palette from the file's last 769 bytes (a marker and 256
//   colours) whatever is there.
// So the header must describe rows wide enough for the image, and the file must hold all the
// pixel data (walked here as the decoder walks it: a run ends with its row, a run count of 0
// means 256) before the palette. Sizes declared with no data behind them are caught here too.
constexpr uint32_t PCX_HEADER_SIZE = 128;
constexpr uint32_t PCX_PALETTE_TAIL = 769;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

bool PcxHoldsItsImage(const uint8_t* bytes, uint32_t size) {
  if (size < PCX_HEADER_SIZE) return false;
  const uint8_t bitsPerPixel = bytes[3], planes = bytes[65];
  const int32_t width = int32_t(Get16(bytes + 8)) - int32_t(Get16(bytes + 4)) + 1;
  const int32_t height = int32_t(Get16(bytes + 10)) - int32_t(Get16(bytes + 6)) + 1;
  const uint32_t bytesPerLine = Get16(bytes + 66);
  if (width <= 0 || height <= 0 || uint64_t(bytesPerLine) * 8 < uint64_t(width) * bitsPerPixel) return false;
  if (bitsPerPixel == 8 && planes == 1) {
    if (size < PCX_HEADER_SIZE + PCX_PALETTE_TAIL) return false;
    size -= PCX_PALETTE_TAIL;
  }
  const uint64_t rowBytes = uint64_t(planes) * bytesPerLine;
  if (bytes[2] != 1) return PCX_HEADER_SIZE + rowBytes * uint64_t(height) <= size;  // stored rows
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

// The largest image decoded: a side of 16384 (beyond any texture size) and 64 million pixels
// (8192 × 8192, 192 MB as 24-bit rows). A header that asks for more is refused before the
// library allocates it: a few bytes of PNG or BMP header could otherwise claim gigabytes.
constexpr uint32_t IMAGE_SIDE_MAX = 16384;
constexpr uint64_t IMAGE_PIXELS_MAX = uint64_t(1) << 26;

// Reads only the header (the library's no-pixels load) and says whether the image it declares
// is within those limits. Leaves the stream at its start.
bool SizeIsPlausible(FREE_IMAGE_FORMAT format, FreeImageIO& io, ImageStream& stream) {
  FIBITMAP* header = FreeImage_LoadFromHandle(format, &io, &stream, FIF_LOAD_NOPIXELS);
  const uint64_t width = header ? FreeImage_GetWidth(header) : 0;
  const uint64_t height = header ? FreeImage_GetHeight(header) : 0;
  if (header) FreeImage_Unload(header);
  stream.position = 0;
  stream.overran = false;
  return width >= 1 && height >= 1 && width <= IMAGE_SIDE_MAX && height <= IMAGE_SIDE_MAX &&
         width * height <= IMAGE_PIXELS_MAX;
}

// JPEG: before the pixels, the library parses the metadata segments itself (Exif, XMP, IPTC,
// comments), trusting the counts and offsets inside them: an Exif directory that claims more
// entries than its segment holds makes it read far past the segment. Textures need none of
// that, so those segments are left out of what the decoder sees. JFIF (APP0) and Adobe (APP14)
// stay: the decoder needs them to read the colours right. The segments are found up to the
// first scan the way the decoder finds them (stray bytes between segments are passed over);
// a segment that runs past the end of the file ends the search, and the decoder judges the rest.
bool IsJpegMetadata(uint8_t marker) {
  return (marker >= 0xE1 && marker <= 0xED) || marker == 0xEF || marker == 0xFE;
}

// Markers that stand alone or end the header: no length follows them here.
bool EndsJpegHeader(uint8_t marker) {
  return marker == 0xDA || marker == 0xD9 || marker == 0xD8 || marker == 0x01 ||
         (marker >= 0xD0 && marker <= 0xD7);
}

// The file without its metadata segments, or false (and nothing) when it has none.
bool WithoutJpegMetadata(const uint8_t* bytes, uint32_t size, std::vector<uint8_t>* kept) {
  if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
  std::vector<std::pair<size_t, size_t>> dropped;  // [start, end) of each segment left out
  size_t at = 2;
  while (at + 4 <= size) {
    if (bytes[at] != 0xFF || bytes[at + 1] == 0xFF || bytes[at + 1] == 0) {  // stray and fill bytes
      ++at;
      continue;
    }
    const uint8_t marker = bytes[at + 1];
    if (EndsJpegHeader(marker)) break;
    const size_t end = at + 2 + (size_t(bytes[at + 2]) << 8 | bytes[at + 3]);
    if (end < at + 4 || end > size) break;
    if (IsJpegMetadata(marker)) dropped.push_back({at, end});
    at = end;
  }
  if (dropped.empty()) return false;
  kept->reserve(size);
  size_t from = 0;
  for (const auto& [start, end] : dropped) {
    kept->insert(kept->end(), bytes + from, bytes + start);
    from = end;
  }
  kept->insert(kept->end(), bytes + from, bytes + size);
  return true;
}

// Whatever the library would print goes nowhere: a file that fails gets the loader's own line.
void DLL_CALLCONV DropLibraryMessage(FREE_IMAGE_FORMAT, const char*) {}

void ReleaseImage(DecodedImage* image) { FreeImage_Unload(Bitmap(image)); }

// The high byte of each 16-bit grey value, as an 8-bit grey bitmap. The library's own conversion
// would stretch the image's range of values to the full 0-255 (or clamp them), not keep it.
FIBITMAP* EightBitGrey(FIBITMAP* wide) {
  const unsigned width = FreeImage_GetWidth(wide), height = FreeImage_GetHeight(wide);
  FIBITMAP* grey = FreeImage_Allocate(int(width), int(height), 8);
  if (!grey) return nullptr;
  RGBQUAD* palette = FreeImage_GetPalette(grey);
  for (int i = 0; i < 256; ++i) palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
  for (unsigned y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const uint16_t*>(FreeImage_GetScanLine(wide, int(y)));
    BYTE* out = FreeImage_GetScanLine(grey, int(y));
    for (unsigned x = 0; x < width; ++x) out[x] = BYTE(in[x] >> 8);
  }
  return grey;
}

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
    std::vector<uint8_t> withoutMetadata;
    if (format == IMAGE_JPEG && WithoutJpegMetadata(stream.bytes, stream.size, &withoutMetadata))
      stream = ImageStream(withoutMetadata.data(), uint32_t(withoutMetadata.size()));
    const FREE_IMAGE_FORMAT libraryFormat = LibraryFormat(format);
    if (format != IMAGE_NONE && (format != IMAGE_PCX || PcxHoldsItsImage(stream.bytes, stream.size)) &&
        SizeIsPlausible(libraryFormat, io, stream))
      bitmap = FreeImage_LoadFromHandle(libraryFormat, &io, &stream, 0);
    // Some decoders fill what they could not read with black instead of failing: a file that
    // ends before its image does is refused whatever the decoder made of it.
    if (bitmap && stream.overran) {
      FreeImage_Unload(bitmap);
      bitmap = nullptr;
    }
  }
  // A 16-bit grey PNG comes as a type of its own, which the 24-bit conversion doesn't take (16-bit
  // RGB and RGBA it does): it becomes 8-bit grey first.
  if (bitmap && FreeImage_GetImageType(bitmap) == FIT_UINT16) {
    FIBITMAP* grey = EightBitGrey(bitmap);
    FreeImage_Unload(bitmap);
    bitmap = grey;
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

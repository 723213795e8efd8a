// Offscreen OpenGL through OSMesa: the renderer's GL 1.1 calls land in a buffer in memory, so
// frames can be rendered, read back and saved without a display.
//
// Linking: OSMesa exports the whole GL API itself. It must come before any other GL library in
// the program's link order (see this folder's CMakeLists.txt); the GL entry points of the
// system's libGL dispatch to a different current context and would draw nothing here.
#include "platform/Platform.h"

#include <GL/osmesa.h>

#include <GL/gl.h>

#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

struct OffscreenContext {
  OSMesaContext context = nullptr;
  uint32_t width = 0, height = 0;
  GLenum pixelType = GL_UNSIGNED_BYTE;  // of the colour buffer
  std::vector<uint8_t> buffer;          // the colour buffer OSMesa draws into
};

void AdviseAllocatorForDrawing() {
#if defined(__GLIBC__)
  // Blocks below 32 MiB come from the heap, and up to 64 MiB freed at its top stay there.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

OffscreenContext* CreateOffscreenContext(uint32_t width, uint32_t height, uint32_t colourDepth) {
  // OSMesa's own limit is far above any screen; this keeps the buffer size in range.
  constexpr uint32_t SIDE_MAX = 16384;
  if (width == 0 || height == 0 || width > SIDE_MAX || height > SIDE_MAX) return nullptr;
  AdviseAllocatorForDrawing();
  const bool sixteen = colourDepth == 16;
  auto* offscreen = new OffscreenContext;
  offscreen->width = width;
  offscreen->height = height;
  offscreen->pixelType = sixteen ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE;
  offscreen->buffer.assign(size_t(width) * height * (sixteen ? 2 : 4), 0);
  offscreen->context = OSMesaCreateContextExt(sixteen ? OSMESA_RGB_565 : OSMESA_RGBA, 24, 0, 0, nullptr);
  if (!offscreen->context || !MakeOffscreenCurrent(offscreen)) {
    DestroyOffscreenContext(offscreen);
    return nullptr;
  }
  return offscreen;
}

bool MakeOffscreenCurrent(OffscreenContext* offscreen) {
  if (!offscreen || !offscreen->context) return false;
  return OSMesaMakeCurrent(offscreen->context, offscreen->buffer.data(), offscreen->pixelType,
                           GLsizei(offscreen->width), GLsizei(offscreen->height)) == GL_TRUE;
}

bool ReadOffscreenPixels(OffscreenContext* offscreen, std::vector<uint8_t>* rgb) {
  if (!offscreen || !rgb || OSMesaGetCurrentContext() != offscreen->context) return false;
  const size_t row = size_t(offscreen->width) * 3;
  rgb->resize(row * offscreen->height);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, GLsizei(offscreen->width), GLsizei(offscreen->height), GL_RGB, GL_UNSIGNED_BYTE, rgb->data());
  // GL reads the bottom row first; image files start at the top.
  std::vector<uint8_t> swap(row);
  for (size_t top = 0, bottom = offscreen->height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = rgb->data() + top * row;
    uint8_t* b = rgb->data() + bottom * row;
    std::memcpy(swap.data(), a, row);
    std::memcpy(a, b, row);
    std::memcpy(b, swap.data(), row);
  }
  return glGetError() == GL_NO_ERROR;
}

uint32_t OffscreenWidth(const OffscreenContext* offscreen) { return offscreen ? offscreen->width : 0; }
uint32_t OffscreenHeight(const OffscreenContext* offscreen) { return offscreen ? offscreen->height : 0; }

void DestroyOffscreenContext(OffscreenContext* offscreen) {
  if (!offscreen) return;
  if (offscreen->context) {
    if (OSMesaGetCurrentContext() == offscreen->context) OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
    OSMesaDestroyContext(offscreen->context);
  }
  delete offscreen;
}

}  // namespace platform

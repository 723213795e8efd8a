// Offscreen OpenGL through EGL: a pbuffer surface of the frame's size on a device that needs no
// display, with a compatibility context (the renderer is GL 1.1 fixed function). GL calls reach
// it through the dispatching GL library (GLVND), as they reach a window's context.
//
// Devices: a GPU comes through EGL's device platform (EGL_EXT_platform_device), which lists every
// driver's devices, a vendor's as well as Mesa's. Without a GPU that gives a context, the automatic
// choice takes Mesa's surfaceless platform (llvmpipe on a machine without one). The explicit
// software choice takes Mesa's software device from the list instead: the surfaceless platform
// would pick a GPU that Mesa drives, and pixels would then depend on the machine.
#include "platform/Platform.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace platform {

struct OffscreenContext {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLSurface surface = EGL_NO_SURFACE;
  EGLContext context = EGL_NO_CONTEXT;
  uint32_t width = 0, height = 0;
  std::string device;  // which device draws, in words
  // Multisampled contexts: the colour buffer's format and the plain framebuffer its samples are
  // resolved into before a read.
  bool multisampled = false;
  GLenum colourFormat = GL_RGBA8;
  GLuint resolveFramebuffer = 0, resolveRenderbuffer = 0;
};

namespace {

// EGL's own limit is usually the GL texture size; this keeps the readback's size in range.
constexpr uint32_t SIDE_MAX = 16384;
constexpr EGLint DEVICES_MAX = 32;

thread_local std::string offscreenError;

// Whether the blank-separated list names extension as a whole word.
bool HasExtension(const char* list, const char* extension) {
  if (!list) return false;
  const size_t length = std::strlen(extension);
  for (const char* at = list; (at = std::strstr(at, extension)) != nullptr; at += length) {
    const bool starts = at == list || at[-1] == ' ';
    const bool ends = at[length] == ' ' || at[length] == '\0';
    if (starts && ends) return true;
  }
  return false;
}

// A display to try, and how the log names it.
struct Candidate {
  EGLDisplay display = EGL_NO_DISPLAY;
  std::string name;
};

// The displays that may draw for device, in the order to try them. Empty with offscreenError set
// when there is none. EGL hands out one display per device for the whole process; they stay
// initialised until EGL's own clean-up at exit, so no context pulls another's from under it.
std::vector<Candidate> ListCandidates(int32_t device) {
  std::vector<Candidate> candidates;
  const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  auto queryDeviceString =
      reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
  if (!getPlatformDisplay) {
    offscreenError = "the EGL library has no platform displays";
    return candidates;
  }

  EGLDeviceEXT devices[DEVICES_MAX];
  EGLint count = 0;
  const bool listed = HasExtension(client, "EGL_EXT_platform_device") && queryDevices && queryDeviceString &&
                      queryDevices(DEVICES_MAX, devices, &count) && count > 0;
  if (!listed) count = 0;
  auto deviceCandidate = [&](EGLint index) {
    const char* extensions = queryDeviceString(devices[index], EGL_EXTENSIONS);
    std::string what = "GPU";
    if (HasExtension(extensions, "EGL_MESA_device_software")) {
      what = "software";
    } else if (HasExtension(extensions, "EGL_EXT_device_drm")) {
      const char* file = queryDeviceString(devices[index], EGL_DRM_DEVICE_FILE_EXT);
      if (file) what = file;
    }
    return Candidate{getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[index], nullptr),
                     "EGL device " + std::to_string(index) + " of " + std::to_string(count) + " (" + what + ")"};
  };
  auto isSoftware = [&](EGLint index) {
    return HasExtension(queryDeviceString(devices[index], EGL_EXTENSIONS), "EGL_MESA_device_software");
  };
  const bool surfaceless = HasExtension(client, "EGL_MESA_platform_surfaceless");
  auto surfacelessCandidate = [&] {
    return Candidate{getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr),
                     "EGL surfaceless platform"};
  };

  if (device >= 0) {
    if (device >= count) {
      offscreenError = "there is no EGL device " + std::to_string(device) + " (EGL lists " + std::to_string(count) + ")";
      return candidates;
    }
    candidates.push_back(deviceCandidate(device));
    return candidates;
  }
  if (device == GL_DEVICE_AUTO) {
    for (EGLint i = 0; i < count; ++i)
      if (!isSoftware(i)) candidates.push_back(deviceCandidate(i));
    if (surfaceless) candidates.push_back(surfacelessCandidate());
  }
  // The software rasteriser: the same pixels on every machine.
  for (EGLint i = 0; i < count; ++i)
    if (isSoftware(i)) candidates.push_back(deviceCandidate(i));
  if (device == GL_DEVICE_SOFTWARE && candidates.empty() && !listed && surfaceless)
    candidates.push_back(surfacelessCandidate());
  if (candidates.empty()) offscreenError = "EGL offers no device to draw offscreen with";
  return candidates;
}

EGLint ConfigValue(EGLDisplay display, EGLConfig config, EGLint attribute) {
  EGLint value = 0;
  eglGetConfigAttrib(display, config, attribute, &value);
  return value;
}

// The pbuffer config closest to a window of colourDepth bits: exactly 5-6-5 or 8-8-8 colour bits
// (a deeper buffer would round colours differently), a depth buffer of at least 24 bits, and no
// samples, or the fewest at or above samples. Null when there is none, with why.
EGLConfig ChooseConfig(EGLDisplay display, const std::string& name, uint32_t colourDepth, uint32_t samples) {
  const bool sixteen = colourDepth == 16;
  const EGLint red = sixteen ? 5 : 8, green = sixteen ? 6 : 8, blue = sixteen ? 5 : 8, alpha = sixteen ? 0 : 8;
  EGLint total = 0;
  if (!eglGetConfigs(display, nullptr, 0, &total) || total <= 0) total = 0;
  std::vector<EGLConfig> configs(static_cast<size_t>(total));
  if (total > 0) eglGetConfigs(display, configs.data(), total, &total);

  EGLConfig best = nullptr;
  EGLint bestScore[4] = {};
  EGLint mostSamples = 0;
  bool formatFound = false;
  for (EGLint i = 0; i < total; ++i) {
    const EGLConfig config = configs[size_t(i)];
    if (!(ConfigValue(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) ||
        !(ConfigValue(display, config, EGL_SURFACE_TYPE) & EGL_PBUFFER_BIT) ||
        ConfigValue(display, config, EGL_COLOR_BUFFER_TYPE) != EGL_RGB_BUFFER ||
        ConfigValue(display, config, EGL_RED_SIZE) != red || ConfigValue(display, config, EGL_GREEN_SIZE) != green ||
        ConfigValue(display, config, EGL_BLUE_SIZE) != blue || ConfigValue(display, config, EGL_DEPTH_SIZE) < 24)
      continue;
    formatFound = true;
    const EGLint configSamples =
        ConfigValue(display, config, EGL_SAMPLE_BUFFERS) > 0 ? ConfigValue(display, config, EGL_SAMPLES) : 0;
    mostSamples = std::max(mostSamples, configSamples);
    if (samples > 1 ? configSamples < EGLint(samples) : configSamples > 1) continue;
    // Lower is better, in this order: samples, depth bits past 24, alpha unlike a window's,
    // stencil bits.
    const EGLint score[4] = {configSamples, ConfigValue(display, config, EGL_DEPTH_SIZE) - 24,
                             ConfigValue(display, config, EGL_ALPHA_SIZE) != alpha,
                             ConfigValue(display, config, EGL_STENCIL_SIZE)};
    if (!best || std::lexicographical_compare(score, score + 4, bestScore, bestScore + 4)) {
      best = config;
      std::memcpy(bestScore, score, sizeof score);
    }
  }
  if (best) return best;
  if (!formatFound) {
    offscreenError = name + " has no " + std::to_string(sixteen ? 16 : 32) +
                     "-bit colour buffer with a 24-bit depth buffer for offscreen OpenGL";
  } else if (mostSamples <= 1) {
    offscreenError = name + " offers no multisampling (asked for " + std::to_string(samples) + " samples per pixel)";
  } else {
    offscreenError = name + " offers at most " + std::to_string(mostSamples) + " samples per pixel, not " +
                     std::to_string(samples);
  }
  return nullptr;
}

std::string EglFailure(const std::string& name, const char* what) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04x", unsigned(eglGetError()));
  return name + ": " + what + " (EGL error " + code + ")";
}

// Makes offscreen's context on candidate, current on this thread. False with offscreenError set.
bool OpenOn(OffscreenContext* offscreen, const Candidate& candidate, uint32_t colourDepth, uint32_t samples) {
  const std::string& name = candidate.name;
  if (candidate.display == EGL_NO_DISPLAY || !eglInitialize(candidate.display, nullptr, nullptr)) {
    offscreenError = EglFailure(name, "EGL could not start it");
    return false;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    offscreenError = EglFailure(name, "it has no desktop OpenGL");
    return false;
  }
  const EGLConfig config = ChooseConfig(candidate.display, name, colourDepth, samples);
  if (!config) return false;
  const EGLint size[] = {EGL_WIDTH, EGLint(offscreen->width), EGL_HEIGHT, EGLint(offscreen->height), EGL_NONE};
  const EGLSurface surface = eglCreatePbufferSurface(candidate.display, config, size);
  if (surface == EGL_NO_SURFACE) {
    offscreenError = EglFailure(name, "no pbuffer of that size");
    return false;
  }
  // No version asked: the newest context that still has the fixed-function pipeline.
  const EGLContext context = eglCreateContext(candidate.display, config, EGL_NO_CONTEXT, nullptr);
  if (context == EGL_NO_CONTEXT) {
    offscreenError = EglFailure(name, "no OpenGL context");
    eglDestroySurface(candidate.display, surface);
    return false;
  }
  offscreen->display = candidate.display;
  offscreen->surface = surface;
  offscreen->context = context;
  offscreen->device = name;
  offscreen->multisampled = ConfigValue(candidate.display, config, EGL_SAMPLE_BUFFERS) > 0;
  offscreen->colourFormat = colourDepth == 16                                           ? GL_RGB565
                            : ConfigValue(candidate.display, config, EGL_ALPHA_SIZE) > 0 ? GL_RGBA8
                                                                                        : GL_RGB8;
  if (!MakeOffscreenCurrent(offscreen)) {
    offscreenError = EglFailure(name, "the context could not be made current");
    return false;
  }
  return true;
}

// Framebuffer objects (GL 3.0), reached through EGL like any entry point past GL 1.1.
struct FramebufferApi {
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
  PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;

  FramebufferApi() {
    genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
    bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
    genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
    bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
    renderbufferStorage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
    framebufferRenderbuffer =
        reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
    checkFramebufferStatus =
        reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(eglGetProcAddress("glCheckFramebufferStatus"));
    blitFramebuffer = reinterpret_cast<PFNGLBLITFRAMEBUFFERPROC>(eglGetProcAddress("glBlitFramebuffer"));
  }
  bool Complete() const {
    return genFramebuffers && bindFramebuffer && genRenderbuffers && bindRenderbuffer && renderbufferStorage &&
           framebufferRenderbuffer && checkFramebufferStatus && blitFramebuffer;
  }
};

// The entry points dispatch to whichever context is current, so one lookup serves them all.
const FramebufferApi& Framebuffers() {
  static const FramebufferApi api;
  return api;
}

// Resolves a multisampled frame into the plain framebuffer and leaves that bound for reading.
// Reading the samples directly isn't enough: some drivers (Mesa's llvmpipe among them) hand out
// one sample per pixel, so the edges would come back as hard as without samples. False when the
// context can't resolve; the frame is then read as it is.
bool ResolveSamples(OffscreenContext* offscreen) {
  const FramebufferApi& api = Framebuffers();
  if (!api.Complete()) return false;
  const GLsizei width = GLsizei(offscreen->width), height = GLsizei(offscreen->height);
  if (!offscreen->resolveFramebuffer) {
    api.genRenderbuffers(1, &offscreen->resolveRenderbuffer);
    api.bindRenderbuffer(GL_RENDERBUFFER, offscreen->resolveRenderbuffer);
    api.renderbufferStorage(GL_RENDERBUFFER, offscreen->colourFormat, width, height);
    api.genFramebuffers(1, &offscreen->resolveFramebuffer);
    api.bindFramebuffer(GL_DRAW_FRAMEBUFFER, offscreen->resolveFramebuffer);
    api.framebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                offscreen->resolveRenderbuffer);
  }
  api.bindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  api.bindFramebuffer(GL_DRAW_FRAMEBUFFER, offscreen->resolveFramebuffer);
  if (api.checkFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    api.bindFramebuffer(GL_FRAMEBUFFER, 0);
    return false;
  }
  api.blitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  // The renderer draws into the pbuffer again; reads come from the resolved frame.
  api.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  api.bindFramebuffer(GL_READ_FRAMEBUFFER, offscreen->resolveFramebuffer);
  return true;
}

void EndResolvedRead() { Framebuffers().bindFramebuffer(GL_READ_FRAMEBUFFER, 0); }

// Releases what OpenOn made, leaving offscreen empty.
void Release(OffscreenContext* offscreen) {
  if (offscreen->display == EGL_NO_DISPLAY) return;
  eglBindAPI(EGL_OPENGL_API);
  if (eglGetCurrentContext() == offscreen->context)
    eglMakeCurrent(offscreen->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (offscreen->context != EGL_NO_CONTEXT) eglDestroyContext(offscreen->display, offscreen->context);
  if (offscreen->surface != EGL_NO_SURFACE) eglDestroySurface(offscreen->display, offscreen->surface);
  offscreen->display = EGL_NO_DISPLAY;
  offscreen->surface = EGL_NO_SURFACE;
  offscreen->context = EGL_NO_CONTEXT;
  // The resolve buffers went with their context.
  offscreen->resolveFramebuffer = offscreen->resolveRenderbuffer = 0;
}

}  // namespace

OffscreenContext* CreateOffscreenContext(uint32_t width, uint32_t height, uint32_t colourDepth, uint32_t samples,
                                         int32_t device) {
  if (width == 0 || height == 0 || width > SIDE_MAX || height > SIDE_MAX) {
    offscreenError = "the picture size is out of range";
    return nullptr;
  }
  AdviseAllocatorForDrawing();
  auto* offscreen = new OffscreenContext;
  offscreen->width = width;
  offscreen->height = height;
  // The first candidate that gives a context draws; the last one's failure says why none did.
  for (const Candidate& candidate : ListCandidates(device)) {
    if (OpenOn(offscreen, candidate, colourDepth, samples)) return offscreen;
    Release(offscreen);
  }
  delete offscreen;
  return nullptr;
}

const char* OffscreenError() { return offscreenError.c_str(); }

const char* OffscreenDevice(const OffscreenContext* offscreen) { return offscreen ? offscreen->device.c_str() : ""; }

bool MakeOffscreenCurrent(OffscreenContext* offscreen) {
  if (!offscreen || offscreen->context == EGL_NO_CONTEXT) return false;
  // The current context EGL reports, and the one it makes current, is per API and thread.
  return eglBindAPI(EGL_OPENGL_API) &&
         eglMakeCurrent(offscreen->display, offscreen->surface, offscreen->surface, offscreen->context) == EGL_TRUE;
}

bool ReadOffscreenPixels(OffscreenContext* offscreen, std::vector<uint8_t>* rgb) {
  if (!offscreen || !rgb || offscreen->context == EGL_NO_CONTEXT || !eglBindAPI(EGL_OPENGL_API) ||
      eglGetCurrentContext() != offscreen->context)
    return false;
  const size_t row = size_t(offscreen->width) * 3;
  rgb->resize(row * offscreen->height);
  const bool resolved = offscreen->multisampled && ResolveSamples(offscreen);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, GLsizei(offscreen->width), GLsizei(offscreen->height), GL_RGB, GL_UNSIGNED_BYTE, rgb->data());
  if (resolved) EndResolvedRead();
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
  Release(offscreen);
  delete offscreen;
}

}  // namespace platform

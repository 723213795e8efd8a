// The player's window through SDL2: a fixed-size window for an OpenGL context, full screen with
// a real display-mode change, and the keys and close requests of its event queue.
//
// Threads: SDL wants its windows made, shown, resized and polled on the thread that started its
// video side (the main thread). Only the GL context moves to the render thread: creating it,
// making it current, swapping and deleting it are safe there with SDL's X11 driver, which turns
// on Xlib's own locking for exactly this use.
#include "platform/Platform.h"

#include <SDL2/SDL.h>

#include <string>

namespace platform {

struct Window {
  SDL_Window* sdl = nullptr;
  SDL_GLContext context = nullptr;
  bool fullscreen = false;
};

namespace {

// Per thread: the main thread reports on OpenWindow, the render thread on its context.
thread_local std::string windowError;

uint32_t VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_0 && key <= SDLK_9) return KEY_0 + uint32_t(key - SDLK_0);
  switch (key) {
    case SDLK_ESCAPE: return KEY_ESCAPE;
    case SDLK_SPACE: return KEY_SPACE;
    // Both Enter keys share one virtual key.
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return KEY_ENTER;
    case SDLK_KP_PLUS: return KEY_PAD_PLUS;
    case SDLK_KP_MINUS: return KEY_PAD_MINUS;
    default: return 0;
  }
}

// Sets the GL attributes of the window's pixel format, which is chosen with the window.
void SetPixelFormat(uint32_t colourDepth, uint32_t samples) {
  const bool sixteen = colourDepth == 16;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, sixteen ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, sixteen ? 6 : 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, sixteen ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 1 ? 1 : 0);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 1 ? int(samples) : 0);
}

SDL_Window* CreateSdlWindow(const char* title, uint32_t width, uint32_t height) {
  // SDL's size is the client area's; without SDL_WINDOW_RESIZABLE the frame can't be dragged.
  return SDL_CreateWindow(title ? title : "", 0, 0, int(width), int(height), SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

// Why a window of samples samples per pixel could not be made when one without them can: the
// most the display's driver offers, found by asking for fewer.
std::string SamplesRefused(const char* title, uint32_t width, uint32_t height, uint32_t colourDepth,
                           uint32_t samples) {
  uint32_t most = 0;
  for (uint32_t fewer = samples / 2; fewer > 1 && most == 0; fewer /= 2) {
    SetPixelFormat(colourDepth, fewer);
    if (SDL_Window* probe = CreateSdlWindow(title, width, height)) {
      SDL_DestroyWindow(probe);
      most = fewer;
    }
  }
  const std::string asked = std::to_string(samples) + " samples per pixel";
  return most ? "the display's OpenGL driver offers at most " + std::to_string(most) + " samples per pixel, not " +
                    std::to_string(samples)
              : "the display's OpenGL driver offers no multisampling (asked for " + asked + ")";
}

}  // namespace

Window* OpenWindow(const char* title, uint32_t width, uint32_t height, uint32_t colourDepth, uint32_t samples) {
  if (width == 0 || height == 0 || width > 16384 || height > 16384) {
    windowError = "the window size is out of range";
    return nullptr;
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    windowError = SDL_GetError();
    return nullptr;
  }
  SetPixelFormat(colourDepth, samples);
  auto* window = new Window;
  window->sdl = CreateSdlWindow(title, width, height);
  if (!window->sdl) {
    windowError = SDL_GetError();
    if (samples > 1) {
      // Tell a driver without that many samples from a display that makes no GL window at all.
      SetPixelFormat(colourDepth, 1);
      if (SDL_Window* plain = CreateSdlWindow(title, width, height)) {
        SDL_DestroyWindow(plain);
        windowError = SamplesRefused(title, width, height, colourDepth, samples);
      }
    }
    delete window;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  return window;
}

void CloseWindow(Window* window) {
  if (!window) return;
  LeaveFullscreen(window);
  // A context its thread did not release goes with the window.
  if (window->context) SDL_GL_DeleteContext(window->context);
  SDL_DestroyWindow(window->sdl);
  delete window;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void ShowWindow(Window* window) {
  if (!window) return;
  SDL_ShowWindow(window->sdl);
  SDL_RaiseWindow(window->sdl);
}

FullscreenResult EnterFullscreen(Window* window, uint32_t width, uint32_t height, uint32_t colourDepth) {
  if (!window) return FULLSCREEN_REFUSED;
  int display = SDL_GetWindowDisplayIndex(window->sdl);
  if (display < 0) display = 0;
  SDL_DisplayMode current;
  if (SDL_GetCurrentDisplayMode(display, &current) != 0) return FULLSCREEN_MODE_UNREADABLE;

  // Only the exact size will do, as a display-mode change asks for; SDL alone would take the
  // next larger mode. Among modes of that size, the asked depth wins, then the first listed
  // (SDL lists the highest refresh rate first).
  SDL_DisplayMode chosen{};
  bool found = false;
  const int count = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
    if (uint32_t(mode.w) != width || uint32_t(mode.h) != height) continue;
    const bool depthMatches = SDL_BITSPERPIXEL(mode.format) == colourDepth ||
                              (colourDepth == 32 && SDL_BITSPERPIXEL(mode.format) == 24);
    const bool chosenMatches = found && (SDL_BITSPERPIXEL(chosen.format) == colourDepth ||
                                         (colourDepth == 32 && SDL_BITSPERPIXEL(chosen.format) == 24));
    if (!found || (depthMatches && !chosenMatches)) {
      chosen = mode;
      found = true;
    }
  }
  if (!found) return FULLSCREEN_REFUSED;
  if (SDL_SetWindowDisplayMode(window->sdl, &chosen) != 0 ||
      SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN) != 0) {
    SDL_SetWindowFullscreen(window->sdl, 0);
    return FULLSCREEN_REFUSED;
  }
  window->fullscreen = true;
  SDL_ShowCursor(SDL_DISABLE);
  return FULLSCREEN_ON;
}

void LeaveFullscreen(Window* window) {
  if (!window || !window->fullscreen) return;
  // Leaving SDL's full screen puts the desktop's mode back.
  SDL_SetWindowFullscreen(window->sdl, 0);
  SDL_ShowCursor(SDL_ENABLE);
  window->fullscreen = false;
}

bool PollWindowEvent(WindowEvent* event) {
  SDL_Event sdl;
  while (SDL_PollEvent(&sdl)) {
    if (sdl.type == SDL_QUIT ||
        (sdl.type == SDL_WINDOWEVENT && sdl.window.event == SDL_WINDOWEVENT_CLOSE)) {
      *event = {WINDOW_CLOSE_REQUESTED, 0};
      return true;
    }
    if (sdl.type == SDL_KEYDOWN) {
      const uint32_t key = VirtualKey(sdl.key.keysym.sym);
      if (key) {
        *event = {WINDOW_KEY_DOWN, key};
        return true;
      }
    }
  }
  return false;
}

bool CreateWindowContext(Window* window) {
  if (!window) return false;
  window->context = SDL_GL_CreateContext(window->sdl);
  if (!window->context) {
    windowError = SDL_GetError();
    return false;
  }
  if (SDL_GL_MakeCurrent(window->sdl, window->context) != 0) {
    windowError = SDL_GetError();
    SDL_GL_DeleteContext(window->context);
    window->context = nullptr;
    return false;
  }
  return true;
}

void SwapWindow(Window* window) {
  if (window && window->context) SDL_GL_SwapWindow(window->sdl);
}

void ReleaseWindowContext(Window* window) {
  if (!window || !window->context) return;
  SDL_GL_MakeCurrent(window->sdl, nullptr);
  SDL_GL_DeleteContext(window->context);
  window->context = nullptr;
}

const char* WindowError() { return windowError.c_str(); }

}  // namespace platform

// Message boxes: SDL's simple message box when a display is there, stderr otherwise.
#include "platform/Platform.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

std::atomic<bool> batchMessages{false};
std::mutex hookMutex;
MessageHook messageHook;

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

Uint32 SdlFlags(MessageIcon icon) {
  switch (icon) {
    case ICON_WARNING: return SDL_MESSAGEBOX_WARNING;
    case ICON_INFORMATION: return SDL_MESSAGEBOX_INFORMATION;
    case ICON_ERROR: break;
  }
  return SDL_MESSAGEBOX_ERROR;
}

}  // namespace

void SetBatchMessages(bool batch) { batchMessages = batch; }

void SetMessageHook(MessageHook hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  messageHook = std::move(hook);
}

void ShowMessage(const char* caption, const char* text, MessageIcon icon) {
  if (!caption) caption = "";
  if (!text) text = "";
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    if (messageHook) {
      messageHook(caption, text, icon);
      return;
    }
  }
  // No owner window: the box is modal to the application as a whole.
  if (!batchMessages && DisplayAvailable() &&
      SDL_ShowSimpleMessageBox(SdlFlags(icon), caption, text, nullptr) == 0) {
    return;
  }
  // A caption that ends in its own colon ("XR sagt:") gets no second one.
  const size_t length = std::strlen(caption);
  const bool colon = length > 0 && caption[length - 1] == ':';
  std::fprintf(stderr, colon ? "%s %s\n" : "%s: %s\n", caption, text);
  std::fflush(stderr);
}

}  // namespace platform

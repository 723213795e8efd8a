// Platform seam: the only interface through which the rest of ZIVI3 reaches the window system,
// the message boxes and other OS services. Everything behind it lives in this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

enum MessageIcon { ICON_ERROR, ICON_WARNING, ICON_INFORMATION };

// Shows text in a modal message box with the given caption and returns when it is dismissed.
// With no display, or in batch mode, it prints "caption: text" to stderr instead of blocking.
void ShowMessage(const char* caption, const char* text, MessageIcon icon);

// Batch mode (--batch, tests, headless tools): never open a blocking box.
void SetBatchMessages(bool batch);

// Tests capture messages here; while a hook is set nothing is shown or printed.
using MessageHook = std::function<void(const char* caption, const char* text, MessageIcon icon)>;
void SetMessageHook(MessageHook hook);

// Asks the OS to back a freshly reserved, not yet touched array with large pages. A big
// object's arrays run to a hundred megabytes; faulting them in 4 KiB at a time costs several
// times what reading the file does. A hint only: where there are no large pages it does nothing.
void AdviseLargePages(const void* data, size_t bytes);

// Keeps memory the program frees for reuse instead of handing it back to the OS at once. A
// software GL driver allocates and frees its vertex buffers on every draw; with the allocator's
// defaults each one arrives as fresh pages, and faulting them in made a frame of fifty objects
// take twice the CPU time of the same triangles in one draw. Offscreen contexts ask for it
// themselves; a window's GL context should too. Where the allocator has no such settings it does
// nothing.
void AdviseAllocatorForDrawing();

// ---- Offscreen OpenGL ----
//
// A GL context that renders into memory with the same OpenGL 1.1 + GLU as a window, for the
// offscreen runs (--frame, --capture), the render tests and machines without a display.

struct OffscreenContext;

// A context of width × height pixels with a 24-bit depth buffer, current on the calling thread
// when this returns. colourDepth 16 renders into 5-6-5 pixels, anything else into 8 bits per
// channel, as a window of that depth would. None when the size is 0 or the GL library refuses;
// the caller logs (the log builds on this module).
OffscreenContext* CreateOffscreenContext(uint32_t width, uint32_t height, uint32_t colourDepth);
// Makes the context current on the calling thread again (after another one was).
bool MakeOffscreenCurrent(OffscreenContext* context);
// The frame drawn so far as width × height RGB triplets, top row first (as image files store
// them), once the drawing has finished. False unless the context is the current one.
bool ReadOffscreenPixels(OffscreenContext* context, std::vector<uint8_t>* rgb);
uint32_t OffscreenWidth(const OffscreenContext* context);
uint32_t OffscreenHeight(const OffscreenContext* context);
// Releases the context and its buffer (a current one stops being current). Accepts none.
void DestroyOffscreenContext(OffscreenContext* context);

// ---- PNG files ----

// Writes width × height RGB triplets, top row first, as an 8-bit RGB PNG. False when the file
// can't be written.
bool WritePng(const char* path, uint32_t width, uint32_t height, const uint8_t* rgb);
// Reads a PNG (any bit depth or colour type) into RGB triplets, top row first.
bool ReadPng(const char* path, uint32_t* width, uint32_t* height, std::vector<uint8_t>* rgb);

// ---- Setup dialog ----

// The choices the setup dialog shows and reads back.
struct DialogChoices {
  uint32_t width = 640, height = 480, colourDepth = 32, sampleRate = 44100;
  bool use16Bit = true, stereo = true, bilinear = true, mipMapping = true;
  bool fullscreen = false, noSound = false;
};

enum DialogResult { DIALOG_EXIT = 0, DIALOG_GO = 1, DIALOG_UNAVAILABLE = 2 };

// True when a window can be opened (an X display is reachable).
bool HasDisplay();

// Shows the modal setup dialog, set up from choices, and waits for it. DIALOG_GO fills choices
// from the controls; DIALOG_EXIT (Exit, or the dialog closed) leaves them; DIALOG_UNAVAILABLE
// when no dialog can be shown (no display, no toolkit).
DialogResult ShowSetupDialog(DialogChoices& choices);

// ---- Crash guard ----

// What a guarded region learned of an access violation: the faulting address and the general
// registers of the thread at the fault.
struct CrashInfo {
  int signal = 0;            // SIGSEGV or SIGBUS
  uintptr_t address = 0;     // the address whose access faulted
  uintptr_t instruction = 0; // where the faulting instruction is
  // The general registers in the order of registerNames; registerCount of them are filled.
  static constexpr int REGISTERS_MAX = 18;
  uint64_t registers[REGISTERS_MAX] = {};
  const char* registerNames[REGISTERS_MAX] = {};
  int registerCount = 0;
};

// Runs body(context) on the calling thread. When an access violation (SIGSEGV or SIGBUS) happens
// on this thread inside it, execution leaves body at once, info is filled and the result is
// false; true when body returned. Other signals, and faults on other threads, are not caught.
// Nothing is reported here: the caller writes and shows the report from normal context.
bool RunGuarded(void (*body)(void* context), void* context, CrashInfo* info);

}  // namespace platform

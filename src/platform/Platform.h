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

// The machine's physical memory in bytes; 0 when the system doesn't say.
uint64_t PhysicalMemoryBytes();

// ---- Unbuffered files ----
//
// Files written with one system call per write and nothing in between: no buffer and no lock of
// this process, so what a write returned from is in the file, two threads' writes don't mix,
// and a writer that faults part-way leaves nothing held that another writer would wait for.

inline constexpr int NO_FILE = -1;
inline constexpr int STANDARD_ERROR = 2;  // the terminal's error stream
// Creates the file at path, or empties it, for writing at its end; NO_FILE when it can't.
int CreateUnbufferedFile(const char* path);
// Writes all size bytes; false when the system refused some of them.
bool WriteUnbuffered(int file, const char* bytes, size_t size);
void CloseUnbufferedFile(int file);  // accepts NO_FILE

// ---- Offscreen OpenGL ----
//
// A GL context that renders into memory with the same OpenGL 1.1 + GLU as a window, for the
// offscreen runs (--frame, --capture), the render tests and machines without a display. It comes
// from EGL: a GPU through the device platform where there is one, otherwise the software
// rasteriser. Every GL call of the program goes through the same dispatching library, so it
// reaches this context or a window's, whichever is current.

struct OffscreenContext;

// Which device draws an offscreen context: GL_DEVICE_AUTO (the first GPU that gives a context,
// else the software rasteriser), GL_DEVICE_SOFTWARE (the software rasteriser, whose pixels are
// the same on every machine), or 0, 1, ... for that device of EGL's list.
enum : int32_t { GL_DEVICE_AUTO = -1, GL_DEVICE_SOFTWARE = -2 };

// A context of width × height pixels with a 24-bit depth buffer, current on the calling thread
// when this returns. colourDepth 16 renders into 5-6-5 pixels, anything else into 8 bits per
// channel, as a window of that depth would. samples above 1 asks for multisampled drawing with at
// least that many samples per pixel. None when the size is 0 or the device refuses (too few
// samples included); OffscreenError says why, and the caller logs (the log builds on this module).
OffscreenContext* CreateOffscreenContext(uint32_t width, uint32_t height, uint32_t colourDepth, uint32_t samples = 1,
                                         int32_t device = GL_DEVICE_SOFTWARE);
// Why the last CreateOffscreenContext on this thread failed.
const char* OffscreenError();
// Which device draws the context, in words: "EGL device 0 of 1 (software)", "EGL surfaceless
// platform", ...
const char* OffscreenDevice(const OffscreenContext* context);
// Makes the context current on the calling thread again (after another one was).
bool MakeOffscreenCurrent(OffscreenContext* context);
// The frame drawn so far as width × height RGB triplets, top row first (as image files store
// them), once the drawing has finished; multisampled pixels come resolved. False unless the
// context is the current one.
bool ReadOffscreenPixels(OffscreenContext* context, std::vector<uint8_t>* rgb);
uint32_t OffscreenWidth(const OffscreenContext* context);
uint32_t OffscreenHeight(const OffscreenContext* context);
// Releases the context and its buffer (a current one stops being current). Accepts none.
void DestroyOffscreenContext(OffscreenContext* context);

// ---- PNG files ----

// Reads a PNG (any bit depth or colour type) into RGB triplets, top row first.
bool ReadPng(const char* path, uint32_t* width, uint32_t* height, std::vector<uint8_t>* rgb);

// ---- Window ----
//
// The player's window and its OpenGL context. The window is opened, shown, switched to full
// screen, polled and closed on the main thread, where the window system expects it; its GL
// context is created, drawn with, swapped and released on one other thread (the render thread).
// GL calls reach the context through the same dispatching library as the offscreen contexts.

struct Window;

// A hidden, non-resizable window titled title whose client area is exactly width × height,
// prepared for a GL context with a double buffer, a 24-bit depth buffer and 5/6/5 colour bits
// for colourDepth 16, 8/8/8 otherwise, multisampled with at least samples samples per pixel when
// that is above 1. None when no window can be made (also when the display's GL driver offers
// fewer samples); WindowError says why.
Window* OpenWindow(const char* title, uint32_t width, uint32_t height, uint32_t colourDepth, uint32_t samples = 1);
// Leaves full screen (restoring the desktop's display mode) and closes the window. Accepts none.
void CloseWindow(Window* window);
// Shows the window and makes it the active one.
void ShowWindow(Window* window);

enum FullscreenResult {
  FULLSCREEN_ON,               // the display runs the window's mode now
  FULLSCREEN_MODE_UNREADABLE,  // the display's current mode could not be read
  FULLSCREEN_REFUSED,          // the display has no width × height mode, or refused the switch
};
// Switches the display to a mode of exactly width × height (of colourDepth bits per pixel when
// the display offers that depth at the size) with the window covering it, and hides the cursor.
FullscreenResult EnterFullscreen(Window* window, uint32_t width, uint32_t height, uint32_t colourDepth);
// Back to the desktop's mode and a visible cursor; nothing when not in full screen.
void LeaveFullscreen(Window* window);

// Virtual-key numbers of the keys the player reacts to (other keys are not reported).
enum : uint32_t {
  KEY_ENTER = 0x0D,
  KEY_ESCAPE = 0x1B,
  KEY_SPACE = 0x20,
  KEY_0 = 0x30,  // KEY_0 + n for the digit n
  KEY_PAD_PLUS = 0x6B,
  KEY_PAD_MINUS = 0x6D,
};
enum WindowEventKind { WINDOW_KEY_DOWN, WINDOW_CLOSE_REQUESTED };
struct WindowEvent {
  WindowEventKind kind = WINDOW_KEY_DOWN;
  uint32_t key = 0;  // KEY_* of a key-down (held keys repeat)
};
// The next key-down or close request of the main thread's queue; false when none is waiting.
// Every other event is taken from the queue and dropped.
bool PollWindowEvent(WindowEvent* event);

// On the render thread: creates the window's GL context and makes it current on this thread.
// False when the display offers no such pixel format (WindowError says why).
bool CreateWindowContext(Window* window);
void SwapWindow(Window* window);
// Makes no context current and deletes the context. Accepts a window without one.
void ReleaseWindowContext(Window* window);

// Why the last OpenWindow or CreateWindowContext failed.
const char* WindowError();

// ---- Setup dialog ----

// The choices the setup dialog shows and reads back.
struct DialogChoices {
  uint32_t width = 640, height = 480, colourDepth = 32, sampleRate = 44100;
  bool use16Bit = true, stereo = true, bilinear = true, mipMapping = true;
  bool fullscreen = false, noSound = false;
  bool lightwave = false;  // "LightWave look"
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

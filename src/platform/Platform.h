// Platform seam: the only interface through which the rest of ZIVI3 reaches the window system,
// the message boxes and other OS services. Everything behind it lives in this folder.
#pragma once

#include <cstddef>
#include <functional>

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

}  // namespace platform

// Dialog keys (Tab, Enter, Esc, arrows) for windows that no modal loop
// serves: the pages of a frame and modeless dialogs. They register here while
// they exist; every message loop of the client programs offers each message
// to the registered window that contains it before dispatching it.
#pragma once

#include <windows.h>

namespace olvex {

// Per thread: a window belongs to the thread that made it.
void RegisterDialogKeyWindow(HWND window);
void UnregisterDialogKeyWindow(HWND window);

// True when a registered, visible window took the message as a dialog key;
// the loop then neither translates nor dispatches it.
bool TranslateDialogKeys(MSG& message);

}  // namespace olvex

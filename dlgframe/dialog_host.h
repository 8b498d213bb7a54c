// The dialog host: the one dialog procedure under which every framework
// dialog runs, giving it the framework's icon, background, banner and
// context help before passing each message on to the caller's procedure.
#pragma once

#include <windows.h>

namespace olvex::dlgframe {

// What FrameworkCreateDialog and FrameworkDialogBox hand the host as the
// creation parameter; it lives only during the creation call.
struct HostBlock {
    DLGPROC procedure = nullptr;
    LPARAM user_data = 0;
    UINT flags = 0;
};

INT_PTR CALLBACK HostProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Draws the banner pieces the flags (style bit included) choose, across a
// client area `client_width` wide. A piece that does not load is left out.
void DrawBanner(HDC dc, int client_width, UINT flags);

// The white or gradient background with the banner, double-buffered.
void PaintBackground(HWND window, HDC target, UINT flags);

// Shows help for a control at a screen position: an HTML Help pop-up, or
// the framework's "no help" message box when there is none.
void ShowContextHelp(HWND window, int x, int y, int control_id);

// Remembers the help's owners and, on the first call, the help file in
// `folder` (or in the antivirus install folder when none is given).
void InitContextHelp(HWND window, const wchar_t* folder);

// Frees what the help pop-ups loaded, when the framework is unloaded.
void ReleaseContextHelp();

}  // namespace olvex::dlgframe

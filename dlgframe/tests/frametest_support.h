// What frametest.exe's scenarios share: ulmfrm.dll loaded by name and bound
// by ordinal as the setup controller binds it, an initialisation per test,
// and the in-process driver thread that finds, reads, clicks and captures
// the modal dialogs the framework shows on the test's own thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dlgframe/ulmfrm.h"

namespace olvex::frametest {

// ---- the framework, bound by ordinal

struct FrameworkApi {
    HMODULE module = nullptr;
    FrameworkInitializeFn initialize = nullptr;                     // 1
    FrameworkShutdownFn shutdown = nullptr;                         // 2
    FrameworkMessageBoxFn message_box = nullptr;                    // 3
    FrameworkMessageBoxByIdFn message_box_by_id = nullptr;          // 4
    FrameworkCreateDialogFn create_dialog = nullptr;                // 5
    FrameworkDialogBoxFn dialog_box = nullptr;                      // 6
    FrameworkCreateTabbedWindowFn create_tabbed_window = nullptr;   // 7
    FrameworkCreateTabbedWindowExFn create_tabbed_window_ex = nullptr;  // 8
    FrameworkLoadStringFn load_string = nullptr;                    // 9
    FrameworkLoadTgaFileFn load_tga_file = nullptr;                 // 10
    FrameworkLoadTgaResourceFn load_tga_resource = nullptr;         // 11
    FrameworkLoadBitmapFn load_bitmap = nullptr;                    // 12
    FrameworkLoadIconFn load_icon = nullptr;                        // 13
    FrameworkLoadMenuFn load_menu = nullptr;                        // 14
    FrameworkBrowseForFolderFn browse_for_folder = nullptr;         // 15
    FrameworkFormatStringFn format_string = nullptr;                // 16
    FrameworkCreateFontFn create_font = nullptr;                    // 17
    FrameworkInitializeExFn initialize_ex = nullptr;                // 18
};

// The bound framework; loads "ulmfrm.dll" by name on first use.
FrameworkApi& Api();
// Frees the framework DLL and loads it again from `name_or_path`; whether
// every ordinal bound.
bool ReloadFramework(const std::wstring& name_or_path);
void UnloadFramework();

// One initialisation (ordinal 18) for the length of a test, shut down after.
class Session {
  public:
    Session(const wchar_t* product, const wchar_t* resource);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    int count() const { return count_; }

  private:
    int count_ = 0;
};

// A string through ordinal 9 (module 0 unless one is given); empty when none.
std::wstring FrameworkString(UINT id, HMODULE module = nullptr);

// ---- places

// The folder of frametest.exe (and of ulmfrm.dll and the resource DLLs),
// with a trailing backslash.
std::wstring ExeFolder();
// HKLM\SOFTWARE\Vorandel\Vuvu-Roved\Install "ProgramPath", restored after.
class InstallFolderValue {
  public:
    explicit InstallFolderValue(const std::wstring& folder);  // empty: no key at all
    ~InstallFolderValue();
    InstallFolderValue(const InstallFolderValue&) = delete;
    InstallFolderValue& operator=(const InstallFolderValue&) = delete;
};

// ---- the driver thread

// Runs `modal` on this thread (it shows a modal dialog or runs a window's
// message loop) while `script` runs on a driver thread against the windows
// it opens. Whatever the script leaves open is ended afterwards, so a
// failing script fails its test without hanging it.
INT_PTR Drive(const std::function<INT_PTR()>& modal, const std::function<void()>& script);

// A visible top-level window of this process with this title, waiting up
// to timeout_ms; null when none came.
HWND WaitForWindow(const std::wstring& title, DWORD timeout_ms = 5000);
// Whether the window went within timeout_ms.
bool WaitGone(HWND window, DWORD timeout_ms = 5000);

// Has the window and its children painted now (from the driver thread the
// paint messages are handled by the window's own thread before this
// returns).
void PaintNow(HWND window);

// A window's text through WM_GETTEXT.
std::wstring Text(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child);
// A window's rectangle in another window's client coordinates.
RECT RectIn(HWND window, HWND reference);
SIZE WindowSize(HWND window);
SIZE ClientSize(HWND window);

// The class name of a window.
std::wstring ClassOf(HWND window);

// The pixels of a window's client area, read from its device context after
// it was painted.
class Capture {
  public:
    explicit Capture(HWND window);
    int width() const { return width_; }
    int height() const { return height_; }
    // The colour at a client point (RGB); 0xFFFFFFFF outside.
    COLORREF At(int x, int y) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<DWORD> pixels_;  // top-down, 0x00RRGGBB
};

// A PNG of the window in the test's screenshot folder.
void Screenshot(HWND window, const std::string& name);

// Sends a message from the driver thread (the owner handles it).
inline LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return SendMessageW(window, message, wparam, lparam);
}

inline void Sleep(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace olvex::frametest

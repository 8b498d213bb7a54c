// The client programs' application object, the small part of an application
// framework they need: the program's single-instance mutex, a hidden main
// window that carries the program's title (the update utility finds programs
// by their titles and sends them WM_CLOSE), message boxes with texts from
// the program's string table, and unattended runs that never wait on a box.
//
//     int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
//         olvex::ClientApplication app(instance);
//         if (app.ClaimSingleInstance("Gorsewatch5ConsumerCL") != olvex::MutexClaim::kClaimed)
//             return 0;                                  // another copy runs: give way
//         app.SetUnattended(started_by_the_scheduler);
//         if (!app.CreateMainWindow(app.LoadResourceString(IDS_TITLE)))
//             return 1;
//         ...
//         app.MessageBoxFromResource(IDS_ENGINE_DAMAGED, MB_OK | MB_ICONERROR);
//         return 0;
//     }
#pragma once

#include <windows.h>

#include <string>

#include "client/common/named_mutex.h"

namespace olvex {

// The caption of every message box.
inline constexpr wchar_t kProductTitle[] = L"Kelvan Gorsewatch";

// One application object per program, made first in WinMain and living until
// it returns. Programs derive their own (settings, engine objects) from it
// and reach it through CurrentApplication.
class ClientApplication {
  public:
    explicit ClientApplication(HINSTANCE instance = GetModuleHandleW(nullptr));
    virtual ~ClientApplication();
    ClientApplication(const ClientApplication&) = delete;
    ClientApplication& operator=(const ClientApplication&) = delete;

    HINSTANCE instance() const { return instance_; }

    // The running application object; null when none lives.
    static ClientApplication* Current();
    // The thread that made the application: the user-interface thread.
    DWORD ui_thread_id() const { return ui_thread_id_; }

    // Makes the program's single-instance mutex and keeps it while this
    // object lives. Anything but kClaimed means another instance runs (or the
    // mutex cannot be had): the program gives way.
    MutexClaim ClaimSingleInstance(const std::string& mutex_name);

    // Makes the hidden main window with the title. WM_CLOSE destroys it
    // (whether or not the program pumps messages at that moment, it goes the
    // next time they are handled) and marks the close as requested.
    bool CreateMainWindow(const std::wstring& title);
    HWND main_window() const { return main_window_; }
    // A program whose main window is a frame of the window layer names it
    // here instead (the frame's object owns it): message loops end when it
    // is destroyed, and dialogs place themselves on it.
    void SetMainWindow(HWND window);
    bool close_requested() const { return close_requested_; }

    // The loops give dialog keys to the shown pages and modeless dialogs
    // (dialog_keys.h).
    // Handles the messages waiting for this thread without waiting for more;
    // false once the main window was closed or WM_QUIT arrived.
    bool PumpMessages();
    // Handles messages until the main window is closed; the WM_QUIT code.
    int RunMessageLoop();

    // An unattended run shows no message box: each answers its default
    // button at once, its text going to the debugger output.
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    bool unattended() const { return unattended_; }

    // A text of the program's string table; empty when there is none.
    std::wstring LoadResourceString(UINT id) const;
    // A message box with the product's title as caption; the button pressed.
    int MessageBoxFromResource(UINT id, UINT style, HWND owner = nullptr) const;
    int MessageBoxText(const std::wstring& text, UINT style, HWND owner = nullptr) const;

  private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam);

    HINSTANCE instance_;
    DWORD ui_thread_id_;
    ClientApplication* previous_;
    NamedMutex single_instance_;
    HWND main_window_ = nullptr;
    bool owns_main_window_ = false;
    bool close_requested_ = false;
    bool quit_ = false;
    int quit_code_ = 0;
    bool unattended_ = false;
};

// The running application object as the program's own type; null when none
// runs or it is of another type.
template <typename App>
App* CurrentApplication() {
    return dynamic_cast<App*>(ClientApplication::Current());
}

}  // namespace olvex

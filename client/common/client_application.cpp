#include "client/common/client_application.h"

#include "client/common/dialog_keys.h"
#include "client/common/message_boxes.h"

namespace olvex {
namespace {

constexpr wchar_t kMainWindowClass[] = L"OlvexClientMainWindow";

ClientApplication* g_current = nullptr;

bool RegisterMainWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

ClientApplication::ClientApplication(HINSTANCE instance)
    : instance_(instance), ui_thread_id_(GetCurrentThreadId()), previous_(g_current) {
    g_current = this;
}

ClientApplication::~ClientApplication() {
    if (main_window_ != nullptr && owns_main_window_) {
        SetWindowLongPtrW(main_window_, GWLP_USERDATA, 0);
        DestroyWindow(main_window_);
    }
    g_current = previous_;
}

ClientApplication* ClientApplication::Current() {
    return g_current;
}

void ClientApplication::SetMainWindow(HWND window) {
    if (main_window_ != nullptr && owns_main_window_)
        return;
    main_window_ = window;
    owns_main_window_ = false;
}

MutexClaim ClientApplication::ClaimSingleInstance(const std::string& mutex_name) {
    single_instance_ = ClaimNamedMutex(mutex_name);
    return single_instance_.claim;
}

bool ClientApplication::CreateMainWindow(const std::wstring& title) {
    if (main_window_ != nullptr || !RegisterMainWindowClass(instance_, WindowProcedure))
        return false;
    close_requested_ = false;
    main_window_ = CreateWindowExW(0, kMainWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   nullptr, nullptr, instance_, this);
    if (main_window_ == nullptr)
        return false;
    owns_main_window_ = true;
    ShowWindow(main_window_, SW_HIDE);
    UpdateWindow(main_window_);
    return true;
}

LRESULT CALLBACK ClientApplication::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* app = reinterpret_cast<ClientApplication*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (app != nullptr) {
        switch (message) {
            case WM_CLOSE:
                app->close_requested_ = true;
                DestroyWindow(window);
                return 0;
            case WM_DESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                app->main_window_ = nullptr;
                PostQuitMessage(0);
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool ClientApplication::PumpMessages() {
    MSG message{};
    while (!quit_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit_ = true;
            quit_code_ = static_cast<int>(message.wParam);
            break;
        }
        if (TranslateDialogKeys(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return !quit_ && !close_requested_;
}

int ClientApplication::RunMessageLoop() {
    MSG message{};
    while (!quit_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit_ = true;
            quit_code_ = got == 0 ? static_cast<int>(message.wParam) : -1;
            break;
        }
        if (TranslateDialogKeys(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return quit_code_;
}

std::wstring ClientApplication::LoadResourceString(UINT id) const {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out the resource's own text,
    // which is not zero-terminated: its length comes with it.
    const int length = LoadStringW(instance_, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
        return {};
    return std::wstring(text, static_cast<std::size_t>(length));
}

int ClientApplication::MessageBoxFromResource(UINT id, UINT style, HWND owner) const {
    return MessageBoxText(LoadResourceString(id), style, owner);
}

int ClientApplication::MessageBoxText(const std::wstring& text, UINT style, HWND owner) const {
    const MessageBoxPresenter& presenter =
        unattended_ ? UnattendedMessageBoxes() : CurrentMessageBoxes();
    return presenter.Show(owner, text, kProductTitle, style);
}

}  // namespace olvex

#include "client/common/ui/frame_window.h"

#include <string>

#include "client/common/client_application.h"

namespace olvex::ui {

FrameWindow::~FrameWindow() {
    Destroy();
}

bool FrameWindow::Create(std::wstring_view class_name, std::wstring_view title, HICON icon,
                         HINSTANCE instance) {
    if (exists())
        return false;
    if (instance == nullptr)
        instance = GetModuleHandleW(nullptr);
    const std::wstring class_text(class_name);
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = StaticProcedure;
    window_class.hInstance = instance;
    window_class.hIcon = icon;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = class_text.c_str();
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const HWND window =
        CreateWindowExW(0, class_text.c_str(), std::wstring(title).c_str(), style, CW_USEDEFAULT,
                        CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, this);
    if (window == nullptr)
        return false;
    if (auto* app = ClientApplication::Current(); app != nullptr && app->main_window() == nullptr)
        app->SetMainWindow(window);
    return true;
}

bool FrameWindow::AddPage(int number, FormPage& page) {
    if (!exists() || pages_.contains(number) || !page.Create(handle()))
        return false;
    SetWindowPos(page.handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(page.handle(), SW_HIDE);
    pages_[number] = &page;
    return true;
}

FormPage* FrameWindow::Page(int number) const {
    const auto found = pages_.find(number);
    return found == pages_.end() ? nullptr : found->second;
}

bool FrameWindow::ShowPage(int number) {
    FormPage* const shown = Page(number);
    if (shown == nullptr || !shown->exists())
        return false;
    for (const auto& [page_number, page] : pages_) {
        if (page != shown && page->exists())
            ShowWindow(page->handle(), SW_HIDE);
    }
    ShowWindow(shown->handle(), SW_SHOW);
    current_ = number;
    return true;
}

void FrameWindow::SetClientSize(int width, int height) const {
    if (!exists())
        return;
    RECT wanted{0, 0, width, height};
    AdjustWindowRectEx(&wanted, static_cast<DWORD>(GetWindowLongPtrW(handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(handle(), GWL_EXSTYLE)));
    SetWindowPos(handle(), nullptr, 0, 0, wanted.right - wanted.left, wanted.bottom - wanted.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT FrameWindow::WindowProcedure(UINT message, WPARAM wparam, LPARAM lparam) {
    if (const auto routed = Route(message, wparam, lparam))
        return *routed;
    return DefWindowProcW(handle(), message, wparam, lparam);
}

LRESULT CALLBACK FrameWindow::StaticProcedure(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* frame = static_cast<FrameWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
        frame->Attach(window);
    }
    auto* frame = static_cast<FrameWindow*>(WindowFromHandle(window));
    if (frame == nullptr)
        return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        frame->Detach();
        frame->pages_.clear();
        frame->current_ = 0;
        return DefWindowProcW(window, message, wparam, lparam);
    }
    return frame->WindowProcedure(message, wparam, lparam);
}

}  // namespace olvex::ui

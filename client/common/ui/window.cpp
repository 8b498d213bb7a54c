#include "client/common/ui/window.h"

#include <vector>

#include "client/common/client_application.h"

namespace olvex::ui {
namespace {

constexpr wchar_t kObjectProperty[] = L"OlvexUiWindow";

// The application's main window going ends the message loop, whatever kind
// of window of ours it is (a frame, or a dialog in programs without one).
void ReleaseMainWindow(HWND handle) {
    ClientApplication* app = ClientApplication::Current();
    if (app != nullptr && handle != nullptr && app->main_window() == handle) {
        app->SetMainWindow(nullptr);
        PostQuitMessage(0);
    }
}

}  // namespace

Window* WindowFromHandle(HWND handle) {
    return handle == nullptr ? nullptr : static_cast<Window*>(GetPropW(handle, kObjectProperty));
}

std::wstring WindowText(HWND handle) {
    if (handle == nullptr)
        return {};
    const int length = GetWindowTextLengthW(handle);
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    const int copied = GetWindowTextW(handle, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

Window::~Window() {
    Destroy();
}

void Window::Destroy() {
    if (handle_ == nullptr)
        return;
    // The object may be half torn down by now (a derived destructor ran):
    // untie it first so that the closing messages reach no handler of it.
    const HWND handle = std::exchange(handle_, nullptr);
    RemovePropW(handle, kObjectProperty);
    ReleaseMainWindow(handle);
    DestroyWindow(handle);
}

std::wstring Window::Text() const {
    return WindowText(handle_);
}

void Window::SetText(std::wstring_view text) const {
    if (handle_ != nullptr)
        SetWindowTextW(handle_, std::wstring(text).c_str());
}

HWND Window::Item(int id) const {
    return handle_ == nullptr ? nullptr : GetDlgItem(handle_, id);
}

std::wstring Window::ItemText(int id) const {
    return WindowText(Item(id));
}

void Window::SetItemText(int id, std::wstring_view text) const {
    if (const HWND item = Item(id))
        SetWindowTextW(item, std::wstring(text).c_str());
}

void Window::EnableItem(int id, bool enable) const {
    if (const HWND item = Item(id))
        EnableWindow(item, enable ? TRUE : FALSE);
}

void Window::ShowItem(int id, bool show) const {
    if (const HWND item = Item(id))
        ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

bool Window::IsItemChecked(int id) const {
    const HWND item = Item(id);
    return item != nullptr && SendMessageW(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Window::CheckItem(int id, bool checked) const {
    if (const HWND item = Item(id))
        SendMessageW(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Window::StartTimer(UINT_PTR id, UINT milliseconds) const {
    if (handle_ != nullptr)
        SetTimer(handle_, id, milliseconds, nullptr);
}

void Window::StopTimer(UINT_PTR id) const {
    if (handle_ != nullptr)
        KillTimer(handle_, id);
}

RECT Window::ClientRect() const {
    RECT rect{};
    if (handle_ != nullptr)
        GetClientRect(handle_, &rect);
    return rect;
}

RECT Window::WindowRect() const {
    RECT rect{};
    if (handle_ != nullptr)
        GetWindowRect(handle_, &rect);
    return rect;
}

void Window::Attach(HWND handle) {
    handle_ = handle;
    SetPropW(handle, kObjectProperty, this);
}

void Window::Detach() {
    if (handle_ != nullptr) {
        RemovePropW(handle_, kObjectProperty);
        ReleaseMainWindow(handle_);
    }
    handle_ = nullptr;
}

void Window::OnMessage(UINT message, MessageHandler handler) {
    message_routes_[message] = std::move(handler);
}

void Window::OnCommand(int id, WORD code, CommandHandler handler) {
    command_routes_[{id, code}] = std::move(handler);
}

void Window::OnNotify(int id, UINT code, NotifyHandler handler) {
    notify_routes_[{id, code}] = std::move(handler);
}

std::optional<LRESULT> Window::Route(UINT message, WPARAM wparam, LPARAM lparam) {
    if (const auto previewed = PreviewMessage(message, wparam, lparam))
        return previewed;
    if (message == WM_COMMAND) {
        const auto found = command_routes_.find({LOWORD(wparam), HIWORD(wparam)});
        if (found != command_routes_.end()) {
            // A copy: the handler may replace its own route.
            const CommandHandler handler = found->second;
            handler();
            return 0;
        }
    } else if (message == WM_NOTIFY && lparam != 0) {
        auto& header = *reinterpret_cast<NMHDR*>(lparam);
        const auto found = notify_routes_.find({static_cast<int>(header.idFrom), header.code});
        if (found != notify_routes_.end()) {
            const NotifyHandler handler = found->second;
            return handler(header);
        }
    }
    const auto found = message_routes_.find(message);
    if (found != message_routes_.end()) {
        const MessageHandler handler = found->second;
        return handler(wparam, lparam);
    }
    return std::nullopt;
}

}  // namespace olvex::ui

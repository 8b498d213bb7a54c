// The base of every window and dialog of the client programs: the window's
// handle and a routing table of handlers, by message, and by control id and
// notification code for WM_COMMAND and WM_NOTIFY.
//
// A window object belongs to whoever made it (a member, a local, a
// unique_ptr) and never deletes itself. Destroying the object destroys a
// window that still exists; a window destroyed first (closed by the user)
// simply leaves the object without a handle. When the window is the
// application's main window, its going ends the message loop.
//
//     class CountDialog : public Dialog {
//       public:
//         CountDialog() : Dialog(IDD_COUNT) {
//             OnClicked(IDC_ADD, [this] { SetItemText(IDC_TOTAL, std::to_wstring(++count_)); });
//             OnNotify(IDC_LIST, LVN_COLUMNCLICK, [this](NMHDR& header) { ...; return 0; });
//         }
//       private:
//         int count_ = 0;
//     };
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace olvex::ui {

class Window {
  public:
    using MessageHandler = std::function<LRESULT(WPARAM, LPARAM)>;
    using CommandHandler = std::function<void()>;
    using NotifyHandler = std::function<LRESULT(NMHDR&)>;

    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND handle() const { return handle_; }
    bool exists() const { return handle_ != nullptr; }
    // Destroys the window now (the object stays usable for a new one).
    void Destroy();

    std::wstring Text() const;
    void SetText(std::wstring_view text) const;

    // Child controls by id; the helpers do nothing for an id the window lacks.
    HWND Item(int id) const;
    std::wstring ItemText(int id) const;
    void SetItemText(int id, std::wstring_view text) const;
    void EnableItem(int id, bool enable) const;
    void ShowItem(int id, bool show) const;
    bool IsItemChecked(int id) const;
    void CheckItem(int id, bool checked) const;

    // Timers deliver WM_TIMER to this window until stopped or destroyed.
    void StartTimer(UINT_PTR id, UINT milliseconds) const;
    void StopTimer(UINT_PTR id) const;

    // Client and window rectangles; the window's in screen coordinates.
    RECT ClientRect() const;
    RECT WindowRect() const;

  protected:
    // Routes added later for the same key replace earlier ones.
    void OnMessage(UINT message, MessageHandler handler);
    void OnCommand(int id, WORD code, CommandHandler handler);
    void OnClicked(int id, CommandHandler handler) {
        OnCommand(id, BN_CLICKED, std::move(handler));
    }
    void OnNotify(int id, UINT code, NotifyHandler handler);

    // Sees every message before the routes: for a window that acts on a
    // whole class of messages (any message with a given wParam). An answer
    // ends the handling; nullopt passes the message on.
    virtual std::optional<LRESULT> PreviewMessage(UINT message, WPARAM wparam, LPARAM lparam) {
        return std::nullopt;
    }

    // The window's answer to a message: PreviewMessage, then the routing
    // table; nullopt when neither takes it.
    std::optional<LRESULT> Route(UINT message, WPARAM wparam, LPARAM lparam);

    // Ties the object to its window (first message) and unties it (last).
    void Attach(HWND handle);
    void Detach();

  private:
    HWND handle_ = nullptr;
    std::map<UINT, MessageHandler> message_routes_;
    std::map<std::pair<int, WORD>, CommandHandler> command_routes_;
    std::map<std::pair<int, UINT>, NotifyHandler> notify_routes_;
};

// The object a window of ours was tied to with SetProp at its first message;
// null for a window of anyone else.
Window* WindowFromHandle(HWND handle);

// Text of a window of this or another process.
std::wstring WindowText(HWND handle);

}  // namespace olvex::ui

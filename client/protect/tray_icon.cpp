#include "client/protect/tray_icon.h"

#include <algorithm>

namespace olvex::protect {

bool TrayIcon::Notify(DWORD operation, HWND window, HICON icon) const {
    NOTIFYICONDATAA record{};
    record.cbSize = kTrayRecordSize;
    record.hWnd = window;
    record.uID = id_;
    if (operation != NIM_DELETE) {
        record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        record.uCallbackMessage = callback_message_;
        record.hIcon = icon;
        // The original layout's tip holds 63 characters and the terminator.
        const std::size_t length = std::min<std::size_t>(tip_.size(), 63);
        std::copy_n(tip_.data(), length, record.szTip);
        record.szTip[length] = '\0';
    }
    return Shell_NotifyIconA(operation, &record) != FALSE;
}

}  // namespace olvex::protect

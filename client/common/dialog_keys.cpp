#include "client/common/dialog_keys.h"

#include <algorithm>
#include <vector>

namespace olvex {
namespace {

std::vector<HWND>& Registered() {
    thread_local std::vector<HWND> windows;
    return windows;
}

}  // namespace

void RegisterDialogKeyWindow(HWND window) {
    auto& windows = Registered();
    if (window != nullptr && std::find(windows.begin(), windows.end(), window) == windows.end())
        windows.push_back(window);
}

void UnregisterDialogKeyWindow(HWND window) {
    auto& windows = Registered();
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

bool TranslateDialogKeys(MSG& message) {
    if (message.hwnd == nullptr || message.message < WM_KEYFIRST || message.message > WM_KEYLAST)
        return false;
    // A copy: a dialog key may close a dialog, which unregisters it.
    const std::vector<HWND> windows = Registered();
    for (const HWND window : windows) {
        // Only the window that holds the message may see it: IsDialogMessage
        // takes keys meant for any other window too.
        if (!IsWindow(window) || !IsWindowVisible(window))
            continue;
        if (message.hwnd != window && !IsChild(window, message.hwnd))
            continue;
        if (IsDialogMessageW(window, &message))
            return true;
    }
    return false;
}

}  // namespace olvex

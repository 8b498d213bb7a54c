// The protection window's icon in the notification area. The record handed
// to the shell has this platform's size for its original layout (a 64-byte
// tip): 88 bytes on 32-bit Windows, 104 on 64-bit, never a size taken from
// the other.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace olvex::protect {

inline constexpr DWORD kTrayRecordSize = NOTIFYICONDATAA_V1_SIZE;
#ifdef _WIN64
static_assert(kTrayRecordSize == 104);
#else
static_assert(kTrayRecordSize == 88);
#endif

class TrayIcon {
  public:
    TrayIcon(UINT id, UINT callback_message, std::string tip)
        : id_(id), callback_message_(callback_message), tip_(std::move(tip)) {}

    // Adds (again: the shell may have forgotten it), changes or removes the
    // icon of window; true when the shell took the request.
    bool Add(HWND window, HICON icon) const { return Notify(NIM_ADD, window, icon); }
    bool Modify(HWND window, HICON icon) const { return Notify(NIM_MODIFY, window, icon); }
    bool Delete(HWND window) const { return Notify(NIM_DELETE, window, nullptr); }

  private:
    bool Notify(DWORD operation, HWND window, HICON icon) const;

    UINT id_;
    UINT callback_message_;
    std::string tip_;
};

}  // namespace olvex::protect

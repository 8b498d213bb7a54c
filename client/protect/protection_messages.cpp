#include "client/protect/protection_messages.h"

#include "client/common/message_boxes.h"
#include "client/common/ui/gdi.h"
#include "client/protect/wakenor_resources.h"

namespace olvex::protect {

int ShowProtectionMessage(UINT text_id, UINT style, HWND owner) {
    return ShowProtectionMessageText(ui::LoadText(text_id), style, owner);
}

int ShowProtectionMessageText(const std::wstring& text, UINT style, HWND owner) {
    return CurrentMessageBoxes().Show(owner, text, ui::LoadText(IDS_MESSAGE_CAPTION), style);
}

std::wstring SystemErrorText(DWORD error) {
    LPWSTR text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring result = text != nullptr ? text : std::to_wstring(error);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' ||
                               result.back() == L' ' || result.back() == L'.'))
        result.pop_back();
    return result;
}

void ShowSharedFolderFailure(DWORD error) {
    if (error == 0)
        ShowProtectionMessage(IDS_NO_PROGRAM_FILES);
    else
        ShowProtectionMessageText(SystemErrorText(error));
}

}  // namespace olvex::protect

// The protection program's message boxes: texts from its string table, the
// caption "Kelvan Gorsewatch Active Protection" (string 159), no owner unless
// one is given. They go through the library's replaceable presenter.
#pragma once

#include <windows.h>

#include <string>

namespace olvex::protect {

int ShowProtectionMessage(UINT text_id, UINT style = MB_OK, HWND owner = nullptr);
int ShowProtectionMessageText(const std::wstring& text, UINT style = MB_OK, HWND owner = nullptr);

// The system's text for an error code; the number when it has none.
std::wstring SystemErrorText(DWORD error);

// Why the shared engine folder could not be made: the system's reason, or
// that there is no common program-files folder when error is 0.
void ShowSharedFolderFailure(DWORD error);

}  // namespace olvex::protect

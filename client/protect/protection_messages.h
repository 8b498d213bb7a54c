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

// The format with its first "%s" replaced by each text in turn.
std::wstring FillInTexts(std::wstring format, std::initializer_list<std::wstring> texts);

}  // namespace olvex::protect

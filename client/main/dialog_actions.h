// What the main program's pages and dialogs do alike: open the help file or
// a web address of the URL table, and save a text report through the Save
// As dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace olvex {

// Opens the install folder's help file with the shell, then repaints the
// dialog.
void OpenHelpFile(HWND dialog);

// Opens the URL table's address for key with the shell; the built-in address
// (a string of the string table) when the table lacks the key or names no
// web page there.
void OpenTableAddress(HWND owner, std::string_view key, UINT default_address_id);

struct ReportRequest {
    const wchar_t* extension;  // "txt", without the point
    const wchar_t* file_name;  // proposed name
    const wchar_t* filter;     // "Text Files (*.txt)|*.txt||"
};

// Asks for a path (a doubled extension made single), writes the text that
// report gives with CR LF line ends, tells file errors in the file-error
// box, and makes the install folder the current folder again. False when
// the user cancelled.
bool SaveReport(HWND dialog, const ReportRequest& request,
                const std::function<std::string()>& report);

}  // namespace olvex

// Context help: HTML Help text pop-ups from the suite's help file, and the
// "no help" message box where there are none (as under Wine, whose HTML
// Help has no text pop-ups).
#include <windows.h>
#include <htmlhelp.h>

#include <string>

#include "dlgframe/dialog_host.h"
#include "dlgframe/framework_exports.h"
#include "dlgframe/framework_state.h"
#include "dlgframe/module_paths.h"
#include "dlgframe/resource_ids.h"

namespace olvex::dlgframe {
namespace {

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

HWND g_fallback_owner = nullptr;
HWND g_current_owner = nullptr;
bool g_help_file_known = false;
std::wstring g_help_file;
HMODULE g_html_help = nullptr;

// The pop-up seam: every request is written to the file that
// ULMFRM_HELP_LOG names, when it is set, as "<topic file>\t<id>\t<x>,<y>",
// so tests can see what was asked for where HTML Help cannot show it.
void RecordHelpRequest(const std::wstring& topic, int control_id, int x, int y) {
    wchar_t log_path[MAX_PATH]{};
    const DWORD length = GetEnvironmentVariableW(L"ULMFRM_HELP_LOG", log_path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::wstring line = topic + L"\t" + std::to_wstring(control_id) + L"\t" +
                              std::to_wstring(x) + L"," + std::to_wstring(y) + L"\r\n";
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                            nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(),
                        bytes, nullptr, nullptr);
    HANDLE file = CreateFileW(log_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

bool ShowHelpPopup(HWND owner, const std::wstring& topic, int control_id, int x, int y) {
    RecordHelpRequest(topic, control_id, x, y);
    if (g_html_help == nullptr)
        g_html_help = LoadLibraryW(L"hhctrl.ocx");
    if (g_html_help == nullptr)
        return false;
    const auto html_help = reinterpret_cast<HtmlHelpFunction>(
        reinterpret_cast<void*>(GetProcAddress(g_html_help, "HtmlHelpW")));
    if (html_help == nullptr)
        return false;
    HH_POPUP popup{};
    popup.cbStruct = sizeof(popup);
    popup.hinst = nullptr;
    popup.idString = static_cast<UINT>(control_id);
    popup.pszText = nullptr;
    popup.pt = {x, y};
    popup.clrForeground = static_cast<COLORREF>(-1);
    popup.clrBackground = static_cast<COLORREF>(-1);
    popup.rcMargins = {-1, -1, -1, -1};
    popup.pszFont = nullptr;
    return html_help(owner, topic.c_str(), HH_DISPLAY_TEXT_POPUP,
                     reinterpret_cast<DWORD_PTR>(&popup)) != nullptr;
}

}  // namespace

void InitContextHelp(HWND window, const wchar_t* folder) {
    if (window != nullptr && IsWindow(window)) {
        if (g_fallback_owner == nullptr)
            g_fallback_owner = window;
        g_current_owner = window;
    }
    if (!g_help_file_known) {
        g_help_file = HelpFilePath(folder != nullptr ? std::wstring(folder) : InstallFolder());
        g_help_file_known = true;
    }
}

void ShowContextHelp(HWND window, int x, int y, int control_id) {
    InitContextHelp(window, nullptr);
    HWND owner = window != nullptr ? window : g_current_owner;
    if (!IsWindow(owner))
        owner = g_fallback_owner;
    if (!ShowHelpPopup(owner, HelpPopupTopic(g_help_file), control_id, x, y)) {
        FrameworkMessageBoxById(nullptr, owner, IDS_FRAME_NO_HELP_TEXT, IDS_FRAME_NO_HELP_CAPTION,
                                FRAMEWORK_MB_OK, 0);
    }
}

void ReleaseContextHelp() {
    if (g_html_help != nullptr)
        FreeLibrary(g_html_help);
    g_html_help = nullptr;
}

}  // namespace olvex::dlgframe

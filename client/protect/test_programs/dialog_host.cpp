// WakenorDialogHost.exe (tests only): shows one of the protection program's
// alerts, its scan reminder or its log viewer, from the program's own
// sources and resources, the way the program does (the viewer is unreachable
// in the product and the alerts otherwise need a scan). The dialog's result
// is the exit code.
//
//   WakenorDialogHost --install FOLDER pest-found NAME LOCATION
//   WakenorDialogHost --install FOLDER pest-found-user NAME LOCATION
//   WakenorDialogHost --install FOLDER scan-advice
//   WakenorDialogHost --install FOLDER reminder
//   WakenorDialogHost --install FOLDER log PATH
//   WakenorDialogHost date-check [YEAR MONTH DAY HOUR MINUTE SECOND]
//
// FOLDER becomes the current folder, as the install folder is the
// program's. While a dialog is up, the hidden window
// "WakenorDialogHostProbe" answers WM_APP + 1 with 1 when the thread's cursor
// is the program's link hand, 2 for the arrow, 0 otherwise.
//
// date-check writes a time (now, or the one given) with GetDateFormat and
// GetTimeFormat in the user's locale, joined by "-" as the scan history is,
// reads it back, prints both, and exits 0 when they agree to the minute.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/protect/alert_dialogs.h"
#include "client/protect/dialog_colours.h"
#include "client/protect/protection_layout.h"
#include "client/protect/protection_log_dialog.h"
#include "client/protect/system_locale.h"
#include "client/protect/wakenor_resources.h"

namespace {

using namespace olvex::protect;

constexpr UINT kQueryCursor = WM_APP + 1;

LRESULT CALLBACK ProbeProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kQueryCursor) {
        const HCURSOR cursor = GetCursor();
        if (cursor == LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK_HAND)))
            return 1;
        if (cursor == LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)))
            return 2;
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void MakeProbe(HINSTANCE instance) {
    WNDCLASSW probe{};
    probe.lpfnWndProc = ProbeProcedure;
    probe.hInstance = instance;
    probe.lpszClassName = L"WakenorDialogHostProbe";
    RegisterClassW(&probe);
    CreateWindowW(probe.lpszClassName, L"WakenorDialogHostProbe", 0, 0, 0, 0, 0, HWND_MESSAGE,
                  nullptr, instance, nullptr);
}

int DateCheck(const std::vector<std::wstring>& arguments) {
    SYSTEMTIME written{};
    GetLocalTime(&written);
    if (arguments.size() == 6) {
        written = {};
        WORD* fields[] = {&written.wYear, &written.wMonth,  &written.wDay,
                          &written.wHour, &written.wMinute, &written.wSecond};
        for (std::size_t i = 0; i < 6; ++i)
            *fields[i] = static_cast<WORD>(_wtoi(arguments[i].c_str()));
    }
    char date[128] = {};
    char time[128] = {};
    GetDateFormatA(LOCALE_USER_DEFAULT, 0, &written, nullptr, date, sizeof(date));
    GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &written, nullptr, time, sizeof(time));
    const std::string line = std::string(date) + "-" + time;
    const std::size_t split = line.rfind('-');
    const SystemLocaleInfo locale;
    DateTimeFields read;
    ParseLocaleDate(line.substr(0, split), locale, read);
    ParseLocaleTime(line.substr(split + 1), locale, read);
    std::printf("%s -> %04d-%02d-%02d %02d:%02d:%02d\n", line.c_str(), read.year, read.month,
                read.day, read.hour, read.minute, read.second);
    const bool same = read.year == written.wYear && read.month == written.wMonth &&
                      read.day == written.wDay && read.hour == written.wHour &&
                      read.minute == written.wMinute;
    return same ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < __argc; ++i)
        arguments.push_back(__wargv[i]);
    std::string install_folder;
    if (arguments.size() >= 2 && arguments[0] == L"--install") {
        install_folder = olvex::ui::ToAnsi(arguments[1]);
        if (!install_folder.empty() && install_folder.back() != '\\')
            install_folder.push_back('\\');
        SetCurrentDirectoryA(install_folder.c_str());
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (arguments.empty())
        return 255;
    const std::wstring command = arguments[0];
    arguments.erase(arguments.begin());
    if (command == L"date-check")
        return DateCheck(arguments);

    // As the program's start-up sets it for all its dialogs.
    SetDialogBackground(static_cast<COLORREF>(
        ParseColour(olvex::ui::ToAnsi(olvex::ui::LoadText(IDS_ALERT_COLOUR)))));
    MakeProbe(instance);
    const auto argument = [&](std::size_t i) {
        return i < arguments.size() ? arguments[i] : std::wstring();
    };
    INT_PTR result = -1;
    if (command == L"pest-found") {
        CPestFoundDlg dialog(argument(0), argument(1));
        result = dialog.RunModal();
    } else if (command == L"pest-found-user") {
        CPestFoundUserDlg dialog(argument(0), argument(1));
        result = dialog.RunModal();
    } else if (command == L"scan-advice") {
        CScanAdviceDlg dialog;
        result = dialog.RunModal();
    } else if (command == L"reminder") {
        CScanReminderDlg dialog(install_folder);
        result = dialog.RunModal();
    } else if (command == L"log") {
        ShowProtectionLog(olvex::ui::ToAnsi(argument(0)));
        result = IDOK;
    } else {
        return 255;
    }
    return static_cast<int>(result);
}

// stand_in.exe: stands in for a program that is not built yet (or that Wine
// lacks): a top-level window with the program's title (and class) that logs
// every message it receives. Copy it under the program's file name; it takes
// its settings from the command line or, since the product starts programs
// with arguments of its own, from "<name>.stand-in" beside the copy (lines
// "option=value", for example "title=Kelvan Gorsewatch -- Active Protection").
//
//   --title T           the window's title (default: the file's base name)
//   --class C           its class (default "OlvexStandIn")
//   --log FILE          the log (default "<name>.log" beside the copy)
//   --ignore-close N    ignore the first N WM_CLOSE messages ("all": every one)
//   --hang-on-close     stop answering at the first WM_CLOSE not ignored: the
//                       window procedure sleeps until the program's time is up
//   --note-mutex NAME   log at start whether the named mutex exists
//   --linger MS         once its window has gone, stay MS milliseconds before
//                       ending (a program that still has files to close)
//   --hidden            create the window hidden
//   --hold-mutex NAME   make and hold the named mutex while it runs (a
//                       single-instance mutex); a second copy logs "mutex
//                       NAME held" and ends at once
//   --hide-on-minus-one hide the window at any message whose wParam is -1
//   --seconds N         end after N seconds at the latest (default 120)
//   --ready EVENT       signal the named event once the window exists
//
// The log gets one line per start, "start <process id> <command line>", one
// per message, "message <number> <wParam> <lParam> <tick>" (numbers in
// decimal, wParam and lParam as signed values, tick from GetTickCount), and
// "end" when the program ends; with --note-mutex, "mutex <name> present" or
// "mutex <name> absent" after the start line; with --linger, "lingering
// <tick>" when its window has gone.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "helper_options.h"

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;
long g_closes_to_ignore = 0;  // -1: every one
bool g_hang_on_close = false;
bool g_hide_on_minus_one = false;
DWORD g_end_tick = 0;  // when the program's time is up
constexpr UINT_PTR kLifetimeTimer = 0x5EED;

void Log(const std::wstring& line) {
    const std::wstring text = line + L"\r\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    DWORD written = 0;
    // One write per line at the end of the file, so readers never see half a line.
    SetFilePointer(g_log, 0, nullptr, FILE_END);
    WriteFile(g_log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    wchar_t line[128];
    swprintf(line, 128, L"message %u %lld %lld %lu", message, static_cast<long long>(wparam),
             static_cast<long long>(lparam), GetTickCount());
    Log(line);
    if (g_hide_on_minus_one && wparam == static_cast<WPARAM>(-1) && message >= WM_USER)
        ShowWindow(window, SW_HIDE);
    switch (message) {
        case WM_CLOSE:
            if (g_closes_to_ignore < 0)
                return 0;
            if (g_closes_to_ignore > 0) {
                --g_closes_to_ignore;
                return 0;
            }
            if (g_hang_on_close) {
                // A program that stopped answering: it takes no message any more.
                Log(L"hang");
                while (static_cast<LONG>(GetTickCount() - g_end_tick) < 0)
                    Sleep(100);
                Log(L"end");
                ExitProcess(0);
            }
            DestroyWindow(window);
            return 0;
        case WM_TIMER:
            if (wparam == kLifetimeTimer) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// The copy's own path without ".exe".
std::wstring OwnStem() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring stem = path;
    const auto dot = stem.rfind(L'.');
    if (dot != std::wstring::npos && stem.find(L'\\', dot) == std::wstring::npos)
        stem.resize(dot);
    return stem;
}

// Settings from "<name>.stand-in" that the command line did not give.
void ReadSettingsFile(const std::wstring& stem, olvex::gui::HelperOptions& options) {
    std::ifstream in(std::filesystem::path(stem + L".stand-in"));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::wstring name = L"--" + std::wstring(line.begin(), line.begin() + equals);
        wchar_t value[1024] = {};
        MultiByteToWideChar(CP_UTF8, 0, line.c_str() + equals + 1, -1, value, 1024);
        if (!options.Has(name))
            options.Set(name, value);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    olvex::gui::HelperOptions options({L"--hidden", L"--hang-on-close", L"--hide-on-minus-one"});
    const std::wstring stem = OwnStem();
    ReadSettingsFile(stem, options);
    const std::wstring log_path = options.Get(L"--log", stem + L".log");
    g_log = CreateFileW(log_path.c_str(), FILE_APPEND_DATA | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Log(L"start " + std::to_wstring(GetCurrentProcessId()) + L" " + GetCommandLineW());

    if (options.Has(L"--note-mutex")) {
        const std::wstring name = options.Get(L"--note-mutex", L"");
        const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name.c_str());
        Log(L"mutex " + name + (mutex ? L" present" : L" absent"));
        if (mutex)
            CloseHandle(mutex);
    }
    HANDLE held_mutex = nullptr;
    if (options.Has(L"--hold-mutex")) {
        const std::wstring name = options.Get(L"--hold-mutex", L"");
        held_mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        if (held_mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
            Log(L"mutex " + name + L" held");
            Log(L"end");
            return 3;
        }
    }
    g_hide_on_minus_one = options.Has(L"--hide-on-minus-one");
    g_hang_on_close = options.Has(L"--hang-on-close");
    const std::wstring ignore = options.Get(L"--ignore-close", L"0");
    g_closes_to_ignore = ignore == L"all" ? -1 : std::wcstol(ignore.c_str(), nullptr, 10);
    const std::wstring base_name = stem.substr(stem.rfind(L'\\') + 1);
    const std::wstring title = options.Get(L"--title", base_name);
    const std::wstring class_name = options.Get(L"--class", L"OlvexStandIn");

    WNDCLASSW window_class{};
    window_class.lpfnWndProc = WindowProcedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = class_name.c_str();
    RegisterClassW(&window_class);
    const HWND window = CreateWindowExW(0, class_name.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW,
                                        40, 40, 360, 120, nullptr, nullptr, instance, nullptr);
    if (!window) {
        Log(L"end no window");
        return 2;
    }
    if (!options.Has(L"--hidden"))
        ShowWindow(window, SW_SHOWNOACTIVATE);
    const UINT lifetime_ms = static_cast<UINT>(options.Number(L"--seconds", 120)) * 1000;
    g_end_tick = GetTickCount() + lifetime_ms;
    SetTimer(window, kLifetimeTimer, lifetime_ms, nullptr);
    olvex::gui::SignalEvent(options.Get(L"--ready"));

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (const long linger = options.Number(L"--linger", 0); linger > 0) {
        Log(L"lingering " + std::to_wstring(GetTickCount()));
        Sleep(static_cast<DWORD>(linger));
    }
    if (held_mutex != nullptr)
        CloseHandle(held_mutex);
    Log(L"end");
    CloseHandle(g_log);
    return 0;
}

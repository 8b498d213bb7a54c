// How the stand-in runs: its windows and mutexes, the wait, being told to
// stop by a later copy of itself, re-spawning from the temporary folder
// and running as a service.
#include <windows.h>

#include <tlhelp32.h>

#include <memory>

#include "setup/tools/standin_program.h"

namespace olvex::standin {
namespace {

std::wstring StopEventName(DWORD process_id) {
    return L"OlvexStandinStop_" + std::to_wstring(process_id);
}

// --- Windows ------------------------------------------------------------

struct OwnedWindow {
    const Program* program = nullptr;
    std::wstring title;
    unsigned ends = 0;
    // Set before the stand-in destroys the window itself: the WM_DESTROY
    // that follows is its own, not one sent from outside.
    bool destroying = false;
    HWND window = nullptr;
};

unsigned EndFlag(UINT message) {
    switch (message) {
        case WM_CLOSE:
            return kEndOnClose;
        case 1124:
            return kEndOnUser100;
        case WM_DESTROY:
            return kEndOnDestroy;
        default:
            return 0;
    }
}

// Logs WM_CLOSE, 1124 and WM_DESTROY sent from outside and destroys the
// window on those that end it. True when the message was taken.
bool TakeMessage(OwnedWindow* owned, HWND window, UINT message) {
    const unsigned flag = EndFlag(message);
    if (owned == nullptr || flag == 0 || owned->destroying) {
        return false;
    }
    owned->program->Log(owned->title + L"|" + std::to_wstring(message));
    if ((owned->ends & flag) != 0) {
        owned->destroying = true;
        DestroyWindow(window);
    }
    return true;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* owned = reinterpret_cast<OwnedWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (TakeMessage(owned, window, message)) {
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        return TRUE;
    }
    auto* owned = reinterpret_cast<OwnedWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (TakeMessage(owned, dialog, message)) {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    // Escape and Enter do not end it: only the messages of its ini do.
    return message == WM_COMMAND && (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK);
}

// A window of the standard dialog class from a template made here: no
// controls, only the caption.
HWND CreateDialogWindow(OwnedWindow* owned, int x, int y) {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    header->cdit = 0;
    header->cx = 180;
    header->cy = 40;
    words.push_back(0);  // no menu
    words.push_back(0);  // the dialog class
    for (const wchar_t c : owned->title) {
        words.push_back(static_cast<WORD>(c));
    }
    words.push_back(0);
    words.push_back(0);  // keeps the template's end aligned
    const HWND dialog = CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
        DialogProcedure, reinterpret_cast<LPARAM>(owned));
    if (dialog) {
        SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    return dialog;
}

HWND CreateClassWindow(OwnedWindow* owned, const std::wstring& window_class, int x, int y) {
    WNDCLASSEXW description = {};
    description.cbSize = sizeof(description);
    description.lpfnWndProc = WindowProcedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    description.lpszClassName = window_class.c_str();
    RegisterClassExW(&description);  // a second window of the class finds it registered
    return CreateWindowExW(0, window_class.c_str(), owned->title.c_str(),
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 360, 110, nullptr, nullptr,
                           GetModuleHandleW(nullptr), owned);
}

bool AnyWindowLeft(const std::vector<std::unique_ptr<OwnedWindow>>& windows) {
    for (const auto& owned : windows) {
        if (owned->window && IsWindow(owned->window)) {
            return true;
        }
    }
    return false;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// --- Service ------------------------------------------------------------

struct ServiceState {
    const Program* program = nullptr;
    std::wstring name;
    SERVICE_STATUS_HANDLE status = nullptr;
    HANDLE stop = nullptr;
};
ServiceState g_service;

void ReportServiceState(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = state == SERVICE_STOP_PENDING ? 3000 : 0;
    SetServiceStatus(g_service.status, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            if (control == SERVICE_CONTROL_STOP) {
                g_service.program->Log(L"service stop");
            }
            ReportServiceState(SERVICE_STOP_PENDING);
            SetEvent(g_service.stop);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_service.status =
        RegisterServiceCtrlHandlerExW(g_service.name.c_str(), ServiceControl, nullptr);
    if (g_service.status == nullptr) {
        return;
    }
    ReportServiceState(SERVICE_RUNNING);
    WaitForSingleObject(g_service.stop, INFINITE);
    ReportServiceState(SERVICE_STOPPED);
}

std::wstring LongFolder(const std::wstring& path) {
    std::wstring buffer(32768, L'\0');
    const DWORD length =
        GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring folder = length > 0 && length < buffer.size() ? buffer.substr(0, length) : path;
    while (folder.size() > 3 && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

void StopRunningCopies(const Program& program) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        const std::wstring file(entry.szExeFile);
        const size_t slash = file.rfind(L'\\');
        const std::wstring name = slash == std::wstring::npos ? file : file.substr(slash + 1);
        if (entry.th32ProcessID == GetCurrentProcessId() ||
            _wcsicmp(name.c_str(), program.name().c_str()) != 0) {
            continue;
        }
        // A copy that ignores stop requests has no such event.
        const HANDLE stop =
            OpenEventW(EVENT_MODIFY_STATE, FALSE, StopEventName(entry.th32ProcessID).c_str());
        if (stop) {
            SetEvent(stop);
            CloseHandle(stop);
        }
    }
    CloseHandle(snapshot);
}

bool RunAsService(const Program& program, const std::wstring& service) {
    g_service.program = &program;
    g_service.name = service;
    g_service.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{g_service.name.data(), ServiceMain}, {nullptr, nullptr}};
    const bool ran = StartServiceCtrlDispatcherW(table) != 0;
    CloseHandle(g_service.stop);
    return ran;
}

bool RespawnFromTemp(const Program& program) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        program.Log(L"failed: respawn=1 (no temporary folder)");
        return true;
    }
    const std::wstring temp_folder = LongFolder(temp);
    if (_wcsicmp(temp_folder.c_str(), LongFolder(program.folder()).c_str()) == 0) {
        return false;
    }
    const std::wstring copy = temp_folder + L"\\" + program.name();
    std::wstring command = L"\"" + copy + L"\"";
    if (!program.arguments().empty()) {
        command += L" " + program.arguments();
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CopyFileW(program.path().c_str(), copy.c_str(), FALSE) ||
        !CopyFileW(program.ini().c_str(), (copy + L".ini").c_str(), FALSE) ||
        !CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        temp_folder.c_str(), &startup, &process)) {
        program.Log(L"failed: respawn=1 (" + copy + L")");
        return true;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

HANDLE CreateStopEvent(const Program& program) {
    if (program.SettingNumber(L"ignorestop", 0) != 0) {
        return nullptr;
    }
    return CreateEventW(nullptr, TRUE, FALSE, StopEventName(GetCurrentProcessId()).c_str());
}

void HoldAndWait(const Program& program, HANDLE stop) {
    HANDLE held = INVALID_HANDLE_VALUE;
    const std::wstring hold = program.Expand(program.Setting(L"hold"));
    if (!hold.empty()) {
        held = CreateFileW(hold.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::vector<HANDLE> mutexes;
    for (const std::wstring& name : program.NumberedSettings(L"mutex")) {
        if (const HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str())) {
            mutexes.push_back(mutex);
        }
    }

    const std::wstring ends_text = program.Setting(L"windowends");
    std::optional<unsigned> ends = ParseWindowEnds(U16(ends_text));
    if (!ends) {
        program.Log(L"failed: windowends=" + ends_text);
        ends = ParseWindowEnds(u"");
    }
    std::vector<std::unique_ptr<OwnedWindow>> windows;
    const std::vector<std::wstring> window_settings = program.NumberedSettings(L"window");
    for (size_t i = 0; i < window_settings.size(); ++i) {
        const std::optional<std::vector<std::wstring>> parts = Fields(window_settings[i], 2);
        if (!parts || (*parts)[0].empty()) {
            program.Log(L"failed: window" + std::to_wstring(i + 1) + L"=" + window_settings[i]);
            continue;
        }
        auto owned = std::make_unique<OwnedWindow>();
        owned->program = &program;
        owned->title = (*parts)[1];
        owned->ends = *ends;
        // One below the other, so that each can be seen.
        const int x = 40;
        const int y = 40 + 130 * static_cast<int>(i);
        owned->window = (*parts)[0] == L"#32770"
                            ? CreateDialogWindow(owned.get(), x, y)
                            : CreateClassWindow(owned.get(), (*parts)[0], x, y);
        if (!owned->window) {
            program.Log(L"failed: window" + std::to_wstring(i + 1) + L"=" + window_settings[i]);
            continue;
        }
        windows.push_back(std::move(owned));
    }

    const DWORD delay = program.SettingNumber(L"delay", 0);
    const bool stays = !windows.empty() || !mutexes.empty();
    const DWORD started = GetTickCount();
    while (stays || delay > 0) {
        if (!windows.empty() && !AnyWindowLeft(windows)) {
            break;
        }
        DWORD timeout = INFINITE;
        if (delay > 0) {
            // Unsigned differences stay right across the counter's wrap.
            const DWORD passed = GetTickCount() - started;
            if (passed >= delay) {
                break;
            }
            timeout = delay - passed;
        }
        const DWORD count = stop ? 1 : 0;
        const DWORD woken = MsgWaitForMultipleObjects(count, &stop, FALSE, timeout, QS_ALLINPUT);
        if (stop && woken == WAIT_OBJECT_0) {
            program.Log(L"stopped");
            break;
        }
        if (woken == WAIT_TIMEOUT) {
            break;
        }
        PumpMessages();
    }

    for (const auto& owned : windows) {
        if (IsWindow(owned->window)) {
            owned->destroying = true;
            DestroyWindow(owned->window);
        }
    }
    PumpMessages();
    for (const HANDLE mutex : mutexes) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
}

}  // namespace olvex::standin

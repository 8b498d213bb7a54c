// standin.exe: stands in for the setup programs of the suite's other
// members in tests, copied under each name a test needs. On every start it
// appends "<its own file name>|<its whole command line>" as one UTF-8 line
// to C:\standin.log, then exits with "exit=" of <its own path>.ini
// (section [standin], default 0) after "delay=" milliseconds. With
// "hold=<file>" it keeps that file open without sharing while it waits.
// Started with "-k" it asks the running copies of its name to end at once
// (as the suite's programs do), unless its ini says "ignorestop=1"; a
// copy that ignores the request runs out its delay.
#include <windows.h>

#include <cwctype>
#include <string>

namespace {

constexpr wchar_t kLogPath[] = L"C:\\standin.log";

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                            size, nullptr, nullptr);
    }
    return out;
}

// Copies started at the same moment take turns: a named mutex around the
// append, and a retry while another process still has the file open.
void AppendLine(const std::string& line) {
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, L"OlvexSetupStandinLog");
    if (mutex) {
        WaitForSingleObject(mutex, 30000);
    }
    for (int attempt = 0; attempt < 200; ++attempt) {
        const HANDLE file = CreateFileW(kLogPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            break;
        }
        Sleep(25);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

}  // namespace

int main() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    const std::wstring own(path);
    const size_t slash = own.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? own : own.substr(slash + 1);
    AppendLine(Utf8(name + L"|" + GetCommandLineW()) + "\r\n");

    const std::wstring ini = own + L".ini";
    const UINT exit_code = GetPrivateProfileIntW(L"standin", L"exit", 0, ini.c_str());
    const UINT delay = GetPrivateProfileIntW(L"standin", L"delay", 0, ini.c_str());
    wchar_t hold[MAX_PATH * 4] = {};
    GetPrivateProfileStringW(L"standin", L"hold", L"", hold, MAX_PATH * 4, ini.c_str());
    HANDLE held = INVALID_HANDLE_VALUE;
    if (hold[0] != 0) {
        held = CreateFileW(hold, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    // One event per program name: "-k" sets it, a waiting copy ends on it.
    std::wstring event_name = L"OlvexStandinStop_" + name;
    for (wchar_t& c : event_name) {
        c = static_cast<wchar_t>(towlower(c));
    }
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
    const std::wstring command_line = GetCommandLineW();
    const bool ignore_stop = GetPrivateProfileIntW(L"standin", L"ignorestop", 0, ini.c_str()) != 0;
    if (command_line.size() >= 3 && command_line.compare(command_line.size() - 3, 3, L" -k") == 0) {
        if (!ignore_stop && stop) {
            SetEvent(stop);
        }
        CloseHandle(stop);
        return 0;
    }
    if (stop && !ignore_stop) {
        WaitForSingleObject(stop, delay);
    } else {
        Sleep(delay);
    }
    if (stop) {
        CloseHandle(stop);
    }
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    return static_cast<int>(exit_code);
}

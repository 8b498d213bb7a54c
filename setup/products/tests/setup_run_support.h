// What the member tests share when they run the real setup program under
// Wine: a setup source assembled from the build's folders, a run at display
// level 2 driven through the window driver to its end, and reading what
// the run left (the registry, files, processes, the stand-ins' log).
#pragma once

#include <windows.h>

#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"

namespace olvex::gui {

namespace setup_run {

namespace fs = std::filesystem;

inline constexpr wchar_t kStandinLog[] = L"C:\\standin.log";
inline constexpr DWORD kRunMs = 180000;
// The controls that tell the setup dialogs apart.
inline constexpr int kAgreementAccept = 1451;
inline constexpr int kDestinationEdit = 1292;
inline constexpr int kCompetitorName = 1455;
inline constexpr int kBoxText = 1073;
inline constexpr int kFirstSelectionRow = 1652;
// The progress window, which is left alone.
inline constexpr int kProgressBar = 1316;

// A setup source in folder: the setup root's program, framework and
// resource DLLs, the suite's programs ("sc") of setup_qz, and each member
// folder under its tag.
inline void MakeSource(const fs::path& folder,
                       std::initializer_list<std::pair<const wchar_t*, const char*>> members) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path root(testing::WindowsPath(SETUP_ROOT));
    for (const wchar_t* file :
         {L"Tramlet.exe", L"ulmfrm.dll", L"ulmres.dll", L"xjvprod.dll", L"license.txt"}) {
        fs::copy_file(root / file, folder / file, fs::copy_options::overwrite_existing);
    }
    fs::copy(fs::path(testing::WindowsPath(SETUP_QZ)) / L"sc", folder / L"sc",
             fs::copy_options::recursive);
    for (const auto& [tag, path] : members) {
        fs::copy(fs::path(testing::WindowsPath(path)), folder / tag, fs::copy_options::recursive);
    }
}

// Presses a framework button: its command goes to the dialog, posted, so
// that a button that opens the next dialog does not hold the test.
inline bool Press(HWND dialog, int id) {
    const HWND button = FindChild(dialog, id);
    return button && IsWindowEnabled(button) &&
           PostWindowMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
}

struct Driven {
    DWORD exit_code = 0xFFFFFFFF;
    // The products the competitor question named, in order.
    std::vector<std::wstring> competitors;
};

// Runs setup to its end at whatever display level its arguments give:
// every competitor question answered Yes, the agreement accepted, the
// product selection handed to on_selection (then confirmed), the
// destination taken as offered, every message box answered OK. Each dialog
// is saved as a screenshot "<shot>-<n>" the first time it is seen.
inline Driven Drive(const std::wstring& command_line, const std::string& shot,
                    const std::function<void(HWND)>& on_selection = nullptr) {
    Driven driven;
    RunningProgram run;
    EXPECT_TRUE(run.Start(command_line));
    std::set<HWND> seen;
    const DWORD deadline = GetTickCount() + kRunMs;
    while (run.running() && GetTickCount() < deadline) {
        bool acted = false;
        for (const auto& window : ListTopLevelWindows()) {
            if (window.process_id != run.id() || !window.visible ||
                window.class_name != L"#32770" || FindChild(window.handle, kProgressBar)) {
                continue;
            }
            const HWND dialog = window.handle;
            const bool first_look = seen.insert(dialog).second;
            if (first_look) {
                Sleep(300);
                SaveScreenshot(dialog, shot + "-" + std::to_string(seen.size()));
            }
            int button = 0;
            if (FindChild(dialog, kCompetitorName)) {
                if (first_look)
                    driven.competitors.push_back(GetText(FindChild(dialog, kCompetitorName)));
                button = IDOK;
            } else if (FindChild(dialog, kAgreementAccept)) {
                button = kAgreementAccept;
            } else if (FindChild(dialog, kFirstSelectionRow)) {
                if (first_look && on_selection)
                    on_selection(dialog);
                button = IDOK;
            } else if (FindChild(dialog, kDestinationEdit) || FindChild(dialog, kBoxText)) {
                button = IDOK;
            }
            if (button != 0 && Press(dialog, button)) {
                WaitForWindowGone(dialog, 10000);
                acted = true;
            }
        }
        if (!acted) {
            Sleep(100);
        }
    }
    driven.exit_code = run.Wait(kRunMs).value_or(0xFFFFFFFF);
    return driven;
}

// A silent run's exit code.
inline DWORD RunSilent(const std::wstring& command_line) {
    RunningProgram run;
    EXPECT_TRUE(run.Start(command_line));
    return run.Wait(kRunMs).value_or(0xFFFFFFFF);
}

// A text value of HKEY_LOCAL_MACHINE; "<missing>" when it is not there.
inline std::wstring MachineText(const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    wchar_t data[2048] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    DWORD type = 0;
    const LONG error = RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    return error == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? std::wstring(data)
                                                                               : L"<missing>";
}

inline void SetMachineText(const std::wstring& key, const std::wstring& name,
                           const std::wstring& text) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    RegCloseKey(handle);
}

inline bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

// The names of a key's values.
inline std::vector<std::wstring> ValueNames(const std::wstring& key) {
    std::vector<std::wstring> names;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[512] = {};
        DWORD length = 512;
        if (RegEnumValueW(handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(handle);
    return names;
}

inline bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether a process of that file name runs.
inline bool ProcessRuns(const std::wstring& file) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry)) {
        found = _wcsicmp(entry.szExeFile, file.c_str()) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

// A folder of the suite's program group ("Kelvan Security Suite", or a
// sub-folder of it), for all users or the current user: the one that
// exists; empty when neither does.
inline fs::path ProgramGroupFolder(const std::wstring& sub_folder = {}) {
    for (const int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        wchar_t programs[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, programs))) {
            fs::path folder = fs::path(programs) / L"Kelvan Security Suite";
            if (!sub_folder.empty())
                folder /= sub_folder;
            if (fs::exists(folder)) {
                return folder;
            }
        }
    }
    return {};
}

// The stand-ins' log: one line a start, "<program>|<command line>".
inline std::vector<std::string> StandinStarts() {
    return ReadLines(kStandinLog);
}

inline bool Started(const std::string& line) {
    for (const std::string& start : StandinStarts()) {
        if (start == line) {
            return true;
        }
    }
    return false;
}

inline bool StartedAny(const std::string& program) {
    for (const std::string& start : StandinStarts()) {
        if (start.rfind(program + "|", 0) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace setup_run

}  // namespace olvex::gui

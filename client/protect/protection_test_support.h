// What the protection program's Windows tests share: the product's data
// folder, files and registry values put back afterwards, an install folder
// made the way setup makes it, stand-ins for the main program, the URL
// recorder's log, and screenshots taken once a window has painted.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "client/common/scrambled_file.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex::protect::testing {

namespace fs = std::filesystem;
using olvex::testing::Narrow;
using olvex::testing::WindowsPath;

inline constexpr wchar_t kProtectionTitle[] = L"Kelvan Gorsewatch -- Active Protection";
inline constexpr wchar_t kMainTitle[] = L"Kelvan Gorsewatch by Brackwith";
inline constexpr wchar_t kMessageCaption[] = L"Kelvan Gorsewatch Active Protection";
inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

inline fs::path CommonFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// "<common application data>\XJ\KelvanGorsewatch".
inline fs::path ProductFolder() {
    return CommonFolder(CSIDL_COMMON_APPDATA) / "XJ" / "KelvanGorsewatch";
}

inline std::string ReadText(const fs::path& path) {
    const auto bytes = olvex::testing::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A scrambled URL table with the lines given.
inline void WriteUrlTable(const fs::path& path, const std::string& lines) {
    const std::vector<std::uint8_t> plain(lines.begin(), lines.end());
    WriteScrambledFile(path.string(), plain);
}

inline bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

// Whether another thread owns the mutex (it exists and cannot be taken now).
inline bool MutexOwnedElsewhere(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    const DWORD wait = WaitForSingleObject(mutex, 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        ReleaseMutex(mutex);
    CloseHandle(mutex);
    return wait == WAIT_TIMEOUT;
}

// A value of HKEY_LOCAL_MACHINE\<key>: its type and text.
struct RegistryText {
    DWORD type = 0;
    std::string text;
};

inline std::optional<RegistryText> ReadMachineValue(const char* key_path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    DWORD type = 0;
    const LONG read =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS)
        return std::nullopt;
    return RegistryText{type,
                        std::string(data, size > 0 && data[size - 1] == '\0' ? size - 1 : size)};
}

inline void WriteMachineValue(const char* key_path, const char* name, DWORD type,
                              const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

// Puts files back as they were: restored when they existed, removed when not.
class FilesRestored {
  public:
    explicit FilesRestored(std::vector<fs::path> paths) {
        for (auto& path : paths) {
            std::optional<std::vector<unsigned char>> bytes;
            if (fs::exists(path))
                bytes = olvex::testing::ReadFileBytes(path);
            saved_.emplace_back(std::move(path), std::move(bytes));
        }
    }
    ~FilesRestored() {
        std::error_code ignored;
        for (const auto& [path, bytes] : saved_) {
            fs::remove(path, ignored);
            if (bytes) {
                std::ofstream out(path, std::ios::binary);
                out.write(reinterpret_cast<const char*>(bytes->data()),
                          static_cast<std::streamsize>(bytes->size()));
            }
        }
    }
    FilesRestored(const FilesRestored&) = delete;
    FilesRestored& operator=(const FilesRestored&) = delete;

  private:
    std::vector<std::pair<fs::path, std::optional<std::vector<unsigned char>>>> saved_;
};

// The addresses the URL recorder was given since the test began.
class UrlLog {
  public:
    UrlLog() : path_(gui::Environment(L"OLVEX_URL_LOG")) { skip_ = gui::ReadLines(path_).size(); }
    std::vector<std::string> Opened() const {
        auto lines = gui::ReadLines(path_);
        lines.erase(lines.begin(),
                    lines.begin() + static_cast<std::ptrdiff_t>(std::min(skip_, lines.size())));
        return lines;
    }
    bool WaitFor(const std::string& address, DWORD timeout_ms) const {
        return gui::WaitUntil(
            [&] {
                for (const auto& line : Opened())
                    if (line.find(address) != std::string::npos)
                        return true;
                return false;
            },
            timeout_ms, 100);
    }

  private:
    std::wstring path_;
    std::size_t skip_ = 0;
};

// A stand-in for the main program: a copy of stand_in.exe named
// Gorsewatch5.exe in folder that takes the main window's title and logs into
// <folder>\Gorsewatch5.log.
inline fs::path InstallMainProgramStandIn(const fs::path& folder) {
    fs::copy_file(Narrow(gui::GuiProgramPath(L"stand_in.exe")), folder / "Gorsewatch5.exe",
                  fs::copy_options::overwrite_existing);
    WriteText(folder / "Gorsewatch5.stand-in",
              "title=Kelvan Gorsewatch by Brackwith\nseconds=60\n");
    return folder / "Gorsewatch5.log";
}

// The messages a stand-in logged: number, wParam and lParam.
struct LoggedMessage {
    unsigned number = 0;
    long long wparam = 0;
    long long lparam = 0;
};

inline std::vector<LoggedMessage> LoggedMessages(const fs::path& log, unsigned number) {
    std::vector<LoggedMessage> found;
    for (const auto& line : gui::ReadLines(log.wstring())) {
        LoggedMessage message;
        if (std::sscanf(line.c_str(), "message %u %lld %lld", &message.number, &message.wparam,
                        &message.lparam) == 3 &&
            message.number == number)
            found.push_back(message);
    }
    return found;
}

inline bool Started(const fs::path& log) {
    for (const auto& line : gui::ReadLines(log.wstring()))
        if (line.rfind("start ", 0) == 0)
            return true;
    return false;
}

// A picture of the window once its program has handled what came before.
inline std::wstring Shot(HWND window, const std::string& name) {
    if (window != nullptr)
        gui::SendWindowMessage(window, WM_NULL, 0, 0);
    Sleep(200);  // the frame and children paint after their parent
    return gui::SaveScreenshot(window, name);
}

inline RECT WindowRectOf(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

}  // namespace olvex::protect::testing

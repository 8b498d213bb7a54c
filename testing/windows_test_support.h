// Helpers for Windows tests under Wine: host paths as Windows paths, child
// processes, and registry snapshots that put keys back as they were.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace olvex::testing {

// The start of a Windows path to the Linux root: "Z:", or what the test's
// runner says in OLVEX_UNIX_ROOT for a prefix without that drive.
inline std::wstring UnixRoot() {
    wchar_t root[64] = {};
    const DWORD length = GetEnvironmentVariableW(L"OLVEX_UNIX_ROOT", root, 64);
    return length > 0 && length < 64 ? std::wstring(root, length) : std::wstring(L"Z:");
}

// A build path (/work/...) as Wine shows it (Z:\work\...); Windows paths pass
// unchanged.
inline std::wstring WindowsPath(const std::string& path) {
    std::wstring result;
    if (!path.empty() && path.front() == '/') {
        result = UnixRoot();
    }
    for (const char c : path) {
        result.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return result;
}

inline std::string Narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text) {
        result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return result;
}

// The number of handles this process has open. Wine's GetProcessHandleCount
// answers 0, so there they are counted by asking each possible handle value
// (Wine hands out small values) whether it is open.
inline DWORD OpenHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
        return count;
    }
    DWORD flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
        }
    }
    return count;
}

// CreateProcessW for the tests' own starts: a start that fails is tried
// twice more, 500 ms apart, since on a loaded machine Wine has refused a
// start that succeeded a moment later. A program that truly cannot start
// fails every try; its last error is printed.
inline bool StartProcess(const wchar_t* application, std::wstring& command_line, BOOL inherit,
                         DWORD flags, const wchar_t* folder, STARTUPINFOW& startup,
                         PROCESS_INFORMATION& info) {
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0)
            Sleep(500);
        if (CreateProcessW(application, command_line.data(), nullptr, nullptr, inherit, flags,
                           nullptr, folder, &startup, &info))
            return true;
        error = GetLastError();
    }
    std::fprintf(stderr, "cannot start %ls (error %lu)\n", command_line.c_str(), error);
    return false;
}

struct ProcessResult {
    bool started = false;
    DWORD exit_code = 0;
};

// Runs a command line and waits for it (up to timeout_ms; a process still
// running then is ended and reported with exit code WAIT_TIMEOUT). Its
// standard output and error go to output_file when one is given.
inline ProcessResult RunProcess(std::wstring command_line, const std::wstring& output_file = {},
                                DWORD timeout_ms = 120000) {
    ProcessResult result;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!output_file.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        output = CreateFileW(output_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (output == INVALID_HANDLE_VALUE) {
            return result;
        }
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION process{};
    result.started = StartProcess(nullptr, command_line, output != INVALID_HANDLE_VALUE,
                                  CREATE_NO_WINDOW, nullptr, startup, process);
    if (output != INVALID_HANDLE_VALUE) {
        CloseHandle(output);
    }
    if (!result.started) {
        return result;
    }
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, WAIT_TIMEOUT);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

// Copies registry keys (with all they hold) when made and puts them back as
// they were when destroyed: keys that did not exist are removed, keys that
// existed are restored. Tests that change shared registration use it.
class RegistrySnapshot {
  public:
    RegistrySnapshot(HKEY root, std::vector<std::wstring> paths) : root_(root) {
        for (auto& path : paths) {
            saved_.emplace_back(path, Capture(root_, path));
        }
    }
    ~RegistrySnapshot() { Restore(); }
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

    void Restore() const {
        for (const auto& [path, key] : saved_) {
            SHDeleteKeyW(root_, path.c_str());
            if (key) {
                Write(root_, path, *key);
            }
        }
    }

  private:
    struct Value {
        std::wstring name;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    struct Key {
        std::vector<Value> values;
        std::vector<std::pair<std::wstring, Key>> subkeys;
    };

    static std::optional<Key> Capture(HKEY parent, const std::wstring& path) {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        Key key;
        DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
        RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr, &values,
                         &max_name, &max_data, nullptr, nullptr);
        for (DWORD i = 0; i < values; ++i) {
            std::wstring name(max_name + 1, L'\0');
            DWORD name_length = max_name + 1;
            Value value;
            value.data.resize(max_data + 1);
            DWORD size = max_data + 1;
            if (RegEnumValueW(handle, i, name.data(), &name_length, nullptr, &value.type,
                              value.data.data(), &size) == ERROR_SUCCESS) {
                value.name.assign(name.data(), name_length);
                value.data.resize(size);
                key.values.push_back(std::move(value));
            }
        }
        for (DWORD i = 0; i < subkeys; ++i) {
            std::wstring name(max_subkey + 1, L'\0');
            DWORD name_length = max_subkey + 1;
            if (RegEnumKeyExW(handle, i, name.data(), &name_length, nullptr, nullptr, nullptr,
                              nullptr) == ERROR_SUCCESS) {
                name.resize(name_length);
                if (auto sub = Capture(handle, name)) {
                    key.subkeys.emplace_back(name, std::move(*sub));
                }
            }
        }
        RegCloseKey(handle);
        return key;
    }

    static void Write(HKEY parent, const std::wstring& path, const Key& key) {
        HKEY handle = nullptr;
        if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                            nullptr, &handle, nullptr) != ERROR_SUCCESS) {
            return;
        }
        for (const auto& value : key.values) {
            RegSetValueExW(handle, value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
        }
        for (const auto& [name, sub] : key.subkeys) {
            Write(handle, name, sub);
        }
        RegCloseKey(handle);
    }

    HKEY root_;
    std::vector<std::pair<std::wstring, std::optional<Key>>> saved_;
};

}  // namespace olvex::testing

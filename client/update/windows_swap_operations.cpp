#include "client/update/windows_swap_operations.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <type_traits>
#include <vector>

#include "win/unique.h"

namespace olvex::swap {
namespace {

constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kRunOnceValue[] = "qzupdstub";
constexpr DWORD kPathBuffer = 4096;

using HResultExport = HRESULT(STDAPICALLTYPE*)();

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

// The full long form of a path, for comparing; the full form alone when the
// file does not exist.
std::string Canonical(const std::string& path) {
    std::vector<char> full(kPathBuffer);
    DWORD length = GetFullPathNameA(path.c_str(), kPathBuffer, full.data(), nullptr);
    if (length == 0 || length >= kPathBuffer)
        return path;
    std::vector<char> long_form(kPathBuffer);
    const DWORD long_length = GetLongPathNameA(full.data(), long_form.data(), kPathBuffer);
    if (long_length == 0 || long_length >= kPathBuffer)
        return std::string(full.data(), length);
    return std::string(long_form.data(), long_length);
}

}  // namespace

void WindowsSwapOperations::Print(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void WindowsSwapOperations::Debug(std::string_view text) {
    OutputDebugStringA(std::string(text).c_str());
    char end_at[16] = {};
    const DWORD length = GetEnvironmentVariableA("OLVEX_SWAVEL_END_AT", end_at, sizeof(end_at));
    if (length > 0 && length < sizeof(end_at) && text == end_at)
        TerminateProcess(GetCurrentProcess(), 9);
}

void WindowsSwapOperations::Sleep(unsigned milliseconds) {
    ::Sleep(milliseconds);
}

OpenResult WindowsSwapOperations::OpenForWriting(const std::string& path) {
    const win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
        return OpenResult::kOpened;
    return IsMissing(GetLastError()) ? OpenResult::kMissing : OpenResult::kInUse;
}

NewerCheck WindowsSwapOperations::CheckNewer(const std::string& path) {
    {
        const win::UniqueHandle file(CreateFileA(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return NewerCheck::kUnreadable;
    }
    // Mapped without running its entry point or loading what it imports.
    const HMODULE library = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!library)
        return NewerCheck::kNotLoadable;
    const bool exported = GetProcAddress(library, "DllRegisterServer") != nullptr;
    FreeLibrary(library);
    return exported ? NewerCheck::kReady : NewerCheck::kNoRegisterExport;
}

ExportCall WindowsSwapOperations::CallExport(const std::string& path, const char* name) {
    ExportCall call;
    const HMODULE library = LoadLibraryA(path.c_str());
    if (!library)
        return call;
    const auto entry =
        reinterpret_cast<HResultExport>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (entry) {
        call.result = CallResult::kCalled;
        call.hresult = entry();
    } else {
        call.result = CallResult::kNoExport;
    }
    call.freed = FreeLibrary(library) != FALSE;
    return call;
}

CopyResult WindowsSwapOperations::Copy(const std::string& from, const std::string& to) {
    if (CopyFileA(from.c_str(), to.c_str(), FALSE))
        return CopyResult::kCopied;
    return IsInUse(GetLastError()) ? CopyResult::kInUse : CopyResult::kFailed;
}

CopyResult WindowsSwapOperations::Rename(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return CopyResult::kCopied;
    // A loaded DLL refuses to be replaced with "access denied".
    const DWORD error = GetLastError();
    return IsInUse(error) || error == ERROR_ACCESS_DENIED ? CopyResult::kInUse
                                                          : CopyResult::kFailed;
}

bool WindowsSwapOperations::Delete(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

bool WindowsSwapOperations::SameFile(const std::string& a, const std::string& b) {
    return lstrcmpiA(Canonical(a).c_str(), Canonical(b).c_str()) == 0;
}

std::string WindowsSwapOperations::OwnPath() {
    std::vector<char> path(kPathBuffer);
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), kPathBuffer);
    return length > 0 && length < kPathBuffer ? std::string(path.data(), length) : std::string();
}

std::optional<std::string> WindowsSwapOperations::ShortPath(const std::string& path) {
    std::vector<char> short_path(kPathBuffer);
    const DWORD length = GetShortPathNameA(path.c_str(), short_path.data(), kPathBuffer);
    if (length == 0 || length >= kPathBuffer)
        return std::nullopt;
    return std::string(short_path.data(), length);
}

bool WindowsSwapOperations::WriteRunOnce(const std::string& command) {
    HKEY opened = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &opened, nullptr) != ERROR_SUCCESS)
        return false;
    const win::UniqueKey key(opened);
    return RegSetValueExA(key.get(), kRunOnceValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
}

void WindowsSwapOperations::ClearRunOnce() {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE, &opened) != ERROR_SUCCESS)
        return;
    const win::UniqueKey key(opened);
    RegDeleteValueA(key.get(), kRunOnceValue);
}

}  // namespace olvex::swap

#include "setup/controller/win/windows_operation_host.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <array>

#include "setup/controller/win/framework.h"
#include "setup/controller/win/progress_window.h"
#include "setup/controller/win/setup_dialogs.h"
#include "setup/core/destination_check.h"
#include "setup/core/path_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The renames and deletions the system carries out at its next start, one
// item a source and target pair.
void AddPendingRenames(std::vector<std::u16string>& work) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ && bytes > 0) {
        std::u16string data(bytes / sizeof(char16_t) + 2, u'\0');
        if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &bytes) == ERROR_SUCCESS) {
            data.resize(bytes / sizeof(char16_t));
            std::vector<std::u16string> names;
            for (size_t start = 0; start < data.size();) {
                const size_t end = std::min(data.find(u'\0', start), data.size());
                names.emplace_back(data.substr(start, end - start));
                start = end + 1;
            }
            // Each entry is a source and a target (empty: a deletion).
            for (size_t i = 0; i + 1 < names.size(); i += 2) {
                if (!names[i].empty()) {
                    work.push_back(u"rename " + names[i] + u" > " + names[i + 1]);
                }
            }
        }
    }
    RegCloseKey(key);
}

void AddRunOnceValues(HKEY root, std::u16string_view root_name, std::vector<std::u16string>& work) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRunOnceKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, 16384> name{};
        std::array<wchar_t, 2048> data{};
        DWORD name_chars = static_cast<DWORD>(name.size());
        DWORD data_bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t)) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG error = RegEnumValueW(key, index, name.data(), &name_chars, nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &data_bytes);
        if (error == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
            continue;
        }
        work.push_back(u"run once " + std::u16string(root_name) + u" " + U(name.data()) + u"=" +
                       (error == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)
                            ? U(data.data())
                            : std::u16string()));
    }
    RegCloseKey(key);
}

// Windows 9x renames and deletes at its start what WININIT.INI lists.
void AddWininitLines(std::vector<std::u16string>& work) {
    const auto path = util::AppendPath(util::GetWinDir(), u"WININIT.INI");
    if (!path) {
        return;
    }
    const HANDLE file = CreateFileW(W(*path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    std::string text(64 * 1024, '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() != '[') {
            work.push_back(u"wininit " + std::u16string(line.begin(), line.end()));
        }
        start = end + 1;
    }
}

}  // namespace

int32_t WindowsOperationHost::InitializeCom() {
    return static_cast<int32_t>(CoInitialize(nullptr));
}

void WindowsOperationHost::UninitializeCom() {
    CoUninitialize();
}

uint32_t WindowsOperationHost::InitializeFramework() {
    return Framework::Instance().Initialize();
}

void WindowsOperationHost::UnloadFramework() {
    Framework::Instance().Unload();
}

uint32_t WindowsOperationHost::LoadRichEdit() {
    const HMODULE library = LoadLibraryW(L"RICHED20.DLL");
    if (!library) {
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_MOD_NOT_FOUND;
    }
    rich_edit_ = library;
    return 0;
}

void WindowsOperationHost::FreeRichEdit() {
    if (rich_edit_) {
        FreeLibrary(static_cast<HMODULE>(rich_edit_));
        rich_edit_ = nullptr;
    }
}

uint32_t WindowsOperationHost::ShowAgreement(void* owner) {
    return setup::ShowAgreement(static_cast<HWND>(owner));
}

uint32_t WindowsOperationHost::ShowProductSelection(void* owner) {
    return setup::ShowProductSelection(static_cast<HWND>(owner));
}

int32_t WindowsOperationHost::ShowDestinationDialog(void* owner, DestinationChoice& choice) {
    return static_cast<int32_t>(setup::ShowDestinationDialog(static_cast<HWND>(owner), choice));
}

void WindowsOperationHost::ShowComponentDownload(void* owner) {
    setup::ShowComponentDownload(static_cast<HWND>(owner));
}

void WindowsOperationHost::ShowWinsockDownload(void* owner, std::u16string_view product_name) {
    setup::ShowWinsockDownload(static_cast<HWND>(owner), product_name);
}

int32_t WindowsOperationHost::MessageBoxById(void* owner, uint32_t text_id, uint32_t caption_id,
                                             int32_t type) {
    return Framework::Instance().MessageBoxById(nullptr, static_cast<HWND>(owner), text_id,
                                                caption_id, type);
}

int32_t WindowsOperationHost::ShowMessageBox(void* owner, std::u16string_view text,
                                             std::u16string_view caption, int32_t type) {
    return Framework::Instance().ShowMessageBox(static_cast<HWND>(owner), text, caption, type);
}

void WindowsOperationHost::MakeTopmost(void* window) {
    if (window) {
        SetWindowPos(static_cast<HWND>(window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

void WindowsOperationHost::StartProgress(void* owner, int32_t steps) {
    ProgressWindow::Instance().Start(static_cast<HWND>(owner), steps);
}

void WindowsOperationHost::StopProgress() {
    ProgressWindow::Instance().Stop();
}

std::u16string WindowsOperationHost::ProgramFilesFolder() {
    return util::GetProgramFilesDir();
}

DestinationCode WindowsOperationHost::ValidateDestination(
    std::u16string_view path, bool check_others, std::vector<std::u16string> installed_folders) {
    return ValidateDestinationPath(path, check_others, std::move(installed_folders));
}

std::u16string WindowsOperationHost::ModuleFileName() {
    return util::GetCurrentAppModuleName();
}

void WindowsOperationHost::RemoveCleanupCopies() {
    const std::u16string own = util::GetCurrentAppPath();
    const std::u16string folder = util::GetCurrentAppDir();
    if (own.empty() || folder.empty()) {
        return;
    }
    util::DeleteFileNowOrAtReboot(own);
    std::u16string base = folder;
    if (base.back() != u'\\') {
        base += u'\\';
    }
    if (util::IsWin9x()) {
        util::DeleteFileNowOrAtReboot(base + u"unicows.dll");
    }
    WIN32_FIND_DATAW found{};
    const std::u16string pattern = base + u"xjcu_*.exe";
    const HANDLE search = FindFirstFileW(W(pattern), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            util::DeleteFileNowOrAtReboot(base + U(found.cFileName));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::vector<std::u16string> WindowsOperationHost::RestartWork() {
    std::vector<std::u16string> work;
    AddPendingRenames(work);
    AddRunOnceValues(HKEY_LOCAL_MACHINE, u"HKLM", work);
    AddRunOnceValues(HKEY_CURRENT_USER, u"HKCU", work);
    AddWininitLines(work);
    return work;
}

}  // namespace olvex::setup

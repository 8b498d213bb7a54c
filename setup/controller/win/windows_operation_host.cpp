#include "setup/controller/win/windows_operation_host.h"

#include <objbase.h>
#include <windows.h>

#include "setup/controller/win/framework.h"
#include "setup/controller/win/progress_window.h"
#include "setup/controller/win/setup_dialogs.h"
#include "setup/core/destination_check.h"
#include "setup/core/path_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {

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

}  // namespace olvex::setup

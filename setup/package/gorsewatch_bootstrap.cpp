// Gorsewatch.exe: installs Gorsewatch.msi, which lies beside it, through
// msiexec with the properties of its /v argument, waits, and exits with
// msiexec's exit code (1603 when msiexec cannot be started).
#include <windows.h>

#include <msi.h>

#include <string>

#include "setup/core/win_text.h"
#include "setup/package/package_arguments.h"

namespace {

constexpr wchar_t kProductCode[] = L"{69383EC0-27AB-4173-A77C-2F2FB034E57F}";
constexpr wchar_t kPackage[] = L"Gorsewatch.msi";
constexpr DWORD kInstallFailure = 1603;

std::u16string BesideProgram(const wchar_t* file) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.rfind(L'\\') + 1);
    return olvex::setup::U(path + file);
}

std::u16string SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? olvex::setup::U(folder) + u"\\" : u"";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace olvex::setup;
    const std::u16string own = U(GetCommandLineW());
    const auto properties =
        package::InstallerProperties(package::SplitArguments(package::SkipProgramName(own)));
    const bool installed = MsiQueryProductStateW(kProductCode) == INSTALLSTATE_DEFAULT;
    std::u16string command =
        u"\"" + SystemFolder() + u"msiexec.exe\" " +
        package::InstallerArguments(BesideProgram(kPackage), properties.value_or(u""), installed);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, W(command), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return static_cast<int>(kInstallFailure);
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = kInstallFailure;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// The desktop shortcut of an installed product that became part of the
// suite: it starts the suite's security centre instead of this program.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <array>
#include <string>

#include "client/common/client_environment.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "olvex/com/com_ptr.h"

namespace olvex {
namespace {

std::string DesktopFolder(int csidl) {
    std::array<char, MAX_PATH + 1> folder{};
    if (!SHGetSpecialFolderPathA(nullptr, folder.data(), csidl, FALSE))
        return {};
    return folder.data();
}

std::wstring Wide(const std::string& ansi) {
    std::array<wchar_t, MAX_PATH + 1> wide{};
    if (MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(),
                            static_cast<int>(wide.size())) == 0)
        return {};
    return wide.data();
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void UpdateDesktopShortcut() {
    com::ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.PutVoid())) ||
        !link)
        return;
    com::ComPtr<IPersistFile> file;
    if (FAILED(link.As(file)) || !file)
        return;

    const std::string name = AnsiResourceText(IDS_SHORTCUT_NAME);
    std::wstring path;
    for (const int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOP}) {
        const std::string folder = DesktopFolder(csidl);
        if (folder.empty())
            continue;
        const std::wstring candidate = Wide(JoinPath(folder, name));
        if (!candidate.empty() && SUCCEEDED(file->Load(candidate.c_str(), STGM_SHARE_DENY_WRITE))) {
            path = candidate;
            break;
        }
    }
    if (path.empty())
        return;

    const std::string program = GetInstallFolder() + AnsiResourceText(IDS_PROGRAM_FILE_NAME);
    std::array<char, MAX_PATH + 1> target{};
    WIN32_FIND_DATAA found{};
    if (FAILED(link->GetPath(target.data(), MAX_PATH, &found, SLGP_UNCPRIORITY)) ||
        lstrcmpiA(target.data(), program.c_str()) != 0)
        return;
    // Only a suite that holds its security centre takes the shortcut over: a
    // shortcut to a missing program would start nothing.
    const std::string suite_program = GetSuiteFolder() + AnsiResourceText(IDS_SUITE_PROGRAM);
    if (!FileExists(suite_program))
        return;
    if (SUCCEEDED(link->SetPath(suite_program.c_str())) &&
        SUCCEEDED(link->SetArguments(AnsiResourceText(IDS_SUITE_PROGRAM_SWITCH).c_str())))
        file->Save(path.c_str(), TRUE);
}

}  // namespace olvex

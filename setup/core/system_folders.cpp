#include <windows.h>

#include <mutex>

#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/utility_messages.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

constexpr char16_t kShellFolders[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::u16string ModulePath() {
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, W(path), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) {
            return {};
        }
        path.resize(path.size() * 2);
    }
}

const std::u16string& CachedModulePath() {
    static const std::u16string path = ModulePath();
    return path;
}

std::u16string ShellFolder(HKEY root, std::u16string_view name) {
    return ReadRegistryString(root, kShellFolders, name, MAX_PATH * sizeof(wchar_t)).value_or(u"");
}

bool IsDirectory(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::u16string GetCurrentAppPath() {
    const std::u16string& path = CachedModulePath();
    if (path.empty()) {
        ReportUtilityMessage(msg::kLookupFailed, u"GetCurrentAppPath");
    }
    return path;
}

std::u16string GetCurrentAppDir() {
    const std::u16string& path = CachedModulePath();
    const size_t at = path.rfind(u'\\');
    if (at == std::u16string::npos) {
        ReportUtilityMessage(msg::kLookupFailed, u"GetCurrentAppDir");
        return {};
    }
    return path.substr(0, at);
}

std::u16string GetCurrentAppModuleName() {
    const std::u16string& path = CachedModulePath();
    const size_t at = path.rfind(u'\\');
    if (at == std::u16string::npos) {
        ReportUtilityMessage(msg::kLookupFailed, u"GetCurrentAppModuleName:1");
        return {};
    }
    return path.substr(at + 1);
}

std::u16string GetWinDir() {
    const auto folder =
        ReadRegistryString(HKEY_LOCAL_MACHINE,
                           IsWin9x() ? u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
                                     : u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           u"SystemRoot", MAX_PATH * sizeof(wchar_t));
    if (!folder || folder->empty()) {
        ReportUtilityMessage(msg::kLookupFailed, u"GetWinDir");
        return {};
    }
    return *folder;
}

std::u16string GetWinSysDir() {
    std::u16string folder(MAX_PATH, u'\0');
    const UINT length = GetSystemDirectoryW(W(folder), MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        folder.resize(length);
        return folder;
    }
    const std::u16string windows = GetWinDir();
    if (windows.empty()) {
        return {};
    }
    return AppendPath(windows, IsWin9x() ? u"System" : u"System32").value_or(u"");
}

std::u16string GetWindowsDrive() {
    const std::u16string windows = GetWinDir();
    const size_t colon = windows.find(u':');
    return colon == std::u16string::npos ? std::u16string{} : windows.substr(0, colon + 1);
}

std::u16string GetProgramFilesDir() {
    const auto folder =
        ReadRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                           u"ProgramFilesDir", MAX_PATH * sizeof(wchar_t));
    if (!folder || folder->empty()) {
        ReportUtilityMessage(msg::kLookupFailed, u"GetProgramFilesDir");
        return {};
    }
    return *folder;
}

std::u16string GetDocumentsDir(bool common) {
    if (!common) {
        return ShellFolder(HKEY_CURRENT_USER, u"Personal");
    }
    const auto profiles = ReadRegistryString(
        HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
        u"ProfilesDirectory", MAX_PATH * sizeof(wchar_t));
    if (profiles && !profiles->empty()) {
        return *profiles;
    }
    return ReadRegistryString(HKEY_USERS, std::u16string(u".DEFAULT\\") + kShellFolders,
                              u"Personal", MAX_PATH * sizeof(wchar_t))
        .value_or(u"");
}

std::u16string GetStartProgramsDir(bool common) {
    return common && !IsWin9x() ? ShellFolder(HKEY_LOCAL_MACHINE, u"Common Programs")
                                : ShellFolder(HKEY_CURRENT_USER, u"Programs");
}

std::u16string GetDesktopDir(bool common) {
    return common && !IsWin9x() ? ShellFolder(HKEY_LOCAL_MACHINE, u"Common Desktop")
                                : ShellFolder(HKEY_CURRENT_USER, u"Desktop");
}

std::u16string GetTempDir() {
    const std::u16string windows = GetWinDir();
    const std::u16string system = GetWinSysDir();
    const auto acceptable = [&](const std::u16string& folder) {
        return !folder.empty() && !(!windows.empty() && EqualsNoCase(folder, windows)) &&
               !(!system.empty() && util::ComparePaths(folder, system, false));
    };
    const auto variable = [](const char16_t* name) {
        return ExpandSystemMacros(std::u16string(u"%") + name + u"%").value_or(u"");
    };
    for (const char16_t* name : {u"TMP", u"TEMP"}) {
        std::u16string folder = variable(name);
        TrimPathEnd(folder);
        if (acceptable(folder) && IsDirectory(folder)) {
            return folder;
        }
    }
    for (std::u16string folder :
         {variable(u"TMP"), variable(u"TEMP"), std::u16string(u"C:\\TEMP")}) {
        TrimPathEnd(folder);
        if (!acceptable(folder)) {
            continue;
        }
        const DWORD error = CreateDirectoryPath(folder);
        if ((error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS) && IsDirectory(folder)) {
            return folder;
        }
    }
    ReportUtilityMessage(msg::kLookupFailed, u"GetTempDir");
    return {};
}

std::optional<std::u16string> GetSetupFilePath(std::optional<std::u16string_view> file,
                                               std::optional<std::u16string_view> product_tag) {
    const std::u16string folder = GetCurrentAppDir();
    if (folder.empty()) {
        return std::nullopt;
    }
    auto path = AppendPath(folder, product_tag);
    if (path && file) {
        path = AppendPath(*path, *file);
    }
    return path;
}

std::u16string ReadRegistryDirectory(std::u16string_view key, std::u16string_view value) {
    std::u16string folder =
        ReadRegistryString(HKEY_LOCAL_MACHINE, key, value, MAX_PATH * sizeof(wchar_t))
            .value_or(u"");
    if (!folder.empty() && !EnsureTrailingChar(folder, u'\\')) {
        return {};
    }
    return folder;
}

MacroLookups SystemMacroLookups() {
    MacroLookups lookups;
    lookups.environment = [](std::u16string_view name) -> std::optional<std::u16string> {
        if (name.empty()) {
            return std::nullopt;
        }
        const std::u16string key(name);
        const DWORD needed = GetEnvironmentVariableW(W(key), nullptr, 0);
        if (needed == 0) {
            return std::nullopt;
        }
        std::u16string value(needed, u'\0');
        const DWORD length = GetEnvironmentVariableW(W(key), W(value), needed);
        if (length == 0 || length >= needed) {
            return length == 0 ? std::optional<std::u16string>(u"") : std::nullopt;
        }
        value.resize(length);
        return value;
    };
    const auto non_empty = [](std::u16string text) -> std::optional<std::u16string> {
        if (text.empty()) {
            return std::nullopt;
        }
        return text;
    };
    lookups.windows_folder = [non_empty] { return non_empty(GetWinDir()); };
    lookups.system_folder = [non_empty] { return non_empty(GetWinSysDir()); };
    lookups.windows_drive = [non_empty] { return non_empty(GetWindowsDrive()); };
    return lookups;
}

std::optional<std::u16string> ExpandSystemMacros(std::u16string_view text) {
    return util::ExpandSystemMacros(text, SystemMacroLookups());
}

std::optional<std::u16string> ShortPathForm(std::u16string_view path) {
    // The longest existing folder of the path gets its short form; what
    // does not exist yet follows as written.
    std::u16string existing(path);
    std::u16string rest;
    while (!existing.empty()) {
        const DWORD needed = GetShortPathNameW(W(existing), nullptr, 0);
        if (needed > 0) {
            std::u16string short_form(needed, u'\0');
            const DWORD length = GetShortPathNameW(W(existing), W(short_form), needed);
            if (length > 0 && length < needed) {
                short_form.resize(length);
                return short_form + rest;
            }
        }
        const size_t at = existing.rfind(u'\\');
        const bool root = existing.size() <= 3 && existing.size() >= 2 && existing[1] == u':';
        if (at == std::u16string::npos || at == 0 || root) {
            return std::nullopt;
        }
        rest.insert(0, existing.substr(at));
        existing.resize(at);
        if (existing.size() == 2 && existing[1] == u':') {
            existing.push_back(u'\\');
            rest.erase(0, 1);
        }
    }
    return std::nullopt;
}

PathLookups SystemPathLookups() {
    PathLookups lookups;
    lookups.expand = [](std::u16string_view text) { return ExpandSystemMacros(text); };
    lookups.short_form = [](std::u16string_view text) { return ShortPathForm(text); };
    return lookups;
}

bool ComparePaths(std::u16string_view path, std::u16string_view reference, bool exact) {
    return util::ComparePaths(path, reference, exact, SystemPathLookups());
}

}  // namespace olvex::setup::util

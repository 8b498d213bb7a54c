// The stand-in's actions: questions, files and registry values, each
// leaving exactly what the real member's program would leave for setup
// to read.
#include <windows.h>

#include <optional>

#include "setup/products/member_packaging.h"
#include "setup/tools/standin_program.h"

namespace olvex::standin {
namespace {

bool Ask(const Program& program, const std::wstring& title, const std::wstring& text) {
    if (MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_YESNO | MB_SETFOREGROUND) == IDYES) {
        return true;
    }
    program.Log(L"answered no: " + title);
    return false;
}

bool HasWildcard(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return path.find_first_of(L"*?", slash == std::wstring::npos ? 0 : slash + 1) !=
           std::wstring::npos;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// "X:\..." or "\\server\...": not relative to a current folder or drive.
bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') ||
           (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\');
}

bool IsDots(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// The folder and its missing parents.
bool CreateFolders(const std::wstring& folder) {
    if (folder.empty()) {
        return true;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const std::wstring parent = FolderOf(folder);
    if (!parent.empty() && parent != folder && !(parent.size() == 2 && parent[1] == L':')) {
        if (!CreateFolders(parent)) {
            return false;
        }
    }
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The files a path names: the file itself, or every match of a wildcard
// in its last component (folders only when `with_folders`).
std::vector<std::wstring> Matches(const std::wstring& path, bool with_folders) {
    if (!HasWildcard(path)) {
        return {path};
    }
    std::vector<std::wstring> found;
    const std::wstring folder = FolderOf(path);
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        const bool is_folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (IsDots(data.cFileName) || (is_folder && !with_folders)) {
            continue;
        }
        found.push_back(folder.empty() ? data.cFileName : folder + L"\\" + data.cFileName);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

// A link, itself: what it points to is no part of the tree. (Wine cannot
// remove its Unix links to folders; such a link stays.)
bool RemoveLink(const std::wstring& path) {
    return RemoveDirectoryW(path.c_str()) || DeleteFileW(path.c_str());
}

// A file, or a folder with everything in it; nothing to do when it is
// missing. A reparse point (a link) is
// removed itself: what it points to is left alone.
bool DeleteTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(path.c_str()) != 0;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return RemoveLink(path);
    }
    for (const std::wstring& child : Matches(path + L"\\*", true)) {
        DeleteTree(child);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY);
    return RemoveDirectoryW(path.c_str()) != 0;
}

// Only below a drive's root, named from the root: a relative path, a root
// or every entry of a root is refused.
bool DeletePath(const std::wstring& path) {
    if (!IsAbsolute(path) || path.size() < 4 || (HasWildcard(path) && FolderOf(path).size() <= 2)) {
        return false;
    }
    if (!HasWildcard(path)) {
        return DeleteTree(path);
    }
    bool all = true;
    for (const std::wstring& match : Matches(path, true)) {
        all = DeleteTree(match) && all;
    }
    return all;
}

// Copies one file; a target ending in "\" (or any target of a wildcard
// copy) is a folder that keeps the file's name.
bool CopyOne(const std::wstring& from, const std::wstring& to, bool to_folder) {
    std::wstring target = to;
    if (to_folder) {
        if (!target.empty() && target.back() != L'\\') {
            target += L'\\';
        }
        target += NameOf(from);
    }
    if (!CreateFolders(FolderOf(target))) {
        return false;
    }
    return CopyFileW(from.c_str(), target.c_str(), FALSE) != 0;
}

bool CopyPath(const Program& program, std::wstring from, const std::wstring& to) {
    if (!IsAbsolute(from)) {
        from = program.folder() + L"\\" + from;
    }
    const bool wildcard = HasWildcard(from);
    const bool to_folder = wildcard || (!to.empty() && to.back() == L'\\');
    const std::vector<std::wstring> sources = Matches(from, false);
    if (sources.empty()) {
        return false;
    }
    bool all = true;
    for (const std::wstring& source : sources) {
        all = CopyOne(source, to, to_folder) && all;
    }
    return all;
}

bool CopyArgument(const Program& program, const std::wstring& name, const std::wstring& to) {
    const std::optional<std::u16string> source = SwitchValue(U16(program.arguments()), U16(name));
    if (!source || source->empty()) {
        return false;
    }
    return CopyOne(Wide(*source), to, !to.empty() && to.back() == L'\\');
}

struct KeyPath {
    HKEY root = nullptr;
    std::wstring key;
};

std::optional<KeyPath> ParseKeyPath(const std::wstring& text) {
    const size_t slash = text.find(L'\\');
    const std::wstring root = text.substr(0, slash);
    KeyPath path;
    if (_wcsicmp(root.c_str(), L"HKLM") == 0 ||
        _wcsicmp(root.c_str(), L"HKEY_LOCAL_MACHINE") == 0) {
        path.root = HKEY_LOCAL_MACHINE;
    } else if (_wcsicmp(root.c_str(), L"HKCU") == 0 ||
               _wcsicmp(root.c_str(), L"HKEY_CURRENT_USER") == 0) {
        path.root = HKEY_CURRENT_USER;
    } else {
        return std::nullopt;
    }
    if (slash == std::wstring::npos || slash + 1 >= text.size()) {
        return std::nullopt;
    }
    path.key = text.substr(slash + 1);
    return path;
}

bool WriteValue(const std::vector<std::wstring>& fields) {
    const std::optional<KeyPath> path = ParseKeyPath(fields[0]);
    if (!path) {
        return false;
    }
    const std::wstring& type = fields[2];
    const std::wstring& data = fields[3];
    HKEY key = nullptr;
    if (RegCreateKeyExW(path->root, path->key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const wchar_t* value_name = fields[1].empty() ? nullptr : fields[1].c_str();
    LONG result = ERROR_INVALID_PARAMETER;
    if (_wcsicmp(type.c_str(), L"sz") == 0 || _wcsicmp(type.c_str(), L"expand") == 0) {
        const DWORD kind = _wcsicmp(type.c_str(), L"sz") == 0 ? REG_SZ : REG_EXPAND_SZ;
        result =
            RegSetValueExW(key, value_name, 0, kind, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    } else if (_wcsicmp(type.c_str(), L"dword") == 0) {
        if (const std::optional<uint32_t> number = ParseDword(U16(data))) {
            const DWORD value = *number;
            result = RegSetValueExW(key, value_name, 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&value), sizeof(value));
        }
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool DeleteKeyTree(HKEY root, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, name.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t child[256];
    while (true) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS ||
            !DeleteKeyTree(key, child)) {
            break;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyW(root, name.c_str()) == ERROR_SUCCESS;
}

bool DeleteValue(const std::vector<std::wstring>& fields) {
    const std::optional<KeyPath> path = ParseKeyPath(fields[0]);
    if (!path) {
        return false;
    }
    // As with files, a key or value that is not there is no failure.
    if (fields[1] == L"*") {
        HKEY probe = nullptr;
        const LONG opened = RegOpenKeyExW(path->root, path->key.c_str(), 0, KEY_READ, &probe);
        if (opened == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        if (opened == ERROR_SUCCESS) {
            RegCloseKey(probe);
        }
        return DeleteKeyTree(path->root, path->key);
    }
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(path->root, path->key.c_str(), 0, KEY_SET_VALUE, &key);
    if (opened != ERROR_SUCCESS) {
        return opened == ERROR_FILE_NOT_FOUND;
    }
    const LONG result = RegDeleteValueW(key, fields[1].empty() ? nullptr : fields[1].c_str());
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// Runs every numbered value of a key: `fields` fields each, expanded, given
// to `step`; failures logged.
template <typename Step>
void RunNumbered(const Program& program, const std::wstring& key, size_t fields, Step step) {
    const std::vector<std::wstring> values = program.NumberedSettings(key);
    for (size_t i = 0; i < values.size(); ++i) {
        std::optional<std::vector<std::wstring>> parts = Fields(values[i], fields);
        bool done = false;
        if (parts && program.CanExpand(values[i])) {
            for (std::wstring& part : *parts) {
                part = program.Expand(part);
            }
            done = step(*parts);
        }
        if (!done) {
            program.Log(L"failed: " + key + std::to_wstring(i + 1) + L"=" + values[i]);
        }
    }
}

}  // namespace

bool AskQuestions(const Program& program) {
    if (_wcsicmp(program.Setting(L"askset").c_str(), L"firewall") == 0) {
        for (const setup::FirewallQuestion& question : setup::kFirewallQuestions) {
            const std::wstring title(reinterpret_cast<const wchar_t*>(question.title));
            if (!Ask(program, title,
                     title +
                         L"\n\nChoose Yes to continue with the installation, No to cancel it.")) {
                return false;
            }
        }
    }
    for (const std::wstring& value : program.NumberedSettings(L"ask")) {
        const std::vector<std::wstring> parts =
            Fields(value, 2).value_or(std::vector<std::wstring>{value, L""});
        if (!Ask(program, program.Expand(parts[0]), program.Expand(parts[1]))) {
            return false;
        }
    }
    return true;
}

void RunActions(const Program& program) {
    RunNumbered(program, L"copyarg", 2, [&](const std::vector<std::wstring>& parts) {
        return CopyArgument(program, parts[0], parts[1]);
    });
    RunNumbered(program, L"delete", 1,
                [](const std::vector<std::wstring>& parts) { return DeletePath(parts[0]); });
    RunNumbered(program, L"copy", 2, [&](const std::vector<std::wstring>& parts) {
        return CopyPath(program, parts[0], parts[1]);
    });
    RunNumbered(program, L"reg", 4, WriteValue);
    RunNumbered(program, L"unreg", 2, DeleteValue);
}

}  // namespace olvex::standin

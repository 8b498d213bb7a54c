#include "olvex/remedy/folder_tree.h"

#include <windows.h>

#include <vector>

#include "win/unique.h"

namespace olvex {
namespace {

bool IsDotEntry(const char* name) {
    return (name[0] == '.' && name[1] == '\0') ||
           (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool CopyFolderTree(const std::string& source, const std::string& destination) {
    if (source.size() <= 3)
        return false;
    if (!CreateDirectoryA(destination.c_str(), nullptr) && !IsFolder(destination))
        return false;
    WIN32_FIND_DATAA found;
    win::UniqueFind find(FindFirstFileA((source + "\\*.*").c_str(), &found));
    if (!find) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    do {
        if (IsDotEntry(found.cFileName))
            continue;
        const std::string from = source + "\\" + found.cFileName;
        const std::string to = destination + "\\" + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                continue;  // a link to elsewhere: not part of this tree
            if (!CopyFolderTree(from, to))
                return false;
        } else if (!CopyFileA(from.c_str(), to.c_str(), FALSE) &&
                   GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
    } while (FindNextFileA(find.get(), &found));
    return true;
}

bool RemoveFolderTree(const std::string& folder) {
    if (folder.size() < 4)
        return false;
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAA found;
        win::UniqueFind find(FindFirstFileA((folder + "\\*.*").c_str(), &found));
        if (find) {
            do {
                if (IsDotEntry(found.cFileName))
                    continue;
                const std::string path = folder + "\\" + found.cFileName;
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(path.c_str());
                } else if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    RemoveDirectoryA(path.c_str());
                } else {
                    RemoveFolderTree(path);
                }
            } while (FindNextFileA(find.get(), &found));
        }
    }
    return RemoveDirectoryA(folder.c_str()) != 0;
}

void CreateParentFolders(const std::string& path) {
    std::vector<char> full(32768);
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return;
    const std::string target(full.data(), length);
    std::size_t root_end = 0;
    if (target.size() >= 3 && target[1] == ':' && target[2] == '\\') {
        root_end = 3;
    } else if (target.rfind("\\\\", 0) == 0) {
        // \\server\share\ is the root of a share.
        const auto server_end = target.find('\\', 2);
        const auto share_end =
            server_end == std::string::npos ? server_end : target.find('\\', server_end + 1);
        if (share_end == std::string::npos)
            return;
        root_end = share_end + 1;
    } else {
        return;
    }
    for (auto slash = target.find('\\', root_end); slash != std::string::npos;
         slash = target.find('\\', slash + 1)) {
        const auto prefix = target.substr(0, slash);
        if (!IsFolder(prefix) && !CreateDirectoryA(prefix.c_str(), nullptr))
            return;
    }
}

std::string SystemErrorText(unsigned long error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    if (text.empty())
        text = "error " + std::to_string(error);
    return text;
}

}  // namespace olvex

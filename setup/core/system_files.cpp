#include <windows.h>

#include "win/unique.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/utility_messages.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

bool IsDots(const wchar_t* name) {
    return (name[0] == L'.' && name[1] == 0) ||
           (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// Visits every entry of a folder but "." and ".."; false when the folder
// cannot be listed (nothing visited).
template <class Visit>
bool ForEachEntry(std::u16string_view folder, Visit visit, DWORD* error = nullptr) {
    const std::u16string pattern = AppendPath(folder, u"*", 32768).value_or(u"");
    WIN32_FIND_DATAW found{};
    const win::UniqueFind find(FindFirstFileW(W(pattern), &found));
    if (!find) {
        if (error) {
            *error = GetLastError();
        }
        return false;
    }
    do {
        if (!IsDots(found.cFileName)) {
            visit(found);
        }
    } while (FindNextFileW(find.get(), &found));
    if (error) {
        const DWORD last = GetLastError();
        *error = last == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : last;
    }
    return true;
}

void AddFailure(std::vector<std::u16string>* failures, std::u16string name) {
    if (failures) {
        failures->push_back(std::move(name));
    }
}

}  // namespace

bool FileExists(std::u16string_view path) {
    if (path.empty()) {
        return false;
    }
    const std::u16string text(path);
    WIN32_FIND_DATAW found{};
    const win::UniqueFind find(FindFirstFileW(W(text), &found));
    return static_cast<bool>(find);
}

DWORD CreateDirectoryPath(std::u16string_view path) {
    std::u16string folder(path);
    TrimTrailingBackslashes(folder);
    if (folder.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    // Levels that must exist already: the drive ("C:") or the share
    // ("\\server\share").
    size_t start = 0;
    if (folder.size() >= 2 && folder[1] == u':') {
        start = 3;
    } else if (folder.rfind(u"\\\\", 0) == 0) {
        const size_t server_end = folder.find(u'\\', 2);
        const size_t share_end =
            server_end == std::u16string::npos ? server_end : folder.find(u'\\', server_end + 1);
        start = share_end == std::u16string::npos ? folder.size() : share_end + 1;
    }
    DWORD error = ERROR_SUCCESS;
    for (size_t end = folder.find(u'\\', start);; end = folder.find(u'\\', end + 1)) {
        const std::u16string level =
            folder.substr(0, end == std::u16string::npos ? folder.size() : end);
        error = CreateDirectoryW(W(level), nullptr) ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
        if (end == std::u16string::npos) {
            break;
        }
    }
    if (error == ERROR_ALREADY_EXISTS) {
        const DWORD attributes = GetFileAttributesW(W(folder));
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            // A file of that name is in the way.
            error = ERROR_FILE_EXISTS;
        }
    }
    if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
        ReportUtilityMessage(msg::kFolderCreation, folder, error);
    }
    return error;
}

std::optional<std::u16string> FindUnusedFileName(std::u16string_view folder,
                                                 std::u16string_view format, uint32_t first,
                                                 uint32_t last) {
    const auto exists = [&](const std::u16string& name) {
        const auto path = AppendPath(folder, name);
        // A name that does not fit counts as taken.
        return !path || FileExists(*path);
    };
    const auto name = FindUnusedNumberedName(format, first, last, exists);
    if (!name) {
        return std::nullopt;
    }
    return AppendPath(folder, *name);
}

std::optional<std::u16string> UnusedSiblingName(std::u16string_view path) {
    return util::UnusedSiblingName(
        path, [](const std::u16string& candidate) { return FileExists(candidate); });
}

bool CopyFileToDirectory(std::u16string_view from_folder, std::u16string_view to_folder,
                         std::u16string_view file, std::optional<std::u16string_view> new_name,
                         std::vector<std::u16string>* failures) {
    const auto source = AppendPath(from_folder, file);
    const auto target = AppendPath(to_folder, new_name.value_or(file));
    bool copied = false;
    if (source && target) {
        const DWORD attributes = GetFileAttributesW(W(*target));
        const bool read_only =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        if (read_only) {
            SetFileAttributesW(W(*target), attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        copied = CopyFileW(W(*source), W(*target), FALSE) != FALSE;
        if (read_only) {
            SetFileAttributesW(W(*target), attributes);
        }
    }
    if (!copied) {
        const std::u16string name(file);
        ReportUtilityMessage(msg::kCopyFailed, name, GetLastError());
        AddFailure(failures, name);
    }
    return copied;
}

bool DeleteDirectoryTree(std::u16string_view folder, bool recursive,
                         std::vector<std::u16string>* failures) {
    if (folder.empty()) {
        return false;
    }
    bool complete = true;
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& found) {
        const std::u16string path = AppendPath(folder, U(found.cFileName), 32768).value_or(u"");
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (DeleteFileNowOrAtReboot(path) == DeleteOutcome::kFailed) {
                complete = false;
                AddFailure(failures, path);
            }
            return;
        }
        if (!recursive) {
            return;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link to another folder: remove the link, never what it
            // points to.
            SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
            if (!RemoveDirectoryW(W(path)) && !DeleteFileW(W(path))) {
                complete = false;
                AddFailure(failures, path);
            }
            return;
        }
        complete = DeleteDirectoryTree(path, true, failures) && complete;
    });
    if (recursive) {
        const std::u16string path(folder);
        SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
        if (!RemoveDirectoryW(W(path))) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                complete = false;
                AddFailure(failures, path);
            }
        }
    }
    return complete;
}

bool RemoveEmptyDirectories(std::u16string_view folder, bool walk_up) {
    std::u16string current(folder);
    TrimTrailingBackslashes(current);
    bool first_removed = false;
    bool first = true;
    while (!current.empty()) {
        bool empty = true;
        DWORD error = ERROR_SUCCESS;
        const bool listed = ForEachEntry(
            current, [&](const WIN32_FIND_DATAW&) { empty = false; }, &error);
        const bool removed = listed && empty && RemoveDirectoryW(W(current));
        if (first) {
            first_removed = removed;
            first = false;
        }
        if (!removed || !walk_up) {
            break;
        }
        const size_t at = current.rfind(u'\\');
        if (at == std::u16string::npos || (at == 2 && current[1] == u':')) {
            break;
        }
        current.resize(at);
    }
    return first_removed;
}

bool HasSubdirectories(std::u16string_view folder) {
    bool found_folder = false;
    DWORD error = ERROR_SUCCESS;
    const bool listed = ForEachEntry(
        folder,
        [&](const WIN32_FIND_DATAW& found) {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                found_folder = true;
            }
        },
        &error);
    if (!listed) {
        return !(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                 error == ERROR_NO_MORE_FILES);
    }
    return found_folder || error != ERROR_SUCCESS;
}

}  // namespace olvex::setup::util

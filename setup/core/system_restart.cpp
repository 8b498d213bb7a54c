#include <windows.h>

#include "win/unique.h"
#include "setup/core/setup_file.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"
#include "setup/core/wininit_editor.h"

namespace olvex::setup::util {
namespace {

// A WININIT.INI line holds at most this many characters.
constexpr size_t kMaxWininitLine = 552;

bool IsBusy(DWORD error) {
    // Access denied: a running program's file; sharing and lock
    // violations: a file held open (Wine gives 32 for it).
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// Clears read-only, hidden and system; a file becomes normal, a folder keeps
// its other attributes. The attributes before, or INVALID when missing.
DWORD MakeWritable(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(W(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return attributes;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        SetFileAttributesW(W(path), attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM));
    } else {
        SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
    }
    return attributes;
}

// The ANSI text, or nullopt when a character has no ANSI form (Windows 9x
// would act on another file).
std::optional<std::string> ExactAnsi(const std::u16string& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, W(text), static_cast<int>(text.size()), nullptr,
                                         0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, W(text), static_cast<int>(text.size()), out.data(), size,
                        nullptr, &lossy);
    if (size <= 0 || lossy) {
        return std::nullopt;
    }
    return out;
}

// Windows 9x carries out WININIT.INI before the long-name file system is
// up: it needs the short forms.
bool ScheduleInWininit(const std::u16string& source, const std::optional<std::u16string>& target) {
    const std::u16string windows = GetWinDir();
    if (windows.empty()) {
        return false;
    }
    const auto ini_path = AppendPath(windows, u"WININIT.INI");
    const auto short_source = ShortPathForm(source);
    const auto short_target =
        target ? ShortPathForm(*target) : std::optional<std::u16string>(u"NUL");
    if (!ini_path || !short_source || !short_target) {
        return false;
    }
    const auto line = ExactAnsi(*short_target + u"=" + *short_source);
    if (!line || line->size() > kMaxWininitLine) {
        return false;
    }
    std::string text;
    SetupFile file;
    if (!file.Open(*ini_path, SetupFile::kReadWrite)) {
        return false;
    }
    uint64_t size = 0;
    if (!file.GetSize(size) || size > (1u << 24)) {
        return false;
    }
    text.resize(static_cast<size_t>(size));
    DWORD read = 0;
    if (size > 0 &&
        (!file.ReadAt(0, text.data(), static_cast<DWORD>(size), read) || read != size)) {
        return false;
    }
    const std::string edited = AddRenameLine(text, *line);
    return file.WriteAt(0, edited.data(), static_cast<DWORD>(edited.size())) &&
           file.SetSize(edited.size());
}

}  // namespace

DeleteOutcome DeleteFileNowOrAtReboot(std::u16string_view path) {
    if (path.empty()) {
        return DeleteOutcome::kFailed;
    }
    const std::u16string text(path);
    const DWORD attributes = MakeWritable(text);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? DeleteOutcome::kDeleted
                   : DeleteOutcome::kFailed;
    }
    const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (folder ? RemoveDirectoryW(W(text)) : DeleteFileW(W(text))) {
        return DeleteOutcome::kDeleted;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        return DeleteOutcome::kDeleted;
    }
    if (IsBusy(error) && RenameAtReboot(text, std::nullopt)) {
        return DeleteOutcome::kPending;
    }
    return DeleteOutcome::kFailed;
}

bool RenameAtReboot(std::u16string_view path, std::optional<std::u16string_view> new_path) {
    if (path.empty()) {
        return false;
    }
    const std::u16string original(path);
    std::optional<std::u16string> target;
    if (new_path) {
        target = std::u16string(*new_path);
        MakeWritable(*target);
    }
    const bool exists = MakeWritable(original) != INVALID_FILE_ATTRIBUTES;
    if (!exists && target) {
        return false;
    }
    std::u16string source = original;
    if (!target && exists) {
        // Moved aside now, so that a new copy can take the name at once.
        const auto aside = UnusedSiblingName(original);
        if (aside && MoveFileExW(W(original), W(*aside), 0)) {
            source = *aside;
        }
    }
    if (IsWin9x()) {
        return ScheduleInWininit(source, target);
    }
    return MoveFileExW(W(source), target ? W(*target) : nullptr,
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

}  // namespace olvex::setup::util

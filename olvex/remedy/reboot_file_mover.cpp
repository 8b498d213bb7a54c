#include "olvex/remedy/reboot_file_mover.h"

#include <array>
#include <cstring>
#include <vector>

#include "olvex/core/file_io.h"
#include "olvex/core/os_utilities.h"
#include "win/unique.h"

namespace olvex {
namespace {

constexpr DWORD kPathBuffer = 4096;

std::string WithBackslash(std::string folder) {
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string ShortPath(const std::string& path) {
    std::vector<char> buffer(kPathBuffer);
    const DWORD length = GetShortPathNameA(path.c_str(), buffer.data(), kPathBuffer);
    return length > 0 && length < kPathBuffer ? std::string(buffer.data(), length) : std::string();
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text.data(),
                          static_cast<int>(prefix.size()), prefix.data(),
                          static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

}  // namespace

RebootMoverPlaces RebootMoverPlaces::FromSystem() {
    RebootMoverPlaces places;
    std::array<char, MAX_PATH + 1> windows{};
    const UINT length = GetWindowsDirectoryA(windows.data(), MAX_PATH);
    if (length > 0 && length <= MAX_PATH)
        places.windows_folder.assign(windows.data(), length);
    std::vector<char> temp(kPathBuffer);
    const DWORD temp_length = GetTempPathA(kPathBuffer - 1, temp.data());
    if (temp_length > 0 && temp_length < kPathBuffer)
        places.temp_folder.assign(temp.data(), temp_length);
    return places;
}

std::string CrossDriveCopyPath(const std::string& target) {
    const auto name_start = target.find_last_of("\\/:");
    const auto dot = target.find_last_of('.');
    if (dot == std::string::npos || (name_start != std::string::npos && dot < name_start))
        return target + ".qzu";
    return target.substr(0, dot + 1) + "qzu";
}

CRebootFileMover::CRebootFileMover() : CRebootFileMover(!IsWin9xPlatform()) {}

CRebootFileMover::CRebootFileMover(bool is_nt, RebootMoverPlaces places)
    : is_nt_(is_nt), places_(std::move(places)) {}

std::string CRebootFileMover::WininitPath() const {
    return WithBackslash(places_.windows_folder) + "wininit.ini";
}

std::string CRebootFileMover::RenameBatchPath() const {
    return WithBackslash(places_.temp_folder) + kRenameBatchName;
}

bool CRebootFileMover::DeleteFileAtReboot(const std::string& path) {
    if (is_nt_)
        return MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    const auto short_path = ShortPath(path);
    return !short_path.empty() && MyWriteIni("NUL", short_path);
}

bool CRebootFileMover::ReplaceFileAtReboot(const std::string& source, const std::string& target) {
    const auto source_colon = source.find(':');
    const auto target_colon = target.find(':');
    if (source_colon == std::string::npos || target_colon == std::string::npos)
        return false;
    std::string moved = source;
    const auto source_drive = source.substr(0, source_colon);
    const auto target_drive = target.substr(0, target_colon);
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, source_drive.data(),
                       static_cast<int>(source_drive.size()), target_drive.data(),
                       static_cast<int>(target_drive.size())) != CSTR_EQUAL) {
        // A delayed move cannot cross drives: carry the file over first.
        moved = CrossDriveCopyPath(target);
        if (!CopyFileA(source.c_str(), moved.c_str(), FALSE))
            return false;
        DeleteFileA(source.c_str());
    }
    if (is_nt_)
        return MoveFileExA(moved.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) != 0;

    const auto short_moved = ShortPath(moved);
    const auto short_target = ShortPath(target);
    if (short_moved.empty() || short_target.empty())
        return false;
    if (StartsWithIgnoringCase(moved, short_moved) && StartsWithIgnoringCase(target, short_target))
        return MyWriteIni(short_target, short_moved);

    const auto batch = RenameBatchPath();
    if (!AppendRenameBatchLine(moved, target, batch))
        return false;
    win::UniqueKey run_once;
    if (RegCreateKeyExA(places_.run_once_root, places_.run_once_key.c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, run_once.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(run_once.get(), kRunOnceValueName, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(batch.c_str()),
                          static_cast<DWORD>(batch.size() + 1)) == ERROR_SUCCESS;
}

bool CRebootFileMover::MyWriteIni(const std::string& left, const std::string& right) {
    SharedFile file;
    if (!file.Open(WininitPath(), SharedFile::Access::kReadWrite, true))
        return false;
    const auto size = file.Size();
    if (!size)
        return false;
    std::string text;
    if (*size == 0) {
        text = "[rename]\r\n";
    } else {
        // A last line without its line end would swallow ours.
        std::array<std::uint8_t, 1> last{};
        if (file.ReadAt(*size - 1, last).value_or(0) != 1)
            return false;
        if (last[0] != '\n')
            text = "\r\n";
    }
    text += left + "=" + right + "\r\n";
    return file.WriteAt(*size, Bytes(text)) && file.Flush();
}

bool CRebootFileMover::AppendRenameBatchLine(const std::string& source, const std::string& target,
                                             const std::string& batch) {
    SharedFile file;
    if (!file.Open(batch, SharedFile::Access::kReadWrite, true))
        return false;
    const auto size = file.Size();
    if (!size)
        return false;
    // The new line goes over the tail, which is written again after it.
    std::uint64_t at = *size;
    if (*size >= sizeof(kRenameBatchTail)) {
        std::array<std::uint8_t, sizeof(kRenameBatchTail)> tail{};
        if (file.ReadAt(*size - tail.size(), tail).value_or(0) != tail.size())
            return false;
        if (std::memcmp(tail.data(), kRenameBatchTail, tail.size()) == 0)
            at = *size - tail.size();
    }
    auto bytes = Bytes("move \"" + source + "\" \"" + target + "\"\r\n");
    bytes.insert(bytes.end(), std::begin(kRenameBatchTail), std::end(kRenameBatchTail));
    return file.WriteAt(at, bytes) && file.Resize(at + bytes.size()) && file.Flush();
}

}  // namespace olvex

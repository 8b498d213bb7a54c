// The application's files and look-ups: the settings file, the machine-id
// file, pest names and categories, the protection status, the Task
// Scheduler check and the activity log's maintenance.
#include <windows.h>

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "client/common/active_protection_settings.h"
#include "client/common/client_environment.h"
#include "client/common/task_scheduler_service.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/gdi.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_rules.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

// Neither file is anywhere near this large; a larger one is no settings file.
constexpr std::uint64_t kMaxSmallFileBytes = 64 * 1024;

std::optional<std::string> TempFolder() {
    std::array<char, MAX_PATH + 1> folder{};
    const DWORD length = GetTempPathA(MAX_PATH, folder.data());
    if (length == 0 || length > MAX_PATH)
        return std::nullopt;
    return std::string(folder.data(), length);
}

// Reads a small file, made empty first when it is missing and make_missing
// is set; up to 5 tries. A file that is still missing (not made) reads as
// empty. On a last failure the error box is shown, unless quiet.
std::optional<std::string> ReadSmallFile(const std::string& path, bool make_missing, bool quiet,
                                         bool* too_large = nullptr) {
    std::string text;
    ui::TextFileError error;
    const bool read = RetryWithBackoff(kReadAttempts, [&] {
        if (make_missing) {
            const HANDLE file =
                CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                error = {ui::TextFileProblem::kCannotOpen, path};
                return AttemptResult::kRetry;
            }
            CloseHandle(file);
        }
        const FileBytes bytes = ReadWholeFile(path, kMaxSmallFileBytes);
        switch (bytes.error) {
            case FileError::kNone:
                text.assign(bytes.bytes.begin(), bytes.bytes.end());
                return AttemptResult::kDone;
            case FileError::kNotFound:
                if (!make_missing && !FileExists(path)) {
                    text.clear();
                    return AttemptResult::kDone;
                }
                error = {ui::TextFileProblem::kCannotOpen, path};
                return AttemptResult::kRetry;
            case FileError::kTooLarge:
                error = {ui::TextFileProblem::kTooLarge, path};
                return AttemptResult::kGiveUp;
            default:
                error = {ui::TextFileProblem::kCannotRead, path};
                return AttemptResult::kRetry;
        }
    });
    if (read)
        return text;
    if (too_large != nullptr && error.problem == ui::TextFileProblem::kTooLarge) {
        *too_large = true;  // the caller deals with it
        return std::nullopt;
    }
    if (!quiet)
        ui::ShowFileErrorBox(error);
    return std::nullopt;
}

// Applies a settings file too large to be one, read in pieces, to settings:
// above all its machine id, which must outlive the file. False when it could
// not be read.
bool ReadOversizedSettings(const std::string& path, ProgramSettings& settings) {
    InputFile file;
    if (!file.Open(path))
        return false;
    OversizedProgramSettingsReader reader(settings);
    std::vector<std::uint8_t> piece(1024 * 1024);
    for (std::uint64_t offset = 0;;) {
        const auto got = file.ReadAt(offset, piece);
        if (!got)
            return false;
        if (*got == 0)
            break;
        reader.Feed(std::string_view(reinterpret_cast<const char*>(piece.data()), *got));
        offset += *got;
    }
    reader.Finish();
    return true;
}

// Moves the file aside to "<path>.old" (".old2" ... ".old9" when taken), never
// over an earlier one; the name it went to, or nullopt.
std::optional<std::string> MoveAside(const std::string& path) {
    for (int n = 1; n <= 9; ++n) {
        const std::string aside = path + ".old" + (n == 1 ? std::string() : std::to_string(n));
        if (MoveFileExA(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH))
            return aside;
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            return std::nullopt;
    }
    return std::nullopt;
}

// Replaces a small file with the text; up to 5 tries, the error box after
// the last.
void WriteSmallFile(const std::string& path, std::string_view text) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const bool written = RetryWithBackoff(kReadAttempts, [&] {
        // Through a file of its own renamed over the old one: a reader never
        // sees half a file, and a failed write leaves the old one.
        return WriteWholeFile(path, bytes, true) == FileError::kNone ? AttemptResult::kDone
                                                                     : AttemptResult::kRetry;
    });
    if (!written)
        ui::ShowFileErrorBox({ui::TextFileProblem::kCannotWrite, path});
}

}  // namespace

void CGorsewatch5App::LoadSettings() {
    // With limited rights the program writes nothing: a missing file is not
    // made, and a file it may not read is passed over without a box.
    bool too_large = false;
    const auto text =
        ReadSmallFile(settings_path_, !m_bLimitedRights, m_bLimitedRights, &too_large);
    if (text)
        ApplyProgramSettingsText(*text, settings_);
    if (!too_large)
        return;
    // No settings file is that large: it is replaced with a sound one, but
    // only once its machine id (and what else it says) has been read, and
    // the old file stays beside the new one. A file that cannot be read or
    // moved aside is left alone and not written over.
    if (!ReadOversizedSettings(settings_path_, settings_) || m_bLimitedRights ||
        !MoveAside(settings_path_)) {
        settings_file_kept_ = true;
        OutputDebugStringA("Gorsewatch5: the settings file is too large and was left as it is\n");
    }
}

void CGorsewatch5App::SaveSettings() {
    if (m_bLimitedRights || settings_file_kept_ || !settings_.guid || settings_path_.empty())
        return;
    WriteSmallFile(settings_path_, FormatProgramSettings(settings_));
}

void CGorsewatch5App::LoadMachineId() {
    const auto folder = TempFolder();
    if (!folder)
        return;
    const std::string path = *folder + AnsiResourceText(IDS_MACHINE_ID_FILE_NAME);
    const auto text = ReadSmallFile(path, !m_bLimitedRights, m_bLimitedRights);
    if (!text)
        return;
    if (auto id = ParseMachineIdText(*text))
        settings_.guid = std::move(id);
}

void CGorsewatch5App::SaveMachineId() {
    const auto folder = TempFolder();
    if (m_bLimitedRights || !settings_.guid || !folder)
        return;
    WriteSmallFile(*folder + AnsiResourceText(IDS_MACHINE_ID_FILE_NAME), *settings_.guid);
}

std::string CGorsewatch5App::GetPestName(std::int32_t pest_id) {
    com::ComPtr<IPestRecord> record;
    com::UniqueBstr name;
    if (pest_database_ && SUCCEEDED(pest_database_->GetPestById(pest_id, record.Put())) && record &&
        SUCCEEDED(record->get_bsName(name.Put())))
        return AnsiFromBstrText(name.Get());
    return AnsiResourceText(IDS_UNKNOWN);
}

std::string CGorsewatch5App::GetPestCategory(std::int32_t pest_id) {
    com::ComPtr<IPestRecord> record;
    com::UniqueBstr category;
    if (pest_database_ && SUCCEEDED(pest_database_->GetPestById(pest_id, record.Put())) && record &&
        SUCCEEDED(record->get_bsCategory(category.Put())))
        return AnsiFromBstrText(category.Get());
    return AnsiResourceText(IDS_UNKNOWN);
}

int CGorsewatch5App::FindDetectedPest(std::int32_t pest_id) const {
    return olvex::FindDetectedPest(detected_pests_, pest_id);
}

std::wstring CGorsewatch5App::GetActiveProtectionStatusText() {
    bool running = false;
    if (const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "WakenorMAINAPP")) {
        running = true;
        CloseHandle(mutex);
    }
    ProtectionStatus status = ProtectionStatus::kStopped;
    if (const auto common = CurrentClientFolders().CommonAppData())
        status = ReadProtectionStatus(running, *common);
    else if (running)
        status = ProtectionStatusOf(true, ActiveProtectionSettings{});
    return ui::LoadText(static_cast<UINT>(ProtectionStatusStringId(status)));
}

void CGorsewatch5App::CheckTaskScheduler() {
    m_bTaskSchedulerAvailable = 0;
    SystemTaskSchedulerPlatform platform;
    const bool available = olvex::CheckTaskScheduler(
        m_dwPlatformId, platform,
        [this](int message_id, int sound) { ShowMessage(static_cast<UINT>(message_id), sound); });
    m_bTaskSchedulerAvailable = available ? 1 : 0;
}

void CGorsewatch5App::MaintainActivityLog(bool truncate) {
    if (m_bLimitedRights)
        return;
    // Both take the log's named mutex themselves, so no other program writes
    // while the log is read and shortened. The read waits a limited time: it
    // holds the program's log, which a scan starting meanwhile needs.
    activity_log_.With([truncate](CLogFile& log) {
        log.Load(kLogMutexWaitMs);
        log.Truncate(truncate);
    });
}

}  // namespace olvex

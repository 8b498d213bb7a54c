#include "client/common/active_protection_settings.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "olvex/core/file_io.h"
#include "olvex/core/native_file.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace olvex {
namespace {

constexpr const char* kKeys[] = {"mem", "cookies", "heur", "onboot"};
// The file holds four short lines; a larger one is read this far only.
constexpr std::uint64_t kMostBytesRead = 1 << 20;

enum class OpenResult { kOpened, kMissing, kBusy, kFailed };

// The settings file opened with no sharing: for reading an existing file,
// or for writing a file made or emptied once it is ours.
class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile() { Close(); }
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

#ifdef _WIN32
    OpenResult Open(const std::string& path, bool for_writing) {
        file_ = CreateFileA(path.c_str(), for_writing ? GENERIC_WRITE : GENERIC_READ, 0, nullptr,
                            for_writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (file_ != INVALID_HANDLE_VALUE)
            return OpenResult::kOpened;
        switch (GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return OpenResult::kMissing;
            case ERROR_SHARING_VIOLATION:
            case ERROR_LOCK_VIOLATION:
                return OpenResult::kBusy;
            default:
                return OpenResult::kFailed;
        }
    }
    void Close() {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
    }

  private:
    NativeFile file_ = INVALID_HANDLE_VALUE;
#else
    // Elsewhere an exclusive lock stands for "no sharing" between the
    // programs that take it.
    OpenResult Open(const std::string& path, bool for_writing) {
        file_ = open(path.c_str(),
                     for_writing ? (O_WRONLY | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC), 0644);
        if (file_ < 0)
            return errno == ENOENT || errno == ENOTDIR ? OpenResult::kMissing : OpenResult::kFailed;
        if (flock(file_, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            Close();
            return busy ? OpenResult::kBusy : OpenResult::kFailed;
        }
        if (for_writing && ftruncate(file_, 0) != 0) {
            Close();
            return OpenResult::kFailed;
        }
        return OpenResult::kOpened;
    }
    void Close() {
        if (file_ >= 0)
            close(std::exchange(file_, -1));
    }

  private:
    NativeFile file_ = -1;
#endif

  public:
    NativeFile native() const {
        return file_;
    }
};

// Runs attempt up to the settings file's number of times while it answers
// kBusy, sleeping between tries (not after the last).
template <typename Attempt>
SettingsFileStatus RetryWhileBusy(const RetrySleep& sleep, Attempt&& attempt) {
    SettingsFileStatus status = SettingsFileStatus::kBusy;
    for (int n = 0; n < kSettingsFileAttempts; ++n) {
        status = attempt();
        if (status != SettingsFileStatus::kBusy)
            return status;
        if (n + 1 < kSettingsFileAttempts)
            sleep(kSettingsFileFirstSleepMs << n);
    }
    return status;
}

std::string Join(const std::string& folder, const char* name) {
    std::string path = folder;
    if (!path.empty() && path.back() != kPathSeparator && path.back() != '/')
        path.push_back(kPathSeparator);
    return path + name;
}

// Makes the folder unless it exists; false when it is not there afterwards.
bool MakeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directory(path, error);
    return std::filesystem::is_directory(path, error);
}

}  // namespace

void ApplyActiveProtectionText(std::string_view text, ActiveProtectionSettings& settings) {
    int* const flags[] = {&settings.memory, &settings.cookies, &settings.heuristics,
                          &settings.on_boot};
    for (int* flag : flags) {
        if (text.empty())
            return;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')  // the CR LF line end
            line.remove_suffix(1);
        const std::size_t equals = line.find('=');
        std::string_view value = equals == std::string_view::npos ? line : line.substr(equals + 1);
        while (!value.empty() && value.back() == ' ')
            value.remove_suffix(1);
        if (value == "on")
            *flag = 1;
        else if (value == "off")
            *flag = 0;
    }
}

std::string FormatActiveProtectionSettings(const ActiveProtectionSettings& settings) {
    const int values[] = {settings.memory, settings.cookies, settings.heuristics, settings.on_boot};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += kKeys[i];
        text += values[i] == 1 ? "=on\r\n" : "=off\r\n";
    }
    return text;
}

std::string ActiveProtectionSettingsPath(const std::string& common_app_data) {
    return Join(Join(Join(common_app_data, "XJ"), "KelvanGorsewatch"), kActiveProtectionFileName);
}

void SleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SettingsFileStatus ReadActiveProtectionSettings(const std::string& path,
                                                ActiveProtectionSettings& settings,
                                                const RetrySleep& sleep) {
    return RetryWhileBusy(sleep, [&] {
        ExclusiveFile file;
        switch (file.Open(path, false)) {
            case OpenResult::kMissing:
                return SettingsFileStatus::kMissing;
            case OpenResult::kBusy:
                return SettingsFileStatus::kBusy;
            case OpenResult::kFailed:
                return SettingsFileStatus::kFailed;
            case OpenResult::kOpened:
                break;
        }
        const auto size = SizeOf(file.native());
        if (!size)
            return SettingsFileStatus::kFailed;
        std::vector<std::uint8_t> bytes(*size < kMostBytesRead ? *size : kMostBytesRead);
        const auto got = ReadUpTo(file.native(), 0, bytes);
        if (!got)
            return SettingsFileStatus::kFailed;
        ApplyActiveProtectionText(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), *got), settings);
        return SettingsFileStatus::kDone;
    });
}

SettingsFileStatus WriteActiveProtectionSettings(const std::string& common_app_data,
                                                 const ActiveProtectionSettings& settings,
                                                 const RetrySleep& sleep) {
    std::error_code error;
    if (common_app_data.empty() || !std::filesystem::is_directory(common_app_data, error))
        return SettingsFileStatus::kFailed;
    const std::string company = Join(common_app_data, "XJ");
    const std::string product = Join(company, "KelvanGorsewatch");
    if (!MakeFolder(company) || !MakeFolder(product))
        return SettingsFileStatus::kFailed;
    const std::string text = FormatActiveProtectionSettings(settings);
    const std::string path = Join(product, kActiveProtectionFileName);
    return RetryWhileBusy(sleep, [&] {
        ExclusiveFile file;
        switch (file.Open(path, true)) {
            case OpenResult::kBusy:
                return SettingsFileStatus::kBusy;
            case OpenResult::kMissing:
            case OpenResult::kFailed:
                return SettingsFileStatus::kFailed;
            case OpenResult::kOpened:
                break;
        }
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        return WriteAll(file.native(), bytes) ? SettingsFileStatus::kDone
                                              : SettingsFileStatus::kFailed;
    });
}

int ProtectionStatusStringId(ProtectionStatus status) {
    switch (status) {
        case ProtectionStatus::kStopped:
            return kStoppedStringId;
        case ProtectionStatus::kNotProtecting:
            return kNotProtectingStringId;
        case ProtectionStatus::kProtecting:
            break;
    }
    return kProtectingStringId;
}

const char* ProtectionStatusText(ProtectionStatus status) {
    switch (status) {
        case ProtectionStatus::kStopped:
            return "Stopped";
        case ProtectionStatus::kNotProtecting:
            return "Active Protection is not protecting your computer.";
        case ProtectionStatus::kProtecting:
            break;
    }
    return "Protecting your computer";
}

ProtectionStatus ProtectionStatusOf(bool protection_running,
                                    const ActiveProtectionSettings& settings) {
    if (!protection_running)
        return ProtectionStatus::kStopped;
    return settings.memory == 0 && settings.cookies == 0 ? ProtectionStatus::kNotProtecting
                                                         : ProtectionStatus::kProtecting;
}

ProtectionStatus ReadProtectionStatus(bool protection_running, const std::string& common_app_data,
                                      const RetrySleep& sleep) {
    if (!protection_running)
        return ProtectionStatus::kStopped;
    ActiveProtectionSettings settings;
    if (ReadActiveProtectionSettings(ActiveProtectionSettingsPath(common_app_data), settings,
                                     sleep) != SettingsFileStatus::kDone)
        settings = ActiveProtectionSettings();
    return ProtectionStatusOf(true, settings);
}

}  // namespace olvex

#include "client/main/schedule_rules.h"

#include <cstdlib>
#include <cstring>

namespace olvex {
namespace {

bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

std::string_view WithoutLeadingBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string SanitiseJobName(std::string_view name) {
    std::string sanitised(name);
    for (char& c : sanitised) {
        if (!IsAsciiLetterOrDigit(c) && c != '_' && c != '-')
            c = ' ';
    }
    return sanitised;
}

std::optional<std::string> MakeScanJobName(std::string_view account, std::string_view time_text) {
    std::string name = kScanJobPrefix;
    name += "Daily as ";
    name += account;
    name += " at ";
    name += time_text;
    if (name.size() > kMaxJobName)
        return std::nullopt;
    return SanitiseJobName(name);
}

std::optional<std::string> DescriptionOfJobFile(std::string_view file_name) {
    const std::size_t prefix = std::strlen(kScanJobPrefix);
    const std::size_t extension = std::strlen(kScanJobExtension);
    if (file_name.substr(0, prefix) != kScanJobPrefix || file_name.size() < prefix + extension)
        return std::nullopt;
    return std::string(file_name.substr(prefix, file_name.size() - prefix - extension));
}

std::string JobFileNameOf(std::string_view description) {
    return std::string(kScanJobPrefix) + std::string(description) + kScanJobExtension;
}

std::string BareJobName(std::string_view name) {
    const std::size_t extension = std::strlen(kScanJobExtension);
    if (name.size() >= extension &&
        EqualIgnoringCase(name.substr(name.size() - extension), kScanJobExtension))
        name.remove_suffix(extension);
    return std::string(name);
}

bool SameJobFile(std::string_view a, std::string_view b) {
    return EqualIgnoringCase(a, b);
}

std::optional<std::string> ScannerApplicationName(std::string_view install_folder) {
    std::string name = "\"";
    name += install_folder;
    name += kScannerFileName;
    name += "\"";
    if (name.size() > kMaxApplicationName)
        return std::nullopt;
    return name;
}

const char* ScanParameters(bool quarantine) {
    return quarantine ? kQuarantineParameters : kIgnoreParameters;
}

bool ParametersQuarantine(std::string_view parameters) {
    return parameters != kIgnoreParameters;
}

std::uint32_t ScanJobFlags(bool current_user) {
    return current_user ? kTaskFlagDeleteWhenDone | kTaskFlagRunOnlyIfLoggedOn
                        : kTaskFlagDeleteWhenDone;
}

TriggerRecord DailyTrigger(const LocalDate& begin, int hour, int minute) {
    TriggerRecord trigger;
    trigger.cbTriggerSize = sizeof(TriggerRecord);
    trigger.wBeginYear = static_cast<std::uint16_t>(begin.year);
    trigger.wBeginMonth = static_cast<std::uint16_t>(begin.month);
    trigger.wBeginDay = static_cast<std::uint16_t>(begin.day);
    trigger.wStartHour = static_cast<std::uint16_t>(hour);
    trigger.wStartMinute = static_cast<std::uint16_t>(minute);
    trigger.TriggerType = kTriggerDaily;
    trigger.Type[0] = 1;  // every day
    return trigger;
}

int TriggerMinutes(const TriggerRecord& trigger) {
    return trigger.wStartHour * 60 + trigger.wStartMinute;
}

TimeConflict ConflictBetween(int new_minutes, int existing_minutes) {
    if (new_minutes == existing_minutes)
        return TimeConflict::kSameTime;
    const int distance = std::abs(new_minutes - existing_minutes);
    if (distance < kConflictMinutes || kMinutesPerDay - distance < kConflictMinutes)
        return TimeConflict::kNear;
    return TimeConflict::kNone;
}

std::optional<RunAsAccount> TypedRunAsAccount(std::string_view account, std::string_view password) {
    const std::string_view trimmed = WithoutLeadingBlanks(account);
    // The password is the user's secret exactly as typed: only its emptiness
    // is judged without blanks.
    if (IsBlank(trimmed) || IsBlank(password))
        return std::nullopt;
    if (trimmed.size() > kMaxAccount || password.size() > kMaxPassword)
        return std::nullopt;
    return RunAsAccount{std::string(trimmed), std::string(password)};
}

ScanListButtons ScanListButtonsAfterRemoval(int entries_left, int selected_entry) {
    const bool usable = entries_left > 0 && selected_entry >= 0 && selected_entry < entries_left;
    return {usable, usable, usable};
}

}  // namespace olvex

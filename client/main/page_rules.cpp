#include "client/main/page_rules.h"

#include <cctype>

namespace olvex {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

ActiveProtectionDialogState ActiveProtectionDialogStateFor(ProtectionStatus status,
                                                           bool protection_running) {
    switch (status) {
        case ProtectionStatus::kProtecting:
            return {kDialogProtectingStringId, kDialogStopStringId, false};
        case ProtectionStatus::kNotProtecting:
            return {kNotProtectingStringId, kDialogStopStringId, false};
        case ProtectionStatus::kStopped:
            break;
    }
    if (protection_running)
        return {kDialogStoppedStringId, kDialogStopStringId, false};
    return {kDialogStoppedStringId, kDialogStartStringId, true};
}

std::string ChooseLinkAddress(const std::optional<std::string>& from_table,
                              std::string_view built_in) {
    if (from_table &&
        (StartsWithNoCase(*from_table, "http://") || StartsWithNoCase(*from_table, "https://")))
        return *from_table;
    return std::string(built_in);
}

bool ConfigLinkAllowed(ConfigLink link, bool updater_runs, bool limited_rights) {
    // "Updates Options" brings a running updater to the front.
    if (updater_runs)
        return link == ConfigLink::kUpdates;
    switch (link) {
        case ConfigLink::kPrevalence:
        case ConfigLink::kSounds:
        case ConfigLink::kQuarantine:
        case ConfigLink::kExclusions:
            return !limited_rights;
        default:
            return true;
    }
}

bool PestActivityClaimed(bool got_handle, unsigned long last_error) {
    constexpr unsigned long kAccessDenied = 5;
    constexpr unsigned long kAlreadyExists = 183;
    return got_handle && last_error != kAccessDenied && last_error != kAlreadyExists;
}

}  // namespace olvex

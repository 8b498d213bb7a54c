#include "client/main/page_rules.h"

namespace olvex {

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

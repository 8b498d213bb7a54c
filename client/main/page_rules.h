// The decisions of the home and configuration pages, apart from the windows
// they act on: what an open Active Protection settings dialog shows, which
// web address a link opens, and which of the configuration page's links may
// act.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "client/common/active_protection_settings.h"

namespace olvex {

// What the home page's timer writes into the open Active Protection settings
// dialog: its status text and button text (string ids) and whether the
// button starts the protection (stopped) or stops it.
struct ActiveProtectionDialogState {
    int status_id = 0;
    int button_id = 0;
    bool stopped = false;

    bool operator==(const ActiveProtectionDialogState&) const = default;
};

inline constexpr int kDialogProtectingStringId = 279;
inline constexpr int kDialogStoppedStringId = 280;
inline constexpr int kDialogStartStringId = 281;
inline constexpr int kDialogStopStringId = 282;

// The state for the page's status; protection_running is asked again, as the
// status may be older than the background protection's start or end.
ActiveProtectionDialogState ActiveProtectionDialogStateFor(ProtectionStatus status,
                                                           bool protection_running);

// The configuration page's links.
enum class ConfigLink {
    kActiveProtection,
    kUpdates,
    kPrevalence,
    kSounds,
    kQuarantine,
    kExclusions,
    kLog,
    kHomePage,
    kScanPage,
    kAbout,
    kHelp,
};

// Whether a link may act: while the updater's window is open only "Updates
// Options" (which brings the updater to the front); the settings and
// management links that change things not with limited rights.
bool ConfigLinkAllowed(ConfigLink link, bool updater_runs, bool limited_rights);

// Whether making the pest-activity mutex claimed it for this page: a handle
// came back and the mutex was neither there already (183) nor denied (5).
bool PestActivityClaimed(bool got_handle, unsigned long last_error);

// How often and how long "Updates Options" looks for the updater's window
// after starting it: a slow start still gets its request.
inline constexpr int kUpdaterWindowLooks = 20;
inline constexpr unsigned kUpdaterWindowLookMs = 250;
// How long the Log link waits for another program to let go of the
// activity log before it reads the log anyway.
inline constexpr unsigned kLogMutexWaitMs = 30000;

}  // namespace olvex

// What the background scan does with one find, as a list of steps in their
// order. A pest running in memory is logged, raises an alert and leaves the
// cookie scan off until the scan advice has been shown; a user with rights
// then quarantines or excludes it by the alert's answer, a user without
// rights only sees the alert meant for other users. Any other find (a file,
// a cookie) is removed at once without a word, by a user with rights only.
// Nothing is logged for a user without rights. The prevalence report goes
// out for every find when the user agreed to it, with or without rights.
#pragma once

#include <optional>
#include <vector>

namespace olvex::protect {

enum class DetectionStep {
    kLogDetected,
    kMarkMemoryFind,
    kShowAlert,      // Quarantine or Exclude: its answer decides what follows
    kShowUserAlert,  // for a user without rights; its answer is not used
    kQuarantine,     // logged "Quarantined" when it succeeds
    kExclude,        // logged "Excluded" when it succeeds
    kDelete,         // logged "Deleted" when it succeeds
    kReport,
};

enum class AlertAnswer { kQuarantine, kExclude };

struct DetectionCase {
    bool in_memory = false;  // the find is a running process
    bool restricted = false;
    bool prevalence_research = false;
    // The alert's answer once it was given; before that the steps end with
    // the alert.
    std::optional<AlertAnswer> answer;
};

std::vector<DetectionStep> DetectionSteps(const DetectionCase& find);

}  // namespace olvex::protect

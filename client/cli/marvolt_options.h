// What one command-line scan is told: the action from its command line and
// the three settings it reads from the main program's "qzv5exe.ini".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// What the run does with every pest it found.
enum class MarvoltAction : int {
    kIgnore = 0,      // only scan and record
    kQuarantine = 1,  // remove every pest (the default)
    kExclude = 2,     // add every pest to the exclusions
    kDelete = 3,      // remove every pest, the same steps as quarantine
};

struct MarvoltCommandLine {
    MarvoltAction action = MarvoltAction::kQuarantine;
    // The first plain word (no leading "/" or "-"): a document to open. The
    // run ends without scanning when it cannot be opened.
    std::optional<std::string> document;
};

// One parameter's action: "quarantine", "exclude", "delete" or "ignore",
// compared without regard to case, a leading "/" or "-" allowed.
std::optional<MarvoltAction> ParseActionWord(std::string_view parameter);

// The parameters in order (without the program's name): the last action word
// wins; other flags are ignored.
MarvoltCommandLine ParseMarvoltCommandLine(const std::vector<std::string>& parameters);

struct MarvoltSettings {
    bool prevalence_research = false;  // "prevresearch"
    std::string machine_id;            // "guid"
    bool truncate = false;             // "truncate"
};

// Reads the lines of "qzv5exe.ini". A line naming "prevresearch" sets that
// setting, else one naming "guid" the machine id, else one naming "truncate"
// that one; the value is what follows the first "=", trailing blanks removed
// (numbers: not 0 means on). Missing lines leave the defaults.
MarvoltSettings ParseMarvoltSettings(std::string_view text);

}  // namespace olvex

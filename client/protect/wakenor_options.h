// Wakenor's command line: the flags "logpath:<path>", "datpath:<path>" and
// "silent", each with a leading "/" or "-", in any case. They are accepted
// and kept; nothing in the program acts on them. Also what the program
// takes from the main program's settings file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::protect {

// The keywords as the program's string table gives them.
struct WakenorKeywords {
    std::string log_path = "logpath:";
    std::string data_path = "datpath:";
    std::string silent = "silent";
};

struct WakenorCommandLine {
    std::string log_path;   // lower-cased, as the whole flag is
    std::string data_path;  // lower-cased
    bool silent = false;
    bool operator==(const WakenorCommandLine&) const = default;
};

// One flag's text (without its "/" or "-"). The text is lower-cased as a
// whole; a flag that begins with the log-path or the data-path keyword takes
// the rest as that path, one that begins with the silent keyword (a longer
// word too) sets silent. False for anything else.
bool ApplyWakenorFlag(std::string_view flag, const WakenorKeywords& keywords,
                      WakenorCommandLine& command_line);

// The parameters after the program's name; only flags are examined.
WakenorCommandLine ParseWakenorCommandLine(const std::vector<std::string>& parameters,
                                           const WakenorKeywords& keywords = {});

// What the program takes from the main program's "qzv5exe.ini": research
// and truncate as numbers (0 when missing), and the machine id. A "guid"
// line with an empty value gives an empty machine id (no fresh one is
// made); no "guid" line at all gives none.
struct ProtectionProgramSettings {
    std::int32_t prevalence_research = 0;
    std::int32_t truncate = 0;
    std::optional<std::string> machine_id;
    bool operator==(const ProtectionProgramSettings&) const = default;
};

ProtectionProgramSettings ReadProtectionProgramSettings(std::string_view text);

}  // namespace olvex::protect

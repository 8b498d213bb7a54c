// The main program's settings file "qzv5exe.ini" in the product's folder
// under the common application-data folder: lines "key=value" with the keys
// "errorsound", "donesound", "prevresearch", "guid" and "truncate". The main
// program writes it; the other programs read what they need of it.
//
// A line belongs to the first key it contains anywhere, tested in that order
// (so "myguid=..." still names the machine id, and a line naming both a
// sound and "guid" is a sound line). The value is the text after the line's
// first "=", trailing blanks removed; a blank after the "=" stays part of
// it. A line without "=" sets nothing. Numbers read as atol does: leading blanks,
// a sign and digits, anything else 0. A key without a line stays unset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr char kProgramSettingsFileName[] = "qzv5exe.ini";

struct ProgramSettings {
    std::optional<std::int32_t> error_sound;          // "errorsound"
    std::optional<std::int32_t> done_sound;           // "donesound"
    std::optional<std::int32_t> prevalence_research;  // "prevresearch"
    std::optional<std::string> machine_id;            // "guid", kept as text
    std::optional<std::int32_t> truncate;             // "truncate"
    bool operator==(const ProgramSettings&) const = default;
};

// The settings the file's text names; lines end at LF, a CR before it is
// dropped. Later lines of a key replace earlier ones.
ProgramSettings ParseProgramSettings(std::string_view text);

// atol's reading of a value, kept within 32 bits.
std::int32_t SettingNumber(std::string_view value);

}  // namespace olvex

// The special-remover index "qzsrindex.dat": the pests that deleting their
// locations does not remove, each with the entry texts that tell the scripted
// remover "qzclean.exe" what to do. One line per entry, "<pest id>=<text>";
// a pest may have several lines.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

inline constexpr char kSpecialRemoverIndexName[] = "qzsrindex.dat";
inline constexpr char kScriptedRemoverName[] = "qzclean.exe";

struct SpecialRemoverEntry {
    std::int32_t pest_id = 0;
    std::string text;
    bool operator==(const SpecialRemoverEntry&) const = default;
};

// The entries of an index text, in file order. Each line (LF or CR LF ends
// it) is split at its first "="; the id is the leading decimal number before
// it (as atoi reads it, saturated), the text everything after it, untrimmed.
// Lines whose id is 0 (no digits, no "=", or a zero) are dropped.
std::vector<SpecialRemoverEntry> ParseSpecialRemoverIndex(std::string_view text);

// Position of the first entry of the pest; nullopt when it is not listed.
std::optional<std::size_t> FindSpecialRemoverEntry(std::span<const SpecialRemoverEntry> index,
                                                   std::int32_t pest_id);

// The parameters the scripted remover gets for a pest: "/clean", " /silent"
// when silent, " /", then the texts of all the pest's entries in index order
// with nothing between them.
std::string ScriptedRemoverParameters(std::span<const SpecialRemoverEntry> index,
                                      std::int32_t pest_id, bool silent);

// The text for a failed start, by the instance code the shell reported.
std::string_view ScriptedRemoverStartError(std::uintptr_t instance_code);

}  // namespace olvex

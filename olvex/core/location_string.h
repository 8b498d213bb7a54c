// The text form of a place on the machine: attribute/value pairs such as
//   File "C:\Program Files\a b.exe"
//   Key "hkey_local_machine Software\X" value "Run" data "x.exe"
// Texts are bytes in the ANSI code page. Attribute names match without regard
// to (ASCII) case; values keep their case.
//
// The reader is deliberately lenient and never fails: malformed text gives
// whatever pairs the tokeniser finds (the exact rules are in
// ParseLocationString). The writers are strict: they refuse any pair that
// would not read back as itself.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/multibyte_text.h"

namespace olvex {

// Attribute names written by the engine, in the case their writers use.
inline constexpr std::string_view kAttrFile = "File";
inline constexpr std::string_view kAttrFolder = "Folder";
inline constexpr std::string_view kAttrKey = "Key";
inline constexpr std::string_view kAttrValue = "value";
inline constexpr std::string_view kAttrData = "data";
inline constexpr std::string_view kAttrCookie = "Cookie";
inline constexpr std::string_view kAttrProcessId = "ProcessId";
inline constexpr std::string_view kAttrModuleName = "ModuleName";
inline constexpr std::string_view kAttrCertainty = "Certainty";
inline constexpr std::string_view kAttrExclude = "exclude";

struct AttributePair {
    std::string name;
    std::string value;
    bool operator==(const AttributePair&) const = default;
};

// Writes name=[value], for diagnostics and test messages.
std::ostream& operator<<(std::ostream& out, const AttributePair& pair);

struct ParsedLocation {
    std::vector<AttributePair> pairs;
    // The pair limit was reached (also when nothing followed the last pair).
    bool pair_limit_reached = false;
};

// No limit on the number of pairs (attribute lists).
inline constexpr std::size_t kUnlimitedPairs = 0;

// Splits text into pairs. Tokens alternate name, value. A token that starts
// with a double quote runs to the next double quote; any other token runs to
// the next blank (or to the end of the text). Names are trimmed of white
// space, values are kept as they are; empty tokens are skipped; an opening
// quote without a closing one stays in the token; a name left without a value
// at the end is dropped. With max_pairs > 0 the parse stops once that many
// pairs are complete and ignores the rest.
ParsedLocation ParseLocationString(std::string_view text, const MultiByteText& mb,
                                   std::size_t max_pairs);

// Canonical form of an attribute name for matching: trimmed, ASCII lowered.
std::string FoldAttributeName(std::string_view name, const MultiByteText& mb);

// Index of the first pair whose folded name equals the folded name; nullopt
// when there is none.
std::optional<std::size_t> FindAttribute(std::span<const AttributePair> pairs,
                                         std::string_view name, const MultiByteText& mb);

// Whether the value can be written between double quotes and read back
// unchanged: not empty, no double quote, no control byte (0x00-0x1F; a line
// break would also split the line-based files that store these texts), and
// not ending in half a double-byte character (which would swallow the
// closing quote).
bool IsWritableValue(std::string_view value, const MultiByteText& mb);
// The same for a name written before its value: additionally no blank, and
// no white space at either end (names are read back trimmed).
bool IsWritableName(std::string_view name, const MultiByteText& mb);

// What stands between one pair's closing quote and the next name.
enum class PairSeparator {
    kBlank,    // location strings the engine reports
    kNothing,  // texts rebuilt by attribute lists (log entries, exclusions)
};

// Writes the pairs as name, blank, quoted value. nullopt when a name or a
// value is not writable (see above), so the result always parses back into
// the same pairs.
std::optional<std::string> FormatLocationPairs(std::span<const AttributePair> pairs,
                                               PairSeparator separator, const MultiByteText& mb);

}  // namespace olvex

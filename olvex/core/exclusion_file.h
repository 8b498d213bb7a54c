// The exclusion file "qzexc_en.dat": the text of every exclusion (a location
// string such as  PestId "12"  or  Path "c:\tools") followed by a line feed,
// the whole content scrambled as one buffer. An empty file holds no
// exclusions. The older file "qzv5exc.dat" holds the same lines unscrambled.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

inline constexpr std::string_view kExclusionFileName = "qzexc_en.dat";
inline constexpr std::string_view kOldExclusionFileName = "qzv5exc.dat";

// A user's exclusions take a few kilobytes; anything this large is not an
// exclusion file and is not read.
inline constexpr std::uint64_t kMaxExclusionFileBytes = 16u << 20;

// The exclusion texts of plain content: the pieces between line feeds, empty
// ones skipped. The content ends at its first NUL.
std::vector<std::string> SplitExclusionLines(std::string_view plain);

// Whether a text can be stored as one exclusion and read back as the same
// one: not empty, and no line feed or NUL, which would split or cut it.
bool IsStorableExclusion(std::string_view text);

// The file content for these texts (each must be storable).
std::vector<std::uint8_t> EncodeExclusionFile(std::span<const std::string> texts);

// The texts of a file's content. Any bytes at all give some list of texts.
std::vector<std::string> DecodeExclusionFile(std::span<const std::uint8_t> stored);

// The older file's content as the current file stores it: the same bytes,
// scrambled, so the converted file holds exactly what the old one held.
std::vector<std::uint8_t> ConvertOldExclusionFile(std::span<const std::uint8_t> plain);

}  // namespace olvex

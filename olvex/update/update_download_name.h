// Names of downloaded updates in the temporary folder: the entry's file name,
// its version, its type and ".qzu", joined by dots
// ("qzinfo.dat.4031512.2.qzu"). ApplyUpdates reads the entries back from
// these names when it has no list of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

inline constexpr std::string_view kDownloadExtension = ".qzu";

// "<file name>.<version>.<type>.qzu", versions and types in decimal.
std::string DownloadFileName(std::string_view file_name, std::int32_t version, std::int32_t type);

struct DownloadNameParts {
    std::string file_name;
    std::int32_t version = 0;
    std::int32_t type = 0;
    bool operator==(const DownloadNameParts&) const = default;
};

// The parts of a download name, read from its end: ".qzu" (any case), the
// type and the version (each an optional "-" and decimal digits, saturated
// like atoi), and before them the file name, which may hold dots itself but
// must be a plain file name (IsSafeUpdateFileName). Nullopt otherwise.
std::optional<DownloadNameParts> ParseDownloadFileName(std::string_view name);

}  // namespace olvex

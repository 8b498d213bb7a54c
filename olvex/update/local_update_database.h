// The local update database "lfinfo.dat" in the application folder: which
// version of each updatable file is installed, and where. Plain text, pairs
// of lines: the file's path (or bare name), then its version in decimal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

inline constexpr std::string_view kLocalUpdateDatabaseName = "lfinfo.dat";
inline constexpr std::size_t kMaxLocalUpdatePathChars = 255;
// Far more than the few dozen pairs the updater ever writes.
inline constexpr std::uint64_t kMaxLocalUpdateDatabaseBytes = 1024 * 1024;

inline constexpr std::string_view kLocalUpdateLoadError = "Error opening local update database.";
inline constexpr std::string_view kLocalUpdateSaveError =
    "Error opening local update database for writing.";

struct LocalUpdateEntry {
    std::string path;
    std::int32_t version = 0;
    bool operator==(const LocalUpdateEntry&) const = default;
};

// Expands environment references in a path line (ExpandEnvironmentStrings on
// Windows); nullopt when it cannot. An empty expander leaves paths as they are.
using PathExpander = std::function<std::optional<std::string>(const std::string&)>;

// The entries of a database text. Lines end at a line feed; each is cut at a
// NUL, lower-cased (ASCII) and trimmed of white space; lines that are then
// empty do not count. The other lines pair up: a path line, then its version
// line (read like atoi). The path is expanded; a pair whose expanded path is
// not 1 to 255 characters, or names "incupdates.inf", is not stored (its
// version line is still its own); a last path line without a version line is
// dropped.
std::vector<LocalUpdateEntry> ParseLocalUpdateDatabase(std::string_view text,
                                                       const PathExpander& expand = {});

// Each entry as its path line and its version line, CR LF after each.
std::string FormatLocalUpdateDatabase(const std::vector<LocalUpdateEntry>& entries);

// The installed version of a file and its recorded path (empty when the entry
// holds a bare name, so the caller uses the application folder).
struct LocalFileVersion {
    std::int32_t version = -1;  // -1 when the file is not listed
    std::string path;
};

class LocalUpdateDatabase {
  public:
    // Replaces the entries with those of the file. The number of entries, or
    // -1 when the file cannot be read or is larger than
    // kMaxLocalUpdateDatabaseBytes (the entries are then empty).
    int Load(const std::string& path, const PathExpander& expand = {});
    // Writes the entries to path through a temporary file in the same folder
    // that replaces it, so a failure leaves the old file. The number of
    // entries, or -1.
    int Save(const std::string& path);

    // The first entry whose path, after its last "\", equals name without
    // regard to case.
    LocalFileVersion FindVersion(std::string_view name) const;

    // Records a version. "incupdates.inf" (anywhere in name, any case) stands
    // for the delta level: the version is set for "qzfile.dat", "qzinfo.dat"
    // and "qzloc.dat". Otherwise the first entry whose last path element
    // matches that of name gets it, or a new entry holding name is appended.
    // False, and nothing changes, for a name that cannot be stored: empty,
    // longer than kMaxLocalUpdatePathChars, or holding a line break or NUL.
    bool SetVersion(std::string_view name, std::int32_t version);

    const std::vector<LocalUpdateEntry>& entries() const { return entries_; }
    const std::string& last_error() const { return last_error_; }

  private:
    std::vector<LocalUpdateEntry> entries_;
    std::string last_error_ = "Success";
};

}  // namespace olvex

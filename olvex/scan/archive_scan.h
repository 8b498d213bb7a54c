// Looking inside zip archives during a file scan: every entry that passes
// the scan filters is identified like a file on disk (head CRC, then MD5 of
// the whole entry), and with deep scanning on, entries whose names say "ZIP"
// are opened as archives in turn.
//
// The user's archive is only ever opened for reading. An inner archive is
// extracted to a fresh, uniquely named temporary file that this scan creates
// (never over an existing file) and removes again on every way out. One scan
// of a top archive stays within a fixed budget of entries, decompressed
// bytes and nesting depth, so a zip bomb or an endless nesting ends quickly,
// in bounded memory and disk, with no finding and no residue. A scan that a
// budget cuts short says so: a verbose notice to the client and a line in
// the engine log (through the environment), once per budget and scan.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "olvex/core/dat_database.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/scan/scan_filter.h"
#include "olvex/scan/scan_reporter.h"
#include "olvex/zip/zip_reader.h"

namespace olvex {

struct ArchiveScanLimits {
    // Entries looked at in one archive: indices 0 to 500.
    std::size_t entries_per_archive = 501;
    // Largest entry (uncompressed) that is identified or opened as an
    // inner archive; larger ones are not read.
    std::uint64_t max_entry_bytes = 31457280;
    // An inner archive is opened while the depth of the archive holding it
    // is at most this (the top archive has depth 1): depth 11 at most.
    int nesting_limit = 10;
    // For one top archive and everything inside it: entries looked at, and
    // bytes decompressed (read for identification or extracted).
    std::uint64_t max_total_entries = 10000;
    std::uint64_t max_total_bytes = 256ull << 20;
    // Archives opened (the top one included): each inner one costs a
    // temporary file.
    std::uint64_t max_archives = 256;
    // Central directory bytes read for one archive.
    std::uint64_t max_directory_bytes = 8ull << 20;
};

// A finding inside an archive: its location (File "<archive>|<entry>"
// Certainty "<certainty>") and pest id.
struct ArchiveFinding {
    std::string location;
    std::int32_t pest_id = 0;
    bool operator==(const ArchiveFinding&) const = default;
};

// What the archive scan needs from the system.
class ArchiveEnvironment {
  public:
    virtual ~ArchiveEnvironment() = default;
    // An entry's name in the engine's text (the ANSI code page on Windows),
    // from the name as stored (code page 437, or UTF-8 with the flag).
    virtual std::string EntryNameText(const ZipEntryInfo& entry) = 0;
    // A path for a new temporary file: attempt 0, 1, ... give different,
    // hard-to-guess names. Empty when there is no temporary folder.
    virtual std::string TemporaryFilePath(unsigned attempt) = 0;
    // A budget of the scan (limit: its text, "256 archives") cut short the
    // scan of the archive of this display name; the engine writes that to
    // its log. Nothing by default.
    virtual void BudgetReached(const std::string& display_name, const std::string& limit) {}
};

// Temporary files in one folder, named "olvex-<16 hex digits>.tmp" from a
// random start and a counter; entry names as UTF-8 (code page 437 names
// converted). Windows replaces the naming with the ANSI code page's.
class FolderArchiveEnvironment : public ArchiveEnvironment {
  public:
    // folder without a trailing separator; separator "\\" or "/".
    FolderArchiveEnvironment(std::string folder, char separator)
        : folder_(std::move(folder)), separator_(separator) {}
    std::string EntryNameText(const ZipEntryInfo& entry) override;
    std::string TemporaryFilePath(unsigned attempt) override;

  private:
    std::string folder_;
    char separator_;
};

struct ArchiveScanSettings {
    const ScanFilterList* filters = nullptr;
    bool deep_scan = false;
    std::string certainty;  // "Confirmed"
    ArchiveScanLimits limits;
};

// The budgets of one scan of a top archive.
enum class ArchiveBudget { kEntries, kBytes, kArchives };

// What one scan of a top archive used of its budget (tests and the fuzzer
// check it against the limits).
struct ArchiveScanUsage {
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    int deepest = 0;
    std::uint64_t archives_opened = 0;
    std::uint64_t temporary_files = 0;
    // The budgets that cut the scan short, each told once.
    bool entries_reached = false;
    bool bytes_reached = false;
    bool archives_reached = false;
};

class ArchiveScanner {
  public:
    ArchiveScanner(ScanReporter& reporter, const CDatDatabase& database,
                   const ArchiveScanSettings& settings, ArchiveEnvironment& environment,
                   const MultiByteText& mb)
        : reporter_(reporter),
          database_(database),
          settings_(settings),
          environment_(environment),
          mb_(mb) {}

    // Scans the archive at path, named display_name in locations, with a
    // fresh budget; findings are appended. Answers the entries that passed
    // the filters, inner archives' included.
    std::size_t Scan(const std::string& path, const std::string& display_name,
                     std::vector<ArchiveFinding>& findings);

    const ArchiveScanUsage& usage() const { return usage_; }

  private:
    std::size_t ScanArchive(const std::string& path, const std::string& display_name, int depth,
                            std::vector<ArchiveFinding>& findings);
    // Identifies one entry; true when it is a pest (the finding added).
    bool IdentifyEntry(ZipReader& reader, std::size_t index, const ZipEntryInfo& entry,
                       const std::string& display_name, const std::string& name,
                       std::vector<ArchiveFinding>& findings);
    std::size_t ScanInnerArchive(ZipReader& reader, std::size_t index, const ZipEntryInfo& entry,
                                 const std::string& display_name, int depth,
                                 std::vector<ArchiveFinding>& findings);
    // Takes count bytes of the budget; false (and the notice, the first
    // time) when they are not left. display_name: the archive being scanned.
    bool TakeBytes(std::uint64_t count, const std::string& display_name);
    std::uint64_t BytesLeft() const;
    // Tells the client and the engine log, once per budget, that the scan of
    // the archive of this display name was cut short by it.
    void ReportBudgetReached(ArchiveBudget budget, const std::string& display_name);

    ScanReporter& reporter_;
    const CDatDatabase& database_;
    const ArchiveScanSettings& settings_;
    ArchiveEnvironment& environment_;
    MultiByteText mb_;
    ArchiveScanUsage usage_;
};

// The start and end text of an archive's scan: Scanning inside Zip "<name>".
std::string ArchiveScanText(const std::string& display_name);

// A budget's limit as text: "10000 entries", "268435456 bytes", "256 archives".
std::string ArchiveBudgetLimit(ArchiveBudget budget, const ArchiveScanLimits& limits);

// The client's notice of a budget that cut a scan short: The scan of Zip
// "<name>" was cut short: it reached the limit of 256 archives per scan.
std::string ArchiveBudgetNotice(const std::string& display_name, const std::string& limit);

}  // namespace olvex

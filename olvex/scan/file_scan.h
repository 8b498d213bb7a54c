// The scan of one file, as the folder walk, the single-file scans and the
// start-up entry scan run it: the scan filters, then identification by the
// file signatures and the file locations of the pest database, then a look
// inside when the file is a zip archive; a file whose name marks it as a
// cookie is handled as a cookie instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "olvex/core/dat_database.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/scan/archive_scan.h"
#include "olvex/scan/file_identification.h"
#include "olvex/scan/scan_filter.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

struct FileScanSettings {
    const ScanFilterList* filters = nullptr;
    bool deep_scan = false;
    bool cookies_as_files = false;
    std::string certainty;  // written into archive findings
    ArchiveScanLimits archive_limits;
};

class FileScanner {
  public:
    FileScanner(ScanReporter& reporter, const CDatDatabase& database,
                const FileScanSettings& settings, ArchiveEnvironment& archives,
                const MultiByteText& mb);

    // The scan of one file (its ANSI path): a file the filters keep out gets
    // no event; else StartingItem, at most one detection of the file itself
    // (or the findings inside it when it is an archive), FinishedItem.
    void ScanFile(const std::string& path) { Scan(path, Verdict::kLastSignature); }

    // The same with a verdict: the file is identified by its first matching
    // signature, then its location; true when the file itself, or a cookie
    // it holds, is a known pest (findings inside an archive are reported
    // but answer false).
    bool ScanFileWithVerdict(const std::string& path) {
        return Scan(path, Verdict::kFirstSignature);
    }

    // A cookie file (its path) checked against the pest database's cookies:
    // the site part of its name, between the first "@" and the last "["
    // (or the last "." when there is none). A known one is reported at
    // Cookie "<site>" File "<path>"; answers whether it was known.
    bool CheckCookieFile(const std::string& path);

    // A file on disk identified through the pest database: its first
    // matching signature, then its path among the file and folder
    // locations. The pest, or nullopt.
    std::optional<DatPestEntry> IdentifyFile(const std::string& path) const;

    // The entries looked at inside the last archive scanned (tests).
    const ArchiveScanUsage& last_archive_usage() const { return archive_usage_; }

  private:
    enum class Verdict { kLastSignature, kFirstSignature };
    bool Scan(const std::string& path, Verdict verdict);
    // The pest id of the file itself, by its signatures then its location.
    std::optional<std::int32_t> Identify(const std::string& path, const FileHead* head,
                                         SignaturePick pick) const;
    void ScanArchive(const std::string& path);

    ScanReporter& reporter_;
    const CDatDatabase& database_;
    const FileScanSettings& settings_;
    ArchiveEnvironment& archives_;
    MultiByteText mb_;
    ArchiveScanUsage archive_usage_;
};

// A pest id that names a pest (0 and -1 do not).
constexpr bool IsPestId(std::int32_t id) {
    return id != 0 && id != -1;
}

}  // namespace olvex

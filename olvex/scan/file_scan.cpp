#include "olvex/scan/file_scan.h"

#include <vector>

#include "olvex/core/location_builder.h"
#include "olvex/core/location_string.h"

namespace olvex {

FileScanner::FileScanner(ScanReporter& reporter, const CDatDatabase& database,
                         const FileScanSettings& settings, ArchiveEnvironment& archives,
                         const MultiByteText& mb)
    : reporter_(reporter), database_(database), settings_(settings), archives_(archives), mb_(mb) {}

bool FileScanner::Scan(const std::string& path, Verdict verdict) {
    if (!settings_.filters || !settings_.filters->Matches(path))
        return false;
    const bool cookie = IsCookieFileName(FileNameOfPath(path, mb_), mb_);
    const auto location =
        cookie ? BuildCookieFileLocation(path, mb_) : BuildFileLocation(path, mb_);
    // A path no location string can carry is never reported.
    if (!location)
        return false;
    reporter_.StartingItem(*location);
    bool is_pest = false;
    if (!cookie) {
        const auto head = ReadFileHead(path);
        const SignaturePick pick =
            verdict == Verdict::kFirstSignature ? SignaturePick::kFirst : SignaturePick::kLast;
        const auto pest_id = Identify(path, head ? &*head : nullptr, pick);
        if (pest_id && IsPestId(*pest_id)) {
            reporter_.DetectWithExclusionCheck(*pest_id, *location);
            is_pest = true;
        } else if (head && head->StartsAsZip()) {
            ScanArchive(path);
        }
    } else if (settings_.cookies_as_files) {
        is_pest = CheckCookieFile(path);
    }
    reporter_.FinishedItem(*location);
    return is_pest;
}

std::optional<std::int32_t> FileScanner::Identify(const std::string& path, const FileHead* head,
                                                  SignaturePick pick) const {
    if (head) {
        if (const auto crc = head->Crc()) {
            const std::vector<DatSignatureEntry> candidates = database_.FindFileSignatures(*crc);
            if (!candidates.empty()) {
                const auto pest_id = MatchSignatureCandidates(
                    candidates, [&] { return FileMd5(path); }, pick);
                if (pest_id && IsPestId(*pest_id))
                    return pest_id;
            }
        }
    }
    if (const auto listed = database_.FindPathLocation(path))
        return listed->pest_id;
    return std::nullopt;
}

std::optional<DatPestEntry> FileScanner::IdentifyFile(const std::string& path) const {
    const auto head = ReadFileHead(path);
    const auto pest_id = Identify(path, head ? &*head : nullptr, SignaturePick::kFirst);
    if (!pest_id)
        return std::nullopt;
    if (auto pest = database_.FindPest(*pest_id))
        return pest;
    return DatPestEntry{*pest_id, {}, {}};
}

void FileScanner::ScanArchive(const std::string& path) {
    const ArchiveScanSettings settings{settings_.filters, settings_.deep_scan, settings_.certainty,
                                       settings_.archive_limits};
    ArchiveScanner scanner(reporter_, database_, settings, archives_, mb_);
    std::vector<ArchiveFinding> findings;
    scanner.Scan(path, path, findings);
    archive_usage_ = scanner.usage();
    for (const ArchiveFinding& finding : findings)
        reporter_.DetectWithExclusionCheck(finding.pest_id, finding.location);
}

bool FileScanner::CheckCookieFile(const std::string& path) {
    const std::string_view name = FileNameOfPath(path, mb_);
    const std::size_t at = mb_.Find(name, '@');
    std::size_t end = mb_.FindLast(name, '[');
    if (end == std::string_view::npos)
        end = mb_.FindLast(name, '.');
    if (at == std::string_view::npos || end == std::string_view::npos || end <= at)
        return false;
    const std::string_view site = name.substr(at + 1, end - at - 1);
    const auto pest = database_.FindCookie(site);
    if (!pest)
        return false;
    const std::vector<AttributePair> pairs = {{std::string(kAttrCookie), std::string(site)},
                                              {std::string(kAttrFile), path}};
    const auto location = FormatLocationPairs(pairs, PairSeparator::kBlank, mb_);
    if (!location)
        return false;
    reporter_.DetectWithExclusionCheck(pest->pest_id, *location);
    return true;
}

}  // namespace olvex

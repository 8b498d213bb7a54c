#include "olvex/scan/archive_scan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <random>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/core/location_builder.h"
#include "olvex/core/md5.h"
#include "olvex/scan/file_identification.h"
#include "olvex/zip/cp437.h"

namespace olvex {
namespace {

// Tries this many fresh names before giving an inner archive up: a clash
// means someone else made a file of that name, which is never touched.
constexpr unsigned kTemporaryNameAttempts = 16;

// Reads until buffer is full or the entry ends; false on a read error.
bool ReadUpTo(ZipEntryStream& stream, std::span<std::uint8_t> buffer, std::size_t& total) {
    total = 0;
    while (total < buffer.size()) {
        std::size_t got = 0;
        if (stream.Read(buffer.subspan(total), got) != ZipError::kNone)
            return false;
        if (got == 0)
            break;
        total += got;
    }
    return true;
}

// Removes the temporary file it names when it goes.
class TemporaryFileRemover {
  public:
    explicit TemporaryFileRemover(std::string path) : path_(std::move(path)) {}
    ~TemporaryFileRemover() { RemoveFile(path_); }
    TemporaryFileRemover(const TemporaryFileRemover&) = delete;
    TemporaryFileRemover& operator=(const TemporaryFileRemover&) = delete;

  private:
    std::string path_;
};

// A 64-bit mix (splitmix64) of a random start and a process-wide counter:
// names never repeat in the process and are hard to guess from outside.
std::uint64_t NextNameNumber() {
    static const std::uint64_t start = [] {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }();
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t z = start + 0x9E3779B97F4A7C15ull * ++counter;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

std::string FolderArchiveEnvironment::EntryNameText(const ZipEntryInfo& entry) {
    return entry.utf8 ? entry.name : Cp437ToUtf8(entry.name);
}

std::string FolderArchiveEnvironment::TemporaryFilePath(unsigned attempt) {
    if (folder_.empty())
        return {};
    char name[32];
    std::snprintf(name, sizeof(name), "olvex-%016llx.tmp",
                  static_cast<unsigned long long>(NextNameNumber()));
    return folder_ + separator_ + name;
}

std::string ArchiveScanText(const std::string& display_name) {
    return "Scanning inside Zip \"" + display_name + "\"";
}

std::string ArchiveBudgetLimit(ArchiveBudget budget, const ArchiveScanLimits& limits) {
    switch (budget) {
        case ArchiveBudget::kEntries:
            return std::to_string(limits.max_total_entries) + " entries";
        case ArchiveBudget::kBytes:
            return std::to_string(limits.max_total_bytes) + " bytes";
        case ArchiveBudget::kArchives:
            break;
    }
    return std::to_string(limits.max_archives) + " archives";
}

std::string ArchiveBudgetNotice(const std::string& display_name, const std::string& limit) {
    return "The scan of Zip \"" + display_name + "\" was cut short: it reached the limit of " +
           limit + " per scan.";
}

std::size_t ArchiveScanner::Scan(const std::string& path, const std::string& display_name,
                                 std::vector<ArchiveFinding>& findings) {
    usage_ = {};
    return ScanArchive(path, display_name, 1, findings);
}

std::uint64_t ArchiveScanner::BytesLeft() const {
    const std::uint64_t limit = settings_.limits.max_total_bytes;
    return usage_.bytes < limit ? limit - usage_.bytes : 0;
}

bool ArchiveScanner::TakeBytes(std::uint64_t count, const std::string& display_name) {
    if (count > BytesLeft()) {
        ReportBudgetReached(ArchiveBudget::kBytes, display_name);
        return false;
    }
    usage_.bytes += count;
    return true;
}

void ArchiveScanner::ReportBudgetReached(ArchiveBudget budget, const std::string& display_name) {
    bool& told = budget == ArchiveBudget::kEntries ? usage_.entries_reached
                 : budget == ArchiveBudget::kBytes ? usage_.bytes_reached
                                                   : usage_.archives_reached;
    if (told)
        return;
    told = true;
    const std::string limit = ArchiveBudgetLimit(budget, settings_.limits);
    reporter_.VerboseInformation(ArchiveBudgetNotice(display_name, limit));
    environment_.BudgetReached(display_name, limit);
}

std::size_t ArchiveScanner::ScanArchive(const std::string& path, const std::string& display_name,
                                        int depth, std::vector<ArchiveFinding>& findings) {
    const ArchiveScanLimits& limits = settings_.limits;
    const std::string text = ArchiveScanText(display_name);
    reporter_.StartingItem(text);

    if (usage_.archives_opened >= limits.max_archives) {
        ReportBudgetReached(ArchiveBudget::kArchives, display_name);
        return 0;
    }
    ZipBudget budget;
    budget.max_directory_bytes = limits.max_directory_bytes;
    budget.max_entry_bytes = limits.max_entry_bytes;
    budget.max_total_bytes = limits.max_total_bytes;
    ZipReader reader;
    if (reader.OpenFile(path, budget) != ZipError::kNone)
        return 0;
    ++usage_.archives_opened;
    usage_.deepest = std::max(usage_.deepest, depth);

    std::size_t count = 0;
    const std::size_t entries = std::min(reader.EntryCount(), limits.entries_per_archive);
    for (std::size_t i = 0; i < entries; ++i) {
        if (!reporter_.ShouldScanContinue())
            break;
        if (usage_.entries >= limits.max_total_entries) {
            ReportBudgetReached(ArchiveBudget::kEntries, display_name);
            break;
        }
        ++usage_.entries;
        const ZipEntryInfo entry = *reader.Entry(i);
        const std::string name = environment_.EntryNameText(entry);
        // An entry that no location string can name is never reported.
        if (!BuildArchiveEntryLocation(display_name, name, settings_.certainty, mb_))
            continue;
        if (!settings_.filters || !settings_.filters->Matches(name))
            continue;
        bool found = false;
        if (!entry.encrypted && entry.supported &&
            entry.uncompressed_size <= limits.max_entry_bytes)
            found = IdentifyEntry(reader, i, entry, display_name, name, findings);
        if (settings_.deep_scan && !found && depth <= limits.nesting_limit &&
            mb_.Contains(UpperCaseText(name, mb_), "ZIP"))
            count += ScanInnerArchive(reader, i, entry, display_name + "|" + name, depth, findings);
        ++count;
    }
    reader.Close();
    reporter_.FinishedItem(text);
    return count;
}

bool ArchiveScanner::IdentifyEntry(ZipReader& reader, std::size_t index, const ZipEntryInfo& entry,
                                   const std::string& display_name, const std::string& name,
                                   std::vector<ArchiveFinding>& findings) {
    const std::uint64_t size = entry.uncompressed_size;
    const auto head_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(size, kFileHeadBytes));
    if (head_bytes == 0 || !TakeBytes(head_bytes, display_name))
        return false;
    ZipEntryStream stream;
    if (reader.OpenEntry(index, stream) != ZipError::kNone)
        return false;
    std::vector<std::uint8_t> head(head_bytes);
    std::size_t got = 0;
    if (!ReadUpTo(stream, head, got) || got == 0)
        return false;
    head.resize(got);
    const std::vector<DatSignatureEntry> candidates = database_.FindFileSignatures(Crc32(head));
    if (candidates.empty())
        return false;
    // The MD5 of the whole entry, streamed: the head already read, then the
    // rest, within the budget.
    const Md5Supplier md5 = [&]() -> std::optional<Md5Digest> {
        if (!TakeBytes(size - got, display_name))
            return std::nullopt;
        Md5Context context;
        context.Update(head);
        std::array<std::uint8_t, 64 * 1024> piece;
        for (;;) {
            std::size_t read = 0;
            if (stream.Read(piece, read) != ZipError::kNone)
                return std::nullopt;
            if (read == 0)
                break;
            context.Update(std::span(piece).first(read));
        }
        return context.Finish();
    };
    const auto pest = MatchSignatureCandidates(candidates, md5, SignaturePick::kLast);
    if (!pest || *pest == 0 || *pest == -1)
        return false;
    auto location = BuildArchiveEntryLocation(display_name, name, settings_.certainty, mb_);
    if (!location)
        return false;
    findings.push_back({std::move(*location), *pest});
    return true;
}

std::size_t ArchiveScanner::ScanInnerArchive(ZipReader& reader, std::size_t index,
                                             const ZipEntryInfo& entry,
                                             const std::string& display_name, int depth,
                                             std::vector<ArchiveFinding>& findings) {
    // The smallest archive is its end record: anything shorter is no archive.
    constexpr std::uint64_t kSmallestArchive = 22;
    if (entry.encrypted || !entry.supported || entry.uncompressed_size < kSmallestArchive ||
        entry.uncompressed_size > settings_.limits.max_entry_bytes)
        return 0;
    if (usage_.archives_opened >= settings_.limits.max_archives) {
        ReportBudgetReached(ArchiveBudget::kArchives, display_name);
        return 0;
    }
    if (!TakeBytes(entry.uncompressed_size, display_name))
        return 0;
    std::string path;
    ZipError extracted = ZipError::kFileExists;
    for (unsigned attempt = 0;
         attempt < kTemporaryNameAttempts && extracted == ZipError::kFileExists; ++attempt) {
        path = environment_.TemporaryFilePath(attempt);
        if (path.empty())
            return 0;
        extracted = reader.ExtractEntry(index, path);
    }
    // A failed extraction has removed what it wrote.
    if (extracted != ZipError::kNone)
        return 0;
    ++usage_.temporary_files;
    const TemporaryFileRemover remover(path);
    return ScanArchive(path, display_name, depth + 1, findings);
}

}  // namespace olvex

// The archive scan over hostile bytes with deep scanning on: nested
// archives are extracted to temporary files, all within a small budget.
// Traps when the budget is passed or a temporary file is left behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "olvex/core/dat_database.h"
#include "olvex/core/file_io.h"
#include "olvex/scan/archive_scan.h"

namespace {

std::string FolderPath() {
    return "/tmp/olvex-archive-fuzz-" + std::to_string(::getpid());
}

// The fuzzer's own folder, removed when it exits.
const std::string& Folder() {
    static const std::string folder = [] {
        std::filesystem::create_directories(FolderPath());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(FolderPath(), ignored);
        });
        return FolderPath();
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string archive = Folder() + "/input.zip";
    if (olvex::WriteWholeFile(archive, {data, size}) != olvex::FileError::kNone)
        return 0;
    const std::string temporary = Folder() + "/tmp";
    std::filesystem::create_directories(temporary);

    // No definitions: every entry is read for its head, none matches.
    static const olvex::CDatDatabase database;
    olvex::DetectedItems detected;
    olvex::ScanReporter reporter(nullptr, nullptr, detected);
    olvex::ScanFilterList filters(olvex::MultiByteText::SingleByte());
    filters.Parse("*.*");
    olvex::ArchiveScanSettings settings{&filters, true, "Confirmed", {}};
    settings.limits.max_entry_bytes = 1 << 20;
    settings.limits.max_total_bytes = 4 << 20;
    settings.limits.max_total_entries = 2000;
    settings.limits.max_archives = 32;
    olvex::FolderArchiveEnvironment environment(temporary, '/');
    olvex::ArchiveScanner scanner(reporter, database, settings, environment,
                                  olvex::MultiByteText::SingleByte());
    std::vector<olvex::ArchiveFinding> findings;
    scanner.Scan(archive, "input.zip", findings);
    const auto& usage = scanner.usage();
    if (usage.bytes > settings.limits.max_total_bytes ||
        usage.entries > settings.limits.max_total_entries ||
        usage.archives_opened > settings.limits.max_archives ||
        usage.deepest > settings.limits.nesting_limit + 1 || !findings.empty())
        __builtin_trap();
    if (!std::filesystem::is_empty(temporary))
        __builtin_trap();  // a temporary file was left behind
    return 0;
}

// The Windows side of one scan of the scanner object: the client's
// IScannerCallback and the scanner's IExcluder behind the portable
// reporting interfaces, the folder lister over FindFirstFileA, and the
// temporary files and entry names of archive scans in the ANSI code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"
#include "olvex/scan/archive_scan.h"
#include "olvex/scan/file_scan.h"
#include "olvex/scan/folder_walk.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

// Events to the client's callback, texts converted to BSTRs on the way.
// Holds its own reference to the callback for the scan's length.
class CallbackScanEvents final : public ScanEvents {
  public:
    explicit CallbackScanEvents(com::ComPtr<IScannerCallback> callback)
        : callback_(std::move(callback)) {}
    void ScanComplete() override;
    void ScanAborted(std::string_view reason) override;
    void FinishedItem(std::string_view location) override;
    void StartingItem(std::string_view location) override;
    std::int32_t PestDetected(std::int32_t pest_id, std::string_view location) override;
    bool ShouldScanContinue() override;
    void VerboseInformation(std::string_view message) override;

  private:
    com::ComPtr<IScannerCallback> callback_;
};

// The scanner's excluder, asked with the scanner's pest database object.
class ExcluderCheck final : public ExclusionCheck {
  public:
    ExcluderCheck(com::ComPtr<IExcluder> excluder, com::ComPtr<IPestDatabase> database)
        : excluder_(std::move(excluder)), database_(std::move(database)) {}
    Answer IsLocationExcluded(std::int32_t pest_id, std::string_view location) override;
    bool IsFolderExcluded(std::string_view folder) override;

  private:
    com::ComPtr<IExcluder> excluder_;
    com::ComPtr<IPestDatabase> database_;
};

// Temporary files in the system's temporary folder (GetTempPathA, read when
// the scan starts); entry names converted to the ANSI code page, characters
// it lacks shown as "?". A budget that cuts a scan short is written to the
// engine log of the scanner's log folder.
class WindowsArchiveEnvironment final : public ArchiveEnvironment {
  public:
    WindowsArchiveEnvironment();
    std::string EntryNameText(const ZipEntryInfo& entry) override;
    std::string TemporaryFilePath(unsigned attempt) override;
    void BudgetReached(const std::string& display_name, const std::string& limit) override;

    // The folder whose "Logs" folder holds the engine log (ANSI); empty:
    // the engine's own folder.
    void SetLogFolder(std::string folder) { log_folder_ = std::move(folder); }

  private:
    FolderArchiveEnvironment folder_;
    std::string log_folder_;
};

// What one scan works with, fixed when it starts: the callback, excluder
// and pest database the scanner holds at that moment (a client that changes
// them meanwhile affects the next scan), and the reporter over them.
class ScanRun {
  public:
    ScanRun(com::ComPtr<IScannerCallback> callback, com::ComPtr<IExcluder> excluder,
            com::ComPtr<IPestDatabase> database, DetectedItems& detected);
    ScanRun(const ScanRun&) = delete;
    ScanRun& operator=(const ScanRun&) = delete;

    ScanReporter& reporter() { return reporter_; }

    // The file scans' options for this run and their temporary files.
    FileScanSettings file_settings;
    WindowsArchiveEnvironment archives;

  private:
    std::optional<CallbackScanEvents> events_;
    std::optional<ExcluderCheck> exclusions_;
    ScanReporter reporter_;
};

// The file system through GetFileAttributesA and FindFirstFileA.
class WindowsFolderLister final : public FolderLister {
  public:
    PathKind Kind(const std::string& path) override;
    bool List(const std::string& pattern, std::vector<FolderEntry>& entries) override;
};

}  // namespace olvex

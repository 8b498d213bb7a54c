// What every scan reports and how: the client's events (the scanner
// callback), the exclusion check, and the detected-item list that keeps
// findings when the client set no callback. Portable: the engine's scanner
// object plugs its callback and excluder in through the two interfaces
// below; tests plug in recorders.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace olvex {

inline constexpr std::string_view kAbortedByUserText = "Aborted by user.";
inline constexpr std::string_view kDetectWithExclusionCheckText =
    "IScanner::DetectWithExclusionCheck invoked.";
inline constexpr std::string_view kDetectPestText = "IScanner::DetectPest invoked.";

// The client's side of a scan, one call per event of the scanner callback.
// Texts are in the engine's ANSI code page. An implementation that cannot
// make a text throws std::bad_alloc (the scan method answers E_OUTOFMEMORY).
class ScanEvents {
  public:
    virtual ~ScanEvents() = default;
    virtual void ScanComplete() = 0;
    virtual void ScanAborted(std::string_view reason) = 0;
    virtual void FinishedItem(std::string_view location) = 0;
    virtual void StartingItem(std::string_view location) = 0;
    // The client's result (an HRESULT), which the detection passes on.
    virtual std::int32_t PestDetected(std::int32_t pest_id, std::string_view location) = 0;
    // False: the client asks the scan to stop.
    virtual bool ShouldScanContinue() = 0;
    virtual void VerboseInformation(std::string_view message) = 0;
};

// The user's exclusions as the scans ask them.
class ExclusionCheck {
  public:
    virtual ~ExclusionCheck() = default;
    struct Answer {
        bool excluded = false;
        std::int32_t status = 0;  // the excluder's result (an HRESULT)
    };
    virtual Answer IsLocationExcluded(std::int32_t pest_id, std::string_view location) = 0;
    virtual bool IsFolderExcluded(std::string_view folder) = 0;
};

// Findings kept while no callback is set, handed out newest first. Locked:
// an asynchronous scan may add while the client's thread takes.
class DetectedItems {
  public:
    struct Item {
        std::int32_t pest_id = 0;
        std::string location;
    };
    void Add(std::int32_t pest_id, std::string location);
    // The newest item, removed from the list; nullopt when it is empty.
    std::optional<Item> TakeNewest();
    void Clear();
    std::size_t Size() const;

  private:
    mutable std::mutex mutex_;
    std::vector<Item> items_;
};

// One scan's reporting: events go to the callback when there is one, and
// findings to the callback or the detected-item list, after the exclusion
// check when there is an excluder. Every scan of the scanner (files,
// folders, archives, memory, registry, cookies, common locations) reports
// through one of these.
class ScanReporter {
  public:
    // events and exclusions may be null (no callback, no excluder).
    ScanReporter(ScanEvents* events, ExclusionCheck* exclusions, DetectedItems& detected)
        : events_(events), exclusions_(exclusions), detected_(detected) {}

    bool HasCallback() const { return events_ != nullptr; }

    // For scans on a thread of their own: asked before every event and
    // every finding (it may wait there while the scan is paused). Once it
    // answers false the scan is stopped: nothing more is sent or kept, and
    // ShouldScanContinue answers false so that the scan's loops end.
    void SetCheckpoint(std::function<bool()> checkpoint) { checkpoint_ = std::move(checkpoint); }
    bool Stopped() const { return stopped_; }

    // The events, sent only when a callback is set.
    void StartingItem(std::string_view location);
    void FinishedItem(std::string_view location);
    void VerboseInformation(std::string_view message);
    void ScanComplete();
    // "Aborted by user.".
    void ReportAborted();
    // Asked before each item; always true without a callback.
    bool ShouldScanContinue();

    // A finding at a location: the exclusion check (an excluded location
    // gets only the notice "Pest at <location> was excluded from
    // detection."), then PestDetected or the detected-item list. The result
    // is PestDetected's, or the excluder's for an excluded location without
    // a callback, else 0.
    std::int32_t DetectWithExclusionCheck(std::int32_t pest_id, std::string_view location);
    // The same without the exclusion check, for scans that made their own.
    void DetectPest(std::int32_t pest_id, std::string_view location);

    // Whether a folder is excluded from scanning (false without an excluder).
    bool IsFolderExcluded(std::string_view folder);
    // Whether a location is excluded before it is looked at; when it is,
    // the notice "Location <location> was excluded from scan." goes out.
    bool IsExcludedFromScan(std::int32_t pest_id, std::string_view location);

  private:
    // False once the checkpoint has said stop.
    bool Live();

    ScanEvents* events_;
    ExclusionCheck* exclusions_;
    DetectedItems& detected_;
    std::function<bool()> checkpoint_;
    bool stopped_ = false;
};

}  // namespace olvex

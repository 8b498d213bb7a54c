#include "olvex/scan/scan_reporter.h"

namespace olvex {

void DetectedItems::Add(std::int32_t pest_id, std::string location) {
    std::lock_guard lock(mutex_);
    items_.push_back({pest_id, std::move(location)});
}

std::optional<DetectedItems::Item> DetectedItems::TakeNewest() {
    std::lock_guard lock(mutex_);
    if (items_.empty())
        return std::nullopt;
    Item item = std::move(items_.back());
    items_.pop_back();
    return item;
}

void DetectedItems::Clear() {
    std::lock_guard lock(mutex_);
    items_.clear();
}

std::size_t DetectedItems::Size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
}

bool ScanReporter::Live() {
    if (!stopped_ && checkpoint_ && !checkpoint_())
        stopped_ = true;
    return !stopped_;
}

void ScanReporter::StartingItem(std::string_view location) {
    if (events_ && Live())
        events_->StartingItem(location);
}

void ScanReporter::FinishedItem(std::string_view location) {
    if (events_ && Live())
        events_->FinishedItem(location);
}

void ScanReporter::VerboseInformation(std::string_view message) {
    if (events_ && Live())
        events_->VerboseInformation(message);
}

void ScanReporter::ScanComplete() {
    if (events_ && Live())
        events_->ScanComplete();
}

void ScanReporter::ReportAborted() {
    if (events_ && Live())
        events_->ScanAborted(kAbortedByUserText);
}

bool ScanReporter::ShouldScanContinue() {
    if (!Live())
        return false;
    return !events_ || events_->ShouldScanContinue();
}

std::int32_t ScanReporter::DetectWithExclusionCheck(std::int32_t pest_id,
                                                    std::string_view location) {
    if (!Live())
        return 0;
    VerboseInformation(kDetectWithExclusionCheckText);
    if (exclusions_) {
        const ExclusionCheck::Answer answer = exclusions_->IsLocationExcluded(pest_id, location);
        if (answer.excluded) {
            if (!events_)
                return answer.status;
            std::string notice = "Pest at ";
            notice.append(location);
            notice.append(" was excluded from detection.");
            VerboseInformation(notice);
            return 0;
        }
    }
    if (events_)
        return Live() ? events_->PestDetected(pest_id, location) : 0;
    detected_.Add(pest_id, std::string(location));
    return 0;
}

void ScanReporter::DetectPest(std::int32_t pest_id, std::string_view location) {
    if (!Live())
        return;
    if (events_) {
        VerboseInformation(kDetectPestText);
        if (Live())
            events_->PestDetected(pest_id, location);
        return;
    }
    detected_.Add(pest_id, std::string(location));
}

bool ScanReporter::IsFolderExcluded(std::string_view folder) {
    return exclusions_ && exclusions_->IsFolderExcluded(folder);
}

bool ScanReporter::IsExcludedFromScan(std::int32_t pest_id, std::string_view location) {
    if (!exclusions_ || !exclusions_->IsLocationExcluded(pest_id, location).excluded)
        return false;
    std::string notice = "Location ";
    notice.append(location);
    notice.append(" was excluded from scan.");
    VerboseInformation(notice);
    return true;
}

}  // namespace olvex

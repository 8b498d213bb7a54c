#include "client/common/detection_list.h"

#include <algorithm>

namespace olvex {

std::optional<std::size_t> DetectionList::Find(std::int32_t pest_id) const {
    const auto found = std::find_if(records_.begin(), records_.end(),
                                    [&](const DetectionRecord& r) { return r.pest_id == pest_id; });
    if (found == records_.end())
        return std::nullopt;
    return static_cast<std::size_t>(found - records_.begin());
}

void DetectionList::Add(std::int32_t pest_id, const std::string& location, std::int32_t pvt,
                        const std::string& name, const std::string& category) {
    if (const auto index = Find(pest_id)) {
        records_[*index].locations.push_back(location);
    } else {
        records_.push_back(DetectionRecord{pest_id, pvt, name, category, {location}});
    }
    ++detection_count_;
}

std::optional<DetectionRecord> DetectionList::TakeFirst() {
    if (records_.empty())
        return std::nullopt;
    DetectionRecord first = std::move(records_.front());
    records_.erase(records_.begin());
    return first;
}

std::string FormatScanHistory(const std::string& date_time, const std::string& pests,
                              const std::string& detections) {
    return date_time + "\r\n" + pests + "\r\n" + detections;
}

}  // namespace olvex

// The pests one scan found: one record per distinct pest, in
// the order the pests were first detected, each with every location reported
// for it (in arrival order, duplicates kept), and the count of all
// detections.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace olvex {

struct DetectionRecord {
    std::int32_t pest_id = -1;
    std::int32_t pvt = -1;  // of the first location
    std::string name;
    std::string category;
    std::vector<std::string> locations;
};

class DetectionList {
  public:
    // The index of the pest's record, or nullopt.
    std::optional<std::size_t> Find(std::int32_t pest_id) const;

    // Records one detection: a new pest gets a record (with name, category
    // and PVT as given), a known one another location. Counts it either way.
    void Add(std::int32_t pest_id, const std::string& location, std::int32_t pvt,
             const std::string& name, const std::string& category);

    // Takes the first record off the list.
    std::optional<DetectionRecord> TakeFirst();

    const std::vector<DetectionRecord>& records() const { return records_; }
    std::size_t pest_count() const { return records_.size(); }
    std::size_t detection_count() const { return detection_count_; }

  private:
    std::vector<DetectionRecord> records_;
    std::size_t detection_count_ = 0;
};

// The scan history "qzscanhistory.txt": the date-time text, the number of
// pests and the number of detections, one a line (CR LF, as text mode
// writes them), no line end after the last.
std::string FormatScanHistory(const std::string& date_time, const std::string& pests,
                              const std::string& detections);

}  // namespace olvex

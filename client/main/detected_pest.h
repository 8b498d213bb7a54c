// The pests the current scan found, as the main program keeps them: one
// record per pest id, in the order the pests were first found, each with
// the location strings reported for it in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace olvex {

struct DetectedPest {
    std::int32_t pest_id = -1;
    std::string name;
    std::string category;
    std::vector<std::string> locations;
};

// `FindDetectedPest`: the index of the first record with the pest id; -1
// when there is none.
inline int FindDetectedPest(const std::vector<DetectedPest>& pests, std::int32_t pest_id) {
    for (std::size_t i = 0; i < pests.size(); ++i) {
        if (pests[i].pest_id == pest_id)
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace olvex

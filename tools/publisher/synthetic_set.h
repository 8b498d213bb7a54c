// Large made-up definition sets for benchmarks and load tests: the same
// options and seed always give the same set.
#pragma once

#include <cstdint>

#include "tools/publisher/definition_set.h"

namespace olvex::tools {

struct SyntheticOptions {
    std::uint32_t pests = 1000;
    std::uint32_t signatures = 5000;
    std::uint32_t locations = 5000;
    std::uint32_t deltas = 0;  // delta blocks behind the base block
    std::uint64_t seed = 1;
    std::uint64_t base_time = 127238172000000000ull;  // 2004-03-15 09:40:00 UTC
};

// The base block holds the given numbers of records; each delta (one day
// after the one before) adds about one in two hundred more of each kind and
// removes one pest, one signature and one location the base block added.
DefinitionSet MakeSyntheticSet(const SyntheticOptions& options);

}  // namespace olvex::tools

// Encoder of the "JC" stream format, the twin of olvex/core/jc_decoder.h.
// Used by the definition publisher, the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace olvex::tools {

struct JcEncodeOptions {
    bool with_checksum = true;  // false writes a checksum field of 0 (not checked)
};

// Compresses data into a complete stream: header, bit stream and end code,
// the bit stream padded to whole 32-bit words. Empty when data is 4 GiB or
// larger, which the header's 32-bit size cannot describe.
std::vector<std::uint8_t> JcCompress(std::span<const std::uint8_t> data,
                                     const JcEncodeOptions& options = {});

}  // namespace olvex::tools

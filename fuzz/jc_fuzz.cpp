// Hostile JC streams: decoding stays inside its buffers and either fails or
// yields a count within them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "olvex/core/jc_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> stream(data, size);
    const std::uint32_t unpacked = olvex::JcGetUnpackedSize(stream);
    // Headers may claim up to 4 GiB; a smaller destination is a bound too.
    const std::size_t room = unpacked < (1u << 20) ? unpacked : (1u << 20);
    std::vector<std::uint8_t> out(room);
    const std::size_t n = olvex::JcDecompress(stream, out);
    if (n > room)
        std::abort();
    // A destination larger than the header's size does not change the result.
    if (unpacked <= room) {
        std::vector<std::uint8_t> roomy(room + 64);
        if (olvex::JcDecompress(stream, roomy) != n)
            std::abort();
        if (n > 0 && !std::equal(out.begin(), out.begin() + n, roomy.begin()))
            std::abort();
    }
    return 0;
}

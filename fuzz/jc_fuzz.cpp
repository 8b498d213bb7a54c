// Hostile JC streams: decoding stays inside its buffers and either fails or
// yields a count within them; decoding in place gives the same answer, or
// says it could not.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "olvex/core/jc_decoder.h"

namespace {

// Headers may claim up to 4 GiB. The output allowed is bounded: large
// enough for every code and for copies from far back, small enough that a
// run costs microseconds (a buffer of a megabyte per input would cost more
// than the decode itself).
constexpr std::size_t kMaxOutput = 1 << 16;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> stream(data, size);
    const std::uint32_t unpacked = olvex::JcGetUnpackedSize(stream);
    const std::size_t room = std::min<std::size_t>(unpacked, kMaxOutput);
    std::vector<std::uint8_t> out(room);
    const std::size_t n = olvex::JcDecompress(stream, out);
    Check(n <= room);
    // A destination larger than the header's size does not change the result.
    if (unpacked <= room) {
        std::vector<std::uint8_t> roomy(room + 64);
        Check(olvex::JcDecompress(stream, roomy) == n);
        Check(n == 0 || std::equal(out.begin(), out.begin() + n, roomy.begin()));
    }
    // The stream at the end of its own output buffer, a little room between.
    std::vector<std::uint8_t> shared(std::max(room + 16, size));
    const std::size_t at = shared.size() - size;
    std::copy(stream.begin(), stream.end(), shared.begin() + at);
    const olvex::JcInPlaceResult in_place = olvex::JcDecompressInPlace(shared, at, size);
    // Compared only where both outputs have the header's size as their bound.
    if (unpacked > room)
        return 0;
    if (!in_place.overtaken) {
        Check(in_place.written == n);
        Check(n == 0 || std::equal(out.begin(), out.begin() + n, shared.begin()));
    } else {
        Check(in_place.written == 0);
    }
    return 0;
}

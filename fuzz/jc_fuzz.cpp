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
// run costs microseconds.
constexpr std::size_t kMaxOutput = 1 << 16;
// The in-place decode takes streams up to this long.
constexpr std::size_t kMaxInPlaceStream = 1 << 16;
// Bytes behind every destination that a decode must leave alone.
constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The buffers live as long as the fuzzer: fresh ones per input would cost
// more than the decode (the sanitizer's allocator hands out new pages while
// freed ones wait in its quarantine). A guard behind each destination shows
// any byte written past it.
std::span<std::uint8_t> Destination(std::vector<std::uint8_t>& buffer, std::size_t size) {
    buffer.resize(std::max(buffer.size(), size + kGuard));
    std::fill_n(buffer.begin() + static_cast<std::ptrdiff_t>(size), kGuard, kGuardByte);
    return std::span(buffer).first(size);
}

void CheckGuard(const std::vector<std::uint8_t>& buffer, std::size_t size) {
    Check(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(size),
                      buffer.begin() + static_cast<std::ptrdiff_t>(size + kGuard),
                      [](std::uint8_t b) { return b == kGuardByte; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> out_buffer, roomy_buffer, shared_buffer;
    const std::span<const std::uint8_t> stream(data, size);
    const std::uint32_t unpacked = olvex::JcGetUnpackedSize(stream);
    const std::size_t room = std::min<std::size_t>(unpacked, kMaxOutput);
    const auto out = Destination(out_buffer, room);
    const std::size_t n = olvex::JcDecompress(stream, out);
    Check(n <= room);
    CheckGuard(out_buffer, room);
    // A destination larger than the header's size does not change the result.
    if (unpacked <= room) {
        const auto roomy = Destination(roomy_buffer, room + 64);
        Check(olvex::JcDecompress(stream, roomy) == n);
        CheckGuard(roomy_buffer, room + 64);
        Check(n == 0 || std::equal(out.begin(), out.begin() + n, roomy.begin()));
    }
    // The stream at the end of its own output buffer, a little room between.
    if (size > kMaxInPlaceStream)
        return 0;
    const auto shared = Destination(shared_buffer, std::max(room + 16, size));
    const std::size_t at = shared.size() - size;
    std::copy(stream.begin(), stream.end(), shared.begin() + static_cast<std::ptrdiff_t>(at));
    const olvex::JcInPlaceResult in_place = olvex::JcDecompressInPlace(shared, at, size);
    CheckGuard(shared_buffer, shared.size());
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

#include "olvex/core/jc_decoder.h"

#include <algorithm>
#include <cstring>

namespace olvex {
namespace {

std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint32_t RotateLeft1(std::uint32_t w) {
    return (w << 1) | (w >> 31);
}

// Bits come from whole 32-bit little-endian words, most significant bit first.
// Up to two words sit in a 64-bit buffer so that most reads need no refill.
// Asking for a bit past the last whole word marks the reader failed and
// yields zeros; zeros decode as the end code, so a failed stream always stops.
struct JcBitReader {
    const std::uint8_t* next;  // next word not yet in `bits`
    const std::uint8_t* end;   // end of the last whole word
    std::uint64_t bits = 0;    // unread bits, left-aligned
    unsigned count = 0;        // number of unread bits in `bits`
    bool failed = false;       // input overrun or an impossible number

    JcBitReader(const std::uint8_t* data, std::size_t size)
        : next(data), end(data + (size - size % 4)) {}

    void Refill() {
        while (count <= 32 && end - next >= 4) {
            bits |= std::uint64_t{LoadLe32(next)} << (32 - count);
            next += 4;
            count += 32;
        }
    }

    void Fail() {
        failed = true;
        bits = 0;
        count = 0;
        next = end;
    }
};

inline unsigned JcReadBit(JcBitReader& r) {
    if (r.count == 0) {
        r.Refill();
        if (r.count == 0) {
            r.Fail();
            return 0;
        }
    }
    const auto bit = static_cast<unsigned>(r.bits >> 63);
    r.bits <<= 1;
    --r.count;
    return bit;
}

// n from 0 to 32.
inline std::uint32_t JcReadBits(JcBitReader& r, unsigned n) {
    if (n == 0)
        return 0;
    if (r.count < n) {
        r.Refill();
        if (r.count < n) {
            r.Fail();
            return 0;
        }
    }
    const auto value = static_cast<std::uint32_t>(r.bits >> (64 - n));
    r.bits <<= n;
    r.count -= n;
    return value;
}

inline std::uint32_t JcReadByte(JcBitReader& r) {
    return JcReadBits(r, 8);
}

// Every length and offset of a valid stream is below 2^33; a longer number
// can only come from a hostile stream and fails it rather than overflowing.
constexpr int kMaxGammaSteps = 32;

inline std::uint64_t JcReadGamma(JcBitReader& r) {
    std::uint64_t v = 1;
    for (int step = 0; step < kMaxGammaSteps; ++step) {
        if (r.count < 2) {
            r.Refill();
            if (r.count < 2) {
                // Too few bits for a whole step: take them one at a time so
                // that the failure comes from the reader itself.
                v = 2 * v + JcReadBit(r);
                if (!JcReadBit(r))
                    return v;
                continue;
            }
        }
        const auto pair = static_cast<unsigned>(r.bits >> 62);
        r.bits <<= 2;
        r.count -= 2;
        v = 2 * v + (pair >> 1);
        if ((pair & 1) == 0)
            return v;
    }
    r.Fail();
    return 0;
}

constexpr std::size_t RoundUp(std::size_t n, std::size_t chunk) {
    return (n + chunk - 1) / chunk * chunk;
}

// One chunk of a match, through a local copy so that the compiler emits a
// plain load and store.
template <std::size_t kBytes>
inline void CopyChunk(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint8_t chunk[kBytes];
    std::memcpy(chunk, src, kBytes);
    std::memcpy(dst, chunk, kBytes);
}

// Extra length of a gamma-offset match, by its offset.
inline std::uint64_t LengthAdjustment(std::uint64_t offset) {
    if (offset >= 0x10000)
        return 3;
    if (offset >= 0x37FF)
        return 2;
    if (offset >= 0x27F)
        return 1;
    if (offset >= 0x80)
        return 0;
    return 4;
}

// One decode. Run keeps it in a local of its own and every step is inlined
// into Run: the output is written through a byte pointer, which may alias
// anything, so state reached through a pointer would go back to memory after
// every byte written.
struct JcState {
    JcBitReader reader;
    std::uint8_t* out;
    std::size_t limit;  // no byte is written at or past it
    std::size_t pos = 0;
    unsigned literal_width = 0;  // 0 until the literal-width code
    unsigned literal_base = 0;
    unsigned offset_low_bits = 8;
    std::uint64_t last_offset = 1;
    // A stream inside its own output (JcDecompressInPlace): the limit
    // follows the input read so far, never above the output's own.
    bool in_place = false;
    std::size_t output_limit = 0;
    const std::uint8_t* stream_begin = nullptr;
    std::size_t stream_offset = 0;  // where the stream starts in the output

    JcState(std::span<const std::uint8_t> stream, std::uint8_t* destination, std::size_t max)
        : reader(stream.data(), stream.size()), out(destination), limit(max) {}

    // Bytes already taken into the reader's bits may be written over.
    void FollowInput() {
        const auto read = static_cast<std::size_t>(reader.next - stream_begin);
        limit = std::min(output_limit, stream_offset + read);
    }
};

inline bool Emit(JcState& s, std::uint8_t byte) {
    if (s.pos >= s.limit)
        return false;
    s.out[s.pos++] = byte;
    return true;
}

// Appends length bytes, each taken from distance bytes back. Overlap is how
// runs are coded, so the result must equal a byte-by-byte copy. Most matches
// are a few dozen bytes from far back: they are copied inline in chunks no
// longer than the distance (every chunk then reads only bytes already final),
// the last chunk running past the match into output not yet written, which
// later codes overwrite. Near the end of the output, and for distances below
// one chunk, bytes go one at a time.
inline bool Copy(JcState& s, std::uint64_t distance, std::uint64_t length) {
    if (distance == 0 || distance > s.pos || length > s.limit - s.pos)
        return false;
    const auto n = static_cast<std::size_t>(length);
    const auto d = static_cast<std::size_t>(distance);
    const std::size_t room = s.limit - s.pos;
    std::uint8_t* const dst = s.out + s.pos;
    const std::uint8_t* const src = dst - d;  // inside the output: d <= pos
    s.pos += n;
    if (d >= 16 && RoundUp(n, 16) <= room) {
        for (std::size_t i = 0; i < n; i += 16)
            CopyChunk<16>(dst + i, src + i);
        return true;
    }
    if (d >= 8 && RoundUp(n, 8) <= room) {
        for (std::size_t i = 0; i < n; i += 8)
            CopyChunk<8>(dst + i, src + i);
        return true;
    }
    if (d == 1 && n > 8) {
        std::memset(dst, *src, n);
        return true;
    }
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = src[i];
    return true;
}

inline bool GammaMatch(JcState& s) {
    JcBitReader& r = s.reader;
    const std::uint64_t g = JcReadGamma(r);
    if (g == 2)
        return Copy(s, s.last_offset, JcReadGamma(r));
    const std::uint64_t high = g - 3;
    const unsigned low_bits = s.offset_low_bits;
    // An offset of 2^32 or more cannot point into any output.
    if (low_bits >= 32 ? high != 0 : (high >> (32 - low_bits)) != 0)
        return false;
    std::uint64_t low = 0;
    if (low_bits > 32) {
        low = JcReadBits(r, low_bits - 32);
        low = (low << 32) | JcReadBits(r, 32);
    } else {
        low = JcReadBits(r, low_bits);
    }
    const std::uint64_t offset = (high << low_bits) | low;
    s.last_offset = offset;
    const std::uint64_t length = JcReadGamma(r) + LengthAdjustment(offset);
    return Copy(s, offset, length);
}

inline bool ShortMatch(JcState& s, bool& end) {
    const std::uint32_t d = JcReadBits(s.reader, 7);
    const std::uint32_t k = JcReadBits(s.reader, 2);
    if (d > 0) {
        s.last_offset = d;
        return Copy(s, d, k + 2);
    }
    if (k == 0) {
        end = true;
        return true;
    }
    s.offset_low_bits = JcReadBits(s.reader, k + 3);
    return true;
}

inline bool RawRuns(JcState& s) {
    do {
        if (s.limit - s.pos < 256)
            return false;
        for (int i = 0; i < 256; ++i)
            s.out[s.pos++] = static_cast<std::uint8_t>(JcReadByte(s.reader));
        if (s.reader.failed)
            return false;
    } while (JcReadBit(s.reader));
    return true;
}

inline bool FourBitCode(JcState& s) {
    const std::uint32_t v = JcReadBits(s.reader, 4);
    if (v == 1)
        return Emit(s, 0);
    if (v >= 2)
        return Copy(s, v - 1, 1);
    if (JcReadBit(s.reader))
        return RawRuns(s);
    s.literal_width = 7 + JcReadBit(s.reader);
    s.literal_base = s.literal_width == 7 ? JcReadByte(s.reader) : 0;
    return true;
}

struct RunResult {
    bool ok = false;
    std::size_t written = 0;
    std::size_t limit = 0;  // the limit when the run stopped
};

// Decodes until the end code: ok with the count written, not ok on any
// violation.
RunResult Run(JcState s) {
    for (;;) {
        JcBitReader& r = s.reader;
        if (r.count < 32) {
            r.Refill();
            if (s.in_place)
                s.FollowInput();
        }
        // A literal whose bits are at hand: the most frequent code.
        if ((r.bits >> 63) != 0 && s.literal_width != 0 && r.count > s.literal_width) {
            const auto x = static_cast<std::uint32_t>((r.bits << 1) >> (64 - s.literal_width));
            r.bits <<= s.literal_width + 1;
            r.count -= s.literal_width + 1;
            if (s.pos >= s.limit)
                return {false, 0, s.limit};
            s.out[s.pos++] = static_cast<std::uint8_t>(x + s.literal_base);
            continue;
        }
        if (JcReadBit(r)) {
            if (s.literal_width == 0)
                return {false, 0, s.limit};
            const std::uint32_t x = JcReadBits(r, s.literal_width);
            if (!Emit(s, static_cast<std::uint8_t>(x + s.literal_base)))
                return {false, 0, s.limit};
            continue;
        }
        bool ok = true;
        bool end = false;
        if (JcReadBit(r))
            ok = GammaMatch(s);
        else if (!JcReadBit(r))
            ok = ShortMatch(s, end);
        else
            ok = FourBitCode(s);
        if (!ok || r.failed)
            return {false, 0, s.limit};
        if (end)
            return {true, s.pos, s.limit};
    }
}

}  // namespace

std::uint32_t JcGetUnpackedSize(std::span<const std::uint8_t> source) {
    if (source.size() < kJcHeaderBytes || (source[0] | source[1] << 8) != kJcTag)
        return 0;
    return LoadLe32(source.data() + 2);
}

namespace {

// Runs the decode and checks the checksum the header carried.
RunResult Finish(const JcState& state, std::uint32_t checksum,
                 std::span<std::uint8_t> destination) {
    RunResult run = Run(state);
    // Only the bytes this stream wrote are summed: a stream that ends early
    // must not be judged by whatever the buffer held past them.
    if (run.ok && checksum != 0 && JcChecksum(destination.first(run.written)) != checksum)
        run = {false, 0, run.limit};
    return run;
}

}  // namespace

std::size_t JcDecompress(std::span<const std::uint8_t> source,
                         std::span<std::uint8_t> destination) {
    if (source.size() < kJcHeaderBytes || (source[0] | source[1] << 8) != kJcTag)
        return 0;
    const std::uint32_t unpacked = LoadLe32(source.data() + 2);
    const std::uint32_t checksum = LoadLe32(source.data() + 6);
    const std::size_t limit = std::min<std::size_t>(unpacked, destination.size());
    const JcState state(source.subspan(kJcHeaderBytes), destination.data(), limit);
    return Finish(state, checksum, destination).written;
}

JcInPlaceResult JcDecompressInPlace(std::span<std::uint8_t> buffer, std::size_t stream_offset,
                                    std::size_t stream_size) {
    if (stream_offset > buffer.size() || stream_size > buffer.size() - stream_offset)
        return {};
    const auto source = buffer.subspan(stream_offset, stream_size);
    if (source.size() < kJcHeaderBytes || (source[0] | source[1] << 8) != kJcTag)
        return {};
    const std::uint32_t unpacked = LoadLe32(source.data() + 2);
    const std::uint32_t checksum = LoadLe32(source.data() + 6);
    const std::size_t output_limit = std::min<std::size_t>(unpacked, buffer.size());
    JcState state(source.subspan(kJcHeaderBytes), buffer.data(), 0);
    state.in_place = true;
    state.output_limit = output_limit;
    state.stream_begin = source.data() + kJcHeaderBytes;
    state.stream_offset = stream_offset + kJcHeaderBytes;
    const RunResult run = Finish(state, checksum, buffer);
    // Stopped while its input still bounded it: the stream may be sound,
    // but this layout could not hold it.
    return {run.written, !run.ok && run.limit < output_limit};
}

std::uint32_t JcChecksum(std::span<const std::uint8_t> data) {
    const std::size_t size = data.size();
    if (size < 4)
        return 0;
    std::uint32_t sum = 0;
    const auto mix = [&sum](std::uint32_t w) { sum = (sum + w) ^ (RotateLeft1(w) + 1); };
    std::size_t i = 0;
    for (; size - i >= 4; i += 4)
        mix(LoadLe32(data.data() + i));
    if (i < size)
        mix(LoadLe32(data.data() + size - 4));
    return sum;
}

}  // namespace olvex

#include "olvex/core/jc_decoder.h"

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

class JcDecoder {
  public:
    JcDecoder(std::span<const std::uint8_t> stream, std::uint8_t* out, std::size_t limit)
        : reader_(stream.data(), stream.size()), out_(out), limit_(limit) {}

    // The number of bytes written when the stream reaches its end code
    // cleanly; false on any violation.
    bool Run(std::size_t& written);

  private:
    bool Emit(std::uint8_t byte) {
        if (pos_ >= limit_)
            return false;
        out_[pos_++] = byte;
        return true;
    }
    bool Copy(std::uint64_t distance, std::uint64_t length);
    bool GammaMatch();
    bool ShortMatch(bool& end);
    bool FourBitCode();
    bool RawRuns();

    JcBitReader reader_;
    std::uint8_t* out_;
    std::size_t limit_;
    std::size_t pos_ = 0;
    unsigned literal_width_ = 0;  // 0 until the literal-width code
    unsigned literal_base_ = 0;
    unsigned offset_low_bits_ = 8;
    std::uint64_t last_offset_ = 1;
};

// Appends length bytes, each taken from distance bytes back. Overlap is how
// runs are coded, so the result must equal a byte-by-byte copy; copying in
// chunks of at most the distance (doubling, since the copied stretch repeats
// with that period) gives the same bytes.
bool JcDecoder::Copy(std::uint64_t distance, std::uint64_t length) {
    if (distance == 0 || distance > pos_ || length > limit_ - pos_)
        return false;
    std::uint8_t* dst = out_ + pos_;
    const auto n = static_cast<std::size_t>(length);
    auto d = static_cast<std::size_t>(distance);
    pos_ += n;
    if (n <= 16 && d >= n) {
        for (std::size_t i = 0; i < n; ++i)
            dst[i] = dst[i - d];
        return true;
    }
    if (d == 1) {
        std::memset(dst, dst[-1], n);
        return true;
    }
    std::size_t left = n;
    while (left > 0) {
        const std::size_t chunk = left < d ? left : d;
        std::memcpy(dst, dst - d, chunk);
        dst += chunk;
        left -= chunk;
        d *= 2;
    }
    return true;
}

bool JcDecoder::GammaMatch() {
    const std::uint64_t g = JcReadGamma(reader_);
    if (g == 2) {
        return Copy(last_offset_, JcReadGamma(reader_));
    }
    const std::uint64_t high = g - 3;
    // An offset of 2^32 or more cannot point into any output.
    if (offset_low_bits_ >= 32 ? high != 0 : (high >> (32 - offset_low_bits_)) != 0)
        return false;
    std::uint64_t low = 0;
    if (offset_low_bits_ > 32) {
        low = JcReadBits(reader_, offset_low_bits_ - 32);
        low = (low << 32) | JcReadBits(reader_, 32);
    } else {
        low = JcReadBits(reader_, offset_low_bits_);
    }
    const std::uint64_t offset = (high << offset_low_bits_) | low;
    last_offset_ = offset;
    const std::uint64_t length = JcReadGamma(reader_) + LengthAdjustment(offset);
    return Copy(offset, length);
}

bool JcDecoder::ShortMatch(bool& end) {
    const std::uint32_t d = JcReadBits(reader_, 7);
    const std::uint32_t k = JcReadBits(reader_, 2);
    if (d > 0) {
        last_offset_ = d;
        return Copy(d, k + 2);
    }
    if (k == 0) {
        end = true;
        return true;
    }
    offset_low_bits_ = JcReadBits(reader_, k + 3);
    return true;
}

bool JcDecoder::RawRuns() {
    do {
        if (limit_ - pos_ < 256)
            return false;
        for (int i = 0; i < 256; ++i)
            out_[pos_++] = static_cast<std::uint8_t>(JcReadByte(reader_));
        if (reader_.failed)
            return false;
    } while (JcReadBit(reader_));
    return true;
}

bool JcDecoder::FourBitCode() {
    const std::uint32_t v = JcReadBits(reader_, 4);
    if (v == 1)
        return Emit(0);
    if (v >= 2)
        return Copy(v - 1, 1);
    if (JcReadBit(reader_))
        return RawRuns();
    literal_width_ = 7 + JcReadBit(reader_);
    literal_base_ = literal_width_ == 7 ? JcReadByte(reader_) : 0;
    return true;
}

bool JcDecoder::Run(std::size_t& written) {
    for (;;) {
        if (JcReadBit(reader_)) {
            if (literal_width_ == 0)
                return false;
            const std::uint32_t x = JcReadBits(reader_, literal_width_);
            if (!Emit(static_cast<std::uint8_t>(x + literal_base_)))
                return false;
            continue;
        }
        bool ok = true;
        bool end = false;
        if (JcReadBit(reader_))
            ok = GammaMatch();
        else if (!JcReadBit(reader_))
            ok = ShortMatch(end);
        else
            ok = FourBitCode();
        if (!ok || reader_.failed)
            return false;
        if (end) {
            written = pos_;
            return true;
        }
    }
}

}  // namespace

std::uint32_t JcGetUnpackedSize(std::span<const std::uint8_t> source) {
    if (source.size() < kJcHeaderBytes || (source[0] | source[1] << 8) != kJcTag)
        return 0;
    return LoadLe32(source.data() + 2);
}

std::size_t JcDecompress(std::span<const std::uint8_t> source,
                         std::span<std::uint8_t> destination) {
    if (source.size() < kJcHeaderBytes || (source[0] | source[1] << 8) != kJcTag)
        return 0;
    const std::uint32_t unpacked = LoadLe32(source.data() + 2);
    const std::uint32_t checksum = LoadLe32(source.data() + 6);
    const std::size_t limit = unpacked < destination.size() ? unpacked : destination.size();

    JcDecoder decoder(source.subspan(kJcHeaderBytes), destination.data(), limit);
    std::size_t written = 0;
    if (!decoder.Run(written))
        return 0;
    // Only the bytes this stream wrote are summed: a stream that ends early
    // must not be judged by whatever the buffer held past them.
    if (checksum != 0 && JcChecksum(destination.first(written)) != checksum)
        return 0;
    return written;
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

#include "tools/jc/jc_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "olvex/core/jc_decoder.h"

namespace olvex::tools {
namespace {

// Match finder: hash chains over 3-byte prefixes in a 1 MiB window, with a
// bounded walk so that multi-megabyte inputs stay fast.
constexpr unsigned kHashBits = 16;
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;
constexpr int kMaxChainSteps = 48;
constexpr std::size_t kNiceLength = 256;  // stop looking once a match is this long
constexpr std::uint32_t kNoPosition = std::numeric_limits<std::uint32_t>::max();

// The decoder starts with 8 plain low bits under a long offset; this encoder
// never changes that.
constexpr unsigned kOffsetLowBits = 8;
constexpr std::size_t kRawRunBytes = 256;
constexpr unsigned kMaxShortDistance = 127;
constexpr unsigned kMaxOneByteDistance = 14;

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Bits go into 32-bit little-endian words, most significant bit first.
class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // n from 1 to 32.
    void Put(std::uint32_t value, unsigned n) {
        acc_ = (acc_ << n) | (value & (n == 32 ? 0xFFFFFFFFu : (1u << n) - 1));
        used_ += n;
        if (used_ >= 32) {
            used_ -= 32;
            PutLe32(out_, static_cast<std::uint32_t>(acc_ >> used_));
            acc_ &= (std::uint64_t{1} << used_) - 1;
        }
    }

    // v >= 2: the bits below the leading one, each followed by 1 when more
    // follow and 0 after the last.
    void PutGamma(std::uint64_t v) {
        int top = 63;
        while (!((v >> top) & 1))
            --top;
        for (int i = top - 1; i >= 0; --i)
            Put(static_cast<std::uint32_t>(((v >> i) & 1) << 1 | (i > 0 ? 1 : 0)), 2);
    }

    // Pads the last word with zero bits.
    void Finish() {
        if (used_ > 0)
            Put(0, 32 - used_);
    }

  private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    unsigned used_ = 0;
};

unsigned GammaBits(std::uint64_t v) {
    unsigned top = 63;
    while (!((v >> top) & 1))
        --top;
    return 2 * top;
}

std::uint64_t LengthAdjustment(std::size_t offset) {
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

enum class MatchCode { kNone, kRepeat, kShort, kGammaOffset };

struct MatchChoice {
    MatchCode code = MatchCode::kNone;
    unsigned bits = 0;
};

// The cheapest code that can carry a match of this length and distance.
MatchChoice ChooseCode(std::size_t length, std::size_t distance, std::size_t last_offset) {
    MatchChoice best;
    const auto consider = [&best](MatchCode code, unsigned bits) {
        if (best.code == MatchCode::kNone || bits < best.bits)
            best = {code, bits};
    };
    if (length < 2)
        return best;
    if (distance == last_offset)
        consider(MatchCode::kRepeat, 2 + GammaBits(2) + GammaBits(length));
    if (distance <= kMaxShortDistance && length <= 5)
        consider(MatchCode::kShort, 3 + 7 + 2);
    const std::uint64_t adjust = LengthAdjustment(distance);
    if (length >= adjust + 2) {
        const std::uint64_t g = (distance >> kOffsetLowBits) + 3;
        consider(MatchCode::kGammaOffset,
                 2 + GammaBits(g) + kOffsetLowBits + GammaBits(length - adjust));
    }
    return best;
}

struct Match {
    std::size_t length = 0;
    std::size_t distance = 0;
    std::int64_t gain = 0;  // bits saved over coding the bytes one by one
};

class Encoder {
  public:
    explicit Encoder(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out)
        : data_(data), bits_(out), head_(std::size_t{1} << kHashBits, kNoPosition) {
        prev_.resize(std::min(kWindowBytes, std::max<std::size_t>(data.size(), 1)));
    }

    void Run();

  private:
    void ChooseLiteralWidth();
    std::uint32_t Hash(std::size_t pos) const {
        const std::uint32_t v =
            std::uint32_t{data_[pos]} << 16 | std::uint32_t{data_[pos + 1]} << 8 | data_[pos + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    void InsertUpTo(std::size_t pos);
    std::size_t MatchLength(std::size_t from, std::size_t pos) const;
    void Consider(Match& best, std::size_t pos, std::size_t distance) const;
    Match FindMatch(std::size_t pos);

    unsigned ByteBits(std::size_t pos) const;
    void PutByte(std::size_t pos);
    void FlushBytes(std::size_t begin, std::size_t end);
    void PutMatch(const Match& m);
    // Bits lost when a match cuts a stretch that would go as raw runs: the
    // bytes past its last whole run are then coded one by one.
    std::int64_t BreakCost(std::size_t stretch) const {
        return literal_width_ == 8 && stretch >= kRawRunBytes ? stretch % kRawRunBytes : 0;
    }

    std::span<const std::uint8_t> data_;
    BitWriter bits_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> prev_;
    std::size_t inserted_ = 0;
    unsigned literal_width_ = 8;
    unsigned literal_base_ = 0;
    std::size_t last_offset_ = 1;
};

// Width 7 when every non-zero byte lies in one window of 128 values (zeros
// have a code of their own); the window's first value is the literal base.
void Encoder::ChooseLiteralWidth() {
    std::array<bool, 256> present{};
    for (const auto b : data_)
        present[b] = true;
    for (unsigned base = 1; base < 256; ++base) {
        bool fits = true;
        for (unsigned v = 1; v < 256 && fits; ++v)
            fits = !present[v] || ((v - base) & 0xFF) < 128;
        if (fits) {
            literal_width_ = 7;
            literal_base_ = base;
            return;
        }
    }
    literal_width_ = 8;
    literal_base_ = 0;
}

void Encoder::InsertUpTo(std::size_t pos) {
    const std::size_t last = data_.size() >= 3 ? data_.size() - 2 : 0;
    for (; inserted_ < pos && inserted_ < last; ++inserted_) {
        const std::uint32_t h = Hash(inserted_);
        prev_[inserted_ % prev_.size()] = head_[h];
        head_[h] = static_cast<std::uint32_t>(inserted_);
    }
    inserted_ = std::max(inserted_, pos);
}

std::size_t Encoder::MatchLength(std::size_t from, std::size_t pos) const {
    const std::uint8_t* a = data_.data() + from;
    const std::uint8_t* b = data_.data() + pos;
    const std::size_t max = data_.size() - pos;
    std::size_t n = 0;
    while (max - n >= 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            break;
        n += 8;
    }
    while (n < max && a[n] == b[n])
        ++n;
    return n;
}

void Encoder::Consider(Match& best, std::size_t pos, std::size_t distance) const {
    if (best.length > 0 && pos + best.length < data_.size() &&
        data_[pos - distance + best.length] != data_[pos + best.length])
        return;
    const std::size_t length = MatchLength(pos - distance, pos);
    const MatchChoice code = ChooseCode(length, distance, last_offset_);
    if (code.code == MatchCode::kNone)
        return;
    const std::int64_t gain = static_cast<std::int64_t>(length) * (literal_width_ + 1) - code.bits;
    if (gain > best.gain)
        best = {length, distance, gain};
}

Match Encoder::FindMatch(std::size_t pos) {
    InsertUpTo(pos);
    Match best;
    if (last_offset_ <= pos)
        Consider(best, pos, last_offset_);
    if (pos + 3 > data_.size())
        return best;
    std::uint32_t candidate = head_[Hash(pos)];
    for (int steps = 0; steps < kMaxChainSteps && candidate != kNoPosition; ++steps) {
        const std::size_t distance = pos - candidate;
        if (distance >= prev_.size() || best.length >= kNiceLength)
            break;
        if (distance != last_offset_)
            Consider(best, pos, distance);
        const std::uint32_t older = prev_[candidate % prev_.size()];
        if (older >= candidate)
            break;
        candidate = older;
    }
    return best;
}

// Cost of a byte coded on its own: zero code or one-byte copy (7 bits) where
// possible, else a plain literal.
unsigned Encoder::ByteBits(std::size_t pos) const {
    if (data_[pos] == 0)
        return 7;
    for (std::size_t d = 1; d <= kMaxOneByteDistance && d <= pos; ++d) {
        if (data_[pos - d] == data_[pos])
            return 7;
    }
    return 1 + literal_width_;
}

void Encoder::PutByte(std::size_t pos) {
    const std::uint8_t b = data_[pos];
    if (b == 0) {
        bits_.Put(0b001'0001, 7);
        return;
    }
    for (std::size_t d = 1; d <= kMaxOneByteDistance && d <= pos; ++d) {
        if (data_[pos - d] == b) {
            bits_.Put(0b001'0000 | static_cast<std::uint32_t>(d + 1), 7);
            return;
        }
    }
    bits_.Put(1, 1);
    bits_.Put((b - literal_base_) & 0xFF, literal_width_);
}

// Codes bytes that no match covers. Stretches of 256 bytes go as raw runs
// (8 plain bits each) where that is cheaper than coding them one by one,
// which is the case for incompressible data under an 8-bit literal width.
void Encoder::FlushBytes(std::size_t begin, std::size_t end) {
    constexpr unsigned kRawRunBits = 8 + kRawRunBytes * 8 + 1;
    const auto raw_is_cheaper = [this](std::size_t at) {
        unsigned one_by_one = 0;
        for (std::size_t i = 0; i < kRawRunBytes; ++i)
            one_by_one += ByteBits(at + i);
        return one_by_one > kRawRunBits;
    };
    while (end - begin >= kRawRunBytes) {
        if (literal_width_ == 7 || !raw_is_cheaper(begin)) {
            for (std::size_t i = 0; i < kRawRunBytes; ++i)
                PutByte(begin++);
            continue;
        }
        // 001 0000 1, then runs of 256 plain bytes, each followed by a bit
        // that says whether another run follows.
        bits_.Put(0b001'0000'1, 8);
        for (;;) {
            for (std::size_t i = 0; i < kRawRunBytes; ++i)
                bits_.Put(data_[begin++], 8);
            const bool more = end - begin >= kRawRunBytes && raw_is_cheaper(begin);
            bits_.Put(more ? 1 : 0, 1);
            if (!more)
                break;
        }
    }
    while (begin < end)
        PutByte(begin++);
}

void Encoder::PutMatch(const Match& m) {
    switch (ChooseCode(m.length, m.distance, last_offset_).code) {
        case MatchCode::kRepeat:
            bits_.Put(0b01, 2);
            bits_.PutGamma(2);
            bits_.PutGamma(m.length);
            break;
        case MatchCode::kShort:
            bits_.Put(0b000, 3);
            bits_.Put(static_cast<std::uint32_t>(m.distance), 7);
            bits_.Put(static_cast<std::uint32_t>(m.length - 2), 2);
            last_offset_ = m.distance;
            break;
        case MatchCode::kGammaOffset:
            bits_.Put(0b01, 2);
            bits_.PutGamma((m.distance >> kOffsetLowBits) + 3);
            bits_.Put(static_cast<std::uint32_t>(m.distance & 0xFF), kOffsetLowBits);
            bits_.PutGamma(m.length - LengthAdjustment(m.distance));
            last_offset_ = m.distance;
            break;
        case MatchCode::kNone:
            break;
    }
}

void Encoder::Run() {
    ChooseLiteralWidth();
    // Literal-width code: 001 0000 0, then the width bit (and the base for 7).
    bits_.Put(0b001'0000'0, 8);
    bits_.Put(literal_width_ == 8 ? 1 : 0, 1);
    if (literal_width_ == 7)
        bits_.Put(literal_base_, 8);

    std::size_t pos = 0;
    std::size_t pending = 0;  // first byte not yet coded
    const std::size_t size = data_.size();
    while (pos < size) {
        Match m = FindMatch(pos);
        if (m.gain <= BreakCost(pos - pending)) {
            ++pos;
            continue;
        }
        // One step of lazy matching: a better match one byte later wins.
        while (m.length < kNiceLength && pos + 1 < size) {
            const Match next = FindMatch(pos + 1);
            if (next.gain <= m.gain)
                break;
            ++pos;
            m = next;
        }
        FlushBytes(pending, pos);
        PutMatch(m);
        pos += m.length;
        pending = pos;
    }
    FlushBytes(pending, size);
    // End code: 000, distance 0, k 0.
    bits_.Put(0, 12);
    bits_.Finish();
}

}  // namespace

std::vector<std::uint8_t> JcCompress(std::span<const std::uint8_t> data,
                                     const JcEncodeOptions& options) {
    std::vector<std::uint8_t> out;
    // The header carries a 32-bit size.
    if (data.size() > std::numeric_limits<std::uint32_t>::max())
        return out;
    out.reserve(kJcHeaderBytes + data.size() / 2 + 64);
    out.push_back(static_cast<std::uint8_t>(kJcTag & 0xFF));
    out.push_back(static_cast<std::uint8_t>(kJcTag >> 8));
    PutLe32(out, static_cast<std::uint32_t>(data.size()));
    PutLe32(out, options.with_checksum ? JcChecksum(data) : 0);
    Encoder(data, out).Run();
    return out;
}

}  // namespace olvex::tools

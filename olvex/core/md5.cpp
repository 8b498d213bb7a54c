#include "olvex/core/md5.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace olvex {
namespace {

std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint32_t Rotl(std::uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return y ^ (z & (x ^ y));
}
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return x ^ y ^ z;
}
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return y ^ (x | ~z);
}

template <std::uint32_t (*Fn)(std::uint32_t, std::uint32_t, std::uint32_t)>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t x, std::uint32_t t, int s) {
    a = b + Rotl(a + Fn(b, c, d) + x + t, s);
}

// Files are read in blocks of this size; memory use does not grow with the file.
constexpr std::size_t kReadBlockBytes = 16384;

// Reads the open file from its start to its end, zeroing the bytes inside
// [zero_from, zero_from + zero_count) before they are hashed.
bool HashFile(Md5Context& context, InputFile& file, std::uint64_t zero_from,
              std::uint64_t zero_count) {
    if (!file.IsOpen() || !file.Seek(0))
        return false;
    const std::uint64_t zero_end =
        zero_count > ~std::uint64_t{0} - zero_from ? ~std::uint64_t{0} : zero_from + zero_count;
    std::uint8_t block[kReadBlockBytes];
    std::uint64_t at = 0;
    for (;;) {
        const auto got = file.Read(block);
        if (!got)
            return false;
        if (*got == 0)
            return true;
        const std::uint64_t block_end = at + *got;
        if (zero_from < block_end && zero_end > at) {
            const auto first = static_cast<std::size_t>(std::max(zero_from, at) - at);
            const auto last = static_cast<std::size_t>(std::min(zero_end, block_end) - at);
            std::memset(block + first, 0, last - first);
        }
        context.Update({block, *got});
        at = block_end;
    }
}

}  // namespace

void Md5Context::Reset() {
    state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    bit_count_ = 0;
    buffer_.fill(0);
}

void Md5Context::Transform(const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = LoadLe32(block + 4 * i);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    Step<F>(a, b, c, d, x[0], 0xd76aa478, 7);
    Step<F>(d, a, b, c, x[1], 0xe8c7b756, 12);
    Step<F>(c, d, a, b, x[2], 0x242070db, 17);
    Step<F>(b, c, d, a, x[3], 0xc1bdceee, 22);
    Step<F>(a, b, c, d, x[4], 0xf57c0faf, 7);
    Step<F>(d, a, b, c, x[5], 0x4787c62a, 12);
    Step<F>(c, d, a, b, x[6], 0xa8304613, 17);
    Step<F>(b, c, d, a, x[7], 0xfd469501, 22);
    Step<F>(a, b, c, d, x[8], 0x698098d8, 7);
    Step<F>(d, a, b, c, x[9], 0x8b44f7af, 12);
    Step<F>(c, d, a, b, x[10], 0xffff5bb1, 17);
    Step<F>(b, c, d, a, x[11], 0x895cd7be, 22);
    Step<F>(a, b, c, d, x[12], 0x6b901122, 7);
    Step<F>(d, a, b, c, x[13], 0xfd987193, 12);
    Step<F>(c, d, a, b, x[14], 0xa679438e, 17);
    Step<F>(b, c, d, a, x[15], 0x49b40821, 22);

    Step<G>(a, b, c, d, x[1], 0xf61e2562, 5);
    Step<G>(d, a, b, c, x[6], 0xc040b340, 9);
    Step<G>(c, d, a, b, x[11], 0x265e5a51, 14);
    Step<G>(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    Step<G>(a, b, c, d, x[5], 0xd62f105d, 5);
    Step<G>(d, a, b, c, x[10], 0x02441453, 9);
    Step<G>(c, d, a, b, x[15], 0xd8a1e681, 14);
    Step<G>(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    Step<G>(a, b, c, d, x[9], 0x21e1cde6, 5);
    Step<G>(d, a, b, c, x[14], 0xc33707d6, 9);
    Step<G>(c, d, a, b, x[3], 0xf4d50d87, 14);
    Step<G>(b, c, d, a, x[8], 0x455a14ed, 20);
    Step<G>(a, b, c, d, x[13], 0xa9e3e905, 5);
    Step<G>(d, a, b, c, x[2], 0xfcefa3f8, 9);
    Step<G>(c, d, a, b, x[7], 0x676f02d9, 14);
    Step<G>(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    Step<H>(a, b, c, d, x[5], 0xfffa3942, 4);
    Step<H>(d, a, b, c, x[8], 0x8771f681, 11);
    Step<H>(c, d, a, b, x[11], 0x6d9d6122, 16);
    Step<H>(b, c, d, a, x[14], 0xfde5380c, 23);
    Step<H>(a, b, c, d, x[1], 0xa4beea44, 4);
    Step<H>(d, a, b, c, x[4], 0x4bdecfa9, 11);
    Step<H>(c, d, a, b, x[7], 0xf6bb4b60, 16);
    Step<H>(b, c, d, a, x[10], 0xbebfbc70, 23);
    Step<H>(a, b, c, d, x[13], 0x289b7ec6, 4);
    Step<H>(d, a, b, c, x[0], 0xeaa127fa, 11);
    Step<H>(c, d, a, b, x[3], 0xd4ef3085, 16);
    Step<H>(b, c, d, a, x[6], 0x04881d05, 23);
    Step<H>(a, b, c, d, x[9], 0xd9d4d039, 4);
    Step<H>(d, a, b, c, x[12], 0xe6db99e5, 11);
    Step<H>(c, d, a, b, x[15], 0x1fa27cf8, 16);
    Step<H>(b, c, d, a, x[2], 0xc4ac5665, 23);

    Step<I>(a, b, c, d, x[0], 0xf4292244, 6);
    Step<I>(d, a, b, c, x[7], 0x432aff97, 10);
    Step<I>(c, d, a, b, x[14], 0xab9423a7, 15);
    Step<I>(b, c, d, a, x[5], 0xfc93a039, 21);
    Step<I>(a, b, c, d, x[12], 0x655b59c3, 6);
    Step<I>(d, a, b, c, x[3], 0x8f0ccc92, 10);
    Step<I>(c, d, a, b, x[10], 0xffeff47d, 15);
    Step<I>(b, c, d, a, x[1], 0x85845dd1, 21);
    Step<I>(a, b, c, d, x[8], 0x6fa87e4f, 6);
    Step<I>(d, a, b, c, x[15], 0xfe2ce6e0, 10);
    Step<I>(c, d, a, b, x[6], 0xa3014314, 15);
    Step<I>(b, c, d, a, x[13], 0x4e0811a1, 21);
    Step<I>(a, b, c, d, x[4], 0xf7537e82, 6);
    Step<I>(d, a, b, c, x[11], 0xbd3af235, 10);
    Step<I>(c, d, a, b, x[2], 0x2ad7d2bb, 15);
    Step<I>(b, c, d, a, x[9], 0xeb86d391, 21);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5Context::Update(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    std::size_t held = static_cast<std::size_t>((bit_count_ >> 3) & 63);
    bit_count_ += static_cast<std::uint64_t>(left) << 3;
    if (held > 0) {
        const std::size_t take = std::min(left, 64 - held);
        std::memcpy(buffer_.data() + held, p, take);
        p += take;
        left -= take;
        held += take;
        if (held < 64)
            return;
        Transform(buffer_.data());
    }
    for (; left >= 64; p += 64, left -= 64)
        Transform(p);
    if (left > 0)
        std::memcpy(buffer_.data(), p, left);
}

Md5Digest Md5Context::Finish() {
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<std::uint8_t>(bit_count_ >> (8 * i));
    // 0x80, then zeros up to 56 bytes modulo 64, then the bit count.
    static constexpr std::uint8_t kPadding[64] = {0x80};
    const auto held = static_cast<std::size_t>((bit_count_ >> 3) & 63);
    Update({kPadding, held < 56 ? 56 - held : 120 - held});
    Update({length, 8});
    Md5Digest digest;
    for (int i = 0; i < 4; ++i)
        StoreLe32(digest.data() + 4 * i, state_[i]);
    state_.fill(0);
    buffer_.fill(0);
    bit_count_ = 0;
    return digest;
}

bool CMD5Hasher::HashBuffer(std::span<const std::uint8_t> bytes, Md5Digest& digest) {
    context_.Reset();
    context_.Update(bytes);
    digest = context_.Finish();
    return true;
}

bool CMD5Hasher::HashString(const char* text, Md5Digest& digest) {
    if (text == nullptr) {
        digest.fill(0);
        return false;
    }
    return HashBuffer({reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)}, digest);
}

bool CMD5Hasher::HashFileRange(InputFile& file, std::uint64_t offset, std::uint64_t count,
                               Md5Digest& digest) {
    context_.Reset();
    if (!HashFile(context_, file, offset, count)) {
        context_.Finish();  // clears the state
        digest.fill(0);
        return false;
    }
    digest = context_.Finish();
    return true;
}

bool CMD5Hasher::HashOpenFile(InputFile file, Md5Digest& digest) {
    return HashFileRange(file, 0, 0, digest);
}

bool CMD5Hasher::HashFileRangeByName(const std::string& path, std::uint64_t offset,
                                     std::uint64_t count, Md5Digest& digest) {
    InputFile file;
    if (!file.Open(path)) {
        digest.fill(0);
        return false;
    }
    return HashFileRange(file, offset, count, digest);
}

bool CMD5Hasher::HashFileByName(const std::string& path, Md5Digest& digest) {
    InputFile file;
    if (!file.Open(path)) {
        digest.fill(0);
        return false;
    }
    return HashOpenFile(std::move(file), digest);
}

std::string DigestToHex(const Md5Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (const auto b : digest) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

}  // namespace olvex

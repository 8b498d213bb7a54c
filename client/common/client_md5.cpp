#include "client/common/client_md5.h"

#include <algorithm>
#include <cstring>

#include "olvex/core/file_io.h"

namespace olvex {
namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

}  // namespace

void ClientMd5::Reset() {
    state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    byte_count_ = 0;
    buffer_.fill(0);
}

void ClientMd5::Transform(const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<std::uint32_t>(block[4 * i]) |
               (static_cast<std::uint32_t>(block[4 * i + 1]) << 8) |
               (static_cast<std::uint32_t>(block[4 * i + 2]) << 16) |
               (static_cast<std::uint32_t>(block[4 * i + 3]) << 24);
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t next_d = c;
        c = b;
        b = b + RotateLeft(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = next_d;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void ClientMd5::Update(std::span<const std::uint8_t> bytes) {
    std::size_t used = static_cast<std::size_t>(byte_count_ % 64);
    byte_count_ += bytes.size();
    std::size_t at = 0;
    if (used > 0) {
        const std::size_t take = std::min(bytes.size(), 64 - used);
        std::memcpy(buffer_.data() + used, bytes.data(), take);
        at = take;
        used += take;
        if (used < 64)
            return;
        Transform(buffer_.data());
    }
    for (; bytes.size() - at >= 64; at += 64)
        Transform(bytes.data() + at);
    if (at < bytes.size())
        std::memcpy(buffer_.data(), bytes.data() + at, bytes.size() - at);
}

ClientMd5Digest ClientMd5::Finish() {
    const std::uint64_t bits = byte_count_ * 8;
    std::array<std::uint8_t, 72> padding{};
    padding[0] = 0x80;
    const std::size_t used = static_cast<std::size_t>(byte_count_ % 64);
    const std::size_t pad = used < 56 ? 56 - used : 120 - used;
    for (int i = 0; i < 8; ++i)
        padding[pad + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Update(std::span(padding.data(), pad + 8));
    ClientMd5Digest digest;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
    }
    Reset();
    return digest;
}

ClientMd5Digest ClientMd5::DigestBuffer(std::span<const std::uint8_t> bytes) {
    ClientMd5 md5;
    md5.Update(bytes);
    return md5.Finish();
}

ClientMd5Digest ClientMd5::DigestString(std::string_view text) {
    return DigestBuffer(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<ClientMd5Digest> ClientMd5::DigestFile(const std::string& path) {
    return DigestFileZeroedRange(path, 0, 0);
}

std::optional<ClientMd5Digest> ClientMd5::DigestFileZeroedRange(const std::string& path,
                                                                std::uint64_t offset,
                                                                std::uint64_t count) {
    InputFile file;
    if (!file.Open(path))
        return std::nullopt;
    const std::uint64_t range_end = count > UINT64_MAX - offset ? UINT64_MAX : offset + count;
    ClientMd5 md5;
    std::array<std::uint8_t, 1024> chunk;
    std::uint64_t position = 0;
    for (;;) {
        const auto got = file.Read(chunk);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            break;
        // Bytes of the range are hashed as zeros, never as what the file holds.
        for (std::size_t i = 0; i < *got; ++i) {
            if (position + i >= offset && position + i < range_end)
                chunk[i] = 0;
        }
        md5.Update(std::span(chunk.data(), *got));
        position += *got;
    }
    return md5.Finish();
}

}  // namespace olvex

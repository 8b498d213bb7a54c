#include "olvex/core/crc32.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "olvex/core/file_io.h"

namespace olvex {
namespace {

// Eight tables for slicing-by-8: table[0] is the classic byte table, and
// table[k][b] is the CRC of byte b followed by k zero bytes.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
        for (int k = 1; k < 8; ++k)
            t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    }
    return t;
}

constexpr Tables kTables = MakeTables();

std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Reads the head of a file with one read into a zeroed buffer.
bool ReadHead(InputFile& file, std::uint8_t* buffer, std::size_t want, std::size_t& got) {
    std::memset(buffer, 0, want);
    const auto read = file.ReadFull({buffer, want});
    if (!read)
        return false;
    got = *read;
    return true;
}

bool OpenForHead(const std::string& path, InputFile& file, std::uint64_t& size) {
    if (!file.Open(path))
        return false;
    const auto s = file.Size();
    if (!s || *s == 0 || *s >= 0x100000000ull)
        return false;
    size = *s;
    return true;
}

}  // namespace

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* bytes, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (count >= 8) {
        const std::uint32_t lo = LoadLe32(p) ^ crc;
        const std::uint32_t hi = LoadLe32(p + 4);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        count -= 8;
    }
    while (count--)
        crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

bool GetFileHeadCrc32(const std::string& path, std::uint32_t& crc) {
    crc = 0xFFFFFFFFu;
    InputFile file;
    std::uint64_t size = 0;
    if (!OpenForHead(path, file, size))
        return false;
    std::uint8_t head[kFileHeadBytes];
    std::size_t got = 0;
    if (!ReadHead(file, head, kFileHeadBytes, got) ||
        got != std::min<std::uint64_t>(size, kFileHeadBytes))
        return false;
    crc = ~UpdateCrc32(kCrc32Start, head, got);
    return true;
}

bool GetFileHeadCrcs(const std::string& path, std::uint32_t& crc2047, std::uint32_t& crc4096) {
    crc2047 = crc4096 = 0xFFFFFFFFu;
    InputFile file;
    std::uint64_t size = 0;
    if (!OpenForHead(path, file, size))
        return false;
    std::uint8_t head[kMemoryBlockBytes];
    std::size_t got = 0;
    if (!ReadHead(file, head, kMemoryBlockBytes, got) ||
        got != std::min<std::uint64_t>(size, kMemoryBlockBytes))
        return false;
    // One read serves both: the first 2047 bytes are a prefix of the first 4096.
    crc2047 = ~UpdateCrc32(kCrc32Start, head, std::min(got, kFileHeadBytes));
    crc4096 = ~UpdateCrc32(kCrc32Start, head, got);
    return true;
}

}  // namespace olvex

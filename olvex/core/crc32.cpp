#include "olvex/core/crc32.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "olvex/core/file_io.h"

namespace olvex {
namespace {

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

std::uint32_t UpdateCrc32(std::uint32_t running, const void* bytes, std::size_t count) {
    // zlib's CRC-32 is this very polynomial, and its braided implementation is
    // several times faster than a byte table. It presets and inverts on its
    // own, so the running value goes in and comes out complemented.
    return ~static_cast<std::uint32_t>(
        crc32_z(~running & 0xFFFFFFFFu, static_cast<const Bytef*>(bytes), count));
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

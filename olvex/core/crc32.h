// CRC-32 of ISO 3309 / ITU-T V.42 (reflected polynomial 0xEDB88320), the one
// zlib and PKZIP use. It keys file and memory signatures and checks
// definition blocks and downloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace olvex {

inline constexpr std::uint32_t kCrc32Start = 0xFFFFFFFFu;

// One pass of the update over the bytes. It neither presets nor inverts:
// start from kCrc32Start and complement the result for the standard CRC-32.
std::uint32_t UpdateCrc32(std::uint32_t running, const void* bytes, std::size_t count);

// The standard CRC-32 of a buffer (preset and final inversion included).
inline std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    return ~UpdateCrc32(kCrc32Start, bytes.data(), bytes.size());
}

// Head lengths the scanner and the database key files and images by.
inline constexpr std::size_t kFileHeadBytes = 2047;
inline constexpr std::size_t kMemoryBlockBytes = 4096;

// CRC-32 of a file's first min(size, 2047) bytes. False (crc 0xFFFFFFFF) when
// the file cannot be opened or read, is empty, or is 4 GiB or larger.
bool GetFileHeadCrc32(const std::string& path, std::uint32_t& crc);

// The 2047-byte and the 4096-byte head CRCs of a file, same failure rules.
bool GetFileHeadCrcs(const std::string& path, std::uint32_t& crc2047, std::uint32_t& crc4096);

}  // namespace olvex

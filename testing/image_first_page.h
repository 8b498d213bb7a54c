// The first page of a program's image in memory, computed from its file: the
// loader maps the file's headers (SizeOfHeaders bytes) at the image base and
// the rest of the page is zeros. Tests and benchmarks take a running test
// program's memory signature, the CRC-32 of that page, from here, and give a
// copy of a program a signature of its own by restamping its header.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <vector>

#include "olvex/core/crc32.h"
#include "olvex/core/little_endian.h"
#include "testing/scratch_dir.h"

namespace olvex::testing {

using ImagePage = std::array<std::uint8_t, kMemoryBlockBytes>;

// nullopt when the file is not a PE image or is shorter than its headers.
inline std::optional<ImagePage> ImageFirstPageFromFile(const std::filesystem::path& path) {
    const std::vector<unsigned char> file = ReadFileBytes(path);
    const std::span<const std::uint8_t> bytes(file.data(), file.size());
    const auto dos_magic = LoadLe<std::uint16_t>(bytes, 0);
    const auto pe_offset = LoadLe32(bytes, 0x3C);
    if (!dos_magic || *dos_magic != 0x5A4D || !pe_offset) {
        return std::nullopt;
    }
    const auto pe_magic = LoadLe32(bytes, *pe_offset);
    // SizeOfHeaders sits at the same place in the 32-bit and 64-bit optional
    // header: after the signature (4), the file header (20) and 60 bytes.
    const auto header_bytes = LoadLe32(bytes, std::size_t{*pe_offset} + 4 + 20 + 60);
    if (!pe_magic || *pe_magic != 0x00004550 || !header_bytes || *header_bytes > bytes.size()) {
        return std::nullopt;
    }
    ImagePage page{};
    const std::size_t mapped = std::min<std::size_t>(*header_bytes, page.size());
    std::copy_n(bytes.begin(), mapped, page.begin());
    return page;
}

// The CRC-32 of that page: what the memory scan computes for the running program.
inline std::optional<std::uint32_t> MemorySignatureOfFile(const std::filesystem::path& path) {
    const auto page = ImageFirstPageFromFile(path);
    if (!page) {
        return std::nullopt;
    }
    return Crc32(*page);
}

// Rewrites the time stamp in a program's file header, so that the copy's
// memory signature is its own. False when the file is no image we can stamp.
inline bool RestampImage(const std::filesystem::path& path, std::uint32_t stamp) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::uint32_t pe = 0;
    file.seekg(0x3C);
    file.read(reinterpret_cast<char*>(&pe), sizeof(pe));
    if (!file || pe == 0 || pe > 0x1000)
        return false;
    file.seekp(pe + 8);
    file.write(reinterpret_cast<const char*>(&stamp), sizeof(stamp));
    return static_cast<bool>(file);
}

}  // namespace olvex::testing

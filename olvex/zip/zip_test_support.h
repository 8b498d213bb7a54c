// Test helpers: archives assembled field by field, so a test can build exactly
// the damaged or hostile layout it needs, and the fixtures' manifest.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace olvex::zip_test {

std::vector<std::uint8_t> Bytes(const std::string& text);
std::vector<std::uint8_t> RawDeflate(std::span<const std::uint8_t> data);

// One entry: its local header, stored payload and central record.
struct RawEntry {
    std::string name;
    std::vector<std::uint8_t> payload;  // the bytes stored (compressed when deflated)
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressed = 0;
    std::uint32_t uncompressed = 0;
    std::string comment;
    std::uint16_t disk = 0;
    std::vector<std::uint8_t> extra;       // central record's extra field
    std::vector<std::uint8_t> after_data;  // a data descriptor, say
    std::optional<std::uint32_t> offset;   // central record's local offset; none: the real one
    std::optional<std::uint16_t> local_method;
    bool write_local = true;  // false: the central record only
};

RawEntry Stored(const std::string& name, std::span<const std::uint8_t> data);
RawEntry Deflated(const std::string& name, std::span<const std::uint8_t> data);

struct RawEnd {
    std::optional<std::uint16_t> disk;
    std::optional<std::uint16_t> count;
    std::optional<std::uint32_t> directory_size;
    std::optional<std::uint32_t> directory_offset;
    std::string comment;
    // With a zip64 end record and locator in front of the end record.
    bool zip64 = false;
    std::uint64_t zip64_count = 0;  // 0: the real count
};

std::vector<std::uint8_t> BuildArchive(const std::vector<RawEntry>& entries,
                                       const RawEnd& end = {});

struct ManifestEntry {
    std::string archive;
    std::string password;  // empty: none
    std::size_t index = 0;
    std::string name;
    bool utf8 = false;
    std::string comment;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::string decoded_name;  // as Python decodes it, UTF-8
    bool encrypted = false;
};

std::vector<ManifestEntry> ReadManifest(const std::string& path);
std::string HexDecode(const std::string& hex);

// Where the build put the fixtures, in the form this platform's file API takes.
std::string TestDataPath(const std::string& name);

}  // namespace olvex::zip_test

// Definition block files ("qzinfo.dat", "qzfile.dat", "qzloc.dat"): a run of
// blocks, each a 512-byte little-endian header and a scrambled "JC" payload.
// The first block holds the base data, every later one a delta an update
// appended. This is the portable layer: header codec, check value, the block
// reader and the header walk. The engine's database wraps the reader and the
// walk with its locks and last-error state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/byte_buffer.h"

namespace olvex {

inline constexpr std::uint32_t kDefinitionMagic = 0x54534550;  // the bytes "PEST"
inline constexpr std::uint32_t kDefinitionCheckXor = 0x5A3C9E61;
inline constexpr std::size_t kDefinitionHeaderBytes = 512;

// Compatibility dates (FILETIME, midnight UTC) a block header must carry
// exactly: "qzloc.dat" has its own, every other definition file the older one.
inline constexpr std::uint64_t kLocationsCompatibilityDate = 127002816000000000ull;    // 2003-06-17
inline constexpr std::uint64_t kDefinitionsCompatibilityDate = 126766944000000000ull;  // 2002-09-17

// Header field offsets.
inline constexpr std::size_t kHeaderMagicOffset = 0;
inline constexpr std::size_t kHeaderCheckOffset = 4;
inline constexpr std::size_t kHeaderLengthOffset = 8;
inline constexpr std::size_t kHeaderTimeOffset = 12;
inline constexpr std::size_t kHeaderDateOffset = 20;
inline constexpr std::size_t kHeaderRecordsOffset = 32;

struct DefinitionBlockHeader {
    std::uint32_t magic = kDefinitionMagic;
    std::uint32_t check_value = 0;    // CRC-32 of the stored payload XOR kDefinitionCheckXor
    std::int32_t payload_length = 0;  // 0: no payload, the header is skipped unchecked
    std::uint64_t block_time = 0;     // FILETIME (UTC)
    std::uint64_t compatibility_date = 0;
    std::uint32_t record_count = 0;  // records in the decoded payload
};

// Reads the header at the start of bytes; nullopt when fewer than 512 bytes remain.
std::optional<DefinitionBlockHeader> ParseBlockHeader(std::span<const std::uint8_t> bytes);

// The 512-byte form of a header; the reserved bytes are zero.
std::array<std::uint8_t, kDefinitionHeaderBytes> SerializeBlockHeader(
    const DefinitionBlockHeader& header);

// True when the path names a locations file: "qzloc" (case-sensitive) after
// the first character.
bool IsLocationsFile(std::string_view path);
// True when the path names the pests file: "qzinfo.dat" after the first character.
bool IsPestsFile(std::string_view path);
// The compatibility date every block of this file must carry.
std::uint64_t CompatibilityDateFor(std::string_view path);

// The check value of a payload as stored (still scrambled).
std::uint32_t DefinitionCheckValue(std::span<const std::uint8_t> stored_payload);

// Calendar fields of a FILETIME (100-ns ticks since 1601-01-01, UTC).
struct CalendarTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const CalendarTime&) const = default;
};

// Nullopt for values of 0x8000000000000000 and above (not a valid time).
std::optional<CalendarTime> FileTimeToCalendar(std::uint64_t filetime);
// Nullopt when a field is out of range or the date lies outside 1601..30827.
std::optional<std::uint64_t> CalendarToFileTime(const CalendarTime& time);

// year*1000000 + month*10000 + day*100 + hour - 2000000000 of the block time;
// minutes and seconds do not count. Nullopt when the time is not valid or the
// number does not fit in 32 bits.
std::optional<std::int32_t> DataVersionFromFileTime(std::uint64_t filetime);

// Result codes of the reader (0 is success), and what follows the file's
// full path in the error text.
inline constexpr int kBlockOk = 0;
inline constexpr int kBlockNotFound = 1;
inline constexpr int kBlockCorrupt = 2;
inline constexpr int kBlockNotCompatible = 3;
inline constexpr int kBlockNoFolder = 4;  // kDatPathNotSetText (set by the loader)
inline constexpr int kBlockNoMemory = 5;
inline constexpr int kBlockNotRecognized = 6;
inline constexpr int kBlockNoJcTag = 18;
inline constexpr int kBlockUndecodable = 19;  // also a stream shorter than its declared size

inline constexpr std::string_view kNotFoundSuffix = " does not exist.";
inline constexpr std::string_view kCorruptSuffix = " is corrupt.";
inline constexpr std::string_view kNotCompatibleSuffix = " is not compatible.";
inline constexpr std::string_view kTooLargeSuffix = " is too large to load into memory.";
inline constexpr std::string_view kNotRecognizedSuffix = " format not recognized.";
inline constexpr std::string_view kNoJcTagSuffix = " holds a block that is not JC-compressed.";
inline constexpr std::string_view kUndecodableSuffix = " could not be decompressed.";

inline constexpr std::string_view kDatPathNotSetText = "Dat file path has not been set!";

// Largest unpacked payload the reader allocates. The size comes from the file
// itself, so a hostile header cannot make us allocate gigabytes; a larger one
// is reported as too large to load (code 5).
inline constexpr std::uint32_t kMaxUnpackedBlockBytes = 256u << 20;

// One decoded payload, in file order.
struct DecodedBlock {
    ByteBuffer data;                 // the decoded payload, `size` bytes
    std::uint32_t record_count = 0;  // the header's record count
    std::uint32_t size = 0;          // the unpacked size from the "JC" header
};

struct BlockFileResult {
    int code = kBlockOk;
    std::string text;  // full path + suffix on failure; empty on success
    // Every block with a payload, only when every block of the file is good;
    // empty after any failure.
    std::vector<DecodedBlock> blocks;
    // For a pests file read successfully that holds at least one header: the
    // version from its last block's time.
    std::optional<std::int32_t> data_version;

    bool ok() const { return code == kBlockOk; }
};

// A first block that decodes to at least this many bytes is decoded on a
// thread of its own while the blocks behind it are read and decoded.
inline constexpr std::uint32_t kFirstBlockDecodedBeside = 4u << 20;

struct BlockReadLimits {
    std::uint32_t max_unpacked_bytes = kMaxUnpackedBlockBytes;
    std::uint32_t first_block_decoded_beside = kFirstBlockDecodedBeside;
};

// Reads, checks and decodes every block of a definition file.
// An empty file is corrupt (code 2): it would load as a set with nothing to
// find. A block that does not fit in
// the file (a header cut short, a negative payload length, a payload running
// past the end) is reported as corrupt (code 2); one whose stream does not
// decode to exactly its declared size as undecodable (code 19). A file that
// opens but cannot be read gives code 1; one too large to hold in memory
// gives code 5.
BlockFileResult ReadBlockFile(const std::string& path, const BlockReadLimits& limits = {});

// The same over a file's bytes already in memory; path decides the
// compatibility date, the data version and the texts.
BlockFileResult ReadBlockBuffer(std::span<const std::uint8_t> file_bytes, const std::string& path,
                                const BlockReadLimits& limits = {});

// What walking a file's headers (without checking or decoding anything) gives.
struct HeaderWalk {
    std::int32_t blocks = 0;                     // whole headers read
    std::int64_t payload_bytes_after_first = 0;  // payload lengths of every block but the first
    std::optional<std::uint64_t> last_block_time;
};

// The walk ends at the end of the data, at a header cut short (not counted),
// or after a header whose payload length is negative or runs past the end
// (counted, its length not added).
HeaderWalk WalkBlockHeaders(std::span<const std::uint8_t> file_bytes);
// The same walk over a file, reading one header at a time; nullopt when the
// file cannot be opened.
std::optional<HeaderWalk> WalkBlockHeaderFile(const std::string& path);

struct HeaderTotals {
    std::int32_t block_count = 0;   // blocks of "qzinfo.dat" minus one
    std::int32_t delta_bytes = 0;   // payload bytes of every delta block of the three files
    std::int32_t data_version = 0;  // from the last block time of "qzinfo.dat"
};

// Walks "qzinfo.dat", "qzloc.dat" and "qzfile.dat" in the folder, in that
// order. A file that cannot be opened ends the walk with the numbers reached
// so far; a "qzinfo.dat" without a whole header counts as one that cannot be
// opened. The delta byte count stops at the largest 32-bit number.
HeaderTotals ReadHeaderTotals(const std::string& folder);

}  // namespace olvex

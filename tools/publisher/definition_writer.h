// Writes definition sets as the engine reads them: each block's records are
// encoded, "JC"-compressed, scrambled and put behind a checked 512-byte
// header. It can also spoil one block in each of the ways the reader must
// reject, to make test fixtures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/publisher/definition_set.h"

namespace olvex::tools {

enum class DefinitionFileKind { kPests, kSignatures, kLocations };

// "qzinfo.dat", "qzfile.dat", "qzloc.dat".
std::string_view FileNameOf(DefinitionFileKind kind);
std::uint64_t CompatibilityDateOf(DefinitionFileKind kind);

enum class Corruption {
    kNone,
    kBadMagic,        // "bad-magic": the magic is not "PEST"
    kBadDate,         // "bad-date": the compatibility date one 100-ns tick late
    kOtherDate,       // "other-date": the date of the other file kind
    kFlipBit,         // "flip-bit": one stored payload bit flipped after the check value
    kNoJcTag,         // "no-jc-tag": the payload does not begin with "JC"
    kBadJc,           // "bad-jc": the "JC" stream's checksum does not match
    kTruncate,        // "truncate": the file ends in the middle of the payload
    kNegativeLength,  // "negative-length": the payload length is negative
};

std::optional<Corruption> CorruptionFromName(std::string_view name);
std::string_view CorruptionName(Corruption corruption);
// Every corruption's name, for the help text.
std::vector<std::string_view> CorruptionNames();

struct WriteOptions {
    Corruption corruption = Corruption::kNone;
    // Which block with a payload is spoiled: 0 is the first, 1 the second...
    std::size_t corrupt_block = 0;
};

// One block's plain (decoded) payload. An empty payload is written as a
// header with payload length 0, which the reader skips.
struct BlockPayload {
    std::uint64_t block_time = 0;
    std::uint32_t record_count = 0;
    std::vector<std::uint8_t> plain;
};

struct BuiltFile {
    std::vector<std::uint8_t> bytes;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Builds one definition file from its blocks' payloads.
BuiltFile BuildBlockFile(std::span<const BlockPayload> blocks, DefinitionFileKind kind,
                         const WriteOptions& options = {});

// The records of every block of the set, encoded for one file kind.
std::optional<std::vector<BlockPayload>> EncodePayloads(const DefinitionSet& set,
                                                        DefinitionFileKind kind,
                                                        std::string& error);

struct DefinitionFiles {
    std::vector<std::uint8_t> pests;       // "qzinfo.dat"
    std::vector<std::uint8_t> signatures;  // "qzfile.dat"
    std::vector<std::uint8_t> locations;   // "qzloc.dat"
    std::string error;
    bool ok() const { return error.empty(); }
};

DefinitionFiles BuildDefinitionFiles(const DefinitionSet& set, const WriteOptions& options = {});

// Builds the three files and writes them into the folder (made when missing).
// Returns an error text, empty on success.
std::string WriteDefinitionFiles(const DefinitionSet& set, const std::string& out_dir,
                                 const WriteOptions& options = {});

}  // namespace olvex::tools

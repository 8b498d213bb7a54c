// Identifying a file, or an archive entry, by the pest database's file
// signatures: the CRC-32 of its first 2047 bytes picks the candidates, and
// the MD5 of the whole content, computed at most once however many
// candidates need it, decides between them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "olvex/core/dat_tables.h"

namespace olvex {

// The first min(size, 2047) bytes of a file and its size.
struct FileHead {
    std::vector<std::uint8_t> bytes;
    std::uint64_t size = 0;
    // The CRC-32 key of the head, when the file has one (not empty, below
    // 4 GiB, as the database's head CRCs are made).
    std::optional<std::uint32_t> Crc() const;
    // The file begins with "PK".
    bool StartsAsZip() const;
};

// Reads a file's head in one open; nullopt when it cannot be opened or read.
std::optional<FileHead> ReadFileHead(const std::string& path);

// Which matching candidate decides when several do.
enum class SignaturePick {
    kFirst,  // the first in table order (stops looking there)
    kLast,   // the last in table order
};

// The pest id of the matching candidate: one with an all-zero MD5 matches
// at once, one with an MD5 when the content's MD5 equals it, a malformed one
// never. md5 is called at most once, and only when a candidate needs it.
std::optional<std::int32_t> MatchSignatureCandidates(std::span<const DatSignatureEntry> candidates,
                                                     const Md5Supplier& md5, SignaturePick pick);

// The MD5 of a whole file, for a supplier.
std::optional<Md5Digest> FileMd5(const std::string& path);

}  // namespace olvex

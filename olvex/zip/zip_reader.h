// Reads zip archives that may be hostile: the archive scan looks inside
// whatever "PK" file it meets, and the quarantine reads back its own session
// containers. Every offset and size is checked against the file, entries may
// not overlap each other or the central directory, inflation stops at the
// declared size, the CRC-32 of every entry read to its end is checked, and a
// caller's budget bounds the entry count and the bytes produced, so a zip
// bomb or a damaged archive ends quickly with a clear error and bounded memory.
//
// Opening never writes to the archive. Entry names are reported as stored and
// are never used as paths here: extraction goes to a path the caller chooses
// and never replaces an existing file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "olvex/zip/zip_types.h"

namespace olvex {

struct ZipReaderState;

// Limits for one opened archive. The defaults let a legitimate archive of any
// size the engine deals with through, and stop a bomb long before memory or
// disk run out; the archive scan and the quarantine pass their own.
struct ZipBudget {
    // Central directory entries accepted (65535 is the most a plain archive holds).
    std::uint64_t max_entries = 65535;
    // Bytes of central directory read into memory.
    std::uint64_t max_directory_bytes = 16u << 20;
    // Declared uncompressed size of one entry that may be read.
    std::uint64_t max_entry_bytes = 256u << 20;
    // Decompressed bytes produced by all reads through one opened archive.
    std::uint64_t max_total_bytes = 1u << 30;
};

// One entry as its central directory record describes it.
struct ZipEntryInfo {
    // The name as stored (not a path for this module). Bytes in the OEM code
    // page 437 unless utf8 is set; Cp437ToUtf8 (cp437.h) converts them.
    std::string name;
    // The entry comment, same encoding as the name.
    std::string comment;
    // Flag bit 11: name and comment are UTF-8.
    bool utf8 = false;
    // Password-encrypted (traditional encryption unless supported is false).
    bool encrypted = false;
    // Stored or deflated, and not an encryption this module lacks.
    bool supported = false;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
    ZipDateTime modified;
};

// The decompressed bytes of one entry, read in pieces. It keeps what it needs
// of the archive alive by itself, so it may outlive its ZipReader.
class ZipEntryStream {
  public:
    ZipEntryStream();
    ~ZipEntryStream();
    ZipEntryStream(ZipEntryStream&&) noexcept;
    ZipEntryStream& operator=(ZipEntryStream&&) noexcept;
    ZipEntryStream(const ZipEntryStream&) = delete;
    ZipEntryStream& operator=(const ZipEntryStream&) = delete;

    bool IsOpen() const;
    // Fills buffer (not empty) with the next bytes, got = the count. got == 0
    // with kNone means the entry ended and its size and CRC-32 checked out.
    // After an error every further call gives the same error.
    ZipError Read(std::span<std::uint8_t> buffer, std::size_t& got);
    void Close();

  private:
    friend class ZipReader;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class ZipReader {
  public:
    ZipReader();
    ~ZipReader();
    ZipReader(ZipReader&&) noexcept;
    ZipReader& operator=(ZipReader&&) noexcept;
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens an archive file read-only and reads its central directory.
    ZipError OpenFile(const std::string& path, const ZipBudget& budget = {});
    // The same over bytes in memory (copied).
    ZipError OpenMemory(std::span<const std::uint8_t> bytes, const ZipBudget& budget = {});
    bool IsOpen() const;
    void Close();

    // The password for encrypted entries; empty means none (they are refused
    // with kEncrypted).
    void SetPassword(const std::string& password);

    std::size_t EntryCount() const;
    // nullptr when index is out of range.
    const ZipEntryInfo* Entry(std::size_t index) const;

    // Starts reading an entry. The checks that need no decompression (local
    // header, encryption, budget) are made here.
    ZipError OpenEntry(std::size_t index, ZipEntryStream& stream);
    // Reads a whole entry into memory (replacing bytes).
    ZipError ReadEntry(std::size_t index, std::vector<std::uint8_t>& bytes);
    // Writes an entry to a new file at path. An existing file is left alone
    // (kFileExists); on any failure the partly written file is removed.
    ZipError ExtractEntry(std::size_t index, const std::string& path);

  private:
    ZipError ReadWholeEntry(std::size_t index, std::vector<std::uint8_t>& bytes);

    std::shared_ptr<ZipReaderState> state_;
};

}  // namespace olvex

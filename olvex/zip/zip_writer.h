// Adds entries to zip archives: the quarantine's session containers, one
// deflated (and usually password-encrypted) entry per quarantined file, each
// with the entry name and comment the caller chooses.
//
// Every add is all or nothing. The new archive is written next to the old
// one ("<archive>.tmp": the entries already there, copied unchanged, then the
// new local header and data where the old central directory started, then the
// rewritten central directory and end record), flushed to the disk, and only
// then renamed over the archive. A crash or a failed write at any point leaves
// the archive as it was; a stale temporary file is simply replaced by the
// next add. The copy costs a pass over the archive per add, which is cheap at
// the sizes of one cleaning run.
//
// The writer writes no zip64 records: an entry of 4 GiB or more, an archive
// that would reach 4 GiB or 65535 entries, or an existing zip64 archive is
// refused with kNeedsZip64.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "olvex/zip/zip_types.h"

namespace olvex {

// Fills the span with random bytes (the encryption header of each entry).
using ZipRandomSource = std::function<void(std::span<std::uint8_t>)>;

// The system's random source (std::random_device).
ZipRandomSource SystemRandomSource();

struct ZipNewEntry {
    // Stored as given: ANSI bytes, no UTF-8 flag. Not empty, at most 65535 bytes.
    std::string name;
    // At most 65535 bytes.
    std::string comment;
    ZipDateTime modified;
};

class ZipWriter {
  public:
    explicit ZipWriter(std::string archive_path);

    // Entries added from now on are encrypted with it; empty: not encrypted.
    void SetPassword(std::string password);
    void SetRandomSource(ZipRandomSource random);

    // Appends the file's bytes, deflated, as a new last entry; creates the
    // archive when it does not exist. An existing file that is not a readable
    // zip archive is refused and left alone.
    ZipError AddFile(const std::string& source_path, const ZipNewEntry& entry);
    ZipError AddBytes(std::span<const std::uint8_t> bytes, const ZipNewEntry& entry);

  private:
    std::string archive_path_;
    std::string password_;
    ZipRandomSource random_;
};

}  // namespace olvex

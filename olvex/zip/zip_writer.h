// Adds entries to zip archives: the quarantine's session containers, one
// deflated (and usually password-encrypted) entry per quarantined file, each
// with the entry name and comment the caller chooses.
//
// Every write is all or nothing. The new archive is written next to the old
// one ("<archive>.tmp": the entries already there, copied unchanged, then the
// new local headers and data where the old central directory started, then the
// rewritten central directory and end record), flushed to the disk, and only
// then renamed over the archive. A crash or a failed write at any point leaves
// the archive as it was; a stale temporary file is simply replaced by the
// next write. ZipWriter adds one entry per pass over the archive; a ZipBatch
// adds any number in one pass, which is what keeps a large cleaning run linear.
//
// The writer writes no zip64 records: an entry of 4 GiB or more, an archive
// that would reach 4 GiB or 65535 entries, or an existing zip64 archive is
// refused with kNeedsZip64.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// Several entries written in one pass. Until Commit the archive is untouched;
// a batch dropped without Commit leaves it as it was and removes its
// temporary file. An entry whose source cannot be opened or read, or changed
// while it was read, is left out and the batch goes on; a failed write spoils
// the batch (every later call gives kWriteFailed).
class ZipBatch {
  public:
    enum class Mode {
        kAppend,   // the archive's entries stay, new ones follow them
        kReplace,  // the archive becomes the new entries alone
    };

    explicit ZipBatch(std::string archive_path, Mode mode = Mode::kAppend);
    ~ZipBatch();
    ZipBatch(const ZipBatch&) = delete;
    ZipBatch& operator=(const ZipBatch&) = delete;

    void SetPassword(std::string password);
    void SetRandomSource(ZipRandomSource random);

    // Reads the existing archive (kAppend) and starts the temporary file. An
    // existing file that is not a readable zip archive is refused and left
    // alone.
    ZipError Open();
    // Entries the archive holds once committed: those kept and those added.
    std::size_t EntryCount() const;
    // Entries added by this batch.
    std::size_t AddedCount() const;

    ZipError AddFile(const std::string& source_path, const ZipNewEntry& entry);
    ZipError AddBytes(std::span<const std::uint8_t> bytes, const ZipNewEntry& entry);

    // Writes the central directory and puts the new archive in place.
    ZipError Commit();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
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

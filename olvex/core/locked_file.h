// Files that several processes change in turn, such as the engine log: each
// writer holds an exclusive lock on the file from reading what is there to
// appending what follows from it, so no two writers act on the same content
// and their appends never mix. Readers take no lock and keep nobody out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "olvex/core/file_io.h"

namespace olvex {

// One writer's turn on a file. Move-only; closing (or destroying) ends the
// turn.
class LockedFile {
  public:
    LockedFile();
    ~LockedFile();
    LockedFile(LockedFile&&) noexcept;
    LockedFile& operator=(LockedFile&&) noexcept;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Opens the file for reading and writing, creating it when missing, and
    // waits until no other LockedFile (in this process or another) holds it.
    // Other openers that take no lock are not kept out. kWriteFailed when it
    // cannot be opened or created.
    FileError Open(const std::string& path);
    bool IsOpen() const;
    void Close();

    // The length of the content; nullopt when it cannot be told.
    std::optional<std::uint64_t> Size();
    // The whole content, from the start; kTooLarge above max_bytes.
    FileBytes ReadAll(std::uint64_t max_bytes);
    // Up to count bytes from offset (fewer at the end of the file).
    FileBytes ReadRange(std::uint64_t offset, std::size_t count);
    // Writes all the bytes at the end of the file.
    FileError Append(std::span<const std::uint8_t> bytes);
    // Cuts the file to nothing.
    FileError Truncate();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads a whole file without keeping anyone out: other processes may write,
// rename over or delete it meanwhile. Errors as ReadWholeFile.
FileBytes ReadSharedFile(const std::string& path, std::uint64_t max_bytes);

}  // namespace olvex

// Internal to the zip module: where archive bytes come from, and the parse
// and validation of the end record and the central directory that the reader
// and the writer share.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "olvex/zip/zip_reader.h"

namespace olvex::zip_directory {

class Source {
  public:
    virtual ~Source() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly buffer.size() bytes at offset; false on error or short read.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) = 0;
};

std::unique_ptr<Source> MakeMemorySource(std::span<const std::uint8_t> bytes);
// kOpenFailed or kReadFailed when the file cannot be opened or sized.
ZipError MakeFileSource(const std::string& path, std::unique_ptr<Source>& source);

struct Entry {
    ZipEntryInfo info;
    std::uint16_t dos_time = 0;
    std::uint64_t local_offset = 0;
    // The entry's data must end by here: the next local header or the central
    // directory, whichever comes first.
    std::uint64_t limit = 0;
};

struct Directory {
    std::vector<Entry> entries;
    std::uint64_t directory_offset = 0;
    std::uint64_t directory_size = 0;
    bool zip64 = false;
    std::string comment;
    // The central directory as stored.
    std::vector<std::uint8_t> raw;
};

ZipError ReadDirectory(Source& source, const ZipBudget& budget, Directory& directory);

}  // namespace olvex::zip_directory

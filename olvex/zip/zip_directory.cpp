#include "olvex/zip/zip_directory.h"

#include <algorithm>
#include <utility>

#include "olvex/core/file_io.h"
#include "olvex/zip/zip_format.h"

namespace olvex::zip_directory {
namespace {

using namespace zip_format;

class MemorySource : public Source {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes)
        : bytes_(bytes.begin(), bytes.end()) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
        if (offset > bytes_.size() || buffer.size() > bytes_.size() - offset)
            return false;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(),
                    buffer.begin());
        return true;
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

class FileSource : public Source {
  public:
    FileSource(InputFile file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) override {
        if (offset > size_ || buffer.size() > size_ - offset)
            return false;
        const auto got = file_.ReadAt(offset, buffer);
        return got && *got == buffer.size();
    }

  private:
    InputFile file_;
    std::uint64_t size_;
};

// True when [offset, offset + size) lies within [0, limit).
bool Within(std::uint64_t offset, std::uint64_t size, std::uint64_t limit) {
    return offset <= limit && size <= limit - offset;
}

struct EndRecord {
    std::uint64_t position = 0;  // of the end record itself
    std::uint32_t disk = 0;
    std::uint32_t directory_disk = 0;
    std::uint64_t entries_on_disk = 0;
    std::uint64_t entries = 0;
    std::uint64_t directory_size = 0;
    std::uint64_t directory_offset = 0;
    // Where the central directory must end: the zip64 end record or the end record.
    std::uint64_t directory_limit = 0;
    bool zip64 = false;
    std::string comment;
};

// Finds the end record in the last 64 KiB + 22 bytes, scanning backwards. A
// record whose comment reaches exactly to the end of the file wins; failing
// that, the last one whose comment fits (an archive with bytes appended).
ZipError FindEndRecord(Source& source, EndRecord& end) {
    const std::uint64_t size = source.Size();
    if (size < kEndSize)
        return ZipError::kNotZip;
    const std::uint64_t tail_size = std::min<std::uint64_t>(size, kEndSize + kMaxCommentSize);
    const std::uint64_t tail_start = size - tail_size;
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(tail_size));
    if (!source.ReadAt(tail_start, tail))
        return ZipError::kReadFailed;

    std::size_t found = tail.size();
    std::size_t fallback = tail.size();
    for (std::size_t pos = tail.size() - kEndSize + 1; pos-- > 0;) {
        if (tail[pos] != 0x50 || tail[pos + 1] != 0x4B || tail[pos + 2] != 0x05 ||
            tail[pos + 3] != 0x06)
            continue;
        const std::size_t comment = tail[pos + 20] | (tail[pos + 21] << 8);
        const std::size_t after = tail.size() - pos - kEndSize;
        if (comment == after) {
            found = pos;
            break;
        }
        if (comment < after && fallback == tail.size())
            fallback = pos;
    }
    if (found == tail.size())
        found = fallback;
    if (found == tail.size())
        return ZipError::kNotZip;

    ByteReader r(std::span<const std::uint8_t>(tail).subspan(found));
    r.Skip(4);
    end.position = tail_start + found;
    end.disk = r.U16();
    end.directory_disk = r.U16();
    end.entries_on_disk = r.U16();
    end.entries = r.U16();
    end.directory_size = r.U32();
    end.directory_offset = r.U32();
    const std::uint16_t comment_size = r.U16();
    end.comment = r.Text(comment_size);
    end.directory_limit = end.position;
    return r.ok() ? ZipError::kNone : ZipError::kNotZip;
}

// Replaces the end record's fields by the zip64 end record's when a zip64
// locator sits right before the end record.
ZipError ReadZip64End(Source& source, EndRecord& end) {
    if (end.position < kZip64LocatorSize)
        return ZipError::kNone;
    std::uint8_t locator[kZip64LocatorSize];
    if (!source.ReadAt(end.position - kZip64LocatorSize, locator))
        return ZipError::kReadFailed;
    ByteReader l(locator);
    if (l.U32() != kZip64LocatorSignature)
        return ZipError::kNone;
    const std::uint32_t record_disk = l.U32();
    const std::uint64_t record_offset = l.U64();
    const std::uint32_t disks = l.U32();
    if (record_disk != 0 || disks > 1)
        return ZipError::kMultiDisk;
    const std::uint64_t locator_position = end.position - kZip64LocatorSize;
    if (!Within(record_offset, kZip64EndSize, locator_position))
        return ZipError::kBadDirectory;
    std::uint8_t record[kZip64EndSize];
    if (!source.ReadAt(record_offset, record))
        return ZipError::kReadFailed;
    ByteReader r(record);
    if (r.U32() != kZip64EndSignature)
        return ZipError::kBadDirectory;
    r.Skip(8 + 2 + 2);  // record size, versions
    end.disk = r.U32();
    end.directory_disk = r.U32();
    end.entries_on_disk = r.U64();
    end.entries = r.U64();
    end.directory_size = r.U64();
    end.directory_offset = r.U64();
    end.directory_limit = record_offset;
    end.zip64 = true;
    return ZipError::kNone;
}

// The zip64 extra field carries, in this order, the fields whose 32-bit
// (16-bit for the disk) values in the record are saturated.
bool ApplyZip64Extra(std::span<const std::uint8_t> extra, std::uint64_t& uncompressed,
                     std::uint64_t& compressed, std::uint64_t& offset, std::uint32_t& disk) {
    const bool need_uncompressed = uncompressed == 0xFFFFFFFFu;
    const bool need_compressed = compressed == 0xFFFFFFFFu;
    const bool need_offset = offset == 0xFFFFFFFFu;
    const bool need_disk = disk == 0xFFFFu;
    if (!need_uncompressed && !need_compressed && !need_offset && !need_disk)
        return true;
    ByteReader fields(extra);
    while (fields.remaining() >= 4) {
        const std::uint16_t id = fields.U16();
        const std::uint16_t size = fields.U16();
        const auto data = fields.Bytes(size);
        if (!fields.ok())
            break;
        if (id != kZip64ExtraId)
            continue;
        ByteReader z(data);
        if (need_uncompressed)
            uncompressed = z.U64();
        if (need_compressed)
            compressed = z.U64();
        if (need_offset)
            offset = z.U64();
        if (need_disk)
            disk = z.U32();
        return z.ok();
    }
    return false;
}

ZipError ParseEntry(ByteReader& r, Entry& entry) {
    if (r.U32() != kCentralHeaderSignature)
        return ZipError::kBadDirectory;
    r.Skip(2 + 2);  // versions made by and needed
    ZipEntryInfo& info = entry.info;
    info.flags = r.U16();
    info.method = r.U16();
    entry.dos_time = r.U16();
    const std::uint16_t dos_date = r.U16();
    info.crc32 = r.U32();
    info.compressed_size = r.U32();
    info.uncompressed_size = r.U32();
    const std::uint16_t name_size = r.U16();
    const std::uint16_t extra_size = r.U16();
    const std::uint16_t comment_size = r.U16();
    std::uint32_t disk = r.U16();
    r.Skip(2 + 4);  // internal and external attributes
    entry.local_offset = r.U32();
    info.name = r.Text(name_size);
    const auto extra = r.Bytes(extra_size);
    info.comment = r.Text(comment_size);
    if (!r.ok())
        return ZipError::kBadDirectory;
    if (!ApplyZip64Extra(extra, info.uncompressed_size, info.compressed_size, entry.local_offset,
                         disk))
        return ZipError::kBadDirectory;
    if (disk != 0)
        return ZipError::kMultiDisk;
    info.modified = ZipDateTimeFromDos(dos_date, entry.dos_time);
    info.utf8 = (info.flags & kFlagUtf8) != 0;
    info.encrypted = (info.flags & kFlagEncrypted) != 0;
    info.supported = (info.method == kMethodStored || info.method == kMethodDeflated) &&
                     (info.flags & (kFlagStrongEncryption | kFlagMaskedDirectory)) == 0;
    return ZipError::kNone;
}

// Every entry's local header and data lie before the central directory, and
// no entry's header and data reach into the next one: this is what stops
// archives whose entries share one compressed kernel.
ZipError CheckLayout(Directory& directory) {
    const std::uint64_t end = directory.directory_offset;
    for (const auto& entry : directory.entries) {
        if (!Within(entry.local_offset, kLocalHeaderSize, end))
            return ZipError::kBadDirectory;
    }
    std::vector<std::size_t> order(directory.entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return directory.entries[a].local_offset < directory.entries[b].local_offset;
    });
    for (std::size_t i = 0; i < order.size(); ++i) {
        Entry& entry = directory.entries[order[i]];
        entry.limit = i + 1 < order.size() ? directory.entries[order[i + 1]].local_offset : end;
        const std::uint64_t room = entry.limit - entry.local_offset;  // sorted: no underflow
        if (room < kLocalHeaderSize || entry.info.compressed_size > room - kLocalHeaderSize)
            return ZipError::kOverlap;
    }
    return ZipError::kNone;
}

}  // namespace

std::unique_ptr<Source> MakeMemorySource(std::span<const std::uint8_t> bytes) {
    return std::make_unique<MemorySource>(bytes);
}

ZipError MakeFileSource(const std::string& path, std::unique_ptr<Source>& source) {
    InputFile file;
    if (!file.Open(path))
        return ZipError::kOpenFailed;
    const auto size = file.Size();
    if (!size)
        return ZipError::kReadFailed;
    source = std::make_unique<FileSource>(std::move(file), *size);
    return ZipError::kNone;
}

ZipError ReadDirectory(Source& source, const ZipBudget& budget, Directory& directory) {
    directory = Directory{};
    EndRecord end;
    ZipError error = FindEndRecord(source, end);
    if (error == ZipError::kNone)
        error = ReadZip64End(source, end);
    if (error != ZipError::kNone)
        return error;
    if (end.disk != 0 || end.directory_disk != 0 || end.entries_on_disk != end.entries)
        return ZipError::kMultiDisk;
    if (!Within(end.directory_offset, end.directory_size, end.directory_limit))
        return ZipError::kBadDirectory;
    if (end.entries > budget.max_entries)
        return ZipError::kTooManyEntries;
    if (end.directory_size > budget.max_directory_bytes)
        return ZipError::kDirectoryTooLarge;
    // Each record takes at least 46 bytes: a count the directory cannot hold
    // is refused before anything is allocated for it.
    if (end.entries > end.directory_size / kCentralHeaderSize)
        return ZipError::kBadDirectory;

    directory.raw.resize(static_cast<std::size_t>(end.directory_size));
    if (!source.ReadAt(end.directory_offset, directory.raw))
        return ZipError::kReadFailed;
    directory.directory_offset = end.directory_offset;
    directory.directory_size = end.directory_size;
    directory.zip64 = end.zip64;
    directory.comment = std::move(end.comment);
    directory.entries.resize(static_cast<std::size_t>(end.entries));
    ByteReader r(directory.raw);
    for (auto& entry : directory.entries) {
        error = ParseEntry(r, entry);
        if (error != ZipError::kNone)
            return error;
    }
    return CheckLayout(directory);
}

}  // namespace olvex::zip_directory

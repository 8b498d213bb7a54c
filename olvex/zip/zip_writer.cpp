#include "olvex/zip/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/zip/zip_cipher.h"
#include "olvex/zip/zip_directory.h"
#include "olvex/zip/zip_format.h"

namespace olvex {

using namespace zip_format;

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;  // the value itself marks zip64
constexpr std::uint16_t kVersion = 20;         // 2.0: deflate and traditional encryption

// The entry's bytes, read twice: once for the CRC that the encryption header
// needs up front, once to compress them.
class Content {
  public:
    virtual ~Content() = default;
    virtual ZipError Rewind() = 0;
    // got == 0 at the end.
    virtual ZipError Read(std::span<std::uint8_t> buffer, std::size_t& got) = 0;
};

class FileContent : public Content {
  public:
    ZipError Open(const std::string& path) {
        return file_.Open(path) ? ZipError::kNone : ZipError::kOpenFailed;
    }
    ZipError Rewind() override { return file_.Seek(0) ? ZipError::kNone : ZipError::kReadFailed; }
    ZipError Read(std::span<std::uint8_t> buffer, std::size_t& got) override {
        const auto read = file_.ReadFull(buffer);
        got = read.value_or(0);
        return read ? ZipError::kNone : ZipError::kReadFailed;
    }

  private:
    InputFile file_;
};

class MemoryContent : public Content {
  public:
    explicit MemoryContent(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    ZipError Rewind() override {
        position_ = 0;
        return ZipError::kNone;
    }
    ZipError Read(std::span<std::uint8_t> buffer, std::size_t& got) override {
        got = std::min(buffer.size(), bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), got, buffer.begin());
        position_ += got;
        return ZipError::kNone;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

struct Measure {
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
};

ZipError MeasureContent(Content& content, Measure& measure) {
    if (const auto e = content.Rewind(); e != ZipError::kNone)
        return e;
    std::vector<std::uint8_t> buffer(kChunk);
    std::uint32_t running = kCrc32Start;
    measure.size = 0;
    for (;;) {
        std::size_t got = 0;
        if (const auto e = content.Read(buffer, got); e != ZipError::kNone)
            return e;
        if (got == 0)
            break;
        running = UpdateCrc32(running, buffer.data(), got);
        measure.size += got;
    }
    measure.crc = ~running;
    return ZipError::kNone;
}

struct EntryRecord {
    const ZipNewEntry* entry = nullptr;
    std::uint16_t flags = 0;
    std::uint16_t dos_date = 0;
    std::uint16_t dos_time = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressed = 0;
    std::uint32_t uncompressed = 0;
    std::uint32_t local_offset = 0;
};

// The fields local and central headers share, from the version needed to
// the length of the (empty) extra field.
void PutSharedHeaderFields(std::vector<std::uint8_t>& out, const EntryRecord& r) {
    PutU16(out, kVersion);
    PutU16(out, r.flags);
    PutU16(out, kMethodDeflated);
    PutU16(out, r.dos_time);
    PutU16(out, r.dos_date);
    PutU32(out, r.crc);
    PutU32(out, r.compressed);
    PutU32(out, r.uncompressed);
    PutU16(out, static_cast<std::uint16_t>(r.entry->name.size()));
    PutU16(out, 0);
}

std::vector<std::uint8_t> LocalHeader(const EntryRecord& r) {
    std::vector<std::uint8_t> out;
    PutU32(out, kLocalHeaderSignature);
    PutSharedHeaderFields(out, r);
    PutBytes(out, r.entry->name);
    return out;
}

void PutCentralHeader(std::vector<std::uint8_t>& out, const EntryRecord& r) {
    PutU32(out, kCentralHeaderSignature);
    PutU16(out, kVersion);  // made by MS-DOS: names in the 8-bit code page
    PutSharedHeaderFields(out, r);
    PutU16(out, static_cast<std::uint16_t>(r.entry->comment.size()));
    PutU16(out, 0);  // disk
    PutU16(out, 0);  // internal attributes
    PutU32(out, 0);  // external attributes
    PutU32(out, r.local_offset);
    PutBytes(out, r.entry->name);
    PutBytes(out, r.entry->comment);
}

void PutEndRecord(std::vector<std::uint8_t>& out, std::uint16_t entries,
                  std::uint32_t directory_size, std::uint32_t directory_offset,
                  const std::string& comment) {
    PutU32(out, kEndSignature);
    PutU16(out, 0);
    PutU16(out, 0);
    PutU16(out, entries);
    PutU16(out, entries);
    PutU32(out, directory_size);
    PutU32(out, directory_offset);
    PutU16(out, static_cast<std::uint16_t>(comment.size()));
    PutBytes(out, comment);
}

FileError WriteAll(OutputFile& out, const std::vector<std::uint8_t>& bytes) {
    return out.Write(bytes);
}

// Deflates the content into the output, encrypting on the way when a cipher
// is given; counts the compressed bytes and measures the data again.
ZipError WriteDeflated(Content& content, OutputFile& out, ZipCipher* cipher,
                       std::uint64_t& compressed, Measure& measure) {
    if (const auto e = content.Rewind(); e != ZipError::kNone)
        return e;
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return ZipError::kWriteFailed;
    const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, deflateEnd);
    std::vector<std::uint8_t> input(kChunk), output(kChunk);
    std::uint32_t running = kCrc32Start;
    measure.size = 0;
    compressed = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        std::size_t got = 0;
        if (const auto e = content.Read(input, got); e != ZipError::kNone)
            return e;
        running = UpdateCrc32(running, input.data(), got);
        measure.size += got;
        flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = input.data();
        z.avail_in = static_cast<uInt>(got);
        int ret = Z_OK;
        do {
            z.next_out = output.data();
            z.avail_out = static_cast<uInt>(output.size());
            ret = deflate(&z, flush);
            if (ret == Z_STREAM_ERROR)
                return ZipError::kWriteFailed;
            const std::size_t produced = output.size() - z.avail_out;
            const auto piece = std::span<std::uint8_t>(output).first(produced);
            if (cipher)
                cipher->Encrypt(piece);
            if (out.Write(piece) != FileError::kNone)
                return ZipError::kWriteFailed;
            compressed += produced;
        } while (z.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
    }
    measure.crc = ~running;
    return ZipError::kNone;
}

struct Existing {
    std::unique_ptr<zip_directory::Source> source;
    zip_directory::Directory directory;
};

ZipError OpenExisting(const std::string& path, Existing& existing) {
    if (!FileExists(path))
        return ZipError::kNone;
    if (const auto e = zip_directory::MakeFileSource(path, existing.source); e != ZipError::kNone)
        return e;
    // Our own containers: the most entries a plain archive holds, with room
    // for long names and comments in the directory.
    ZipBudget budget;
    budget.max_directory_bytes = 64u << 20;
    if (const auto e = zip_directory::ReadDirectory(*existing.source, budget, existing.directory);
        e != ZipError::kNone)
        return e;
    // 0xFFFF entries would already read as the zip64 marker to some readers.
    if (existing.directory.zip64 || existing.directory.entries.size() >= 0xFFFE)
        return ZipError::kNeedsZip64;
    return ZipError::kNone;
}

ZipError CopyPrefix(zip_directory::Source& source, std::uint64_t size, OutputFile& out) {
    std::vector<std::uint8_t> buffer(kChunk);
    for (std::uint64_t done = 0; done < size;) {
        const auto piece = std::span<std::uint8_t>(buffer).first(
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done)));
        if (!source.ReadAt(done, piece))
            return ZipError::kReadFailed;
        if (out.Write(piece) != FileError::kNone)
            return ZipError::kWriteFailed;
        done += piece.size();
    }
    return ZipError::kNone;
}

ZipError CheckEntry(const ZipNewEntry& entry);

}  // namespace

struct ZipBatch::Impl {
    std::string archive;
    std::string temporary;
    Mode mode = Mode::kAppend;
    std::string password;
    ZipRandomSource random = SystemRandomSource();
    Existing existing;
    OutputFile out;
    bool created = false;
    bool opened = false;
    bool broken = false;
    // Where the next local header goes: just after the last whole entry.
    std::uint64_t position = 0;
    // The central directory records of the entries already there and added.
    std::vector<std::uint8_t> directory;
    std::size_t kept = 0;
    std::size_t added = 0;

    ~Impl() { Abandon(); }

    void Abandon() {
        out.Close();
        existing.source.reset();
        if (created)
            RemoveFile(temporary);
        created = false;
    }

    ZipError Fail(ZipError error) {
        if (error == ZipError::kWriteFailed)
            broken = true;
        return error;
    }

    ZipError Open() {
        if (opened)
            return ZipError::kNone;
        if (mode == Mode::kAppend) {
            if (const auto e = OpenExisting(archive, existing); e != ZipError::kNone)
                return e;
        }
        if (out.Create(temporary, CreateMode::kReplace) != FileError::kNone)
            return ZipError::kWriteFailed;
        created = true;
        if (existing.source) {
            const auto& old = existing.directory;
            if (const auto e = CopyPrefix(*existing.source, old.directory_offset, out);
                e != ZipError::kNone) {
                Abandon();
                return e;
            }
            position = old.directory_offset;
            directory = old.raw;
            kept = old.entries.size();
        }
        opened = true;
        return ZipError::kNone;
    }

    ZipError Add(Content& content, const ZipNewEntry& entry) {
        if (broken)
            return ZipError::kWriteFailed;
        if (const auto e = CheckEntry(entry); e != ZipError::kNone)
            return e;
        if (const auto e = Open(); e != ZipError::kNone)
            return e;
        if (kept + added >= 0xFFFE)
            return ZipError::kNeedsZip64;
        const std::uint64_t local_offset = position;
        const ZipError error = WriteEntry(content, entry, local_offset);
        if (error == ZipError::kNone)
            return error;
        // The entry is left out: the next one starts where it started.
        if (out.Seek(local_offset) != FileError::kNone)
            broken = true;
        return Fail(error);
    }

    ZipError WriteEntry(Content& content, const ZipNewEntry& entry, std::uint64_t local_offset) {
        Measure first;
        if (const auto e = MeasureContent(content, first); e != ZipError::kNone)
            return e;
        if (first.size >= kMax32 || local_offset >= kMax32)
            return ZipError::kNeedsZip64;
        EntryRecord record;
        record.entry = &entry;
        record.flags = password.empty() ? 0 : kFlagEncrypted;
        ZipDateTimeToDos(entry.modified, record.dos_date, record.dos_time);
        record.crc = first.crc;
        record.uncompressed = static_cast<std::uint32_t>(first.size);
        record.local_offset = static_cast<std::uint32_t>(local_offset);
        // Sizes go in once known; the header is rewritten below.
        if (out.Seek(local_offset) != FileError::kNone ||
            WriteAll(out, LocalHeader(record)) != FileError::kNone)
            return ZipError::kWriteFailed;

        std::optional<ZipCipher> cipher;
        std::uint64_t compressed = 0;
        if (!password.empty()) {
            std::uint8_t header[kEncryptionHeaderSize];
            random(std::span<std::uint8_t>(header, kEncryptionHeaderSize - 1));
            header[kEncryptionHeaderSize - 1] = static_cast<std::uint8_t>(record.crc >> 24);
            cipher.emplace(password);
            cipher->Encrypt(header);
            if (out.Write(header) != FileError::kNone)
                return ZipError::kWriteFailed;
            compressed = kEncryptionHeaderSize;
        }
        Measure second;
        std::uint64_t deflated = 0;
        if (const auto e =
                WriteDeflated(content, out, cipher ? &*cipher : nullptr, deflated, second);
            e != ZipError::kNone)
            return e;
        if (second.size != first.size || second.crc != first.crc)
            return ZipError::kSourceChanged;
        compressed += deflated;

        const std::uint64_t end = local_offset + kLocalHeaderSize + entry.name.size() + compressed;
        const std::uint64_t directory_size =
            directory.size() + kCentralHeaderSize + entry.name.size() + entry.comment.size();
        if (compressed >= kMax32 || end + directory_size + kEndSize + Comment().size() >= kMax32)
            return ZipError::kNeedsZip64;
        record.compressed = static_cast<std::uint32_t>(compressed);
        if (out.Seek(local_offset) != FileError::kNone ||
            WriteAll(out, LocalHeader(record)) != FileError::kNone ||
            out.Seek(end) != FileError::kNone)
            return ZipError::kWriteFailed;
        PutCentralHeader(directory, record);
        position = end;
        ++added;
        return ZipError::kNone;
    }

    const std::string& Comment() const {
        static const std::string none;
        return existing.source ? existing.directory.comment : none;
    }

    ZipError Commit() {
        if (broken)
            return ZipError::kWriteFailed;
        if (const auto e = Open(); e != ZipError::kNone)
            return e;
        std::vector<std::uint8_t> tail = directory;
        PutEndRecord(tail, static_cast<std::uint16_t>(kept + added),
                     static_cast<std::uint32_t>(directory.size()),
                     static_cast<std::uint32_t>(position), Comment());
        if (out.Seek(position) != FileError::kNone || WriteAll(out, tail) != FileError::kNone ||
            out.TruncateHere() != FileError::kNone || out.Flush() != FileError::kNone ||
            out.Close() != FileError::kNone)
            return Fail(ZipError::kWriteFailed);
        // The old archive must be closed before it can be replaced on Windows.
        existing.source.reset();
        if (!MoveFileReplacing(temporary, archive))
            return Fail(ZipError::kWriteFailed);
        created = false;
        broken = true;  // done: the batch takes nothing more
        return ZipError::kNone;
    }
};

namespace {

ZipError CheckEntry(const ZipNewEntry& entry) {
    if (entry.name.empty() || entry.name.size() > 0xFFFF || entry.comment.size() > 0xFFFF)
        return ZipError::kInvalidArgument;
    return ZipError::kNone;
}

}  // namespace

ZipRandomSource SystemRandomSource() {
    return [](std::span<std::uint8_t> bytes) {
        // std::random_device may throw where the system has no random source;
        // then a clock-seeded generator still keeps the headers varied.
        std::optional<std::random_device> device;
        try {
            device.emplace();
        } catch (...) {
        }
        std::mt19937 fallback(static_cast<std::uint32_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        for (auto& b : bytes) {
            std::uint32_t value = 0;
            try {
                value = device ? (*device)() : fallback();
            } catch (...) {
                value = fallback();
            }
            b = static_cast<std::uint8_t>(value);
        }
    };
}

ZipBatch::ZipBatch(std::string archive_path, Mode mode) : impl_(std::make_unique<Impl>()) {
    impl_->archive = std::move(archive_path);
    impl_->temporary = impl_->archive + ".tmp";
    impl_->mode = mode;
}

ZipBatch::~ZipBatch() = default;

void ZipBatch::SetPassword(std::string password) {
    impl_->password = std::move(password);
}

void ZipBatch::SetRandomSource(ZipRandomSource random) {
    impl_->random = random ? std::move(random) : SystemRandomSource();
}

ZipError ZipBatch::Open() {
    return impl_->Open();
}

std::size_t ZipBatch::EntryCount() const {
    return impl_->kept + impl_->added;
}

std::size_t ZipBatch::AddedCount() const {
    return impl_->added;
}

ZipError ZipBatch::AddFile(const std::string& source_path, const ZipNewEntry& entry) {
    if (const auto e = CheckEntry(entry); e != ZipError::kNone)
        return e;
    FileContent content;
    if (const auto e = content.Open(source_path); e != ZipError::kNone)
        return e;
    return impl_->Add(content, entry);
}

ZipError ZipBatch::AddBytes(std::span<const std::uint8_t> bytes, const ZipNewEntry& entry) {
    MemoryContent content(bytes);
    return impl_->Add(content, entry);
}

ZipError ZipBatch::Commit() {
    return impl_->Commit();
}

ZipWriter::ZipWriter(std::string archive_path)
    : archive_path_(std::move(archive_path)), random_(SystemRandomSource()) {}

void ZipWriter::SetPassword(std::string password) {
    password_ = std::move(password);
}

void ZipWriter::SetRandomSource(ZipRandomSource random) {
    random_ = random ? std::move(random) : SystemRandomSource();
}

namespace {

template <class AddOne>
ZipError AddOneEntry(const std::string& archive, const std::string& password,
                     const ZipRandomSource& random, AddOne add) {
    ZipBatch batch(archive);
    batch.SetPassword(password);
    batch.SetRandomSource(random);
    // The archive is read and copied only once the source has opened.
    if (const auto e = add(batch); e != ZipError::kNone)
        return e;
    return batch.Commit();
}

}  // namespace

ZipError ZipWriter::AddFile(const std::string& source_path, const ZipNewEntry& entry) {
    return AddOneEntry(archive_path_, password_, random_,
                       [&](ZipBatch& batch) { return batch.AddFile(source_path, entry); });
}

ZipError ZipWriter::AddBytes(std::span<const std::uint8_t> bytes, const ZipNewEntry& entry) {
    return AddOneEntry(archive_path_, password_, random_,
                       [&](ZipBatch& batch) { return batch.AddBytes(bytes, entry); });
}

}  // namespace olvex

#include "olvex/zip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/zip/zip_cipher.h"
#include "olvex/zip/zip_directory.h"
#include "olvex/zip/zip_format.h"

namespace olvex {

using namespace zip_format;

struct ZipReaderState {
    std::unique_ptr<zip_directory::Source> source;
    ZipBudget budget;
    std::vector<zip_directory::Entry> entries;
    std::string password;
    // Decompressed bytes handed out so far, all entries together.
    std::uint64_t produced = 0;
};

namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

struct ZipEntryStream::Impl {
    std::shared_ptr<ZipReaderState> state;
    std::optional<ZipCipher> cipher;
    std::uint16_t method = kMethodStored;
    z_stream z{};
    bool inflating = false;
    bool stream_ended = false;

    std::uint64_t input_offset = 0;
    std::uint64_t input_left = 0;
    std::vector<std::uint8_t> input;
    std::size_t input_pos = 0;  // stored entries: next unread byte of input

    std::uint64_t expected = 0;
    std::uint64_t produced = 0;
    std::uint32_t expected_crc = 0;
    std::uint32_t running_crc = kCrc32Start;
    bool done = false;
    ZipError error = ZipError::kNone;

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl() {
        if (inflating)
            inflateEnd(&z);
    }

    // Reads the next piece of compressed (and decrypted) input.
    ZipError Refill() {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, input_left));
        input.resize(count);
        if (!state->source->ReadAt(input_offset, input))
            return ZipError::kReadFailed;
        if (cipher)
            cipher->Decrypt(input);
        input_offset += count;
        input_left -= count;
        input_pos = 0;
        z.next_in = input.data();
        z.avail_in = static_cast<uInt>(count);
        return ZipError::kNone;
    }

    ZipError ReadStored(std::span<std::uint8_t> out, std::size_t& got) {
        got = 0;
        while (got < out.size()) {
            if (input_pos == input.size()) {
                if (input_left == 0)
                    return ZipError::kBadData;
                if (const auto e = Refill(); e != ZipError::kNone)
                    return e;
            }
            const std::size_t n = std::min(out.size() - got, input.size() - input_pos);
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(input_pos), n,
                        out.begin() + static_cast<std::ptrdiff_t>(got));
            input_pos += n;
            got += n;
        }
        return ZipError::kNone;
    }

    // One inflate step with fresh input when it ran dry. kBadData when the
    // stream is damaged or needs input that the entry does not have.
    ZipError InflateStep() {
        if (z.avail_in == 0 && input_left > 0) {
            if (const auto e = Refill(); e != ZipError::kNone)
                return e;
        }
        const uInt out_before = z.avail_out;
        const uInt in_before = z.avail_in;
        const int ret = inflate(&z, Z_NO_FLUSH);
        if (ret == Z_STREAM_END) {
            stream_ended = true;
            return ZipError::kNone;
        }
        if (ret != Z_OK && ret != Z_BUF_ERROR)
            return ZipError::kBadData;
        const bool progress = z.avail_out != out_before || z.avail_in != in_before;
        if (!progress && z.avail_in == 0 && input_left == 0)
            return ZipError::kBadData;  // cut short: the stream never ends
        return ZipError::kNone;
    }

    ZipError Inflate(std::span<std::uint8_t> out, std::size_t& got) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        while (z.avail_out == out.size() && !stream_ended) {
            if (const auto e = InflateStep(); e != ZipError::kNone)
                return e;
        }
        got = out.size() - z.avail_out;
        if (stream_ended && produced + got < expected)
            return ZipError::kSizeMismatch;  // inflates to less than declared
        return ZipError::kNone;
    }

    // All declared bytes are out: the stream must end here, and the CRC match.
    ZipError Finish() {
        if (method == kMethodDeflated) {
            std::uint8_t probe = 0;
            while (!stream_ended) {
                z.next_out = &probe;
                z.avail_out = 1;
                if (const auto e = InflateStep(); e != ZipError::kNone)
                    return e;
                if (z.avail_out == 0)
                    return ZipError::kSizeMismatch;  // inflates to more than declared
            }
        }
        if (~running_crc != expected_crc)
            return ZipError::kCrcMismatch;
        return ZipError::kNone;
    }

    ZipError Read(std::span<std::uint8_t> buffer, std::size_t& got) {
        got = 0;
        if (error != ZipError::kNone || done)
            return error;
        if (produced == expected) {
            error = Finish();
            done = error == ZipError::kNone;
            return error;
        }
        std::uint64_t want = std::min<std::uint64_t>(buffer.size(), expected - produced);
        want = std::min<std::uint64_t>(want, kChunk * 4);
        const std::uint64_t budget_left = state->budget.max_total_bytes > state->produced
                                              ? state->budget.max_total_bytes - state->produced
                                              : 0;
        if (budget_left == 0)
            return error = ZipError::kBudgetExceeded;
        want = std::min(want, budget_left);
        const auto out = buffer.first(static_cast<std::size_t>(want));
        error = method == kMethodStored ? ReadStored(out, got) : Inflate(out, got);
        if (error != ZipError::kNone) {
            got = 0;
            return error;
        }
        running_crc = UpdateCrc32(running_crc, out.data(), got);
        produced += got;
        state->produced += got;
        return ZipError::kNone;
    }
};

ZipEntryStream::ZipEntryStream() = default;
ZipEntryStream::~ZipEntryStream() = default;
ZipEntryStream::ZipEntryStream(ZipEntryStream&&) noexcept = default;
ZipEntryStream& ZipEntryStream::operator=(ZipEntryStream&&) noexcept = default;

bool ZipEntryStream::IsOpen() const {
    return impl_ != nullptr;
}

void ZipEntryStream::Close() {
    impl_.reset();
}

ZipError ZipEntryStream::Read(std::span<std::uint8_t> buffer, std::size_t& got) {
    got = 0;
    if (!impl_)
        return ZipError::kReadFailed;
    if (buffer.empty())
        return ZipError::kInvalidArgument;
    return impl_->Read(buffer, got);
}

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() = default;
ZipReader::ZipReader(ZipReader&&) noexcept = default;
ZipReader& ZipReader::operator=(ZipReader&&) noexcept = default;

namespace {

ZipError OpenSource(std::unique_ptr<zip_directory::Source> source, const ZipBudget& budget,
                    std::shared_ptr<ZipReaderState>& state) {
    zip_directory::Directory directory;
    const ZipError error = zip_directory::ReadDirectory(*source, budget, directory);
    if (error != ZipError::kNone)
        return error;
    state = std::make_shared<ZipReaderState>();
    state->source = std::move(source);
    state->budget = budget;
    state->entries = std::move(directory.entries);
    return ZipError::kNone;
}

}  // namespace

ZipError ZipReader::OpenFile(const std::string& path, const ZipBudget& budget) {
    Close();
    std::unique_ptr<zip_directory::Source> source;
    const ZipError error = zip_directory::MakeFileSource(path, source);
    if (error != ZipError::kNone)
        return error;
    return OpenSource(std::move(source), budget, state_);
}

ZipError ZipReader::OpenMemory(std::span<const std::uint8_t> bytes, const ZipBudget& budget) {
    Close();
    return OpenSource(zip_directory::MakeMemorySource(bytes), budget, state_);
}

bool ZipReader::IsOpen() const {
    return state_ != nullptr;
}

void ZipReader::Close() {
    state_.reset();
}

void ZipReader::SetPassword(const std::string& password) {
    if (state_)
        state_->password = password;
}

std::size_t ZipReader::EntryCount() const {
    return state_ ? state_->entries.size() : 0;
}

const ZipEntryInfo* ZipReader::Entry(std::size_t index) const {
    if (!state_ || index >= state_->entries.size())
        return nullptr;
    return &state_->entries[index].info;
}

ZipError ZipReader::OpenEntry(std::size_t index, ZipEntryStream& stream) {
    stream.Close();
    if (!state_ || index >= state_->entries.size())
        return ZipError::kBadIndex;
    const zip_directory::Entry& entry = state_->entries[index];
    const ZipEntryInfo& info = entry.info;
    if (!info.supported)
        return ZipError::kUnsupported;
    if (info.encrypted && state_->password.empty())
        return ZipError::kEncrypted;
    if (info.uncompressed_size > state_->budget.max_entry_bytes)
        return ZipError::kEntryTooLarge;
    if (state_->produced > state_->budget.max_total_bytes ||
        info.uncompressed_size > state_->budget.max_total_bytes - state_->produced)
        return ZipError::kBudgetExceeded;

    // The directory check put the local header's fixed part inside the file.
    std::uint8_t header[kLocalHeaderSize];
    if (!state_->source->ReadAt(entry.local_offset, header))
        return ZipError::kReadFailed;
    ByteReader r(header);
    const std::uint32_t signature = r.U32();
    r.Skip(2);
    const std::uint16_t flags = r.U16();
    const std::uint16_t method = r.U16();
    r.Skip(2 + 2 + 4 + 4 + 4);
    const std::uint16_t name_size = r.U16();
    const std::uint16_t extra_size = r.U16();
    if (signature != kLocalHeaderSignature || method != info.method ||
        (flags & kFlagEncrypted) != (info.flags & kFlagEncrypted))
        return ZipError::kBadLocalHeader;
    const std::uint64_t data_offset =
        entry.local_offset + kLocalHeaderSize + name_size + extra_size;
    if (data_offset > entry.limit || info.compressed_size > entry.limit - data_offset)
        return ZipError::kOverlap;

    auto impl = std::make_unique<ZipEntryStream::Impl>();
    impl->state = state_;
    impl->method = info.method;
    impl->expected = info.uncompressed_size;
    impl->expected_crc = info.crc32;
    impl->input_offset = data_offset;
    impl->input_left = info.compressed_size;
    if (info.encrypted) {
        if (impl->input_left < kEncryptionHeaderSize)
            return ZipError::kBadData;
        std::uint8_t encryption_header[kEncryptionHeaderSize];
        if (!state_->source->ReadAt(data_offset, encryption_header))
            return ZipError::kReadFailed;
        impl->cipher.emplace(state_->password);
        impl->cipher->Decrypt(encryption_header);
        // The last header byte repeats the CRC's top byte, or with a data
        // descriptor (CRC not known in advance) the time's top byte.
        const std::uint8_t check = (info.flags & kFlagDataDescriptor)
                                       ? static_cast<std::uint8_t>(entry.dos_time >> 8)
                                       : static_cast<std::uint8_t>(info.crc32 >> 24);
        if (encryption_header[kEncryptionHeaderSize - 1] != check)
            return ZipError::kWrongPassword;
        impl->input_offset += kEncryptionHeaderSize;
        impl->input_left -= kEncryptionHeaderSize;
    }
    if (info.method == kMethodStored) {
        if (impl->input_left != info.uncompressed_size)
            return ZipError::kSizeMismatch;
    } else {
        if (inflateInit2(&impl->z, -MAX_WBITS) != Z_OK)
            return ZipError::kReadFailed;
        impl->inflating = true;
    }
    stream.impl_ = std::move(impl);
    return ZipError::kNone;
}

ZipError ZipReader::ReadEntry(std::size_t index, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    try {
        return ReadWholeEntry(index, bytes);
    } catch (const std::bad_alloc&) {
        // Within the budget but still more than this process can hold.
        bytes.clear();
        bytes.shrink_to_fit();
        return ZipError::kEntryTooLarge;
    }
}

ZipError ZipReader::ReadWholeEntry(std::size_t index, std::vector<std::uint8_t>& bytes) {
    ZipEntryStream stream;
    ZipError error = OpenEntry(index, stream);
    if (error != ZipError::kNone)
        return error;
    // Sizes were checked against the budget; grow with the data anyway, so a
    // lying size costs no more memory than the bytes really produced.
    bytes.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(state_->entries[index].info.uncompressed_size, 1u << 20)));
    for (;;) {
        const std::size_t used = bytes.size();
        bytes.resize(used + kChunk);
        std::size_t got = 0;
        error = stream.Read(std::span<std::uint8_t>(bytes).subspan(used), got);
        bytes.resize(used + got);
        if (error != ZipError::kNone) {
            bytes.clear();
            return error;
        }
        if (got == 0)
            return ZipError::kNone;
    }
}

ZipError ZipReader::ExtractEntry(std::size_t index, const std::string& path) {
    ZipEntryStream stream;
    ZipError error = OpenEntry(index, stream);
    if (error != ZipError::kNone)
        return error;
    OutputFile out;
    const FileError created = out.Create(path, CreateMode::kNew);
    if (created == FileError::kExists)
        return ZipError::kFileExists;
    if (created != FileError::kNone)
        return ZipError::kWriteFailed;
    std::vector<std::uint8_t> buffer(kChunk);
    for (;;) {
        std::size_t got = 0;
        error = stream.Read(buffer, got);
        if (error != ZipError::kNone || got == 0)
            break;
        if (out.Write(std::span<const std::uint8_t>(buffer).first(got)) != FileError::kNone) {
            error = ZipError::kWriteFailed;
            break;
        }
    }
    if (error == ZipError::kNone &&
        (out.Flush() != FileError::kNone || out.Close() != FileError::kNone))
        error = ZipError::kWriteFailed;
    if (error != ZipError::kNone) {
        out.Close();
        RemoveFile(path);
    }
    return error;
}

}  // namespace olvex

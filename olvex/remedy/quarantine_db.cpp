#include "olvex/remedy/quarantine_db.h"

#include <algorithm>
#include <limits>

namespace olvex {
namespace {

void PutU32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t GetU32(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

bool FitsField(std::string_view text, std::size_t max_length) {
    return text.size() <= max_length && text.find('\0') == std::string_view::npos;
}

// The text of a field that must end with a NUL: up to its first NUL.
std::optional<std::string> FieldText(std::span<const std::uint8_t> field) {
    if (field.empty() || field.back() != 0)
        return std::nullopt;
    const auto nul = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), nul);
}

// Reads exactly buffer.size() bytes; kRecord when all came, kEnd when none
// did, kTorn when some did.
RecordStatus ReadExactly(RecordSource& source, std::uint64_t offset,
                         std::span<std::uint8_t> buffer) {
    const auto got = source.ReadAt(offset, buffer);
    if (!got)
        return RecordStatus::kReadError;
    if (*got == buffer.size())
        return RecordStatus::kRecord;
    return *got == 0 ? RecordStatus::kEnd : RecordStatus::kTorn;
}

// Whether everything from offset to the end of the source is zero bytes,
// which is what a crash during an append can leave behind.
std::optional<bool> RestIsZero(RecordSource& source, std::uint64_t offset) {
    std::vector<std::uint8_t> chunk(4096);
    for (;;) {
        const auto got = source.ReadAt(offset, chunk);
        if (!got)
            return std::nullopt;
        if (*got == 0)
            return true;
        if (std::any_of(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*got),
                        [](std::uint8_t b) { return b != 0; }))
            return false;
        offset += *got;
    }
}

template <class ReadOne>
RecordsEnd FindRecordsEnd(RecordSource& source, ReadOne read_one) {
    RecordsEnd end;
    for (;;) {
        const auto read = read_one(source, end.offset);
        if (read.status == RecordStatus::kRecord) {
            end.offset = read.next_offset;
            ++end.count;
            continue;
        }
        end.status = read.status;
        if (read.status == RecordStatus::kDamaged) {
            const auto zero = RestIsZero(source, end.offset);
            end.status = !zero ? RecordStatus::kReadError
                               : (*zero ? RecordStatus::kTorn : RecordStatus::kDamaged);
        }
        return end;
    }
}

QuarantineDbError ErrorOfEnd(const RecordsEnd& end) {
    switch (end.status) {
        case RecordStatus::kReadError:
            return QuarantineDbError::kReadFailed;
        case RecordStatus::kDamaged:
            return QuarantineDbError::kDamaged;
        default:
            return QuarantineDbError::kNone;
    }
}

}  // namespace

std::int32_t ReadLong32(std::string_view name) {
    std::size_t i = 0;
    while (i < name.size() && (name[i] == ' ' || (name[i] >= '\t' && name[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < name.size() && (name[i] == '+' || name[i] == '-')) {
        negative = name[i] == '-';
        ++i;
    }
    std::uint32_t total = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i)
        total = 10u * total + static_cast<std::uint32_t>(name[i] - '0');
    if (negative)
        total = 0u - total;
    return static_cast<std::int32_t>(total);
}

std::array<std::uint8_t, kQuarantineDbHeaderSize> EncodeQuarantineDbHeader(std::uint32_t counter) {
    std::array<std::uint8_t, kQuarantineDbHeaderSize> header{};
    PutU32(header.data(), kQuarantineDbMagic);
    PutU32(header.data() + 4, counter);
    return header;
}

std::optional<std::vector<std::uint8_t>> EncodeQuarantineRecord(const QuarantineRecord& record) {
    if (!FitsField(record.location, kMaxQuarantineLocationLength) ||
        !FitsField(record.container, kMaxQuarantineContainerLength))
        return std::nullopt;
    const std::size_t l1 = record.location.size() + 1;
    const std::size_t l2 = record.container.size() + 1;
    std::vector<std::uint8_t> bytes(kQuarantineRecordHeadSize + l1 + l2, 0);
    PutU32(bytes.data(), static_cast<std::uint32_t>(record.record_id));
    PutU32(bytes.data() + 4, static_cast<std::uint32_t>(record.pest_id));
    PutU32(bytes.data() + 8, static_cast<std::uint32_t>(l1));
    PutU32(bytes.data() + 12, static_cast<std::uint32_t>(l2));
    std::copy(record.location.begin(), record.location.end(),
              bytes.begin() + kQuarantineRecordHeadSize);
    std::copy(record.container.begin(), record.container.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(kQuarantineRecordHeadSize + l1));
    return bytes;
}

std::optional<std::vector<std::uint8_t>> EncodeSessionRecord(const SessionRecord& record) {
    if (!FitsField(record.path, kMaxSessionPathLength))
        return std::nullopt;
    const std::size_t n = record.path.size() + 2;
    std::vector<std::uint8_t> bytes(kQuarantineRecordHeadSize + n, 0);
    PutU32(bytes.data(), static_cast<std::uint32_t>(record.session_id));
    PutU32(bytes.data() + 4, record.reserved1);
    PutU32(bytes.data() + 8, record.reserved2);
    PutU32(bytes.data() + 12, static_cast<std::uint32_t>(n));
    std::copy(record.path.begin(), record.path.end(), bytes.begin() + kQuarantineRecordHeadSize);
    return bytes;
}

std::optional<std::size_t> MemoryRecordSource::ReadAt(std::uint64_t offset,
                                                      std::span<std::uint8_t> buffer) {
    if (offset >= bytes_.size())
        return 0;
    const std::size_t count =
        std::min<std::uint64_t>(buffer.size(), bytes_.size() - static_cast<std::size_t>(offset));
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), count, buffer.begin());
    return count;
}

HeaderStatus ReadQuarantineDbHeader(RecordSource& source, std::uint32_t& counter) {
    std::array<std::uint8_t, kQuarantineDbHeaderSize> header{};
    switch (ReadExactly(source, 0, header)) {
        case RecordStatus::kRecord:
            break;
        case RecordStatus::kReadError:
            return HeaderStatus::kReadError;
        default:
            return HeaderStatus::kShort;
    }
    if (GetU32(header.data()) != kQuarantineDbMagic)
        return HeaderStatus::kBadSignature;
    counter = GetU32(header.data() + 4);
    return HeaderStatus::kOk;
}

ItemRead ReadItemRecordAt(RecordSource& source, std::uint64_t offset) {
    ItemRead read;
    std::array<std::uint8_t, kQuarantineRecordHeadSize> head{};
    read.status = ReadExactly(source, offset, head);
    if (read.status != RecordStatus::kRecord)
        return read;
    const std::uint32_t l1 = GetU32(head.data() + 8);
    const std::uint32_t l2 = GetU32(head.data() + 12);
    if (l1 < 1 || l1 > kMaxQuarantineLocationLength + 1 || l2 < 1 ||
        l2 > kMaxQuarantineContainerLength + 1) {
        read.status = RecordStatus::kDamaged;
        return read;
    }
    std::vector<std::uint8_t> body(std::size_t{l1} + l2);
    read.status = ReadExactly(source, offset + kQuarantineRecordHeadSize, body);
    if (read.status == RecordStatus::kEnd)
        read.status = RecordStatus::kTorn;
    if (read.status != RecordStatus::kRecord)
        return read;
    auto location = FieldText(std::span<const std::uint8_t>(body).first(l1));
    auto container = FieldText(std::span<const std::uint8_t>(body).subspan(l1));
    if (!location || !container) {
        read.status = RecordStatus::kDamaged;
        return read;
    }
    read.record.record_id = static_cast<std::int32_t>(GetU32(head.data()));
    read.record.pest_id = static_cast<std::int32_t>(GetU32(head.data() + 4));
    read.record.location = std::move(*location);
    read.record.container = std::move(*container);
    read.next_offset = offset + kQuarantineRecordHeadSize + body.size();
    return read;
}

SessionRead ReadSessionRecordAt(RecordSource& source, std::uint64_t offset) {
    SessionRead read;
    std::array<std::uint8_t, kQuarantineRecordHeadSize> head{};
    read.status = ReadExactly(source, offset, head);
    if (read.status != RecordStatus::kRecord)
        return read;
    const std::uint32_t n = GetU32(head.data() + 12);
    if (n < 2 || n > kMaxSessionPathLength + 2) {
        read.status = RecordStatus::kDamaged;
        return read;
    }
    std::vector<std::uint8_t> body(n);
    read.status = ReadExactly(source, offset + kQuarantineRecordHeadSize, body);
    if (read.status == RecordStatus::kEnd)
        read.status = RecordStatus::kTorn;
    if (read.status != RecordStatus::kRecord)
        return read;
    auto path = FieldText(body);
    if (!path) {
        read.status = RecordStatus::kDamaged;
        return read;
    }
    read.record.session_id = static_cast<std::int32_t>(GetU32(head.data()));
    read.record.reserved1 = GetU32(head.data() + 4);
    read.record.reserved2 = GetU32(head.data() + 8);
    read.record.path = std::move(*path);
    read.next_offset = offset + kQuarantineRecordHeadSize + n;
    return read;
}

RecordsEnd FindItemRecordsEnd(RecordSource& source, std::int32_t* max_record_id) {
    std::int32_t max_id = 0;
    const auto end = FindRecordsEnd(source, [&](RecordSource& s, std::uint64_t offset) {
        auto read = ReadItemRecordAt(s, offset);
        if (read.status == RecordStatus::kRecord)
            max_id = std::max(max_id, read.record.record_id);
        return read;
    });
    if (max_record_id)
        *max_record_id = max_id;
    return end;
}

RecordsEnd FindSessionRecordsEnd(RecordSource& source) {
    return FindRecordsEnd(source, ReadSessionRecordAt);
}

QuarantineDbError QuarantineDbFile::Open(const std::string& path, Purpose purpose) {
    Close();
    position_ = kQuarantineDbHeaderSize;
    const bool opened =
        file_.Open(path, SharedFile::Access::kReadWrite, true) ||
        (purpose == Purpose::kList && file_.Open(path, SharedFile::Access::kRead, false));
    if (!opened)
        return QuarantineDbError::kOpenFailed;
    if (file_.Created() || file_.Size().value_or(1) == 0) {
        const auto header = EncodeQuarantineDbHeader(0);
        if (!file_.WriteAt(0, header) || !file_.Flush()) {
            Close();
            return QuarantineDbError::kWriteFailed;
        }
    }
    switch (ReadQuarantineDbHeader(*this, counter_)) {
        case HeaderStatus::kOk:
            return QuarantineDbError::kNone;
        case HeaderStatus::kShort:
            Close();
            return QuarantineDbError::kShortHeader;
        case HeaderStatus::kBadSignature:
            Close();
            return QuarantineDbError::kBadSignature;
        case HeaderStatus::kReadError:
            break;
    }
    Close();
    return QuarantineDbError::kReadFailed;
}

std::optional<std::size_t> QuarantineDbFile::ReadAt(std::uint64_t offset,
                                                    std::span<std::uint8_t> buffer) {
    return file_.ReadAt(offset, buffer);
}

// The record goes first, over any torn tail, and is flushed before the header
// names it: a crash in between leaves a file whose records are all whole.
QuarantineDbError QuarantineDbFile::WriteRecordAndHeader(const RecordsEnd& end,
                                                         std::span<const std::uint8_t> record,
                                                         std::uint32_t counter) {
    if (!file_.WriteAt(end.offset, record) || !file_.Resize(end.offset + record.size()) ||
        !file_.Flush())
        return QuarantineDbError::kWriteFailed;
    const auto header = EncodeQuarantineDbHeader(counter);
    if (!file_.WriteAt(0, header) || !file_.Flush())
        return QuarantineDbError::kWriteFailed;
    counter_ = counter;
    return QuarantineDbError::kNone;
}

std::optional<QuarantineRecord> QuarantineItemDb::NextRecord() {
    if (!IsOpen())
        return std::nullopt;
    auto read = ReadItemRecordAt(*this, position_);
    if (read.status != RecordStatus::kRecord)
        return std::nullopt;
    position_ = read.next_offset;
    return std::move(read.record);
}

std::optional<QuarantineRecord> QuarantineItemDb::NextListed() {
    while (auto record = NextRecord()) {
        if (record->record_id != -1 && PathExists(record->container))
            return record;
    }
    return std::nullopt;
}

QuarantineDbError QuarantineItemDb::Append(std::int32_t pest_id, std::string_view location,
                                           std::string_view container, std::int32_t& record_id) {
    if (!IsOpen())
        return QuarantineDbError::kOpenFailed;
    // Another process may have appended since Open: read the file afresh.
    std::uint32_t counter = 0;
    if (ReadQuarantineDbHeader(*this, counter) != HeaderStatus::kOk)
        return QuarantineDbError::kReadFailed;
    std::int32_t max_id = 0;
    const auto end = FindItemRecordsEnd(*this, &max_id);
    if (const auto error = ErrorOfEnd(end); error != QuarantineDbError::kNone)
        return error;
    const std::uint32_t last = std::max(counter, static_cast<std::uint32_t>(std::max(max_id, 0)));
    if (last >= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return QuarantineDbError::kFull;
    QuarantineRecord record{static_cast<std::int32_t>(last + 1), pest_id, std::string(location),
                            std::string(container)};
    const auto bytes = EncodeQuarantineRecord(record);
    if (!bytes)
        return QuarantineDbError::kTooLong;
    const auto error = WriteRecordAndHeader(end, *bytes, last + 1);
    if (error == QuarantineDbError::kNone)
        record_id = record.record_id;
    return error;
}

std::optional<SessionRecord> QuarantineSessionDb::NextRecord() {
    if (!IsOpen())
        return std::nullopt;
    auto read = ReadSessionRecordAt(*this, position_);
    if (read.status != RecordStatus::kRecord)
        return std::nullopt;
    position_ = read.next_offset;
    return std::move(read.record);
}

std::optional<SessionRecord> QuarantineSessionDb::NextListed() {
    while (auto record = NextRecord()) {
        if (record->session_id != -1 && PathExists(record->path))
            return record;
    }
    return std::nullopt;
}

QuarantineDbError QuarantineSessionDb::Append(std::string_view session_name,
                                              std::string_view zip_path, bool& appended) {
    appended = false;
    if (!IsOpen())
        return QuarantineDbError::kOpenFailed;
    const std::int32_t id = SessionIdFromName(session_name);
    position_ = kQuarantineDbHeaderSize;
    while (const auto record = NextListed()) {
        if (record->session_id == id)
            return QuarantineDbError::kNone;
    }
    const auto end = FindSessionRecordsEnd(*this);
    if (const auto error = ErrorOfEnd(end); error != QuarantineDbError::kNone)
        return error;
    const auto bytes = EncodeSessionRecord(SessionRecord{id, 0, 0, std::string(zip_path)});
    if (!bytes)
        return QuarantineDbError::kTooLong;
    const auto error = WriteRecordAndHeader(end, *bytes, static_cast<std::uint32_t>(end.count + 1));
    appended = error == QuarantineDbError::kNone;
    return error;
}

SessionDbScan ScanSessionDb(RecordSource& source) {
    SessionDbScan scan;
    std::uint32_t counter = 0;
    switch (ReadQuarantineDbHeader(source, counter)) {
        case HeaderStatus::kOk:
            break;
        case HeaderStatus::kReadError:
            scan.read_error = true;
            return scan;
        default:
            scan.damaged = true;
            return scan;
    }
    std::uint64_t offset = kQuarantineDbHeaderSize;
    for (;;) {
        auto read = ReadSessionRecordAt(source, offset);
        switch (read.status) {
            case RecordStatus::kRecord:
                scan.records.push_back(std::move(read.record));
                offset = read.next_offset;
                continue;
            case RecordStatus::kEnd:
                return scan;
            case RecordStatus::kReadError:
                scan.read_error = true;
                return scan;
            default:
                scan.damaged = true;
                return scan;
        }
    }
}

QuarantineDbError RewriteSessionDb(const std::string& path,
                                   std::span<const SessionRecord> records) {
    const auto header = EncodeQuarantineDbHeader(static_cast<std::uint32_t>(records.size()));
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (auto record : records) {
        record.reserved1 = record.reserved2 = 0;
        const auto encoded = EncodeSessionRecord(record);
        if (!encoded)
            return QuarantineDbError::kTooLong;
        bytes.insert(bytes.end(), encoded->begin(), encoded->end());
    }
    return WriteWholeFile(path, bytes, true) == FileError::kNone ? QuarantineDbError::kNone
                                                                 : QuarantineDbError::kWriteFailed;
}

QuarantineDbError CompactSessionDb(const std::string& path) {
    QuarantineSessionDb db;
    if (const auto error = db.Open(path, QuarantineDbFile::Purpose::kUpdate);
        error != QuarantineDbError::kNone)
        return error;
    if (const auto error = ErrorOfEnd(FindSessionRecordsEnd(db)); error != QuarantineDbError::kNone)
        return error;
    std::vector<SessionRecord> kept;
    while (auto record = db.NextRecord()) {
        if (PathExists(record->path))
            kept.push_back(std::move(*record));
    }
    db.Close();
    return RewriteSessionDb(path, kept);
}

}  // namespace olvex

#include "olvex/core/definition_records.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "olvex/core/little_endian.h"

namespace olvex {
namespace {

constexpr std::size_t kPestFixedBytes = 24;
constexpr std::size_t kSignatureFixedBytes = 32;
constexpr std::size_t kLocationFixedBytes = 8;
constexpr std::size_t kMd5Bytes = 16;
constexpr std::size_t kMaxField =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

static_assert(kMinPestRecordBytes == kPestFixedBytes + 1);
static_assert(kMinSignatureRecordBytes == kSignatureFixedBytes + 1);
static_assert(kMinLocationRecordBytes == kLocationFixedBytes);

// Walks a payload record by record; every read is checked against its end.
class RecordReader {
  public:
    explicit RecordReader(std::span<const std::uint8_t> payload) : payload_(payload) {}

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return payload_.size() - position_; }

    std::optional<std::uint32_t> Le32At(std::size_t offset_in_record) const {
        return LoadLe32(payload_, position_ + offset_in_record);
    }
    // The bytes [offset, offset + length) of the current record, if they lie in the payload.
    std::optional<std::span<const std::uint8_t>> BytesAt(std::size_t offset,
                                                         std::size_t length) const {
        if (offset > remaining() || length > remaining() - offset)
            return std::nullopt;
        return payload_.subspan(position_ + offset, length);
    }
    void Advance(std::size_t bytes) { position_ += bytes; }

  private:
    std::span<const std::uint8_t> payload_;
    std::size_t position_ = 0;
};

// A little-endian 32-bit number at p, which the caller has checked lies
// inside its buffer.
std::uint32_t Le32At(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The NUL-terminated text at offset within bytes; nullopt when the offset lies
// outside or no NUL follows it inside.
std::optional<std::string_view> TextAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset >= bytes.size())
        return std::nullopt;
    const std::uint8_t* begin = bytes.data() + offset;
    const void* nul = std::memchr(begin, 0, bytes.size() - offset);
    if (!nul)
        return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(begin),
                            static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - begin));
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string MalformedText(std::int32_t index, std::size_t offset, std::string_view what) {
    return "record " + std::to_string(index) + " at offset " + std::to_string(offset) + ": " +
           std::string(what);
}

bool HasNul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

std::size_t Reservation(std::int32_t record_count, std::size_t payload_bytes,
                        std::size_t min_record_bytes) {
    return std::min(static_cast<std::size_t>(record_count), payload_bytes / min_record_bytes);
}

void AppendText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

constexpr std::string_view kBlanks = " ";
constexpr std::string_view kBlanksAndQuotes = " \"";

std::string_view Strip(std::string_view text, std::string_view characters) {
    const std::size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

// Drops the closing double quotes of a part that runs to the end of the text,
// and blanks that stray behind them.
std::string_view DropTrailingQuotes(std::string_view text) {
    std::size_t end = text.size();
    const std::size_t last = text.find_last_not_of(kBlanks);
    if (last != std::string_view::npos && text[last] == '"')
        end = last + 1;
    while (end > 0 && text[end - 1] == '"')
        --end;
    return text.substr(0, end);
}

// The text from the first double quote on, blanks and double quotes stripped
// from both ends.
std::string_view QuotedTail(std::string_view text) {
    const std::size_t quote = text.find('"');
    if (quote == std::string_view::npos)
        return {};
    return Strip(text.substr(quote), kBlanksAndQuotes);
}

}  // namespace

RecordCursor::RecordCursor(std::span<const std::uint8_t> payload, std::int32_t record_count)
    : payload_(payload), count_(std::max(record_count, 0)) {}

std::nullopt_t RecordCursor::Fail(std::string_view what) {
    error_ = MalformedText(index_, position_, what);
    return std::nullopt;
}

std::optional<PestInfoRecordView> PestRecordReader::Next() {
    if (Done())
        return std::nullopt;
    RecordReader reader(Rest());
    if (reader.remaining() < kPestFixedBytes)
        return Fail("the payload ends inside the record");
    const std::uint32_t variable_length = *reader.Le32At(20);
    const auto variable = reader.BytesAt(kPestFixedBytes, variable_length);
    if (!variable)
        return Fail("the variable part runs past the payload");
    PestInfoRecordView record;
    record.pest_id = static_cast<std::int32_t>(*reader.Le32At(0));
    const auto name = TextAt(*variable, *reader.Le32At(4));
    if (!name)
        return Fail("the name lies outside the variable part");
    const auto category = TextAt(*variable, *reader.Le32At(8));
    if (!category)
        return Fail("the category lies outside the variable part");
    reader.Advance(kPestFixedBytes + variable_length);
    const auto note = TextAt(*reader.BytesAt(0, reader.remaining()), 0);
    if (!note)
        return Fail("the closing text is not terminated");
    reader.Advance(note->size() + 1);
    record.name = *name;
    record.category = *category;
    record.note = *note;
    Step(reader.position());
    return record;
}

std::optional<SignatureRecordView> SignatureRecordReader::Next() {
    if (Done())
        return std::nullopt;
    // Every load below lies inside what the checks before it allow: the
    // loader walks a million of these records twice, so they are read
    // directly.
    const std::span<const std::uint8_t> rest = Rest();
    if (rest.size() < kSignatureFixedBytes)
        return Fail("the payload ends inside the record");
    const std::uint8_t* const record_bytes = rest.data();
    const std::uint32_t variable_length = Le32At(record_bytes + 28);
    if (variable_length > rest.size() - kSignatureFixedBytes)
        return Fail("the variable part runs past the payload");
    SignatureRecordView record;
    record.pest_id = static_cast<std::int32_t>(Le32At(record_bytes));
    record.file_crc = Le32At(record_bytes + 4);
    record.memory_crc = Le32At(record_bytes + 16);
    const std::uint8_t* const variable = record_bytes + kSignatureFixedBytes;
    // A variable part too short for an MD5 means the record has none.
    if (variable_length >= kMd5Bytes) {
        const std::uint32_t md5_offset = Le32At(record_bytes + 24);
        if (md5_offset > variable_length - kMd5Bytes)
            return Fail("the MD5 lies outside the variable part");
        std::memcpy(record.md5.data(), variable + md5_offset, kMd5Bytes);
    } else {
        record.md5_malformed = true;
    }
    const std::size_t note_at = kSignatureFixedBytes + variable_length;
    const void* nul = note_at < rest.size()
                          ? std::memchr(record_bytes + note_at, 0, rest.size() - note_at)
                          : nullptr;
    if (!nul)
        return Fail("the closing text is not terminated");
    const auto note_length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - (record_bytes + note_at));
    record.note = std::string_view(reinterpret_cast<const char*>(record_bytes + note_at), note_length);
    Step(note_at + note_length + 1);
    return record;
}

std::optional<LocationRecordView> LocationRecordReader::Next() {
    if (Done())
        return std::nullopt;
    RecordReader reader(Rest());
    if (reader.remaining() < kLocationFixedBytes)
        return Fail("the payload ends inside the record");
    const std::uint32_t length = *reader.Le32At(4);
    const auto text = reader.BytesAt(kLocationFixedBytes, length);
    if (!text)
        return Fail("the text runs past the payload");
    if (check_texts_ && !text->empty() && std::memchr(text->data(), 0, text->size()))
        return Fail("the text holds a NUL byte");
    LocationRecordView record;
    record.pest_id = static_cast<std::int32_t>(*reader.Le32At(0));
    record.text = AsText(*text);
    Step(kLocationFixedBytes + length);
    return record;
}

namespace {

// Runs a reader to its end; on error no record is returned.
template <typename Record, typename Reader, typename Convert>
RecordList<Record> DecodeAll(Reader reader, std::size_t reservation, Convert convert) {
    RecordList<Record> list;
    list.records.reserve(reservation);
    while (const auto view = reader.Next())
        list.records.push_back(convert(*view));
    if (!reader.error().empty()) {
        list.records.clear();
        list.error = reader.error();
    }
    return list;
}

}  // namespace

RecordList<PestInfoRecord> DecodePestRecords(std::span<const std::uint8_t> payload,
                                             std::int32_t record_count) {
    if (record_count <= 0)
        return {};
    return DecodeAll<PestInfoRecord>(PestRecordReader(payload, record_count),
                                     Reservation(record_count, payload.size(), kMinPestRecordBytes),
                                     [](const PestInfoRecordView& view) {
                                         return PestInfoRecord{view.pest_id, std::string(view.name),
                                                               std::string(view.category),
                                                               std::string(view.note)};
                                     });
}

RecordList<SignatureRecord> DecodeSignatureRecords(std::span<const std::uint8_t> payload,
                                                   std::int32_t record_count) {
    if (record_count <= 0)
        return {};
    return DecodeAll<SignatureRecord>(
        SignatureRecordReader(payload, record_count),
        Reservation(record_count, payload.size(), kMinSignatureRecordBytes),
        [](const SignatureRecordView& view) {
            return SignatureRecord{view.pest_id, view.file_crc,          view.memory_crc,
                                   view.md5,     std::string(view.note), view.md5_malformed};
        });
}

RecordList<LocationRecord> DecodeLocationRecords(std::span<const std::uint8_t> payload,
                                                 std::int32_t record_count) {
    if (record_count <= 0)
        return {};
    return DecodeAll<LocationRecord>(
        LocationRecordReader(payload, record_count),
        Reservation(record_count, payload.size(), kMinLocationRecordBytes),
        [](const LocationRecordView& view) {
            return LocationRecord{view.pest_id, std::string(view.text)};
        });
}

bool AppendPestRecord(std::vector<std::uint8_t>& payload, const PestInfoRecord& record) {
    if (HasNul(record.name) || HasNul(record.category) || HasNul(record.note))
        return false;
    const std::size_t variable_length = record.name.size() + 1 + record.category.size() + 1;
    if (variable_length + record.note.size() + 1 + kPestFixedBytes > kMaxField)
        return false;
    AppendLe(payload, record.pest_id);
    AppendLe(payload, std::uint32_t{0});  // name offset
    AppendLe(payload, static_cast<std::uint32_t>(record.name.size() + 1));
    AppendLe(payload, std::uint64_t{0});
    AppendLe(payload, static_cast<std::uint32_t>(variable_length));
    AppendText(payload, record.name);
    AppendText(payload, record.category);
    AppendText(payload, record.note);
    return true;
}

bool AppendSignatureRecord(std::vector<std::uint8_t>& payload, const SignatureRecord& record) {
    if (HasNul(record.note) ||
        record.note.size() + kSignatureFixedBytes + kMd5Bytes + 1 > kMaxField)
        return false;
    const std::size_t md5_bytes = record.md5_malformed ? 0 : kMd5Bytes;
    AppendLe(payload, record.pest_id);
    AppendLe(payload, record.file_crc);
    AppendLe(payload, std::uint64_t{0});
    AppendLe(payload, record.memory_crc);
    AppendLe(payload, std::uint32_t{0});
    AppendLe(payload, std::uint32_t{0});  // MD5 offset
    AppendLe(payload, static_cast<std::uint32_t>(md5_bytes));
    payload.insert(payload.end(), record.md5.begin(),
                   record.md5.begin() + static_cast<std::ptrdiff_t>(md5_bytes));
    AppendText(payload, record.note);
    return true;
}

bool AppendLocationRecord(std::vector<std::uint8_t>& payload, const LocationRecord& record) {
    if (HasNul(record.text) || record.text.size() + kLocationFixedBytes > kMaxField)
        return false;
    AppendLe(payload, record.pest_id);
    AppendLe(payload, static_cast<std::uint32_t>(record.text.size()));
    payload.insert(payload.end(), record.text.begin(), record.text.end());
    return true;
}

LocationKind LocationKindOf(std::string_view text) {
    if (text.starts_with("key"))
        return LocationKind::kKey;
    if (text.starts_with("exclude"))
        return LocationKind::kExclude;
    if (text.starts_with("cookie"))
        return LocationKind::kCookie;
    if (text.starts_with("file"))
        return LocationKind::kFile;
    if (text.starts_with("folder"))
        return LocationKind::kFolder;
    return LocationKind::kUnknown;
}

KeyEntryView ParseKeyEntryView(std::string_view text) {
    KeyEntryView entry;
    const std::size_t open = text.find('"');
    if (open == std::string_view::npos)
        return entry;
    const std::size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos) {
        entry.key = DropTrailingQuotes(text.substr(open + 1));
        return entry;
    }
    entry.key = text.substr(open + 1, close - open - 1);

    std::string_view rest = text.substr(close + 1);
    if (const std::size_t word = rest.find("value"); word != std::string_view::npos) {
        const std::size_t quote = rest.find('"', word + 5);
        if (quote == std::string_view::npos) {
            rest = {};
        } else {
            const std::size_t start = quote + 1;
            const std::size_t end = rest.find("\" data", start);
            if (end == std::string_view::npos) {
                entry.value = DropTrailingQuotes(rest.substr(start));
                rest = {};
            } else {
                entry.value = rest.substr(start, end - start);
                rest = rest.substr(end);
            }
        }
    }
    if (const std::size_t word = rest.find("data"); word != std::string_view::npos) {
        const std::size_t quote = rest.find('"', word + 4);
        if (quote != std::string_view::npos)
            entry.data = DropTrailingQuotes(rest.substr(quote + 1));
    }
    return entry;
}

KeyEntry ParseKeyEntry(std::string_view text) {
    const KeyEntryView view = ParseKeyEntryView(text);
    return {std::string(view.key), std::string(view.value), std::string(view.data)};
}

std::string_view ParseQuotedEntryView(std::string_view text) {
    return QuotedTail(text);
}

std::string ParseCookieEntry(std::string_view text) {
    return std::string(QuotedTail(text));
}

PathEntry ParsePathEntry(std::string_view text) {
    return {std::string(QuotedTail(text)), LocationKindOf(text) == LocationKind::kFolder};
}

}  // namespace olvex

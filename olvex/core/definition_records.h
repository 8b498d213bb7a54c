// Record layouts inside the decoded payloads of the three definition files,
// as a codec shared by the engine's loader and the definition publisher.
// Every payload holds its block's record count of records back to back,
// little-endian. A record whose pest id is above 0 adds; 0 or below removes
// the entry of the pest whose id is its negation.
//
// Decoding checks every count, offset, length and text against the payload:
// a malformed record is an error, never a read outside the payload.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// "qzinfo.dat": id(4) name offset(4) category offset(4) unused(8)
// variable-part length(4), the variable part holding the NUL-terminated name
// and category at their offsets, then one more NUL-terminated text.
struct PestInfoRecord {
    std::int32_t pest_id = 0;
    std::string name;
    std::string category;
    std::string note;  // the text behind the variable part; the loader skips it
    bool operator==(const PestInfoRecord&) const = default;
};

// "qzfile.dat": id(4) file CRC(4) unused(8) memory CRC(4) unused(4) MD5
// offset(4) variable-part length(4), the variable part holding the MD5, then
// one NUL-terminated text.
struct SignatureRecord {
    std::int32_t pest_id = 0;
    std::uint32_t file_crc = 0;          // CRC-32 of the file's head; 0 = no file signature
    std::uint32_t memory_crc = 0;        // CRC-32 of a 4096-byte memory block; 0 = none
    std::array<std::uint8_t, 16> md5{};  // all zero: the head CRC alone decides
    std::string note;                    // the text behind the variable part; skipped
    // The variable part is too short to hold an MD5 (md5 is then all zero).
    // Such a signature names no file: it must never match on its head CRC.
    bool md5_malformed = false;
    bool operator==(const SignatureRecord&) const = default;
};

// "qzloc.dat": id(4) text length(4) and the entry text (no NUL).
struct LocationRecord {
    std::int32_t pest_id = 0;
    std::string text;  // begins with its kind word: key, exclude, cookie, file, folder
    bool operator==(const LocationRecord&) const = default;
};

// Records read in place: the texts point into the payload, which must outlive
// them. The loader reads through these so that a large payload is never
// copied record by record.
struct PestInfoRecordView {
    std::int32_t pest_id = 0;
    std::string_view name;
    std::string_view category;
    std::string_view note;
};
struct SignatureRecordView {
    std::int32_t pest_id = 0;
    std::uint32_t file_crc = 0;
    std::uint32_t memory_crc = 0;
    std::array<std::uint8_t, 16> md5{};
    std::string_view note;
    bool md5_malformed = false;
};
struct LocationRecordView {
    std::int32_t pest_id = 0;
    std::string_view text;
};

// The shortest record each file can hold, to bound what a record count may
// set aside.
inline constexpr std::size_t kMinPestRecordBytes = 25;
inline constexpr std::size_t kMinSignatureRecordBytes = 33;
inline constexpr std::size_t kMinLocationRecordBytes = 8;

// Reads `record_count` records (0 or below: none) from a decoded payload,
// one at a time, checking each against the payload. Next() gives nullopt at
// the end and at the first malformed record; error() then tells which.
// The readers below share this walk and differ only in how a record is laid out.
class RecordCursor {
  public:
    // Empty unless a malformed record stopped the reader.
    const std::string& error() const { return error_; }

  protected:
    RecordCursor(std::span<const std::uint8_t> payload, std::int32_t record_count);
    bool Done() const { return index_ >= count_ || !error_.empty(); }
    // The payload from the current record on.
    std::span<const std::uint8_t> Rest() const { return payload_.subspan(position_); }
    // Stops the reader, naming the current record and what is wrong with it.
    std::nullopt_t Fail(std::string_view what);
    // Moves past a record of `bytes` bytes.
    void Step(std::size_t bytes) {
        position_ += bytes;
        ++index_;
    }

  private:
    std::span<const std::uint8_t> payload_;
    std::size_t position_ = 0;
    std::int32_t index_ = 0;
    std::int32_t count_ = 0;
    std::string error_;
};

class PestRecordReader : public RecordCursor {
  public:
    PestRecordReader(std::span<const std::uint8_t> payload, std::int32_t record_count)
        : RecordCursor(payload, record_count) {}
    std::optional<PestInfoRecordView> Next();
};

class SignatureRecordReader : public RecordCursor {
  public:
    SignatureRecordReader(std::span<const std::uint8_t> payload, std::int32_t record_count)
        : RecordCursor(payload, record_count) {}
    std::optional<SignatureRecordView> Next();
};

class LocationRecordReader : public RecordCursor {
  public:
    // Without check_texts a text holding a NUL byte is read like any other:
    // for a walk beside one that checks every record and is believed.
    LocationRecordReader(std::span<const std::uint8_t> payload, std::int32_t record_count,
                         bool check_texts = true)
        : RecordCursor(payload, record_count), check_texts_(check_texts) {}
    std::optional<LocationRecordView> Next();

  private:
    bool check_texts_;
};

template <typename Record>
struct RecordList {
    std::vector<Record> records;
    std::string error;  // empty when every record was well formed; then records holds them all
    bool ok() const { return error.empty(); }
};

// Decode `record_count` records (0 or below: none) from a decoded payload.
// Bytes behind the last record are ignored. On error no record is returned.
RecordList<PestInfoRecord> DecodePestRecords(std::span<const std::uint8_t> payload,
                                             std::int32_t record_count);
// A variable part shorter than 16 bytes carries no MD5: it decodes as all
// zero with md5_malformed set.
RecordList<SignatureRecord> DecodeSignatureRecords(std::span<const std::uint8_t> payload,
                                                   std::int32_t record_count);
// Texts holding a NUL byte are malformed.
RecordList<LocationRecord> DecodeLocationRecords(std::span<const std::uint8_t> payload,
                                                 std::int32_t record_count);

// Append one record to a payload. False (payload unchanged) when a text holds
// a NUL byte or the record would not fit the 32-bit fields. A signature with
// md5_malformed gets an empty variable part (for test fixtures).
bool AppendPestRecord(std::vector<std::uint8_t>& payload, const PestInfoRecord& record);
bool AppendSignatureRecord(std::vector<std::uint8_t>& payload, const SignatureRecord& record);
bool AppendLocationRecord(std::vector<std::uint8_t>& payload, const LocationRecord& record);

// The kind of a "qzloc.dat" entry text, by its first word, tested at position
// 0 in this order: "key", "exclude", "cookie", "file", "folder".
enum class LocationKind { kUnknown, kKey, kExclude, kCookie, kFile, kFolder };
LocationKind LocationKindOf(std::string_view text);

// key "<key>" value "<value>" data "<data>"; absent parts are empty.
// The key lies between the first two double quotes. A value follows the word
// value and ends at a double quote followed by a blank and the word data (or
// at the end); the data follows the word data. Blanks behind a closing
// double quote and the trailing double quotes are dropped.
struct KeyEntry {
    std::string key;
    std::string value;
    std::string data;
    bool operator==(const KeyEntry&) const = default;
};
KeyEntry ParseKeyEntry(std::string_view text);
// The same, the parts pointing into text.
struct KeyEntryView {
    std::string_view key;
    std::string_view value;
    std::string_view data;
};
KeyEntryView ParseKeyEntryView(std::string_view text);

// cookie "<name>": the text from the first double quote on, blanks and double
// quotes stripped from both ends; empty without a double quote.
std::string ParseCookieEntry(std::string_view text);
// The same, pointing into text; also the path of a "file" or "folder" text.
std::string_view ParseQuotedEntryView(std::string_view text);

// file "<path>" and folder "<path>": the path as for a cookie name. The folder
// flag comes from the kind word, so a file path that merely contains "folder"
// stays a file.
struct PathEntry {
    std::string path;
    bool is_folder = false;
    bool operator==(const PathEntry&) const = default;
};
PathEntry ParsePathEntry(std::string_view text);

}  // namespace olvex

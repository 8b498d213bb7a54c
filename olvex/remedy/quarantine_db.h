// The quarantine's two databases in the quarantine folder: the item database
// "qzqdb.dat" (one record per quarantined item) and the session database
// "qzqsdb.dat" (one record per session archive). Both start with the same
// 32-byte header; records follow back to back, little-endian.
//
// Every byte read from these files is checked against the file's end and the
// model's limits. A file that ends inside a record, or whose last record was
// left as zeros by a crash, simply ends there; an append overwrites such a
// torn tail, so the next reader sees the old records and the new one. A
// session compaction writes a new file beside the old one and renames it over.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/file_io.h"

namespace olvex {

inline constexpr std::uint32_t kQuarantineDbMagic = 0x515A5144;  // "DQZQ" on disk
inline constexpr std::size_t kQuarantineDbHeaderSize = 32;
inline constexpr std::size_t kQuarantineRecordHeadSize = 16;
// Limits of the data model: longer texts are neither written nor read.
inline constexpr std::size_t kMaxQuarantineLocationLength = 4095;
inline constexpr std::size_t kMaxQuarantineContainerLength = 4095;
inline constexpr std::size_t kMaxSessionPathLength = 255;

inline constexpr char kQuarantineItemDbName[] = "qzqdb.dat";
inline constexpr char kQuarantineSessionDbName[] = "qzqsdb.dat";

// One item: the location it came from and the container (file or folder in
// the quarantine folder) that holds its copy.
struct QuarantineRecord {
    std::int32_t record_id = 0;
    std::int32_t pest_id = 0;
    std::string location;
    std::string container;
    bool operator==(const QuarantineRecord&) const = default;
};

// One session archive.
struct SessionRecord {
    std::int32_t session_id = 0;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    std::string path;
    bool operator==(const SessionRecord&) const = default;
};

// A decimal text read the way the C library's atol reads it on a 32-bit
// long: white space skipped, an optional sign, digits accumulated modulo
// 2^32, the first non-digit ending it.
std::int32_t ReadLong32(std::string_view text);

// A session name (fourteen UTC digits) read as a number with ReadLong32; two
// names that differ by a multiple of 2^32 share an id.
inline std::int32_t SessionIdFromName(std::string_view name) {
    return ReadLong32(name);
}

std::array<std::uint8_t, kQuarantineDbHeaderSize> EncodeQuarantineDbHeader(std::uint32_t counter);
// nullopt when a text is longer than the model allows or holds a NUL.
std::optional<std::vector<std::uint8_t>> EncodeQuarantineRecord(const QuarantineRecord& record);
std::optional<std::vector<std::uint8_t>> EncodeSessionRecord(const SessionRecord& record);

// Where records are read from: a database file, or bytes in memory.
class RecordSource {
  public:
    virtual ~RecordSource() = default;
    // Reads buffer.size() bytes at offset unless the source ends first; the
    // count read, or nullopt on a read error.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                              std::span<std::uint8_t> buffer) = 0;
};

class MemoryRecordSource : public RecordSource {
  public:
    explicit MemoryRecordSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;

  private:
    std::span<const std::uint8_t> bytes_;
};

enum class HeaderStatus { kOk, kShort, kBadSignature, kReadError };
HeaderStatus ReadQuarantineDbHeader(RecordSource& source, std::uint32_t& counter);

enum class RecordStatus {
    kRecord,     // a whole record was read
    kEnd,        // the source ends exactly here
    kTorn,       // the source ends inside a record
    kDamaged,    // the bytes here are no record (lengths out of range, text unterminated)
    kReadError,  // the source could not be read
};

struct ItemRead {
    RecordStatus status = RecordStatus::kEnd;
    QuarantineRecord record;
    std::uint64_t next_offset = 0;  // just after the record when one was read
};
ItemRead ReadItemRecordAt(RecordSource& source, std::uint64_t offset);

struct SessionRead {
    RecordStatus status = RecordStatus::kEnd;
    SessionRecord record;
    std::uint64_t next_offset = 0;
};
SessionRead ReadSessionRecordAt(RecordSource& source, std::uint64_t offset);

// Where the whole records of a database end. kRecord is never returned:
// kEnd means the records fill the source; kTorn means a crash left a partial
// record or zero bytes behind them (safe to overwrite); kDamaged means other
// bytes follow them; kReadError means the source failed.
struct RecordsEnd {
    RecordStatus status = RecordStatus::kEnd;
    std::uint64_t offset = kQuarantineDbHeaderSize;  // end of the last whole record
    std::size_t count = 0;
};
RecordsEnd FindItemRecordsEnd(RecordSource& source, std::int32_t* max_record_id = nullptr);
RecordsEnd FindSessionRecordsEnd(RecordSource& source);

enum class QuarantineDbError {
    kNone = 0,
    kOpenFailed,    // cannot be opened or created
    kShortHeader,   // shorter than its header
    kBadSignature,  // the header's magic is wrong
    kReadFailed,    // a read failed
    kDamaged,       // bytes that are no record lie between records and the end
    kTooLong,       // a text is longer than the model allows, or holds a NUL
    kFull,          // no record id is left
    kWriteFailed,   // a write failed; the file holds what it held before
};

// One open database file, read from just after its header.
class QuarantineDbFile : public RecordSource {
  public:
    // kList opens for reading (making a missing file when the folder allows);
    // kUpdate opens for reading and writing, making a missing file.
    enum class Purpose { kList, kUpdate };

    // Opens the file and checks its header. A file that did not exist, or is
    // empty, first gets a fresh header (magic, counter 0, 24 zero bytes).
    QuarantineDbError Open(const std::string& path, Purpose purpose);
    bool IsOpen() const { return file_.IsOpen(); }
    void Close() { file_.Close(); }
    // The header's counter as read by Open or written by the last append.
    std::uint32_t Counter() const { return counter_; }

    std::optional<std::size_t> ReadAt(std::uint64_t offset,
                                      std::span<std::uint8_t> buffer) override;

  protected:
    QuarantineDbError WriteRecordAndHeader(const RecordsEnd& end,
                                           std::span<const std::uint8_t> record,
                                           std::uint32_t counter);
    SharedFile file_;
    std::uint32_t counter_ = 0;
    std::uint64_t position_ = kQuarantineDbHeaderSize;
};

class QuarantineItemDb : public QuarantineDbFile {
  public:
    // The next readable record; nullopt at the end of the records.
    std::optional<QuarantineRecord> NextRecord();
    // The next record that is listed: its id is not -1 and its container exists.
    std::optional<QuarantineRecord> NextListed();
    // Appends a record with the next id (one more than the counter and than
    // every id in the file) and stores that id in the header.
    QuarantineDbError Append(std::int32_t pest_id, std::string_view location,
                             std::string_view container, std::int32_t& record_id);
};

class QuarantineSessionDb : public QuarantineDbFile {
  public:
    std::optional<SessionRecord> NextRecord();
    // The next record that is listed: its id is not -1 and its archive exists.
    std::optional<SessionRecord> NextListed();
    // Appends a record for the session unless a listed record already has
    // its id (appended tells which). The counter becomes the record count.
    QuarantineDbError Append(std::string_view session_name, std::string_view zip_path,
                             bool& appended);
};

// A session database read as far as it goes: the whole records in order,
// and whether anything spoils it (a header that is cut or not ours, a record
// cut short, bytes that are no record).
struct SessionDbScan {
    std::vector<SessionRecord> records;
    bool damaged = false;
    bool read_error = false;  // the source could not be read: nothing is known
};
SessionDbScan ScanSessionDb(RecordSource& source);

// Writes the session database afresh with these records, the counter set to
// their number: a new file beside it is renamed over it.
QuarantineDbError RewriteSessionDb(const std::string& path, std::span<const SessionRecord> records);

// Rewrites the session database with only the records whose archive exists,
// in order, the counter set to their number. The new file replaces the old
// one by a rename, so a crash leaves one or the other. A damaged file is left
// as it is (kDamaged).
QuarantineDbError CompactSessionDb(const std::string& path);

}  // namespace olvex

// Reads hostile bytes as both quarantine databases: every record read must
// encode back to bytes that read as the same record, an append to such a
// file must keep every whole record it held, and the records a damaged
// session database still gives must be written back whole by a repair.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "olvex/core/file_io.h"
#include "olvex/remedy/quarantine_db.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void ReadAllRecords(std::span<const std::uint8_t> bytes) {
    olvex::MemoryRecordSource source(bytes);
    std::uint32_t counter = 0;
    olvex::ReadQuarantineDbHeader(source, counter);
    for (std::uint64_t offset = olvex::kQuarantineDbHeaderSize;;) {
        const auto read = olvex::ReadItemRecordAt(source, offset);
        if (read.status != olvex::RecordStatus::kRecord)
            break;
        Check(read.next_offset > offset && read.next_offset <= bytes.size());
        const auto again = olvex::EncodeQuarantineRecord(read.record);
        Check(again.has_value());
        olvex::MemoryRecordSource copy(*again);
        Check(olvex::ReadItemRecordAt(copy, 0).record == read.record);
        offset = read.next_offset;
    }
    std::vector<olvex::SessionRecord> sessions;
    for (std::uint64_t offset = olvex::kQuarantineDbHeaderSize;;) {
        const auto read = olvex::ReadSessionRecordAt(source, offset);
        if (read.status != olvex::RecordStatus::kRecord)
            break;
        Check(read.next_offset > offset && read.next_offset <= bytes.size());
        const auto again = olvex::EncodeSessionRecord(read.record);
        Check(again.has_value());
        olvex::MemoryRecordSource copy(*again);
        Check(olvex::ReadSessionRecordAt(copy, 0).record == read.record);
        sessions.push_back(read.record);
        offset = read.next_offset;
    }
    // The scan a repair starts from gives exactly those records, after a
    // readable header.
    const auto scan = olvex::ScanSessionDb(source);
    Check(!scan.read_error);
    if (olvex::ReadQuarantineDbHeader(source, counter) == olvex::HeaderStatus::kOk)
        Check(scan.records == sessions);
    else
        Check(scan.damaged && scan.records.empty());
}

void AppendToFile(std::span<const std::uint8_t> bytes) {
    // In memory where there is such a folder: every append is flushed.
    static const std::string path =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/olvex-fuzz-qdb-" +
        std::to_string(getpid()) + ".dat";
    if (olvex::WriteWholeFile(path, bytes) != olvex::FileError::kNone)
        return;
    olvex::QuarantineItemDb db;
    if (db.Open(path, olvex::QuarantineDbFile::Purpose::kUpdate) ==
        olvex::QuarantineDbError::kNone) {
        const auto before = olvex::FindItemRecordsEnd(db);
        std::int32_t id = 0;
        if (db.Append(1, "File \"C:\\x\"", "C:\\Q\\qzq1.tmp", id) ==
            olvex::QuarantineDbError::kNone) {
            const auto after = olvex::FindItemRecordsEnd(db);
            Check(after.status == olvex::RecordStatus::kEnd);
            Check(after.count == before.count + 1);
            Check(id > 0);
        }
    }
    db.Close();
    // A repair writes what could be read back whole.
    olvex::MemoryRecordSource source(bytes);
    auto records = olvex::ScanSessionDb(source).records;
    if (olvex::RewriteSessionDb(path, records) == olvex::QuarantineDbError::kNone) {
        const auto written = olvex::ReadWholeFile(path);
        olvex::MemoryRecordSource again(written.bytes);
        const auto scan = olvex::ScanSessionDb(again);
        for (auto& record : records)
            record.reserved1 = record.reserved2 = 0;
        Check(!scan.damaged && scan.records == records);
    }
    olvex::RemoveFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    ReadAllRecords(bytes);
    if (size <= 65536)
        AppendToFile(bytes);
    return 0;
}

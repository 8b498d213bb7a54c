#include "olvex/remedy/quarantine_db.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using Bytes = std::vector<std::uint8_t>;

Bytes Header(std::uint32_t counter) {
    const auto h = EncodeQuarantineDbHeader(counter);
    return Bytes(h.begin(), h.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Item(std::int32_t id, std::int32_t pest, const std::string& location,
           const std::string& container) {
    return *EncodeQuarantineRecord({id, pest, location, container});
}

std::vector<QuarantineRecord> ReadAllItems(const std::string& path, bool listed) {
    QuarantineItemDb db;
    EXPECT_EQ(db.Open(path, QuarantineDbFile::Purpose::kList), QuarantineDbError::kNone);
    std::vector<QuarantineRecord> records;
    while (auto record = listed ? db.NextListed() : db.NextRecord())
        records.push_back(*record);
    return records;
}

TEST(QuarantineDb, NewFileGetsAFreshHeaderOfThirtyTwoBytes) {
    ScratchDir dir;
    for (const char* name : {kQuarantineItemDbName, kQuarantineSessionDbName}) {
        QuarantineItemDb db;
        ASSERT_EQ(db.Open(dir.File(name), QuarantineDbFile::Purpose::kUpdate),
                  QuarantineDbError::kNone);
        EXPECT_EQ(db.Counter(), 0u);
        Bytes expected{0x44, 0x51, 0x5A, 0x51};
        expected.resize(32, 0);
        EXPECT_EQ(ReadFileBytes(dir.File(name)), expected) << name;
    }
}

TEST(QuarantineDb, ItemsGetIdsInOrderAndLeaveTheListWithTheirContainer) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineItemDbName);
    std::vector<std::string> containers;
    {
        QuarantineItemDb db;
        ASSERT_EQ(db.Open(path, QuarantineDbFile::Purpose::kUpdate), QuarantineDbError::kNone);
        for (int i = 1; i <= 3; ++i) {
            containers.push_back(dir.Write("qzq" + std::to_string(i) + ".tmp", "x"));
            std::int32_t id = 0;
            ASSERT_EQ(db.Append(100 + i, "File \"C:\\p" + std::to_string(i) + ".exe\"",
                                containers.back(), id),
                      QuarantineDbError::kNone);
            EXPECT_EQ(id, i);
        }
        EXPECT_EQ(db.Counter(), 3u);
    }
    const auto bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes[4], 3);  // the counter on disk

    std::filesystem::remove(containers[1]);
    EXPECT_EQ(ReadAllItems(path, false).size(), 3u);
    const auto listed = ReadAllItems(path, true);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], (QuarantineRecord{1, 101, "File \"C:\\p1.exe\"", containers[0]}));
    EXPECT_EQ(listed[1].record_id, 3);
}

TEST(QuarantineDb, RecordLayoutIsHeadLocationAndContainerEachWithItsNul) {
    const auto bytes = Item(7, -2, "ab", "C:\\q");
    const Bytes expected{7, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 3,   0,    0,   0,
                         5, 0, 0, 0, 'a',  'b',  0,    'C',  ':', '\\', 'q', 0};
    EXPECT_EQ(bytes, expected);
    const auto session = *EncodeSessionRecord({-1971069065, 0, 0, "C:\\Q\\s.zip"});
    ASSERT_EQ(session.size(), 16u + 10u + 2u);
    EXPECT_EQ(session[12], 12);  // N = path length + 2
    EXPECT_EQ(session[session.size() - 1], 0);
    EXPECT_EQ(session[session.size() - 2], 0);
}

TEST(QuarantineDb, SessionIdReadsLikeAtolOnA32BitLong) {
    const struct {
        const char* name;
        std::int32_t id;
    } cases[] = {
        {"20051231235959", -1971069065},  // 20051231235959 mod 2^32 = 2323898231
        {"20051231120000", -1971185024},
        {"  \t42abc", 42},
        {"-7", -7},
        {"+12", 12},
        {"", 0},
        {"x1", 0},
        {"4294967296", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SessionIdFromName(c.name), c.id) << c.name;
}

TEST(QuarantineDb, SecondAppendOfASessionWritesNoSecondRecord) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineSessionDbName);
    const auto zip = dir.Write("20051231120000.zip", "zip");
    QuarantineSessionDb db;
    ASSERT_EQ(db.Open(path, QuarantineDbFile::Purpose::kUpdate), QuarantineDbError::kNone);
    bool appended = false;
    ASSERT_EQ(db.Append("20051231120000", zip, appended), QuarantineDbError::kNone);
    EXPECT_TRUE(appended);
    ASSERT_EQ(db.Append("20051231120000", zip, appended), QuarantineDbError::kNone);
    EXPECT_FALSE(appended);
    EXPECT_EQ(db.Counter(), 1u);
    EXPECT_EQ(ReadFileBytes(path),
              Concat({Header(1), *EncodeSessionRecord({-1971185024, 0, 0, zip})}));
}

TEST(QuarantineDb, CompactionKeepsSessionsWhoseArchiveExistsAndCountsThem) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineSessionDbName);
    const auto a = dir.Write("1.zip", "a");
    const auto c = dir.Write("3.zip", "c");
    // A stale counter and reserved words that the rewrite clears.
    dir.Write(kQuarantineSessionDbName, Concat({Header(9), *EncodeSessionRecord({1, 5, 6, a}),
                                                *EncodeSessionRecord({2, 0, 0, dir.File("2.zip")}),
                                                *EncodeSessionRecord({3, 0, 0, c})}));
    ASSERT_EQ(CompactSessionDb(path), QuarantineDbError::kNone);
    EXPECT_EQ(ReadFileBytes(path), Concat({Header(2), *EncodeSessionRecord({1, 0, 0, a}),
                                           *EncodeSessionRecord({3, 0, 0, c})}));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(QuarantineDb, CompactionLeavesADamagedFileAsItIs) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineSessionDbName);
    const auto zip = dir.Write("1.zip", "a");
    const auto damaged =
        Concat({Header(2), *EncodeSessionRecord({1, 0, 0, zip}),
                Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xFF, 0xFF, 0, 0, 'z'}});
    dir.Write(kQuarantineSessionDbName, damaged);
    EXPECT_EQ(CompactSessionDb(path), QuarantineDbError::kDamaged);
    EXPECT_EQ(ReadFileBytes(path), damaged);
}

// What a damaged session database still tells, for the repair that rewrites
// it: the whole records before the damage, and that there was damage.
TEST(QuarantineDb, SessionScanKeepsTheRecordsBeforeAnyDamage) {
    const auto a = *EncodeSessionRecord({1, 0, 0, "C:\\Q\\1.zip"});
    const auto b = *EncodeSessionRecord({2, 0, 0, "C:\\Q\\2.zip"});
    const auto whole = Concat({Header(2), a, b});
    Bytes huge_length = b;
    huge_length[12] = 0xFF;
    huge_length[13] = 0xFF;
    huge_length[14] = 0xFF;
    huge_length[15] = 0x7F;
    Bytes flipped = whole;
    flipped[32 + 16 + 3] ^= 0x55;  // inside the first path: still a record
    const struct {
        const char* what;
        Bytes bytes;
        std::size_t records;
        bool damaged;
    } cases[] = {
        {"whole", whole, 2, false},
        {"no records", Header(0), 0, false},
        {"cut inside a record", Bytes(whole.begin(), whole.end() - 5), 1, true},
        {"cut inside a record's head", Bytes(whole.begin(), whole.begin() + 32 + a.size() + 9), 1,
         true},
        {"cut inside the header", Bytes(whole.begin(), whole.begin() + 20), 0, true},
        {"a huge path length", Concat({Header(2), a, huge_length}), 1, true},
        {"flipped bytes in a path", flipped, 2, false},
        {"garbage", Bytes(200, 0xA5), 0, true},
        {"zero length", Bytes{}, 0, true},
        {"zeros after the records", Concat({whole, Bytes(30, 0)}), 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryRecordSource source(c.bytes);
        const auto scan = ScanSessionDb(source);
        EXPECT_FALSE(scan.read_error);
        EXPECT_EQ(scan.records.size(), c.records);
        EXPECT_EQ(scan.damaged, c.damaged);
        if (c.records > 0)
            EXPECT_EQ(scan.records[0].session_id, 1);
    }
}

TEST(QuarantineDb, RewritingTheSessionDatabaseWritesItWhole) {
    ScratchDir dir;
    const auto path = dir.Write(kQuarantineSessionDbName, Bytes(77, 0xA5));
    const std::vector<SessionRecord> records = {{5, 7, 8, "C:\\Q\\5.zip"},
                                                {6, 0, 0, "C:\\Q\\6.zip"}};
    ASSERT_EQ(RewriteSessionDb(path, records), QuarantineDbError::kNone);
    const auto expected = Concat({Header(2), *EncodeSessionRecord({5, 0, 0, records[0].path}),
                                  *EncodeSessionRecord(records[1])});
    EXPECT_EQ(ReadFileBytes(path), expected);
    // A record the model cannot hold leaves the file as it was.
    const std::vector<SessionRecord> too_long = {{1, 0, 0, std::string(300, 'x')}};
    EXPECT_EQ(RewriteSessionDb(path, too_long), QuarantineDbError::kTooLong);
    EXPECT_EQ(ReadFileBytes(path), expected);
}

// A crash during an append leaves part of a record, or zeros, after the last
// whole record. Readers stop there; the next append writes over it.
TEST(QuarantineDb, AppendWritesOverATornTail) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineItemDbName);
    const auto container = dir.Write("qzq1.tmp", "x");
    const auto first = Item(1, 5, "File \"a\"", container);
    const auto torn_record = Item(2, 6, "File \"b\"", container);
    const Bytes tails[] = {
        Bytes(torn_record.begin(), torn_record.begin() + 20),  // inside the body
        Bytes(torn_record.begin(), torn_record.begin() + 7),   // inside the head
        Bytes(40, 0),                                          // zeros
    };
    for (const auto& tail : tails) {
        dir.Write(kQuarantineItemDbName, Concat({Header(2), first, tail}));
        EXPECT_EQ(ReadAllItems(path, false).size(), 1u);
        QuarantineItemDb db;
        ASSERT_EQ(db.Open(path, QuarantineDbFile::Purpose::kUpdate), QuarantineDbError::kNone);
        std::int32_t id = 0;
        ASSERT_EQ(db.Append(7, "File \"c\"", container, id), QuarantineDbError::kNone);
        EXPECT_EQ(id, 3);  // the counter said 2 had been given out
        EXPECT_EQ(ReadFileBytes(path),
                  Concat({Header(3), first, Item(3, 7, "File \"c\"", container)}));
    }
}

TEST(QuarantineDb, AppendRefusesAFileWithForeignBytesAndLeavesItAlone) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineItemDbName);
    const auto damaged =
        Concat({Header(1), Item(1, 5, "a", "b"), Bytes(16, 0xEE), Item(2, 5, "c", "d")});
    dir.Write(kQuarantineItemDbName, damaged);
    QuarantineItemDb db;
    ASSERT_EQ(db.Open(path, QuarantineDbFile::Purpose::kUpdate), QuarantineDbError::kNone);
    std::int32_t id = 0;
    EXPECT_EQ(db.Append(1, "x", "y", id), QuarantineDbError::kDamaged);
    db.Close();
    EXPECT_EQ(ReadFileBytes(path), damaged);
}

TEST(QuarantineDb, NextIdIsAboveEveryIdInTheFileEvenWithAStaleCounter) {
    ScratchDir dir;
    const auto path = dir.File(kQuarantineItemDbName);
    // A crash after a record was written but before the header named it.
    dir.Write(kQuarantineItemDbName,
              Concat({Header(1), Item(1, 5, "a", "b"), Item(2, 5, "c", "d")}));
    QuarantineItemDb db;
    ASSERT_EQ(db.Open(path, QuarantineDbFile::Purpose::kUpdate), QuarantineDbError::kNone);
    std::int32_t id = 0;
    ASSERT_EQ(db.Append(1, "e", "f", id), QuarantineDbError::kNone);
    EXPECT_EQ(id, 3);
}

TEST(QuarantineDb, OpenRefusesShortAndForeignHeaders) {
    ScratchDir dir;
    const auto path = dir.File("db.dat");
    QuarantineItemDb db;
    dir.Write("db.dat", Bytes{0x44, 0x51, 0x5A});
    EXPECT_EQ(db.Open(path, QuarantineDbFile::Purpose::kUpdate), QuarantineDbError::kShortHeader);
    auto foreign = Header(0);
    foreign[0] = 0x45;
    dir.Write("db.dat", foreign);
    EXPECT_EQ(db.Open(path, QuarantineDbFile::Purpose::kList), QuarantineDbError::kBadSignature);
    EXPECT_EQ(ReadFileBytes(path), foreign);  // not rewritten
    EXPECT_EQ(db.Open(dir.File("no/such/folder/db.dat"), QuarantineDbFile::Purpose::kUpdate),
              QuarantineDbError::kOpenFailed);
}

TEST(QuarantineDb, ReaderChecksEveryLengthAndTerminator) {
    auto head = [](std::uint32_t l1, std::uint32_t l2) {
        Bytes h(16, 0);
        h[0] = 1;
        for (int i = 0; i < 4; ++i) {
            h[8 + i] = static_cast<std::uint8_t>(l1 >> (8 * i));
            h[12 + i] = static_cast<std::uint8_t>(l2 >> (8 * i));
        }
        return h;
    };
    const struct {
        const char* what;
        Bytes bytes;
        RecordStatus status;
    } cases[] = {
        {"nothing", {}, RecordStatus::kEnd},
        {"half a head", Bytes(9, 1), RecordStatus::kTorn},
        {"huge location length", Concat({head(0xFFFFFFF0u, 1), Bytes(64, 0)}),
         RecordStatus::kDamaged},
        {"location one over the limit", Concat({head(4097, 1), Bytes(4098, 0)}),
         RecordStatus::kDamaged},
        {"zero lengths", Bytes(32, 0), RecordStatus::kDamaged},
        {"unterminated location", Concat({head(2, 1), Bytes{'a', 'b', 0}}), RecordStatus::kDamaged},
        {"body cut short", Concat({head(3, 3), Bytes{'a', 'b', 0, 'c'}}), RecordStatus::kTorn},
        {"longest location", Concat({head(4096, 1), Bytes(4095, 'L'), Bytes{0, 0}}),
         RecordStatus::kRecord},
    };
    for (const auto& c : cases) {
        MemoryRecordSource source(c.bytes);
        EXPECT_EQ(ReadItemRecordAt(source, 0).status, c.status) << c.what;
    }
    EXPECT_FALSE(EncodeQuarantineRecord({1, 1, std::string(4096, 'L'), "c"}));
    EXPECT_FALSE(EncodeQuarantineRecord({1, 1, std::string("a\0b", 3), "c"}));
    EXPECT_FALSE(EncodeSessionRecord({1, 0, 0, std::string(256, 'p')}));
    EXPECT_TRUE(EncodeSessionRecord({1, 0, 0, std::string(255, 'p')}));

    const Bytes session_cases[][1] = {
        {Concat({Bytes(12, 0), Bytes{0xFF, 1, 0, 0}})},
        {Concat({Bytes(12, 0), Bytes{3, 0, 0, 0}, Bytes{'a', 'b', 'c'}})}};
    for (const auto& c : session_cases) {
        MemoryRecordSource source(c[0]);
        EXPECT_EQ(ReadSessionRecordAt(source, 0).status, RecordStatus::kDamaged);
    }
}

}  // namespace
}  // namespace olvex

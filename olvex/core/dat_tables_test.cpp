// The pest tables as the definition sets the publisher makes fill them: base
// and delta blocks that add and remove, bucket counts, walk order, and every
// kind of lookup.
#include "olvex/core/dat_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "olvex/core/dat_database.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/md5.h"

namespace olvex {

namespace {

using testing::FakeSpecialFolders;
using testing::PublishSource;
using testing::ScratchDir;

// Loads a published source into a fresh database.
class PublishedSet {
  public:
    explicit PublishedSet(std::string_view source, const SpecialFolderSource* folders = nullptr)
        : database_(folders) {
        PublishSource(scratch_.path().string(), source);
        database_.SetDatFolder(scratch_.path().string());
        code_ = database_.Load();
    }
    int code() const { return code_; }
    CDatDatabase& database() { return database_; }
    std::shared_ptr<const DatTables> tables() const { return database_.Snapshot(); }

    std::vector<std::int32_t> PestIds() const {
        std::vector<std::int32_t> ids;
        for (DatCursor c = database_.FirstPest(); !c.AtEnd(); c.Advance())
            ids.push_back(c.GetPest()->pest_id);
        return ids;
    }
    std::vector<DatKeyLocation> Keys() const {
        std::vector<DatKeyLocation> keys;
        for (DatCursor c = database_.FirstKeyLocation(); !c.AtEnd(); c.Advance())
            keys.push_back(*c.GetKeyLocation());
        return keys;
    }
    std::vector<DatCookieEntry> Cookies() const {
        std::vector<DatCookieEntry> cookies;
        for (DatCursor c = database_.FirstCookie(); !c.AtEnd(); c.Advance())
            cookies.push_back(*c.GetCookie());
        return cookies;
    }
    std::vector<DatPathLocation> Paths() const {
        std::vector<DatPathLocation> paths;
        for (DatCursor c = database_.FirstPathLocation(); !c.AtEnd(); c.Advance())
            paths.push_back(*c.GetPathLocation());
        return paths;
    }

  private:
    ScratchDir scratch_;
    CDatDatabase database_;
    int code_ = -1;
};

Md5Digest Md5Of(std::string_view text) {
    Md5Digest digest{};
    CMD5Hasher().HashBuffer({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                            digest);
    return digest;
}

TEST(DatStringHash, FollowsTheDefinitionsRule) {
    EXPECT_EQ(DatStringHash("ab"), 0x7FFCF7FFu);
    // Bytes from 0x80 on count as negative numbers.
    EXPECT_EQ(DatStringHash("\xE9"), 0x7FFFFFE9u);
    EXPECT_EQ(DatStringHash(""), 0u);
    // From the first backslash, with the parity of the whole text: roots
    // whose backslash sits at an even position hash alike, an odd one not.
    const auto from_slash = [](std::string_view key) { return DatStringHash(key, key.find('\\')); };
    EXPECT_EQ(from_slash("HKEY_LOCAL_MACHINE\\Software\\X"), from_slash("HKLM\\Software\\X"));
    EXPECT_NE(from_slash("HKLM\\Software\\X"), from_slash("HKCUX\\Software\\X"));
    // The case-folded form hashes the lower-cased text.
    const MultiByteText mb = MultiByteText::SingleByte();
    EXPECT_EQ(DatFoldedStringHashContinue(0, "ADSERVER", 0, mb),
              DatStringHashContinue(0, "adserver", 0));
    // A double-byte character's trail byte is not folded, nor compared so.
    const MultiByteText sjis = MultiByteText::ForCodePage(932);
    EXPECT_EQ(DatFoldedStringHashContinue(0,
                                          "\x83"
                                          "A",
                                          0, sjis),
              DatStringHashContinue(0,
                                    "\x83"
                                    "A",
                                    0));
    EXPECT_FALSE(
        DatTextEqualsFolded("\x83"
                            "A",
                            "\x83"
                            "a",
                            sjis));
    EXPECT_TRUE(
        DatTextEqualsFolded("X\x83"
                            "A",
                            "x\x83"
                            "A",
                            sjis));
}

TEST(DatTables, DeltaBlocksAddAndRemove) {
    PublishedSet set(R"(
block 2004-03-15 09:40:00
pest 1 "Alpha" "Adware"
pest 2 "Beta" "Spyware"
pest 3 "Gamma" "Adware"
signature 1 crc 0x100 md5 0123456789abcdef0123456789abcdef
signature 2 crc 0x100
memory 1 0xAAA
key 1 "HKEY_LOCAL_MACHINE\Software\A"
key 2 "HKEY_LOCAL_MACHINE\Software\B" value "v" data "d"
cookie 1 "tracker.example"
exclude 1 "%WINDOWS%\ok.txt"
file 2 "%SYSTEM%\beta.exe"

block 2004-04-01 12:00:00
remove pest 1 "Alpha" "Adware"
remove pest 2 "Beta" "Trojan"
remove signature 2 crc 0x100
remove memory 2 0xAAA
remove key 1 "HKEY_LOCAL_MACHINE\Software\A"
cookie 1 "tracker.example"
remove cookie 1 "tracker.example"
remove cookie 3 "late.example"
pest 4 "Delta" "Dialer"

block 2004-04-02 12:00:00
remove pest 4 "Delta" "Dialer"
cookie 3 "late.example"
pest 4 "Delta" "Dialer"
)");
    ASSERT_EQ(set.code(), 0);
    auto& db = set.database();

    // Pests go in record order: a removal takes the pest with the same id,
    // name and category; one whose category differs leaves it; a removal
    // before the pest is added again removes nothing.
    EXPECT_FALSE(db.FindPest(1));
    EXPECT_EQ(db.FindPest(2), (DatPestEntry{2, "Beta", "Spyware"}));
    EXPECT_EQ(db.FindPest(4), (DatPestEntry{4, "Delta", "Dialer"}));

    // A signature removal takes only the entry with that CRC, MD5 and pest;
    // one naming another pest takes nothing.
    const auto signatures = db.FindFileSignatures(0x100);
    ASSERT_EQ(signatures.size(), 1u);
    EXPECT_EQ(signatures[0].pest_id, 1);
    EXPECT_EQ(db.FindPestByMemoryCrc(0xAAA)->pest_id, 1);

    // Locations: every addition of every block goes in before any removal.
    // So the cookie added twice and removed once stays once, and the cookie
    // removed in one block and added in the next is gone.
    EXPECT_EQ(set.Cookies(), (std::vector<DatCookieEntry>{{"tracker.example", 1}}));
    EXPECT_EQ(set.Keys(),
              (std::vector<DatKeyLocation>{{"HKEY_LOCAL_MACHINE\\Software\\B", "v", "d", 2}}));
    // "exclude" entries reach no table.
    EXPECT_EQ(set.Paths(), (std::vector<DatPathLocation>{{"%SYSTEM%\\beta.exe", 2, false}}));

    // The key table is sized by its net count: two added, one removed.
    EXPECT_EQ(set.tables()->location_tables()->keys.bucket_count(), 1u);
    EXPECT_EQ(set.tables()->location_tables()->cookies.bucket_count(), 1u);
}

TEST(DatTables, BucketCounts) {
    // The memory table gets half the first block's record count.
    PublishedSet seven(R"(
block 2004-03-15 09:40:00
pest 1 "Alpha" "Adware"
memory 1 0x1
memory 1 0x2
memory 1 0x3
signature 1 crc 0x4
signature 1 crc 0x5
signature 1 crc 0x6
signature 1 crc 0x7
)");
    ASSERT_EQ(seven.code(), 0);
    EXPECT_EQ(seven.tables()->signature_tables()->files.bucket_count(), 7u);
    EXPECT_EQ(seven.tables()->signature_tables()->memory.bucket_count(), 3u);

    // A first block of one record would give the memory table no bucket at
    // all: what later blocks add must still be found.
    PublishedSet tiny(R"(
block 2004-03-15 09:40:00
pest 1 "Alpha" "Adware"
signature 1 crc 0x10
block 2004-04-01 12:00:00
memory 1 0x20
memory 1 0x21
signature 1 crc 0x30
)");
    ASSERT_EQ(tiny.code(), 0);
    EXPECT_EQ(tiny.tables()->signature_tables()->memory.bucket_count(), 1u);
    for (const std::uint32_t crc : {0x20u, 0x21u})
        EXPECT_EQ(tiny.database().FindPestByMemoryCrc(crc)->pest_id, 1) << crc;
    EXPECT_EQ(tiny.database().FindFileSignatures(0x30).size(), 1u);

    // A location table whose removals outnumber its additions still holds
    // what stays.
    PublishedSet net_negative(R"(
block 2004-03-15 09:40:00
cookie 1 "kept.example"
block 2004-04-01 12:00:00
remove cookie 1 "never.example"
remove cookie 1 "nor.example"
)");
    ASSERT_EQ(net_negative.code(), 0);
    EXPECT_EQ(net_negative.Cookies(), (std::vector<DatCookieEntry>{{"kept.example", 1}}));

    // A small base block followed by large deltas: the table grows to one
    // bucket per entry rather than chaining everything.
    std::string source =
        "block 2004-03-15 09:40:00\npest 1 \"P1\" \"Adware\"\n"
        "block 2004-04-01 12:00:00\n";
    for (int id = 2; id <= 40; ++id)
        source += "pest " + std::to_string(id) + " \"P\" \"Adware\"\n";
    PublishedSet grown(source);
    ASSERT_EQ(grown.code(), 0);
    EXPECT_EQ(grown.tables()->pest_tables()->pests.bucket_count(), 40u);
    EXPECT_EQ(grown.PestIds().size(), 40u);
}

TEST(DatTables, WalkGoesByBucketThenChain) {
    // Three pests size the table at three buckets: ids 3, 1, 2 sit in
    // buckets 0, 1, 2. Later ids of bucket 1 go right behind its head, the
    // newest first; removing the head makes the next node the head.
    PublishedSet set(R"(
block 2004-03-15 09:40:00
pest 1 "One" "Adware"
pest 2 "Two" "Adware"
pest 3 "Three" "Adware"
block 2004-04-01 12:00:00
pest 4 "Four" "Adware"
pest 7 "Seven" "Adware"
block 2004-04-02 12:00:00
remove pest 1 "One" "Adware"
)");
    ASSERT_EQ(set.code(), 0);
    EXPECT_EQ(set.PestIds(), (std::vector<std::int32_t>{3, 7, 4, 2}));
}

TEST(DatTables, LargeSetsKeepTheChainRules) {
    // Far more additions and removals than the tables place at a time, the
    // removals in the midst of the additions: the walk must still be the
    // one a chained table gives, node by node. The model keeps each
    // bucket's chain: an addition goes into an empty bucket's head or right
    // behind the head, a removal takes the first equal entry.
    constexpr std::int32_t kBase = 1000;  // the first block's count: the bucket count
    std::vector<std::vector<std::int32_t>> chains(kBase);
    std::string source = "block 2004-03-15 09:40:00\n";
    const auto pest_text = [](std::int32_t id) {
        return std::to_string(id) + " \"P" + std::to_string(id) + "\" \"Adware\"\n";
    };
    const auto add = [&](std::int32_t id) {
        auto& chain = chains[id % kBase];
        chain.insert(chain.empty() ? chain.end() : chain.begin() + 1, id);
        source += "pest " + pest_text(id);
    };
    const auto remove = [&](std::int32_t id) {
        auto& chain = chains[id % kBase];
        if (const auto gone = std::find(chain.begin(), chain.end(), id); gone != chain.end())
            chain.erase(gone);
        source += "remove pest " + pest_text(id);
    };
    for (std::int32_t id = 1; id <= kBase; ++id)
        add(id);
    std::mt19937 random(11);
    std::int32_t next_id = kBase + 1;
    for (int block = 0; block < 3; ++block) {
        source += "block 2004-04-0" + std::to_string(block + 1) + " 12:00:00\n";
        for (int op = 0; op < 700; ++op) {
            const std::int32_t old_id = 1 + static_cast<std::int32_t>(random() % (next_id - 1));
            switch (random() % 3) {
                case 0:
                    add(next_id++);
                    break;
                case 1:
                    add(old_id);  // a second entry of an id, or one removed before
                    break;
                default:
                    remove(old_id);  // removes nothing when the id is gone
                    break;
            }
        }
    }
    PublishedSet set(source);
    ASSERT_EQ(set.code(), 0);
    ASSERT_EQ(set.tables()->pest_tables()->pests.bucket_count(), static_cast<std::uint32_t>(kBase));
    std::vector<std::int32_t> expected;
    for (const auto& chain : chains)
        expected.insert(expected.end(), chain.begin(), chain.end());
    EXPECT_EQ(set.PestIds(), expected);
}

TEST(DatTables, LookupsOfEveryKind) {
    const FakeSpecialFolders machine = FakeSpecialFolders::Xp();
    const Md5Digest hello = Md5Of("hello");
    PublishedSet set(R"(
block 2004-03-15 09:40:00
pest 10 "Ten" "Adware"
pest 11 "Eleven" "Spyware"
pest 12 "Twelve" "Dialer"
signature 10 crc 0x1111
signature 12 crc 0x2222 md5 00112233445566778899aabbccddeeff
signature 11 crc 0x2222 md5 5d41402abc4b2a76b9719d911017c592
memory 12 0x3333
signature 99 crc 0x4444
cookie 10 "adserver.example"
file 11 "%SYSTEM%\FOO.EXE"
folder 12 "%PROFILE%\Start Menu\Programs\Startup\evil"
key 10 "HKEY_LOCAL_MACHINE\Software\Evil" value "Run" data "x.exe"
key 11 "HKEY_LOCAL_MACHINE\Software\Evil"
)",
                     &machine);
    ASSERT_EQ(set.code(), 0);
    auto& db = set.database();

    struct Case {
        const char* what;
        std::optional<DatPestEntry> found;
        std::int32_t expected;  // -1: nothing
    };
    int md5_asked = 0;
    const auto file_md5 = [&](std::optional<Md5Digest> digest) {
        return [&md5_asked, digest]() -> std::optional<Md5Digest> {
            ++md5_asked;
            return digest;
        };
    };
    const Case cases[] = {
        {"pest by id", db.FindPest(11), 11},
        {"pest by unknown id", db.FindPest(13), -1},
        {"head CRC with an all-zero MD5", db.MatchFileSignature(0x1111, file_md5({})), 10},
        {"head CRC and MD5", db.MatchFileSignature(0x2222, file_md5(hello)), 11},
        {"head CRC, MD5 differs", db.MatchFileSignature(0x2222, file_md5(Md5Of("x"))), -1},
        {"head CRC, file unreadable", db.MatchFileSignature(0x2222, file_md5({})), -1},
        {"unknown head CRC", db.MatchFileSignature(0x5555, file_md5(hello)), -1},
        {"orphan signature", db.MatchFileSignature(0x4444, file_md5({})), 99},
        {"memory CRC", db.FindPestByMemoryCrc(0x3333), 12},
        {"unknown memory CRC", db.FindPestByMemoryCrc(0x1111), -1},
        {"cookie in another case", db.FindCookie("ADSERVER.Example"), 10},
        {"unknown cookie", db.FindCookie("adserver"), -1},
        {"path under the system folder", db.FindPathLocation("C:\\WINDOWS\\SYSTEM32\\foo.exe"), 11},
        {"path in the user's startup folder",
         db.FindPathLocation(
             "c:\\documents and settings\\BOB\\start menu\\programs\\startup\\EVIL"),
         12},
        {"path elsewhere", db.FindPathLocation("C:\\WINDOWS\\foo.exe"), -1},
        {"path without a backslash", db.FindPathLocation("foo.exe"), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.found ? c.found->pest_id : -1, c.expected);
    }
    // Whatever the number of candidates, the file's MD5 was asked for once
    // per match that needed it: three matches on 0x2222 with two candidates
    // each, and none for the others.
    EXPECT_EQ(md5_asked, 3);
    // A lookup copies out the pest; an orphan keeps its id with no name.
    EXPECT_EQ(db.FindPathLocation("c:\\windows\\system32\\FOO.exe"),
              (DatPestEntry{11, "Eleven", "Spyware"}));
    EXPECT_EQ(db.MatchFileSignature(0x4444, {}), (DatPestEntry{99, "", ""}));

    // Registry entries by key and value, in any case.
    const auto value = db.FindKeyLocation("hkey_local_machine\\SOFTWARE\\evil", "run");
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, (DatKeyLocation{"HKEY_LOCAL_MACHINE\\Software\\Evil", "Run", "x.exe", 10}));
    EXPECT_EQ(db.FindKeyLocation("HKEY_LOCAL_MACHINE\\Software\\Evil", "")->pest_id, 11);
    EXPECT_FALSE(db.FindKeyLocation("HKEY_LOCAL_MACHINE\\Software\\Evil", "Other"));
    EXPECT_FALSE(db.FindKeyLocation("no backslash", ""));
}

TEST(DatTables, MalformedMd5NeverMatches) {
    ScratchDir scratch;
    auto parsed = tools::ParseDefinitionSource(R"(
block 2004-03-15 09:40:00
pest 1 "One" "Adware"
pest 2 "Two" "Adware"
signature 2 crc 0x77
)",
                                               scratch.path().string(), "test");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    // In front of the good one in its chain: a record whose variable part
    // is too short to hold an MD5.
    SignatureRecord malformed{1, 0x77, 0, {}, "", true};
    auto& signatures = parsed.set.blocks[0].signatures;
    signatures.insert(signatures.begin(), malformed);
    testing::PublishSet(scratch.path().string(), parsed.set);

    CDatDatabase db;
    db.SetDatFolder(scratch.path().string());
    ASSERT_EQ(db.Load(), 0);
    const auto candidates = db.FindFileSignatures(0x77);
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0].pest_id, 1);
    EXPECT_TRUE(candidates[0].md5_malformed);
    // Its zeroed MD5 would match any file with that head: it must not.
    const auto found = db.MatchFileSignature(0x77, [] { return std::optional(Md5Digest{}); });
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pest_id, 2);
}

TEST(DatKeyFilter, NeverTurnsAwayAKeyItHolds) {
    std::mt19937 random(3);
    std::vector<std::uint32_t> keys(10000);
    for (auto& key : keys)
        key = static_cast<std::uint32_t>(random()) & 0x7FFFFFFF;
    const DatKeyFilter filter(keys);
    for (const std::uint32_t key : keys)
        ASSERT_TRUE(filter.MayHold(key)) << key;
    // Most other keys are turned away.
    int passed = 0;
    for (int i = 0; i < 100000; ++i)
        passed += filter.MayHold(static_cast<std::uint32_t>(random()) & 0x7FFFFFFF);
    EXPECT_LT(passed, 20000);
    // Built from no keys it holds nothing; without one, anything may be there.
    EXPECT_FALSE(DatKeyFilter(std::span<const std::uint32_t>()).MayHold(keys[0]));
    EXPECT_TRUE(DatKeyFilter().MayHold(keys[0]));
}

}  // namespace
}  // namespace olvex

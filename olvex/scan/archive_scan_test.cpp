// The archive scan over archives assembled field by field: the Part's edge
// cases as one table, then hostile archives (bombs, overlaps, damage) that
// must end within the budget with no finding and no temporary file left.
#include "olvex/scan/archive_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "olvex/core/crc32.h"
#include "olvex/core/md5.h"
#include "olvex/scan/scan_test_support.h"
#include "olvex/zip/zip_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using scan_test::Content;
using scan_test::HeadCrc;
using scan_test::Hex32;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using zip_test::BuildArchive;
using zip_test::Deflated;
using zip_test::RawEntry;
using zip_test::Stored;

using Bytes = std::vector<std::uint8_t>;

std::string Md5Hex(const Bytes& bytes) {
    Md5Digest digest{};
    CMD5Hasher().HashBuffer(bytes, digest);
    return DigestToHex(digest);
}

// Two pests: 1001 known by its head CRC alone, 1002 by head CRC and MD5.
const Bytes& CrcPest() {
    static const Bytes bytes = Content(1, 3000);
    return bytes;
}
const Bytes& Md5Pest() {
    static const Bytes bytes = Content(2, 5000);
    return bytes;
}
// The same head as the MD5 pest, another tail: not that pest.
Bytes Md5PestLookalike() {
    Bytes bytes = Md5Pest();
    bytes[4000] ^= 0xFF;
    return bytes;
}

std::string Definitions() {
    return "block 2004-03-15 09:40:00\n"
           "pest 1001 \"Crc.Only\" \"Adware\"\n"
           "pest 1002 \"Crc.Md5\" \"Spyware\"\n"
           "signature 1001 crc " +
           Hex32(HeadCrc(CrcPest())) +
           "\n"
           "signature 1002 crc " +
           Hex32(HeadCrc(Md5Pest())) + " md5 " + Md5Hex(Md5Pest()) + "\n";
}

Bytes Zip(const std::vector<RawEntry>& entries) {
    return BuildArchive(entries);
}

// An archive nested count deep: level 1 holds "l2.zip", ..., the last
// holds the CRC pest as x.exe.
Bytes Nested(int count) {
    Bytes inner = Zip({Deflated("x.exe", CrcPest())});
    for (int level = count - 1; level >= 1; --level)
        inner = Zip({Stored("l" + std::to_string(level + 1) + ".zip", inner)});
    return inner;
}

// Temporary files as the portable environment makes them; the budgets it is
// told of, one line each.
class RecordingEnvironment final : public FolderArchiveEnvironment {
  public:
    using FolderArchiveEnvironment::FolderArchiveEnvironment;
    void BudgetReached(const std::string& display_name, const std::string& limit) override {
        budgets.push_back(display_name + ": " + limit);
    }
    std::vector<std::string> budgets;
};

class ArchiveScanTest : public ::testing::Test {
  protected:
    ArchiveScanTest()
        : temporary_(scratch_.path() / "tmp"),
          environment_(temporary_.string(), '/'),
          filters_(MultiByteText::SingleByte()) {
        std::filesystem::create_directories(temporary_);
        database_ = scan_test::LoadDefinitions((scratch_.path() / "defs").string(), Definitions());
        filters_.Parse("*.*");
    }

    struct Result {
        std::vector<ArchiveFinding> findings;
        ArchiveScanUsage usage;
    };

    Result Scan(const Bytes& archive, bool deep, ArchiveScanLimits limits = {}) {
        const std::string path = scratch_.Write("a.zip", archive);
        ScanReporter reporter(&events_, nullptr, detected_);
        const ArchiveScanSettings settings{&filters_, deep, "Confirmed", limits};
        ArchiveScanner scanner(reporter, *database_, settings, environment_,
                               MultiByteText::SingleByte());
        Result result;
        scanner.Scan(path, path, result.findings);
        result.usage = scanner.usage();
        // Nothing of this scan stays in the temporary folder.
        EXPECT_TRUE(std::filesystem::is_empty(temporary_));
        return result;
    }

    std::string At(const std::string& inside) const {
        return "File \"" + scratch_.File("a.zip") + "|" + inside + "\" Certainty \"Confirmed\"";
    }

    testing::ScratchDir scratch_;
    std::filesystem::path temporary_;
    RecordingEnvironment environment_;
    ScanFilterList filters_;
    std::unique_ptr<CDatDatabase> database_;
    RecordingEvents events_;
    DetectedItems detected_;
};

TEST_F(ArchiveScanTest, EdgeCases) {
    std::vector<RawEntry> six_hundred;
    for (int i = 0; i < 600; ++i) {
        const bool pest = i == 500 || i == 501;
        six_hundred.push_back(
            Stored("e" + std::to_string(i) + ".exe", pest ? CrcPest() : zip_test::Bytes("x")));
    }
    const Bytes lookalike = Md5PestLookalike();
    struct Case {
        const char* what;
        Bytes archive;
        bool deep;
        std::vector<std::pair<std::string, std::int32_t>> found;  // inside, pest id
        int archives_opened;
    };
    const Case cases[] = {
        {"head CRC alone", Zip({Deflated("x.exe", CrcPest())}), false, {{"x.exe", 1001}}, 1},
        {"head CRC and MD5",
         Zip({Stored("dir/y.dll", Md5Pest())}),
         false,
         {{"dir/y.dll", 1002}},
         1},
        {"same head, other MD5", Zip({Deflated("y.dll", lookalike)}), false, {}, 1},
        {"the first 501 entries only", Zip(six_hundred), false, {{"e500.exe", 1001}}, 1},
        {"deep scan off leaves inner archives shut",
         Zip({Stored("in.zip", Zip({Deflated("x.exe", CrcPest())}))}),
         false,
         {},
         1},
        {"deep scan on opens them",
         Zip({Stored("in.zip", Zip({Deflated("x.exe", CrcPest())}))}),
         true,
         {{"in.zip|x.exe", 1001}},
         2},
        {"any name holding ZIP is tried",
         Zip({Deflated("MYZIPFILE.DAT", Zip({Stored("x.exe", CrcPest())}))}),
         true,
         {{"MYZIPFILE.DAT|x.exe", 1001}},
         2},
        {"eleven of twelve nested archives are opened", Nested(12), true, {}, 11},
        {"eleven nested: the innermost pest is found",
         Nested(11),
         true,
         {{"l2.zip|l3.zip|l4.zip|l5.zip|l6.zip|l7.zip|l8.zip|l9.zip|l10.zip|l11.zip|x.exe", 1001}},
         11},
        {"a name no location can carry is passed over",
         Zip({Stored("a\"b.exe", CrcPest()), Stored("c\x01.exe", CrcPest())}),
         false,
         {},
         1},
        {"encrypted entries are passed over",
         [] {
             RawEntry e = Stored("x.exe", CrcPest());
             e.flags |= 1;
             return Zip({e});
         }(),
         false,
         {},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = Scan(c.archive, c.deep);
        std::vector<ArchiveFinding> expected;
        for (const auto& [inside, id] : c.found)
            expected.push_back({At(inside), id});
        EXPECT_EQ(result.findings, expected);
        EXPECT_EQ(result.usage.archives_opened, static_cast<std::uint64_t>(c.archives_opened));
    }
}

TEST_F(ArchiveScanTest, EventsFilterAndStop) {
    const Bytes archive = Zip({Stored("x.exe", CrcPest()), Stored("y.dll", CrcPest()),
                               Stored("in.zip", Zip({Stored("z.exe", CrcPest())}))});
    filters_.Parse("*.EXE;*.ZIP");
    const Result result = Scan(archive, true);
    EXPECT_EQ(result.findings,
              (std::vector<ArchiveFinding>{{At("x.exe"), 1001}, {At("in.zip|z.exe"), 1001}}));
    const std::string outer = "Scanning inside Zip \"" + scratch_.File("a.zip") + "\"";
    const std::string inner = "Scanning inside Zip \"" + scratch_.File("a.zip") + "|in.zip\"";
    EXPECT_THAT(events_.lines,
                ElementsAre("StartingItem " + outer, "ShouldScanContinue", "ShouldScanContinue",
                            "ShouldScanContinue", "StartingItem " + inner, "ShouldScanContinue",
                            "FinishedItem " + inner, "FinishedItem " + outer));

    // A stop ends the entry loop and still closes the archive's pair.
    events_ = RecordingEvents();
    events_.should_continue = [](int question) { return question < 2; };
    EXPECT_THAT(Scan(archive, false).findings, ElementsAre(ArchiveFinding{At("x.exe"), 1001}));
    EXPECT_THAT(events_.lines, ElementsAre("StartingItem " + outer, "ShouldScanContinue",
                                           "ShouldScanContinue", "FinishedItem " + outer));
}

// A budget that cuts a scan short keeps the scan within it and says so,
// once: a verbose notice naming the archive and the limit, and the same to
// the environment (the engine log). Each archive holds its pest behind the
// cut, where the scan cannot see it.
TEST_F(ArchiveScanTest, ABudgetThatCutsAScanShortSaysSo) {
    const Bytes harmless = Content(7, 3000);
    std::vector<RawEntry> inner_archives;
    for (int i = 1; i <= 5; ++i) {
        const Bytes& inside = i == 5 ? CrcPest() : harmless;
        inner_archives.push_back(
            Stored("in" + std::to_string(i) + ".zip", Zip({Stored("x.exe", inside)})));
    }
    std::vector<RawEntry> entries;
    for (int i = 1; i <= 6; ++i)
        entries.push_back(Stored("e" + std::to_string(i) + ".exe", i == 6 ? CrcPest() : harmless));
    const std::string top = scratch_.File("a.zip");
    struct Case {
        const char* what;
        Bytes archive;
        ArchiveScanLimits limits;
        std::string cut;    // display name of the archive the budget cut
        std::string limit;  // the budget's limit
    };
    ArchiveScanLimits archives, total_entries, bytes;
    archives.max_archives = 3;  // the top one and two inner ones
    total_entries.max_total_entries = 4;
    bytes.max_total_bytes = 4 * 2047 + 100;  // the heads of four entries
    const Case cases[] = {
        {"archives", Zip(inner_archives), archives, top + "|in3.zip", "3 archives"},
        {"entries", Zip(entries), total_entries, top, "4 entries"},
        {"bytes", Zip(entries), bytes, top, "8288 bytes"},
        {"none reached", Zip(entries), {}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        events_ = RecordingEvents();
        environment_.budgets.clear();
        const Result result = Scan(c.archive, true, c.limits);
        EXPECT_EQ(result.findings.empty(), !c.cut.empty());
        std::vector<std::string> notices;
        for (const auto& line : events_.lines) {
            if (line.starts_with("VerboseInformation "))
                notices.push_back(line);
        }
        if (c.cut.empty()) {
            EXPECT_THAT(notices, IsEmpty());
            EXPECT_THAT(environment_.budgets, IsEmpty());
            continue;
        }
        EXPECT_THAT(notices, ElementsAre("VerboseInformation The scan of Zip \"" + c.cut +
                                         "\" was cut short: it reached the limit of " + c.limit +
                                         " per scan."));
        EXPECT_THAT(environment_.budgets, ElementsAre(c.cut + ": " + c.limit));
        EXPECT_LE(result.usage.archives_opened, c.limits.max_archives);
        EXPECT_LE(result.usage.entries, c.limits.max_total_entries);
        EXPECT_LE(result.usage.bytes, c.limits.max_total_bytes);
    }
}

// Hostile archives, each of which would cost far more than the budget
// without it. The limits are the real ones scaled down, so the sanitized
// build runs them quickly; the Windows tests run them at full size.
TEST_F(ArchiveScanTest, HostileArchivesEndWithinTheBudget) {
    ArchiveScanLimits limits;
    limits.max_entry_bytes = 4u << 20;
    limits.max_total_bytes = 16u << 20;
    limits.max_total_entries = 2000;
    limits.max_archives = 64;
    // 64 MiB of zeros deflate to 64 KiB.
    RawEntry honest_bomb = Deflated("x.exe", Bytes(64u << 20, 0));
    // The bomb's data under a small declared size: inflation stops there.
    RawEntry lying_bomb = honest_bomb;
    lying_bomb.uncompressed = 3000;
    // Many entries just under the entry limit whose head is a pest's, each
    // needing its MD5: only the byte budget's worth is inflated.
    Bytes md5_bait = Md5Pest();
    md5_bait.resize(limits.max_entry_bytes, 0);
    std::vector<RawEntry> baits;
    const RawEntry bait = Deflated("b.exe", md5_bait);
    for (int i = 0; i < 40; ++i) {
        baits.push_back(bait);
        baits.back().name = "b" + std::to_string(i) + ".exe";
    }
    // Archives of archives of archives: the entry and archive budgets end it.
    std::vector<RawEntry> leaves;
    for (int i = 0; i < 501; ++i)
        leaves.push_back(Stored("l" + std::to_string(i) + ".zip", Zip({Stored("e", Bytes{})})));
    const Bytes level2 = Zip(leaves);
    std::vector<RawEntry> branches;
    for (int i = 0; i < 20; ++i)
        branches.push_back(Stored("b" + std::to_string(i) + ".zip", level2));
    // Two entries sharing their data.
    RawEntry first = Stored("x.exe", CrcPest());
    RawEntry second = first;
    second.name = "y.exe";
    second.write_local = false;
    second.offset = 0;
    Bytes truncated = Zip({Deflated("x.exe", CrcPest())});
    truncated.resize(truncated.size() / 2);
    Bytes garbage = Content(9, 4096);
    garbage[0] = 'P';
    garbage[1] = 'K';

    struct Case {
        const char* what;
        Bytes archive;
    };
    const Case cases[] = {
        {"bomb with honest sizes", Zip({honest_bomb})},
        {"bomb with lying sizes", Zip({lying_bomb})},
        {"entries that all need their MD5", Zip(baits)},
        {"archives of archives", Zip(branches)},
        {"overlapping entries", Zip({first, second})},
        {"truncated", truncated},
        {"garbage after PK", garbage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = Scan(c.archive, true, limits);
        EXPECT_THAT(result.findings, IsEmpty());
        EXPECT_LE(result.usage.bytes, limits.max_total_bytes);
        EXPECT_LE(result.usage.entries, limits.max_total_entries);
        EXPECT_LE(result.usage.archives_opened, limits.max_archives);
        EXPECT_LE(result.usage.deepest, limits.nesting_limit + 1);
    }
}

TEST(ArchiveEnvironmentTest, TemporaryNamesAreFreshAndNamesBecomeUtf8) {
    FolderArchiveEnvironment environment("/t", '/');
    const std::string a = environment.TemporaryFilePath(0);
    const std::string b = environment.TemporaryFilePath(0);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.starts_with("/t/olvex-")) << a;
    EXPECT_TRUE(FolderArchiveEnvironment("", '/').TemporaryFilePath(0).empty());
    ZipEntryInfo entry;
    entry.name = "\x81.exe";  // u with diaeresis in code page 437
    EXPECT_EQ(environment.EntryNameText(entry), "\xC3\xBC.exe");
    entry.utf8 = true;
    entry.name = "\xC3\xBC.exe";
    EXPECT_EQ(environment.EntryNameText(entry), "\xC3\xBC.exe");
}

}  // namespace
}  // namespace olvex

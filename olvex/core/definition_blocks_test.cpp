#include "olvex/core/definition_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "olvex/core/definition_records.h"
#include "olvex/core/file_io.h"
#include "olvex/core/little_endian.h"
#include "olvex/core/scrambler.h"
#include "testing/scratch_dir.h"
#include "tools/jc/jc_encoder.h"
#include "tools/publisher/definition_writer.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using tools::BlockPayload;
using tools::Corruption;
using tools::DefinitionFileKind;

constexpr std::uint64_t kMarch15 = 127238172000000000ull;  // 2004-03-15 09:40:00

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 7 == 0 ? rng() : 'a' + i % 5);
    return bytes;
}

// Three blocks with payloads and, second, a bare header.
std::vector<BlockPayload> BlocksWithABareOne() {
    return {{kMarch15, 11, Pattern(3000, 1)},
            {kMarch15 + 1, 0, {}},
            {kMarch15 + 2, 22, Pattern(1, 2)},
            {kMarch15 + 3, 33, Pattern(700, 3)}};
}

std::vector<std::uint8_t> Build(DefinitionFileKind kind, const tools::WriteOptions& options = {},
                                const std::vector<BlockPayload>& blocks = BlocksWithABareOne()) {
    auto built = tools::BuildBlockFile(blocks, kind, options);
    EXPECT_TRUE(built.ok()) << built.error;
    return built.bytes;
}

// The two ways of reading a file: block by block, and the first block
// decoded on a thread of its own beside the others (what large files get).
struct ReadMode {
    const char* name;
    BlockReadLimits limits;
};
const ReadMode kReadModes[] = {{"one by one", {kMaxUnpackedBlockBytes, kMaxUnpackedBlockBytes}},
                               {"first beside the others", {kMaxUnpackedBlockBytes, 1}}};

std::vector<std::uint8_t> Header(const DefinitionBlockHeader& header) {
    const auto bytes = SerializeBlockHeader(header);
    return {bytes.begin(), bytes.end()};
}

TEST(DefinitionBlockHeader, LittleEndianFieldsAtTheirOffsets) {
    DefinitionBlockHeader header;
    header.check_value = 0x11223344;
    header.payload_length = -2;
    header.block_time = 0x0102030405060708ull;
    header.compatibility_date = kLocationsCompatibilityDate;
    header.record_count = 0xA0B0C0D0;
    const auto bytes = SerializeBlockHeader(header);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "PEST");
    EXPECT_EQ(bytes[4], 0x44);
    EXPECT_EQ(bytes[8], 0xFE);
    EXPECT_EQ(bytes[11], 0xFF);
    EXPECT_EQ(bytes[12], 0x08);
    EXPECT_EQ(bytes[19], 0x01);
    EXPECT_EQ(*LoadLe64(bytes, 20), 0x01C3346365278000ull);
    EXPECT_EQ(bytes[32], 0xD0);
    for (std::size_t i : {28u, 29u, 30u, 31u, 36u, 300u, 511u})
        EXPECT_EQ(bytes[i], 0) << i;

    const auto parsed = ParseBlockHeader(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->magic, kDefinitionMagic);
    EXPECT_EQ(parsed->check_value, 0x11223344u);
    EXPECT_EQ(parsed->payload_length, -2);
    EXPECT_EQ(parsed->block_time, 0x0102030405060708ull);
    EXPECT_EQ(parsed->compatibility_date, kLocationsCompatibilityDate);
    EXPECT_EQ(parsed->record_count, 0xA0B0C0D0u);
    EXPECT_FALSE(ParseBlockHeader(std::span(bytes).first(511)));
}

TEST(DefinitionBlockHeader, CompatibilityDateByPath) {
    struct Case {
        const char* path;
        std::uint64_t date;
    } const cases[] = {
        {"C:\\data\\qzloc.dat", kLocationsCompatibilityDate},
        {"/defs/qzloc.dat.new", kLocationsCompatibilityDate},
        {"C:\\data\\qzfile.dat", kDefinitionsCompatibilityDate},
        {"C:\\data\\qzinfo.dat", kDefinitionsCompatibilityDate},
        {"C:\\data\\QZLOC.DAT", kDefinitionsCompatibilityDate},  // case-sensitive
        {"qzloc.dat", kDefinitionsCompatibilityDate},            // only after the first character
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompatibilityDateFor(c.path), c.date) << c.path;
    EXPECT_EQ(FileTimeToCalendar(kLocationsCompatibilityDate), (CalendarTime{2003, 6, 17}));
    EXPECT_EQ(FileTimeToCalendar(kDefinitionsCompatibilityDate), (CalendarTime{2002, 9, 17}));
}

TEST(FileTimeCalendar, ConvertsBothWays) {
    struct Case {
        std::uint64_t filetime;
        CalendarTime time;
    } const cases[] = {
        {0, {1601, 1, 1, 0, 0, 0}},
        {kMarch15, {2004, 3, 15, 9, 40, 0}},
        {116444736000000000ull, {1970, 1, 1, 0, 0, 0}},
        {127225727990000000ull, {2004, 2, 29, 23, 59, 59}},
        {kDefinitionsCompatibilityDate, {2002, 9, 17, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileTimeToCalendar(c.filetime), c.time) << c.filetime;
        EXPECT_EQ(CalendarToFileTime(c.time), c.filetime) << c.filetime;
    }
    // Sub-second ticks are dropped; the largest valid time still converts.
    EXPECT_EQ(FileTimeToCalendar(kMarch15 + 9'999'999), (CalendarTime{2004, 3, 15, 9, 40, 0}));
    EXPECT_TRUE(FileTimeToCalendar(0x7FFFFFFFFFFFFFFFull));
    EXPECT_FALSE(FileTimeToCalendar(0x8000000000000000ull));

    for (const CalendarTime bad : {CalendarTime{2003, 2, 29}, CalendarTime{2004, 13, 1},
                                   CalendarTime{1600, 12, 31}, CalendarTime{2004, 1, 1, 24}})
        EXPECT_FALSE(CalendarToFileTime(bad)) << bad.year << "-" << bad.month << "-" << bad.day;
}

TEST(FileTimeCalendar, DataVersionFormula) {
    const auto at = [](CalendarTime t) { return *CalendarToFileTime(t); };
    EXPECT_EQ(DataVersionFromFileTime(at({2004, 3, 15, 9, 40, 0})), 4031509);
    EXPECT_EQ(DataVersionFromFileTime(at({2003, 12, 31, 23, 59, 0})), 3123123);
    // Minutes and seconds do not count.
    EXPECT_EQ(DataVersionFromFileTime(at({2003, 12, 31, 23, 0, 0})), 3123123);
    EXPECT_EQ(DataVersionFromFileTime(at({2003, 12, 31, 23, 59, 59})), 3123123);
    EXPECT_EQ(DataVersionFromFileTime(at({1998, 1, 2, 3, 0, 0})), -1989797);
    // Out of 32-bit range, or not a time: no version.
    EXPECT_FALSE(DataVersionFromFileTime(at({4200, 1, 1, 0, 0, 0})));
    EXPECT_FALSE(DataVersionFromFileTime(0xFFFFFFFFFFFFFFFFull));
}

TEST(BlockReader, ReadsEveryBlockWithAPayloadInOrder) {
    const auto blocks = BlocksWithABareOne();
    const auto file = Build(DefinitionFileKind::kPests);
    for (const ReadMode& mode : kReadModes) {
        SCOPED_TRACE(mode.name);
        const auto read = ReadBlockBuffer(file, "C:\\defs\\qzinfo.dat", mode.limits);
        ASSERT_TRUE(read.ok()) << read.code << " " << read.text;
        ASSERT_EQ(read.blocks.size(), 3u);
        const std::size_t with_payload[] = {0, 2, 3};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto& source = blocks[with_payload[i]];
            EXPECT_TRUE(std::ranges::equal(read.blocks[i].data, source.plain)) << i;
            EXPECT_EQ(read.blocks[i].size, source.plain.size());
            EXPECT_EQ(read.blocks[i].record_count, source.record_count);
        }
        EXPECT_TRUE(read.text.empty());
        // The version comes from the last block of a pests file only.
        EXPECT_EQ(read.data_version, DataVersionFromFileTime(kMarch15 + 3));
    }
    EXPECT_FALSE(ReadBlockBuffer(file, "C:\\defs\\qzfile.dat").data_version);
    EXPECT_FALSE(ReadBlockBuffer(file, "qzinfo.dat").data_version);

    const auto locations = Build(DefinitionFileKind::kLocations);
    EXPECT_EQ(ReadBlockBuffer(locations, "C:\\defs\\qzloc.dat").blocks.size(), 3u);
}

TEST(BlockReader, EveryCorruptionGivesItsCodeAndText) {
    struct Case {
        Corruption corruption;
        std::size_t block;
        int code;
        const char* suffix;
    } const cases[] = {
        {Corruption::kBadMagic, 0, kBlockNotRecognized, " format not recognized."},
        {Corruption::kBadDate, 0, kBlockNotCompatible, " is not compatible."},
        {Corruption::kOtherDate, 0, kBlockNotCompatible, " is not compatible."},
        {Corruption::kFlipBit, 0, kBlockCorrupt, " is corrupt."},
        {Corruption::kNoJcTag, 0, kBlockNoJcTag, " holds a block that is not JC-compressed."},
        {Corruption::kBadJc, 0, kBlockUndecodable, " could not be decompressed."},
        {Corruption::kTruncate, 0, kBlockCorrupt, " is corrupt."},
        {Corruption::kNegativeLength, 0, kBlockCorrupt, " is corrupt."},
        // A bad later block spoils the whole file, the good blocks before it
        // included (their buffers are freed: LeakSanitizer watches).
        {Corruption::kBadJc, 1, kBlockUndecodable, " could not be decompressed."},
        {Corruption::kFlipBit, 2, kBlockCorrupt, " is corrupt."},
        {Corruption::kTruncate, 2, kBlockCorrupt, " is corrupt."},
        {Corruption::kBadMagic, 1, kBlockNotRecognized, " format not recognized."},
    };
    for (const auto kind : {DefinitionFileKind::kPests, DefinitionFileKind::kLocations}) {
        const std::string path = std::string("C:\\defs\\") + std::string(tools::FileNameOf(kind));
        for (const auto& c : cases) {
            const auto file = Build(kind, {c.corruption, c.block});
            for (const ReadMode& mode : kReadModes) {
                const auto read = ReadBlockBuffer(file, path, mode.limits);
                const auto label = std::string(tools::CorruptionName(c.corruption)) + " in block " +
                                   std::to_string(c.block) + " of " + path + ", " + mode.name;
                EXPECT_EQ(read.code, c.code) << label;
                EXPECT_TRUE(read.blocks.empty()) << label;
                EXPECT_FALSE(read.data_version) << label;
                EXPECT_EQ(read.text, path + c.suffix) << label;
            }
        }
    }
}

TEST(BlockReader, TheFirstBadBlockInFileOrderIsReported) {
    // Two blocks spoiled at once: whichever way the file is read, and
    // however long each takes, the one nearer the start is what the reader
    // reports.
    struct Case {
        Corruption corruption;  // of the block named
        std::size_t block;
        int code;  // the last block has a bit flipped as well: kBlockCorrupt
    } const cases[] = {
        {Corruption::kBadJc, 0, kBlockUndecodable},
        {Corruption::kNoJcTag, 0, kBlockNoJcTag},
        {Corruption::kBadJc, 1, kBlockUndecodable},
        {Corruption::kNone, 0, kBlockCorrupt},
    };
    for (const auto& c : cases) {
        auto file = Build(DefinitionFileKind::kSignatures, {c.corruption, c.block});
        file.back() ^= 0x10;  // the last stored byte of the last block
        for (const ReadMode& mode : kReadModes) {
            const auto read = ReadBlockBuffer(file, "/d/qzfile.dat", mode.limits);
            EXPECT_EQ(read.code, c.code) << tools::CorruptionName(c.corruption) << " in block "
                                         << c.block << ", " << mode.name;
            EXPECT_TRUE(read.blocks.empty());
        }
    }
}

TEST(BlockReader, AStreamShorterThanItsDeclaredSizeIsRefused) {
    // The stream itself is sound and ends with its end code; only the size
    // its header declares is larger. The rest of the payload would be
    // undefined, so the block counts as undecodable, checksum or not.
    const auto plain = Pattern(500, 4);
    struct Case {
        std::uint32_t missing;  // declared bytes the stream never writes
        bool with_checksum;
    } const cases[] = {{0, true}, {0, false}, {1, true}, {1, false}, {4096, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.missing << " missing, checksum " << c.with_checksum);
        auto stream = tools::JcCompress(plain, {c.with_checksum});
        StoreLe(std::span(stream), 2, static_cast<std::uint32_t>(plain.size() + c.missing));
        ScrambleBuffer(stream);
        DefinitionBlockHeader header;
        header.payload_length = static_cast<std::int32_t>(stream.size());
        header.compatibility_date = kDefinitionsCompatibilityDate;
        header.check_value = DefinitionCheckValue(stream);
        header.record_count = 1;
        auto file = Header(header);
        file.insert(file.end(), stream.begin(), stream.end());

        const auto read = ReadBlockBuffer(file, "/d/qzfile.dat");
        if (c.missing == 0) {
            ASSERT_TRUE(read.ok()) << read.text;
            ASSERT_EQ(read.blocks.size(), 1u);
            EXPECT_TRUE(std::ranges::equal(read.blocks[0].data, plain));
        } else {
            EXPECT_EQ(read.code, kBlockUndecodable);
            EXPECT_EQ(read.text, "/d/qzfile.dat could not be decompressed.");
            EXPECT_TRUE(read.blocks.empty());
        }
    }
}

TEST(BlockReader, APayloadThatCannotBeDecodedInPlaceStillLoads) {
    // Packing far better at its start than at its end, its output would run
    // over its own stream were it decoded where it was read; the reader
    // decodes it from a copy instead.
    std::vector<std::uint8_t> plain(65536, 0);
    const auto noise = Pattern(32768, 9);
    std::mt19937 rng(9);
    for (std::size_t i = 0; i < 32768; ++i)
        plain.push_back(static_cast<std::uint8_t>(rng()));
    const std::vector<BlockPayload> blocks = {{kMarch15, 1, plain}, {kMarch15 + 1, 2, noise}};
    const auto file = Build(DefinitionFileKind::kSignatures, {}, blocks);
    ScratchDir dir;
    const auto path = dir.File("qzfile.dat");
    ASSERT_EQ(WriteWholeFile(path, file), FileError::kNone);
    for (const ReadMode& mode : kReadModes) {
        SCOPED_TRACE(mode.name);
        for (const auto& read :
             {ReadBlockBuffer(file, path, mode.limits), ReadBlockFile(path, mode.limits)}) {
            ASSERT_TRUE(read.ok()) << read.text;
            ASSERT_EQ(read.blocks.size(), 2u);
            EXPECT_TRUE(std::ranges::equal(read.blocks[0].data, plain));
            EXPECT_TRUE(std::ranges::equal(read.blocks[1].data, noise));
        }
    }
}

TEST(BlockReader, FlippedBitIsCaughtBeforeDescrambling) {
    // A bit flipped in the last stored byte leaves the "JC" header intact, so
    // only the check value can catch it.
    auto file = Build(DefinitionFileKind::kSignatures);
    auto& last = file.back();
    last ^= 0x80;
    const auto read = ReadBlockBuffer(file, "/d/qzfile.dat");
    EXPECT_EQ(read.code, kBlockCorrupt);
    EXPECT_EQ(read.text, "/d/qzfile.dat is corrupt.");
}

TEST(BlockReader, DatesMustMatchToTheTick) {
    // The other file kind's date, and the right date one tick early.
    for (const auto& [path, date] :
         {std::pair<std::string, std::uint64_t>{"/d/qzloc.dat", kDefinitionsCompatibilityDate},
          {"/d/qzfile.dat", kLocationsCompatibilityDate},
          {"/d/qzfile.dat", kDefinitionsCompatibilityDate - 1},
          {"/d/qzloc.dat", kLocationsCompatibilityDate - 1}}) {
        auto file = Build(IsLocationsFile(path) ? DefinitionFileKind::kLocations
                                                : DefinitionFileKind::kSignatures);
        StoreLe(std::span(file), kHeaderDateOffset, date);
        const auto read = ReadBlockBuffer(file, path);
        EXPECT_EQ(read.code, kBlockNotCompatible) << path << " " << date;
        EXPECT_EQ(read.text, path + " is not compatible.");
    }
}

TEST(BlockReader, BareHeadersAreSkippedUnchecked) {
    std::vector<std::uint8_t> file;
    for (std::uint64_t i = 0; i < 3; ++i) {
        DefinitionBlockHeader bare;
        bare.magic = 0xDEADBEEF;  // wrong magic, date and check value: never looked at
        bare.block_time = kMarch15 + i * 36'000'000'000ull;
        auto bytes = Header(bare);
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    const auto read = ReadBlockBuffer(file, "C:\\x\\qzinfo.dat");
    EXPECT_TRUE(read.ok());
    EXPECT_TRUE(read.blocks.empty());
    EXPECT_EQ(read.data_version, 4031511);  // the last header's time, two hours on
}

// A 0-byte file (a copy cut short) would load as a set that finds nothing.
TEST(BlockReader, EmptyFileIsCorrupt) {
    const auto read = ReadBlockBuffer({}, "C:\\x\\qzinfo.dat");
    EXPECT_EQ(read.code, kBlockCorrupt);
    EXPECT_EQ(read.text, "C:\\x\\qzinfo.dat is corrupt.");
    EXPECT_TRUE(read.blocks.empty());
    const std::string path = ::testing::TempDir() + "empty-qzfile.dat";
    ASSERT_EQ(WriteWholeFile(path, {}), FileError::kNone);
    EXPECT_EQ(ReadBlockFile(path).code, kBlockCorrupt);
    RemoveFile(path);
}

TEST(BlockReader, BlocksThatDoNotFitTheFileAreCorrupt) {
    const auto good = Build(DefinitionFileKind::kPests);
    const std::string path = "C:\\x\\qzinfo.dat";

    // Cut inside the first header, inside a later header, one byte short of the end.
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{100}, std::size_t{511}, good.size() - 1}) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + size);
        const auto read = ReadBlockBuffer(cut, path);
        EXPECT_EQ(read.code, kBlockCorrupt) << size;
        EXPECT_EQ(read.text, path + " is corrupt.") << size;
    }
    // A whole trailing header with no room for its payload.
    DefinitionBlockHeader header;
    header.compatibility_date = kDefinitionsCompatibilityDate;
    for (const std::int32_t length : {1, 0x7FFFFFFF, -1, -512}) {
        header.payload_length = length;
        auto file = good;
        const auto bytes = Header(header);
        file.insert(file.end(), bytes.begin(), bytes.end());
        EXPECT_EQ(ReadBlockBuffer(file, path).code, kBlockCorrupt) << length;
    }
}

TEST(BlockReader, OversizedUnpackedSizeIsAnAllocationFailure) {
    const auto file = Build(DefinitionFileKind::kPests);
    // The first payload unpacks to 3000 bytes.
    const auto read = ReadBlockBuffer(file, "/d/qzinfo.dat", {2999});
    EXPECT_EQ(read.code, kBlockNoMemory);
    EXPECT_EQ(read.text, "/d/qzinfo.dat is too large to load into memory.");
    EXPECT_TRUE(ReadBlockBuffer(file, "/d/qzinfo.dat", {3000}).ok());
}

TEST(BlockReader, ReadsFilesFromDisk) {
    ScratchDir dir;
    const auto path = dir.File("qzloc.dat");
    ASSERT_EQ(WriteWholeFile(path, Build(DefinitionFileKind::kLocations)), FileError::kNone);
    EXPECT_EQ(ReadBlockFile(path).blocks.size(), 3u);

    const auto missing = dir.File("qzinfo.dat");
    const auto read = ReadBlockFile(missing);
    EXPECT_EQ(read.code, kBlockNotFound);
    EXPECT_EQ(read.text, missing + " does not exist.");
    EXPECT_EQ(ReadBlockFile(dir.path().string()).code, kBlockNotFound);  // a folder
}

// The sets published at build time by the native publisher from
// testdata/blocks_test.defs.
std::string TestData(const std::string& set, const std::string& name) {
    return std::string(OLVEX_TEST_DATA_DIR) + "/" + set + "/" + name;
}

TEST(BlockReader, ReadsTheSetPublishedAtBuildTime) {
    const auto pests = ReadBlockFile(TestData("good", "qzinfo.dat"));
    ASSERT_TRUE(pests.ok()) << pests.text;
    ASSERT_EQ(pests.blocks.size(), 3u);
    EXPECT_EQ(pests.data_version, 3123123);
    const auto last = DecodePestRecords(pests.blocks[2].data, 1);
    ASSERT_TRUE(last.ok());
    EXPECT_EQ(last.records, (std::vector<PestInfoRecord>{{4, "Test.Four", "Trojan", ""}}));

    // The last delta holds no location: a bare header, no payload.
    const auto locations = ReadBlockFile(TestData("good", "qzloc.dat"));
    ASSERT_TRUE(locations.ok()) << locations.text;
    ASSERT_EQ(locations.blocks.size(), 2u);
    const auto removed = DecodeLocationRecords(locations.blocks[1].data, 2);
    ASSERT_TRUE(removed.ok());
    ASSERT_EQ(removed.records.size(), 2u);
    EXPECT_EQ(removed.records[0].pest_id, -1);

    for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"}) {
        const auto path = TestData("second-block", name);
        const auto read = ReadBlockFile(path);
        EXPECT_EQ(read.code, kBlockCorrupt) << name;
        EXPECT_EQ(read.text, path + " is corrupt.");
        EXPECT_TRUE(read.blocks.empty());
    }
}

TEST(HeaderWalk, TotalsOfTheThreeFiles) {
    const auto sum_after_first = [](const std::string& path) {
        const auto bytes = ReadWholeFile(path).bytes;
        std::int64_t sum = 0;
        std::size_t start = 0;
        for (int block = 0; start < bytes.size(); ++block) {
            const auto header = ParseBlockHeader(std::span(bytes).subspan(start));
            if (block > 0)
                sum += header->payload_length;
            start += kDefinitionHeaderBytes + header->payload_length;
        }
        return sum;
    };
    const std::string folder = std::string(OLVEX_TEST_DATA_DIR) + "/good";
    const auto totals = ReadHeaderTotals(folder);
    EXPECT_EQ(totals.block_count, 2);
    EXPECT_EQ(totals.data_version, 3123123);
    const auto expected = sum_after_first(folder + "/qzinfo.dat") +
                          sum_after_first(folder + "/qzloc.dat") +
                          sum_after_first(folder + "/qzfile.dat");
    EXPECT_GT(expected, 0);
    EXPECT_EQ(totals.delta_bytes, expected);
}

TEST(HeaderWalk, AMissingFileEndsTheWalk) {
    ScratchDir dir;
    const auto write = [&](DefinitionFileKind kind) {
        const auto name = std::string(tools::FileNameOf(kind));
        ASSERT_EQ(WriteWholeFile(dir.File(name), Build(kind)), FileError::kNone);
    };
    const auto deltas = [](const std::vector<std::uint8_t>& file) {
        return WalkBlockHeaders(file).payload_bytes_after_first;
    };
    EXPECT_EQ(ReadHeaderTotals(dir.path().string()).block_count, 0);

    write(DefinitionFileKind::kPests);
    write(DefinitionFileKind::kSignatures);
    // Without "qzloc.dat" the walk stops before "qzfile.dat".
    const auto totals = ReadHeaderTotals(dir.path().string());
    EXPECT_EQ(totals.block_count, 3);
    EXPECT_EQ(totals.data_version, DataVersionFromFileTime(kMarch15 + 3));
    EXPECT_EQ(totals.delta_bytes, deltas(Build(DefinitionFileKind::kPests)));

    write(DefinitionFileKind::kLocations);
    EXPECT_EQ(ReadHeaderTotals(dir.path().string()).delta_bytes,
              deltas(Build(DefinitionFileKind::kPests)) +
                  deltas(Build(DefinitionFileKind::kLocations)) +
                  deltas(Build(DefinitionFileKind::kSignatures)));

    // A "qzinfo.dat" without one whole header counts as missing.
    ASSERT_EQ(WriteWholeFile(dir.File("qzinfo.dat"), std::vector<std::uint8_t>(100)),
              FileError::kNone);
    const auto short_file = ReadHeaderTotals(dir.path().string());
    EXPECT_EQ(short_file.block_count, 0);
    EXPECT_EQ(short_file.delta_bytes, 0);
    EXPECT_EQ(short_file.data_version, 0);
}

TEST(HeaderWalk, StopsAtLengthsThatDoNotFit) {
    const auto good = Build(DefinitionFileKind::kPests);
    const auto whole = WalkBlockHeaders(good);
    EXPECT_EQ(whole.blocks, 4);
    EXPECT_EQ(whole.last_block_time, kMarch15 + 3);

    // Second header's length made negative, then too long: the walk counts it
    // and stops there without adding its length.
    const std::size_t second = kDefinitionHeaderBytes + *LoadLe32(good, kHeaderLengthOffset);
    for (const std::int32_t length : {-1, -2147483647 - 1, 0x7FFFFFFF}) {
        auto file = good;
        // Give the bare second header a payload it does not have.
        StoreLe(std::span(file), second + kHeaderLengthOffset, length);
        const auto walk = WalkBlockHeaders(file);
        EXPECT_EQ(walk.blocks, 2) << length;
        EXPECT_EQ(walk.payload_bytes_after_first, 0) << length;
        EXPECT_EQ(walk.last_block_time, kMarch15 + 1) << length;
    }
    // A tail too short for a header is not counted.
    auto tail = good;
    tail.resize(tail.size() + 100);
    EXPECT_EQ(WalkBlockHeaders(tail).blocks, 4);
}

}  // namespace
}  // namespace olvex

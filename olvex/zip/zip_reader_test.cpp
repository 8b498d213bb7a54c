#include "olvex/zip/zip_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/zip/cp437.h"
#include "olvex/zip/zip_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using namespace olvex::zip_test;

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> data(size);
    for (auto& b : data)
        b = static_cast<std::uint8_t>("scan pest zip registry\r\n"[rng() % 24]);
    return data;
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every archive that Python's zipfile and Info-ZIP's zip wrote at build time
// reads back as the manifest (made from the tools' input data) says.
TEST(ZipReaderFixtures, ReadsArchivesOfZipfileAndInfoZip) {
    const auto manifest = ReadManifest(TestDataPath("manifest.txt"));
    ASSERT_GE(manifest.size(), 25u) << "fixtures missing from " << TestDataPath("");
    std::map<std::string, std::vector<ManifestEntry>> archives;
    for (const auto& entry : manifest)
        archives[entry.archive].push_back(entry);
    ScratchDir dir;
    for (const auto& [archive, entries] : archives) {
        SCOPED_TRACE(archive);
        const auto path = TestDataPath(archive);
        const auto bytes = ReadWholeFile(path);
        ASSERT_TRUE(bytes);
        ZipReader from_file, from_memory;
        ASSERT_EQ(from_file.OpenFile(path), ZipError::kNone);
        ASSERT_EQ(from_memory.OpenMemory(bytes.bytes), ZipError::kNone);
        ASSERT_EQ(from_file.EntryCount(), entries.size());
        for (const auto& m : entries) {
            SCOPED_TRACE(m.index);
            const ZipEntryInfo* info = from_file.Entry(m.index);
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(info->name, m.name);
            EXPECT_EQ(info->utf8, m.utf8);
            EXPECT_EQ(info->utf8 ? info->name : Cp437ToUtf8(info->name), m.decoded_name);
            EXPECT_EQ(info->comment, m.comment);
            EXPECT_EQ(info->uncompressed_size, m.size);
            EXPECT_EQ(info->encrypted, m.encrypted);
            EXPECT_TRUE(info->supported);
            if (archive.starts_with("py_")) {
                EXPECT_EQ(info->modified, (ZipDateTime{2005, 12, 31, 12, 30, 58}));
            }
            for (ZipReader* reader : {&from_file, &from_memory}) {
                std::vector<std::uint8_t> data;
                if (m.encrypted) {
                    reader->SetPassword("");
                    EXPECT_EQ(reader->ReadEntry(m.index, data), ZipError::kEncrypted);
                    reader->SetPassword("not the password");
                    EXPECT_NE(reader->ReadEntry(m.index, data), ZipError::kNone);
                    reader->SetPassword(m.password);
                }
                ASSERT_EQ(reader->ReadEntry(m.index, data), ZipError::kNone);
                EXPECT_EQ(data.size(), m.size);
                EXPECT_EQ(Crc32(data), m.crc);
            }
            const auto target = dir.File(archive + "." + std::to_string(m.index));
            ASSERT_EQ(from_file.ExtractEntry(m.index, target), ZipError::kNone);
            EXPECT_EQ(Crc32(ReadWholeFile(target).bytes), m.crc);
        }
        EXPECT_EQ(from_file.Entry(entries.size()), nullptr);
    }
}

TEST(ZipReader, EntryStreamReadsTheHeadAloneAndOutlivesTheReader) {
    const auto text = Pattern(200000, 1);
    const auto archive = BuildArchive({Deflated("a.txt", text), Stored("b.bin", Pattern(5000, 2))});
    ZipEntryStream stream;
    {
        ZipReader reader;
        ASSERT_EQ(reader.OpenMemory(archive), ZipError::kNone);
        // The scan's first look: 2047 bytes, then the entry is dropped.
        ASSERT_EQ(reader.OpenEntry(0, stream), ZipError::kNone);
        std::vector<std::uint8_t> head(2047);
        std::size_t got = 0;
        ASSERT_EQ(stream.Read(head, got), ZipError::kNone);
        ASSERT_EQ(got, head.size());
        EXPECT_TRUE(std::equal(head.begin(), head.end(), text.begin()));
        ASSERT_EQ(reader.OpenEntry(0, stream), ZipError::kNone);
        EXPECT_EQ(reader.OpenEntry(2, stream), ZipError::kBadIndex);
        EXPECT_FALSE(stream.IsOpen());
        ASSERT_EQ(reader.OpenEntry(0, stream), ZipError::kNone);
    }
    std::vector<std::uint8_t> all, piece(1000);
    std::size_t got = 0;
    do {
        ASSERT_EQ(stream.Read(piece, got), ZipError::kNone);
        all.insert(all.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
    } while (got > 0);
    EXPECT_EQ(all, text);
    EXPECT_EQ(stream.Read(piece, got), ZipError::kNone);
    EXPECT_EQ(got, 0u);
}

TEST(ZipReader, AcceptsUnusualButSoundLayouts) {
    const auto data = Pattern(3000, 3);
    RawEntry descriptor = Deflated("d.txt", data);
    descriptor.flags = 0x0008;  // data descriptor without its optional signature
    for (const std::uint32_t v : {descriptor.crc, descriptor.compressed, descriptor.uncompressed})
        for (int shift = 0; shift < 32; shift += 8)
            descriptor.after_data.push_back(static_cast<std::uint8_t>(v >> shift));
    RawEnd fake_end;
    fake_end.comment = std::string("PK\x05\x06", 4) + std::string(18, '\0') + "tail";
    auto trailing = BuildArchive({Stored("s.txt", data)});
    trailing.insert(trailing.end(), 100, 0);
    RawEnd zip64;
    zip64.zip64 = true;
    zip64.count = 0xFFFF;
    zip64.directory_offset = 0xFFFFFFFF;
    zip64.directory_size = 0xFFFFFFFF;
    RawEntry big = Stored("z.txt", data);
    big.uncompressed = 0xFFFFFFFF;  // real size in the zip64 extra field
    big.extra = {0x01, 0x00, 0x08, 0x00, 0xB8, 0x0B, 0, 0, 0, 0, 0, 0};

    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::size_t entries;
    } cases[] = {
        {"empty archive", BuildArchive({}), 0},
        {"data descriptor without signature", BuildArchive({descriptor, Stored("e", {})}), 2},
        {"comment holding an end signature", BuildArchive({Stored("s.txt", data)}, fake_end), 1},
        {"bytes after the end record", trailing, 1},
        {"zip64 end record and extra field", BuildArchive({big}, zip64), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ZipReader reader;
        ASSERT_EQ(reader.OpenMemory(c.bytes), ZipError::kNone);
        ASSERT_EQ(reader.EntryCount(), c.entries);
        if (c.entries == 0)
            continue;
        std::vector<std::uint8_t> read;
        ASSERT_EQ(reader.ReadEntry(0, read), ZipError::kNone);
        EXPECT_EQ(read, data);
    }
}

// Hostile and damaged archives: each ends with a clear error, never more
// bytes than declared come out, and no file is left behind.
TEST(ZipReader, HostileArchivesEndWithAClearError) {
    const auto data = Pattern(10000, 4);
    const auto good = BuildArchive({Deflated("one.txt", data), Stored("two.txt", data)});
    std::mt19937 rng(5);
    std::vector<std::uint8_t> garbage(5000);
    for (auto& b : garbage)
        b = static_cast<std::uint8_t>(rng());

    const std::vector<std::uint8_t> zeros(16u << 20, 0);  // 16 MiB: deflates to ~16 KiB
    RawEntry lying = Deflated("bomb.bin", zeros);
    lying.uncompressed = 1000;
    RawEntry short_of_size = Deflated("short.bin", data);
    short_of_size.uncompressed = 20000;
    RawEntry honest_bomb = Deflated("bomb.bin", zeros);
    RawEntry bad_crc = Stored("crc.txt", data);
    bad_crc.crc ^= 1;
    RawEntry damaged = Deflated("damaged.bin", data);
    damaged.payload.assign(20, 0xFF);
    damaged.compressed = 20;
    RawEntry cut = Deflated("cut.bin", Pattern(100000, 6));
    cut.payload.resize(cut.payload.size() / 2);
    cut.compressed = static_cast<std::uint32_t>(cut.payload.size());
    RawEntry other_method = Stored("m.bin", data);
    other_method.method = 12;
    RawEntry strong = Stored("s.bin", data);
    strong.flags = 0x41;
    RawEntry encrypted = Stored("e.bin", data);
    encrypted.flags = 0x01;
    RawEntry local_mismatch = Stored("l.bin", data);
    local_mismatch.local_method = 8;
    RawEntry into_next = Stored("a.bin", data);
    into_next.compressed += 50;
    into_next.uncompressed += 50;
    RawEntry into_directory = Stored("b.bin", data);
    into_directory.compressed += 100;
    into_directory.uncompressed += 100;
    RawEntry other_disk = Stored("d.bin", data);
    other_disk.disk = 1;
    RawEntry missing_zip64 = Stored("z.bin", data);
    missing_zip64.uncompressed = 0xFFFFFFFF;
    RawEntry shared = Stored("dup.bin", data);
    shared.write_local = false;
    shared.offset = 0;
    RawEntry far_offset = Stored("far.bin", data);
    far_offset.write_local = false;
    far_offset.offset = 0x7FFFFFF0;

    auto bad_local_signature = BuildArchive({Stored("x.bin", data)});
    bad_local_signature[0] = 'X';
    auto bad_directory_signature = BuildArchive({Stored("x.bin", data)});
    bad_directory_signature[30 + 5 + data.size()] = 'X';
    auto middle_cut = good;
    middle_cut.erase(middle_cut.begin() + 100, middle_cut.begin() + 200);
    auto end_only = garbage;
    {
        RawEnd nowhere;
        nowhere.directory_offset = 1000000;
        const auto tail = BuildArchive({}, nowhere);
        end_only.insert(end_only.end(), tail.begin(), tail.end());
    }
    RawEnd multi_disk;
    multi_disk.disk = 1;
    RawEnd huge_count;
    huge_count.count = 0xFFFF;
    RawEnd huge_zip64_count;
    huge_zip64_count.zip64 = true;
    huge_zip64_count.zip64_count = 1ull << 40;
    RawEnd outside;
    outside.directory_offset = 0xFFFFFF00;
    RawEnd zip64_end;
    zip64_end.zip64 = true;
    auto zip64_outside = BuildArchive({Stored("a", data)}, zip64_end);
    {
        // The locator's offset of the zip64 end record, moved past the file.
        const std::size_t locator = zip64_outside.size() - 22 - 20;
        zip64_outside[locator + 8 + 3] = 0x7F;
    }

    struct Case {
        std::string what;
        std::vector<std::uint8_t> bytes;
        ZipError open;
        ZipError read = ZipError::kNone;  // of entry 0, when the archive opened
    };
    std::vector<Case> cases = {
        {"empty file", {}, ZipError::kNotZip},
        {"garbage", garbage, ZipError::kNotZip},
        {"end record pointing nowhere", end_only, ZipError::kBadDirectory},
        {"bytes cut out of the middle", middle_cut, ZipError::kBadDirectory},
        {"directory outside the file", BuildArchive({Stored("a", data)}, outside),
         ZipError::kBadDirectory},
        {"zip64 end record outside the file", zip64_outside, ZipError::kBadDirectory},
        {"entry count the directory cannot hold", BuildArchive({Stored("a", data)}, huge_count),
         ZipError::kBadDirectory},
        {"huge zip64 entry count", BuildArchive({Stored("a", data)}, huge_zip64_count),
         ZipError::kTooManyEntries},
        {"multi-disk end record", BuildArchive({Stored("a", data)}, multi_disk),
         ZipError::kMultiDisk},
        {"entry on another disk", BuildArchive({other_disk}), ZipError::kMultiDisk},
        {"directory record damaged", bad_directory_signature, ZipError::kBadDirectory},
        {"zip64 size without its extra field", BuildArchive({missing_zip64}),
         ZipError::kBadDirectory},
        {"local header offset past the data", BuildArchive({far_offset}), ZipError::kBadDirectory},
        {"one local header shared by several entries",
         BuildArchive({Stored("first.bin", data), shared, shared}), ZipError::kOverlap},
        {"entry running into the next", BuildArchive({into_next, Stored("n", data)}),
         ZipError::kOverlap},
        {"entry running into the directory", BuildArchive({into_directory}), ZipError::kOverlap},
        {"zip bomb with an honest size", BuildArchive({honest_bomb}), ZipError::kNone,
         ZipError::kEntryTooLarge},
        {"zip bomb with a lying size", BuildArchive({lying}), ZipError::kNone,
         ZipError::kSizeMismatch},
        {"inflates to less than declared", BuildArchive({short_of_size}), ZipError::kNone,
         ZipError::kSizeMismatch},
        {"CRC mismatch", BuildArchive({bad_crc}), ZipError::kNone, ZipError::kCrcMismatch},
        {"damaged deflate data", BuildArchive({damaged}), ZipError::kNone, ZipError::kBadData},
        {"deflate data cut short", BuildArchive({cut}), ZipError::kNone, ZipError::kBadData},
        {"local header signature damaged", bad_local_signature, ZipError::kNone,
         ZipError::kBadLocalHeader},
        {"local header of another method", BuildArchive({local_mismatch}), ZipError::kNone,
         ZipError::kBadLocalHeader},
        {"unknown compression method", BuildArchive({other_method}), ZipError::kNone,
         ZipError::kUnsupported},
        {"strong encryption", BuildArchive({strong}), ZipError::kNone, ZipError::kUnsupported},
        {"encrypted, no password", BuildArchive({encrypted}), ZipError::kNone,
         ZipError::kEncrypted},
        {"names that climb out or are absolute",
         BuildArchive({Stored("..\\..\\evil.txt", data), Stored("/tmp/evil.txt", data),
                       Stored("C:\\evil.txt", data), Stored("../evil.txt", data)}),
         ZipError::kNone, ZipError::kNone},
    };
    const std::size_t cuts[] = {
        1, 10, 40, good.size() / 2, good.size() - 30, good.size() - 10, good.size() - 1};
    for (const std::size_t cut_at : cuts)
        cases.push_back({"truncated to " + std::to_string(cut_at),
                         {good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut_at)},
                         ZipError::kNotZip});

    ZipBudget budget;
    budget.max_entry_bytes = 4u << 20;
    budget.max_total_bytes = 16u << 20;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const auto path = dir.Write("archive.zip", c.bytes);
        ZipReader from_memory, reader;
        EXPECT_EQ(from_memory.OpenMemory(c.bytes, budget), c.open);
        ASSERT_EQ(reader.OpenFile(path, budget), c.open);
        if (c.open != ZipError::kNone) {
            EXPECT_FALSE(reader.IsOpen());
            EXPECT_EQ(reader.EntryCount(), 0u);
            continue;
        }
        for (std::size_t i = 0; i < reader.EntryCount(); ++i) {
            const ZipEntryInfo& info = *reader.Entry(i);
            std::vector<std::uint8_t> bytes;
            const ZipError read = reader.ReadEntry(i, bytes);
            if (i == 0) {
                EXPECT_EQ(read, c.read);
            }
            if (read != ZipError::kNone) {
                EXPECT_TRUE(bytes.empty());
            }
            EXPECT_EQ(reader.ExtractEntry(i, dir.File("out.bin")), read);
            if (read == ZipError::kNone)
                RemoveFile(dir.File("out.bin"));
            // Streamed, never more bytes than declared come out.
            ZipEntryStream stream;
            if (reader.OpenEntry(i, stream) != ZipError::kNone)
                continue;
            std::vector<std::uint8_t> piece(1 << 16);
            std::uint64_t total = 0;
            std::size_t got = 0;
            while (stream.Read(piece, got) == ZipError::kNone && got > 0)
                total += got;
            EXPECT_LE(total, info.uncompressed_size);
        }
        EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"archive.zip"});
    }
    // The names were only reported, as stored: nothing went where they point.
    const auto names = std::find_if(cases.begin(), cases.end(),
                                    [](const Case& c) { return c.what.starts_with("names"); });
    ASSERT_NE(names, cases.end());
    ZipReader climbing;
    ASSERT_EQ(climbing.OpenMemory(names->bytes), ZipError::kNone);
    ASSERT_EQ(climbing.EntryCount(), 4u);
    EXPECT_EQ(climbing.Entry(0)->name, "..\\..\\evil.txt");
    EXPECT_EQ(climbing.Entry(1)->name, "/tmp/evil.txt");
    EXPECT_FALSE(std::filesystem::exists("evil.txt"));
    EXPECT_FALSE(std::filesystem::exists("../evil.txt"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/evil.txt"));
}

TEST(ZipReader, BudgetBoundsEntriesAndTotalBytes) {
    const auto chunk = Pattern(1u << 20, 7);  // 1 MiB each
    const auto archive = BuildArchive(
        {Deflated("1", chunk), Deflated("2", chunk), Deflated("3", chunk), Deflated("4", chunk)});
    ZipBudget budget;
    budget.max_total_bytes = (5u << 20) / 2;
    ZipReader reader;
    ASSERT_EQ(reader.OpenMemory(archive, budget), ZipError::kNone);
    std::vector<std::uint8_t> bytes;
    // Reading only the head of an entry costs only the bytes produced.
    ZipEntryStream stream;
    ASSERT_EQ(reader.OpenEntry(3, stream), ZipError::kNone);
    std::vector<std::uint8_t> head(2047);
    std::size_t got = 0;
    ASSERT_EQ(stream.Read(head, got), ZipError::kNone);
    stream.Close();
    EXPECT_EQ(reader.ReadEntry(0, bytes), ZipError::kNone);
    EXPECT_EQ(reader.ReadEntry(1, bytes), ZipError::kNone);
    EXPECT_EQ(reader.ReadEntry(2, bytes), ZipError::kBudgetExceeded);
    EXPECT_TRUE(bytes.empty());

    budget.max_entries = 3;
    EXPECT_EQ(reader.OpenMemory(archive, budget), ZipError::kTooManyEntries);
    budget.max_entries = 4;
    budget.max_directory_bytes = 100;
    EXPECT_EQ(reader.OpenMemory(archive, budget), ZipError::kDirectoryTooLarge);
    budget.max_directory_bytes = 1000;
    budget.max_entry_bytes = (1u << 20) - 1;
    ASSERT_EQ(reader.OpenMemory(archive, budget), ZipError::kNone);
    EXPECT_EQ(reader.ReadEntry(0, bytes), ZipError::kEntryTooLarge);
}

TEST(ZipReader, ExtractionCreatesOnlyNewFilesAndLeavesNoneOnFailure) {
    ScratchDir dir;
    const auto data = Pattern(5000, 8);
    RawEntry bad = Deflated("bad.txt", data);
    bad.crc ^= 0x10;
    const auto archive = BuildArchive({Deflated("good.txt", data), bad});
    ZipReader reader;
    ASSERT_EQ(reader.OpenMemory(archive), ZipError::kNone);

    const auto existing = dir.Write("existing.txt", std::string("keep me"));
    EXPECT_EQ(reader.ExtractEntry(0, existing), ZipError::kFileExists);
    EXPECT_EQ(ReadWholeFile(existing).bytes, Bytes("keep me"));
    // The CRC is found wrong only at the end, after the data was written.
    EXPECT_EQ(reader.ExtractEntry(1, dir.File("bad.txt")), ZipError::kCrcMismatch);
    EXPECT_FALSE(FileExists(dir.File("bad.txt")));
    EXPECT_EQ(reader.ExtractEntry(0, dir.File("no/such/folder/x")), ZipError::kWriteFailed);
    ASSERT_EQ(reader.ExtractEntry(0, dir.File("chosen name.bin")), ZipError::kNone);
    EXPECT_EQ(ReadWholeFile(dir.File("chosen name.bin")).bytes, data);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"chosen name.bin", "existing.txt"}));
}

TEST(ZipReader, OpeningNeverWritesAndMissingFilesAreReported) {
    ScratchDir dir;
    const auto archive = BuildArchive({Stored("a", Pattern(100, 9))});
    const auto path = dir.Write("a.zip", archive);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(path), ZipError::kNone);
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(reader.ReadEntry(0, bytes), ZipError::kNone);
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(ReadWholeFile(path).bytes, archive);
    EXPECT_EQ(reader.OpenFile(dir.File("missing.zip")), ZipError::kOpenFailed);
    EXPECT_EQ(reader.OpenFile(dir.path().string()), ZipError::kOpenFailed);
    EXPECT_EQ(reader.ReadEntry(0, bytes), ZipError::kBadIndex);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

TEST(Cp437, ConvertsTheHighHalfAndKeepsAscii) {
    EXPECT_EQ(Cp437ToUtf8("plain.txt"), "plain.txt");
    EXPECT_EQ(Cp437ToUtf8("\x81\x82\xE1\xB0\xFF"), "\u00FC\u00E9\u00DF\u2591\u00A0");
}

}  // namespace
}  // namespace olvex

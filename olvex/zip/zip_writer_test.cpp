#include "olvex/zip/zip_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/zip/zip_reader.h"
#include "olvex/zip/zip_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using namespace olvex::zip_test;

constexpr char kPassword[] = "Secret-7";

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> data(size);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : 'a' + rng() % 4);
    return data;
}

ZipRandomSource Seeded(unsigned seed, std::shared_ptr<std::size_t> asked = nullptr) {
    auto rng = std::make_shared<std::mt19937>(seed);
    return [rng, asked](std::span<std::uint8_t> bytes) {
        if (asked)
            *asked += bytes.size();
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>((*rng)());
    };
}

RawEnd WithCount(std::uint16_t count) {
    RawEnd end;
    end.count = count;
    return end;
}

ZipNewEntry NewEntry(const std::string& name, const std::string& comment,
                     ZipDateTime when = {2005, 12, 31, 12, 0, 0}) {
    return ZipNewEntry{name, comment, when};
}

struct Written {
    ZipNewEntry entry;
    std::vector<std::uint8_t> data;
};

// A session container as the quarantine makes it: entries 0, 1, 2 with
// location comments, password-encrypted.
std::vector<Written> WriteSession(const ScratchDir& dir, const std::string& archive,
                                  const std::string& password, unsigned seed = 1) {
    std::vector<Written> written = {
        {NewEntry("0", " PestId \"7\" File \"C:\\Program Files\\Pest\\pest.exe\""),
         Pattern(100000, 1)},
        {NewEntry("1", "", {2107, 12, 31, 23, 59, 59}), {}},
        {NewEntry("2", " File \"C:\\t\\reg1.tmp\" PestId \"12\" Key \"hkey_local_machine \\x\"",
                  {1970, 1, 1, 0, 0, 0}),
         Pattern(5000, 2)},
    };
    ZipWriter writer(archive);
    writer.SetPassword(password);
    writer.SetRandomSource(Seeded(seed));
    const auto source = dir.Write("pest.exe", written[0].data);
    EXPECT_EQ(writer.AddFile(source, written[0].entry), ZipError::kNone);
    for (std::size_t i = 1; i < written.size(); ++i)
        EXPECT_EQ(writer.AddBytes(written[i].data, written[i].entry), ZipError::kNone);
    return written;
}

TEST(ZipWriter, EncryptedEntriesReadBackWithNamesCommentsAndTimes) {
    ScratchDir dir;
    const auto archive = dir.File("20051231120000.zip");
    const auto written = WriteSession(dir, archive, kPassword);
    const ZipDateTime expected_times[] = {
        {2005, 12, 31, 12, 0, 0}, {2107, 12, 31, 23, 59, 58}, {1980, 1, 1, 0, 0, 0}};

    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    ASSERT_EQ(reader.EntryCount(), written.size());
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < written.size(); ++i) {
        SCOPED_TRACE(i);
        const ZipEntryInfo& info = *reader.Entry(i);
        EXPECT_EQ(info.name, written[i].entry.name);
        EXPECT_EQ(info.comment, written[i].entry.comment);
        EXPECT_EQ(info.modified, expected_times[i]);
        EXPECT_TRUE(info.encrypted);
        EXPECT_FALSE(info.utf8);
        EXPECT_EQ(info.method, 8);
        EXPECT_EQ(info.uncompressed_size, written[i].data.size());
        reader.SetPassword("");
        EXPECT_EQ(reader.ReadEntry(i, bytes), ZipError::kEncrypted);
        reader.SetPassword("wrong");
        EXPECT_EQ(reader.ReadEntry(i, bytes), ZipError::kWrongPassword);
        EXPECT_EQ(reader.ExtractEntry(i, dir.File("wrong.bin")), ZipError::kWrongPassword);
        EXPECT_FALSE(FileExists(dir.File("wrong.bin")));
        reader.SetPassword(kPassword);
        ASSERT_EQ(reader.ReadEntry(i, bytes), ZipError::kNone);
        EXPECT_EQ(bytes, written[i].data);
    }
    // Restored under a name the caller chooses.
    ASSERT_EQ(reader.ExtractEntry(0, dir.File("pest restored.exe")), ZipError::kNone);
    EXPECT_EQ(ReadWholeFile(dir.File("pest restored.exe")).bytes, written[0].data);
    EXPECT_FALSE(FileExists(archive + ".tmp"));
}

TEST(ZipWriter, WithoutPasswordEntriesAreOnlyDeflated) {
    ScratchDir dir;
    const auto archive = dir.File("plain.zip");
    const auto written = WriteSession(dir, archive, "");
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    ASSERT_EQ(reader.EntryCount(), written.size());
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_FALSE(reader.Entry(i)->encrypted);
        ASSERT_EQ(reader.ReadEntry(i, bytes), ZipError::kNone);
        EXPECT_EQ(bytes, written[i].data);
    }
    // Compressible data did shrink.
    EXPECT_LT(reader.Entry(0)->compressed_size, written[0].data.size() * 3 / 4);
}

TEST(ZipWriter, EncryptionHeaderBytesComeFromTheInjectedSource) {
    ScratchDir dir;
    const auto first = dir.File("a.zip"), second = dir.File("b.zip"), third = dir.File("c.zip");
    WriteSession(dir, first, kPassword, 42);
    WriteSession(dir, second, kPassword, 42);
    WriteSession(dir, third, kPassword, 43);
    EXPECT_EQ(ReadWholeFile(first).bytes, ReadWholeFile(second).bytes);
    EXPECT_NE(ReadWholeFile(first).bytes, ReadWholeFile(third).bytes);

    auto asked = std::make_shared<std::size_t>(0);
    ZipWriter writer(dir.File("d.zip"));
    writer.SetRandomSource(Seeded(1, asked));
    ASSERT_EQ(writer.AddBytes(Bytes("x"), NewEntry("0", "")), ZipError::kNone);
    EXPECT_EQ(*asked, 0u);  // no password, no header
    writer.SetPassword(kPassword);
    ASSERT_EQ(writer.AddBytes(Bytes("y"), NewEntry("1", "")), ZipError::kNone);
    EXPECT_EQ(*asked, 11u);  // eleven random bytes and the check byte
}

TEST(ZipWriter, AppendsToAnArchiveAnotherToolWrote) {
    ScratchDir dir;
    const auto archive = dir.File("copy.zip");
    std::filesystem::copy_file(TestDataPath("py_stored.zip"), archive);
    ZipReader before;
    ASSERT_EQ(before.OpenFile(archive), ZipError::kNone);
    const std::size_t old_count = before.EntryCount();
    before.Close();

    ZipWriter writer(archive);
    writer.SetPassword(kPassword);
    const auto data = Pattern(3000, 3);
    ASSERT_EQ(writer.AddBytes(data, NewEntry("added", "new one")), ZipError::kNone);

    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    ASSERT_EQ(reader.EntryCount(), old_count + 1);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < old_count; ++i)
        EXPECT_EQ(reader.ReadEntry(i, bytes), ZipError::kNone);
    EXPECT_EQ(reader.Entry(0)->comment, "the readme");
    reader.SetPassword(kPassword);
    ASSERT_EQ(reader.ReadEntry(old_count, bytes), ZipError::kNone);
    EXPECT_EQ(bytes, data);
    // The archive comment survives the rewrite of the end record.
    const auto raw = ReadWholeFile(archive).bytes;
    const std::string tail(raw.end() - 21, raw.end());
    EXPECT_EQ(tail, "python stored archive");
}

// A failed add leaves the archive byte for byte as it was, and no temporary file.
TEST(ZipWriter, FailedAddsLeaveTheArchiveAsItWas) {
    ScratchDir dir;
    const auto archive = dir.File("session.zip");
    WriteSession(dir, archive, kPassword);
    const auto before = ReadWholeFile(archive).bytes;
    ASSERT_FALSE(before.empty());

    const struct Case {
        const char* what;
        std::string source;
        ZipNewEntry entry;
        bool block_temporary;
        ZipError error;
    } cases[] = {
        {"missing source file", dir.File("missing.exe"), NewEntry("3", ""), false,
         ZipError::kOpenFailed},
        {"source is a folder", dir.path().string(), NewEntry("3", ""), false,
         ZipError::kOpenFailed},
        {"temporary file cannot be made", dir.File("pest.exe"), NewEntry("3", ""), true,
         ZipError::kWriteFailed},
        {"empty name", dir.File("pest.exe"), NewEntry("", ""), false, ZipError::kInvalidArgument},
        {"name too long", dir.File("pest.exe"), NewEntry(std::string(70000, 'n'), ""), false,
         ZipError::kInvalidArgument},
        {"comment too long", dir.File("pest.exe"), NewEntry("3", std::string(70000, 'c')), false,
         ZipError::kInvalidArgument},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.block_temporary)
            std::filesystem::create_directory(archive + ".tmp");
        ZipWriter writer(archive);
        writer.SetPassword(kPassword);
        EXPECT_EQ(writer.AddFile(c.source, c.entry), c.error);
        if (c.block_temporary)
            std::filesystem::remove(archive + ".tmp");
        EXPECT_EQ(ReadWholeFile(archive).bytes, before);
        EXPECT_FALSE(std::filesystem::exists(archive + ".tmp"));
    }
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    EXPECT_EQ(reader.EntryCount(), 3u);
}

TEST(ZipWriter, RefusesToReplaceWhatItCannotExtendSafely) {
    ScratchDir dir;
    std::vector<RawEntry> many(0xFFFE, Stored("n", {}));
    const struct Case {
        const char* what;
        std::vector<std::uint8_t> existing;
        ZipError error;
    } cases[] = {
        {"not a zip archive", Bytes("these are someone else's bytes, not a zip"),
         ZipError::kNotZip},
        {"damaged archive", BuildArchive({Stored("a", Bytes("abc"))}, WithCount(9)),
         ZipError::kBadDirectory},
        {"zip64 archive", ReadWholeFile(TestDataPath("iz_zip64.zip")).bytes, ZipError::kNeedsZip64},
        {"archive at its entry limit", BuildArchive(many), ZipError::kNeedsZip64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.existing.empty());
        const auto archive = dir.Write("existing.zip", c.existing);
        ZipWriter writer(archive);
        EXPECT_EQ(writer.AddBytes(Bytes("data"), NewEntry("0", "")), c.error);
        EXPECT_EQ(ReadWholeFile(archive).bytes, c.existing);
        EXPECT_FALSE(std::filesystem::exists(archive + ".tmp"));
    }
}

TEST(ZipWriter, StaleTemporaryFileFromACrashIsReplaced) {
    ScratchDir dir;
    const auto archive = dir.File("s.zip");
    dir.Write("s.zip.tmp", std::string("half-written leftovers"));
    ZipWriter writer(archive);
    ASSERT_EQ(writer.AddBytes(Bytes("data"), NewEntry("0", "c")), ZipError::kNone);
    EXPECT_FALSE(FileExists(archive + ".tmp"));
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    EXPECT_EQ(reader.EntryCount(), 1u);
}

TEST(ZipBatch, WritesManyEntriesInOnePassAndLeavesOutOnesThatCannotBeRead) {
    ScratchDir dir;
    const auto archive = dir.File("session.zip");
    const auto first = WriteSession(dir, archive, kPassword);
    const auto before = ReadWholeFile(archive).bytes;
    std::vector<std::vector<std::uint8_t>> data;
    {
        ZipBatch batch(archive);
        batch.SetPassword(kPassword);
        ASSERT_EQ(batch.Open(), ZipError::kNone);
        EXPECT_EQ(batch.EntryCount(), first.size());
        for (unsigned i = 0; i < 40; ++i) {
            data.push_back(Pattern(100 + 997 * i, i));
            const auto source = dir.Write("file" + std::to_string(i), data.back());
            const auto name = std::to_string(batch.EntryCount());
            ASSERT_EQ(batch.AddFile(source, NewEntry(name, "comment " + name)), ZipError::kNone);
            if (i == 20) {
                // A source that is gone is left out; the batch goes on.
                EXPECT_EQ(batch.AddFile(dir.File("gone"), NewEntry("x", "")),
                          ZipError::kOpenFailed);
                EXPECT_EQ(batch.AddFile(dir.path().string(), NewEntry("x", "")),
                          ZipError::kOpenFailed);
            }
        }
        EXPECT_EQ(batch.AddedCount(), 40u);
        // Nothing shows before the commit.
        EXPECT_EQ(ReadWholeFile(archive).bytes, before);
        ASSERT_EQ(batch.Commit(), ZipError::kNone);
        EXPECT_EQ(batch.AddBytes(Bytes("late"), NewEntry("late", "")), ZipError::kWriteFailed);
    }
    EXPECT_FALSE(FileExists(archive + ".tmp"));
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    ASSERT_EQ(reader.EntryCount(), first.size() + data.size());
    reader.SetPassword(kPassword);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < reader.EntryCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(reader.Entry(i)->name, std::to_string(i));
        ASSERT_EQ(reader.ReadEntry(i, bytes), ZipError::kNone);
        EXPECT_EQ(bytes, i < first.size() ? first[i].data : data[i - first.size()]);
    }
}

TEST(ZipBatch, ADroppedBatchLeavesTheArchiveAndAReplacingOneKeepsOnlyItsEntries) {
    ScratchDir dir;
    const auto archive = dir.File("session.zip");
    WriteSession(dir, archive, kPassword);
    const auto before = ReadWholeFile(archive).bytes;
    {
        ZipBatch dropped(archive);
        ASSERT_EQ(dropped.AddBytes(Bytes("never"), NewEntry("3", "")), ZipError::kNone);
        EXPECT_TRUE(FileExists(archive + ".tmp"));
    }
    EXPECT_EQ(ReadWholeFile(archive).bytes, before);
    EXPECT_FALSE(FileExists(archive + ".tmp"));

    ZipBatch replacing(archive, ZipBatch::Mode::kReplace);
    replacing.SetPassword(kPassword);
    ASSERT_EQ(replacing.AddBytes(Bytes("only"), NewEntry("0", "kept one")), ZipError::kNone);
    EXPECT_EQ(replacing.EntryCount(), 1u);
    ASSERT_EQ(replacing.Commit(), ZipError::kNone);
    ZipReader reader;
    ASSERT_EQ(reader.OpenFile(archive), ZipError::kNone);
    ASSERT_EQ(reader.EntryCount(), 1u);
    EXPECT_EQ(reader.Entry(0)->comment, "kept one");
    reader.SetPassword(kPassword);
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(reader.ReadEntry(0, bytes), ZipError::kNone);
    EXPECT_EQ(bytes, Bytes("only"));
}

#ifndef _WIN32
std::string RunCommand(const std::string& command, int& status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return output;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    status = pclose(pipe);
    return output;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
#endif

// What we write opens with Python's zipfile and Info-ZIP's unzip and zipnote,
// password, names, comments and data intact. The tools exist only natively.
TEST(ZipWriter, OutsideToolsReadOurArchives) {
#ifdef _WIN32
    GTEST_SKIP() << "the outside tools run natively only";
#else
    ScratchDir dir;
    const auto archive = dir.File("20051231120000.zip");
    auto written = WriteSession(dir, archive, kPassword);
    // A name in the OEM code page, as a Windows caller may give it.
    ZipWriter writer(archive);
    writer.SetPassword(kPassword);
    written.push_back({NewEntry("caf\x82 \x81"
                                "ber.txt",
                                "\x84 comment"),
                       Pattern(7000, 4)});
    ASSERT_EQ(writer.AddBytes(written.back().data, written.back().entry), ZipError::kNone);

    int status = 0;
    const std::string listing = RunCommand(
        std::string(OLVEX_PYTHON) + " " + OLVEX_ZIP_ORACLE + " list " + archive + " " + kPassword,
        status);
    ASSERT_EQ(status, 0) << listing;
    std::string expected;
    for (const auto& w : written) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(Crc32(w.data)));
        expected += Hex(w.entry.name) + "\t" + Hex(w.entry.comment) + "\t" +
                    std::to_string(w.data.size()) + "\t" + crc + "\n";
    }
    EXPECT_EQ(listing, expected);

    RunCommand("unzip -tqq -P " + std::string(kPassword) + " " + archive + " 2>&1", status);
    EXPECT_EQ(status, 0);
    const std::string piped =
        RunCommand("unzip -p -P " + std::string(kPassword) + " " + archive + " 0", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::vector<std::uint8_t>(piped.begin(), piped.end()), written[0].data);
    RunCommand("unzip -tqq -P wrong " + archive + " >/dev/null 2>&1", status);
    EXPECT_NE(status, 0);
    const std::string notes = RunCommand("zipnote " + archive, status);
    EXPECT_EQ(status, 0);
    // zipnote shows each entry's name and comment, backslashes doubled.
    for (const auto& w : written) {
        std::string comment;
        for (const char c : w.entry.comment)
            comment += c == '\\' ? std::string("\\\\") : std::string(1, c);
        const std::string block = "@ " + w.entry.name + "\n" + comment +
                                  (comment.empty() ? "" : "\n") + "@ (comment above this line)\n";
        EXPECT_NE(notes.find(block), std::string::npos) << notes;
    }
#endif
}

}  // namespace
}  // namespace olvex

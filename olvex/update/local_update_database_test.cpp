#include "olvex/update/local_update_database.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "olvex/core/file_io.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using Entries = std::vector<LocalUpdateEntry>;

// Stands in for ExpandEnvironmentStrings: one variable, and a failure.
std::optional<std::string> FakeExpand(const std::string& path) {
    std::string out = path;
    const std::string var = "%appdir%";
    if (const auto at = out.find(var); at != std::string::npos)
        out.replace(at, var.size(), "C:\\Program Files\\Kelvan");
    if (out.find("%broken%") != std::string::npos)
        return std::nullopt;
    return out;
}

TEST(LocalUpdateDatabase, ParsesPairsOfLines) {
    struct Case {
        const char* what;
        std::string text;
        Entries entries;
    } const cases[] = {
        {"plain pairs, lower-cased and trimmed",
         "QZFile.DAT\n12\n  c:\\App\\langv5.dat \t\n 3 \n",
         {{"qzfile.dat", 12}, {"c:\\app\\langv5.dat", 3}}},
        {"CR LF line ends", "a.dat\r\n1\r\nb.dat\r\n2\r\n", {{"a.dat", 1}, {"b.dat", 2}}},
        {"an environment reference is expanded after lower-casing",
         "%APPDIR%\\QZFile.DAT\n12\n",
         {{"C:\\Program Files\\Kelvan\\qzfile.dat", 12}}},
        {"a last path without version line is not stored", "a.dat\n1\nb.dat\n", {{"a.dat", 1}}},
        {"an incupdates.inf pair is not loaded",
         "qzfile.dat\n5\nc:\\app\\INCUPDATES.INF\n9\nqzloc.dat\n5\n",
         {{"qzfile.dat", 5}, {"qzloc.dat", 5}}},
        {"blank lines do not shift the pairs",
         "\na.dat\n\n\n1\n \nb.dat\n2\n\n",
         {{"a.dat", 1}, {"b.dat", 2}}},
        {"an overlong path drops its pair, not the next one",
         std::string(256, 'p') + "\n4\nb.dat\n2\n",
         {{"b.dat", 2}}},
        {"255 characters are still a path",
         std::string(255, 'p') + "\n4\n",
         {{std::string(255, 'p'), 4}}},
        {"a failed expansion drops its pair", "%broken%\\x.dat\n1\nb.dat\n2\n", {{"b.dat", 2}}},
        {"a version is read like atoi",
         "a.dat\n-7 beta\nb.dat\nnone\n",
         {{"a.dat", -7}, {"b.dat", 0}}},
        {"a line is cut at a NUL", std::string("a.dat\0junk\n1\n", 13), {{"a.dat", 1}}},
        {"empty", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLocalUpdateDatabase(c.text, FakeExpand), c.entries) << c.what;
}

TEST(LocalUpdateDatabase, FindsByLastPathElementWithoutRegardToCase) {
    LocalUpdateDatabase db;
    ASSERT_TRUE(db.SetVersion("c:\\app\\qzfile.dat", 40));
    ASSERT_TRUE(db.SetVersion("langv5.dat", 3));

    const auto file = db.FindVersion("QZFILE.DAT");
    EXPECT_EQ(file.version, 40);
    EXPECT_EQ(file.path, "c:\\app\\qzfile.dat");
    // A bare name hands out no path: the caller uses the application folder.
    const auto lang = db.FindVersion("LangV5.dat");
    EXPECT_EQ(lang.version, 3);
    EXPECT_EQ(lang.path, "");
    EXPECT_EQ(db.FindVersion("qzloc.dat").version, -1);
    EXPECT_EQ(db.FindVersion("app\\qzfile.dat").version, -1);
}

TEST(LocalUpdateDatabase, SetVersionUpdatesAppendsAndSpreadsTheDeltaLevel) {
    LocalUpdateDatabase db;
    ASSERT_TRUE(db.SetVersion("incupdates.inf", 7));
    EXPECT_EQ(db.entries(), (Entries{{"qzfile.dat", 7}, {"qzinfo.dat", 7}, {"qzloc.dat", 7}}));

    ASSERT_TRUE(db.SetVersion("tmp\\QZINFO.DAT", 8));
    ASSERT_TRUE(db.SetVersion("Swavel.exe", 1));
    ASSERT_TRUE(db.SetVersion("IncUpdates.inf", 9));
    EXPECT_EQ(db.entries(),
              (Entries{{"qzfile.dat", 9}, {"qzinfo.dat", 9}, {"qzloc.dat", 9}, {"Swavel.exe", 1}}));

    // Names that could not be read back are refused and change nothing.
    for (const std::string& bad : {std::string(), std::string(256, 'n'), std::string("a\nb"),
                                   std::string("a\rb"), std::string("a\0b", 3)})
        EXPECT_FALSE(db.SetVersion(bad, 1));
    EXPECT_EQ(db.entries().size(), 4u);
}

TEST(LocalUpdateDatabase, SaveAndLoadRoundTripThroughTheFile) {
    ScratchDir dir;
    const auto path = dir.File("lfinfo.dat");
    LocalUpdateDatabase db;
    ASSERT_TRUE(db.SetVersion("c:\\program files\\kelvan\\qzfile.dat", 2147483647));
    ASSERT_TRUE(db.SetVersion("langv5.dat", -2));
    ASSERT_TRUE(db.SetVersion("incupdates.inf", 5));
    ASSERT_EQ(db.Save(path), 4);
    EXPECT_FALSE(FileExists(path + ".tmp"));

    const auto bytes = ReadWholeFile(path).bytes;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "c:\\program files\\kelvan\\qzfile.dat\r\n5\r\nlangv5.dat\r\n-2\r\n"
              "qzinfo.dat\r\n5\r\nqzloc.dat\r\n5\r\n");

    LocalUpdateDatabase loaded;
    ASSERT_EQ(loaded.Load(path), 4);
    EXPECT_EQ(loaded.entries(), db.entries());
    EXPECT_EQ(loaded.last_error(), "Success");
}

TEST(LocalUpdateDatabase, FailuresReportTheirText) {
    ScratchDir dir;
    LocalUpdateDatabase db;
    EXPECT_EQ(db.Load(dir.File("missing.dat")), -1);
    EXPECT_EQ(db.last_error(), kLocalUpdateLoadError);

    const auto big = dir.Write("big.dat", std::string(kMaxLocalUpdateDatabaseBytes + 1, '\n'));
    ASSERT_TRUE(db.SetVersion("a.dat", 1));
    EXPECT_EQ(db.Load(big), -1);
    EXPECT_TRUE(db.entries().empty());

    LocalUpdateDatabase writer;
    ASSERT_TRUE(writer.SetVersion("a.dat", 1));
    EXPECT_EQ(writer.Save(dir.File("no/such/folder/lfinfo.dat")), -1);
    EXPECT_EQ(writer.last_error(), kLocalUpdateSaveError);
}

}  // namespace
}  // namespace olvex

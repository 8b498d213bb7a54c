// The database as a whole: loading and its errors (the set loaded before
// stays), loading from a web folder, matching files on disk, header totals,
// cursors and the common-location walk.
#include "olvex/core/dat_database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "olvex/core/dat_test_support.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "tools/publisher/definition_writer.h"

namespace olvex {
namespace {

using testing::PublishSource;
using testing::ScratchDir;

constexpr std::string_view kGoodSet = R"(
block 2004-03-15 09:40:00
pest 1 "Alpha" "Adware"
pest 2 "Beta" "Spyware"
signature 1 crc 0xA1
cookie 2 "beta.example"
block 2004-04-01 12:00:00
pest 3 "Gamma" "Dialer"
)";

constexpr std::string_view kOtherSet = R"(
block 2004-05-01 08:00:00
pest 7 "Other" "Trojan"
signature 7 crc 0xB7
cookie 7 "other.example"
)";

std::string Join(const std::filesystem::path& folder, std::string_view name) {
    return (folder / std::string(name)).string();
}

// A "qzinfo.dat" whose only block claims two records and holds one.
std::vector<std::uint8_t> MalformedPestsFile() {
    std::vector<std::uint8_t> plain;
    AppendPestRecord(plain, {9, "Nine", "Adware", ""});
    const tools::BlockPayload block{127238172000000000ull, 2, plain};
    const auto built = tools::BuildBlockFile({&block, 1}, tools::DefinitionFileKind::kPests);
    EXPECT_TRUE(built.ok()) << built.error;
    return built.bytes;
}

TEST(DatDatabase, AFailingLoadLeavesTheLoadedSetAsItWas) {
    ScratchDir scratch;
    const std::string good = (scratch.path() / "good").string();
    PublishSource(good, kGoodSet);

    struct Case {
        const char* what;
        std::function<std::string(const std::string& folder)> prepare;  // gives the folder to load
        int code;
        std::string text;  // "<folder>" stands for the folder; empty: left as it was
    };
    const auto spoiled = [&](tools::Corruption corruption) {
        return [&, corruption](const std::string& folder) {
            tools::WriteOptions options;
            options.corruption = corruption;
            PublishSource(folder, kOtherSet, options);
            return folder;
        };
    };
    const Case cases[] = {
        {"no folder", [](const std::string&) { return std::string(); }, 4,
         "Dat file path has not been set!"},
        {"no files", [](const std::string& folder) { return folder; }, 1,
         "<folder>/qzinfo.dat does not exist."},
        {"flipped bit", spoiled(tools::Corruption::kFlipBit), 2, "<folder>/qzinfo.dat is corrupt."},
        {"other date", spoiled(tools::Corruption::kOtherDate), 3,
         "<folder>/qzinfo.dat is not compatible."},
        {"bad magic", spoiled(tools::Corruption::kBadMagic), 6,
         "<folder>/qzinfo.dat format not recognized."},
        {"no JC tag", spoiled(tools::Corruption::kNoJcTag), 18,
         "<folder>/qzinfo.dat holds a block that is not JC-compressed."},
        {"bad JC stream", spoiled(tools::Corruption::kBadJc), 19,
         "<folder>/qzinfo.dat could not be decompressed."},
        {"malformed record",
         [&](const std::string& folder) {
             PublishSource(folder, kOtherSet);
             WriteWholeFile(Join(folder, "qzinfo.dat"), MalformedPestsFile());
             return folder;
         },
         2, "<folder>/qzinfo.dat is corrupt."},
        {"only the signatures spoiled",
         [&](const std::string& folder) {
             PublishSource(folder, kOtherSet);
             // Cut short in the middle of its payload.
             const std::string path = Join(folder, "qzfile.dat");
             auto bytes = ReadWholeFile(path).bytes;
             bytes.resize(bytes.size() - 5);
             WriteWholeFile(path, bytes);
             return folder;
         },
         2, "<folder>/qzfile.dat is corrupt."},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CDatDatabase db;
        db.SetDatFolder(good);
        ASSERT_EQ(db.Load(), 0);
        const auto before = db.Snapshot();

        std::filesystem::path folder = scratch.path() / ("case" + std::to_string(n++));
        std::filesystem::create_directories(folder);
        const std::string load_from = c.prepare(folder.string());
        db.SetDatFolder(load_from);
        EXPECT_EQ(db.Load(), c.code);
        EXPECT_EQ(db.GetLastErrorCode(), c.code);
        std::string text = c.text.empty() ? "Success" : c.text;
        if (const auto at = text.find("<folder>/"); at != std::string::npos)
            text.replace(at, 9, Join(folder, ""));
        EXPECT_EQ(db.GetLastErrorText(), text);

        // Nothing of the failed set shows; the earlier one answers as before.
        EXPECT_TRUE(db.IsLoaded());
        EXPECT_EQ(db.Snapshot(), before);
        EXPECT_EQ(db.FindPest(3), (DatPestEntry{3, "Gamma", "Dialer"}));
        EXPECT_FALSE(db.FindPest(7));
        EXPECT_TRUE(db.FindFileSignatures(0xB7).empty());
        EXPECT_EQ(db.GetDatVersion(), 4040112);
    }
}

TEST(DatDatabase, LoadsAndKeepsTablesOfAFileWithoutBlocks) {
    ScratchDir scratch;
    const std::string first = (scratch.path() / "first").string();
    const std::string second = (scratch.path() / "second").string();
    PublishSource(first, kGoodSet);
    PublishSource(second, kOtherSet);
    // A header without a payload: a file that holds no block.
    DefinitionBlockHeader bare;
    bare.compatibility_date = kDefinitionsCompatibilityDate;
    const auto header = SerializeBlockHeader(bare);
    ASSERT_EQ(WriteWholeFile(Join(second, "qzinfo.dat"), header), FileError::kNone);

    CDatDatabase db;
    EXPECT_FALSE(db.IsLoaded());
    EXPECT_EQ(db.GetLastErrorText(), "Success");
    db.SetDatFolder(first + "\\\\");  // trailing separators go
    EXPECT_EQ(db.GetDatFolder(), first);
    ASSERT_EQ(db.Load(), 0);
    EXPECT_TRUE(db.IsLoaded());
    // The data version comes from the last block of "qzinfo.dat".
    EXPECT_EQ(db.GetDatVersion(), 4040112);

    // An empty file is no set: the load fails and nothing changes.
    const std::string empty = (scratch.path() / "empty").string();
    PublishSource(empty, kOtherSet);
    ASSERT_EQ(WriteWholeFile(Join(empty, "qzfile.dat"), std::vector<std::uint8_t>{}),
              FileError::kNone);
    db.SetDatFolder(empty);
    EXPECT_EQ(db.Load(), 2);
    EXPECT_EQ(db.GetLastErrorText(), Join(empty, "qzfile.dat") + " is corrupt.");
    EXPECT_EQ(db.FindFileSignatures(0xA1).size(), 1u);

    // A file without blocks leaves its tables as they were; the other files'
    // tables are replaced; the load succeeds.
    db.SetDatFolder(second);
    ASSERT_EQ(db.Load(), 0);
    EXPECT_EQ(db.FindPest(1)->name, "Alpha");
    EXPECT_FALSE(db.FindPest(7));
    EXPECT_EQ(db.FindFileSignatures(0xB7).size(), 1u);
    EXPECT_TRUE(db.FindFileSignatures(0xA1).empty());
    EXPECT_FALSE(db.FindCookie("beta.example"));
    EXPECT_EQ(db.FindCookie("other.example")->pest_id, 7);
}

TEST(DatDatabase, LoadUnlessLoadedLoadsOnce) {
    ScratchDir scratch;
    const std::string first = (scratch.path() / "first").string();
    const std::string second = (scratch.path() / "second").string();
    PublishSource(first, kGoodSet);
    PublishSource(second, kOtherSet);

    CDatDatabase db;
    // A failure leaves it unloaded, so a later call tries again.
    const auto missing = db.LoadUnlessLoaded((scratch.path() / "none").string(), nullptr);
    EXPECT_EQ(missing.code, 1);
    EXPECT_FALSE(missing.loaded_now);
    EXPECT_FALSE(db.IsLoaded());

    const auto loaded = db.LoadUnlessLoaded(first, nullptr);
    EXPECT_EQ(loaded.code, 0);
    EXPECT_TRUE(loaded.loaded_now);
    const auto again = db.LoadUnlessLoaded(second, nullptr);
    EXPECT_EQ(again.code, 0);
    EXPECT_FALSE(again.loaded_now);
    EXPECT_EQ(db.GetDatFolder(), first);
    EXPECT_TRUE(db.FindPest(1));
    EXPECT_FALSE(db.FindPest(7));
}

// Serves the files of local folders as web folders: "http://host/a" is
// folder a. Records what was asked; downloads of chosen names fail.
class FolderFetcher : public DefinitionFetcher {
  public:
    explicit FolderFetcher(std::filesystem::path root) : root_(std::move(root)) {}

    std::vector<std::string> requests;
    std::vector<std::string> failing;  // file names whose download fails

    std::optional<std::vector<std::uint8_t>> ReadHead(const std::string& url,
                                                      std::size_t max_bytes) override {
        requests.push_back("head " + url);
        auto bytes = Read(url);
        if (bytes && bytes->size() > max_bytes)
            bytes->resize(max_bytes);
        return bytes;
    }
    bool Download(const std::string& url, const std::string& path, std::string& error) override {
        requests.push_back("get " + url);
        for (const auto& name : failing) {
            if (url.ends_with("/" + name)) {
                error = "The server returned status 500.";
                return false;
            }
        }
        const auto bytes = Read(url);
        if (!bytes) {
            error = "The server returned status 404.";
            return false;
        }
        return WriteWholeFile(path, *bytes, true) == FileError::kNone;
    }

  private:
    std::optional<std::vector<std::uint8_t>> Read(const std::string& url) const {
        const std::string prefix = "http://host/";
        if (!url.starts_with(prefix))
            return std::nullopt;
        auto file = ReadWholeFile((root_ / url.substr(prefix.size())).string());
        if (!file)
            return std::nullopt;
        return std::move(file.bytes);
    }

    std::filesystem::path root_;
};

TEST(DatDatabase, LoadsFromAWebFolder) {
    ScratchDir scratch;
    const auto served = scratch.path() / "server" / "Defs";
    const auto downloads = scratch.path() / "temp";
    std::filesystem::create_directories(downloads);
    PublishSource(served.string(), kGoodSet);
    FolderFetcher fetcher(scratch.path() / "server");
    const RemoteSource remote{&fetcher, downloads.string()};
    const std::string source = "http://host/Defs";

    CDatDatabase db;
    // No local copy: the three files are fetched, keeping the address's case.
    ASSERT_EQ(db.LoadFrom(source, remote), 0);
    EXPECT_EQ(fetcher.requests,
              (std::vector<std::string>{
                  "head http://host/Defs/qzinfo.dat", "get http://host/Defs/qzinfo.dat",
                  "get http://host/Defs/qzfile.dat", "get http://host/Defs/qzloc.dat"}));
    EXPECT_EQ(db.GetDatFolder(), downloads.string());
    EXPECT_EQ(db.FindPest(3)->name, "Gamma");

    // The remote block time is not later: nothing is downloaded again.
    fetcher.requests.clear();
    ASSERT_EQ(db.LoadFrom(source, remote), 0);
    EXPECT_EQ(fetcher.requests, (std::vector<std::string>{"head http://host/Defs/qzinfo.dat"}));

    // A newer set whose second file fails: the error is the fetcher's, the
    // set loaded stays, and the new "qzinfo.dat" does not stay behind to
    // look current next time.
    PublishSource(served.string(), kOtherSet);
    fetcher.requests.clear();
    fetcher.failing = {"qzfile.dat"};
    EXPECT_EQ(db.LoadFrom(source, remote), 1);
    EXPECT_EQ(db.GetLastErrorText(), "The server returned status 500.");
    EXPECT_EQ(fetcher.requests.size(), 3u);
    EXPECT_EQ(db.FindPest(3)->name, "Gamma");
    EXPECT_FALSE(db.FindPest(7));
    EXPECT_FALSE(FileExists(Join(downloads, "qzinfo.dat")));

    // Next time the whole set comes.
    fetcher.failing.clear();
    ASSERT_EQ(db.LoadFrom(source, remote), 0);
    EXPECT_EQ(db.FindPest(7)->name, "Other");
    EXPECT_FALSE(db.FindPest(3));

    // What the download step refuses.
    EXPECT_EQ(db.FetchDefinitionFile("http://host/" + std::string(4100, 'x'), "qzinfo.dat", remote),
              5);
    EXPECT_EQ(db.GetLastErrorText(), "URL is too large. Limit 4095 bytes.");
    EXPECT_EQ(db.FetchDefinitionFile("gopher://host/Defs", "qzinfo.dat", remote), 1);
    EXPECT_EQ(db.GetLastErrorText(), "Protocol is not supported.");
    EXPECT_EQ(db.LoadFrom(source, RemoteSource{&fetcher, ""}), 4);
}

TEST(DatDatabase, BlockTimes) {
    ScratchDir scratch;
    PublishSource(scratch.path().string(), kGoodSet);
    const std::uint64_t april_first = *CalendarToFileTime({2004, 4, 1, 12, 0, 0});
    const std::uint64_t march = *CalendarToFileTime({2004, 3, 15, 9, 40, 0});
    CDatDatabase db;
    FolderFetcher fetcher(scratch.path().parent_path());
    const std::string url = "http://host/" + scratch.path().filename().string() + "/";

    // A local file gives its last block's time; a remote one its first
    // block's (only 512 bytes are asked for).
    EXPECT_EQ(db.GetBlockTime(Join(scratch.path(), "qzinfo.dat"), nullptr), april_first);
    EXPECT_EQ(db.GetBlockTime(url + "qzinfo.dat", &fetcher), march);
    EXPECT_FALSE(db.GetBlockTime(url + "missing.dat", &fetcher));
    EXPECT_FALSE(db.GetBlockTime(Join(scratch.path(), "missing.dat"), nullptr));
    // A reply that is not a definition block gives no time.
    WriteWholeFile(Join(scratch.path(), "page.html"), std::vector<std::uint8_t>(600, 'x'));
    EXPECT_FALSE(db.GetBlockTime(url + "page.html", &fetcher));
    WriteWholeFile(Join(scratch.path(), "short.dat"),
                   std::vector<std::uint8_t>{'P', 'E', 'S', 'T', 0, 0, 0, 0});
    EXPECT_FALSE(db.GetBlockTime(url + "short.dat", &fetcher));
}

TEST(DatDatabase, HeaderTotals) {
    ScratchDir scratch;
    PublishSource(scratch.path().string(), kGoodSet);
    CDatDatabase db;
    db.SetDatFolder(scratch.path().string());
    db.ReadHeaderTotals();
    EXPECT_EQ(db.GetBlockCount(), 1);
    EXPECT_EQ(db.GetDatVersion(), 4040112);
    EXPECT_GT(db.GetDeltaBytes(), 0);
    EXPECT_FALSE(db.IsLoaded());
}

TEST(DatDatabase, MatchesFilesOnDisk) {
    ScratchDir scratch;
    std::string content(5000, 'p');
    scratch.Write("pest.bin", content);
    content.back() = 'q';  // the same head, another MD5
    scratch.Write("lookalike.bin", content);
    PublishSource(scratch.path().string(), R"(
block 2004-03-15 09:40:00
pest 5 "Five" "Trojan"
pest 6 "Six" "Trojan"
signature 5 file "pest.bin"
)");
    CDatDatabase db;
    db.SetDatFolder(scratch.path().string());
    ASSERT_EQ(db.Load(), 0);
    EXPECT_EQ(db.MatchFile(scratch.File("pest.bin"))->pest_id, 5);
    EXPECT_FALSE(db.MatchFile(scratch.File("lookalike.bin")));
    EXPECT_FALSE(db.MatchFile(scratch.File("missing.bin")));
}

TEST(DatCursor, WalksAndCompares) {
    ScratchDir scratch;
    PublishSource(scratch.path().string(), R"(
block 2004-03-15 09:40:00
pest 1 "One" "Adware"
cookie 1 "one.example"
key 1 "HKEY_CURRENT_USER\Software\One"
)");
    CDatDatabase db;
    // Before any load every table is empty.
    EXPECT_EQ(db.FirstPest(), CDatDatabase::GetEndCursor());
    db.SetDatFolder(scratch.path().string());
    ASSERT_EQ(db.Load(), 0);

    DatCursor pest = db.FirstPest();
    EXPECT_NE(pest, CDatDatabase::GetEndCursor());
    EXPECT_EQ(pest, db.FirstPest());
    EXPECT_EQ(pest.GetPest(), (DatPestEntry{1, "One", "Adware"}));
    EXPECT_FALSE(pest.GetCookie());  // another table's reader
    pest.Advance();
    EXPECT_EQ(pest, CDatDatabase::GetEndCursor());
    EXPECT_FALSE(pest.GetPest());
    pest.Advance();
    EXPECT_EQ(pest, CDatDatabase::GetEndCursor());

    // The same position in two tables is not the same entry.
    EXPECT_NE(db.FirstCookie(), db.FirstKeyLocation());
    EXPECT_EQ(db.FirstPathLocation(), CDatDatabase::GetEndCursor());

    // A cursor keeps its set: a new load does not move it.
    DatCursor cookie = db.FirstCookie();
    PublishSource(
        scratch.path().string(),
        "block 2004-03-15 09:40:00\npest 1 \"One\" \"Adware\"\ncookie 1 \"two.example\"\n");
    ASSERT_EQ(db.Load(), 0);
    EXPECT_EQ(cookie.GetCookie(), (DatCookieEntry{"one.example", 1}));
    EXPECT_NE(cookie, db.FirstCookie());
}

std::vector<std::string> Walk(DatLocationWalk walk) {
    std::vector<std::string> seen;
    for (; !walk.AtEnd(); walk.Next())
        seen.push_back(std::to_string(walk.stage()) + " " + std::to_string(walk.Value()->pest_id) +
                       " " + walk.Value()->location);
    EXPECT_EQ(walk, DatLocationWalk());
    EXPECT_FALSE(walk.Value());
    return seen;
}

TEST(DatLocationWalk, CookiesThenKeysThenFilesAndFolders) {
    ScratchDir scratch;
    auto parsed = tools::ParseDefinitionSource(R"(
block 2004-03-15 09:40:00
pest 1 "One" "Adware"
folder 1 "%PROGRAM_FILES%\One"
file 1 "%PROGRAM_FILES%\One\one.exe"
key 2 "HKEY_CURRENT_USER\Software\One" value "Run" data "one.exe"
key 3 "HKEY_CURRENT_USER\Software\Two"
cookie 1 "one.example"
)",
                                               scratch.path().string(), "test");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    // A cookie name the location text cannot carry is passed over.
    parsed.set.blocks[0].locations.push_back({4, "cookie \"bad\"name\""});
    testing::PublishSet(scratch.path().string(), parsed.set);
    CDatDatabase db;
    db.SetDatFolder(scratch.path().string());
    ASSERT_EQ(db.Load(), 0);
    ASSERT_EQ(db.Snapshot()->CookieCount(), 2u);
    // Within a table the walk goes by bucket: the two keys hash into the
    // second and first of two buckets.
    EXPECT_EQ(Walk(db.FirstLocation()),
              (std::vector<std::string>{
                  R"(1 1 Cookie "one.example")",
                  R"(2 3 Key "HKEY_CURRENT_USER\Software\Two")",
                  R"(2 2 Key "HKEY_CURRENT_USER\Software\One" value "Run" data "one.exe")",
                  R"(3 1 File "%PROGRAM_FILES%\One\one.exe")",
                  R"(3 1 Folder "%PROGRAM_FILES%\One")",
              }));
}

TEST(DatLocationWalk, StartsAtTheFirstTableWithEntries) {
    ScratchDir scratch;
    PublishSource(scratch.path().string(), R"(
block 2004-03-15 09:40:00
pest 1 "One" "Adware"
file 1 "%WINDOWS%\one.exe"
)");
    CDatDatabase db;
    EXPECT_TRUE(db.FirstLocation().AtEnd());  // nothing loaded yet
    db.SetDatFolder(scratch.path().string());
    ASSERT_EQ(db.Load(), 0);
    const DatLocationWalk walk = db.FirstLocation();
    EXPECT_EQ(walk.stage(), 3);
    EXPECT_NE(walk, DatLocationWalk());
    EXPECT_EQ(Walk(walk), (std::vector<std::string>{R"(3 1 File "%WINDOWS%\one.exe")"}));

    // No location at all: the first walk is the end walk.
    ScratchDir bare;
    PublishSource(bare.path().string(), "block 2004-03-15 09:40:00\npest 1 \"One\" \"Adware\"\n");
    CDatDatabase bare_db;
    bare_db.SetDatFolder(bare.path().string());
    ASSERT_EQ(bare_db.Load(), 0);
    EXPECT_EQ(bare_db.FirstLocation().stage(), 0);
    EXPECT_EQ(bare_db.FirstLocation(), DatLocationWalk());
}

}  // namespace
}  // namespace olvex

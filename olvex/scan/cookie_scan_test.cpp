// The cookie folder walk over an in-memory folder, with the real cookie check
// against published definitions: which files are cookies of a known pest,
// the events around each, the user's stop, and folders that are missing or
// refuse access.
#include "olvex/scan/cookie_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "olvex/scan/file_scan.h"
#include "olvex/scan/scan_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using scan_test::FakeTree;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr char kFolder[] = "C:\\Documents and Settings\\bob\\Cookies";

class FakeProbe : public PathProbe {
  public:
    std::map<std::string, PathState> states;
    PathState Probe(const std::string& path) override {
        const auto found = states.find(path);
        return found == states.end() ? PathState::kMissing : found->second;
    }
};

class CookieScanTest : public ::testing::Test {
  protected:
    CookieScanTest()
        : environment_((scratch_.path() / "tmp").string(), '/'),
          filters_(MultiByteText::SingleByte()) {
        database_ = scan_test::LoadDefinitions((scratch_.path() / "defs").string(),
                                               "block 2004-03-15 09:40:00\n"
                                               "pest 1003 \"Cookie\" \"Tracking Cookie\"\n"
                                               "cookie 1003 \"tracker.example\"\n");
        filters_.Parse("*.*");
        settings_.filters = &filters_;
        tree_.AddFolder(kFolder);
        probe_.states[kFolder] = PathState::kPresent;
    }

    std::string In(const std::string& name) const { return std::string(kFolder) + "\\" + name; }

    bool Scan(const std::string& folder = kFolder) {
        ScanReporter reporter(&events_, nullptr, detected_);
        FileScanner files(reporter, *database_, settings_, environment_,
                          MultiByteText::SingleByte());
        return ScanCookieFolder(folder, probe_, tree_, reporter, MultiByteText::SingleByte(),
                                [&](const std::string& path) { files.CheckCookieFile(path); });
    }

    testing::ScratchDir scratch_;
    FolderArchiveEnvironment environment_;
    ScanFilterList filters_;
    FileScanSettings settings_;
    std::unique_ptr<CDatDatabase> database_;
    FakeTree tree_;
    FakeProbe probe_;
    RecordingEvents events_;
    DetectedItems detected_;
};

TEST_F(CookieScanTest, KnownSitesAreReportedWithTheLowerCasedName) {
    tree_.AddFile(In("Bob@Tracker.Example[2].txt"));
    // Without "[", the site ends at the last ".".
    tree_.AddFile(In("bob@tracker.example.txt"));
    tree_.AddFile(In("bob@clean.example[1].txt"));
    // Without "@" there is no site.
    tree_.AddFile(In("tracker.example.txt"));
    // Not a "*.txt" file.
    tree_.AddFile(In("bob@tracker.example[3].dat"));
    // A folder is passed over and not entered.
    tree_.AddFolder(In("bob@tracker.example[4].txt"));
    tree_.AddFile(In("bob@tracker.example[4].txt\\bob@tracker.example[5].txt"));

    EXPECT_TRUE(Scan());
    const auto found = [&](const std::string& name) {
        return "PestDetected 1003 Cookie \"tracker.example\" File \"" + In(name) + "\"";
    };
    const std::string check = "VerboseInformation IScanner::DetectWithExclusionCheck invoked.";
    EXPECT_THAT(events_.lines,
                ElementsAreArray(std::vector<std::string>{
                    "ShouldScanContinue",  // .
                    "ShouldScanContinue",  // ..
                    "ShouldScanContinue",
                    "StartingItem bob@clean.example[1].txt",
                    "FinishedItem bob@clean.example[1].txt",
                    "ShouldScanContinue",
                    "StartingItem bob@tracker.example.txt",
                    check,
                    found("bob@tracker.example.txt"),
                    "FinishedItem bob@tracker.example.txt",
                    "ShouldScanContinue",
                    "StartingItem bob@tracker.example[2].txt",
                    check,
                    found("bob@tracker.example[2].txt"),
                    "FinishedItem bob@tracker.example[2].txt",
                    "ShouldScanContinue",  // the folder
                    "ShouldScanContinue",
                    "StartingItem tracker.example.txt",
                    "FinishedItem tracker.example.txt",
                }));
    EXPECT_THAT(tree_.listed, ElementsAre(std::string(kFolder) + "\\*.txt"));
}

TEST_F(CookieScanTest, AStopEndsTheWalkWithoutScanAborted) {
    tree_.AddFile(In("bob@tracker.example[1].txt"));
    tree_.AddFile(In("bob@tracker.example[2].txt"));
    events_.should_continue = [](int question) { return question <= 3; };
    EXPECT_TRUE(Scan());
    EXPECT_THAT(events_.Only({"StartingItem", "ScanAborted", "FinishedItem"}),
                ElementsAre("StartingItem bob@tracker.example[1].txt",
                            "FinishedItem bob@tracker.example[1].txt"));
    EXPECT_EQ(events_.lines.back(), "ShouldScanContinue");
}

TEST_F(CookieScanTest, MissingAndRefusingFolders) {
    // Missing: nothing to scan, and no failure.
    EXPECT_TRUE(Scan("C:\\Nowhere"));
    EXPECT_THAT(events_.lines, IsEmpty());
    // Refusing: the one failure, before anything is listed.
    probe_.states[kFolder] = PathState::kAccessDenied;
    tree_.AddFile(In("bob@tracker.example[1].txt"));
    EXPECT_FALSE(Scan());
    EXPECT_THAT(events_.lines, IsEmpty());
    // An empty folder text would list the drive's root: nothing is listed.
    const std::size_t listed = tree_.listed.size();
    EXPECT_TRUE(Scan(""));
    EXPECT_EQ(tree_.listed.size(), listed);
}

TEST_F(CookieScanTest, EveryProfilesFolderIsScannedEvenAfterOneRefuses) {
    const std::map<std::string, std::string> profiles = {
        {"S-1-5-21-1-1001", "C:\\Profiles\\alice"},
        {"S-1-5-21-1-1002", "C:\\Profiles\\bob"},
        {"S-1-5-21-1-1003", "C:\\Profiles\\carol\\"},  // trailing backslash
        {"S-1-5-21-1-1004", ""},                       // no folder: passed over
    };
    for (const char* user : {"alice", "bob", "carol"}) {
        const std::string folder = std::string("C:\\Profiles\\") + user + "\\cookies";
        tree_.AddFolder(folder);
        tree_.AddFile(folder + "\\" + user + "@tracker.example[1].txt");
        probe_.states[folder] = PathState::kPresent;
    }
    probe_.states["C:\\Profiles\\bob\\cookies"] = PathState::kAccessDenied;

    ScanReporter reporter(&events_, nullptr, detected_);
    FileScanner files(reporter, *database_, settings_, environment_, MultiByteText::SingleByte());
    EXPECT_FALSE(
        ScanProfileCookieFolders(profiles, probe_, tree_, reporter, MultiByteText::SingleByte(),
                                 [&](const std::string& path) { files.CheckCookieFile(path); }));
    EXPECT_THAT(events_.Only({"PestDetected"}),
                ElementsAre("PestDetected 1003 Cookie \"tracker.example\" File "
                            "\"C:\\Profiles\\alice\\cookies\\alice@tracker.example[1].txt\"",
                            "PestDetected 1003 Cookie \"tracker.example\" File "
                            "\"C:\\Profiles\\carol\\cookies\\carol@tracker.example[1].txt\""));
    EXPECT_THAT(tree_.listed, ElementsAre("C:\\Profiles\\alice\\cookies\\*.txt",
                                          "C:\\Profiles\\carol\\cookies\\*.txt"));

    // With every folder readable the answer is true.
    probe_.states["C:\\Profiles\\bob\\cookies"] = PathState::kPresent;
    EXPECT_TRUE(ScanProfileCookieFolders(profiles, probe_, tree_, reporter,
                                         MultiByteText::SingleByte(), [](const std::string&) {}));
}

}  // namespace
}  // namespace olvex

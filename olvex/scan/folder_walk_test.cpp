// The folder walk over an in-memory tree: the event sequence against a
// golden list, recursion, trailing backslash and file patterns, exclusions,
// the user's stop at every level, reparse points and a very deep tree.
#include "olvex/scan/folder_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "olvex/scan/scan_test_support.h"

namespace olvex {
namespace {

using scan_test::FakeExclusions;
using scan_test::FakeTree;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;

class FolderWalkTest : public ::testing::Test {
  protected:
    FolderWalkTest() {
        tree_.AddFolder("C:\\T");
        tree_.AddFile("C:\\T\\a.exe");
        tree_.AddFile("C:\\T\\b.txt");
        tree_.AddFile("C:\\T\\f.lnk", /*reparse_point=*/true);
        tree_.AddFolder("C:\\T\\link", /*reparse_point=*/true);
        tree_.AddFile("C:\\T\\link\\x.exe");
        tree_.AddFolder("C:\\T\\s");
        tree_.AddFile("C:\\T\\s\\c.exe");
        tree_.AddFile("C:\\T\\z.exe");
    }

    std::size_t Walk(const std::string& folder, bool recurse,
                     ExclusionCheck* exclusions = nullptr) {
        ScanReporter reporter(&events_, exclusions, detected_);
        return WalkFolder(
            folder, recurse, tree_, reporter, MultiByteText::SingleByte(),
            [&](const std::string& path) { events_.lines.push_back("scan " + path); });
    }

    std::vector<std::string> Scanned() const { return events_.Only({"scan "}); }

    FakeTree tree_;
    RecordingEvents events_;
    DetectedItems detected_;
};

TEST_F(FolderWalkTest, EventSequenceOfASmallTree) {
    EXPECT_EQ(Walk("C:\\T", true), 4u);
    EXPECT_THAT(
        events_.lines,
        ElementsAre("StartingItem Folder \"C:\\T\"",  //
                    "ShouldScanContinue",             // .
                    "ShouldScanContinue",             // ..
                    "ShouldScanContinue", "scan C:\\T\\a.exe", "ShouldScanContinue",
                    "scan C:\\T\\b.txt",
                    "ShouldScanContinue",  // f.lnk, a reparse point: passed over
                    "ShouldScanContinue",  // link, likewise
                    "ShouldScanContinue",  // s
                    "StartingItem Folder \"C:\\T\\s\"", "ShouldScanContinue", "ShouldScanContinue",
                    "ShouldScanContinue", "scan C:\\T\\s\\c.exe",
                    "FinishedItem Folder \"C:\\T\\s\"",  //
                    "ShouldScanContinue", "scan C:\\T\\z.exe", "FinishedItem Folder \"C:\\T\""));
}

TEST_F(FolderWalkTest, RecursionTrailingBackslashAndPatterns) {
    EXPECT_EQ(Walk("C:\\T", false), 3u);
    EXPECT_THAT(Scanned(),
                ElementsAre("scan C:\\T\\a.exe", "scan C:\\T\\b.txt", "scan C:\\T\\z.exe"));

    // A trailing backslash walks the same files; the folder's own location
    // keeps the text as given.
    events_.lines.clear();
    Walk("C:\\T\\", true);
    EXPECT_THAT(Scanned(), ElementsAre("scan C:\\T\\a.exe", "scan C:\\T\\b.txt",
                                       "scan C:\\T\\s\\c.exe", "scan C:\\T\\z.exe"));
    EXPECT_EQ(events_.lines.front(), "StartingItem Folder \"C:\\T\\\"");

    // A file pattern lists only what matches, in the folder before it.
    events_.lines.clear();
    Walk("C:\\T\\*.exe", false);
    EXPECT_THAT(Scanned(), ElementsAre("scan C:\\T\\a.exe", "scan C:\\T\\z.exe"));
    // So does the path of one file.
    events_.lines.clear();
    Walk("C:\\T\\b.txt", false);
    EXPECT_THAT(Scanned(), ElementsAre("scan C:\\T\\b.txt"));
}

TEST_F(FolderWalkTest, FoldersThatCannotBeListedStillGetTheirPair) {
    EXPECT_EQ(Walk("C:\\missing", true), 0u);
    EXPECT_THAT(events_.lines, ElementsAre("StartingItem Folder \"C:\\missing\"",
                                           "FinishedItem Folder \"C:\\missing\""));
    // An empty text names no folder: nothing is listed (not the drive root).
    events_.lines.clear();
    tree_.listed.clear();
    Walk("", true);
    EXPECT_TRUE(tree_.listed.empty());
}

TEST_F(FolderWalkTest, ExcludedFoldersGiveNoEvents) {
    FakeExclusions exclusions;
    exclusions.folders = {"C:\\T\\s"};
    Walk("C:\\T", true, &exclusions);
    EXPECT_THAT(
        events_.Only({"StartingItem", "FinishedItem", "scan"}),
        ElementsAre("StartingItem Folder \"C:\\T\"", "scan C:\\T\\a.exe", "scan C:\\T\\b.txt",
                    "scan C:\\T\\z.exe", "FinishedItem Folder \"C:\\T\""));
    events_.lines.clear();
    exclusions.folders = {"C:\\T"};
    EXPECT_EQ(Walk("C:\\T", true, &exclusions), 0u);
    EXPECT_TRUE(events_.lines.empty());
}

TEST_F(FolderWalkTest, StopEndsEachLevelWithItsOwnPair) {
    // Questions 1-7 are the top folder's up to s; 8-10 are s's entries.
    events_.should_continue = [](int question) { return question < 9; };
    Walk("C:\\T", true);
    EXPECT_THAT(events_.Only({"StartingItem", "FinishedItem", "ScanAborted", "scan"}),
                ElementsAre("StartingItem Folder \"C:\\T\"", "scan C:\\T\\a.exe",
                            "scan C:\\T\\b.txt", "StartingItem Folder \"C:\\T\\s\"",
                            "FinishedItem Folder \"C:\\T\\s\"", "ScanAborted Aborted by user.",
                            "FinishedItem Folder \"C:\\T\"", "ScanAborted Aborted by user."));
}

TEST_F(FolderWalkTest, ClientThatChangesItsMindResumesTheParent) {
    // Only question 9 (inside s) says stop: the top folder goes on.
    events_.should_continue = [](int question) { return question != 9; };
    Walk("C:\\T", true);
    EXPECT_THAT(Scanned(),
                ElementsAre("scan C:\\T\\a.exe", "scan C:\\T\\b.txt", "scan C:\\T\\z.exe"));
    EXPECT_EQ(events_.Only({"ScanAborted"}).size(), 1u);
}

TEST(FolderWalkDepthTest, ThreeHundredLevelsEndWithinThePathLimit) {
    FakeTree tree;
    std::string path = "C:\\D";
    tree.AddFolder(path);
    for (int level = 0; level < 300; ++level) {
        tree.AddFile(path + "\\f.exe");
        path += "\\d";
        tree.AddFolder(path);
    }
    RecordingEvents events;
    events.record_questions = false;
    DetectedItems detected;
    ScanReporter reporter(&events, nullptr, detected);
    const std::size_t files = WalkFolder("C:\\D", true, tree, reporter, MultiByteText::SingleByte(),
                                         [](const std::string&) {});
    // Every folder whose search pattern fits is listed; the first one that
    // does not is reported and left, and nothing below it is reached.
    for (const auto& pattern : tree.listed)
        EXPECT_LE(pattern.size(), kMaxSearchPatternLength);
    EXPECT_EQ(files, tree.listed.size());
    EXPECT_GT(files, 100u);
    const auto starts = events.Only({"StartingItem"}).size();
    EXPECT_EQ(starts, files + 1);
    EXPECT_EQ(events.Only({"FinishedItem"}).size(), starts);
}

}  // namespace
}  // namespace olvex

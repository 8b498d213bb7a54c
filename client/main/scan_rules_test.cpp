#include "client/main/scan_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace olvex {
namespace {

// Records the calls of a scan and fails the steps it is told to.
class RecordingSteps : public ScanSteps {
  public:
    std::set<std::string> failing;
    std::vector<std::string> calls;

    bool ScanMemory() override { return Step("memory"); }
    bool ScanRegistry() override { return Step("registry"); }
    bool ScanCookies() override { return Step("cookies"); }
    bool ScanCommonLocations() override { return Step("common"); }
    bool ScanFolder(const std::string& path) override { return Step("folder " + path); }
    void ReportFailure(unsigned id) override { calls.push_back("message " + std::to_string(id)); }

  private:
    bool Step(const std::string& name) {
        calls.push_back(name);
        return failing.count(name) == 0;
    }
};

TEST(ScanSequence, RunsTheChosenStepsInOrderAndGoesOnAfterEachFailure) {
    const std::vector<std::string> folders = {"C:\\a", "T:\\missing", "T:\\custom"};
    struct Case {
        const char* name;
        ScanChoice choice;
        std::set<std::string> failing;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"standard",
         StandardScanChoice(false),
         {},
         {"memory", "registry", "cookies", "common"}},
        {"custom, second folder fails once",
         StandardScanChoice(true),
         {"folder T:\\missing"},
         {"memory", "registry", "cookies", "common", "folder C:\\a", "folder T:\\missing",
          "message 159", "folder T:\\custom"}},
        {"every standard step fails",
         StandardScanChoice(false),
         {"memory", "registry", "cookies", "common"},
         {"memory", "message 155", "registry", "message 157", "cookies", "message 156", "common",
          "message 158"}},
        {"nothing chosen", ScanChoice{}, {}, {}},
        {"folders only", ScanChoice{false, false, false, false, true}, {},
         {"folder C:\\a", "folder T:\\missing", "folder T:\\custom"}},
    };
    for (const Case& c : cases) {
        RecordingSteps steps;
        steps.failing = c.failing;
        RunScanSequence(steps, c.choice, folders);
        EXPECT_EQ(steps.calls, c.expected) << c.name;
    }
}

TEST(ScanDialogControls, FollowTheStateTable) {
    struct Case {
        bool scanning, listed, limited;
        ScanControls expected;
    };
    // scan now shown/enabled, stop shown/enabled, close, tree, select all,
    // quarantine, exclude
    const std::vector<Case> cases = {
        {true, false, false, {false, false, true, true, false, false, false, false, false}},
        {true, true, true, {false, false, true, true, false, false, false, false, false}},
        {false, true, false, {true, true, false, false, true, true, true, true, false}},
        {false, true, true, {true, true, false, false, true, true, false, false, false}},
        {false, false, false, {true, true, false, false, true, false, false, false, false}},
    };
    for (const Case& c : cases) {
        const ScanControls got = ScanControlsFor(c.scanning, c.listed, c.limited);
        const ScanControls& e = c.expected;
        const auto row = [](const ScanControls& s) {
            return std::vector<bool>{s.scan_now_shown,  s.scan_now_enabled,   s.stop_shown,
                                     s.stop_enabled,    s.close_enabled,      s.tree_enabled,
                                     s.select_all_enabled, s.quarantine_enabled,
                                     s.exclude_enabled};
        };
        EXPECT_EQ(row(got), row(e)) << c.scanning << c.listed << c.limited;
    }
}

TEST(ResultItemText, KindColonValue) {
    EXPECT_EQ(ResultItemText("Unknown type", "x|y"), "Unknown type: x|y");
}

TEST(CountText, GroupsDigitsTheWayTheNumberFormatSays) {
    struct Case {
        std::uint64_t count;
        unsigned grouping;
        const char* separator;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {1234567, 3, ",", "1,234,567"},   {0, 3, ",", "0"},
        {999, 3, ",", "999"},             {1000, 3, ".", "1.000"},
        {1234567, 32, ",", "12,34,567"},  {1234567, 30, ",", "1234,567"},
        {1234567, 0, ",", "1234567"},     {4294967295u, 3, "\xa0", "4\xa0" "294\xa0" "967\xa0" "295"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GroupDigits(c.count, c.grouping, c.separator), c.expected)
            << c.count << " " << c.grouping;
}

TEST(ProgressThrottle, ShowsAtMostOncePerIntervalAcrossAWrap) {
    ProgressThrottle throttle;
    // The very first report after start-up, at tick 100, shows.
    EXPECT_TRUE(throttle.ShouldShow(100));
    EXPECT_FALSE(throttle.ShouldShow(150));
    EXPECT_FALSE(throttle.ShouldShow(199));
    EXPECT_TRUE(throttle.ShouldShow(200));
    ProgressThrottle wrapping;
    EXPECT_TRUE(wrapping.ShouldShow(0xFFFFFFF0u));
    EXPECT_FALSE(wrapping.ShouldShow(0x00000010u));  // 32 ms later
    EXPECT_TRUE(wrapping.ShouldShow(0x00000060u));   // 112 ms later
}

TEST(DriveTree, FullPathsTakeOneBackslashAfterEachAncestor) {
    EXPECT_EQ(FullTreePath({"C:\\"}), "C:\\");
    EXPECT_EQ(FullTreePath({"C:\\", "windows", "system32"}), "C:\\windows\\system32");
    EXPECT_EQ(FullTreePath({"T:\\", "custom"}), "T:\\custom");
}

TEST(DriveTree, OnlyACheckedItemUnderACheckedParentRefusesItsClick) {
    EXPECT_TRUE(CheckClickRefused(true, true));
    EXPECT_FALSE(CheckClickRefused(true, false));
    EXPECT_FALSE(CheckClickRefused(false, true));
    EXPECT_FALSE(CheckClickRefused(false, false));
}

TEST(DriveTree, SyncKeepsMatchesRemovesTheGoneAndAddsTheNew) {
    const FolderSync sync =
        SyncFolderChildren({"Alpha", "gone", "Beta", ""}, {"alpha", "BETA", "new"});
    EXPECT_EQ(sync.removed, (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(sync.added, (std::vector<std::string>{"new"}));
    const FolderSync empty = SyncFolderChildren({}, {});
    EXPECT_TRUE(empty.removed.empty());
    EXPECT_TRUE(empty.added.empty());
    // Two children of one name: the second has no folder left to match.
    EXPECT_EQ(SyncFolderChildren({"a", "A"}, {"a"}).removed, (std::vector<std::size_t>{1}));
}

DriveTreeNode Folder(std::string path, bool checked, std::vector<DriveTreeNode> children = {}) {
    return {std::move(path), checked, std::move(children)};
}

TEST(DriveTree, CustomFoldersAreCollectedDepthFirstTopmostCheckedOnly) {
    // C:\ with a checked folder two levels down, D:\ checked with a checked
    // child, E:\ with checked folders two levels and one level down.
    const std::vector<DriveTreeNode> drives = {
        Folder("C:\\", false,
               {Folder("C:\\a", false, {Folder("C:\\a\\deep", true)}), Folder("C:\\b", false)}),
        Folder("D:\\", true, {Folder("D:\\x", true)}),
        Folder("E:\\", false,
               {Folder("E:\\far", false, {Folder("E:\\far\\x", true)}), Folder("E:\\near", true)}),
    };
    // Walked breadth first, D:\ and E:\near would come before C:\a\deep,
    // and E:\near before E:\far\x.
    EXPECT_EQ(CollectCheckedFolders(drives),
              (std::vector<std::string>{"C:\\a\\deep", "D:\\", "E:\\far\\x", "E:\\near"}));
    EXPECT_TRUE(CollectCheckedFolders({Folder("C:\\", false, {Folder("C:\\a", false)})}).empty());
    EXPECT_TRUE(CollectCheckedFolders({}).empty());
}

}  // namespace
}  // namespace olvex

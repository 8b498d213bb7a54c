#include "client/main/cleaning_rules.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace olvex {
namespace {

// Kinds by the location's first word, places by the rest in lower case (as
// the engine's comparable places put spellings of one place together);
// records the removals and fails those it is told to.
class RecordingRemoval : public PestRemoval {
  public:
    std::set<std::string> failing;
    std::vector<std::string> removed;

    LocationPlace PlaceOf(const std::string& location) override {
        static const std::map<std::string, LocationKind> kinds = {
            {"process", LocationKind::kProcess},
            {"cookie", LocationKind::kCookie},
            {"file", LocationKind::kFile},
            {"folder", LocationKind::kFolder},
            {"key", LocationKind::kRegistryItem}};
        const std::size_t blank = location.find(' ');
        const auto found = kinds.find(location.substr(0, blank));
        std::string place = blank == std::string::npos ? std::string() : location.substr(blank + 1);
        for (char& c : place)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return {found == kinds.end() ? LocationKind::kNone : found->second, place};
    }
    bool Remove(std::int32_t pest_id, const std::string& location, LocationKind) override {
        removed.push_back(std::to_string(pest_id) + " " + location);
        return failing.count(location) == 0;
    }
};

TEST(CleaningRemoval, FivePassesByKindEachLocationOnceAndTheOutcomeOfThePest) {
    struct Case {
        const char* name;
        std::vector<std::string> locations;
        std::set<std::string> failing;
        std::vector<std::string> removed;
        bool outcome;
    };
    const std::vector<Case> cases = {
        {"process before file before key, whatever the listed order",
         {"key a", "file b", "process c"},
         {},
         {"7 process c", "7 file b", "7 key a"},
         true},
        {"all five kinds",
         {"key k", "folder d", "file f", "cookie c", "process p"},
         {},
         {"7 process p", "7 cookie c", "7 file f", "7 folder d", "7 key k"},
         true},
        {"a file that cannot go: the key is still removed, the pest stays",
         {"file locked", "key a"},
         {"file locked"},
         {"7 file locked", "7 key a"},
         false},
        {"a location reported twice is removed once",
         {"file a", "file a", "file b"},
         {},
         {"7 file a", "7 file b"},
         true},
        {"one file in two spellings is removed once, as first reported",
         {"file c:\\program files\\x\\alpha.exe", "file C:\\Program Files\\x\\alpha.exe", "key a"},
         {},
         {"7 file c:\\program files\\x\\alpha.exe", "7 key a"},
         true},
        {"a file and a folder of one path are two places",
         {"folder c:\\x", "file c:\\x"},
         {},
         {"7 file c:\\x", "7 folder c:\\x"},
         true},
        {"a location of no kind is passed over", {"other x", "file a"}, {}, {"7 file a"}, true},
        {"no location at all", {}, {}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRemoval removal;
        removal.failing = c.failing;
        const DetectedPest pest{7, "Pest", "Adware", c.locations};
        EXPECT_EQ(RemoveDetectedPest(pest, removal), c.outcome);
        EXPECT_EQ(removal.removed, c.removed);
    }
}

TEST(CleaningRemoval, CookiesAreLoggedDeletedEverythingElseQuarantined) {
    EXPECT_EQ(RemovalActionId(LocationKind::kCookie), 189u);
    for (const LocationKind kind : {LocationKind::kProcess, LocationKind::kFile,
                                    LocationKind::kFolder, LocationKind::kRegistryItem})
        EXPECT_EQ(RemovalActionId(kind), 190u);
}

TEST(CleaningRoots, SameNamedPestsUnderOneRootAreEachHandledAndOnlyTheirChildrenGo) {
    // Root data 4003 (the first id); children of 4003, 4004, 4003.
    const std::vector<std::int32_t> children = {4003, 4004, 4003};
    EXPECT_EQ(PestIdsUnderRoot(4003, children), (std::vector<std::int32_t>{4003, 4004}));
    EXPECT_EQ(PestIdsUnderRoot(9, {}), (std::vector<std::int32_t>{9}));

    struct Case {
        const char* name;
        std::vector<std::int32_t> handled;
        std::vector<std::size_t> children_gone;
        bool root_gone;
    };
    const std::vector<Case> cases = {
        {"both handled: everything goes", {4003, 4004}, {0, 1, 2}, true},
        {"only the second: its child goes, the root stays", {4004}, {1}, false},
        {"only the first: its two children go", {4003}, {0, 2}, false},
        {"none handled: all stays", {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RootPruning pruning = PruneRoot(children, c.handled);
        EXPECT_EQ(pruning.children, c.children_gone);
        EXPECT_EQ(pruning.root, c.root_gone);
    }
    // A root without children goes once its pest is handled.
    EXPECT_TRUE(PruneRoot({}, {9}).root);
}

TEST(PestInfoAddress, GroupAndPageNameFromThePestName) {
    const std::string base = "http://pests.example.com/pestinfo/";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"2nd Thought Dialer!", "other/2nd_thought_dialer_.asp"},
        {"Aurora", "a/aurora.asp"},
        {"2nd Thing", "other/2nd_thing.asp"},
        {"Alpha Bar", "a/alpha_bar.asp"},
        {"  Zed@Home#1$&-_ \t", "z/zed@home#1$&-_.asp"},
        {"", "other/.asp"},
        {"   ", "other/.asp"},
        {"_under", "other/_under.asp"},
        {"Caf\xe9", "c/caf_.asp"},
        {"a/../b?x=1", "a/a____b_x_1.asp"},
    };
    for (const auto& [name, tail] : cases)
        EXPECT_EQ(PestInfoAddress(base, name), base + tail) << name;
}

}  // namespace
}  // namespace olvex

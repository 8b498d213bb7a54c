#include "olvex/update/delta_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

struct Group {
    int base;
    int target;
    unsigned size;
    std::vector<std::string> urls = {};  // default: the three stems
};

std::string Url(const std::string& stem, int target) {
    return "http://127.0.0.1/deltas/" + std::to_string(target) + "/" + stem + ".dat";
}

std::string Index(const std::vector<Group>& groups, const std::string& count = "") {
    std::string text;
    for (int line = 1; line <= 9; ++line)
        text += (line == 8 ? (count.empty() ? std::to_string(groups.size()) : count)
                           : "header " + std::to_string(line)) +
                "\r\n";
    for (const auto& g : groups) {
        text += std::to_string(g.base) + "\r\n" + std::to_string(g.target) + "\r\n" +
                std::to_string(g.size) + "\r\n";
        const std::vector<std::string> urls =
            g.urls.empty()
                ? std::vector<std::string>{Url("qzfile", g.target), Url("qzinfo", g.target),
                                           Url("qzloc", g.target)}
                : g.urls;
        for (std::size_t f = 0; f < 3; ++f)
            text += urls[f] + "\r\n-" + std::to_string(f + 1) + "\r\n" +
                    std::to_string(g.size / 3) + "\r\n";
    }
    return text;
}

DeltaIndex Parsed(const std::string& text) {
    auto parse = ParseDeltaIndex(text);
    EXPECT_TRUE(parse);
    return parse.index;
}

TEST(DeltaIndex, ReadsHeaderCountAndGroups) {
    const auto index = Parsed(Index({{11, 12, 300}, {10, 11, 600}}));
    EXPECT_EQ(index.declared_groups, 2);
    EXPECT_FALSE(index.cut_short);
    ASSERT_EQ(index.groups.size(), 2u);
    const auto& g = index.groups[1];
    EXPECT_EQ(g.base_version, 10);
    EXPECT_EQ(g.target_version, 11);
    EXPECT_EQ(g.size, 600u);
    EXPECT_EQ(g.files[1].url, Url("qzinfo", 11));
    EXPECT_EQ(g.files[1].check_value, 0xFFFFFFFEu);
    EXPECT_EQ(g.files[2].size, 200u);
}

TEST(DeltaIndex, ShortAndCutShortTexts) {
    const std::string nine = Index({});
    EXPECT_EQ(ParseDeltaIndex(nine.substr(0, nine.rfind("header 9"))).error,
              DeltaIndexError::kShortHeader);
    EXPECT_EQ(ParseDeltaIndex("").error, DeltaIndexError::kShortHeader);

    // Three groups declared, two and a half present.
    std::string text = Index({{3, 4, 30}, {2, 3, 30}, {1, 2, 30}}, "3");
    text.resize(text.size() - 20);
    auto index = Parsed(text);
    EXPECT_EQ(index.groups.size(), 2u);
    EXPECT_TRUE(index.cut_short);

    // A count that is no number, or negative, gives no groups; a huge one
    // reads what is there.
    EXPECT_TRUE(Parsed(Index({{1, 2, 3}}, "many")).groups.empty());
    EXPECT_TRUE(Parsed(Index({{1, 2, 3}}, "-4")).groups.empty());
    index = Parsed(Index({{1, 2, 3}}, "2147483647"));
    EXPECT_EQ(index.groups.size(), 1u);
    EXPECT_TRUE(index.cut_short);

    // A group with an unusable URL ends the reading there.
    index = Parsed(
        Index({{2, 3, 9}, {1, 2, 9, {Url("qzfile", 2), std::string(4096, 'u'), Url("qzloc", 2)}}}));
    EXPECT_EQ(index.groups.size(), 1u);
    EXPECT_TRUE(index.cut_short);

    std::string big = Index({});
    big.resize(kMaxDeltaIndexBytes + 1, ' ');
    EXPECT_EQ(ParseDeltaIndex(big).error, DeltaIndexError::kTooLarge);
}

TEST(DeltaIndex, DeltaFileNameInsertsTheTargetVersion) {
    struct Case {
        std::string url;
        int target;
        std::optional<std::string> name;
    } const cases[] = {
        {"http://h/d/qzfile.dat", 7, "qzfile7.dat"},
        {"qzloc.dat", 12, "qzloc12.dat"},
        {"http://h/qzinfo.v2.dat", 3, "qzinfo.v23.dat"},
        {"http://h/a.b/qzloc.dat", -1, "qzloc-1.dat"},
        {"http://h/qzfile", 7, std::nullopt},
        {"http://h/", 7, std::nullopt},
        {"http://h/qzloc.dat?x=1", 7, std::nullopt},
        {"http://h/x\\..\\qzfile.dat", 7, std::nullopt},
        {"http://h/C:qzfile.dat", 7, std::nullopt},
        {"http://h/nul.dat", 7, "nul7.dat"},
        {"http://h/con.", 7, std::nullopt},
        {"http://h/" + std::string(251, 'q') + ".dat", 7, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeltaFileName(c.url, c.target), c.name) << c.url;
}

TEST(DeltaIndex, PlanFollowsTheChainDownToTheInstalledVersion) {
    const DeltaChainInput roomy{.installed_version = 10,
                                .appended_delta_bytes = 0,
                                .max_delta_bytes = 1'000'000,
                                .whole_file_bytes = 900'000,
                                .delta_entry_version = 77};
    struct Case {
        const char* what;
        std::vector<Group> groups;
        DeltaChainInput input;
        std::optional<std::uint64_t> bytes;  // nullopt: the delta route fails
        std::size_t files = 0;
    } const cases[] = {
        {"first group starts at the installed version", {{10, 11, 3000}}, roomy, 3000, 3},
        {"two groups down to it", {{11, 12, 600}, {10, 11, 3000}}, roomy, 3600, 6},
        {"stops at the installed version", {{10, 11, 30}, {9, 10, 3000}}, roomy, 30, 3},
        {"budget too small",
         {{10, 11, 3000}},
         [&] {
             auto in = roomy;
             in.max_delta_bytes = 2999;
             return in;
         }(),
         std::nullopt},
        {"budget counts appended deltas: just enough",
         {{10, 11, 3000}},
         [&] {
             auto in = roomy;
             in.max_delta_bytes = 5000;
             in.appended_delta_bytes = 2000;
             return in;
         }(),
         3000,
         3},
        {"budget counts appended deltas: one byte short",
         {{10, 11, 3000}},
         [&] {
             auto in = roomy;
             in.max_delta_bytes = 4999;
             in.appended_delta_bytes = 2000;
             return in;
         }(),
         std::nullopt},
        {"appended bytes past any budget",
         {{10, 11, 3000}},
         [&] {
             auto in = roomy;
             in.appended_delta_bytes = ~std::uint64_t{0};
             return in;
         }(),
         std::nullopt},
        {"deltas larger than the whole files",
         {{10, 11, 3000}},
         [&] {
             auto in = roomy;
             in.whole_file_bytes = 2999;
             return in;
         }(),
         std::nullopt},
        {"installed version newer than every base", {{9, 10, 30}}, roomy, std::nullopt},
        {"installed version older than every base",
         {{12, 13, 30}, {11, 12, 30}},
         roomy,
         std::nullopt},
        {"no groups", {}, roomy, std::nullopt},
        {"gap in the chain", {{12, 13, 30}, {10, 11, 30}}, roomy, std::nullopt},
        {"two qzfile deltas in a group",
         {{10, 11, 30, {Url("qzfile", 11), Url("qzfile", 11), Url("qzloc", 11)}}},
         roomy,
         std::nullopt},
        {"a file of no stem",
         {{10, 11, 30, {Url("qzfile", 11), Url("qzinfo", 11), Url("other", 11)}}},
         roomy,
         std::nullopt},
        {"a file name that is no plain name",
         {{10, 11, 30, {Url("qzfile", 11), Url("qzinfo", 11), "http://h/qzloc.dat?q"}}},
         roomy,
         std::nullopt},
        {"stems in another order",
         {{10, 11, 30, {Url("qzloc", 11), Url("qzfile", 11), Url("qzinfo", 11)}}},
         roomy,
         30,
         3},
    };
    for (const auto& c : cases) {
        const auto plan = PlanDeltaChain(Parsed(Index(c.groups)), c.input);
        ASSERT_EQ(plan.has_value(), c.bytes.has_value()) << c.what;
        if (!plan)
            continue;
        EXPECT_EQ(plan->bytes, *c.bytes) << c.what;
        EXPECT_EQ(plan->files.size(), c.files) << c.what;
    }
}

TEST(DeltaIndex, PlannedFilesAreDeltaRecords) {
    const auto plan =
        PlanDeltaChain(Parsed(Index({{11, 12, 600}, {10, 11, 3000}})), {.installed_version = 10,
                                                                        .max_delta_bytes = 10'000,
                                                                        .whole_file_bytes = 10'000,
                                                                        .delta_entry_version = 77});
    ASSERT_TRUE(plan);
    std::vector<std::string> names;
    for (const auto& file : plan->files) {
        EXPECT_EQ(file.type, kUpdateDatDelta);
        EXPECT_EQ(file.version, 77);
        EXPECT_TRUE(file.download_path.empty());
        names.push_back(file.file_name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"qzfile12.dat", "qzinfo12.dat", "qzloc12.dat",
                                               "qzfile11.dat", "qzinfo11.dat", "qzloc11.dat"}));
    EXPECT_EQ(plan->files[4].url, Url("qzinfo", 11));
    EXPECT_EQ(plan->files[4].check_value, 0xFFFFFFFEu);
    EXPECT_EQ(plan->files[4].size, 1000u);
}

}  // namespace
}  // namespace olvex

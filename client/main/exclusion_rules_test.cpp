// The Manage Exclusions dialog's decisions.
#include "client/main/exclusion_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace olvex {
namespace {

TEST(ExclusionRulesTest, PestIdAloneChoosesTheTree) {
    struct Case {
        std::optional<std::string> pest_id;
        std::optional<std::string> pest_name;
        ExclusionTree tree;
    };
    const Case cases[] = {
        {"12", "Alpha", ExclusionTree::kPests},
        {"None", "c:\\temp", ExclusionTree::kPaths},
        {"none", "c:\\temp", ExclusionTree::kPaths},
        // Only those two spellings mark a path.
        {"NONE", "Beta", ExclusionTree::kPests},
        {"nONE", "Beta", ExclusionTree::kPests},
        {"", "Beta", ExclusionTree::kPests},
        // Without either attribute an exclusion is shown nowhere.
        {std::nullopt, "c:\\temp", ExclusionTree::kHidden},
        {"None", std::nullopt, ExclusionTree::kHidden},
        {std::nullopt, std::nullopt, ExclusionTree::kHidden},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyExclusion(c.pest_id, c.pest_name), c.tree)
            << c.pest_id.value_or("(none)") << " " << c.pest_name.value_or("(none)");
    }
}

TEST(ExclusionRulesTest, RemoveAndSelectAllFollowTheTicks) {
    const TreeButtons filled = ButtonsAfterFill(2);
    EXPECT_EQ(filled, (TreeButtons{false, false, true}));
    EXPECT_EQ(ButtonsAfterFill(0), (TreeButtons{false, false, false}));

    const TreeButtons all = ButtonsAfterSelectAll(filled, true);
    EXPECT_EQ(all, (TreeButtons{true, true, true}));
    EXPECT_EQ(ButtonsAfterSelectAll(all, false), filled);

    // Ticking one item enables Remove; clearing one of two keeps it and
    // clears Select All; clearing the last disables it.
    const TreeButtons one = ButtonsAfterItemToggled(filled, true, 1);
    EXPECT_EQ(one, (TreeButtons{true, false, true}));
    EXPECT_EQ(ButtonsAfterItemToggled(all, false, 1), (TreeButtons{true, false, true}));
    EXPECT_EQ(ButtonsAfterItemToggled(one, false, 0), (TreeButtons{false, false, true}));

    EXPECT_EQ(ButtonsAfterRemove(0), (TreeButtons{false, false, false}));
    EXPECT_EQ(ButtonsAfterRemove(1), (TreeButtons{false, false, true}));
}

// Groups of three with the separator, as an English locale formats.
std::string Grouped(std::size_t number) {
    std::string digits = std::to_string(number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

TEST(ExclusionRulesTest, ReportListsBothTreesNumberedInTheLocalesFormat) {
    const std::string text =
        FormatExclusionsReport({{"Alpha", {}}, {"Beta", {"child one"}}}, {{"c:\\temp", {}}},
                               "12/11/2026-08:00:00", Grouped);
    EXPECT_EQ(text,
              "Kelvan Gorsewatch Exclusions Report\n"
              "This report was generated on: 12/11/2026-08:00:00\n\n"
              "Excluded Pests:\n\n"
              "(1) Alpha\n\n"
              "(2) Beta\n     child one\n\n"
              "\nExcluded Locations:\n\n"
              "(1) c:\\temp\n\n"
              "***End Report***\n\n");
}

TEST(ExclusionRulesTest, ReportWithOnlyPathsKeepsBothHeadings) {
    const std::string text = FormatExclusionsReport({}, {{"c:\\temp", {}}}, "now", Grouped);
    EXPECT_NE(text.find("Excluded Pests:\n\n\nExcluded Locations:\n\n(1) c:\\temp\n"),
              std::string::npos);
}

TEST(ExclusionRulesTest, ReportNumbersBeyondAThousandWithGrouping) {
    std::vector<ReportItem> pests(1234, ReportItem{"Pest", {}});
    const std::string text = FormatExclusionsReport(pests, {}, "now", Grouped);
    EXPECT_NE(text.find("(999) Pest\n"), std::string::npos);
    EXPECT_NE(text.find("(1,234) Pest\n\n\nExcluded Locations:"), std::string::npos);
    EXPECT_EQ(text.find("(1234)"), std::string::npos);
}

}  // namespace
}  // namespace olvex

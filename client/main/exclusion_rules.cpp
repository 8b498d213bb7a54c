#include "client/main/exclusion_rules.h"

namespace olvex {
namespace {

constexpr std::string_view kChildIndent = "     ";

void AppendList(std::string& text, const std::vector<ReportItem>& items,
                const NumberFormatter& format_number) {
    std::size_t number = 0;
    for (const ReportItem& item : items) {
        text += "(" + format_number(++number) + ") " + item.text + "\n";
        for (const std::string& child : item.children)
            text += std::string(kChildIndent) + child + "\n";
        text += "\n";
    }
}

}  // namespace

ExclusionTree ClassifyExclusion(const std::optional<std::string>& pest_id,
                                const std::optional<std::string>& pest_name) {
    if (!pest_id || !pest_name)
        return ExclusionTree::kHidden;
    return *pest_id == "None" || *pest_id == "none" ? ExclusionTree::kPaths : ExclusionTree::kPests;
}

TreeButtons ButtonsAfterFill(std::size_t item_count) {
    return {
        .remove_enabled = false, .select_all_checked = false, .select_all_enabled = item_count > 0};
}

TreeButtons ButtonsAfterSelectAll(TreeButtons current, bool ticked) {
    current.select_all_checked = ticked;
    current.remove_enabled = ticked;
    return current;
}

TreeButtons ButtonsAfterItemToggled(TreeButtons current, bool item_ticked,
                                    std::size_t ticked_count) {
    current.remove_enabled = ticked_count > 0;
    if (!item_ticked)
        current.select_all_checked = false;
    return current;
}

TreeButtons ButtonsAfterRemove(std::size_t remaining_items) {
    return ButtonsAfterFill(remaining_items);
}

std::string FormatExclusionsReport(const std::vector<ReportItem>& pests,
                                   const std::vector<ReportItem>& paths,
                                   std::string_view generated_on,
                                   const NumberFormatter& format_number) {
    std::string text = "Kelvan Gorsewatch Exclusions Report\n";
    text += "This report was generated on: ";
    text += generated_on;
    text += "\n\n";
    text += "Excluded Pests:\n\n";
    AppendList(text, pests, format_number);
    text += "\nExcluded Locations:\n\n";
    AppendList(text, paths, format_number);
    text += "***End Report***\n\n";
    return text;
}

}  // namespace olvex

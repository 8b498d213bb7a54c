// The Manage Exclusions dialog's decisions, apart from its windows: which
// tree shows an exclusion, what its Remove and "Select / Deselect All"
// controls show after each step, and the text of its report.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

enum class ExclusionTree {
    kHidden,  // no PestId or no PestName: shown nowhere, reported nowhere
    kPests,
    kPaths,  // files and folders
};

// The tree follows PestId alone: "None" or "none" (these two spellings only)
// mark a file or folder; any other value a pest.
ExclusionTree ClassifyExclusion(const std::optional<std::string>& pest_id,
                                const std::optional<std::string>& pest_name);

// The controls that go with one tree.
struct TreeButtons {
    bool remove_enabled = false;
    bool select_all_checked = false;
    bool select_all_enabled = false;
    bool operator==(const TreeButtons&) const = default;
};

// After filling: nothing ticked, so no Remove; "Select / Deselect All" only
// when there is something to select.
TreeButtons ButtonsAfterFill(std::size_t item_count);
// The tree's "Select / Deselect All" was set or cleared: Remove follows it.
TreeButtons ButtonsAfterSelectAll(TreeButtons current, bool ticked);
// One item's check box changed: Remove while any item is ticked; an item
// that was cleared clears "Select / Deselect All".
TreeButtons ButtonsAfterItemToggled(TreeButtons current, bool item_ticked,
                                    std::size_t ticked_count);
// After Remove, with the items the excluder still lists for the tree.
TreeButtons ButtonsAfterRemove(std::size_t remaining_items);

// One line of the report and the lines under it (written indented).
struct ReportItem {
    std::string text;
    std::vector<std::string> children;
};

// The report numbers items "(1) ", "(2) ", ... in the system's number format.
using NumberFormatter = std::function<std::string(std::size_t number)>;

// The report's text with "\n" line ends (written in text mode: CR LF on
// disk): title, the date line, the pests and then the files and folders,
// each list numbered from 1, and the end line.
std::string FormatExclusionsReport(const std::vector<ReportItem>& pests,
                                   const std::vector<ReportItem>& paths,
                                   std::string_view generated_on,
                                   const NumberFormatter& format_number);

}  // namespace olvex

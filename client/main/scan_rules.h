// The rules of a scan from the main program that need no window: the order
// of the engine's scans and the messages of failed ones, which controls of
// the Scan dialog are usable in each state, grouping results by pest name,
// digit grouping of the counts, and how often progress is shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// The five scans a scan may run, as the scan page chooses them.
struct ScanChoice {
    bool memory = false;
    bool registry = false;
    bool cookies = false;
    bool common_locations = false;
    bool custom_folders = false;
};

// Scan Now's choice: everything standard, the folders only for a custom scan.
inline ScanChoice StandardScanChoice(bool custom) {
    return {true, true, true, true, custom};
}

// What running a scan asks of the engine and the user. Each scan gives
// whether it succeeded.
class ScanSteps {
  public:
    virtual ~ScanSteps() = default;
    virtual bool ScanMemory() = 0;
    virtual bool ScanRegistry() = 0;
    virtual bool ScanCookies() = 0;
    virtual bool ScanCommonLocations() = 0;
    virtual bool ScanFolder(const std::string& path) = 0;
    // A failed step's message (string id); the sequence goes on afterwards.
    virtual void ReportFailure(unsigned string_id) = 0;
};

inline constexpr unsigned kScanMemoryFailed = 155;
inline constexpr unsigned kScanCookiesFailed = 156;
inline constexpr unsigned kScanRegistryFailed = 157;
inline constexpr unsigned kScanCommonLocationsFailed = 158;
inline constexpr unsigned kScanFolderFailed = 159;

// Memory, registry, cookies, common locations, then each custom folder in
// order; a failed step is reported once and the next still runs. Stopping
// is the engine's business: each step returns at once when asked to stop.
void RunScanSequence(ScanSteps& steps, const ScanChoice& choice,
                     const std::vector<std::string>& folders);

// The Scan dialog's controls in one state.
struct ScanControls {
    bool scan_now_shown = true;
    bool scan_now_enabled = true;
    bool stop_shown = false;
    bool stop_enabled = false;
    bool close_enabled = true;
    bool tree_enabled = false;
    bool select_all_enabled = false;
    bool quarantine_enabled = false;
    bool exclude_enabled = false;  // idle: only once a box is ticked
};

ScanControls ScanControlsFor(bool scanning, bool pests_listed, bool limited_rights);

// A count's digits grouped the way a NUMBERFMT's Grouping field says
// (text_values.h: 3 thousands, 32 Indian style, 0 none), with the separator
// between groups.
std::string GroupDigits(std::uint64_t count, unsigned grouping, std::string_view separator);

// Shows progress at most once per interval: the unsigned difference of tick
// counts, so a wrapped counter does not stall it.
class ProgressThrottle {
  public:
    explicit ProgressThrottle(std::uint32_t interval_ms = 100) : interval_(interval_ms) {}
    // True when the progress should be shown at now (and remembers it).
    bool ShouldShow(std::uint32_t now);

  private:
    std::uint32_t interval_;
    std::uint32_t last_ = 0;
};

// "Process: C:\x.exe": the kind text, ": " and the value.
std::string ResultItemText(std::string_view kind, std::string_view value);

// ---- the scan page's drive tree

// What a drive or folder item is: its item value in the tree.
enum class DriveKind { kFixedOrFolder = 0, kCdRom = 1, kRemovable = 2, kNetwork = 3 };

// The full path of an item from its own text and its ancestors' texts (the
// drive first): each ancestor followed by one backslash.
std::string FullTreePath(const std::vector<std::string>& texts_from_drive);

// A click on an item's check box is refused when the item and its parent
// are both checked: a folder under a checked one stays checked.
inline bool CheckClickRefused(bool item_checked, bool parent_checked) {
    return item_checked && parent_checked;
}

// A drive or folder of the drive tree as the custom scan's collection sees
// it: its full path, its check box and, for an unchecked one, its children
// in the tree's order.
struct DriveTreeNode {
    std::string path;
    bool checked = false;
    std::vector<DriveTreeNode> children;
};

// The custom scan's folders: the tree walked depth first from its first
// drive, a checked item taken (and its subtree passed over), an unchecked
// one walked into. So a checked folder deep under the first drive comes
// before the next checked drive, and only the topmost checked items count.
std::vector<std::string> CollectCheckedFolders(const std::vector<DriveTreeNode>& drives);

// Children of an expanded folder against the folder on disk: the children
// to delete (indexes, their folders gone) and the folder names to add (new
// on disk). Names compare without regard to case.
struct FolderSync {
    std::vector<std::size_t> removed;
    std::vector<std::string> added;
};
FolderSync SyncFolderChildren(const std::vector<std::string>& children,
                              const std::vector<std::string>& on_disk);

}  // namespace olvex

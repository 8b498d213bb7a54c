#include "olvex/scan/folder_walk.h"

#include <memory>
#include <optional>
#include <string_view>

#include "olvex/core/location_builder.h"

namespace olvex {
namespace {

constexpr std::string_view kAllFiles = "\\*.*";

// One folder being walked.
struct Frame {
    std::string location;  // Folder "<path as given>"
    std::string base;      // where its entries are, without a trailing backslash
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
    std::size_t files = 0;
    bool stopped = false;
};

bool HasWildcard(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

// Starts walking a folder: nullopt when it is excluded (no event) or cannot
// be named in a location.
std::optional<Frame> Enter(const std::string& folder, FolderLister& lister, ScanReporter& reporter,
                           const MultiByteText& mb) {
    if (reporter.IsFolderExcluded(folder))
        return std::nullopt;
    auto location = BuildFolderLocation(folder, mb);
    if (!location)
        return std::nullopt;
    Frame frame;
    frame.location = std::move(*location);
    reporter.StartingItem(frame.location);

    std::string text = folder;
    if (!text.empty() && text.back() == '\\' &&
        mb.EndsOnCharBoundary(text.substr(0, text.size() - 1)))
        text.pop_back();
    std::string pattern;
    const FolderLister::PathKind kind = lister.Kind(text);
    const std::size_t slash = mb.FindLast(text, '\\');
    const bool is_pattern =
        kind == FolderLister::PathKind::kFile ||
        (kind == FolderLister::PathKind::kMissing &&
         HasWildcard(std::string_view(text).substr(slash == std::string::npos ? 0 : slash + 1)));
    if (is_pattern) {
        pattern = text;
        frame.base = slash == std::string::npos ? std::string() : text.substr(0, slash);
    } else {
        pattern = text + std::string(kAllFiles);
        frame.base = text;
    }
    // An empty text would list the current drive's root: it names no folder.
    if (!text.empty() && pattern.size() <= kMaxSearchPatternLength &&
        !lister.List(pattern, frame.entries))
        frame.entries.clear();
    return frame;
}

}  // namespace

std::size_t WalkFolder(const std::string& folder, bool recurse, FolderLister& lister,
                       ScanReporter& reporter, const MultiByteText& mb,
                       const std::function<void(const std::string& path)>& scan_file) {
    std::vector<Frame> stack;
    if (auto top = Enter(folder, lister, reporter, mb))
        stack.push_back(std::move(*top));
    else
        return 0;
    std::size_t total = 0;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (!frame.stopped && frame.next < frame.entries.size()) {
            if (!reporter.ShouldScanContinue()) {
                frame.stopped = true;
                continue;
            }
            const FolderEntry& entry = frame.entries[frame.next++];
            if (entry.name == "." || entry.name == ".." || entry.is_reparse_point)
                continue;
            const std::string path = frame.base + "\\" + entry.name;
            if (!entry.is_folder) {
                scan_file(path);
                ++frame.files;
            } else if (recurse) {
                // May move the stack: frame is not used after this.
                if (auto inner = Enter(path, lister, reporter, mb))
                    stack.push_back(std::move(*inner));
            }
            continue;
        }
        reporter.FinishedItem(frame.location);
        if (frame.stopped)
            reporter.ReportAborted();
        const std::size_t files = frame.files;
        stack.pop_back();
        if (stack.empty())
            total = files;
        else
            stack.back().files += files;
    }
    return total;
}

}  // namespace olvex

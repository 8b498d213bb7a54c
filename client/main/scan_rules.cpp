#include "client/main/scan_rules.h"

#include <algorithm>
#include <cctype>

namespace olvex {

void RunScanSequence(ScanSteps& steps, const ScanChoice& choice,
                     const std::vector<std::string>& folders) {
    if (choice.memory && !steps.ScanMemory())
        steps.ReportFailure(kScanMemoryFailed);
    if (choice.registry && !steps.ScanRegistry())
        steps.ReportFailure(kScanRegistryFailed);
    if (choice.cookies && !steps.ScanCookies())
        steps.ReportFailure(kScanCookiesFailed);
    if (choice.common_locations && !steps.ScanCommonLocations())
        steps.ReportFailure(kScanCommonLocationsFailed);
    if (choice.custom_folders) {
        for (const std::string& folder : folders) {
            if (!steps.ScanFolder(folder))
                steps.ReportFailure(kScanFolderFailed);
        }
    }
}

ScanControls ScanControlsFor(bool scanning, bool pests_listed, bool limited_rights) {
    ScanControls controls;
    if (scanning) {
        controls.scan_now_shown = false;
        controls.scan_now_enabled = false;
        controls.stop_shown = true;
        controls.stop_enabled = true;
        controls.close_enabled = false;
        return controls;
    }
    controls.tree_enabled = pests_listed;
    controls.select_all_enabled = pests_listed && !limited_rights;
    controls.quarantine_enabled = pests_listed && !limited_rights;
    return controls;
}

std::string GroupDigits(std::uint64_t count, unsigned grouping, std::string_view separator) {
    const std::string digits = std::to_string(count);
    // The sizes of the groups from the right are grouping's digits from its
    // first; a final 0 ends the grouping there, else the last size repeats.
    std::vector<unsigned> sizes;
    for (unsigned rest = grouping; rest != 0; rest /= 10)
        sizes.insert(sizes.begin(), rest % 10);
    const bool repeat = grouping % 10 != 0;
    if (!repeat && !sizes.empty())
        sizes.pop_back();
    std::vector<std::string_view> parts;
    const std::string_view all(digits);
    std::size_t end = all.size();
    for (std::size_t index = 0; end > 0; ++index) {
        unsigned size = 0;
        if (index < sizes.size())
            size = sizes[index];
        else if (repeat && !sizes.empty())
            size = sizes.back();
        if (size == 0 || size >= end) {
            parts.push_back(all.substr(0, end));
            break;
        }
        parts.push_back(all.substr(end - size, size));
        end -= size;
    }
    std::string result;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        if (!result.empty())
            result += separator;
        result += *part;
    }
    return result;
}

bool ProgressThrottle::ShouldShow(std::uint32_t now) {
    if (static_cast<std::uint32_t>(now - last_) < interval_)
        return false;
    last_ = now;
    return true;
}

std::string ResultItemText(std::string_view kind, std::string_view value) {
    std::string text(kind);
    text += ": ";
    text += value;
    return text;
}

std::string FullTreePath(const std::vector<std::string>& texts_from_drive) {
    std::string path;
    for (std::size_t i = 0; i < texts_from_drive.size(); ++i) {
        path += texts_from_drive[i];
        if (i + 1 < texts_from_drive.size() && (path.empty() || path.back() != '\\'))
            path += '\\';
    }
    return path;
}

namespace {

void CollectChecked(const std::vector<DriveTreeNode>& nodes, std::vector<std::string>& folders) {
    for (const DriveTreeNode& node : nodes) {
        if (node.checked)
            folders.push_back(node.path);
        else
            CollectChecked(node.children, folders);
    }
}

}  // namespace

std::vector<std::string> CollectCheckedFolders(const std::vector<DriveTreeNode>& drives) {
    std::vector<std::string> folders;
    CollectChecked(drives, folders);
    return folders;
}

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

FolderSync SyncFolderChildren(const std::vector<std::string>& children,
                              const std::vector<std::string>& on_disk) {
    FolderSync sync;
    std::vector<bool> kept(children.size(), false);
    for (const std::string& name : on_disk) {
        bool found = false;
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (!kept[i] && SameName(children[i], name)) {
                kept[i] = true;
                found = true;
                break;
            }
        }
        if (!found)
            sync.added.push_back(name);
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (!kept[i])
            sync.removed.push_back(i);
    }
    return sync;
}

}  // namespace olvex

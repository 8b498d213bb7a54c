#include "olvex/scan/cookie_scan.h"

#include <vector>

namespace olvex {

bool ScanCookieFolder(const std::string& folder, PathProbe& probe, FolderLister& lister,
                      ScanReporter& reporter, const MultiByteText& mb,
                      const std::function<void(const std::string& path)>& check_cookie) {
    if (probe.Probe(folder) == PathState::kAccessDenied)
        return false;
    // An empty text would list the current drive's root: it names no folder.
    const std::string pattern = folder + "\\*.txt";
    std::vector<FolderEntry> entries;
    if (folder.empty() || pattern.size() > kMaxSearchPatternLength ||
        !lister.List(pattern, entries))
        return true;
    for (const FolderEntry& entry : entries) {
        if (!reporter.ShouldScanContinue())
            break;
        if (entry.is_folder)
            continue;
        const std::string name = mb.Lower(entry.name);
        reporter.StartingItem(name);
        check_cookie(folder + "\\" + name);
        reporter.FinishedItem(name);
    }
    return true;
}

bool ScanProfileCookieFolders(const std::map<std::string, std::string>& profiles, PathProbe& probe,
                              FolderLister& lister, ScanReporter& reporter, const MultiByteText& mb,
                              const std::function<void(const std::string& path)>& check_cookie) {
    bool all = true;
    for (const auto& [sid, profile] : profiles) {
        // No folder names no cookies (it would be the current drive's root).
        if (profile.empty())
            continue;
        // A profile folder given with a trailing backslash joins with one.
        std::string folder = profile;
        if (!folder.empty() && folder.back() == '\\' &&
            mb.EndsOnCharBoundary(std::string_view(folder).substr(0, folder.size() - 1)))
            folder.pop_back();
        folder += "\\cookies";
        if (!ScanCookieFolder(folder, probe, lister, reporter, mb, check_cookie))
            all = false;
    }
    return all;
}

}  // namespace olvex

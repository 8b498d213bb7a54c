// The cookie scan: every "*.txt" file of one cookie folder (subfolders are
// not entered) is checked as a cookie, its site name looked up among the pest
// database's cookies (FileScanner::CheckCookieFile).
#pragma once

#include <functional>
#include <map>
#include <string>

#include "olvex/core/multibyte_text.h"
#include "olvex/scan/folder_walk.h"
#include "olvex/scan/path_probe.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

// Scans one cookie folder (without a trailing backslash). Per file:
// ShouldScanContinue (a stop ends the walk, with no ScanAborted), then
// StartingItem with the lower-cased file name, the check of folder + "\" +
// that name, and FinishedItem with the name. A folder that cannot be listed
// holds nothing to scan. False only when the folder refuses access (the
// caller reports "Access denied.").
bool ScanCookieFolder(const std::string& folder, PathProbe& probe, FolderLister& lister,
                      ScanReporter& reporter, const MultiByteText& mb,
                      const std::function<void(const std::string& path)>& check_cookie);

// The cookie folder of every user profile (SID -> profile folder), its
// "cookies" subfolder, in the map's order. A folder that refuses access does
// not keep the other profiles from being scanned; false when any refused.
bool ScanProfileCookieFolders(const std::map<std::string, std::string>& profiles, PathProbe& probe,
                              FolderLister& lister, ScanReporter& reporter, const MultiByteText& mb,
                              const std::function<void(const std::string& path)>& check_cookie);

}  // namespace olvex

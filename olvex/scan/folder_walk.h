// The folder walk of the folder scans: every file of a folder (and, when
// asked, of its subfolders) handed to the file scan, with the folder events
// and the user's stop around it.
//
// The walk keeps its own stack instead of recursing, so any depth of folders
// costs heap, not thread stack. It never follows a reparse point (junction,
// symbolic link, mount point): neither a folder nor a file behind one is
// visited, so the walk stays inside the folder it was given and cannot loop.
// (Wine shows a host link to a folder as a reparse point, but a link to a
// file as a plain file, whose target is then scanned.)
// Paths are the engine's ANSI texts: a folder whose search pattern would not
// fit the ANSI file functions (MAX_PATH, 260 characters with the NUL) is
// reported like a folder that cannot be listed (its StartingItem and
// FinishedItem, nothing inside), and a file whose path is too long is
// reported with no finding, since it cannot be opened by that path.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "olvex/core/multibyte_text.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

// Longest search pattern (folder, "\*.*") the walk hands to the system.
inline constexpr std::size_t kMaxSearchPatternLength = 259;

struct FolderEntry {
    std::string name;
    bool is_folder = false;
    bool is_reparse_point = false;
};

// The file system as the walk sees it (FindFirstFileA on Windows).
class FolderLister {
  public:
    virtual ~FolderLister() = default;
    enum class PathKind { kMissing, kFolder, kFile };
    virtual PathKind Kind(const std::string& path) = 0;
    // The entries matching a search pattern ("<folder>\*.*", or a file
    // pattern), in the system's order, "." and ".." included where the
    // system gives them. False when the search finds nothing or fails.
    virtual bool List(const std::string& pattern, std::vector<FolderEntry>& entries) = 0;
};

// Walks folder (as the client gave it: a folder, with or without a trailing
// backslash, or a file pattern such as C:\dir\*.exe) and hands each file's
// path to scan_file; subfolders too when recurse is set. Per folder: an
// excluded folder is passed over with no event at all; otherwise
// StartingItem (Folder "<path>"), ShouldScanContinue before each entry,
// FinishedItem, and ScanAborted after it when the user stopped there.
// Answers the number of files handed over.
std::size_t WalkFolder(const std::string& folder, bool recurse, FolderLister& lister,
                       ScanReporter& reporter, const MultiByteText& mb,
                       const std::function<void(const std::string& path)>& scan_file);

}  // namespace olvex

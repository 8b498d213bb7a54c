// Folder texts of the main program: the install folder and the folder of the
// security suite it belongs to, always ending in a backslash.
#pragma once

#include <string>
#include <string_view>

namespace olvex {

// The folder with one backslash at its end (an empty folder stays empty).
std::string WithTrailingBackslash(std::string_view folder);

// The suite folder when the suite's key names none: the parent of the
// install folder ("C:\Suite\Gorsewatch\" gives "C:\Suite\"); a folder
// without a parent to take gets a backslash instead ("C:" gives "C:\").
std::string SuiteFolderFromInstallFolder(std::string_view install_folder);

}  // namespace olvex

// Whole folder trees for the quarantine: copied into and out of container
// folders and removed with them. Reparse points (junctions, and Unix links as
// Wine shows them) are never followed, so a walk cannot leave its tree.
#pragma once

#include <string>

namespace olvex {

// Copies every file and folder below source into destination (made when
// missing), overwriting files. A source shorter than four characters (a
// drive's root) is refused. A source that does not exist copies nothing.
// False at the first file or folder that cannot be copied.
bool CopyFolderTree(const std::string& source, const std::string& destination);

// Deletes everything below folder and the folder itself; read-only files
// are deleted too. A link is removed, not followed. A path shorter than four
// characters is refused. The result is whether the folder is gone.
bool RemoveFolderTree(const std::string& folder);

// Makes the missing folders above the last component of path (the component
// itself is not made). Path must be absolute, on a drive or a share.
void CreateParentFolders(const std::string& path);

// The system's text for an error code, without its line end.
std::string SystemErrorText(unsigned long error);

}  // namespace olvex

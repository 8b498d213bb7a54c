// Where the path macros' folders come from on a real system: the shell
// (SHGetFolderPathA), the "Shell Folders" registry key, the Windows and
// system folders, the user's name, and the platform as the OS-version seam
// reports it (so tests reach the Windows 9x and NT 4 rules).
#pragma once

#include "olvex/core/path_macros.h"

namespace olvex {

class SystemSpecialFolders : public SpecialFolderSource {
  public:
    std::optional<std::string> ShellFolder(int csidl) const override;
    bool ShellFoldersKeyOpens(ShellFoldersRoot root) const override;
    std::optional<std::string> ShellFoldersValue(ShellFoldersRoot root,
                                                 std::string_view name) const override;
    std::optional<std::string> WindowsFolder() const override;
    std::optional<std::string> SystemFolder() const override;
    std::optional<std::string> UserName() const override;
    bool IsWin9x() const override;
    bool IsNt4OrOlder() const override;
};

// The one the engine uses.
const SpecialFolderSource& TheSpecialFolders();

}  // namespace olvex

// Places removal never takes, whatever a definition names: the Windows
// folder, the system folder, drive roots, user profiles and the folder that
// holds them, and the registry's top-level keys with the shared keys that
// Windows and every program start from. A folder that holds one of these
// is as protected as the place itself: removing it would remove them too.
//
// Portable: the caller gives the machine's folders, already in their full,
// long form.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "olvex/core/multibyte_text.h"

namespace olvex {

enum class FolderVerdict {
    kAllowed,
    kNotAbsolute,  // not a path on a drive or a share, or holding "." or ".." parts
    kProtected,    // a drive or share root, a protected folder or a folder above one
};

// path: a folder removal would delete. protected_folders: full paths.
// Separators may be "\" or "/"; case is ignored (ASCII).
FolderVerdict CheckFolderRemoval(std::string_view path,
                                 std::span<const std::string> protected_folders,
                                 const MultiByteText& mb);

// Whether a name is one that a file-extension key of the classes gives as
// its file type (".txt" names "txtfile"); the name comes lowered.
using FileTypeQuery = std::function<bool(std::string_view lowered_name)>;

// Whether deleting the key (with its subkeys) is refused:
// - a root, and below HKEY_USERS a user's hive itself;
// - a key that is or holds one of the shared keys: the Run and RunOnce keys,
//   Winlogon, the class registrations and the services;
// - a key directly below HKEY_LOCAL_MACHINE, and the keys Windows keeps
//   directly in a user's hive (Software, Control Panel, Environment, ...);
// - a class key Windows owns, directly in the classes (HKEY_CLASSES_ROOT,
//   Software\Classes of a hive, a user's "_Classes" hive): CLSID, Interface,
//   TypeLib, AppID, *, Directory, Folder, Drive, AllFilesystemObjects,
//   Installer, every file-extension key (".exe") and every file type an
//   extension key names (is_file_type; none when it is empty).
// Any other key may go: a pest's ProgID in the classes, a pest's own key
// directly in a user's hive. root_word as in a location
// ("hkey_current_user"), path without the root.
bool IsProtectedRegistryKey(std::string_view root_word, std::string_view path,
                            const MultiByteText& mb, const FileTypeQuery& is_file_type = {});

}  // namespace olvex

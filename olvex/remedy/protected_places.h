// Places removal never takes, whatever a definition names: the Windows
// folder, the system folder, drive roots, user profiles and the folder that
// holds them, and the registry's top-level keys with the shared keys that
// Windows and every program start from. A folder that holds one of these
// is as protected as the place itself: removing it would remove them too.
//
// Portable: the caller gives the machine's folders, already in their full,
// long form.
#pragma once

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

// Whether deleting the key (with its subkeys) is refused: the root itself, a
// key directly below a root (below HKEY_USERS: a user's hive and the keys
// directly in it), or a key that holds one of the shared keys: the Run and
// RunOnce keys, Winlogon, the class registrations and the services.
// root_word as in a location ("hkey_current_user"), path without the root.
bool IsProtectedRegistryKey(std::string_view root_word, std::string_view path,
                            const MultiByteText& mb);

}  // namespace olvex

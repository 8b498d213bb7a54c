// Location strings for what the pest database lists and what the scans find.
// Each builder writes name/value pairs separated by one blank, every value in
// double quotes. A value that the text form cannot carry (see
// IsWritableValue: empty, holding a double quote or a control byte, or ending
// in half a double-byte character) makes the builder answer nullopt: the
// caller skips that item instead of reporting a text that would read back as
// other pairs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "olvex/core/multibyte_text.h"

namespace olvex {

// File "<path>"
std::optional<std::string> BuildFileLocation(std::string_view path, const MultiByteText& mb);
// Folder "<path>"
std::optional<std::string> BuildFolderLocation(std::string_view path, const MultiByteText& mb);
// Key "<key>", then value "<value name>" only when the value name is not
// empty, then data "<data>" only when the data is not empty. The key is a
// root word, a blank and the key path.
std::optional<std::string> BuildRegistryLocation(std::string_view key, std::string_view value_name,
                                                 std::string_view data, const MultiByteText& mb);
// Cookie "<name>"
std::optional<std::string> BuildCookieLocation(std::string_view name, const MultiByteText& mb);

// A current-user registry location found in another user's loaded hive:
// key "hkey_users \<key path>", then value and data as above. key_path is the
// hive's key name, a backslash and the path inside it.
std::optional<std::string> BuildUserHiveRegistryLocation(std::string_view key_path,
                                                         std::string_view value_name,
                                                         std::string_view data,
                                                         const MultiByteText& mb);
// ProcessId "<decimal id>" File "<image path>"
std::optional<std::string> BuildProcessLocation(std::uint32_t process_id,
                                                std::string_view image_path,
                                                const MultiByteText& mb);
// ModuleName "<module name>" File "<module path>"
std::optional<std::string> BuildModuleLocation(std::string_view module_name,
                                               std::string_view module_path,
                                               const MultiByteText& mb);
// A file the file scans treat as a cookie: File "<path>" Cookie "<name>",
// the name being what follows the path's last backslash.
std::optional<std::string> BuildCookieFileLocation(std::string_view path, const MultiByteText& mb);
// An entry inside an archive: File "<archive display name>|<entry name>",
// then Certainty "<certainty>" when certainty is not empty (detections).
std::optional<std::string> BuildArchiveEntryLocation(std::string_view archive_display_name,
                                                     std::string_view entry_name,
                                                     std::string_view certainty,
                                                     const MultiByteText& mb);

}  // namespace olvex

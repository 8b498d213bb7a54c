// Folder and file-name parts of Windows path texts (backslash-separated), as
// the engine cuts them. Portable: they only look at the text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace olvex {

// The text before the last backslash that is not its first character, so a
// folder comes without a trailing backslash ("C:\app\olvex.dll" gives
// "C:\app"). A text without such a backslash is returned whole.
std::string FolderPart(std::string_view path);

// The text after the last backslash that is not the first character; empty
// when there is none. nullopt for an empty path.
std::optional<std::string> GetFileNamePart(std::string_view path);

}  // namespace olvex

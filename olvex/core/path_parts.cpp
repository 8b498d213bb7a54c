#include "olvex/core/path_parts.h"

namespace olvex {
namespace {

// The last backslash at index 1 or later: a backslash that starts the text is
// not a separator between a folder and a name.
std::string_view::size_type LastSeparator(std::string_view path) {
    const auto found = path.rfind('\\');
    return found == 0 ? std::string_view::npos : found;
}

}  // namespace

std::string FolderPart(std::string_view path) {
    const auto separator = LastSeparator(path);
    return std::string(separator == std::string_view::npos ? path : path.substr(0, separator));
}

std::optional<std::string> GetFileNamePart(std::string_view path) {
    if (path.empty()) {
        return std::nullopt;
    }
    const auto separator = LastSeparator(path);
    if (separator == std::string_view::npos) {
        return std::string();
    }
    return std::string(path.substr(separator + 1));
}

}  // namespace olvex

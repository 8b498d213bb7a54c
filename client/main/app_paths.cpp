#include "client/main/app_paths.h"

namespace olvex {

std::string WithTrailingBackslash(std::string_view folder) {
    std::string text(folder);
    if (!text.empty() && text.back() != '\\')
        text += '\\';
    return text;
}

std::string SuiteFolderFromInstallFolder(std::string_view install_folder) {
    std::string folder(install_folder);
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    const std::size_t last = folder.rfind('\\');
    if (last == std::string::npos || last < 1)
        return folder + '\\';
    return folder.substr(0, last + 1);
}

}  // namespace olvex

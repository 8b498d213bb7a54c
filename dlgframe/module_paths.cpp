#include "dlgframe/module_paths.h"

namespace olvex::dlgframe {
namespace {

void AddCandidate(std::vector<std::wstring>& out, std::wstring_view folder,
                  std::wstring_view name) {
    if (folder.empty())
        return;
    std::wstring path(folder);
    path += L'/';
    path += name;
    if (FitsBuffer(path.size(), static_cast<long long>(kPathChars)))
        out.push_back(std::move(path));
}

}  // namespace

bool FitsBuffer(std::size_t length, long long buffer_chars) {
    return buffer_chars > 0 && length < static_cast<unsigned long long>(buffer_chars);
}

std::wstring_view FolderOfPath(std::wstring_view file_path) {
    std::size_t cut = file_path.rfind(L'\\');
    if (cut == std::wstring_view::npos)
        cut = file_path.rfind(L':');
    if (cut == std::wstring_view::npos)
        return {};
    return file_path.substr(0, cut + 1);
}

bool IsAbsolutePath(std::wstring_view name) {
    if (name.size() >= 2 && name[1] == L':')
        return true;
    return name.size() >= 2 && name[0] == L'\\' && name[1] == L'\\';
}

std::vector<std::wstring> ResourceDllCandidates(const ResourceDllPlaces& places,
                                                std::wstring_view name) {
    std::vector<std::wstring> candidates;
    if (name.empty())
        return candidates;
    if (IsAbsolutePath(name)) {
        if (FitsBuffer(name.size(), static_cast<long long>(kPathChars)))
            candidates.emplace_back(name);
        return candidates;
    }
    if (places.framework_file)
        AddCandidate(candidates, FolderOfPath(*places.framework_file), name);
    if (places.program_file)
        AddCandidate(candidates, FolderOfPath(*places.program_file), name);
    if (places.install_folder)
        AddCandidate(candidates, *places.install_folder, name);
    return candidates;
}

std::wstring HelpFilePath(std::wstring_view folder) {
    std::wstring path(folder);
    if (!path.empty() && path.back() != L'\\' && path.back() != L':')
        path += L'\\';
    return path + L"XJVHelp.CHM";
}

std::wstring HelpPopupTopic(std::wstring_view help_file) {
    return std::wstring(help_file) + L"::/popup.txt";
}

}  // namespace olvex::dlgframe

namespace olvex::dlgframe {

bool CanChooseFolder(bool file_system, bool desktop_root, std::optional<std::size_t> path_length,
                     long long buffer_chars) {
    return file_system && !desktop_root && path_length && *path_length > 0 &&
           FitsBuffer(*path_length, buffer_chars);
}

}  // namespace olvex::dlgframe

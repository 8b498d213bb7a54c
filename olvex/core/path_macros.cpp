#include "olvex/core/path_macros.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace olvex {
namespace {

constexpr std::string_view kDocumentsAndSettings = "C:\\Documents and Settings\\";

struct RegistryFallback {
    int csidl;
    ShellFoldersRoot root;
    std::string_view value;
    std::string_view win9x;      // the text on Windows 95/98/Me
    std::string_view nt_tail;    // on NT: "C:\Documents and Settings\" + this...
    bool nt_after_user = false;  // ...or + user name + this
};

// The folders the "Shell Folders" key can give, and what stands in for them
// when it opens but lacks the value. The texts are used exactly as written.
constexpr RegistryFallback kRegistryFallbacks[] = {
    {kCsidlPrograms, ShellFoldersRoot::kCurrentUser, "Programs", "C:\\Program Files",
     "All Users\\Start Menu\\Programs"},
    {kCsidlFavorites, ShellFoldersRoot::kCurrentUser, "Favorites", "C:\\Windows\\Favorites",
     "\\Favorites", true},
    {kCsidlStartup, ShellFoldersRoot::kCurrentUser, "Startup",
     "C:\\WINDOWS\\Start Menu\\Programs\\Startup", "All Users\\Start Menu\\Programs\\Startup"},
    {kCsidlStartMenu, ShellFoldersRoot::kCurrentUser, "Start Menu", "C:Windows\\Start Menu",
     "All Users\\Start Menu"},
    {kCsidlDesktopDirectory, ShellFoldersRoot::kCurrentUser, "Desktop", "C:\\WINDOWS\\Desktop",
     "All Users\\Desktop"},
    {kCsidlCommonStartMenu, ShellFoldersRoot::kLocalMachine, "Common Start Menu",
     "C:\\Windows\\Start Menu", "All Users\\Start Menu"},
    {kCsidlCommonPrograms, ShellFoldersRoot::kLocalMachine, "Common Programs", "C:\\Program Files",
     "All Users\\Start Menu\\Programs"},
    {kCsidlCommonStartup, ShellFoldersRoot::kLocalMachine, "Common Startup",
     "C:\\WINDOWS\\Start Menu\\Programs\\Startup", "All Users\\Start Menu\\Programs\\Startup"},
    {kCsidlCommonAltStartup, ShellFoldersRoot::kLocalMachine, "Common Startup",
     "C:\\WINDOWS\\Start Menu\\Programs\\Startup", "All Users\\Start Menu\\Programs\\Startup"},
    {kCsidlCommonDesktopDirectory, ShellFoldersRoot::kLocalMachine, "Common Desktop",
     "C:\\WINDOWS\\Desktop", "All Users\\Desktop"},
    {kCsidlAltStartup, ShellFoldersRoot::kCurrentUser, "AltStartup",
     "C:\\WINDOWS\\Start Menu\\Programs\\Startup", "All Users\\Start Menu\\Programs\\Startup"},
    {kCsidlCookies, ShellFoldersRoot::kCurrentUser, "Cookies", "C:\\Windows\\Cookies", "\\Cookies",
     true},
};

const RegistryFallback* FallbackFor(int csidl) {
    for (const auto& fallback : kRegistryFallbacks) {
        if (fallback.csidl == csidl)
            return &fallback;
    }
    return nullptr;
}

std::optional<std::string> WithUser(std::string_view before, const SpecialFolderSource& source,
                                    std::string_view after) {
    // Without the user's name the folder cannot be told.
    const auto user = source.UserName();
    if (!user || user->empty())
        return std::nullopt;
    return std::string(before) + *user + std::string(after);
}

std::optional<std::string> RegistryFolder(const RegistryFallback& fallback,
                                          const SpecialFolderSource& source) {
    if (!source.ShellFoldersKeyOpens(fallback.root))
        return std::nullopt;
    if (auto value = source.ShellFoldersValue(fallback.root, fallback.value))
        return value;
    if (source.IsWin9x())
        return std::string(fallback.win9x);
    if (fallback.csidl == kCsidlCookies && source.IsNt4OrOlder())
        return WithUser("C:\\Winnt\\Profiles\\", source, "\\Cookies");
    if (fallback.nt_after_user)
        return WithUser(kDocumentsAndSettings, source, fallback.nt_tail);
    return std::string(kDocumentsAndSettings) + std::string(fallback.nt_tail);
}

// Positions where needle starts a match in text, at character starts, left
// to right and not overlapping.
std::vector<std::size_t> Occurrences(std::string_view text, std::string_view needle,
                                     const MultiByteText& mb) {
    std::vector<std::size_t> found;
    if (needle.empty())
        return found;
    std::size_t boundary = 0;  // a character start at or before the next candidate
    std::size_t from = 0;
    for (std::size_t at = text.find(needle); at != std::string_view::npos;
         at = text.find(needle, from)) {
        while (boundary < at)
            boundary += mb.CharLength(text, boundary);
        if (boundary == at) {
            found.push_back(at);
            from = boundary = at + needle.size();
        } else {
            from = at + 1;  // inside a double-byte character
        }
    }
    return found;
}

std::string ReplaceAt(std::string_view text, const std::vector<std::size_t>& positions,
                      std::size_t length, std::string_view replacement) {
    std::string result;
    std::size_t from = 0;
    for (const std::size_t at : positions) {
        result.append(text.substr(from, at - from));
        result.append(replacement);
        from = at + length;
    }
    result.append(text.substr(from));
    return result;
}

}  // namespace

std::optional<std::string> GetFolderFromRegistry(int csidl, const SpecialFolderSource& source) {
    if (const RegistryFallback* fallback = FallbackFor(csidl))
        return RegistryFolder(*fallback, source);
    switch (csidl) {
        case kCsidlWindows:
            return source.WindowsFolder();
        case kCsidlSystem:
            return source.SystemFolder();
        case kCsidlProgramFiles:
            return std::string("C:\\Program Files");
        case kCsidlProfile:
            if (source.IsWin9x())
                return std::string("C:\\Windows");
            if (source.IsNt4OrOlder())
                return WithUser("c:\\Winnt\\Profiles\\", source, "");
            return WithUser(kDocumentsAndSettings, source, "");
        default:
            return std::nullopt;
    }
}

PathMacroTable::PathMacroTable(const MultiByteText& mb) : mb_(mb) {
    for (std::size_t i = 0; i < kPathMacroCount; ++i)
        lowered_names_[i] = mb_.Lower(kPathMacros[i].name);
}

PathMacroTable::PathMacroTable(const SpecialFolderSource& source, const MultiByteText& mb)
    : PathMacroTable(mb) {
    for (std::size_t i = 0; i < kPathMacroCount; ++i) {
        const int csidl = kPathMacros[i].csidl;
        auto folder = source.ShellFolder(csidl);
        if (!folder || folder->empty())
            folder = GetFolderFromRegistry(csidl, source);
        if (!folder || folder->empty())
            continue;
        folders_[i] = mb_.Lower(*folder);
        starts_[static_cast<unsigned char>(folders_[i][0])] = true;
        heads_[i] = FolderHead(folders_[i]);
        head_masks_[i] = FolderHead(std::string(std::min<std::size_t>(folders_[i].size(), 8), '\xFF'));
    }
}

std::uint64_t PathMacroTable::FolderHead(std::string_view text) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8 && i < text.size(); ++i)
        head |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * i);
    return head;
}

std::size_t PathMacroTable::FirstFolderIn(std::string_view lowered) const {
    if (mb_.HasLeadBytes()) {
        // Occurrences must start on a character: the careful search.
        for (std::size_t i = 0; i < kPathMacroCount; ++i) {
            if (!Occurrences(lowered, folders_[i], mb_).empty())
                return i;
        }
        return kPathMacroCount;
    }
    // Every byte is a character: one pass over the path, where a folder may
    // start, tries the folders of lower table order than the best so far;
    // their first bytes, taken as one number, turn most away at once.
    std::size_t best = kPathMacroCount;
    for (std::size_t at = 0; at < lowered.size() && best > 0; ++at) {
        if (!starts_[static_cast<unsigned char>(lowered[at])])
            continue;
        const std::string_view rest = lowered.substr(at);
        const std::uint64_t head = FolderHead(rest);
        for (std::size_t i = 0; i < best; ++i) {
            const std::string& folder = folders_[i];
            if (folder.empty() || folder.size() > rest.size() ||
                (head & head_masks_[i]) != heads_[i])
                continue;
            if (rest.compare(0, folder.size(), folder) == 0) {
                best = i;
                break;
            }
        }
    }
    return best;
}

std::string PathMacroTable::ToMacroForm(std::string_view path) const {
    std::string lowered = mb_.Lower(path);
    const std::size_t i = FirstFolderIn(lowered);
    if (i == kPathMacroCount)
        return lowered;
    const std::string& folder = folders_[i];
    const std::string_view name = kPathMacros[i].name;
    if (mb_.HasLeadBytes() || name.size() > folder.size())
        return ReplaceAt(lowered, Occurrences(lowered, folder, mb_), folder.size(), name);
    // Every byte a character and the name no longer than the folder: the
    // occurrences are replaced where they are, moving the rest forward.
    // Writing never passes reading, so what is still to be searched stays.
    char* const text = lowered.data();
    std::size_t write = 0;
    std::size_t read = 0;
    for (std::size_t at = lowered.find(folder); at != std::string::npos;
         at = lowered.find(folder, read)) {
        std::memmove(text + write, text + read, at - read);
        write += at - read;
        std::memcpy(text + write, name.data(), name.size());
        write += name.size();
        read = at + folder.size();
    }
    const std::size_t tail = lowered.size() - read;
    std::memmove(text + write, text + read, tail);
    lowered.resize(write + tail);
    return lowered;
}

std::string PathMacroTable::Expand(std::string_view path) const {
    const std::string lowered = mb_.Lower(path);
    for (std::size_t i = 0; i < kPathMacroCount; ++i) {
        const std::string& name = lowered_names_[i];
        const auto found = Occurrences(lowered, name, mb_);
        if (found.empty())
            continue;
        if (folders_[i].empty())
            return std::string(path);
        return ReplaceAt(path, found, name.size(), folders_[i]);
    }
    return std::string(path);
}

}  // namespace olvex

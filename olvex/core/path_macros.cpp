#include "olvex/core/path_macros.h"

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
        if (folder)
            folders_[i] = mb_.Lower(*folder);
    }
}

std::string PathMacroTable::ToMacroForm(std::string_view path) const {
    std::string lowered = mb_.Lower(path);
    for (std::size_t i = 0; i < kPathMacroCount; ++i) {
        const std::string& folder = folders_[i];
        const auto found = Occurrences(lowered, folder, mb_);
        if (!found.empty())
            return ReplaceAt(lowered, found, folder.size(), kPathMacros[i].name);
    }
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

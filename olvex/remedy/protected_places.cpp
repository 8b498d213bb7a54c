#include "olvex/remedy/protected_places.h"

#include <array>
#include <vector>

namespace olvex {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The non-empty components, split at single-byte separators.
std::vector<std::string> Components(std::string_view text, const MultiByteText& mb) {
    std::vector<std::string> parts;
    std::string current;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = mb.CharLength(text, pos);
        if (length == 1 && IsSeparator(text[pos])) {
            if (!current.empty())
                parts.push_back(mb.Lower(current));
            current.clear();
        } else {
            current.append(text.substr(pos, length));
        }
        pos += length;
    }
    if (!current.empty())
        parts.push_back(mb.Lower(current));
    return parts;
}

struct SplitPath {
    bool absolute = false;
    std::vector<std::string> root;   // drive ("c:") or server and share
    std::vector<std::string> below;  // components under the root
};

SplitPath Split(std::string_view path, const MultiByteText& mb) {
    SplitPath split;
    const bool drive = path.size() >= 2 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':';
    if (drive) {
        // "C:" alone, or "C:" followed by a separator; "C:x" is relative.
        if (path.size() > 2 && !IsSeparator(path[2]))
            return split;
        split.root = {mb.Lower(path.substr(0, 2))};
        split.below = Components(path.substr(2), mb);
        split.absolute = true;
        return split;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        auto parts = Components(path.substr(2), mb);
        // "\\?\" and "\\.\" name devices and raw paths: not for removal.
        if (parts.size() < 2 || parts[0] == "?" || parts[0] == ".")
            return split;
        split.root = {parts[0], parts[1]};
        split.below.assign(parts.begin() + 2, parts.end());
        split.absolute = true;
    }
    return split;
}

bool HasDotParts(const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
        if (part == "." || part == "..")
            return true;
    }
    return false;
}

// Whether a is b or holds it.
bool IsAtOrAbove(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() > b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

}  // namespace

FolderVerdict CheckFolderRemoval(std::string_view path,
                                 std::span<const std::string> protected_folders,
                                 const MultiByteText& mb) {
    const SplitPath candidate = Split(path, mb);
    if (!candidate.absolute || HasDotParts(candidate.below))
        return FolderVerdict::kNotAbsolute;
    if (candidate.below.empty())
        return FolderVerdict::kProtected;
    for (const auto& folder : protected_folders) {
        const SplitPath kept = Split(folder, mb);
        if (!kept.absolute || kept.root != candidate.root)
            continue;
        if (IsAtOrAbove(candidate.below, kept.below))
            return FolderVerdict::kProtected;
    }
    return FolderVerdict::kAllowed;
}

bool IsProtectedRegistryKey(std::string_view root_word, std::string_view path,
                            const MultiByteText& mb, const FileTypeQuery& is_file_type) {
    auto parts = Components(path, mb);
    const std::string root = mb.Lower(root_word);
    // Where the keys start that the shared list and the rules below count
    // from: below HKEY_USERS each user's hive is a root of its own.
    std::size_t hive_depth = 0;
    bool classes_hive = root == "hkey_classes_root";
    if (root == "hkey_users") {
        hive_depth = 1;
        classes_hive = !parts.empty() && parts[0].ends_with("_classes");
    }
    if (parts.size() <= hive_depth)
        return true;
    parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(hive_depth));
    static const std::array<std::string_view, 5> kShared = {
        "software\\microsoft\\windows\\currentversion\\run",
        "software\\microsoft\\windows\\currentversion\\runonce",
        "software\\microsoft\\windows nt\\currentversion\\winlogon",
        "software\\classes\\clsid",
        "system\\currentcontrolset\\services",
    };
    if (!classes_hive) {
        for (const auto shared : kShared) {
            if (IsAtOrAbove(parts, Components(shared, mb)))
                return true;
        }
    }
    // The classes a key lies in, and its place below them.
    std::size_t class_depth = 0;
    const bool classes = classes_hive || (parts.size() >= 2 && parts[0] == "software" &&
                                          parts[1] == "classes" && root != "hkey_classes_root");
    if (classes && !classes_hive)
        class_depth = 2;
    if (classes) {
        if (parts.size() != class_depth + 1)
            return parts.size() <= class_depth;
        const std::string& name = parts[class_depth];
        static const std::array<std::string_view, 10> kWindowsClasses = {
            "clsid",     "interface", "typelib",
            "appid",     "*",         "directory",
            "folder",    "drive",     "allfilesystemobjects",
            "installer",
        };
        if (name.starts_with('.'))
            return true;
        for (const auto owned : kWindowsClasses) {
            if (name == owned)
                return true;
        }
        return is_file_type && is_file_type(name);
    }
    if (parts.size() > 1)
        return false;
    // Directly in a hive: the machine's keys are all Windows' own, a user's
    // hive holds Windows' keys beside any a program makes.
    if (root == "hkey_local_machine")
        return true;
    static const std::array<std::string_view, 15> kUserHiveKeys = {
        "appevents",
        "console",
        "control panel",
        "environment",
        "eudc",
        "identities",
        "keyboard layout",
        "network",
        "printers",
        "remoteaccess",
        "sessioninformation",
        "software",
        "system",
        "unicode program groups",
        "volatile environment",
    };
    for (const auto owned : kUserHiveKeys) {
        if (parts[0] == owned)
            return true;
    }
    return false;
}

}  // namespace olvex

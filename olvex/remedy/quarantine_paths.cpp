#include "olvex/remedy/quarantine_paths.h"

#include <array>
#include <vector>

#include "olvex/remedy/quarantine_db.h"

namespace olvex {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Splits at single-byte separators, never inside a double-byte character.
std::vector<std::string_view> Components(std::string_view text, const MultiByteText& mb) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += mb.CharLength(text, pos)) {
        if (mb.CharLength(text, pos) == 1 && IsSeparator(text[pos])) {
            parts.push_back(text.substr(start, pos - start));
            start = pos + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

// CON, NUL, COM1 and the other device names open a device, with or without
// an extension.
bool IsDeviceName(std::string_view component, const MultiByteText& mb) {
    const auto base = mb.Lower(mb.Trim(component.substr(0, mb.Find(component, '.'))));
    static constexpr std::array<std::string_view, 7> kNames = {"con",    "prn",    "aux",    "nul",
                                                               "clock$", "conin$", "conout$"};
    for (const auto name : kNames) {
        if (base == name)
            return true;
    }
    return base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
           base[3] >= '1' && base[3] <= '9';
}

// A component a restore may create or write: not empty, not "." or "..",
// no colon, wildcard, quote, angle bracket, pipe, control byte or device name.
bool IsPlainComponent(std::string_view component, const MultiByteText& mb) {
    if (component.empty() || component == "." || component == "..")
        return false;
    for (std::size_t pos = 0; pos < component.size(); pos += mb.CharLength(component, pos)) {
        if (mb.CharLength(component, pos) == 2)
            continue;
        const auto c = static_cast<unsigned char>(component[pos]);
        if (c < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
            c == '|')
            return false;
    }
    return !IsDeviceName(component, mb);
}

bool IsDriveRoot(std::string_view path) {
    const char d = path.size() >= 3 ? path[0] : '\0';
    return ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) && path[1] == ':' &&
           IsSeparator(path[2]);
}

}  // namespace

bool IsQuarantineContainerPath(std::string_view path, std::string_view folder,
                               const MultiByteText& mb) {
    while (!folder.empty() && IsSeparator(folder.back()) && mb.EndsOnCharBoundary(folder))
        folder.remove_suffix(1);
    if (folder.empty() || path.size() <= folder.size() + 1 ||
        mb.Lower(path.substr(0, folder.size())) != mb.Lower(folder) ||
        !mb.EndsOnCharBoundary(path.substr(0, folder.size())) || !IsSeparator(path[folder.size()]))
        return false;
    const auto name = path.substr(folder.size() + 1);
    if (Components(name, mb).size() != 1 || !IsPlainComponent(name, mb))
        return false;
    const auto lower = mb.Lower(name);
    return lower != kQuarantineItemDbName && lower != kQuarantineSessionDbName;
}

bool IsAbsoluteLocalPath(std::string_view path, const MultiByteText& mb) {
    if (!IsDriveRoot(path))
        return false;
    // The drive's root itself is no place to restore to.
    const auto rest = path.substr(3);
    for (const auto component : Components(rest, mb)) {
        if (!IsPlainComponent(component, mb))
            return false;
    }
    return true;
}

std::string FilePartOfFileValue(std::string_view value, const MultiByteText& mb) {
    return std::string(value.substr(0, mb.Find(value, '|')));
}

}  // namespace olvex

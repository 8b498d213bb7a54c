#include "setup/core/program_group.h"

#include <array>

namespace olvex::setup {
namespace {

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

// Windows opens the device whatever extension follows its name ("nul.txt",
// "COM1 .lnk").
bool IsDeviceName(std::u16string_view part) {
    std::u16string_view base = part.substr(0, part.find(u'.'));
    while (!base.empty() && base.back() == u' ') {
        base.remove_suffix(1);
    }
    constexpr std::array<std::u16string_view, 7> kNames = {u"CON",    u"PRN",     u"AUX",   u"NUL",
                                                           u"CONIN$", u"CONOUT$", u"CLOCK$"};
    for (const std::u16string_view name : kNames) {
        if (EqualsNoCase(base, name)) {
            return true;
        }
    }
    if (base.size() == 4 &&
        (EqualsNoCase(base.substr(0, 3), u"COM") || EqualsNoCase(base.substr(0, 3), u"LPT"))) {
        return base[3] >= u'0' && base[3] <= u'9';
    }
    return false;
}

bool IsAcceptablePart(std::u16string_view part) {
    // Windows drops trailing dots and blanks: ". ." or "..." would be a
    // way up, "name." another name than the one written.
    if (part.empty() || part.back() == u'.' || part.back() == u' ') {
        return false;
    }
    return !IsDeviceName(part);
}

}  // namespace

bool IsAcceptableProgramGroup(std::u16string_view group) {
    if (group.empty() || group.front() == u'\\') {
        return false;
    }
    for (const char16_t c : group) {
        if (c < 0x20) {
            return false;
        }
        switch (c) {
            case u':':
            case u'/':
            case u'*':
            case u'?':
            case u'"':
            case u'<':
            case u'>':
            case u'|':
                return false;
            default:
                break;
        }
    }
    size_t start = 0;
    while (true) {
        const size_t end = group.find(u'\\', start);
        if (!IsAcceptablePart(group.substr(start, end - start))) {
            return false;
        }
        if (end == std::u16string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

}  // namespace olvex::setup

#include "olvex/update/update_file_name.h"

#include <array>
#include <string>

namespace olvex {
namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsForbiddenChar(unsigned char c) {
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
        case '\\':
        case '/':
        case ':':
        case '<':
        case '>':
        case '"':
        case '|':
        case '?':
        case '*':
            return true;
        default:
            return false;
    }
}

// The digits Windows accepts after COM and LPT, the superscripts as the
// Windows-1252 bytes they have in the ANSI code page.
bool IsDevicePortDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
}

bool IsDeviceName(std::string_view name) {
    // Windows matches devices on the part before the first dot, with trailing
    // blanks ignored: "nul.txt" and "con .log" are devices.
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = AsciiUpper(c);
    static constexpr std::array<std::string_view, 7> kFixed = {"CON",    "PRN",     "AUX",   "NUL",
                                                               "CONIN$", "CONOUT$", "CLOCK$"};
    for (const auto device : kFixed) {
        if (stem == device)
            return true;
    }
    if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")))
        return IsDevicePortDigit(static_cast<unsigned char>(stem[3]));
    return false;
}

}  // namespace

bool IsSafeUpdateFileName(std::string_view name) {
    if (name.empty() || name.size() > kMaxUpdateFileNameChars)
        return false;
    for (const char c : name) {
        if (IsForbiddenChar(static_cast<unsigned char>(c)))
            return false;
    }
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !IsDeviceName(name);
}

}  // namespace olvex

#include "setup/core/setup_text.h"

#include <limits>

namespace olvex::setup {

char16_t FoldCase(char16_t c) {
    if (c < 0x80) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
    }
    // Latin-1: À-Þ except ×.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
        return static_cast<char16_t>(c + 0x20);
    }
    // Latin Extended-A: upper and lower case alternate in pairs.
    if (c >= 0x100 && c <= 0x137) {
        return static_cast<char16_t>(c | 1);
    }
    if (c >= 0x139 && c <= 0x148) {
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    }
    if (c >= 0x14A && c <= 0x177) {
        return static_cast<char16_t>(c | 1);
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0x179 && c <= 0x17E) {
        return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    }
    // Greek capitals.
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) {
        return static_cast<char16_t>(c + 0x20);
    }
    // Cyrillic capitals.
    if (c >= 0x400 && c <= 0x40F) {
        return static_cast<char16_t>(c + 0x50);
    }
    if (c >= 0x410 && c <= 0x42F) {
        return static_cast<char16_t>(c + 0x20);
    }
    return c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsSpace(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200B) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

std::u16string FromAscii(std::string_view ascii) {
    std::u16string result;
    result.reserve(ascii.size());
    for (const char c : ascii) {
        result.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return result;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        uint32_t code = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            code = lead & 0x07;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool good = i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; good && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                good = false;
            } else {
                code = (code << 6) | (next & 0x3F);
            }
        }
        if (!good || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::u16string DecimalText(int64_t value) {
    if (value < 0) {
        // The magnitude of the most negative value does not fit in int64_t.
        std::u16string text = UnsignedText(static_cast<uint64_t>(-(value + 1)) + 1);
        text.insert(text.begin(), u'-');
        return text;
    }
    return UnsignedText(static_cast<uint64_t>(value));
}

std::u16string UnsignedText(uint64_t value, int width) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    while (static_cast<int>(digits.size()) < width) {
        digits.insert(digits.begin(), u'0');
    }
    return digits;
}

std::u16string SubstituteArguments(std::u16string_view format,
                                   std::initializer_list<std::u16string_view> arguments) {
    std::u16string out;
    out.reserve(format.size());
    auto next = arguments.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' &&
            next != arguments.end()) {
            out.append(*next++);
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

int32_t ParseSignedDecimal(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        return static_cast<int32_t>(-value);
    }
    return value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                       : static_cast<int32_t>(value);
}

}  // namespace olvex::setup

#include "client/protect/locale_date.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace olvex::protect {
namespace {

constexpr int kMostFieldValue = 65535;

struct Element {
    char letter = 0;  // 0: literal text
    int count = 0;    // letters in the field
    std::string literal;
};

// The picture as fields and literals. Quoted text ('...') is literal, and
// '' stands for one quote inside quotes and out; an unclosed quote runs to
// the end.
std::vector<Element> ReadPicture(std::string_view picture, std::string_view field_letters) {
    std::vector<Element> elements;
    const auto add_literal = [&](char c) {
        if (elements.empty() || elements.back().letter != 0)
            elements.push_back({});
        elements.back().literal.push_back(c);
    };
    for (std::size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'' && i + 1 < picture.size() && picture[i + 1] == '\'') {
            add_literal('\'');
            i += 2;
            continue;
        }
        if (c == '\'') {
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        add_literal('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                add_literal(picture[i]);
                ++i;
            }
            continue;
        }
        if (field_letters.find(c) == std::string_view::npos) {
            add_literal(c);
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < picture.size() && picture[end] == c)
            ++end;
        elements.push_back({c, static_cast<int>(end - i), {}});
        i = end;
    }
    return elements;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct FieldValue {
    char letter;
    int count;
    std::string_view text;
};

// Each field of the picture with its piece of the text.
std::vector<FieldValue> MatchPicture(const std::vector<Element>& elements, std::string_view text) {
    std::vector<FieldValue> values;
    std::size_t at = 0;
    for (std::size_t i = 0; i < elements.size() && at < text.size(); ++i) {
        const Element& element = elements[i];
        const std::string_view rest = text.substr(at);
        if (element.letter == 0) {
            if (rest.substr(0, element.literal.size()) == element.literal)
                at += element.literal.size();
            continue;
        }
        std::size_t length = rest.size();
        if (i + 1 < elements.size()) {
            const Element& next = elements[i + 1];
            if (next.letter == 0) {
                const std::size_t found = rest.find(next.literal);
                length = found == std::string_view::npos ? rest.size() : found;
            } else {
                // Two fields side by side: a number takes its digits (at
                // most the field's width, two for one letter), a name the
                // characters that are no digits.
                const bool number =
                    element.letter != 't' &&
                    (element.count <= 2 || (element.letter == 'y' && element.count == 4));
                const std::size_t most =
                    number ? static_cast<std::size_t>(std::max(element.count, 2)) : rest.size();
                length = 0;
                while (length < rest.size() && length < most && IsDigit(rest[length]) == number)
                    ++length;
            }
        }
        values.push_back({element.letter, element.count, rest.substr(0, length)});
        at += length;
    }
    return values;
}

int NameIndex(std::string_view name, const LocaleInfo& locale, int first, int last, bool months,
              bool abbreviated) {
    for (int index = first; index <= last; ++index) {
        const std::string known =
            months ? locale.MonthName(index, abbreviated) : locale.DayName(index, abbreviated);
        if (!known.empty() && name == known)
            return index;
    }
    return 0;
}

}  // namespace

int LeadingNumber(std::string_view value) {
    std::size_t at = 0;
    while (at < value.size() && (value[at] == ' ' || value[at] == '\t' || value[at] == '\n' ||
                                 value[at] == '\r' || value[at] == '\v' || value[at] == '\f'))
        ++at;
    bool negative = false;
    if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
        negative = value[at] == '-';
        ++at;
    }
    int number = 0;
    for (; at < value.size() && IsDigit(value[at]); ++at)
        number = std::min(number * 10 + (value[at] - '0'), kMostFieldValue);
    return negative ? 0 : number;
}

int MonthFromShortName(std::string_view name, const LocaleInfo& locale) {
    const int month = NameIndex(name, locale, 1, 12, true, true);
    return month == 0 ? 1 : month;
}

int MonthFromLongName(std::string_view name, const LocaleInfo& locale) {
    const int month = NameIndex(name, locale, 1, 12, true, false);
    return month == 0 ? 1 : month;
}

int DayOfWeekFromShortName(std::string_view name, const LocaleInfo& locale) {
    return NameIndex(name, locale, 1, 7, false, true);
}

int DayOfWeekFromLongName(std::string_view name, const LocaleInfo& locale) {
    return NameIndex(name, locale, 1, 7, false, false);
}

void ParseLocaleDate(std::string_view text, const LocaleInfo& locale, DateTimeFields& fields) {
    fields.year = 2000;
    fields.month = 1;
    fields.day = 1;
    fields.day_of_week = 0;
    const auto elements = ReadPicture(locale.ShortDatePicture(), "dMyg");
    for (const FieldValue& value : MatchPicture(elements, text)) {
        switch (value.letter) {
            case 'd':
                if (value.count <= 2)
                    fields.day = LeadingNumber(value.text);
                else if (value.count == 3)
                    fields.day_of_week = DayOfWeekFromShortName(value.text, locale);
                else
                    fields.day_of_week = DayOfWeekFromLongName(value.text, locale);
                break;
            case 'M':
                if (value.count <= 2)
                    fields.month = LeadingNumber(value.text);
                else if (value.count == 3)
                    fields.month = MonthFromShortName(value.text, locale);
                else
                    fields.month = MonthFromLongName(value.text, locale);
                break;
            case 'y':
                if (value.count <= 2)
                    fields.year = std::min(2000 + LeadingNumber(value.text), kMostFieldValue);
                else if (value.count == 4)
                    fields.year = LeadingNumber(value.text);
                break;
            default:  // the era
                break;
        }
    }
}

void ParseLocaleTime(std::string_view text, const LocaleInfo& locale, DateTimeFields& fields) {
    fields.hour = 0;
    fields.minute = 0;
    fields.second = 0;
    const auto elements = ReadPicture(locale.TimePicture(), "hHmst");
    bool twelve_hour = false;
    std::string_view marker;
    int marker_letters = 0;
    for (const FieldValue& value : MatchPicture(elements, text)) {
        switch (value.letter) {
            case 'h':
                twelve_hour = true;
                fields.hour = LeadingNumber(value.text);
                break;
            case 'H':
                twelve_hour = false;
                fields.hour = LeadingNumber(value.text);
                break;
            case 'm':
                fields.minute = LeadingNumber(value.text);
                break;
            case 's':
                fields.second = LeadingNumber(value.text);
                break;
            default:  // 't': the AM/PM marker
                marker = value.text;
                marker_letters = value.count;
                break;
        }
    }
    if (!twelve_hour || marker.empty())
        return;
    // "t" writes the marker's first character only.
    const auto matches = [&](const std::string& known) {
        if (known.empty())
            return false;
        return marker_letters == 1 ? marker == std::string_view(known).substr(0, 1)
                                   : marker == known;
    };
    const bool pm = matches(locale.PmMarker());
    const bool am = !pm && matches(locale.AmMarker());
    if (pm && fields.hour >= 1 && fields.hour <= 11)
        fields.hour += 12;
    else if (am && fields.hour == 12)
        fields.hour = 0;
}

}  // namespace olvex::protect

#include "setup/tools/standin_rules.h"

#include "setup/core/setup_text.h"

namespace olvex::standin {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

size_t FindNoCase(std::u16string_view text, std::u16string_view needle, size_t from = 0) {
    if (needle.empty() || needle.size() > text.size()) {
        return std::u16string_view::npos;
    }
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (setup::EqualsNoCase(text.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<std::u16string> SwitchValue(std::u16string_view arguments, std::u16string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const std::u16string key = std::u16string(name) + u"=";
    size_t at = 0;
    // A switch begins the arguments or follows a blank: "/ProductDest=" is
    // not found inside "/OldProductDest=".
    while ((at = FindNoCase(arguments, key, at)) != std::u16string_view::npos) {
        if (at == 0 || IsBlank(arguments[at - 1])) {
            break;
        }
        ++at;
    }
    if (at == std::u16string_view::npos) {
        return std::nullopt;
    }
    std::u16string_view rest = arguments.substr(at + key.size());
    if (!rest.empty() && rest.front() == u'"') {
        rest.remove_prefix(1);
        const size_t close = rest.find(u'"');
        return std::u16string(rest.substr(0, close));
    }
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) {
        ++end;
    }
    return std::u16string(rest.substr(0, end));
}

std::u16string DestinationByRule(std::u16string_view rule, std::u16string_view arguments) {
    constexpr std::u16string_view kSwitch = u"switch:";
    constexpr std::u16string_view kAfter = u"after:";
    if (setup::StartsWithNoCase(rule, kSwitch)) {
        return SwitchValue(arguments, Trim(rule.substr(kSwitch.size()))).value_or(u"");
    }
    if (setup::StartsWithNoCase(rule, kAfter)) {
        // The ini may lose the text's trailing blank: it is found trimmed
        // and the blanks after it are trimmed from the value.
        const std::u16string_view text = Trim(rule.substr(kAfter.size()));
        const size_t at = FindNoCase(arguments, text);
        if (at == std::u16string_view::npos) {
            return u"";
        }
        std::u16string_view rest = Trim(arguments.substr(at + text.size()));
        if (rest.size() >= 2 && rest.front() == u'"' && rest.back() == u'"') {
            rest = rest.substr(1, rest.size() - 2);
        }
        return std::u16string(rest);
    }
    return u"";
}

bool IsStopRequest(std::u16string_view arguments) {
    const std::u16string_view trimmed = Trim(arguments);
    size_t start = trimmed.size();
    while (start > 0 && !IsBlank(trimmed[start - 1])) {
        --start;
    }
    const std::u16string_view last = trimmed.substr(start);
    return setup::EqualsNoCase(last, u"-k") || setup::EqualsNoCase(last, u"/exit");
}

std::optional<LaunchedProduct> ProductForLauncherSwitch(std::u16string_view arguments) {
    static constexpr std::u16string_view kSwitch = u"t3";
    static constexpr LaunchedProduct kAntiSpyware{u"SOFTWARE\\Vorandel\\KelvanGorsewatch",
                                                  u"InstallPath", u"Gorsewatch5.exe"};
    size_t at = 0;
    while (at < arguments.size()) {
        while (at < arguments.size() && IsBlank(arguments[at])) {
            ++at;
        }
        size_t end = at;
        while (end < arguments.size() && !IsBlank(arguments[end])) {
            ++end;
        }
        const std::u16string_view word = arguments.substr(at, end - at);
        if (word.size() == kSwitch.size() + 1 && (word.front() == u'/' || word.front() == u'-') &&
            setup::EqualsNoCase(word.substr(1), kSwitch)) {
            return kAntiSpyware;
        }
        at = end;
    }
    return std::nullopt;
}

std::optional<std::vector<std::u16string>> SplitFields(std::u16string_view value, size_t count) {
    std::vector<std::u16string> fields;
    while (fields.size() + 1 < count) {
        const size_t bar = value.find(u'|');
        if (bar == std::u16string_view::npos) {
            return std::nullopt;
        }
        fields.emplace_back(value.substr(0, bar));
        value.remove_prefix(bar + 1);
    }
    fields.emplace_back(value);
    return fields;
}

std::u16string ReplacePlaceholders(std::u16string_view text, const Placeholders& values) {
    const struct {
        std::u16string_view name;
        const std::u16string& value;
    } names[] = {{u"%DEST%", values.dest},
                 {u"%SELFDIR%", values.self_dir},
                 {u"%SYSDIR%", values.system_dir}};
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == u'%') {
            for (const auto& entry : names) {
                if (text.size() - i >= entry.name.size() &&
                    setup::EqualsNoCase(text.substr(i, entry.name.size()), entry.name)) {
                    out += entry.value;
                    i += entry.name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += text[i];
            ++i;
        }
    }
    return out;
}

bool NeedsMissingDestination(std::u16string_view text, const Placeholders& values) {
    return values.dest.empty() && FindNoCase(text, u"%DEST%") != std::u16string_view::npos;
}

std::optional<unsigned> ParseWindowEnds(std::u16string_view value) {
    value = Trim(value);
    if (value.empty()) {
        return kEndOnClose | kEndOnUser100 | kEndOnDestroy;
    }
    if (setup::EqualsNoCase(value, u"none")) {
        return 0u;
    }
    unsigned mask = 0;
    while (true) {
        const size_t comma = value.find(u',');
        const std::u16string_view item = Trim(value.substr(0, comma));
        if (item == u"16") {
            mask |= kEndOnClose;
        } else if (item == u"1124") {
            mask |= kEndOnUser100;
        } else if (item == u"2") {
            mask |= kEndOnDestroy;
        } else {
            return std::nullopt;
        }
        if (comma == std::u16string_view::npos) {
            return mask;
        }
        value.remove_prefix(comma + 1);
    }
}

std::optional<uint32_t> ParseDword(std::u16string_view text) {
    text = Trim(text);
    unsigned base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t number = 0;
    for (const char16_t c : text) {
        unsigned digit = 0;
        if (c >= u'0' && c <= u'9') {
            digit = static_cast<unsigned>(c - u'0');
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            digit = static_cast<unsigned>(c - u'a' + 10);
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            digit = static_cast<unsigned>(c - u'A' + 10);
        } else {
            return std::nullopt;
        }
        number = number * base + digit;
        if (number > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    return static_cast<uint32_t>(number);
}

}  // namespace olvex::standin

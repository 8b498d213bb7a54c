#include "setup/tools/standin_rules.h"

#include <cwctype>

namespace olvex::standin {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

wchar_t Lower(wchar_t c) {
    return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

size_t FindNoCase(std::wstring_view text, std::wstring_view needle, size_t from = 0) {
    if (needle.empty() || needle.size() > text.size()) {
        return std::wstring_view::npos;
    }
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (EqualNoCase(text.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::wstring_view::npos;
}

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::wstring ArgumentsOf(std::wstring_view command_line) {
    size_t i = 0;
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    if (i < command_line.size() && command_line[i] == L'"') {
        const size_t close = command_line.find(L'"', i + 1);
        i = close == std::wstring_view::npos ? command_line.size() : close + 1;
    } else {
        while (i < command_line.size() && !IsBlank(command_line[i])) {
            ++i;
        }
    }
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    return std::wstring(command_line.substr(i));
}

std::optional<std::wstring> SwitchValue(std::wstring_view arguments, std::wstring_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    const std::wstring key = std::wstring(name) + L"=";
    size_t at = 0;
    // A switch begins the arguments or follows a blank: "/ProductDest=" is
    // not found inside "/OldProductDest=".
    while ((at = FindNoCase(arguments, key, at)) != std::wstring_view::npos) {
        if (at == 0 || IsBlank(arguments[at - 1])) {
            break;
        }
        ++at;
    }
    if (at == std::wstring_view::npos) {
        return std::nullopt;
    }
    std::wstring_view rest = arguments.substr(at + key.size());
    if (!rest.empty() && rest.front() == L'"') {
        rest.remove_prefix(1);
        const size_t close = rest.find(L'"');
        return std::wstring(rest.substr(0, close));
    }
    size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end])) {
        ++end;
    }
    return std::wstring(rest.substr(0, end));
}

std::wstring DestinationByRule(std::wstring_view rule, std::wstring_view arguments) {
    constexpr std::wstring_view kSwitch = L"switch:";
    constexpr std::wstring_view kAfter = L"after:";
    if (rule.size() >= kSwitch.size() && EqualNoCase(rule.substr(0, kSwitch.size()), kSwitch)) {
        return SwitchValue(arguments, Trim(rule.substr(kSwitch.size()))).value_or(L"");
    }
    if (rule.size() >= kAfter.size() && EqualNoCase(rule.substr(0, kAfter.size()), kAfter)) {
        // The ini may lose the text's trailing blank: it is found trimmed
        // and the blanks after it are trimmed from the value.
        const std::wstring_view text = Trim(rule.substr(kAfter.size()));
        const size_t at = FindNoCase(arguments, text);
        if (at == std::wstring_view::npos) {
            return L"";
        }
        std::wstring_view rest = Trim(arguments.substr(at + text.size()));
        if (rest.size() >= 2 && rest.front() == L'"' && rest.back() == L'"') {
            rest = rest.substr(1, rest.size() - 2);
        }
        return std::wstring(rest);
    }
    return L"";
}

bool IsStopRequest(std::wstring_view arguments) {
    const std::wstring_view trimmed = Trim(arguments);
    size_t start = trimmed.size();
    while (start > 0 && !IsBlank(trimmed[start - 1])) {
        --start;
    }
    const std::wstring_view last = trimmed.substr(start);
    return EqualNoCase(last, L"-k") || EqualNoCase(last, L"/exit");
}

std::optional<std::vector<std::wstring>> SplitFields(std::wstring_view value, size_t count) {
    std::vector<std::wstring> fields;
    while (fields.size() + 1 < count) {
        const size_t bar = value.find(L'|');
        if (bar == std::wstring_view::npos) {
            return std::nullopt;
        }
        fields.emplace_back(value.substr(0, bar));
        value.remove_prefix(bar + 1);
    }
    fields.emplace_back(value);
    return fields;
}

std::wstring ReplacePlaceholders(std::wstring_view text, const Placeholders& values) {
    const struct {
        std::wstring_view name;
        const std::wstring& value;
    } names[] = {{L"%DEST%", values.dest},
                 {L"%SELFDIR%", values.self_dir},
                 {L"%SYSDIR%", values.system_dir}};
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == L'%') {
            for (const auto& entry : names) {
                if (text.size() - i >= entry.name.size() &&
                    EqualNoCase(text.substr(i, entry.name.size()), entry.name)) {
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

std::optional<unsigned> ParseWindowEnds(std::wstring_view value) {
    value = Trim(value);
    if (value.empty()) {
        return kEndOnClose | kEndOnUser100 | kEndOnDestroy;
    }
    if (EqualNoCase(value, L"none")) {
        return 0u;
    }
    unsigned mask = 0;
    while (true) {
        const size_t comma = value.find(L',');
        const std::wstring_view item = Trim(value.substr(0, comma));
        if (item == L"16") {
            mask |= kEndOnClose;
        } else if (item == L"1124") {
            mask |= kEndOnUser100;
        } else if (item == L"2") {
            mask |= kEndOnDestroy;
        } else {
            return std::nullopt;
        }
        if (comma == std::wstring_view::npos) {
            return mask;
        }
        value.remove_prefix(comma + 1);
    }
}

std::optional<uint32_t> ParseDword(std::wstring_view text) {
    text = Trim(text);
    unsigned base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t number = 0;
    for (const wchar_t c : text) {
        unsigned digit = 0;
        if (c >= L'0' && c <= L'9') {
            digit = static_cast<unsigned>(c - L'0');
        } else if (base == 16 && c >= L'a' && c <= L'f') {
            digit = static_cast<unsigned>(c - L'a' + 10);
        } else if (base == 16 && c >= L'A' && c <= L'F') {
            digit = static_cast<unsigned>(c - L'A' + 10);
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

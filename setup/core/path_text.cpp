#include "setup/core/path_text.h"

#include <algorithm>
#include <vector>

#include "setup/core/setup_text.h"

namespace olvex::setup::util {
namespace {

constexpr int kMaxMacroDepth = 8;

bool Fits(size_t length, size_t size) {
    return length + 1 <= size;
}

bool IsRootWithBackslash(std::u16string_view path) {
    return path == u"\\" || (path.size() == 3 && path[1] == u':' && path[2] == u'\\');
}

bool ExpandInto(std::u16string_view text, int depth, const MacroLookups& lookups,
                std::u16string& out) {
    if (depth > kMaxMacroDepth || text.size() > kMaxExpandedText) {
        return false;
    }
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != u'%') {
            out.push_back(text[i++]);
        } else {
            const size_t close = text.find(u'%', i + 1);
            if (close == std::u16string_view::npos) {
                out.append(text.substr(i));
                i = text.size();
            } else {
                const std::u16string_view name = text.substr(i + 1, close - i - 1);
                std::optional<std::u16string> value =
                    lookups.environment ? lookups.environment(name) : std::nullopt;
                if (!value) {
                    const std::function<std::optional<std::u16string>()>* folder = nullptr;
                    if (EqualsNoCase(name, u"SYSTEMROOT")) {
                        folder = &lookups.windows_folder;
                    } else if (EqualsNoCase(name, u"SYSTEMPATH")) {
                        folder = &lookups.system_folder;
                    } else if (EqualsNoCase(name, u"SYSTEMDRIVE")) {
                        folder = &lookups.windows_drive;
                    }
                    if (folder) {
                        value = *folder ? (*folder)() : std::nullopt;
                        if (!value) {
                            return false;
                        }
                    }
                }
                if (value && !ExpandInto(*value, depth + 1, lookups, out)) {
                    return false;
                }
                i = close + 1;
            }
        }
        if (out.size() > kMaxExpandedText) {
            return false;
        }
    }
    return true;
}

bool PathMatches(std::u16string_view path, std::u16string_view reference, bool exact) {
    if (exact) {
        return EqualsNoCase(path, reference);
    }
    if (!StartsWithNoCase(path, reference)) {
        return false;
    }
    return path.size() == reference.size() || reference.back() == u'\\' ||
           path[reference.size()] == u'\\';
}

}  // namespace

std::optional<std::u16string> AppendPath(std::u16string_view folder,
                                         std::optional<std::u16string_view> sub_path, size_t size) {
    std::u16string result(folder);
    if (sub_path) {
        std::u16string_view sub = *sub_path;
        while (!sub.empty() && sub.front() == u'\\') {
            sub.remove_prefix(1);
        }
        if (!result.empty() && result.back() != u'\\') {
            result.push_back(u'\\');
        }
        result.append(sub);
    }
    if (!Fits(result.size(), size)) {
        return std::nullopt;
    }
    return result;
}

bool EnsureTrailingChar(std::u16string& text, char16_t c, size_t size) {
    if (!text.empty() && text.back() == c) {
        return true;
    }
    if (!Fits(text.size() + 1, size)) {
        return false;
    }
    text.push_back(c);
    return true;
}

void TrimPathEnd(std::u16string& path) {
    bool changed = true;
    while (changed && !path.empty()) {
        changed = false;
        if (IsSpace(path.back())) {
            path.pop_back();
            changed = true;
        } else if (path.back() == u'\\' && !IsRootWithBackslash(path)) {
            path.pop_back();
            changed = true;
        }
    }
}

void TrimTrailingBackslashes(std::u16string& text) {
    TrimTrailingChar(text, u'\\');
}

void TrimTrailingChar(std::u16string& text, char16_t c) {
    while (!text.empty() && text.back() == c) {
        text.pop_back();
    }
}

void TrimTrailingSpaces(std::u16string& text) {
    while (!text.empty() && IsSpace(text.back())) {
        text.pop_back();
    }
}

void TrimLeadingSpaces(std::u16string& text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    text.erase(0, i);
}

void TrimLeadingChar(std::u16string& text, char16_t c) {
    size_t i = 0;
    while (i < text.size() && text[i] == c) {
        ++i;
    }
    text.erase(0, i);
}

bool CutTrailingChar(std::u16string& text, char16_t c) {
    const size_t at = text.rfind(c);
    if (at == std::u16string::npos) {
        return false;
    }
    text.resize(at);
    return true;
}

size_t FindChar(std::u16string_view text, char16_t c) {
    return c == 0 ? text.size() : text.find(c);
}

size_t FindLastChar(std::u16string_view text, char16_t c) {
    return c == 0 ? text.size() : text.rfind(c);
}

uint32_t ParseDecimal(std::u16string_view text) {
    uint64_t value = 0;
    for (size_t i = 0; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > UINT32_MAX) {
            value = UINT32_MAX;
        }
    }
    return static_cast<uint32_t>(value);
}

int CompareVersions(std::u16string_view a, std::u16string_view b) {
    const auto numbers = [](std::u16string_view text) {
        std::vector<uint64_t> result;
        size_t i = 0;
        while (i < text.size()) {
            if (text[i] < u'0' || text[i] > u'9') {
                ++i;
                continue;
            }
            uint64_t value = 0;
            for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
                value = value * 10 + (text[i] - u'0');
                if (value > UINT32_MAX) {
                    value = UINT32_MAX;
                }
            }
            result.push_back(value);
        }
        return result;
    };
    const std::vector<uint64_t> left = numbers(a);
    const std::vector<uint64_t> right = numbers(b);
    const size_t count = std::max(left.size(), right.size());
    for (size_t i = 0; i < count; ++i) {
        const uint64_t l = i < left.size() ? left[i] : 0;
        const uint64_t r = i < right.size() ? right[i] : 0;
        if (l != r) {
            const int index = static_cast<int>(i) + 1;
            return l < r ? -index : index;
        }
    }
    return 0;
}

std::u16string_view FileNamePart(std::u16string_view path) {
    const size_t at = path.rfind(u'\\');
    return at == std::u16string_view::npos ? path : path.substr(at + 1);
}

std::u16string_view FolderPart(std::u16string_view path) {
    const size_t at = path.rfind(u'\\');
    return at == std::u16string_view::npos ? std::u16string_view{} : path.substr(0, at);
}

std::optional<std::u16string> ExpandSystemMacros(std::u16string_view text,
                                                 const MacroLookups& lookups) {
    std::u16string out;
    if (!ExpandInto(text, 0, lookups, out)) {
        return std::nullopt;
    }
    return out;
}

bool ComparePaths(std::u16string_view path, std::u16string_view reference, bool exact,
                  const PathLookups& lookups) {
    if (path.empty()) {
        return true;
    }
    if (reference.empty()) {
        return false;
    }
    const auto apply = [](const auto& lookup, std::u16string_view text) {
        return lookup ? lookup(text) : std::nullopt;
    };
    std::u16string expanded_reference =
        apply(lookups.expand, reference).value_or(std::u16string(reference));
    if (!exact && expanded_reference.size() > 1 && !IsRootWithBackslash(expanded_reference)) {
        TrimTrailingBackslashes(expanded_reference);
    }
    if (expanded_reference.empty()) {
        return false;
    }
    std::vector<std::u16string> forms{std::u16string(path)};
    if (auto expanded = apply(lookups.expand, path); expanded && *expanded != path) {
        forms.push_back(std::move(*expanded));
    }
    for (const std::u16string& form : forms) {
        if (PathMatches(form, expanded_reference, exact)) {
            return true;
        }
    }
    const auto short_reference = apply(lookups.short_form, expanded_reference);
    if (!short_reference || short_reference->empty()) {
        return false;
    }
    for (const std::u16string& form : forms) {
        const auto short_path = apply(lookups.short_form, form);
        if (short_path && !short_path->empty() &&
            PathMatches(*short_path, *short_reference, exact)) {
            return true;
        }
    }
    return false;
}

std::u16string FormatNumberedName(std::u16string_view format, uint32_t number) {
    std::u16string out;
    bool filled = false;
    size_t i = 0;
    while (i < format.size()) {
        if (!filled && format[i] == u'%') {
            size_t j = i + 1;
            const bool zero = j < format.size() && format[j] == u'0';
            int width = 0;
            while (j < format.size() && format[j] >= u'0' && format[j] <= u'9' && width < 100) {
                width = width * 10 + (format[j] - u'0');
                ++j;
            }
            if (j < format.size() && (format[j] == u'd' || format[j] == u'u')) {
                std::u16string digits = UnsignedText(number);
                while (static_cast<int>(digits.size()) < width) {
                    digits.insert(digits.begin(), zero ? u'0' : u' ');
                }
                out += digits;
                filled = true;
                i = j + 1;
                continue;
            }
        }
        out.push_back(format[i++]);
    }
    return out;
}

std::optional<std::u16string> FindUnusedNumberedName(
    std::u16string_view format, uint32_t first, uint32_t last,
    const std::function<bool(const std::u16string&)>& exists) {
    for (uint64_t n = first; n <= last; ++n) {
        std::u16string name = FormatNumberedName(format, static_cast<uint32_t>(n));
        if (!exists(name)) {
            return name;
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> UnusedSiblingName(
    std::u16string_view path, const std::function<bool(const std::u16string&)>& exists) {
    std::u16string base(path);
    const size_t name_at = base.rfind(u'\\');
    const size_t dot = base.rfind(u'.');
    if (dot != std::u16string::npos && (name_at == std::u16string::npos || dot > name_at)) {
        base.resize(dot + 1);
    } else {
        base.push_back(u'.');
    }
    for (uint32_t n = 1; n <= 999; ++n) {
        std::u16string candidate = base + UnsignedText(n);
        if (!exists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> BuildCommandLine(std::u16string_view folder,
                                               std::u16string_view module,
                                               std::u16string_view switches, size_t size) {
    const auto program = AppendPath(folder, module, size);
    if (!program) {
        return std::nullopt;
    }
    std::u16string line = u"\"" + *program + u"\"";
    if (!switches.empty()) {
        line += u" ";
        line += switches;
    }
    if (!Fits(line.size(), size)) {
        return std::nullopt;
    }
    return line;
}

}  // namespace olvex::setup::util

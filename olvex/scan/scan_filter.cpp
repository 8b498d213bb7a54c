#include "olvex/scan/scan_filter.h"

namespace olvex {
namespace {

bool IsSingle(std::string_view text, std::size_t pos, const MultiByteText& mb, char c) {
    return mb.CharLength(text, pos) == 1 && text[pos] == c;
}

}  // namespace

std::string UpperCaseText(std::string_view text, const MultiByteText& mb) {
    std::string upper(text);
    for (std::size_t i = 0; i < upper.size();) {
        const std::size_t length = mb.CharLength(upper, i);
        if (length == 1 && upper[i] >= 'a' && upper[i] <= 'z')
            upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
        i += length;
    }
    return upper;
}

bool WildcardMatch(std::string_view pattern, std::string_view text, const MultiByteText& mb) {
    std::size_t p = 0;
    std::size_t t = 0;
    // Where the last "*" was, and the text position it is trying next.
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && IsSingle(pattern, p, mb, '*')) {
            star = p++;
            resume = t;
            continue;
        }
        const std::size_t text_length = mb.CharLength(text, t);
        if (p < pattern.size()) {
            const std::size_t pattern_length = mb.CharLength(pattern, p);
            if (IsSingle(pattern, p, mb, '?')) {
                ++p;
                t += text_length;
                continue;
            }
            if (pattern_length == text_length &&
                pattern.substr(p, pattern_length) == text.substr(t, text_length)) {
                p += pattern_length;
                t += text_length;
                continue;
            }
        }
        if (star == std::string_view::npos)
            return false;
        // Let the last "*" take one more character and try again from there.
        p = star + 1;
        resume += mb.CharLength(text, resume);
        t = resume;
    }
    while (p < pattern.size() && IsSingle(pattern, p, mb, '*'))
        ++p;
    return p == pattern.size();
}

bool ScanFilterList::Parse(std::string_view filters) {
    patterns_.clear();
    std::size_t start = 0;
    while (start < filters.size()) {
        std::size_t end = mb_.Find(filters, ';', start);
        if (end == std::string_view::npos)
            end = filters.size();
        const std::string_view piece = filters.substr(start, end - start);
        start = end + 1;
        if (piece.empty())
            continue;
        if (piece.size() > kMaxScanFilterPattern) {
            patterns_.emplace_back(kDefaultScanFilter);
            return false;
        }
        patterns_.push_back(UpperCaseText(piece, mb_));
    }
    return true;
}

bool ScanFilterList::Matches(std::string_view path) const {
    const std::string upper = UpperCaseText(path, mb_);
    const std::size_t first_dot = mb_.Find(upper, '.');
    const bool no_extension = first_dot == std::string::npos || first_dot + 1 == upper.size();
    bool result = false;
    for (const std::string& pattern : patterns_) {
        std::string_view body = pattern;
        bool negative = false;
        if (body.size() > 1 && body.front() == '!') {
            body.remove_prefix(1);
            negative = true;
        }
        if (no_extension && mb_.Contains(body, ".*"))
            return true;
        if (!WildcardMatch(body, upper, mb_))
            continue;
        if (negative)
            return false;
        result = true;
    }
    return result;
}

bool IsCookieFileName(std::string_view name, const MultiByteText& mb) {
    const std::string lower = mb.Lower(name);
    return mb.Find(lower, '@') != std::string::npos && mb.Contains(lower, ".txt");
}

std::string_view FileNameOfPath(std::string_view path, const MultiByteText& mb) {
    const std::size_t slash = mb.FindLast(path, '\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace olvex

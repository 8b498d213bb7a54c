#include "olvex/core/multibyte_text.h"

#include <utility>

namespace olvex {
namespace {

bool IsBlankOrControlSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

MultiByteText::MultiByteText(LeadBytePredicate is_lead_byte) {
    for (std::size_t b = 0; b < lead_.size(); ++b) {
        lead_[b] = is_lead_byte(static_cast<unsigned char>(b));
        has_lead_bytes_ = has_lead_bytes_ || lead_[b];
    }
}

MultiByteText MultiByteText::SingleByte() {
    return MultiByteText();
}

MultiByteText MultiByteText::ForCodePage(unsigned code_page) {
    // Lead-byte ranges as the system reports them for these code pages.
    static constexpr std::pair<unsigned, unsigned> kShiftJis[] = {{0x81, 0x9F}, {0xE0, 0xFC}};
    static constexpr std::pair<unsigned, unsigned> kWide[] = {{0x81, 0xFE}};
    MultiByteText text;
    auto mark = [&text](auto const& list) {
        for (const auto& [first, last] : list)
            for (unsigned b = first; b <= last; ++b)
                text.lead_[b] = text.has_lead_bytes_ = true;
    };
    switch (code_page) {
        case 932:
            mark(kShiftJis);
            break;
        case 936:
        case 949:
        case 950:
            mark(kWide);
            break;
        default:
            break;
    }
    return text;
}

std::size_t MultiByteText::CharLength(std::string_view text, std::size_t pos) const {
    if (pos + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[pos])))
        return 2;
    return 1;
}

std::size_t MultiByteText::Find(std::string_view text, char c, std::size_t from) const {
    if (!has_lead_bytes_)
        return text.find(c, from);
    for (std::size_t pos = from; pos < text.size(); pos += CharLength(text, pos)) {
        if (text[pos] == c && CharLength(text, pos) == 1)
            return pos;
    }
    return std::string_view::npos;
}

std::size_t MultiByteText::FindLast(std::string_view text, char c) const {
    std::size_t found = std::string_view::npos;
    for (std::size_t pos = Find(text, c); pos != std::string_view::npos;
         pos = Find(text, c, pos + 1))
        found = pos;
    return found;
}

bool MultiByteText::Contains(std::string_view text, std::string_view needle) const {
    if (needle.empty())
        return true;
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos)) {
        if (text.substr(pos, needle.size()) == needle)
            return true;
    }
    return false;
}

std::string_view MultiByteText::Trim(std::string_view text) const {
    // Walk forward so that a trail byte is never taken for white space.
    std::size_t begin = 0;
    while (begin < text.size() && CharLength(text, begin) == 1 &&
           IsBlankOrControlSpace(static_cast<unsigned char>(text[begin])))
        ++begin;
    std::size_t end = begin;
    for (std::size_t pos = begin; pos < text.size();) {
        const std::size_t len = CharLength(text, pos);
        if (len != 1 || !IsBlankOrControlSpace(static_cast<unsigned char>(text[pos])))
            end = pos + len;
        pos += len;
    }
    return text.substr(begin, end - begin);
}

std::string MultiByteText::Lower(std::string_view text) const {
    std::string lowered(text);
    if (!has_lead_bytes_) {
        for (char& c : lowered)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return lowered;
    }
    for (std::size_t pos = 0; pos < lowered.size(); pos += CharLength(lowered, pos)) {
        const char c = lowered[pos];
        if (c >= 'A' && c <= 'Z' && CharLength(lowered, pos) == 1)
            lowered[pos] = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

bool MultiByteText::EndsOnCharBoundary(std::string_view text) const {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t len = CharLength(text, pos);
        if (len == 1 && IsLeadByte(static_cast<unsigned char>(text[pos])))
            return false;  // only a lead byte in the last position stands alone
        pos += len;
    }
    return true;
}

}  // namespace olvex

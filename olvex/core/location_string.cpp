#include "olvex/core/location_string.h"

#include <ostream>

namespace olvex {
namespace {

constexpr char kQuote = '"';
constexpr char kBlank = ' ';

bool HasControlByte(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            return true;
    }
    return false;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const AttributePair& pair) {
    return out << pair.name << "=[" << pair.value << "]";
}

ParsedLocation ParseLocationString(std::string_view text, const MultiByteText& mb,
                                   std::size_t max_pairs) {
    ParsedLocation parsed;
    std::optional<std::string> pending_name;
    std::string_view rest = text;
    while (!rest.empty()) {
        const char delimiter = rest.front() == kQuote ? kQuote : kBlank;
        // The search starts after the first character, so a quoted token
        // does not end at its own opening quote.
        const std::size_t end = mb.Find(rest, delimiter, mb.CharLength(rest, 0));
        const bool found = end != std::string_view::npos;
        std::string_view token = found ? rest.substr(0, end) : rest;
        if (found && !token.empty() && token.front() == kQuote)
            token.remove_prefix(1);

        if (!token.empty()) {
            if (!pending_name) {
                pending_name = std::string(mb.Trim(token));
            } else {
                parsed.pairs.push_back({std::move(*pending_name), std::string(token)});
                pending_name.reset();
                if (max_pairs != kUnlimitedPairs && parsed.pairs.size() >= max_pairs) {
                    parsed.pair_limit_reached = true;
                    break;
                }
            }
        }
        if (!found)
            break;
        rest.remove_prefix(end + 1);
    }
    return parsed;
}

std::string FoldAttributeName(std::string_view name, const MultiByteText& mb) {
    return mb.Lower(mb.Trim(name));
}

std::optional<std::size_t> FindAttribute(std::span<const AttributePair> pairs,
                                         std::string_view name, const MultiByteText& mb) {
    const std::string wanted = FoldAttributeName(name, mb);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (FoldAttributeName(pairs[i].name, mb) == wanted)
            return i;
    }
    return std::nullopt;
}

bool IsWritableValue(std::string_view value, const MultiByteText& mb) {
    return !value.empty() && value.find(kQuote) == std::string_view::npos &&
           !HasControlByte(value) && mb.EndsOnCharBoundary(value);
}

bool IsWritableName(std::string_view name, const MultiByteText& mb) {
    return IsWritableValue(name, mb) && name.find(kBlank) == std::string_view::npos &&
           mb.Trim(name).size() == name.size();
}

std::optional<std::string> FormatLocationPairs(std::span<const AttributePair> pairs,
                                               PairSeparator separator, const MultiByteText& mb) {
    std::string text;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const auto& [name, value] = pairs[i];
        if (!IsWritableName(name, mb) || !IsWritableValue(value, mb))
            return std::nullopt;
        if (i > 0 && separator == PairSeparator::kBlank)
            text += kBlank;
        text += name;
        text += kBlank;
        text += kQuote;
        text += value;
        text += kQuote;
    }
    return text;
}

}  // namespace olvex

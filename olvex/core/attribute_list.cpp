#include "olvex/core/attribute_list.h"

#include <utility>

namespace olvex {

void AttributeList::SetString(std::string_view text) {
    Clear();
    text_ = std::string(text);
    pairs_ = ParseLocationString(text, mb_, kUnlimitedPairs).pairs;
}

void AttributeList::Clear() {
    text_.clear();
    pairs_.clear();
}

std::optional<std::string> AttributeList::GetAttributeValue(std::string_view name) const {
    const auto index = FindAttribute(pairs_, name, mb_);
    if (!index)
        return std::nullopt;
    return pairs_[*index].value;
}

bool AttributeList::SetAttributeValue(std::string_view name, std::string_view value) {
    std::vector<AttributePair> changed = pairs_;
    std::string lowered_value = mb_.Lower(value);
    if (const auto index = FindAttribute(changed, name, mb_))
        changed[*index].value = std::move(lowered_value);
    else
        changed.push_back({FoldAttributeName(name, mb_), std::move(lowered_value)});

    auto text = FormatLocationPairs(changed, PairSeparator::kNothing, mb_);
    if (!text)
        return false;
    text_ = std::move(*text);
    pairs_ = std::move(changed);
    return true;
}

}  // namespace olvex

#include "olvex/core/location.h"

namespace olvex {

bool Location::SetString(std::string_view text) {
    Clear();
    text_ = std::string(text);
    ParsedLocation parsed = ParseLocationString(text, mb_, kMaxLocationPairs);
    for (auto& pair : parsed.pairs)
        slots_[count_++] = std::move(pair);
    return parsed.pair_limit_reached;
}

void Location::Clear() {
    text_.clear();
    for (auto& slot : slots_)
        slot = {};
    count_ = 0;
}

std::optional<std::string> Location::GetAttributeValue(std::string_view name) const {
    const auto index = FindAttribute(Pairs(), name, mb_);
    if (!index)
        return std::nullopt;
    return slots_[*index].value;
}

bool Location::Has(std::string_view name) const {
    return FindAttribute(Pairs(), name, mb_).has_value();
}

bool Location::IsExclusion() const {
    const auto value = GetAttributeValue(kAttrExclude);
    return value && mb_.Contains(*value, "true");
}

bool Location::IsFile() const {
    return Has(kAttrFile) && !IsCookie() && !IsProcess();
}

bool Location::IsRegistryItem() const {
    return Has(kAttrKey);
}

bool Location::IsCookie() const {
    return Has(kAttrCookie);
}

bool Location::IsFolder() const {
    return Has(kAttrFolder);
}

bool Location::IsProcess() const {
    return Has(kAttrProcessId);
}

}  // namespace olvex

#include "olvex/core/exclusion_criteria.h"

#include <optional>
#include <utility>

#include "olvex/core/leading_decimal.h"

namespace olvex {
namespace {

// The criterion's value, lowered, when it carries something to compare.
std::optional<std::string> TextCriterion(std::span<const AttributePair> exclusion,
                                         std::string_view name, const MultiByteText& mb) {
    const auto at = FindAttribute(exclusion, name, mb);
    if (!at)
        return std::nullopt;
    const std::string& value = exclusion[*at].value;
    if (mb.Trim(value).empty())
        return std::nullopt;
    return mb.Lower(value);
}

// The criterion's number, read the way atoi reads it, when the value starts
// with one at all: "None" or "" is no pest id 0.
std::optional<std::int32_t> NumberCriterion(std::span<const AttributePair> exclusion,
                                            std::string_view name, const MultiByteText& mb) {
    const auto at = FindAttribute(exclusion, name, mb);
    if (!at)
        return std::nullopt;
    std::string_view value = mb.Trim(exclusion[*at].value);
    std::string_view digits = value;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return std::nullopt;
    return ParseLeadingInt32(value);
}

// Pest facts only count when they are known.
bool Known(std::string_view text, const MultiByteText& mb) {
    return !mb.Trim(text).empty();
}

}  // namespace

ExclusionQuery MakeExclusionQuery(std::int32_t pest_id, PestFacts pest, std::string_view location,
                                  const MultiByteText& mb) {
    ExclusionQuery query;
    query.pest_id = pest_id;
    query.pest = std::move(pest);
    const auto pairs = ParseLocationString(location, mb, kUnlimitedPairs).pairs;
    if (const auto at = FindAttribute(pairs, kAttrFile, mb))
        query.file = pairs[*at].value;
    if (const auto at = FindAttribute(pairs, kAttrFolder, mb))
        query.folder = pairs[*at].value;
    return query;
}

bool ExclusionCoversDetection(std::span<const AttributePair> exclusion, const ExclusionQuery& query,
                              const MultiByteText& mb) {
    if (Known(query.pest.category, mb)) {
        if (const auto category = TextCriterion(exclusion, kExclusionCategory, mb);
            category && mb.Contains(mb.Lower(query.pest.category), *category))
            return true;
    }
    if (Known(query.pest.name, mb)) {
        if (const auto name = TextCriterion(exclusion, kExclusionPestName, mb);
            name && mb.Lower(query.pest.name) == *name)
            return true;
    }
    if (query.pest.pvt != kUnknownPvt) {
        if (const auto pvt = NumberCriterion(exclusion, kExclusionPvt, mb);
            pvt && *pvt == query.pest.pvt)
            return true;
    }
    if (query.pest_id != kNoPestId) {
        if (const auto id = NumberCriterion(exclusion, kExclusionPestId, mb);
            id && *id == query.pest_id)
            return true;
    }
    if (const auto path = TextCriterion(exclusion, kExclusionPath, mb)) {
        for (const std::string* value : {&query.file, &query.folder}) {
            if (!value->empty() && mb.Contains(mb.Lower(*value), *path))
                return true;
        }
    }
    return false;
}

bool ExclusionCoversFolder(std::span<const AttributePair> exclusion, std::string_view folder,
                           const MultiByteText& mb) {
    const auto path = TextCriterion(exclusion, kExclusionPath, mb);
    return path && !folder.empty() && mb.Contains(mb.Lower(folder), *path);
}

}  // namespace olvex

#include "olvex/update/delta_index.h"

#include "olvex/core/leading_decimal.h"
#include "olvex/update/update_file_name.h"
#include "olvex/update/update_text_lines.h"

namespace olvex {
namespace {

bool IsUsableUrl(std::string_view url) {
    if (url.size() > kMaxControlUrlChars)
        return false;
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
    }
    return true;
}

std::optional<DeltaGroup> ReadGroup(std::span<const std::string_view> lines) {
    DeltaGroup group;
    group.base_version = ParseLeadingInt32(lines[0]);
    group.target_version = ParseLeadingInt32(lines[1]);
    group.size = ParseLeadingCount32(lines[2]);
    for (std::size_t f = 0; f < kDeltaFilesPerGroup; ++f) {
        const auto file_lines = lines.subspan(3 + 3 * f, 3);
        if (!IsUsableUrl(file_lines[0]))
            return std::nullopt;
        group.files[f].url = std::string(file_lines[0]);
        group.files[f].check_value = ParseLeadingWord32(file_lines[1]);
        group.files[f].size = ParseLeadingCount32(file_lines[2]);
    }
    return group;
}

}  // namespace

std::optional<std::size_t> DeltaStemOf(std::string_view name) {
    std::optional<std::size_t> found;
    for (std::size_t s = 0; s < kDeltaStems.size(); ++s) {
        if (name.find(kDeltaStems[s]) == std::string_view::npos)
            continue;
        if (found)
            return std::nullopt;
        found = s;
    }
    return found;
}

DeltaIndexParse ParseDeltaIndex(std::string_view text) {
    DeltaIndexParse result;
    if (text.size() > kMaxDeltaIndexBytes) {
        result.error = DeltaIndexError::kTooLarge;
        return result;
    }
    const auto lines = SplitUpdateTextLines(text);
    if (lines.size() < kDeltaHeaderLines) {
        result.error = DeltaIndexError::kShortHeader;
        return result;
    }
    auto& index = result.index;
    index.declared_groups = ParseLeadingInt32(lines[kDeltaGroupCountLine - 1]);
    const std::span body = std::span(lines).subspan(kDeltaHeaderLines);
    const std::size_t declared =
        index.declared_groups > 0 ? static_cast<std::size_t>(index.declared_groups) : 0;
    for (std::size_t g = 0; g < declared; ++g) {
        if (body.size() < (g + 1) * kDeltaGroupLines) {
            index.cut_short = true;
            break;
        }
        auto group = ReadGroup(body.subspan(g * kDeltaGroupLines, kDeltaGroupLines));
        if (!group) {
            index.cut_short = true;
            break;
        }
        index.groups.push_back(std::move(*group));
    }
    return result;
}

DeltaIndexParse ParseDeltaIndex(std::span<const std::uint8_t> bytes) {
    return ParseDeltaIndex(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<std::string> DeltaFileName(std::string_view url, std::int32_t target_version) {
    const auto slash = url.rfind('/');
    const std::string_view element = slash == std::string_view::npos ? url : url.substr(slash + 1);
    const auto dot = element.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    std::string name(element.substr(0, dot));
    name += std::to_string(target_version);
    name += element.substr(dot);
    if (!IsSafeUpdateFileName(name))
        return std::nullopt;
    return name;
}

std::optional<DeltaPlan> PlanDeltaChain(const DeltaIndex& index, const DeltaChainInput& input) {
    DeltaPlan plan;
    for (std::size_t k = 0; k < index.groups.size(); ++k) {
        const DeltaGroup& group = index.groups[k];
        if (group.base_version < input.installed_version)
            return std::nullopt;
        if (k > 0 && group.target_version != index.groups[k - 1].base_version)
            return std::nullopt;
        plan.bytes += group.size;
        // max < D + S, written so that no sum can wrap.
        const std::uint64_t budget = input.max_delta_bytes;
        if (plan.bytes > budget || input.appended_delta_bytes > budget - plan.bytes ||
            input.whole_file_bytes < plan.bytes)
            return std::nullopt;
        std::array<bool, kDeltaStems.size()> stems_seen{};
        for (const DeltaFile& file : group.files) {
            auto name = DeltaFileName(file.url, group.target_version);
            if (!name)
                return std::nullopt;
            const auto stem = DeltaStemOf(*name);
            if (!stem || stems_seen[*stem])
                return std::nullopt;
            stems_seen[*stem] = true;
            UpdateControlRecord record;
            record.type = kUpdateDatDelta;
            record.version = input.delta_entry_version;
            record.url = file.url;
            record.check_value = file.check_value;
            record.size = file.size;
            record.file_name = std::move(*name);
            plan.files.push_back(std::move(record));
        }
        if (group.base_version == input.installed_version)
            return plan;
    }
    return std::nullopt;
}

}  // namespace olvex

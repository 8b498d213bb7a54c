#include "olvex/remedy/special_remover_index.h"

#include "olvex/core/leading_decimal.h"

namespace olvex {

std::vector<SpecialRemoverEntry> ParseSpecialRemoverIndex(std::string_view text) {
    std::vector<SpecialRemoverEntry> index;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        // The file is read in text mode: CR LF ends a line like LF.
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::int32_t id = ParseLeadingInt32(line.substr(0, equals));
        if (id == 0)
            continue;
        index.push_back({id, std::string(line.substr(equals + 1))});
    }
    return index;
}

std::optional<std::size_t> FindSpecialRemoverEntry(std::span<const SpecialRemoverEntry> index,
                                                   std::int32_t pest_id) {
    for (std::size_t i = 0; i < index.size(); ++i) {
        if (index[i].pest_id == pest_id)
            return i;
    }
    return std::nullopt;
}

std::string ScriptedRemoverParameters(std::span<const SpecialRemoverEntry> index,
                                      std::int32_t pest_id, bool silent) {
    std::string parameters = silent ? "/clean /silent /" : "/clean /";
    for (const auto& entry : index) {
        if (entry.pest_id == pest_id)
            parameters += entry.text;
    }
    return parameters;
}

std::string_view ScriptedRemoverStartError(std::uintptr_t instance_code) {
    switch (instance_code) {
        case 0:
            return "The system is out of resources.";
        case 2:
            return "The scripted removal application could not be found.";
        case 3:
            return "The scripted removal application path is invalid.";
        case 8:
            return "The system is out of memory.";
        case 11:
            return "The scripted removal application is corrupt.";
        default:
            return "The scripted removal application failed to execute.";
    }
}

}  // namespace olvex

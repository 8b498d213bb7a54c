#include "olvex/core/exclusion_file.h"

#include "olvex/core/scrambler.h"

namespace olvex {

std::vector<std::string> SplitExclusionLines(std::string_view plain) {
    const auto nul = plain.find('\0');
    if (nul != std::string_view::npos)
        plain = plain.substr(0, nul);
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (start < plain.size()) {
        auto end = plain.find('\n', start);
        if (end == std::string_view::npos)
            end = plain.size();
        if (end > start)
            texts.emplace_back(plain.substr(start, end - start));
        start = end + 1;
    }
    return texts;
}

bool IsStorableExclusion(std::string_view text) {
    return !text.empty() && text.find('\n') == std::string_view::npos &&
           text.find('\0') == std::string_view::npos;
}

std::vector<std::uint8_t> EncodeExclusionFile(std::span<const std::string> texts) {
    std::vector<std::uint8_t> content;
    for (const auto& text : texts) {
        content.insert(content.end(), text.begin(), text.end());
        content.push_back('\n');
    }
    ScrambleBuffer(content);
    return content;
}

std::vector<std::string> DecodeExclusionFile(std::span<const std::uint8_t> stored) {
    std::vector<std::uint8_t> plain(stored.begin(), stored.end());
    DescrambleBuffer(plain);
    return SplitExclusionLines(
        std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()));
}

std::vector<std::uint8_t> ConvertOldExclusionFile(std::span<const std::uint8_t> plain) {
    std::vector<std::uint8_t> stored(plain.begin(), plain.end());
    ScrambleBuffer(stored);
    return stored;
}

}  // namespace olvex

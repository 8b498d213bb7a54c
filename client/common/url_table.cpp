#include "client/common/url_table.h"

#include "client/common/scrambled_file.h"

namespace olvex {
namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char a = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (a != prefix[i])
            return false;
    }
    return true;
}

}  // namespace

std::string ChooseLinkAddress(const std::optional<std::string>& from_table,
                              std::string_view built_in) {
    if (from_table &&
        (StartsWithNoCase(*from_table, "http://") || StartsWithNoCase(*from_table, "https://")))
        return *from_table;
    return std::string(built_in);
}

std::optional<std::string> FindUrlInTable(std::string_view table, std::string_view key) {
    if (key.empty())
        return std::nullopt;
    std::size_t start = 0;
    while (start < table.size()) {
        auto end = table.find('\n', start);
        if (end == std::string_view::npos)
            end = table.size();
        std::string_view line = table.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        // Only the key part is searched: a key named inside another line's
        // address must not hand out that address.
        const auto equals = line.find('=');
        const std::string_view key_part =
            equals == std::string_view::npos ? line : line.substr(0, equals);
        if (key_part.find(key) == std::string_view::npos)
            continue;
        std::string_view address =
            equals == std::string_view::npos ? line : line.substr(equals + 1);
        while (!address.empty() && IsWhiteSpace(address.back()))
            address.remove_suffix(1);
        return std::string(address);
    }
    return std::nullopt;
}

UrlLookup LookupUrl(const std::string& table_path, std::string_view key) {
    UrlLookup result;
    const auto table = ReadScrambledFile(table_path);
    if (!table || table.plain.empty())
        return result;
    result.table_read = true;
    result.address = FindUrlInTable(
        std::string_view(reinterpret_cast<const char*>(table.plain.data()), table.plain.size()),
        key);
    return result;
}

}  // namespace olvex

#include "olvex/update/update_download_name.h"

#include "olvex/core/leading_decimal.h"
#include "olvex/update/update_file_name.h"

namespace olvex {
namespace {

bool IsDecimal(std::string_view piece) {
    if (!piece.empty() && piece.front() == '-')
        piece.remove_prefix(1);
    if (piece.empty())
        return false;
    for (const char c : piece) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    const auto tail = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// Splits "rest.piece" at the last dot; nullopt without one.
std::optional<std::string_view> TakeLastPiece(std::string_view& text) {
    const auto dot = text.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const auto piece = text.substr(dot + 1);
    text = text.substr(0, dot);
    return piece;
}

}  // namespace

std::string DownloadFileName(std::string_view file_name, std::int32_t version, std::int32_t type) {
    std::string name(file_name);
    name += '.';
    name += std::to_string(version);
    name += '.';
    name += std::to_string(type);
    name += kDownloadExtension;
    return name;
}

std::optional<DownloadNameParts> ParseDownloadFileName(std::string_view name) {
    if (!EndsWithIgnoringCase(name, kDownloadExtension))
        return std::nullopt;
    name.remove_suffix(kDownloadExtension.size());
    const auto type = TakeLastPiece(name);
    const auto version = type ? TakeLastPiece(name) : std::nullopt;
    if (!version || !IsDecimal(*type) || !IsDecimal(*version) || !IsSafeUpdateFileName(name))
        return std::nullopt;
    return DownloadNameParts{std::string(name), ParseLeadingInt32(*version),
                             ParseLeadingInt32(*type)};
}

}  // namespace olvex

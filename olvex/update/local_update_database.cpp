#include "olvex/update/local_update_database.h"

#include "olvex/core/file_io.h"
#include "olvex/core/leading_decimal.h"
#include "olvex/update/update_control_file.h"

#include <array>

namespace olvex {
namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerTrimmedLine(std::string_view line) {
    line = line.substr(0, line.find('\0'));
    while (!line.empty() && IsWhiteSpace(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsWhiteSpace(line.back()))
        line.remove_suffix(1);
    std::string lowered(line);
    for (char& c : lowered)
        c = AsciiLower(c);
    return lowered;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size())
        return false;
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (EqualsIgnoringCase(text.substr(at, part.size()), part))
            return true;
    }
    return false;
}

std::string_view LastElement(std::string_view path) {
    const auto slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

constexpr std::array<std::string_view, 3> kDefinitionFiles = {"qzfile.dat", "qzinfo.dat",
                                                              "qzloc.dat"};

}  // namespace

std::vector<LocalUpdateEntry> ParseLocalUpdateDatabase(std::string_view text,
                                                       const PathExpander& expand) {
    std::vector<LocalUpdateEntry> entries;
    std::optional<std::string> path_line;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line = LowerTrimmedLine(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (!path_line) {
            path_line = std::move(line);
            continue;
        }
        // A pair whose path cannot be used is dropped whole, so that its
        // version line is never taken for the next path.
        auto path = expand ? expand(*path_line) : std::optional<std::string>(*path_line);
        path_line.reset();
        if (!path || path->empty() || path->size() > kMaxLocalUpdatePathChars ||
            path->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            continue;
        if (ContainsIgnoringCase(*path, kDeltaIndexEntryName))
            continue;
        entries.push_back({std::move(*path), ParseLeadingInt32(line)});
    }
    return entries;
}

std::string FormatLocalUpdateDatabase(const std::vector<LocalUpdateEntry>& entries) {
    std::string text;
    for (const auto& entry : entries) {
        text += entry.path;
        text += "\r\n";
        text += std::to_string(entry.version);
        text += "\r\n";
    }
    return text;
}

int LocalUpdateDatabase::Load(const std::string& path, const PathExpander& expand) {
    entries_.clear();
    const auto file = ReadWholeFile(path, kMaxLocalUpdateDatabaseBytes);
    if (!file) {
        last_error_ = kLocalUpdateLoadError;
        return -1;
    }
    entries_ = ParseLocalUpdateDatabase(
        std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()),
        expand);
    return static_cast<int>(entries_.size());
}

int LocalUpdateDatabase::Save(const std::string& path) {
    const std::string text = FormatLocalUpdateDatabase(entries_);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (WriteWholeFile(path, bytes, true) != FileError::kNone) {
        last_error_ = kLocalUpdateSaveError;
        return -1;
    }
    return static_cast<int>(entries_.size());
}

LocalFileVersion LocalUpdateDatabase::FindVersion(std::string_view name) const {
    LocalFileVersion found;
    for (const auto& entry : entries_) {
        if (!EqualsIgnoringCase(name, LastElement(entry.path)))
            continue;
        if (entry.path.find('\\') != std::string::npos)
            found.path = entry.path;
        found.version = entry.version;
        break;
    }
    return found;
}

bool LocalUpdateDatabase::SetVersion(std::string_view name, std::int32_t version) {
    if (ContainsIgnoringCase(name, kDeltaIndexEntryName)) {
        for (const auto file : kDefinitionFiles)
            SetVersion(file, version);
        return true;
    }
    if (name.empty() || name.size() > kMaxLocalUpdatePathChars ||
        name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return false;
    const auto element = LastElement(name);
    for (auto& entry : entries_) {
        if (EqualsIgnoringCase(element, LastElement(entry.path))) {
            entry.version = version;
            return true;
        }
    }
    entries_.push_back({std::string(name), version});
    return true;
}

}  // namespace olvex

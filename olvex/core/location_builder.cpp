#include "olvex/core/location_builder.h"

#include <initializer_list>
#include <string>
#include <vector>

#include "olvex/core/location_string.h"

namespace olvex {
namespace {

std::optional<std::string> Build(std::initializer_list<AttributePair> pairs,
                                 const MultiByteText& mb) {
    return FormatLocationPairs(std::vector<AttributePair>(pairs), PairSeparator::kBlank, mb);
}

std::optional<std::string> BuildRegistry(std::string_view key_name, std::string key,
                                         std::string_view value_name, std::string_view data,
                                         const MultiByteText& mb) {
    std::vector<AttributePair> pairs = {{std::string(key_name), std::move(key)}};
    if (!value_name.empty())
        pairs.push_back({std::string(kAttrValue), std::string(value_name)});
    if (!data.empty())
        pairs.push_back({std::string(kAttrData), std::string(data)});
    return FormatLocationPairs(pairs, PairSeparator::kBlank, mb);
}

AttributePair Pair(std::string_view name, std::string_view value) {
    return {std::string(name), std::string(value)};
}

}  // namespace

std::optional<std::string> BuildFileLocation(std::string_view path, const MultiByteText& mb) {
    return Build({Pair(kAttrFile, path)}, mb);
}

std::optional<std::string> BuildFolderLocation(std::string_view path, const MultiByteText& mb) {
    return Build({Pair(kAttrFolder, path)}, mb);
}

std::optional<std::string> BuildRegistryLocation(std::string_view key, std::string_view value_name,
                                                 std::string_view data, const MultiByteText& mb) {
    return BuildRegistry(kAttrKey, std::string(key), value_name, data, mb);
}

std::optional<std::string> BuildCookieLocation(std::string_view name, const MultiByteText& mb) {
    return Build({Pair(kAttrCookie, name)}, mb);
}

std::optional<std::string> BuildUserHiveRegistryLocation(std::string_view key_path,
                                                         std::string_view value_name,
                                                         std::string_view data,
                                                         const MultiByteText& mb) {
    // The registry scan writes this form with lower-case names.
    return BuildRegistry("key", "hkey_users \\" + std::string(key_path), value_name, data, mb);
}

std::optional<std::string> BuildProcessLocation(std::uint32_t process_id,
                                                std::string_view image_path,
                                                const MultiByteText& mb) {
    return Build({Pair(kAttrProcessId, std::to_string(process_id)), Pair(kAttrFile, image_path)},
                 mb);
}

std::optional<std::string> BuildModuleLocation(std::string_view module_name,
                                               std::string_view module_path,
                                               const MultiByteText& mb) {
    return Build({Pair(kAttrModuleName, module_name), Pair(kAttrFile, module_path)}, mb);
}

std::optional<std::string> BuildCookieFileLocation(std::string_view path, const MultiByteText& mb) {
    const std::size_t slash = mb.FindLast(path, '\\');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return Build({Pair(kAttrFile, path), Pair(kAttrCookie, name)}, mb);
}

std::optional<std::string> BuildArchiveEntryLocation(std::string_view archive_display_name,
                                                     std::string_view entry_name,
                                                     std::string_view certainty,
                                                     const MultiByteText& mb) {
    std::vector<AttributePair> pairs = {
        Pair(kAttrFile, std::string(archive_display_name) + "|" + std::string(entry_name))};
    if (!certainty.empty())
        pairs.push_back(Pair(kAttrCertainty, certainty));
    return FormatLocationPairs(pairs, PairSeparator::kBlank, mb);
}

}  // namespace olvex

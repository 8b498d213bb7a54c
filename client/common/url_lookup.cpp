#include "client/common/url_lookup.h"

#include <optional>
#include <utility>

#include "client/common/client_environment.h"
#include "client/common/scrambled_file.h"
#include "client/common/url_table.h"
#include "olvex/core/file_io.h"

namespace olvex {

bool GetUrl(std::string_view key, std::string& address) {
    const auto folder = CurrentClientFolders().InstallFolder();
    if (!folder)
        return false;
    const std::string path = JoinPath(*folder, kUrlTableFileName);
    ScrambledText table;
    RetryWithBackoff(kReadAttempts, [&] {
        table = ReadScrambledFile(path);
        // A table that exists but cannot be opened is held by another program.
        const bool held = table.error == ScrambledError::kReadFailed ||
                          (table.error == ScrambledError::kNotFound && FileExists(path));
        return held ? AttemptResult::kRetry : AttemptResult::kDone;
    });
    if (!table || table.plain.empty())
        return false;
    const std::string_view text(reinterpret_cast<const char*>(table.plain.data()),
                                table.plain.size());
    if (const auto found = FindUrlInTable(text, key))
        address = *found;
    return true;
}

std::string GetWebAddress(std::string_view key, std::string_view built_in) {
    std::string address;
    std::optional<std::string> from_table;
    if (GetUrl(key, address) && !address.empty())
        from_table = std::move(address);
    return ChooseLinkAddress(from_table, built_in);
}

}  // namespace olvex

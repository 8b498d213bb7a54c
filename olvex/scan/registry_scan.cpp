#include "olvex/scan/registry_scan.h"

#include <algorithm>
#include <array>
#include <utility>

#include "olvex/core/dat_cursor.h"
#include "olvex/core/location_builder.h"

namespace olvex {
namespace {

struct RootWord {
    std::string_view word;
    RegistryRoot root;
};

constexpr std::array<RootWord, 4> kRootWords = {{
    {"hkey_classes_root", RegistryRoot::kClassesRoot},
    {"hkey_current_user", RegistryRoot::kCurrentUser},
    {"hkey_local_machine", RegistryRoot::kLocalMachine},
    {"hkey_users", RegistryRoot::kUsers},
}};

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

bool IsStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

class LocationLoop {
  public:
    LocationLoop(RegistryReader& registry, ScanReporter& reporter, const MultiByteText& mb,
                 bool all_users)
        : registry_(registry), reporter_(reporter), mb_(mb), all_users_(all_users) {
        if (all_users_)
            hives_ = registry_.UserHiveNames();
    }

    // False when a key stayed refused.
    bool Check(const DatKeyLocation& entry, const std::string& location) {
        const auto split = SplitRegistryKeyText(entry.key);
        if (!split)
            return true;
        reporter_.StartingItem(location);
        if (!all_users_) {
            CheckPlainly(entry, *split, location);
        } else if (split->root == RegistryRoot::kCurrentUser) {
            for (const std::string& hive : hives_) {
                const std::string path = hive + "\\" + split->path;
                // A hive whose name a location cannot carry is passed over.
                const auto in_hive =
                    BuildUserHiveRegistryLocation(path, entry.value, entry.data, mb_);
                if (in_hive && !CheckGranting(entry, RegistryRoot::kUsers, path, *in_hive))
                    return false;
            }
        } else if (split->root && !CheckGranting(entry, *split->root, split->path, location)) {
            return false;
        }
        reporter_.FinishedItem(location);
        return true;
    }

  private:
    void CheckPlainly(const DatKeyLocation& entry, const SplitKeyText& split,
                      const std::string& location) {
        if (!split.root)
            return;
        RegistryReader::OpenError error = RegistryReader::OpenError::kNone;
        const auto key = registry_.Open(*split.root, split.path, false, error);
        if (key && RegistryValueMatches(entry, *key))
            reporter_.DetectPest(entry.pest_id, location);
    }

    // False when the key stays refused although access was granted.
    bool CheckGranting(const DatKeyLocation& entry, RegistryRoot root, const std::string& path,
                       const std::string& location) {
        RegistryReader::OpenError error = RegistryReader::OpenError::kNone;
        const auto key = registry_.Open(root, path, true, error);
        if (!key)
            return error != RegistryReader::OpenError::kAccessDenied;
        if (RegistryValueMatches(entry, *key))
            reporter_.DetectPest(entry.pest_id, location);
        return true;
    }

    RegistryReader& registry_;
    ScanReporter& reporter_;
    const MultiByteText& mb_;
    const bool all_users_;
    std::vector<std::string> hives_;
};

}  // namespace

std::optional<SplitKeyText> SplitRegistryKeyText(std::string_view key_text) {
    const std::size_t blank = key_text.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    const std::string_view word = key_text.substr(0, blank);
    SplitKeyText split;
    for (const RootWord& root : kRootWords) {
        if (word.find(root.word) != std::string_view::npos) {
            split.root = root.root;
            break;
        }
    }
    std::string_view path = TrimBlanks(key_text.substr(blank + 1));
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    split.path = std::string(path);
    return split;
}

bool RegistryValueMatches(const DatKeyLocation& entry, RegistryReader::Key& key) {
    if (entry.value.empty() && entry.data.empty())
        return true;
    const auto value = key.Query(entry.value);
    if (!value || value->data.empty())
        return false;
    if (entry.data.empty())
        return true;
    std::size_t length = value->data.size();
    // Only a terminating zero is left out: a string stored without one keeps
    // all of its bytes, so "abcd" never passes for "abc".
    if (IsStringType(value->type) && value->data.back() == 0)
        --length;
    return length == entry.data.size() &&
           std::equal(entry.data.begin(), entry.data.end(), value->data.begin(),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

RegistryLoopResult ScanRegistryLocations(const CDatDatabase& database, RegistryReader& registry,
                                         ScanReporter& reporter, const MultiByteText& mb,
                                         bool all_users) {
    RegistryLoopResult result;
    LocationLoop loop(registry, reporter, mb, all_users);
    for (DatCursor cursor = database.FirstKeyLocation(); !cursor.AtEnd(); cursor.Advance()) {
        const auto entry = cursor.GetKeyLocation();
        const auto location = BuildRegistryLocation(entry->key, entry->value, entry->data, mb);
        if (!location)
            continue;
        if (!reporter.ShouldScanContinue()) {
            result.stopped = true;
            break;
        }
        if (reporter.IsExcludedFromScan(entry->pest_id, *location))
            continue;
        if (!loop.Check(*entry, *location)) {
            result.access_denied = true;
            break;
        }
    }
    return result;
}

void ScanCommonRegistry(const CDatDatabase& database, RegistryReader& registry,
                        ScanReporter& reporter, const MultiByteText& mb) {
    reporter.StartingItem(kRegistrySection);
    const RegistryLoopResult result =
        ScanRegistryLocations(database, registry, reporter, mb, false);
    reporter.FinishedItem(kRegistrySection);
    if (result.stopped)
        reporter.ReportAborted();
}

}  // namespace olvex

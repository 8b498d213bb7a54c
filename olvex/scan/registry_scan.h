// The registry scan: every registry location of the pest database (a key, a
// value of a key, or a value with given data) is looked for under the root
// its key text names. The all-users form also looks for the current user's
// locations in every user's hive under HKEY_USERS, and reads keys that
// refuse the user by granting access for the check.
// Portable: the scanner object plugs the system registry in
// (system_registry.h) and adds what the all-users form needs around the
// loop (the version check, mounting and unloading the users' hives); tests
// plug in a registry of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/dat_database.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

inline constexpr std::string_view kRegistrySection = "Common Registry Locations";

// Value types whose data ends in a terminating zero (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ), and the type a query is preset to (REG_BINARY).
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// The most data a value query answers; a longer value reads as missing.
inline constexpr std::size_t kRegistryValueBytes = 4095;

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers };

// A key text split into its root and the key path below it: the root word
// is the text before the first blank and names the root when it holds
// "hkey_classes_root", "hkey_current_user", "hkey_local_machine" or
// "hkey_users" (tested in that order); the path is the text after the
// blank, trimmed of blanks and leading backslashes.
struct SplitKeyText {
    std::optional<RegistryRoot> root;  // none: no such key can be opened
    std::string path;
};
// Nullopt for a key text without a blank.
std::optional<SplitKeyText> SplitRegistryKeyText(std::string_view key_text);

struct RegistryValue {
    std::uint32_t type = kRegBinary;
    std::vector<std::uint8_t> data;  // at most kRegistryValueBytes
};

// The registry as the scan reads it.
class RegistryReader {
  public:
    // An open key; closed (and any access granted for it taken back) when
    // destroyed.
    class Key {
      public:
        virtual ~Key() = default;
        // The value (an empty name: the key's default value); nullopt when it
        // is missing or cannot be read whole.
        virtual std::optional<RegistryValue> Query(const std::string& value_name) = 0;
    };
    enum class OpenError { kNone, kAccessDenied, kOther };

    virtual ~RegistryReader() = default;
    // Opens root\path for reading. With grant_access, a key that refuses the
    // current user is opened with access granted to that one key for as long
    // as the Key lives, and its security is put back exactly afterwards.
    // Null with the reason when it cannot be opened.
    virtual std::unique_ptr<Key> Open(RegistryRoot root, const std::string& path, bool grant_access,
                                      OpenError& error) = 0;
    // The names of the keys under HKEY_USERS: the users' hives.
    virtual std::vector<std::string> UserHiveNames() = 0;
};

// Whether an open key holds what a location describes: without value name
// and data the key itself; with a value name (empty: the default value) and
// no data, a value that answers at least one byte; with data, a value whose
// bytes equal the data text (a string's terminating zero not counted).
bool RegistryValueMatches(const DatKeyLocation& entry, RegistryReader::Key& key);

struct RegistryLoopResult {
    bool stopped = false;        // the client asked to stop
    bool access_denied = false;  // a key stayed refused (all-users form only)
};

// The loop over the database's registry locations, in table order. For each:
// its location (entries that cannot be written as one are passed over
// silently), ShouldScanContinue, the exclusion check ("Location ... was
// excluded from scan."), then StartingItem, the check, FinishedItem; a
// finding is reported with DetectPest. A key text without a blank is passed
// over without events.
//
// The common form opens each key plainly: a key that refuses the user is
// not there. The all-users form grants access to a refused key, and checks a
// location of HKEY_CURRENT_USER under every user's hive, reporting a finding
// there as key "hkey_users \<hive>\<path>"; a key that stays refused ends
// the loop at once (no FinishedItem) with access_denied.
RegistryLoopResult ScanRegistryLocations(const CDatDatabase& database, RegistryReader& registry,
                                         ScanReporter& reporter, const MultiByteText& mb,
                                         bool all_users);

// The common registry scan: StartingItem ("Common Registry Locations"), the
// loop, FinishedItem, and ScanAborted when the client stopped it.
void ScanCommonRegistry(const CDatDatabase& database, RegistryReader& registry,
                        ScanReporter& reporter, const MultiByteText& mb);

}  // namespace olvex

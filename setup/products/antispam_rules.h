// The anti-spam member's rules as plain text and tables: its uninstall
// entries and earlier Start-menu folders, the Windows versions it refuses,
// the keys its registry write tests cover, its installer's command line,
// the version guard after that installer ran, the stand-alone test, the
// names of its data folders and the web addresses of its Internet
// shortcuts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/setup_seams.h"

namespace olvex::setup {

// The product's id; its own uninstall entry (also the stand-alone
// edition's) carries it.
inline constexpr char16_t kAntiSpamProductGuid[] = u"{610B2370-F55F-4A0A-932B-EBDB99FFCE6D}";
inline constexpr char16_t kAntiSpamOwnEntry[] = u"Zalt {610B2370-F55F-4A0A-932B-EBDB99FFCE6D}";
inline constexpr char16_t kAntiSpamKey[] = u"SOFTWARE\\Zalt";
inline constexpr char16_t kAntiSpamSettingsKey[] = u"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\as";
inline constexpr char16_t kAntiSpamInstaller[] = u"Anti-Spam.exe";
// The update program, which also uninstalls the product.
inline constexpr char16_t kAntiSpamUpdater[] = u"z-update.exe";
inline constexpr char16_t kAntiSpamUpdaterProcess[] = u"z-update";
inline constexpr char16_t kAntiSpamHelpFile[] = u"trombas.chm";

// Own entry, the suite's entry for it, then earlier bundles' entries.
inline constexpr std::u16string_view kAntiSpamUninstallNames[] = {
    kAntiSpamOwnEntry, u"Kelvan Suite Personal\\as", u"Kelvan QX Dovrane\\Kelvan Anti-Spam",
    u"Kelvan QX Dovrane\\Kelvan QX Anti-Spam"};
inline constexpr std::u16string_view kAntiSpamShortcutFolders[] = {
    u"Kelvan QX Dovrane\\Kelvan QX Anti-Spam", u"Kelvan QX Dovrane\\Kelvan Anti-Spam",
    u"Kelvan Suite\\Kelvan Anti-Spam"};

// "Windows NT 3.51" or "Windows 95" when the product cannot run there;
// nullopt for every other Windows.
std::optional<std::u16string> AntiSpamRefusedWindows(const OsVersion& os);

// Its installer takes the whole rest of the line after "/silent " as the
// folder, blanks and all, so the folder is not quoted.
std::u16string AntiSpamInstallSwitches(std::u16string_view destination);

// The version guard after the installer ran: the package (its product DLL's
// version) is newer than what the product registered, so it did not
// install.
bool AntiSpamInstallFellShort(std::u16string_view package_version,
                              std::u16string_view installed_version);

// The stand-alone edition: the folder its registration names holds the
// update program but not the companion library the suite's edition brings.
bool IsStandaloneAntiSpamFolder(std::u16string_view files_folder,
                                std::u16string_view companion_library,
                                const std::function<bool(std::u16string_view)>& file_exists);

// Its data folders "ZSP-*.*" (as the system reads that pattern, any name
// beginning "ZSP-", in any case).
bool IsAntiSpamDataFolder(std::u16string_view name);

// A web address from its format: the three "%s" take the GUID, RT and BRAND
// values, each escaped for a query.
std::u16string AntiSpamWebAddress(std::u16string_view format, std::u16string_view guid,
                                  std::u16string_view release, std::u16string_view brand);

// One group of registry write tests under HKEY_LOCAL_MACHINE: with
// remember_first the first key a test created stays until the group ends,
// every other created key is deleted at once.
struct RegistryTestGroup {
    std::vector<std::u16string> keys;
    bool remember_first = false;
};

struct AntiSpamRegistryFacts {
    std::u16string own_uninstall_key;
    std::u16string suite_uninstall_key;
    // The suite is handled as one or installed.
    bool suite_present = false;
    bool install_mode = true;
};

std::vector<RegistryTestGroup> AntiSpamRegistryTests(const AntiSpamRegistryFacts& facts);

}  // namespace olvex::setup

#include "setup/products/antispam_rules.h"

#include "setup/core/os_identity.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {

std::optional<std::u16string> AntiSpamRefusedWindows(const OsVersion& os) {
    if (os.platform == util::kPlatformNt && os.major < 4) {
        return u"Windows NT " + DecimalText(os.major) + u"." + UnsignedText(os.minor, 2);
    }
    if (util::OsIdFromVersion(os) == util::kOsWindows95) {
        return std::u16string(u"Windows 95");
    }
    return std::nullopt;
}

std::u16string AntiSpamInstallSwitches(std::u16string_view destination) {
    return u"/silent " + std::u16string(destination);
}

bool AntiSpamInstallFellShort(std::u16string_view package_version,
                              std::u16string_view installed_version) {
    return util::CompareVersions(package_version, installed_version) > 0;
}

bool IsStandaloneAntiSpamFolder(std::u16string_view files_folder,
                                std::u16string_view companion_library,
                                const std::function<bool(std::u16string_view)>& file_exists) {
    std::u16string folder(files_folder);
    util::TrimPathEnd(folder);
    if (folder.empty()) {
        return false;
    }
    const auto updater = util::AppendPath(folder, kAntiSpamUpdater);
    const auto companion = util::AppendPath(folder, companion_library);
    return updater && companion && file_exists(*updater) && !file_exists(*companion);
}

bool IsAntiSpamDataFolder(std::u16string_view name) {
    return StartsWithNoCase(name, u"ZSP-");
}

namespace {

std::u16string QueryEscaped(std::u16string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::u16string escaped;
    for (const unsigned char byte : ToUtf8(value)) {
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~';
        if (plain) {
            escaped += static_cast<char16_t>(byte);
        } else {
            escaped += u'%';
            escaped += static_cast<char16_t>(kHex[byte >> 4]);
            escaped += static_cast<char16_t>(kHex[byte & 0x0F]);
        }
    }
    return escaped;
}

}  // namespace

std::u16string AntiSpamWebAddress(std::u16string_view format, std::u16string_view guid,
                                  std::u16string_view release, std::u16string_view brand) {
    return SubstituteArguments(format,
                               {QueryEscaped(guid), QueryEscaped(release), QueryEscaped(brand)});
}

std::vector<RegistryTestGroup> AntiSpamRegistryTests(const AntiSpamRegistryFacts& facts) {
    const std::u16string uninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    std::vector<RegistryTestGroup> groups{
        {{kAntiSpamKey, u"SOFTWARE\\Classes\\CLSID\\{FFD6C8E5-F2C4-4E6A-9906-B80673C55BCB}",
          u"SOFTWARE\\Classes\\Zalt.ZAddIn"},
         false},
        {{uninstall + u"App Paths", uninstall + u"Run", uninstall + u"RunOnce"}, true},
        {{facts.own_uninstall_key}, false},
        {{u"SOFTWARE\\Microsoft\\Office\\Outlook\\Addins\\Zalt.ZAddIn"}, false},
    };
    if (facts.suite_present) {
        groups.push_back(
            {{uninstall + u"Uninstall\\Kelvan Suite Personal", facts.suite_uninstall_key}, false});
    }
    if (!facts.install_mode) {
        groups.push_back(
            {{u"SOFTWARE\\Vorandel", u"SOFTWARE\\Vorandel\\Kelvan Suite Personal"}, true});
        groups.push_back({{kAntiSpamSettingsKey}, false});
    }
    return groups;
}

}  // namespace olvex::setup

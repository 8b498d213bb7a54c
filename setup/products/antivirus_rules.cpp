#include "setup/products/antivirus_rules.h"

#include "setup/core/os_identity.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_text.h"

namespace olvex::setup::antivirus {
namespace {

constexpr char16_t kServicePack2[] = u"Service Pack 2";
constexpr char16_t kEnglish[] = u"English";

std::u16string VersionText(const OsVersion& os) {
    return DecimalText(os.major) + u"." + UnsignedText(os.minor, 2);
}

}  // namespace

std::u16string SetupArguments(const InstallSwitches& switches, std::u16string_view destination) {
    std::u16string arguments = u"/Silent /NoUpdateFromWeb ";
    if (!switches.update_firewall) {
        arguments += u"/NoUpdateFirewall ";
    }
    if (!switches.uninstall_info) {
        arguments += u"/NoUninstallInfo ";
    }
    if (!switches.program_group) {
        arguments += u"/NoProgramGroup ";
    }
    if (!switches.product_check) {
        arguments += u"/IgnoreOtherAV ";
    }
    arguments += u"/ProductDest=\"";
    arguments += destination;
    arguments += u"\"";
    return arguments;
}

std::u16string_view UpdateArguments(int32_t display_level) {
    return display_level < 2 ? std::u16string_view(u"/FullInstallSilent")
                             : std::u16string_view(u"/FullInstall");
}

bool RunsFirstScan(bool suite_active, bool scan_switch, int32_t display_level,
                   bool definitions_present) {
    return !suite_active && scan_switch && display_level > 1 && definitions_present;
}

std::optional<std::u16string> RefusedSystem(const OsVersion& os, std::u16string_view language) {
    if (os.platform == util::kPlatformNt && os.major < 4) {
        return u"Windows NT " + VersionText(os);
    }
    if (os.platform == util::kPlatformNt && os.major == 4 &&
        EqualsNoCase(os.service_pack, kServicePack2)) {
        return u"Windows NT " + VersionText(os) + u" " + os.service_pack;
    }
    if (os.platform == util::kPlatform9x && os.major == 4 && os.minor == 0 &&
        language != kEnglish) {
        return u"Windows 95 (" + std::u16string(language) + u" - " + VersionText(os) + u")";
    }
    return std::nullopt;
}

bool VersionAccepted(std::u16string_view installed, std::u16string_view package) {
    return util::CompareVersions(installed, u"10") >= 0 ||
           util::CompareVersions(package, installed) >= 0;
}

std::optional<EditionDialogs> DialogsForEdition(uint32_t product_id) {
    switch (product_id) {
        case 0:
        case 1:
            return EditionDialogs{u"Nim Resident Protection Status", u"Nim Out-of-date Warning",
                                  u"Nim Progress Meter"};
        case 2:
        case 3:
            return EditionDialogs{u"Tolbrin Real-time Protection Status",
                                  u"Tolbrin Out-of-date Warning", u"Tolbrin Progress Meter"};
        case 4:
        case 5:
            return EditionDialogs{u"Kelvan QX Antivirus Real-time Protection Status",
                                  u"Kelvan QX Antivirus Out-of-date Warning",
                                  u"Kelvan QX Antivirus Progress Meter"};
        default:
            return std::nullopt;
    }
}

std::optional<WindowName> EditionMainWindow(uint32_t product_id) {
    switch (product_id) {
        case 0:
        case 1:
            return WindowName{u"NimAV", u"Nim Vuvu-Roved"};
        case 2:
            return WindowName{u"Tolbrin", u"Tolbrin Personal Edition"};
        case 3:
            return WindowName{u"Tolbrin", u"Tolbrin SOHO Edition"};
        case 4:
        case 5:
            return WindowName{u"Tolbrin", u"Kelvan QX Antivirus"};
        default:
            return std::nullopt;
    }
}

std::vector<WindowName> FirstGenerationWindows(std::u16string_view windows_short_name) {
    std::vector<WindowName> windows;
    const auto add = [&](std::u16string_view name) {
        const std::u16string text(name);
        windows.push_back({u"Nim" + text, u"Nim for Windows " + text});
    };
    add(windows_short_name);
    if (windows_short_name == u"ME") {
        add(u"98");
    }
    return windows;
}

WindowName PackageMainWindow(std::u16string_view class_string, std::u16string_view title_string) {
    return {class_string.empty() ? std::u16string(u"QXAVAPP") : std::u16string(class_string),
            title_string.empty() ? std::u16string(u"Kelvan QX Antivirus")
                                 : std::u16string(title_string)};
}

bool ClosesFirstGeneration(uint32_t product_id) {
    return product_id <= 1;
}

}  // namespace olvex::setup::antivirus

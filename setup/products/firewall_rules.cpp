#include "setup/products/firewall_rules.h"

#include <algorithm>
#include <iterator>

#include "setup/core/path_text.h"
#include "setup/core/setup_text.h"

namespace olvex::setup::firewall {
namespace {

using Test = CompetitorTest;

// The engine's uninstaller re-spawns itself: its process is waited for.
constexpr std::u16string_view kEngineUninstaller = u"tsuninst";
constexpr std::u16string_view kEngineUninstallerFile = u"tsuninst.exe";

template <class Row, size_t... Sizes>
constexpr auto Join(const Row (&... parts)[Sizes]) {
    std::array<Row, (Sizes + ...)> joined{};
    size_t at = 0;
    ((std::copy(std::begin(parts), std::end(parts), joined.begin() + at), at += Sizes), ...);
    return joined;
}

// Each package's own entry, then the suite's entry for the firewall and
// the earlier editions' entries.
constexpr std::u16string_view kFirewallOwnEntry[] = {u"Kelvan Personal Firewall"};
constexpr std::u16string_view kUpgradeOwnEntry[] = {u"Kelvan QX Dovrane"};
constexpr std::u16string_view kSharedUninstallNames[] = {
    u"Kelvan Suite Personal\\fw",
    u"Kelvan QX Dovrane\\Kelvan Personal Firewall",
    u"Kelvan QX Dovrane\\Kelvan QX Firewall",
    u"Kelvan QX Dovrane\\QX Firewall",
    u"Kelvan QX Firewall",
    u"QX Firewall"};
constexpr auto kFirewallUninstallNames = Join(kFirewallOwnEntry, kSharedUninstallNames);
constexpr auto kUpgradeUninstallNames = Join(kUpgradeOwnEntry, kSharedUninstallNames);
constexpr std::u16string_view kFirewallShortcutFolders[] = {
    u"Kelvan QX Dovrane\\QX Firewall", u"Kelvan QX Dovrane\\Kelvan QX Firewall",
    u"Kelvan QX Dovrane\\Kelvan Personal Firewall", u"Kelvan Suite\\Kelvan Personal Firewall"};
constexpr std::u16string_view kUpgradeShortcutFolders[] = {
    u"Kelvan QX Dovrane",
    u"Kelvan QX Dovrane\\QX Firewall",
    u"Kelvan QX Dovrane\\Kelvan QX Firewall",
    u"Kelvan QX Dovrane\\Kelvan Personal Firewall",
    u"Kelvan Suite\\Kelvan Personal Firewall",
    u"Kelvan Suite\\Kelvan QX Dovrane"};

constexpr Competitor Plain(std::u16string_view entry, Test test = Test::kNone) {
    return {entry, {}, {}, test};
}
constexpr Competitor Engine(std::u16string_view entry, Test test) {
    return {entry, kEngineUninstaller, kEngineUninstallerFile, test};
}

// The firewall's table: the maker's own first, then the engine stand-alone,
// then other vendors' firewalls.
constexpr Competitor kMakersFirewalls[] = {
    Plain(u"Kelvan QX Warnel"),
    Plain(u"Kelvan QX Firewall", Test::kEarlierFirewall),
};
constexpr Competitor kSuiteFirewalls[] = {
    Engine(u"QX Firewall", Test::kUnifiedEngine),
    Engine(u"Kelvan QX Firewall", Test::kUnifiedEngine),
    Engine(u"Kelvan Personal Firewall", Test::kUnifiedEngine),
    Engine(u"Kelvan QX Dovrane", Test::kUnifiedEngine),
    Engine(u"Kelvan Suite Personal\\fw", Test::kUnifiedEngine),
};
constexpr Competitor kOtherFirewalls[] = {
    Engine(u"Tessaly", Test::kStandaloneEngine),
    Engine(u"Tessaly Pro", Test::kStandaloneEngine),
    Plain(u"{A7BC209A-71A0-4FC7-9E89-5F3C07DDFC9B}"),
    Plain(u"{67BEFC00-E90A-473F-9DE4-AE5AADBB5F10}"),
    Plain(u"{508E5629-4430-4284-9090-A62680A8CD09}"),
    Plain(u"McAfee Personal Firewall Plus"),
    Plain(u"{A0D6222B-F68F-41EC-B0C5-4CEA91E4427C}"),
    Plain(u"{5C5EF7A7-9FA8-47AD-A5FE-96D8E22CA16A}"),
    Plain(u"{36B4648C-1BFF-46BC-9653-4AAEEC7D333F}"),
    Plain(u"BackWeb-4476822 Uninstaller"),
    Plain(u"{B1507EBE-E53E-4E0D-86C1-6F2C178B1FDD}"),
    Plain(u"{5369C1CE-08D4-42CF-95EA-7550B858B4D2}"),
    Plain(u"{A91440BE-EDC8-4DF7-A0FD-9E60E391A0A2}"),
    Plain(u"{48BFC85F-4B8D-411E-9637-66D4ABC040E9}"),
    Plain(u"{B9F4726B-03AB-463B-A2B5-5CC90092E73C}"),
    Plain(u"Agnitum Outpost Firewall Pro 2.1"),
    Plain(u"Agnitum Outpost Firewall 1.0"),
    Plain(u"{ECA8B5D4-7C3D-45F2-8BEC-58006B9C1456}"),
};

// The upgrade replaces the suite's antivirus as well: the antivirus
// entries, then the antivirus member's table less its suite-firewall rows.
constexpr Competitor kSuiteAntivirus[] = {
    Plain(u"NIMWIN32Vp5"),
    Plain(u"Kelvan QX Dovrane\\Kelvan QX Antivirus", Test::kAntivirusData),
    Plain(u"Kelvan Suite Personal\\av", Test::kAntivirusData),
};
constexpr Competitor kOtherAntivirus[] = {
    Plain(u"Pardell for Windows NT"),
    Plain(u"Pardell for Windows 95"),
    Plain(u"Tolbrin for Windows 95"),
    Plain(u"Tolbrin for Windows NT"),
    Plain(u"Tolbrin"),
    Plain(u"Kelvan Antivirus"),
    Plain(u"Kelvan Tolbrin"),
    Plain(u"Kelvan QX Antivirus", Test::kEarlierAntivirus),
    Plain(u"{19C82891-746E-4874-9BF3-C2C5E65C738D}"),
    Plain(u"{39F793DF-B462-404E-B1E0-968D58589A07}"),
    Plain(u"AVG6INSTALL"),
    Plain(u"AVG7INSTALL"),
    Plain(u"{4032F532-CC42-40A2-8D97-868378D01E04}"),
    Plain(u"{551959E4-03B9-43CE-AFEF-7FF4D2958C39}"),
    Plain(u"{29D6FFC7-DD51-4215-9802-B6A47BBB224D}"),
    Plain(u"{26017092-8675-4FB2-8553-987E58910315}"),
    Plain(u"NOD32"),
    Plain(u"eSafe Protect"),
    Plain(u"Sophos-Sweep95"),
    Plain(u"Sophos-SweepNT"),
    {u"Kaspersky Vuvu-Roved Personal", u"A~NSISu_", u"A~NSISu_.exe", Test::kNone},
    Plain(u"{455FCD1C-08E0-4E7A-8514-5F10112E27EA}"),
    Plain(u"avast!"),
    Plain(u"{DDE675CC-CE8C-43F7-ACE3-0DB9FFAC8C19}"),
    Plain(u"{A03A6957-517A-46EE-B8B7-D4DDC67ABE95}"),
    Plain(u"{4FD212D9-F4C8-4E21-A6DF-EEF8561C19E6}"),
    Plain(u"SymSetup.{726898CA-4929-4E98-8F1C-C920DB37A1B9}", Test::kSymantec),
    Plain(u"SymSetup.{34FD039F-D955-411A-8A33-E0902249B644}"),
    Plain(u"{5C5EF7A7-9FA8-47AD-A5FE-96D8E22CA16A}"),
    Plain(u"{A4E0ABD7-8796-4BBE-BB5B-70BF521031F8}"),
    Plain(u"{4CFA4A90-AC7A-4F6A-BA40-1479EC5C5E87}"),
    Plain(u"{52F332B0-BE53-4D26-A3B8-176C92A2C92B}"),
    Plain(u"Mcafee SecurityCenter"),
    Plain(u"F-Secure Vuvu-Roved"),
    Plain(u"AntiViral Toolkit Pro"),
    Plain(u"VirusScan Online"),
};

constexpr auto kFirewallCompetitors = Join(kMakersFirewalls, kSuiteFirewalls, kOtherFirewalls);
constexpr auto kUpgradeCompetitors =
    Join(kSuiteAntivirus, kOtherAntivirus, kMakersFirewalls, kOtherFirewalls);

static_assert(std::size(kSuiteAntivirus) == 3);
static_assert(std::size(kOtherAntivirus) == 36);
static_assert(std::size(kMakersFirewalls) + std::size(kOtherFirewalls) == 20);
static_assert(kFirewallCompetitors.size() == kFirewallCompetitorCount);
static_assert(kUpgradeCompetitors.size() == kUpgradeCompetitorCount);

constexpr std::u16string_view kLeftoverFiles[] = {
    u"cvconfig.xml", u"cvdata.dll",  u"cvdatant.sys", u"cvinit.dll", u"cvmonapi.dll", u"cvpubapi.dll",
    u"cvregexp.dll", u"cvutil.dll", u"cvxml.dll",    u"tscomm.dll", u"tscommdb.dll"};

}  // namespace

std::span<const std::u16string_view> FirewallUninstallNames() {
    return kFirewallUninstallNames;
}
std::span<const std::u16string_view> UpgradeUninstallNames() {
    return kUpgradeUninstallNames;
}
std::span<const std::u16string_view> FirewallShortcutFolders() {
    return kFirewallShortcutFolders;
}
std::span<const std::u16string_view> UpgradeShortcutFolders() {
    return kUpgradeShortcutFolders;
}
std::span<const Competitor> FirewallCompetitors() {
    return kFirewallCompetitors;
}
std::span<const Competitor> UpgradeCompetitors() {
    return kUpgradeCompetitors;
}
std::span<const std::u16string_view> EngineLeftoverFiles() {
    return kLeftoverFiles;
}

std::array<std::u16string, 5> ConfigFileLines(std::u16string_view display_name,
                                              std::u16string_view destination,
                                              std::u16string_view program_group) {
    const auto line = [](std::u16string_view key, std::u16string_view value) {
        return std::u16string(key) + std::u16string(value) + u"\r\n";
    };
    return {line(u"OEM_APPTITLE=", display_name), line(u"OEM_MAINDIR=", destination),
            line(u"OEM_EXENAME=", u"xj.exe"), line(u"OEM_SHTCTFLDR=", program_group),
            line(u"OEM_CONAME=", u"Brackwith")};
}

std::u16string InstallerSwitches(std::u16string_view config_path) {
    return u"/s /M=\"" + std::u16string(config_path) + u"\" /NOREBOOT";
}

std::optional<std::u16string> RefusedWindows(const OsVersion& version, bool workstation,
                                             std::u16string_view windows_name) {
    if (version.platform == 2 && version.major <= 4) {
        return u"Windows NT " + DecimalText(version.major) + u"." + UnsignedText(version.minor, 2);
    }
    if (version.platform == 1 && version.major == 4 && version.minor == 0) {
        return u"Windows 95";
    }
    if (version.platform == 2 && !workstation) {
        return std::u16string(windows_name);
    }
    return std::nullopt;
}

bool IsMakersRegisteredName(std::u16string_view product_name) {
    return product_name.find(u"QX") != std::u16string_view::npos ||
           product_name.find(u"Kelvan") != std::u16string_view::npos;
}

std::u16string FileVersionText(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision) {
    return DecimalText(major) + u"." + DecimalText(minor) + u"." + DecimalText(build) + u"." +
           DecimalText(revision);
}

bool DefersTrustList(std::u16string_view version_before, std::u16string_view version_after) {
    return !version_before.empty() && version_before != u"0" &&
           !EqualsNoCase(version_before, version_after);
}

std::u16string TrustListCommand(std::u16string_view program_path) {
    return u"\"" + std::u16string(program_path) + u"\" /trustlist";
}

}  // namespace olvex::setup::firewall

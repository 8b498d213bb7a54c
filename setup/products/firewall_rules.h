// The firewall member's fixed facts and rules, apart from the system: the
// tables of the firewall and firewall-upgrade handlers, the command lines of
// the engine's installer and uninstaller, its configuration file, which
// Windows it refuses, and the version and name rules of an upgrade.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "setup/core/setup_seams.h"

namespace olvex::setup::firewall {

// What decides whether a competitor's uninstall entry counts.
enum class CompetitorTest : uint8_t {
    kNone,
    // "IsUnified" of the engine's key is 1.
    kUnifiedEngine,
    // The engine's folder holds "alert.tsa" and not the suite's library.
    kStandaloneEngine,
    // The earlier firewall's folder holds "voveruv.exe" and not the suite's
    // library.
    kEarlierFirewall,
    // The antivirus' folder holds "nim.dat".
    kAntivirusData,
    // The earlier antivirus' folder holds "brelcit.exe".
    kEarlierAntivirus,
    // The other vendor's folder holds "cfgwiz.exe".
    kSymantec,
};

struct Competitor {
    std::u16string_view entry;
    std::u16string_view process;
    std::u16string_view program;
    CompetitorTest test = CompetitorTest::kNone;
};

inline constexpr uint32_t kFirewallCompetitorCount = 25;
inline constexpr uint32_t kUpgradeCompetitorCount = 59;

std::span<const std::u16string_view> FirewallUninstallNames();
std::span<const std::u16string_view> UpgradeUninstallNames();
std::span<const std::u16string_view> FirewallShortcutFolders();
std::span<const std::u16string_view> UpgradeShortcutFolders();
std::span<const Competitor> FirewallCompetitors();
std::span<const Competitor> UpgradeCompetitors();
// The engine files a removal leaves in the system folder.
std::span<const std::u16string_view> EngineLeftoverFiles();

// The five lines of "fwconfig.txt", each ended by CR LF.
std::array<std::u16string, 5> ConfigFileLines(std::u16string_view display_name,
                                              std::u16string_view destination,
                                              std::u16string_view program_group);

// The switches after the quoted installer path and after the quoted
// uninstaller path.
std::u16string InstallerSwitches(std::u16string_view config_path);
inline constexpr char16_t kUninstallerSwitches[] = u"/s /noreboot";

// The Windows name the firewall refuses to install on (NT up to 4, Windows
// 95, NT servers); nothing when it may. `windows_name` names a server.
std::optional<std::u16string> RefusedWindows(const OsVersion& version, bool workstation,
                                             std::u16string_view windows_name);

// Whether the engine's registered product name is one of the maker's
// earlier editions and is to carry this product's name.
bool IsMakersRegisteredName(std::u16string_view product_name);

// "%u.%u.%u.%u" of a file version.
std::u16string FileVersionText(uint32_t major, uint32_t minor, uint32_t build, uint32_t revision);

// Whether an installation with these versions before and after leaves the
// trust list to the next start (the engine's driver is replaced then).
bool DefersTrustList(std::u16string_view version_before, std::u16string_view version_after);
// The RunOnce command that fills the trust list at the next start.
std::u16string TrustListCommand(std::u16string_view program_path);

}  // namespace olvex::setup::firewall

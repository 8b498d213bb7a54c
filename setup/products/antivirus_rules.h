// The antivirus member's constant tables and the rules its handler decides
// by: its uninstall entries, earlier Start-menu folders, trust rows and the
// products it removes first; the switches its setup program and update
// program are started with; the systems it refuses; the version guard; and
// the windows and mutexes by which the programs of earlier antivirus
// editions are found and closed. Portable: the handler (product_av.cpp) and
// the closing steps (close_programs.cpp) take their facts from here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/setup_seams.h"
#include "setup/core/trust_permissions.h"

namespace olvex::setup::antivirus {

inline constexpr char16_t kTag[] = u"av";
inline constexpr char16_t kSettingsKey[] = u"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\av";
// The antivirus product's own key and the sub-keys the handler reads.
inline constexpr char16_t kProductKey[] = u"SOFTWARE\\Vorandel\\Vuvu-Roved";
inline constexpr char16_t kInstallKey[] = u"SOFTWARE\\Vorandel\\Vuvu-Roved\\Install";
inline constexpr char16_t kResidentKey[] = u"SOFTWARE\\Vorandel\\Vuvu-Roved\\Resident";
inline constexpr char16_t kAutoDownloadKey[] = u"SOFTWARE\\Vorandel\\Vuvu-Roved\\AutoDownload";

inline constexpr std::array<std::u16string_view, 3> kUninstallNames = {
    u"NIMWIN32Vp5", u"Kelvan Suite Personal\\av", u"Kelvan QX Dovrane\\Kelvan QX Antivirus"};

inline constexpr std::array<std::u16string_view, 23> kShortcutFolders = {
    u"Nim Vuvu-Roved",
    u"NIM for Win32",
    u"NIM for Windows 95",
    u"NIM for Windows NT",
    u"Nim Antivirus for Windows 95",
    u"Nim Antivirus for Windows NT",
    u"Nim Vuvu-Roved for Windows 95",
    u"Nim Vuvu-Roved for Windows 98",
    u"Nim Vuvu-Roved for Windows ME",
    u"Nim Vuvu-Roved for Windows NT",
    u"Nim Vuvu-Roved for Windows NT Server",
    u"Nim Vuvu-Roved for Windows 2000",
    u"Nim Vuvu-Roved for Windows 2000 Server",
    u"Nim Vuvu-Roved for Windows XP",
    u"Nim Vuvu-Roved for Windows XP Server",
    u"Tolbrin Personal Edition",
    u"Tolbrin SOHO Edition",
    u"Kelvan QX Antivirus",
    u"Kelvan QX Antivirus SOHO Edition",
    u"Kelvan QX Antivirus Small Business Edition",
    u"Kelvan QX Dovrane\\Kelvan QX Antivirus",
    u"Kelvan Nim Antivirus",
    u"Kelvan Suite\\Kelvan Vuvu-Roved"};

struct TrustFile {
    std::u16string_view file;
    PermissionRow permissions;
};

inline constexpr PermissionRow kFullTrust = {2, 2, 3, 3, 3, 3};
// The report program asks for less: its fifth permission is 2.
inline constexpr PermissionRow kReportTrust = {2, 2, 3, 3, 2, 3};

inline constexpr std::array<TrustFile, 10> kTrustFiles = {{
    {u"autodown.exe", kFullTrust},
    {u"xjfix.exe", kFullTrust},
    {u"xjv.exe", kFullTrust},
    {u"xjvrep.exe", kReportTrust},
    {u"xjvtray.exe", kFullTrust},
    {u"qxreport.exe", kFullTrust},
    {u"hoplin.exe", kFullTrust},
    {u"nim32.exe", kFullTrust},
    {u"nimmsg.exe", kFullTrust},
    {u"nimtray.exe", kFullTrust},
}};

// How an uninstall entry is confirmed as the competitor it names.
enum class CompetitorTest {
    kAlways,
    // "brelcit.exe" in the earlier antivirus's folder.
    kEarlierAntivirus,
    // "cfgwiz.exe" in the folder Symantec's "NAV" value names.
    kSymantec,
    // The firewall installed as part of the unified suite.
    kUnifiedFirewall,
};

struct Competitor {
    std::u16string_view entry;
    std::u16string_view process;
    std::u16string_view program;
    CompetitorTest test;
};

constexpr Competitor Entry(std::u16string_view entry,
                           CompetitorTest test = CompetitorTest::kAlways) {
    return {entry, {}, {}, test};
}
// The firewall installed with the unified suite: its uninstaller re-spawns
// as "tsuninst.exe", which is waited for.
constexpr Competitor FirewallEntry(std::u16string_view entry) {
    return {entry, u"tsuninst", u"tsuninst.exe", CompetitorTest::kUnifiedFirewall};
}

inline constexpr std::array<Competitor, 41> kCompetitors = {
    Entry(u"Pardell for Windows NT"),
    Entry(u"Pardell for Windows 95"),
    Entry(u"Tolbrin for Windows 95"),
    Entry(u"Tolbrin for Windows NT"),
    Entry(u"Tolbrin"),
    Entry(u"Kelvan Antivirus"),
    Entry(u"Kelvan Tolbrin"),
    Entry(u"Kelvan QX Antivirus", CompetitorTest::kEarlierAntivirus),
    Entry(u"{19C82891-746E-4874-9BF3-C2C5E65C738D}"),
    Entry(u"{39F793DF-B462-404E-B1E0-968D58589A07}"),
    FirewallEntry(u"QX Firewall"),
    FirewallEntry(u"Kelvan QX Firewall"),
    FirewallEntry(u"Kelvan Personal Firewall"),
    FirewallEntry(u"Kelvan QX Dovrane"),
    FirewallEntry(u"Kelvan Suite Personal\\fw"),
    Entry(u"AVG6INSTALL"),
    Entry(u"AVG7INSTALL"),
    Entry(u"{4032F532-CC42-40A2-8D97-868378D01E04}"),
    Entry(u"{551959E4-03B9-43CE-AFEF-7FF4D2958C39}"),
    Entry(u"{29D6FFC7-DD51-4215-9802-B6A47BBB224D}"),
    Entry(u"{26017092-8675-4FB2-8553-987E58910315}"),
    Entry(u"NOD32"),
    Entry(u"eSafe Protect"),
    Entry(u"Sophos-Sweep95"),
    Entry(u"Sophos-SweepNT"),
    Competitor{u"Kaspersky Vuvu-Roved Personal", u"A~NSISu_", u"A~NSISu_.exe",
               CompetitorTest::kAlways},
    Entry(u"{455FCD1C-08E0-4E7A-8514-5F10112E27EA}"),
    Entry(u"avast!"),
    Entry(u"{DDE675CC-CE8C-43F7-ACE3-0DB9FFAC8C19}"),
    Entry(u"{A03A6957-517A-46EE-B8B7-D4DDC67ABE95}"),
    Entry(u"{4FD212D9-F4C8-4E21-A6DF-EEF8561C19E6}"),
    Entry(u"SymSetup.{726898CA-4929-4E98-8F1C-C920DB37A1B9}", CompetitorTest::kSymantec),
    Entry(u"SymSetup.{34FD039F-D955-411A-8A33-E0902249B644}"),
    Entry(u"{5C5EF7A7-9FA8-47AD-A5FE-96D8E22CA16A}"),
    Entry(u"{A4E0ABD7-8796-4BBE-BB5B-70BF521031F8}"),
    Entry(u"{4CFA4A90-AC7A-4F6A-BA40-1479EC5C5E87}"),
    Entry(u"{52F332B0-BE53-4D26-A3B8-176C92A2C92B}"),
    Entry(u"Mcafee SecurityCenter"),
    Entry(u"F-Secure Vuvu-Roved"),
    Entry(u"AntiViral Toolkit Pro"),
    Entry(u"VirusScan Online"),
};

// What the earlier antivirus test and the Symantec test look for.
inline constexpr char16_t kEarlierAntivirusKey[] = u"SOFTWARE\\Vorandel\\Tolbrin\\6.0\\Path";
inline constexpr char16_t kEarlierAntivirusValue[] = u"HOME";
inline constexpr char16_t kEarlierAntivirusProgram[] = u"brelcit.exe";
inline constexpr char16_t kSymantecKey[] = u"SOFTWARE\\Symantec\\InstalledApps";
inline constexpr char16_t kSymantecValue[] = u"NAV";
inline constexpr char16_t kSymantecProgram[] = u"cfgwiz.exe";
inline constexpr char16_t kFirewallKey[] = u"SOFTWARE\\Tessaly Labs";
inline constexpr char16_t kUnifiedValue[] = u"IsUnified";

// The command-line switches of the setup controller that the antivirus
// setup program is told about.
struct InstallSwitches {
    bool update_firewall = true;
    bool uninstall_info = true;
    bool program_group = true;
    bool product_check = true;
};

// The arguments of the member's "setup.exe": it always runs silently and
// never updates from the web itself; the controller's own switches are
// passed on, and the destination comes last, quoted.
std::u16string SetupArguments(const InstallSwitches& switches, std::u16string_view destination);
inline constexpr char16_t kSetupProgram[] = u"setup.exe";
// The uninstaller lives in the Windows folder.
inline constexpr char16_t kUninstallProgram[] = u"unnim32.exe";
inline constexpr char16_t kUninstallArguments[] = u"/Silent";

// The update program's switch after an install: silent below display
// level 2.
std::u16string_view UpdateArguments(int32_t display_level);
inline constexpr char16_t kUpdateProgram[] = u"autodown.exe";
// The first scan runs only for a lone product that the user watches, with
// the scan switch on and the definitions ("nim.dat") in place.
bool RunsFirstScan(bool suite_active, bool scan_switch, int32_t display_level,
                   bool definitions_present);
inline constexpr char16_t kScanProgram[] = u"xjv.exe";
inline constexpr char16_t kScanArguments[] = u"-x";
inline constexpr char16_t kDefinitionsFile[] = u"nim.dat";

// The system text when the product refuses to install on this Windows:
// NT before 4, NT 4 with exactly Service Pack 2 (any case), and Windows 95
// unless the product's language string is exactly "English".
std::optional<std::u16string> RefusedSystem(const OsVersion& os, std::u16string_view language);
inline constexpr uint32_t kLanguageString = 22208;

// The version guard: an installed version of 10 or later is always
// replaced; below that, a package older than the installed product is not.
bool VersionAccepted(std::u16string_view installed, std::u16string_view package);

// --- Earlier editions' programs (closed before install and uninstall) ---

inline constexpr char16_t kDialogClass[] = u"#32770";

struct WindowName {
    std::u16string window_class;
    std::u16string title;
};

// The three standard dialogs of an edition, found by title with the
// standard dialog class.
struct EditionDialogs {
    std::u16string_view status;
    std::u16string_view out_of_date;
    std::u16string_view progress_meter;
};
// Ids 0 and 1: the Nim edition, 2 and 3 Tolbrin, 4 and 5 QX Antivirus;
// other ids have no window titles.
std::optional<EditionDialogs> DialogsForEdition(uint32_t product_id);
// The main window of an edition by id (kind 2); none for other ids.
std::optional<WindowName> EditionMainWindow(uint32_t product_id);
// The first-generation main windows (kind 1) for a Windows short name:
// on "ME" also those of "98".
std::vector<WindowName> FirstGenerationWindows(std::u16string_view windows_short_name);
// The installed package's main window (kind 3): strings 22001 and 22000
// of its product DLL, or the defaults when they are empty.
WindowName PackageMainWindow(std::u16string_view class_string, std::u16string_view title_string);
inline constexpr size_t kPackageStringChars = 192;
// Whether the first generation's windows are closed at the end (ids 0, 1).
bool ClosesFirstGeneration(uint32_t product_id);

// Mutexes and Run values by which the programs are found.
inline constexpr char16_t kTrayMutex[] = u"Nimtray";
inline constexpr char16_t kRemoverMutex[] = u"XJAV_RID_MUTEX";
inline constexpr char16_t kUpdateMutex[] = u"Active Update App";
inline constexpr char16_t kResidentMutex[] = u"Nim Resident Protection App";
inline constexpr char16_t kResidentService[] = u"NIMMSGNT";
inline constexpr char16_t kStartUpRunValue[] = u"Nim Start Up";
inline constexpr std::array<std::u16string_view, 2> kTrayRunValues = {u"NimTray", u"xjavtray"};
inline constexpr char16_t kRemoverRunValue[] = u"XJVRid";
inline constexpr char16_t kUpdateErrorTitle[] = u"AutoDownload Error";
inline constexpr char16_t kUpdateConnectionErrorTitle[] = u"AutoDownload Connection Error";

}  // namespace olvex::setup::antivirus

#include "setup/products/product_av.h"

#include <array>
#include <utility>

#include "setup/controller/win/setup_dialogs.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/products/antivirus_rules.h"

namespace olvex::setup {
namespace {

namespace av = antivirus;

constexpr uint32_t kSystemRefused = 9009;
constexpr uint32_t kRegistryRefused = 9011;
constexpr uint32_t kFolderRefused = 9012;
constexpr uint32_t kInternetLibraryOld = 9013;
constexpr uint32_t kNoPackageFolder = 9024;
constexpr uint32_t kNoInstallerCommand = 9025;
constexpr uint32_t kNotInstalled = 9027;
constexpr uint32_t kCopyFailed = 9028;
constexpr uint32_t kNoWindowsFolder = 9029;
constexpr uint32_t kNoUninstallCommand = 9030;
constexpr uint32_t kShortcutFailed = 9034;
constexpr char16_t kInternetLibrary[] = u"WININET.DLL";
constexpr char16_t kHelpFile[] = u"trombav.chm";
constexpr char16_t kUnicows[] = u"unicows.dll";
constexpr size_t kCommandChars = util::kMaxPath * 4;

// A program of the folder a registry value names.
bool ProgramInRegistryFolder(std::u16string_view key, std::u16string_view value,
                             std::u16string_view program) {
    const std::u16string folder = util::ReadRegistryDirectory(key, value);
    return !folder.empty() && util::FileExists(folder + std::u16string(program));
}

bool IsEarlierAntivirus(std::u16string_view) {
    return ProgramInRegistryFolder(av::kEarlierAntivirusKey, av::kEarlierAntivirusValue,
                                   av::kEarlierAntivirusProgram);
}

bool IsSymantecAntivirus(std::u16string_view) {
    return ProgramInRegistryFolder(av::kSymantecKey, av::kSymantecValue, av::kSymantecProgram);
}

bool IsUnifiedFirewall(std::u16string_view) {
    return ReadMachineNumber(av::kFirewallKey, av::kUnifiedValue) == 1;
}

constexpr CompetitorRecord ToRecord(const av::Competitor& competitor) {
    bool (*accept)(std::u16string_view) = nullptr;
    switch (competitor.test) {
        case av::CompetitorTest::kEarlierAntivirus:
            accept = &IsEarlierAntivirus;
            break;
        case av::CompetitorTest::kSymantec:
            accept = &IsSymantecAntivirus;
            break;
        case av::CompetitorTest::kUnifiedFirewall:
            accept = &IsUnifiedFirewall;
            break;
        case av::CompetitorTest::kAlways:
            break;
    }
    return {competitor.entry, competitor.process, competitor.program, accept};
}

template <size_t... I>
constexpr std::array<CompetitorRecord, sizeof...(I)> ToRecords(std::index_sequence<I...>) {
    return {ToRecord(av::kCompetitors[I])...};
}

template <size_t... I>
constexpr std::array<TrustRow, sizeof...(I)> ToTrustRows(std::index_sequence<I...>) {
    return {TrustRow{av::kTrustFiles[I].file, av::kTrustFiles[I].permissions}...};
}

constexpr auto kCompetitorRecords = ToRecords(std::make_index_sequence<av::kCompetitors.size()>());
constexpr auto kTrustRows = ToTrustRows(std::make_index_sequence<av::kTrustFiles.size()>());

const ProductTables kTables{av::kTag,   av::kUninstallNames, av::kShortcutFolders,
                            kTrustRows, kCompetitorRecords,  av::kSettingsKey};

bool IsInstallMode() {
    return RunningMode() == kModeInstall;
}

bool Trimmed(std::u16string& text) {
    util::TrimPathEnd(text);
    return !text.empty();
}

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
    return std::u16string(folder) + u"\\" + std::u16string(name);
}

// The keys the antivirus product writes, tested in groups: the first key a
// group creates goes again with its subtree after the group.
std::vector<std::vector<std::u16string>> RegistryGroups() {
    const std::u16string product = av::kProductKey;
    std::vector<std::u16string> own{product};
    for (const char16_t* sub :
         {u"AutoDownload", u"AutoDownload\\Proxy", u"AutoDownload\\Schedule", u"MasterConsole",
          u"MasterConsole\\Schedule", u"EmailAlerting", u"Install", u"Master", u"OnDemandScanner",
          u"Resident", u"ScheduledScan", u"Security"}) {
        own.push_back(Join(product, sub));
    }
    std::vector<std::vector<std::u16string>> groups = {
        {u"SOFTWARE\\Vorandel", u"SOFTWARE\\Vorandel\\Tromb_TestKey"},
        own,
        {u"SOFTWARE\\Vorandel\\Hoplin", u"SOFTWARE\\Vorandel\\Hoplin\\Server"},
        {u"SOFTWARE\\Classes\\CLSID\\{03081545-3CF5-47BE-AF07-F12764E3B429}"},
        {u"SOFTWARE\\Classes\\*\\shellex\\ContextMenuHandlers\\XJ_AntiVirus"},
        {u"SOFTWARE\\Classes\\Folder\\shellex\\ContextMenuHandlers\\XJ_AntiVirus"},
        {kRunKey},
        {kRunOnceKey},
    };
    constexpr char16_t kServices[] = u"SYSTEM\\CurrentControlSet\\Services";
    for (const char16_t* service : {u"XJHoplin", u"NIMEBOOT", u"NIMEFILE", u"NIMFDDNT", u"NIM-FILT",
                                    u"NIMMONNT", u"NIMMSGNT", u"NIM-REC"}) {
        groups.push_back({Join(kServices, service)});
    }
    for (const char16_t* source : {u"NIMFDDNT", u"NIMMONNT"}) {
        groups.push_back({Join(kServices, u"EventLog\\System") + u"\\" + source});
    }
    return groups;
}

}  // namespace

uint32_t GetAntivirusProductId() {
    return ReadMachineNumber(av::kProductKey, u"ProductId");
}

ProductAV::ProductAV() : ProductBase<Product>(kTables) {
    set_product_code(kCodeAntivirus);
}

bool ProductAV::GetInstalledVersion(std::u16string& version) {
    version =
        IsInstalled(true) ? ReadMachineText(av::kAutoDownloadKey, u"ProductBaseVersion") : u"0";
    return !version.empty();
}

bool ProductAV::GetInstalledPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    GetInstalledFilesPath(path, flag);
    if (path.empty() && !IsInstallMode()) {
        path = ReadMachineText(settings_key_, u"Path");
    }
    return Trimmed(path);
}

bool ProductAV::GetInstalledFilesPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    path = ReadMachineText(av::kInstallKey, u"ProgramPath");
    if (path.empty()) {
        path = ReadMachineText(av::kResidentKey, u"NimPath");
    }
    if (path.empty() && !IsInstallMode()) {
        path = ReadMachineText(settings_key_, u"Files");
    }
    return Trimmed(path);
}

bool ProductAV::GetInstalledGroup(std::u16string& group) {
    group = ReadMachineText(av::kInstallKey, u"ProgramGroup");
    if (group.empty() && !IsInstallMode()) {
        group = ReadMachineText(settings_key_, u"Group");
    }
    return !group.empty();
}

uint32_t ProductAV::CheckVersion() {
    if (!available()) {
        return 0;
    }
    std::u16string installed;
    GetInstalledVersion(installed);
    if (av::VersionAccepted(installed, GetInstallationVersion())) {
        LogProductMessage(25530);
        return 0;
    }
    // The base reports the downgrade with both versions.
    return ProductBase<Product>::CheckVersion();
}

uint32_t ProductAV::CheckOperatingSystem(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25509, util::GetOperatingSystemDescription());
    const auto os = util::GetOsVersionInfo();
    if (!os) {
        return 0;
    }
    const std::u16string language =
        os->platform == util::kPlatform9x ? LoadProductString(av::kLanguageString) : u"";
    const auto refused = av::RefusedSystem(*os, language);
    if (!refused) {
        return 0;
    }
    ReportProductMessage(25012, *refused);
    text = *refused;
    return kSystemRefused;
}

uint32_t ProductAV::CheckRegistryPermissions(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if (!available() || (os && os->platform != util::kPlatformNt)) {
        return 0;
    }
    for (const auto& group : RegistryGroups()) {
        TestRegistryGroup(group, true, text);
    }
    TestRegistryGroup({own_uninstall_key_}, false, text);
    SuiteProduct& suite = Products().Suite();
    if (suite.suite_active() || suite.IsInstalled(false)) {
        TestRegistryGroup(
            {std::u16string(kUninstallKey) + u"\\Kelvan Suite Personal", suite_uninstall_key_},
            false, text);
    }
    if (!IsInstallMode()) {
        TestRegistryGroup({kSuiteKey}, true, text);
        TestRegistryGroup({settings_key_}, false, text);
    }
    return text.empty() ? 0 : kRegistryRefused;
}

uint32_t ProductAV::CheckDirectoryPermissions(std::u16string& text) {
    const uint32_t result = TestSystemFolders(text);
    const auto os = util::GetOsVersionInfo();
    if (!available() || (os && os->platform != util::kPlatformNt)) {
        return result;
    }
    // The product's drivers go there too.
    TestFolderWrite(Join(util::GetWinSysDir(), u"DRIVERS"), text);
    return text.empty() ? 0 : kFolderRefused;
}

uint32_t ProductAV::CheckPrerequisites(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25531);
    uint32_t result = 0;
    if (util::CheckFileVersion(kInternetLibrary, 5, 0) != 0) {
        text = kInternetLibrary;
        result = kInternetLibraryOld;
    }
    std::u16string winsock;
    const uint32_t sockets = CheckWinsockVersion(2, 2, winsock);
    if (result == 0 && sockets != 0) {
        text = winsock;
        result = sockets;
    }
    return result;
}

uint32_t ProductAV::CheckUserSessions(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductAV::PrepareInstall(std::u16string& text) {
    text.clear();
    if (!selected()) {
        return 0;
    }
    BeginInstall(text);
    if (util::IsWin9x()) {
        util::CopyFileToDirectory(util::GetCurrentAppDir(), destination_, kUnicows, std::nullopt,
                                  nullptr);
    }
    GetInstalledVersion(version_before_);
    return CloseRunningPrograms();
}

uint32_t ProductAV::Install() {
    if (!selected()) {
        return 0;
    }
    std::u16string folder;
    if (!GetSetupFilePath(folder, std::nullopt)) {
        return kNoPackageFolder;
    }
    const SetupOptions& options = SetupOptions::Instance();
    const av::InstallSwitches switches{options.update_firewall, options.uninstall_info,
                                       options.program_group, options.product_check};
    const auto command = util::BuildCommandLine(
        folder, av::kSetupProgram, av::SetupArguments(switches, destination_), kCommandChars);
    if (!command || destination_.empty()) {
        return kNoInstallerCommand;
    }
    uint32_t result = RunProcess(*command, true);
    if (result == 0) {
        GetInstalledVersion(version_after_);
        if (util::CompareVersions(GetInstallationVersion(), version_after_) > 0) {
            result = kNotInstalled;
        }
    }
    if (!IsInstalled(true)) {
        util::RemoveEmptyDirectories(destination_, true);
    }
    return result;
}

uint32_t ProductAV::FinishInstall() {
    if (!selected()) {
        return 0;
    }
    StepFailures failures(GetDisplayName());
    failures.Note(WriteRegistrySettings(), 25044);
    failures.Note(WriteUninstallEntry(), 25034);
    CopyFilesNoted(failures);
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    failures.Note(CreateShortcuts(), 25035);
    if (AddToTrustList(true, false) != 0) {
        LogProductMessage(25038, GetDisplayName());
    }

    const SetupOptions& options = SetupOptions::Instance();
    const int32_t display_level = SetupLogger::Instance().display_level();
    const std::u16string files = FilesFolder();
    if (options.update_from_web) {
        if (const auto update = util::BuildCommandLine(
                files, av::kUpdateProgram, av::UpdateArguments(display_level), kCommandChars)) {
            LogProductMessage(25549, *update);
            RunProcess(*update, true);
        }
    }
    const bool definitions = !files.empty() && util::FileExists(Join(files, av::kDefinitionsFile));
    if (av::RunsFirstScan(Products().Suite().suite_active(), options.scan, display_level,
                          definitions)) {
        if (const auto scan = util::BuildCommandLine(files, av::kScanProgram, av::kScanArguments,
                                                     kCommandChars)) {
            RunProcess(*scan, true);
        }
    }
    return failures.result();
}

uint32_t ProductAV::CreateShortcuts() {
    if (!selected() || !SetupOptions::Instance().program_group) {
        return 0;
    }
    std::u16string folder;
    if (const uint32_t created = OpenShortcutFolder(folder)) {
        return created;
    }
    const std::u16string files = FilesFolder();
    std::u16string suite_files;
    uint32_t generation = 0;
    Products().Suite().GetInstalledFilesPath(suite_files, generation);
    const std::u16string name = GetDisplayName();
    const auto text = [&](uint32_t id) {
        return SubstituteArguments(SetupLogger::Instance().host().LoadText(id, 256), {name});
    };
    // A shortcut to a program or document; false when it cannot be made.
    const auto link = [&](std::u16string_view title, std::u16string_view in_folder,
                          std::u16string_view file, std::u16string_view arguments) {
        const auto target = util::AppendPath(in_folder, file);
        return !in_folder.empty() && target &&
               SUCCEEDED(util::CreateShortcut(folder, title, *target, arguments, in_folder, title,
                                              *target, 0));
    };
    bool made = link(name, suite_files, u"trombo.exe", u"/t1") &&
                link(text(24501), files, u"xjvhelp.chm", u"") &&
                link(text(24503), files, u"readme.html", u"") &&
                link(text(24505), files, av::kUpdateProgram, u"");
    if (made && Alone()) {
        made = link(text(24504), files, u"xjuninst.exe", u"/u");
    }
    return made ? 0 : kShortcutFailed;
}

// Every name CreateShortcuts gives, the uninstall shortcut's too.
std::vector<std::u16string> ProductAV::ShortcutFileNames() {
    const std::u16string name = GetDisplayName();
    // Without the product's DLL its names are not known.
    if (name.empty()) {
        return {};
    }
    std::vector<std::u16string> names = {name + u".lnk"};
    for (const uint32_t id : {24501u, 24503u, 24505u, 24504u}) {
        names.push_back(
            SubstituteArguments(SetupLogger::Instance().host().LoadText(id, 256), {name}) +
            u".lnk");
    }
    return names;
}

uint32_t ProductAV::WriteRegistrySettings() {
    return WriteProgramGroupValue(av::kInstallKey);
}

uint32_t ProductAV::CopySharedFiles(std::vector<std::u16string>& failures) {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25536);
    std::u16string product_folder;
    GetSetupFilePath(product_folder, std::nullopt);
    const size_t before = failures.size();
    util::CopyFileToDirectory(product_folder, FilesFolder(), kHelpFile, std::nullopt, &failures);
    return failures.size() != before ? kCopyFailed : 0;
}

uint32_t ProductAV::PrepareUninstall() {
    if (!selected()) {
        return 0;
    }
    ReportProductMessage(25540, GetDisplayName());
    ShowProgress(24001);
    KeepFoldersForCleanup();
    return CloseRunningPrograms();
}

uint32_t ProductAV::Uninstall() {
    if (!selected()) {
        return 0;
    }
    const std::u16string windows = util::GetWinDir();
    if (windows.empty()) {
        return kNoWindowsFolder;
    }
    const auto command = util::BuildCommandLine(windows, av::kUninstallProgram,
                                                av::kUninstallArguments, kCommandChars);
    if (!command) {
        return kNoUninstallCommand;
    }
    return ResultAfterUninstaller(RunProcess(*command, true));
}

uint32_t ProductAV::RemoveRegistrySettings() {
    if (selected()) {
        LogProductMessage(25533);
    }
    return 0;
}

uint32_t ProductAV::RemoveFiles() {
    const std::u16string files = FilesFolder();
    if (!files.empty()) {
        util::DeleteFileNowOrAtReboot(Join(files, kHelpFile));
        util::RemoveEmptyDirectories(files, true);
    }
    return ProductBase<Product>::RemoveFiles();
}

}  // namespace olvex::setup

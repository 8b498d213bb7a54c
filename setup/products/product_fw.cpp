#include "setup/products/product_fw.h"

#include <array>

#include "win/unique.h"
#include "setup/controller/setup_operation.h"
#include "setup/controller/win/progress_window.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"
#include "setup/products/firewall_rules.h"
#include "setup/products/member_packaging.h"

namespace olvex::setup {
namespace {

using firewall::CompetitorTest;

constexpr uint32_t kRefusedWindows = 9009;
constexpr uint32_t kVersionMismatch = 9015;
constexpr uint32_t kNoPackageFolder = 9024;
constexpr uint32_t kNoInstallerCommand = 9025;
constexpr uint32_t kNotInstalled = 9027;
constexpr uint32_t kCopyFailed = 9028;
constexpr uint32_t kShortcutFailed = 9034;
constexpr uint32_t kSettingsFailed = 9040;
constexpr uint32_t kNoConfigPath = 9041;
constexpr uint32_t kConfigNotWritten = 9042;
constexpr uint32_t kHelpFolderString = 169;
constexpr uint32_t kTutorialString = 24509;
constexpr uint32_t kUninstallString = 24504;

constexpr char16_t kRunValue[] = u"Tessaly Labs Client";
constexpr char16_t kEarlierFirewallKey[] = u"SOFTWARE\\Vorandel\\Kelvan QX Firewall";
constexpr char16_t kAntivirusInstallKey[] = u"SOFTWARE\\Vorandel\\Vuvu-Roved\\Install";
constexpr char16_t kAntivirusResidentKey[] = u"SOFTWARE\\Vorandel\\Vuvu-Roved\\Resident";
constexpr char16_t kEarlierAntivirusKey[] = u"SOFTWARE\\Vorandel\\Tolbrin\\6.0\\Path";
constexpr char16_t kOtherVendorKey[] = u"SOFTWARE\\Symantec\\InstalledApps";
constexpr char16_t kSettingsKey[] = u"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\fw";
constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
constexpr char16_t kEngineDriverKey[] = u"SYSTEM\\CurrentControlSet\\Services\\cvdatant";

bool IsInstallMode() {
    return RunningMode() == kModeInstall;
}

bool FolderHolds(std::u16string_view folder, std::u16string_view file) {
    if (folder.empty()) {
        return false;
    }
    const auto path = util::AppendPath(folder, file);
    return path && util::FileExists(*path);
}

bool IsEngineUnified() {
    return ReadMachineNumber(kEngineKey, u"IsUnified") == 1;
}

// A folder of the engine or the earlier firewall that holds its marker
// file and not the suite edition's companion library.
bool HoldsWithoutCompanion(std::u16string_view key, std::u16string_view marker) {
    const std::u16string folder = util::ReadRegistryDirectory(key, u"InstallDirectory");
    return FolderHolds(folder, marker) && !FolderHolds(folder, kFirewallCompanionLibrary);
}

bool AcceptUnified(std::u16string_view) {
    return IsEngineUnified();
}
bool AcceptStandalone(std::u16string_view) {
    return IsStandaloneTessalyInstalled();
}
bool AcceptEarlierFirewall(std::u16string_view) {
    return HoldsWithoutCompanion(kEarlierFirewallKey, u"voveruv.exe");
}
bool AcceptAntivirusData(std::u16string_view) {
    std::u16string folder = util::ReadRegistryDirectory(kAntivirusInstallKey, u"ProgramPath");
    if (folder.empty()) {
        folder = util::ReadRegistryDirectory(kAntivirusResidentKey, u"NimPath");
    }
    return FolderHolds(folder, u"nim.dat");
}
bool AcceptEarlierAntivirus(std::u16string_view) {
    return FolderHolds(util::ReadRegistryDirectory(kEarlierAntivirusKey, u"HOME"), u"brelcit.exe");
}
bool AcceptOtherVendor(std::u16string_view) {
    return FolderHolds(util::ReadRegistryDirectory(kOtherVendorKey, u"NAV"), u"cfgwiz.exe");
}

constexpr bool (*AcceptFor(CompetitorTest test))(std::u16string_view) {
    switch (test) {
        case CompetitorTest::kUnifiedEngine:
            return AcceptUnified;
        case CompetitorTest::kStandaloneEngine:
            return AcceptStandalone;
        case CompetitorTest::kEarlierFirewall:
            return AcceptEarlierFirewall;
        case CompetitorTest::kAntivirusData:
            return AcceptAntivirusData;
        case CompetitorTest::kEarlierAntivirus:
            return AcceptEarlierAntivirus;
        case CompetitorTest::kSymantec:
            return AcceptOtherVendor;
        case CompetitorTest::kNone:
            break;
    }
    return nullptr;
}

template <size_t Count>
std::array<CompetitorRecord, Count> Records(std::span<const firewall::Competitor> rows) {
    std::array<CompetitorRecord, Count> records{};
    for (size_t i = 0; i < Count && i < rows.size(); ++i) {
        records[i] = {rows[i].entry, rows[i].process, rows[i].program, AcceptFor(rows[i].test)};
    }
    return records;
}

const auto kFirewallRecords =
    Records<firewall::kFirewallCompetitorCount>(firewall::FirewallCompetitors());
const auto kUpgradeRecords =
    Records<firewall::kUpgradeCompetitorCount>(firewall::UpgradeCompetitors());
constexpr TrustRow kTrustRows[] = {{u"xj.exe"}, {u"tstutor.exe"}};

const ProductTables kFirewallTables{u"fw",
                                    firewall::FirewallUninstallNames(),
                                    firewall::FirewallShortcutFolders(),
                                    kTrustRows,
                                    kFirewallRecords,
                                    kSettingsKey};
const ProductTables kUpgradeTables{u"fw",
                                   firewall::UpgradeUninstallNames(),
                                   firewall::UpgradeShortcutFolders(),
                                   {},
                                   kUpgradeRecords,
                                   kSettingsKey};

// The help folder's name: string 169 of the suite's resource DLL in the
// folder, "help" when it has none.
std::u16string HelpFolderName(std::u16string_view folder) {
    std::u16string name;
    if (const auto path = util::AppendPath(folder, u"trombores.dll"); path && !folder.empty()) {
        const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS);
        const win::UniqueModule library(
            LoadLibraryExW(W(*path), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        SetErrorMode(previous);
        if (library.get()) {
            name = util::LoadResourceString(library.get(), kHelpFolderString, 64);
        }
    }
    return name.empty() ? std::u16string(u"help") : name;
}

std::u16string SuiteFilesFolder() {
    std::u16string folder;
    uint32_t generation = 0;
    Products().Suite().GetInstalledFilesPath(folder, generation);
    return folder;
}

// Runs a program of the engine while the dialog watcher answers its
// questions.
template <class Run>
uint32_t WithDialogWatcher(Run run) {
    DialogWatcherThread watcher;
    watcher.Start();
    const uint32_t result = run();
    watcher.Wait();
    return result;
}

}  // namespace

bool IsStandaloneTessalyInstalled() {
    return HoldsWithoutCompanion(kEngineProductKey, u"alert.tsa");
}

ProductFW::ProductFW() : ProductFW(kFirewallTables, kCodeFirewall) {}

ProductFW::ProductFW(const ProductTables& tables, uint32_t code) : ProductBase<Product>(tables) {
    set_product_code(code);
}

bool ProductFW::IsInstalled(bool all) {
    // One engine serves either package: a unified engine belongs to the
    // upgrade, any other to the firewall.
    if (IsEngineUnified() != IsUpgrade()) {
        return false;
    }
    return ProductBase<Product>::IsInstalled(all);
}

bool ProductFW::GetInstalledVersion(std::u16string& version) {
    version = IsInstalled(true) ? ReadMachineText(kEngineProductKey, u"CurrentVersion") : u"0";
    // An entry left behind by an engine that is no longer registered names
    // no installed version.
    if (version.empty()) {
        version = u"0";
    }
    return true;
}

bool ProductFW::GetInstalledPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    GetInstalledFilesPath(path, flag);
    path = OrRecorded(path, u"Path");
    util::TrimPathEnd(path);
    return !path.empty();
}

bool ProductFW::GetInstalledFilesPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    path = OrRecorded(ReadMachineText(kEngineProductKey, u"InstallDirectory"), u"Files");
    util::TrimPathEnd(path);
    return !path.empty();
}

bool ProductFW::GetInstalledGroup(std::u16string& group) {
    group = OrRecorded(ReadMachineText(kEngineKey, u"Group"), u"Group");
    return !group.empty();
}

uint32_t ProductFW::CheckOperatingSystem(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25509, util::GetOperatingSystemDescription());
    const auto os = util::GetOsVersionInfo();
    if (!os) {
        return 0;
    }
    // ProductType is read without regard to case: "WinNT" and "WINNT" are
    // both workstations.
    const bool workstation = os->platform != 2 || util::IsNTWorkstation();
    const auto refused = firewall::RefusedWindows(*os, workstation, util::GetWindowsName());
    if (!refused) {
        return 0;
    }
    ReportProductMessage(25012, *refused);
    text = *refused;
    return kRefusedWindows;
}

uint32_t ProductFW::CheckRegistryPermissions(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if (!available() || (os && os->platform != 2)) {
        return 0;
    }
    const auto group = [&](const std::vector<std::u16string>& keys) {
        TestRegistryGroup(keys, true, text);
    };
    const std::u16string engine(kEngineKey);
    const std::u16string product(kEngineProductKey);
    if (IsUpgrade()) {
        group({u"SOFTWARE\\Vorandel", u"SOFTWARE\\Vorandel\\Tromb_TestKey"});
    }
    group({engine, engine + u"\\MiniLog", product, product + u"\\MailGuard Extensions",
           product + u"\\Registration"});
    group({engine + u"\\Corevane", engine + u"\\Corevane\\LocalStoreDir",
           engine + u"\\Corevane\\LogStoreDir"});
    group({u"SOFTWARE\\Classes\\ZAMailGuard"});
    TestRegistryGroup(
        {kRunKey, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", kRunOnceKey,
         own_uninstall_key_, std::u16string(kServicesKey) + u"\\Tromb_TestKey"},
        false, text);
    SuiteProduct& suite = Products().Suite();
    if (suite.suite_active() || suite.IsInstalled(false)) {
        TestRegistryGroup(
            {std::u16string(kUninstallKey) + u"\\Kelvan Suite Personal", suite_uninstall_key_},
            false, text);
    }
    if (!IsInstallMode()) {
        group({u"SOFTWARE\\Vorandel", kSuiteKey});
        TestRegistryGroup({settings_key_}, false, text);
    }
    TestRegistryWrite(HKEY_CURRENT_USER, kEngineKey, true, nullptr, text);
    return text.empty() ? 0 : 9011;
}

uint32_t ProductFW::CheckDirectoryPermissions(std::u16string& text) {
    const uint32_t result = TestSystemFolders(text);
    const auto os = util::GetOsVersionInfo();
    if (!IsUpgrade() || !available() || (os && os->platform != 2)) {
        return result;
    }
    // The unified engine also replaces the system's network drivers.
    const std::u16string system = util::GetWinSysDir();
    TestFolderWrite(util::AppendPath(system, u"DRIVERS").value_or(system), text);
    return text.empty() ? 0 : 9012;
}

uint32_t ProductFW::CheckPrerequisites(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductFW::CheckUserSessions(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductFW::WriteInstallConfigFile(std::u16string& path) {
    path.clear();
    const std::u16string temp = util::GetTempDir();
    const auto joined = util::AppendPath(temp, u"fwconfig.txt");
    if (temp.empty() || !joined) {
        return kNoConfigPath;
    }
    path = *joined;
    const HANDLE file = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return kConfigNotWritten;
    }
    uint32_t result = 0;
    for (const std::u16string& line :
         firewall::ConfigFileLines(GetDisplayName(), destination_, program_group_)) {
        const std::string narrow = util::WideToNarrow(line);
        DWORD written = 0;
        if (!WriteFile(file, narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr) ||
            written != narrow.size()) {
            result = kConfigNotWritten;
        }
    }
    CloseHandle(file);
    return result;
}

std::u16string ProductFW::GetUpgradeVersion() {
    std::u16string path;
    if (!GetSetupFilePath(path, u"tssetup.exe")) {
        return {};
    }
    const auto info = util::ReadFileVersionInfo(path);
    if (!info) {
        return {};
    }
    return firewall::FileVersionText(info->file_version_ms >> 16, info->file_version_ms & 0xFFFF,
                                     info->file_version_ls >> 16, info->file_version_ls & 0xFFFF);
}

uint32_t ProductFW::PrepareInstall(std::u16string& text) {
    text.clear();
    if (!selected()) {
        return 0;
    }
    BeginInstall(text);
    GetInstalledVersion(version_before_);
    RemoveLeftovers();
    return 0;
}

uint32_t ProductFW::Install() {
    if (!selected()) {
        return 0;
    }
    std::u16string config;
    if (const uint32_t written = WriteInstallConfigFile(config); written != 0) {
        return written;
    }
    std::u16string folder;
    if (!GetSetupFilePath(folder, std::nullopt)) {
        return kNoPackageFolder;
    }
    const auto command = util::BuildCommandLine(
        folder, u"tssetup.exe", firewall::InstallerSwitches(config), util::kMaxPath * 2);
    if (!command) {
        return kNoInstallerCommand;
    }
    // An earlier edition of the maker registered the engine under its own
    // name: the engine is to carry this product's name from now on.
    const std::u16string version = ReadMachineText(kEngineProductKey, u"CurrentVersion");
    if (!version.empty()) {
        const std::u16string registration =
            std::u16string(kEngineProductKey) + u"\\Registration\\" + version;
        const std::u16string name = ReadMachineText(registration, u"ProductName");
        if (firewall::IsMakersRegisteredName(name) &&
            !WriteMachineText(registration, u"ProductName", GetDisplayName())) {
            LogProductMessage(25015, u"ProductName");
        }
    }
    uint32_t result = WithDialogWatcher([&] { return RunProcess(*command, true); });
    if (result == 0) {
        GetInstalledVersion(version_after_);
        const std::u16string installation =
            IsUpgrade() ? GetUpgradeVersion() : GetInstallationVersion();
        if (util::CompareVersions(installation, version_after_) > 0) {
            result = kNotInstalled;
        }
    }
    if (!IsInstalled(true)) {
        util::RemoveEmptyDirectories(destination_, true);
    }
    // Kept after a failure: it shows what the engine's installer was given.
    if (result == 0) {
        DeleteFileW(W(config));
    }
    return result;
}

uint32_t ProductFW::FinishInstall() {
    if (!selected()) {
        return 0;
    }
    StepFailures failures(GetDisplayName());
    FinishInstallSteps(failures);

    if (firewall::DefersTrustList(version_before_, version_after_)) {
        // The engine's new driver starts with Windows: the trust list can
        // only be filled then.
        const auto copy = util::AppendPath(FilesFolder(), u"trustadd.exe");
        if (copy && !FilesFolder().empty() &&
            CopyFileW(W(util::GetCurrentAppPath()), W(*copy), FALSE)) {
            WriteMachineText(kRunOnceKey, u"Tromb_TrustList", firewall::TrustListCommand(*copy));
        } else {
            LogProductMessage(25038, GetDisplayName());
        }
        return failures.result();
    }
    if (AddToTrustList(true, true) != 0) {
        LogProductMessage(25038, GetDisplayName());
    }
    SuiteProduct& suite = Products().Suite();
    if (suite.AddToTrustList(false, true) != 0) {
        LogProductMessage(25038, suite.GetDisplayName());
    }
    if (const SetupOperation* operation = GetCurrentOperation()) {
        for (Product* other : operation->products()) {
            if (other != this && other != &suite && other->AddToTrustList(false, true) != 0) {
                LogProductMessage(25038, other->GetDisplayName());
            }
        }
    }
    return failures.result();
}

std::u16string ProductFW::TutorialTitle() {
    std::u16string tutorial = LoadProductString(kTutorialString);
    if (tutorial.empty()) {
        tutorial = u"%s Tutorial";
    }
    return SubstituteArguments(tutorial, {GetDisplayName()});
}

std::vector<std::u16string> ProductFW::ShortcutFileNames() {
    const std::u16string name = GetDisplayName();
    // Without the product's DLL its names are not known.
    if (name.empty()) {
        return {};
    }
    return {name + u".lnk", TutorialTitle() + u".lnk",
            SubstituteArguments(SetupLogger::Instance().host().LoadText(kUninstallString, 256),
                                {name}) +
                u".lnk"};
}

uint32_t ProductFW::CreateShortcuts() {
    if (!selected() || !SetupOptions::Instance().program_group) {
        return 0;
    }
    std::u16string folder;
    if (const uint32_t created = OpenShortcutFolder(folder); created != 0) {
        return created;
    }
    const std::u16string files = FilesFolder();
    const std::u16string suite_files = SuiteFilesFolder();
    const std::u16string name = GetDisplayName();
    const auto shortcut = [&](std::u16string_view in, std::u16string_view program,
                              std::u16string_view title, std::u16string_view arguments) {
        const auto target = util::AppendPath(in, program);
        return !in.empty() && target &&
               SUCCEEDED(
                   util::CreateShortcut(folder, title, *target, arguments, in, title, *target, 0));
    };
    bool ok = shortcut(suite_files, u"trombo.exe", name, u"/t2");
    ok = shortcut(files, u"tstutor.exe", TutorialTitle(), u"") && ok;
    if (Alone()) {
        const std::u16string uninstall = SubstituteArguments(
            SetupLogger::Instance().host().LoadText(kUninstallString, 256), {name});
        ok = shortcut(files, u"xjuninst.exe", uninstall, u"/u") && ok;
    }
    return ok ? 0 : kShortcutFailed;
}

uint32_t ProductFW::WriteRegistrySettings() {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25533);
    if (!program_group_.empty()) {
        WriteMachineText(kEngineKey, u"Group", program_group_);
    }
    uint32_t result = 0;
    if (!WriteMachineNumber(kEngineKey, u"IsUnified", IsUpgrade() ? 1 : 0)) {
        result = kSettingsFailed;
    }
    if (!ReadMachineText(kRunKey, kRunValue).empty()) {
        const auto client = util::AppendPath(destination_, u"xj.exe");
        if (!client || !WriteMachineText(kRunKey, kRunValue, u"\"" + *client + u"\"")) {
            result = kSettingsFailed;
        }
    }
    return result;
}

uint32_t ProductFW::CopySharedFiles(std::vector<std::u16string>& failures) {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25536);
    const std::u16string files = FilesFolder();
    const size_t before = failures.size();
    if (util::IsWin9x()) {
        std::vector<std::u16string> unicows;
        if (!util::CopyFileToDirectory(util::GetCurrentAppDir(), files, u"unicows.dll",
                                       std::nullopt, &unicows) &&
            !FolderHolds(files, u"unicows.dll")) {
            failures.insert(failures.end(), unicows.begin(), unicows.end());
        }
    }
    CopyFrameworkFiles(files, failures);
    std::u16string product_folder;
    GetSetupFilePath(product_folder, std::nullopt);
    const auto help = util::AppendPath(files, HelpFolderName(SetupOptions::Instance().GetPath()));
    if (!help || files.empty() ||
        (util::CreateDirectoryPath(*help) != ERROR_SUCCESS &&
         GetFileAttributesW(W(*help)) == INVALID_FILE_ATTRIBUTES)) {
        failures.push_back(u"trombfw.chm");
    } else {
        util::CopyFileToDirectory(product_folder, *help, u"trombfw.chm", std::nullopt, &failures);
    }
    return failures.size() != before ? kCopyFailed : 0;
}

uint32_t ProductFW::Uninstall() {
    if (!selected()) {
        return 0;
    }
    std::u16string command;
    if (const uint32_t made =
            InstalledProgramCommand(u"tsuninst.exe", firewall::kUninstallerSwitches, command);
        made != 0) {
        return made;
    }
    uint32_t result = WithDialogWatcher([&] {
        uint32_t exit_code = 1;
        const uint32_t started = RunProcess(command, true, &exit_code);
        // The uninstaller hands its work to a copy of itself in the
        // temporary folder and ends at once: wait for that copy.
        if (started == 0 && exit_code == 0) {
            util::WaitForProcess(u"tsuninst", 3000);
        }
        return started;
    });
    result = ResultAfterUninstaller(result);
    if (result == 0) {
        RemoveLeftovers();
    }
    return result;
}

uint32_t ProductFW::RemoveRegistrySettings() {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25533);
    for (const char16_t* value : {u"Group", u"HU100", u"IsUnified", u"OEM"}) {
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kEngineKey, value);
    }
    util::DeleteEmptyRegistryKeys(HKEY_LOCAL_MACHINE, kEngineKey, true);
    return 0;
}

uint32_t ProductFW::RemoveFiles() {
    const std::u16string files = FilesFolder();
    if (!files.empty()) {
        if (const auto help = util::AppendPath(files, HelpFolderName(SuiteFilesFolder()))) {
            if (const auto chm = util::AppendPath(*help, u"trombfw.chm")) {
                util::DeleteFileNowOrAtReboot(*chm);
            }
            util::RemoveEmptyDirectories(*help, true);
        }
    }
    return ProductBase<Product>::RemoveFiles();
}

uint32_t ProductFW::RemoveLeftovers() {
    if (IsInstalled(true)) {
        return 0;
    }
    const std::u16string system = util::GetWinSysDir();
    if (system.empty()) {
        return 0;
    }
    for (const std::u16string_view file : firewall::EngineLeftoverFiles()) {
        if (const auto path = util::AppendPath(system, file)) {
            util::DeleteFileNowOrAtReboot(*path);
        }
    }
    if (const auto folder = util::AppendPath(system, u"TessalyLabs")) {
        util::DeleteDirectoryTree(*folder, true, nullptr);
    }
    util::DeleteRegistryKeyTree(HKEY_LOCAL_MACHINE, kEngineDriverKey);
    return 0;
}

ProductFWU::ProductFWU() : ProductFW(kUpgradeTables, kCodeFirewallUpgrade) {}

uint32_t ProductFWU::CheckVersion() {
    if (!available()) {
        return 0;
    }
    LogProductMessage(25530);
    std::u16string installed;
    GetInstalledVersion(installed);
    const std::u16string installation = GetUpgradeVersion();
    if (util::CompareVersions(installation, installed) >= 0) {
        return 0;
    }
    const std::array<MessageEntry, 3> entries{MessageEntry{25019, GetDisplayName(), 0},
                                              MessageEntry{25517, installation, 0},
                                              MessageEntry{25518, installed, 0}};
    ReportMessage(SetupLogger::Instance(), 3, 3, kVersionMismatch, entries);
    return kVersionMismatch;
}

}  // namespace olvex::setup

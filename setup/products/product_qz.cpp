#include "setup/products/product_qz.h"

#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"
#include "setup/products/installer_codes.h"
#include "setup/products/product_qz_removal.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kNoPackageFolder = 9024;
constexpr uint32_t kNoInstallerCommand = 9025;
constexpr uint32_t kNotInstalled = 9027;
constexpr uint32_t kCopyFailed = 9028;
constexpr uint32_t kNoUninstallCommand = 9030;
constexpr uint32_t kShortcutFailed = 9034;
constexpr char16_t kInstallerProducts[] = u"SOFTWARE\\Classes\\Installer\\Products\\";
constexpr char16_t kInstallerFeatures[] = u"SOFTWARE\\Classes\\Installer\\Features\\";
// The earlier edition's code and this one's, packed as the Installer keeps
// them.
constexpr char16_t kEarlierPacked[] = u"F38B505523EB0F142A5468718E851FBB";
constexpr char16_t kCurrentPacked[] = u"0CE38396BA7237147AC7F2F20B435EF7";

constexpr std::u16string_view kUninstallNames[] = {kProductQzCode, u"Kelvan Suite Personal\\qz",
                                                   u"{5505B83F-BE32-41F0-A245-8617E858F1BB}",
                                                   u"Kelvan QX Dovrane\\Kelvan Gorsewatch"};
constexpr std::u16string_view kShortcutFolders[] = {u"Brackwith\\Kelvan\\Gorsewatch",
                                                    u"Kelvan QX Dovrane\\Kelvan Gorsewatch",
                                                    u"Kelvan Suite\\Kelvan Gorsewatch"};
constexpr TrustRow kTrustRows[] = {{u"pellory.exe"}, {u"gorsewatch5.exe"}, {u"wakenor.exe"}};
constexpr CompetitorRecord kCompetitors[] = {
    {u"{80A3D0E7-63EC-4C98-A462-5DBF0CD81F05}"},
    {u"InstallShield_{8668D216-F418-4357-ACE5-3115F9832754}"}};

const ProductTables kTables{
    u"qz",      kUninstallNames, kShortcutFolders,
    kTrustRows, kCompetitors,    u"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\qz"};

bool IsInstallMode() {
    return RunningMode() == kModeInstall;
}

std::u16string InstallerProductKey(std::u16string_view packed) {
    return std::u16string(kInstallerProducts) + std::u16string(packed);
}

// The CLSID or interface key with the subkeys the engine registers.
std::vector<std::u16string> WithSubkeys(std::u16string key,
                                        std::initializer_list<std::u16string_view> subkeys) {
    std::vector<std::u16string> keys{key};
    for (const auto subkey : subkeys) {
        keys.push_back(key + u"\\" + std::u16string(subkey));
    }
    return keys;
}

}  // namespace

ProductQZ::ProductQZ() : ProductBase<Product>(kTables) {
    set_product_code(kCodeAntiSpyware);
}

bool ProductQZ::GetInstalledVersion(std::u16string& version) {
    version = IsInstalled(true) ? ReadMachineText(own_uninstall_key_, u"DisplayVersion") : u"";
    // Once the package has taken its own entry away, the suite's entry for
    // the product may still be there until the suite removes it: without a
    // version the product counts as gone.
    if (version.empty())
        version = u"0";
    return true;
}

bool ProductQZ::GetInstalledPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    GetInstalledFilesPath(path, flag);
    path = OrRecorded(path, u"Path");
    util::TrimPathEnd(path);
    return !path.empty();
}

bool ProductQZ::GetInstalledFilesPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    path = OrRecorded(ReadMachineText(kProductQzKey, u"InstallPath"), u"Files");
    util::TrimPathEnd(path);
    return !path.empty();
}

bool ProductQZ::GetInstalledGroup(std::u16string& group) {
    group = OrRecorded(ReadMachineText(kProductQzKey, u"ProgramGroup"), u"Group");
    return !group.empty();
}

uint32_t ProductQZ::CheckOperatingSystem(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25509, util::GetOperatingSystemDescription());
    const auto os = util::GetOsVersionInfo();
    if (!os) {
        return 0;
    }
    std::u16string refused;
    if (os->platform == 2 && os->major < 4) {
        refused = u"Windows NT " + DecimalText(os->major) + u"." + UnsignedText(os->minor, 2);
    } else if (os->platform == 1 && os->major == 4 && os->minor == 0) {
        refused = u"Windows 95";
    }
    if (refused.empty()) {
        return 0;
    }
    ReportProductMessage(25012, refused);
    text = refused;
    return 9009;
}

uint32_t ProductQZ::CheckRegistryPermissions(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if (!available() || (os && os->platform != 2)) {
        return 0;
    }
    const auto group = [&](const std::vector<std::u16string>& keys) {
        TestRegistryGroup(keys, true, text);
    };
    const auto installer_keys = [](std::u16string_view packed) {
        const std::u16string product = InstallerProductKey(packed);
        return std::vector<std::u16string>{
            std::u16string(kInstallerFeatures) + std::u16string(packed), product,
            product + u"\\SourceList", product + u"\\SourceList\\Media",
            product + u"\\SourceList\\Net"};
    };
    const std::initializer_list<std::u16string_view> kClassSubkeys = {
        u"InprocServer32", u"ProgID", u"Programmable", u"TypeLib", u"VersionIndependentProgID"};
    const std::initializer_list<std::u16string_view> kInterfaceSubkeys = {
        u"ProxyStubClsid", u"ProxyStubClsid32", u"TypeLib"};
    group({u"SOFTWARE\\Vorandel", kProductQzKey});
    group(WithSubkeys(u"SOFTWARE\\Classes\\CLSID\\{8865E65A-ADF8-4549-A145-66806DB5ABB5}",
                      kClassSubkeys));
    group(WithSubkeys(u"SOFTWARE\\Classes\\CLSID\\{FA17557F-B425-451B-8EE0-72EE490A5019}",
                      kClassSubkeys));
    if (!ReadMachineText(InstallerProductKey(kEarlierPacked), u"PackageCode").empty()) {
        group(installer_keys(kEarlierPacked));
    }
    group(installer_keys(kCurrentPacked));
    group(WithSubkeys(u"SOFTWARE\\Classes\\Interface\\{9031E6E2-12A3-45A4-A338-C7D135C1656E}",
                      kInterfaceSubkeys));
    group(WithSubkeys(u"SOFTWARE\\Classes\\Interface\\{E5E67BCB-C30D-4E0D-938F-2F767B4D12DA}",
                      kInterfaceSubkeys));
    group({u"SOFTWARE\\Classes\\olvex", u"SOFTWARE\\Classes\\KelvanGorsewatch"});
    TestRegistryGroup({own_uninstall_key_, kRunOnceKey}, false, text);
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
    return text.empty() ? 0 : 9011;
}

uint32_t ProductQZ::CheckDirectoryPermissions(std::u16string& text) {
    return TestSystemFolders(text);
}

uint32_t ProductQZ::CheckPrerequisites(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductQZ::CheckUserSessions(std::u16string& text) {
    text.clear();
    return 0;
}

void ProductQZ::ShowInstallerRegistration() {
    util::WriteRegistryValue(HKEY_LOCAL_MACHINE, own_uninstall_key_, u"WindowsInstaller", u"1",
                             REG_DWORD);
    const std::u16string name = u"XJ " + GetDisplayName();
    for (const char16_t* packed : {kEarlierPacked, kCurrentPacked}) {
        const std::u16string key = InstallerProductKey(packed);
        if (!ReadMachineText(key, u"PackageCode").empty()) {
            util::WriteRegistryValue(HKEY_LOCAL_MACHINE, key, u"ProductName", name, REG_SZ);
        }
    }
}

void ProductQZ::HideInstallerRegistration() {
    util::WriteRegistryValue(HKEY_LOCAL_MACHINE, own_uninstall_key_, u"WindowsInstaller", u"0",
                             REG_DWORD);
    for (const char16_t* packed : {kEarlierPacked, kCurrentPacked}) {
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, InstallerProductKey(packed), u"ProductName");
    }
}

uint32_t ProductQZ::PrepareInstall(std::u16string& text) {
    text.clear();
    if (!selected()) {
        return 0;
    }
    BeginInstall(text);
    if (util::IsWin9x()) {
        util::CopyFileToDirectory(util::GetCurrentAppDir(), destination_, u"unicows.dll",
                                  std::nullopt, nullptr);
    }
    GetInstalledVersion(version_before_);
    if (version_before_ != u"0") {
        ShowInstallerRegistration();
    }
    return 0;
}

uint32_t ProductQZ::Install() {
    if (!selected()) {
        return 0;
    }
    std::u16string folder;
    if (!GetSetupFilePath(folder, std::nullopt)) {
        return kNoPackageFolder;
    }
    const auto command = util::BuildCommandLine(
        folder, u"Gorsewatch.exe",
        u"/v\"INSTALLDIR=\\\"" + destination_ + u"\\\" NOUPDATE=Yes REBOOT=ReallySuppress /qn\"",
        util::kMaxPath * 4);
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
    if (version_before_ != u"0") {
        HideInstallerRegistration();
    }
    if (!IsInstalled(true)) {
        util::RemoveEmptyDirectories(destination_, true);
    }
    return result;
}

uint32_t ProductQZ::FinishInstall() {
    if (!selected()) {
        return 0;
    }
    StepFailures failures(GetDisplayName());
    failures.Note(WriteRegistrySettings(), 25044);
    const uint32_t entry = WriteUninstallEntry();
    failures.Note(entry, 25034);
    if (entry == 0) {
        HideInstallerRegistration();
    }
    std::vector<std::u16string> copy_failures;
    const uint32_t product_files = CopyProductFiles(copy_failures);
    const uint32_t shared_files = CopySharedFiles(copy_failures);
    failures.Note(product_files != 0 ? product_files : shared_files, 25033,
                  JoinNames(copy_failures));
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    failures.Note(CreateShortcuts(), 25035);
    if (AddToTrustList(true, true) != 0) {
        LogProductMessage(25038, GetDisplayName());
    }

    const std::u16string files = FilesFolder();
    if (const auto update =
            util::BuildCommandLine(files, u"pellory.exe", u"/noninteractive", util::kMaxPath * 2)) {
        LogProductMessage(25549, *update);
        if (RunProcess(*update, true) == 0) {
            util::WaitForProcess(u"dunmere", 3000);
        }
    }
    const SetupOptions& options = SetupOptions::Instance();
    if (!Products().Suite().suite_active() && options.scan &&
        SetupLogger::Instance().display_level() > 1) {
        if (const auto scan =
                util::BuildCommandLine(files, u"gorsewatch5.exe", u"/scan", util::kMaxPath * 2)) {
            RunProcess(*scan, false);
        }
    }
    return failures.result();
}

uint32_t ProductQZ::CreateShortcuts() {
    if (!selected() || !SetupOptions::Instance().program_group) {
        return 0;
    }
    std::u16string folder;
    if (const uint32_t created = OpenShortcutFolder(folder); created != 0) {
        return created;
    }
    const std::u16string files = FilesFolder();
    std::u16string suite_files;
    uint32_t generation = 0;
    Products().Suite().GetInstalledFilesPath(suite_files, generation);
    if (files.empty() || suite_files.empty()) {
        return 0;
    }
    const std::u16string name = GetDisplayName();
    const auto centre = util::AppendPath(suite_files, u"trombo.exe");
    if (!centre || FAILED(util::CreateShortcut(folder, name, *centre, u"/t3", suite_files, name,
                                               *centre, 0))) {
        return kShortcutFailed;
    }
    if (Alone()) {
        const std::u16string uninstall_name =
            SubstituteArguments(SetupLogger::Instance().host().LoadText(24504, 256), {name});
        const auto uninstaller = util::AppendPath(files, u"xjuninst.exe");
        if (!uninstaller || FAILED(util::CreateShortcut(folder, uninstall_name, *uninstaller, u"/u",
                                                        files, uninstall_name, *uninstaller, 0))) {
            return kShortcutFailed;
        }
    }
    return 0;
}

uint32_t ProductQZ::WriteRegistrySettings() {
    return WriteProgramGroupValue(kProductQzKey);
}

uint32_t ProductQZ::CopySharedFiles(std::vector<std::u16string>& failures) {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25536);
    const std::u16string files = FilesFolder();
    const std::u16string root = util::GetCurrentAppDir();
    const size_t before = failures.size();
    if (util::IsWin9x()) {
        std::vector<std::u16string> unicows;
        if (!util::CopyFileToDirectory(root, files, u"unicows.dll", std::nullopt, &unicows) &&
            !util::FileExists(util::AppendPath(files, u"unicows.dll").value_or(u""))) {
            failures.insert(failures.end(), unicows.begin(), unicows.end());
        }
    }
    CopyFrameworkFiles(files, failures);
    std::u16string product_folder;
    GetSetupFilePath(product_folder, std::nullopt);
    util::CopyFileToDirectory(product_folder, files, u"trombqz.chm", std::nullopt, &failures);
    return failures.size() != before ? kCopyFailed : 0;
}

uint32_t ProductQZ::PrepareUninstall() {
    if (!selected()) {
        return 0;
    }
    ReportProductMessage(25540, GetDisplayName());
    ShowProgress(24001);
    KeepFoldersForCleanup();
    // Nothing of the product may run on, or start again, once its files
    // are gone; and the engine's registration must lose this product before
    // the package unregisters the engine, or the engine refuses (it stays
    // registered while a product uses it).
    if (const uint32_t closed = qz::CloseProductPrograms(); closed != 0) {
        return closed;
    }
    qz::RemoveStartUpEntries();
    qz::RemoveEngineRegistration(FilesFolder());
    ShowInstallerRegistration();
    return 0;
}

uint32_t ProductQZ::Uninstall() {
    if (!selected()) {
        return 0;
    }
    SavedUninstallCommands saved;
    saved.own_uninstall_product = ReadMachineText(own_uninstall_key_, u"UninstallProduct");
    saved.suite_uninstall_product = ReadMachineText(suite_uninstall_key_, u"UninstallProduct");
    saved.own_modify_path = ReadMachineText(own_uninstall_key_, u"ModifyPath");
    uint32_t result = 0;
    // The saved command is the package's maintenance run: only REMOVE=ALL
    // makes it a removal, so that a user who opens the package again
    // repairs the product instead of losing it.
    if (const auto command = ChooseUninstallCommand(saved, 520, u" REMOVE=ALL")) {
        result = ResultAfterUninstaller(RunProcess(*command, true));
    } else {
        result = kNoUninstallCommand;
    }
    // Whatever the uninstaller did, the names the suite gave the
    // registration and the desktop shortcut go.
    for (const char16_t* packed : {kEarlierPacked, kCurrentPacked}) {
        const std::u16string key = InstallerProductKey(packed);
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, u"ProductName");
        util::DeleteEmptyRegistryKeys(HKEY_LOCAL_MACHINE, key, true);
    }
    for (const bool common : {true, false}) {
        if (const auto shortcut =
                util::AppendPath(util::GetDesktopDir(common), u"Kelvan Gorsewatch.lnk")) {
            util::DeleteFileNowOrAtReboot(*shortcut);
        }
    }
    return result;
}

uint32_t ProductQZ::RemoveRegistrySettings() {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25533);
    util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kProductQzKey, u"ProgramGroup");
    util::DeleteEmptyRegistryKeys(HKEY_LOCAL_MACHINE, kProductQzKey, true);
    return 0;
}

uint32_t ProductQZ::RemoveFiles() {
    const std::u16string files = FilesFolder();
    if (!files.empty()) {
        if (const auto help = util::AppendPath(files, u"trombqz.chm")) {
            util::DeleteFileNowOrAtReboot(*help);
        }
        util::RemoveEmptyDirectories(files, true);
    }
    return ProductBase<Product>::RemoveFiles();
}

}  // namespace olvex::setup

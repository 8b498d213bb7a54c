#include "setup/products/product_as.h"

#include "setup/controller/win/setup_dialogs.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"
#include "setup/products/antispam_rules.h"
#include "setup/products/member_packaging.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kOsRefused = 9009;
constexpr uint32_t kWininetTooOld = 9013;
constexpr uint32_t kNoPackageFolder = 9024;
constexpr uint32_t kNoInstallerCommand = 9025;
constexpr uint32_t kNotInstalled = 9027;
constexpr uint32_t kCopyFailed = 9028;
constexpr uint32_t kNoFilesFolder = 9029;
constexpr uint32_t kNoUninstallCommand = 9030;
constexpr uint32_t kShortcutFailed = 9034;
constexpr uint32_t kUpdaterAppearsMs = 3000;

bool AcceptStandalone(std::u16string_view) {
    return IsStandaloneAntiSpamInstalled();
}

constexpr TrustRow kTrustRows[] = {{kAntiSpamUpdater}};
constexpr CompetitorRecord kCompetitors[] = {
    {kAntiSpamOwnEntry, kAntiSpamUpdaterProcess, kAntiSpamUpdater, &AcceptStandalone}};

const ProductTables kTables{
    u"as",        kAntiSpamUninstallNames, kAntiSpamShortcutFolders, kTrustRows,
    kCompetitors, kAntiSpamSettingsKey};

bool IsInstallMode() {
    return RunningMode() == kModeInstall;
}

// A value of the product's own key; outside install mode, when missing,
// the one the suite kept under its settings key.
std::u16string ProductOrKeptValue(std::u16string_view value, std::u16string_view kept) {
    std::u16string text = ReadMachineText(kAntiSpamKey, value);
    if (text.empty() && !IsInstallMode()) {
        text = ReadMachineText(kAntiSpamSettingsKey, kept);
    }
    return text;
}

// Deletes a folder with its contents. A folder that is a link (a reparse
// point) loses only the link: what it points to is not ours.
void DeleteFolderWithContents(const std::u16string& folder) {
    const DWORD attributes = GetFileAttributesW(W(folder));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return;
    }
    // Its attributes are left as they are: changing them would change the
    // folder the link points to.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(W(folder));
        return;
    }
    util::DeleteDirectoryTree(folder, true, nullptr);
}

std::u16string Formatted(uint32_t id, std::u16string_view argument) {
    return SubstituteArguments(SetupLogger::Instance().host().LoadText(id, 256), {argument});
}

}  // namespace

bool IsStandaloneAntiSpamInstalled() {
    return IsStandaloneAntiSpamFolder(
        ReadMachineText(kAntiSpamKey, u"ReleasePath"), kAntiSpamCompanionLibrary,
        [](std::u16string_view path) { return util::FileExists(path); });
}

ProductAS::ProductAS() : ProductBase<Product>(kTables) {
    set_product_code(kCodeAntiSpam);
}

bool ProductAS::GetInstalledVersion(std::u16string& version) {
    version.assign(1, u'0');
    // Once its own registration is gone the product counts as removed,
    // even while the suite's entry for it is still there.
    if (IsInstalled(true)) {
        if (std::u16string release = ReadMachineText(kAntiSpamKey, u"ReleaseVersion");
            !release.empty()) {
            version = std::move(release);
        }
    }
    return !version.empty();
}

bool ProductAS::GetInstalledPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    path = ProductOrKeptValue(u"AppInstallPath", u"Path");
    util::TrimPathEnd(path);
    return !path.empty();
}

bool ProductAS::GetInstalledFilesPath(std::u16string& path, uint32_t& flag) {
    flag = 0;
    path = ProductOrKeptValue(u"ReleasePath", u"Files");
    util::TrimPathEnd(path);
    return !path.empty();
}

bool ProductAS::GetInstalledGroup(std::u16string& group) {
    group = ProductOrKeptValue(u"ProgramGroup", u"Group");
    return !group.empty();
}

std::u16string ProductAS::ProgramFolder() {
    std::u16string folder;
    uint32_t flag = 0;
    if (!GetInstalledPath(folder, flag)) {
        folder.clear();
    }
    return folder;
}

uint32_t ProductAS::CheckOperatingSystem(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25509, util::GetOperatingSystemDescription());
    const auto os = util::GetOsVersionInfo();
    if (!os) {
        return 0;
    }
    const auto refused = AntiSpamRefusedWindows(*os);
    if (!refused) {
        return 0;
    }
    ReportProductMessage(25012, *refused);
    text = *refused;
    return kOsRefused;
}

uint32_t ProductAS::CheckRegistryPermissions(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if (!available() || (os && os->platform != util::kPlatformNt)) {
        return 0;
    }
    SuiteProduct& suite = Products().Suite();
    AntiSpamRegistryFacts facts;
    facts.own_uninstall_key = own_uninstall_key_;
    facts.suite_uninstall_key = suite_uninstall_key_;
    facts.suite_present = suite.suite_active() || suite.IsInstalled(false);
    facts.install_mode = IsInstallMode();
    for (const RegistryTestGroup& group : AntiSpamRegistryTests(facts)) {
        TestRegistryGroup(group.keys, group.remember_first, text);
    }
    return text.empty() ? 0 : 9011;
}

uint32_t ProductAS::CheckDirectoryPermissions(std::u16string& text) {
    return TestSystemFolders(text);
}

uint32_t ProductAS::CheckPrerequisites(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25531);
    if (util::CheckFileVersion(u"WININET.DLL", 5, 0) != 0) {
        text = u"WININET.DLL";
        return kWininetTooOld;
    }
    return CheckWinsockVersion(2, 2, text);
}

uint32_t ProductAS::CheckUserSessions(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductAS::PrepareInstall(std::u16string& text) {
    text.clear();
    if (!selected()) {
        return 0;
    }
    BeginInstall(text);
    previous_files_path_ = FilesFolder();
    GetInstalledVersion(version_before_);
    return 0;
}

uint32_t ProductAS::Install() {
    if (!selected()) {
        return 0;
    }
    std::u16string folder;
    if (!GetSetupFilePath(folder, std::nullopt)) {
        return kNoPackageFolder;
    }
    const auto command = util::BuildCommandLine(
        folder, kAntiSpamInstaller, AntiSpamInstallSwitches(destination_), util::kMaxPath * 4);
    if (!command || destination_.empty()) {
        return kNoInstallerCommand;
    }
    uint32_t result = RunProcess(*command, true);
    if (result == 0) {
        GetInstalledVersion(version_after_);
        if (AntiSpamInstallFellShort(GetInstallationVersion(), version_after_)) {
            result = kNotInstalled;
        }
    }
    if (!IsInstalled(true)) {
        util::RemoveEmptyDirectories(destination_, true);
    }
    return result;
}

void ProductAS::RemovePreviousFilesFolder() {
    const std::u16string current = FilesFolder();
    if (previous_files_path_.empty() || current.empty() ||
        util::ComparePaths(previous_files_path_, current, true)) {
        return;
    }
    // The new folder inside the old one would go with it.
    if (util::ComparePaths(current, previous_files_path_, false)) {
        return;
    }
    DeleteFolderWithContents(previous_files_path_);
}

uint32_t ProductAS::FinishInstall() {
    if (!selected()) {
        return 0;
    }
    StepFailures failures(GetDisplayName());
    failures.Note(WriteRegistrySettings(), 25044);
    failures.Note(WriteUninstallEntry(), 25034);
    std::vector<std::u16string> copy_failures;
    const uint32_t product_files = CopyProductFiles(copy_failures);
    const uint32_t shared_files = CopySharedFiles(copy_failures);
    failures.Note(product_files != 0 ? product_files : shared_files, 25033,
                  JoinNames(copy_failures));
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    failures.Note(CreateShortcuts(), 25035);
    RemovePreviousFilesFolder();
    if (AddToTrustList(true, true) != 0) {
        LogProductMessage(25038, GetDisplayName());
    }
    return failures.result();
}

uint32_t ProductAS::CreateShortcuts() {
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
        return kShortcutFailed;
    }
    const std::u16string name = GetDisplayName();
    const auto link = [&](std::u16string_view title, std::u16string_view target_folder,
                          std::u16string_view file, std::u16string_view arguments) {
        const auto target = util::AppendPath(target_folder, file);
        return target && SUCCEEDED(util::CreateShortcut(folder, title, *target, arguments,
                                                        target_folder, title, *target, 0));
    };
    std::u16string release;
    GetInstalledVersion(release);
    const std::u16string brand = Products().Suite().GetDisplayName();
    const auto web = [&](uint32_t title_id, uint32_t address_id) {
        const std::u16string address =
            AntiSpamWebAddress(SetupLogger::Instance().host().LoadText(address_id, 512),
                               kAntiSpamProductGuid, release, brand);
        return SUCCEEDED(util::CreateInternetShortcut(folder, Formatted(title_id, name), address));
    };
    bool made =
        link(name, suite_files, u"trombo.exe", u"/t4") &&
        link(Formatted(24508, name), files, kAntiSpamUpdater, u"/cp") && web(24500, 24520) &&
        link(SetupLogger::Instance().host().LoadText(24510, 256), files, kAntiSpamUpdater, u"") &&
        link(SetupLogger::Instance().host().LoadText(24511, 256), files, kAntiSpamUpdater,
             u"/rb") &&
        web(24501, 24521);
    if (made && Alone()) {
        made = link(Formatted(24504, name), files, u"xjuninst.exe", u"/u");
    }
    return made ? 0 : kShortcutFailed;
}

// Every name CreateShortcuts gives, the uninstall shortcut's too.
std::vector<std::u16string> ProductAS::ShortcutFileNames() {
    const std::u16string name = GetDisplayName();
    // Without the product's DLL its names are not known.
    if (name.empty()) {
        return {};
    }
    const auto text = [](uint32_t id) { return SetupLogger::Instance().host().LoadText(id, 256); };
    return {name + u".lnk",
            Formatted(24508, name) + u".lnk",
            Formatted(24500, name) + u".url",
            text(24510) + u".lnk",
            text(24511) + u".lnk",
            Formatted(24501, name) + u".url",
            Formatted(24504, name) + u".lnk"};
}

uint32_t ProductAS::WriteRegistrySettings() {
    return WriteProgramGroupValue(kAntiSpamKey);
}

uint32_t ProductAS::CopySharedFiles(std::vector<std::u16string>& failures) {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25536);
    const size_t before = failures.size();
    CopyFrameworkFiles(FilesFolder(), failures);
    std::u16string product_folder;
    GetSetupFilePath(product_folder, std::nullopt);
    util::CopyFileToDirectory(product_folder, ProgramFolder(), kAntiSpamHelpFile, std::nullopt,
                              &failures);
    return failures.size() != before ? kCopyFailed : 0;
}

uint32_t ProductAS::PrepareUninstall() {
    if (!selected()) {
        return 0;
    }
    ReportProductMessage(25540, GetDisplayName());
    ShowProgress(24001);
    KeepFoldersForCleanup();
    return 0;
}

uint32_t ProductAS::Uninstall() {
    if (!selected()) {
        return 0;
    }
    const std::u16string files = FilesFolder();
    if (files.empty()) {
        return kNoFilesFolder;
    }
    const auto command =
        util::BuildCommandLine(files, kAntiSpamUpdater, u"/u_silent", util::kMaxPath * 2);
    if (!command) {
        return kNoUninstallCommand;
    }
    uint32_t exit_code = 0;
    const uint32_t result = RunProcess(*command, true, &exit_code);
    if (result != 0) {
        return result;
    }
    // The update program hands the removal to a copy of itself in TEMP.
    if (exit_code == 0) {
        util::WaitForProcess(kAntiSpamUpdaterProcess, kUpdaterAppearsMs);
    }
    return ResultAfterUninstaller(0);
}

uint32_t ProductAS::RemoveRegistrySettings() {
    if (!selected()) {
        return 0;
    }
    LogProductMessage(25533);
    return 0;
}

uint32_t ProductAS::RemoveFiles() {
    const std::u16string folder = ProgramFolder();
    if (!folder.empty()) {
        if (const auto help = util::AppendPath(folder, kAntiSpamHelpFile)) {
            util::DeleteFileNowOrAtReboot(*help);
        }
        util::RemoveEmptyDirectories(folder, true);
    }
    return ProductBase<Product>::RemoveFiles();
}

uint32_t ProductAS::RemoveLeftovers() {
    const std::u16string folder = ProgramFolder();
    if (!folder.empty() && !IsInstalled(true)) {
        const auto pattern = util::AppendPath(folder, u"ZSP-*");
        WIN32_FIND_DATAW found{};
        const HANDLE search = pattern ? FindFirstFileW(W(*pattern), &found) : INVALID_HANDLE_VALUE;
        std::vector<std::u16string> data_folders;
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::u16string name = U(found.cFileName);
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    IsAntiSpamDataFolder(name)) {
                    data_folders.push_back(util::AppendPath(folder, name).value_or(u""));
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        for (const std::u16string& data : data_folders) {
            if (!data.empty()) {
                DeleteFolderWithContents(data);
            }
        }
    }
    return ProductBase<Product>::RemoveLeftovers();
}

}  // namespace olvex::setup

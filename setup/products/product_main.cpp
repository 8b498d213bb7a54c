#include "setup/products/product_main.h"

#include <array>

#include "setup/controller/win/setup_dialogs.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/products/close_programs.h"

namespace olvex::setup {
namespace {

constexpr char16_t kEarlierBundleKey[] = u"SOFTWARE\\Vorandel\\Kelvan QX Dovrane";
constexpr char16_t kScheduleTrayKey[] = u"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\ScheduleTray";
constexpr uint32_t kStillRunning = 9023;
constexpr uint32_t kShortcutFailed = 9034;
constexpr uint32_t kSettingsFailed = 9040;
constexpr uint32_t kCopyFailed = 9028;
constexpr int kStillRunningPolls = 10;
constexpr uint32_t kStillRunningPollMs = 500;

constexpr std::u16string_view kUninstallNames[] = {u"Kelvan Suite Personal", u"Tromb_placeholder",
                                                   u"Kelvan QX Dovrane"};
constexpr std::u16string_view kShortcutFolders[] = {u"Kelvan QX Dovrane", u"Kelvan Suite"};
constexpr TrustRow kTrustRows[] = {{u"trombo.exe"}, {u"trombodt.exe"}};

const ProductTables kTables{u"",
                            kUninstallNames,
                            kShortcutFolders,
                            kTrustRows,
                            {},
                            u"SOFTWARE\\Vorandel\\Kelvan Suite Personal\\suite"};

bool Trimmed(std::u16string& text) {
    util::TrimPathEnd(text);
    return !text.empty();
}

bool IsInstallMode() {
    return RunningMode() == kModeInstall;
}

}  // namespace

ProductMain::ProductMain() : ProductBase<SuiteProduct>(kTables) {}

ProductMain& ProductMain::Instance() {
    static ProductMain suite;
    return suite;
}

bool ProductMain::GetInstalledVersion(std::u16string& version) {
    version = IsInstalled(true) ? ReadMachineText(kSuiteKey, u"Version") : u"0";
    return !version.empty();
}

bool ProductMain::GetInstalledPath(std::u16string& path, uint32_t& flag) {
    GetInstalledFilesPath(path, flag);
    if (path.empty() && !IsInstallMode()) {
        path = ReadMachineText(settings_key_, u"Path");
    }
    return Trimmed(path);
}

bool ProductMain::GetInstalledFilesPath(std::u16string& path, uint32_t& flag) {
    const uint32_t generation = ReadMachineNumber(kSuiteKey, u"Generation");
    path = ReadMachineText(kSuiteKey, u"Path");
    if (!path.empty()) {
        flag = generation;
        return Trimmed(path);
    }
    if (generation < 2) {
        path = ReadMachineText(kEarlierBundleKey, u"InstallDirectory");
    }
    if (path.empty() && !IsInstallMode()) {
        path = ReadMachineText(settings_key_, u"Files");
    }
    return Trimmed(path);
}

bool ProductMain::GetInstalledGroup(std::u16string& group) {
    group = ReadMachineText(kSuiteKey, u"Group");
    if (group.empty() && !IsInstallMode()) {
        group = ReadMachineText(settings_key_, u"Group");
    }
    return !group.empty();
}

bool ProductMain::HasInstalledFiles() {
    return IsInstalled(true) || (ReadMachineNumber(kSuiteKey, u"Generation") >= 2 &&
                                 !ReadMachineText(kSuiteKey, u"Path").empty());
}

uint32_t ProductMain::CheckOperatingSystem(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductMain::CheckRegistryPermissions(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if (os && os->platform != 2) {
        return 0;
    }
    TestRegistryGroup({u"SOFTWARE\\Vorandel", kSuiteKey}, true, text);
    if (!IsInstallMode()) {
        TestRegistryGroup({settings_key_}, false, text);
    }
    TestRegistryGroup({own_uninstall_key_, kRunOnceKey}, false, text);
    return text.empty() ? 0 : 9011;
}

uint32_t ProductMain::CheckDirectoryPermissions(std::u16string& text) {
    text.clear();
    return 0;
}

uint32_t ProductMain::CheckPrerequisites(std::u16string& text) {
    LogProductMessage(25531);
    return CheckRichEditVersion(5, 30, text);
}

uint32_t ProductMain::CheckUserSessions(std::u16string& text) {
    text.clear();
    if (!available()) {
        return 0;
    }
    LogProductMessage(25528);
    const uint32_t code = util::CountUserSessions();
    if (code != 0) {
        LogProductMessage(25507);
    }
    return code;
}

uint32_t ProductMain::PrepareInstall(std::u16string& text) {
    text.clear();
    SetupProgramGroup();
    SetupDestination();
    GetInstalledVersion(version_before_);
    version_after_ = version_before_;
    uint32_t flag = 0;
    previous_path_.clear();
    if (IsInstalled(true)) {
        GetInstalledPath(previous_path_, flag);
    }
    if (!install_suite_files()) {
        return 0;
    }
    ReportProductMessage(25532, GetDisplayName());
    ShowProgress(24000);
    const uint32_t created = CreateDestinationFolder(text);
    const uint32_t closed = CloseRunningPrograms();
    return created != 0 ? created : closed;
}

uint32_t ProductMain::Install() {
    if (!install_suite_files()) {
        return 0;
    }
    LogProductMessage(25532, GetDisplayName());
    ShowProgress(24000);
    StepFailures failures(GetDisplayName());
    failures.Note(WriteRegistrySettings(), 25044);
    GetInstalledVersion(version_after_);
    std::vector<std::u16string> copy_failures;
    const uint32_t copied = CopySharedFiles(copy_failures);
    failures.Note(copied, 25033, JoinNames(copy_failures));
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    failures.Note(CreateShortcuts(), 25035);
    failures.Note(WriteUninstallEntry(), 25034);
    if (AddToTrustList(true, true) != 0) {
        LogProductMessage(25038, GetDisplayName());
    }
    return failures.result();
}

uint32_t ProductMain::FinishInstall() {
    if (!install_suite_files()) {
        return 0;
    }
    ShowProgress(24000);
    std::u16string installed;
    uint32_t flag = 0;
    GetInstalledPath(installed, flag);
    if (!previous_path_.empty() && !util::ComparePaths(previous_path_, installed, true)) {
        // The earlier folder was the user's choice too: only the suite's own
        // files go, and the folder when nothing else is left.
        RemoveRecordedFolder(previous_path_, false);
    }
    RemoveUninstallEntries();
    return 0;
}

uint32_t ProductMain::CreateShortcuts() {
    if (!suite_active() || !SetupOptions::Instance().program_group) {
        return 0;
    }
    std::u16string folder;
    if (const uint32_t created = OpenShortcutFolder(folder); created != 0) {
        return created;
    }
    const std::u16string files = FilesFolder();
    if (files.empty()) {
        return kShortcutFailed;
    }
    const std::u16string name = GetDisplayName();
    const std::u16string uninstall_name =
        SubstituteArguments(SetupLogger::Instance().host().LoadText(24504, 256), {name});
    const auto centre = util::AppendPath(files, u"trombo.exe");
    const auto uninstaller = util::AppendPath(files, u"xjuninst.exe");
    if (!centre || !uninstaller ||
        FAILED(util::CreateShortcut(folder, name, *centre, u"", files, name, *centre, 0)) ||
        FAILED(util::CreateShortcut(folder, uninstall_name, *uninstaller, u"/u", files,
                                    uninstall_name, *uninstaller, 0))) {
        return kShortcutFailed;
    }
    return 0;
}

uint32_t ProductMain::WriteRegistrySettings() {
    LogProductMessage(25533);
    bool ok = WriteMachineNumber(kSuiteKey, u"Generation", 2) &&
              WriteMachineText(kSuiteKey, u"Path", destination_) &&
              WriteMachineText(kSuiteKey, u"Group", program_group_);
    const std::u16string version = GetInstallationVersion();
    if (!version.empty() && version != u"0") {
        ok = WriteMachineText(kSuiteKey, u"Version", version) && ok;
    }
    if (!destination_.empty()) {
        for (const auto& [name, value] : {std::pair<const char16_t*, uint32_t>{u"RepeatDays", 0},
                                          {u"RepeatHours", 24},
                                          {u"RepeatMins", 0}}) {
            util::RegistryData data;
            if (util::ReadRegistryValue(HKEY_LOCAL_MACHINE, kScheduleTrayKey, name, data) !=
                ERROR_SUCCESS) {
                ok = WriteMachineNumber(kScheduleTrayKey, name, value) && ok;
            }
        }
        const auto helper = util::AppendPath(destination_, u"trombodt.exe");
        ok = helper && WriteMachineText(kRunKey, u"TromboDT", u"\"" + *helper + u"\"") && ok;
    }
    if (ok) {
        return 0;
    }
    ReportProductMessage(25044, GetDisplayName());
    return kSettingsFailed;
}

uint32_t ProductMain::CopySharedFiles(std::vector<std::u16string>& failures) {
    LogProductMessage(25536);
    const std::u16string files = FilesFolder();
    const std::u16string root = util::GetCurrentAppDir();
    const size_t before = failures.size();
    for (const char16_t* file : {u"xjvprod.dll", u"ulmfrm.dll", u"ulmres.dll", u"license.txt"}) {
        util::CopyFileToDirectory(root, files, file, std::nullopt, &failures);
    }
    if (util::IsWin9x()) {
        std::vector<std::u16string> unicows;
        if (!util::CopyFileToDirectory(root, files, u"unicows.dll", std::nullopt, &unicows) &&
            !util::FileExists(util::AppendPath(files, u"unicows.dll").value_or(u""))) {
            failures.insert(failures.end(), unicows.begin(), unicows.end());
        }
    }
    const std::u16string programs = util::AppendPath(root, u"sc").value_or(u"");
    for (const std::u16string_view file : kSuiteProgramFiles) {
        util::CopyFileToDirectory(programs, files, file, std::nullopt, &failures);
    }
    util::CopyFileToDirectory(root, files, util::GetCurrentAppModuleName(),
                              std::u16string_view(u"xjuninst.exe"), &failures);
    return failures.size() != before ? kCopyFailed : 0;
}

uint32_t ProductMain::PrepareUninstall() {
    if (!suite_active()) {
        return 0;
    }
    ReportProductMessage(25540, GetDisplayName());
    ShowProgress(24001);
    KeepFoldersForCleanup();
    CloseRunningPrograms();
    return 0;
}

uint32_t ProductMain::Uninstall() {
    if (!suite_active()) {
        return 0;
    }
    ShowProgress(24001);
    RemoveLeftovers();
    return 0;
}

uint32_t ProductMain::RemoveLeftovers() {
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    const std::u16string files = FilesFolder();
    if (!files.empty()) {
        for (const std::u16string_view file : kSuiteProgramFiles) {
            util::DeleteFileNowOrAtReboot(util::AppendPath(files, file).value_or(u""));
        }
        for (const char16_t* file :
             {u"license.txt", u"xjvprod.dll", u"ulmfrm.dll", u"ulmres.dll", u"unicows.dll"}) {
            util::DeleteFileNowOrAtReboot(util::AppendPath(files, file).value_or(u""));
        }
    }
    return ProductBase<SuiteProduct>::RemoveLeftovers();
}

uint32_t ProductMain::RemoveRegistrySettings() {
    if (!suite_active()) {
        return 0;
    }
    LogProductMessage(25533);
    util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, u"TromboDT");
    util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kRunOnceKey, u"Tromb_TrustList");
    util::DeleteRegistryKeyTree(HKEY_LOCAL_MACHINE, kScheduleTrayKey);
    for (const char16_t* value : {u"Generation", u"Group", u"Path", u"Version"}) {
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, kSuiteKey, value);
    }
    util::DeleteEmptyRegistryKeys(HKEY_LOCAL_MACHINE, kSuiteKey, true);
    return 0;
}

uint32_t ProductMain::CloseRunningPrograms() {
    std::u16string files;
    uint32_t flag = 0;
    GetInstalledFilesPath(files, flag);
    if (!files.empty()) {
        for (const char16_t* program : {u"trombo.exe", u"trombodt.exe"}) {
            if (const auto command =
                    util::BuildCommandLine(files, program, u"-k", util::kMaxPath * 2)) {
                RunAndWait(*command);
            }
        }
    }
    util::SleepMilliseconds(1000);
    constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 2> kPrograms = {
        {{u"trombo", u"trombo.exe"}, {u"trombodt", u"trombodt.exe"}}};
    const auto running = [&](std::u16string_view name) { return util::FindProcessId(name) != 0; };
    for (int poll = 0; poll < kStillRunningPolls; ++poll) {
        if (!running(kPrograms[0].first) && !running(kPrograms[1].first)) {
            return 0;
        }
        util::SleepMilliseconds(kStillRunningPollMs);
    }
    uint32_t result = 0;
    for (const auto& [name, file] : kPrograms) {
        if (running(name)) {
            ReportProductMessage(25526, file, 3, 3, kStillRunning);
            result = kStillRunning;
        }
    }
    return result;
}

}  // namespace olvex::setup

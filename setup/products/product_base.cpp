#include "setup/products/product_base.h"

#include <array>

#include "win/unique.h"
#include "setup/controller/setup_operation.h"
#include "setup/controller/win/progress_window.h"
#include "setup/controller/win/setup_dialogs.h"
#include "setup/core/path_text.h"
#include "setup/core/program_group.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/trust_list.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kVersionMismatch = 9015;
constexpr uint32_t kCompetitorStays = 9022;
constexpr uint32_t kCannotStart = 9026;
constexpr uint32_t kNoFilesFolder = 9029;
constexpr uint32_t kNoUninstallCommand = 9030;
constexpr uint32_t kStillInstalledAfterUninstall = 9039;
constexpr uint32_t kUninstallEntryFailed = 9031;
constexpr uint32_t kUninstallStringFailed = 9032;
constexpr uint32_t kNoStartMenuFolder = 9033;
constexpr uint32_t kDestinationFailed = 9043;
constexpr DWORD kTestValue = 3121;
constexpr size_t kNameChars = 512;
constexpr size_t kCommandChars = 520;
constexpr DWORD kCleanupValueBytes = 1040;
constexpr char16_t kProductDll[] = u"xjvprod.dll";

std::u16string UninstallEntryKey(std::u16string_view name) {
    return std::u16string(kUninstallKey) + u"\\" + std::u16string(name);
}

std::u16string RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT)
        return u"HKEY_CLASSES_ROOT\\";
    if (root == HKEY_CURRENT_USER)
        return u"HKEY_CURRENT_USER\\";
    if (root == HKEY_LOCAL_MACHINE)
        return u"HKEY_LOCAL_MACHINE\\";
    if (root == HKEY_USERS)
        return u"HKEY_USERS\\";
    if (root == HKEY_CURRENT_CONFIG)
        return u"HKEY_CURRENT_CONFIG\\";
    if (root == HKEY_DYN_DATA)
        return u"HKEY_DYN_DATA\\";
    return u".\\";
}

bool ContainsNoCase(std::u16string_view text, std::u16string_view part) {
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (EqualsNoCase(text.substr(i, part.size()), part)) {
            return true;
        }
    }
    return false;
}

bool IsVersionZeroText(std::u16string_view version) {
    return version.empty() || version == u"0";
}

// The text of a RunOnce command up to its switches, without the quotes and
// blanks around the program's path.
std::u16string CommandProgram(std::u16string text) {
    const size_t slash = text.find(u'/');
    if (slash != std::u16string::npos) {
        text.resize(slash);
    }
    for (bool changed = true; changed;) {
        const size_t before = text.size();
        util::TrimLeadingSpaces(text);
        util::TrimTrailingSpaces(text);
        util::TrimLeadingChar(text, u'"');
        util::TrimTrailingChar(text, u'"');
        changed = text.size() != before;
    }
    return text;
}

}  // namespace

std::u16string ReadMachineText(std::u16string_view key, std::u16string_view value,
                               DWORD max_bytes) {
    return util::ReadRegistryString(HKEY_LOCAL_MACHINE, key, value, max_bytes).value_or(u"");
}

uint32_t ReadMachineNumber(std::u16string_view key, std::u16string_view value) {
    util::RegistryData data;
    if (util::ReadRegistryValue(HKEY_LOCAL_MACHINE, key, value, data) != ERROR_SUCCESS ||
        data.type != REG_DWORD || data.bytes.size() < 4) {
        return 0;
    }
    return data.bytes[0] | (data.bytes[1] << 8) | (data.bytes[2] << 16) |
           (uint32_t{data.bytes[3]} << 24);
}

bool WriteMachineText(std::u16string_view key, std::u16string_view value,
                      std::u16string_view text) {
    return util::WriteRegistryValue(HKEY_LOCAL_MACHINE, key, value, text, REG_SZ) == ERROR_SUCCESS;
}

bool WriteMachineNumber(std::u16string_view key, std::u16string_view value, uint32_t number) {
    return util::WriteRegistryValue(HKEY_LOCAL_MACHINE, key, value, DecimalText(number),
                                    REG_DWORD) == ERROR_SUCCESS;
}

void ReportProductMessage(uint32_t id, std::optional<std::u16string_view> argument, int log_kind,
                          int display_kind, uint32_t code) {
    MessageEntry entry;
    entry.id = id;
    if (argument) {
        entry.argument = std::u16string(*argument);
    }
    const std::array<MessageEntry, 1> entries{entry};
    ReportMessage(SetupLogger::Instance(), log_kind, display_kind, code, entries);
}

void LogProductMessage(uint32_t id, std::optional<std::u16string_view> argument) {
    ReportProductMessage(id, argument, 3, 0);
}

int32_t RunningMode() {
    const SetupOperation* operation = GetCurrentOperation();
    return operation ? operation->mode() : kModeInstall;
}

std::u16string JoinNames(const std::vector<std::u16string>& names) {
    std::u16string text;
    for (const auto& name : names) {
        if (!text.empty()) {
            text += u", ";
        }
        text += name;
    }
    return text;
}

template <class Base>
ProductBase<Base>::ProductBase(const ProductTables& tables) : tables_(tables) {
    if (!tables_.uninstall_names.empty()) {
        own_uninstall_key_ = UninstallEntryKey(tables_.uninstall_names[0]);
        suite_uninstall_key_ = kIsSuite || tables_.uninstall_names.size() < 2
                                   ? own_uninstall_key_
                                   : UninstallEntryKey(tables_.uninstall_names[1]);
    }
    settings_key_ = tables_.settings_key;
}

template <class Base>
bool ProductBase<Base>::IsProcessSuite() const {
    return static_cast<const Product*>(this) == &Products().Suite();
}

template <class Base>
bool ProductBase<Base>::Alone() {
    if (kIsSuite) {
        return true;
    }
    SuiteProduct& suite = Products().Suite();
    return !suite.suite_active() && !suite.IsInstalled(false);
}

template <class Base>
std::u16string ProductBase<Base>::FilesFolder() {
    std::u16string folder;
    uint32_t flag = 0;
    if (!this->GetInstalledFilesPath(folder, flag)) {
        folder.clear();
    }
    return folder;
}

template <class Base>
std::u16string ProductBase<Base>::OrRecorded(std::u16string value,
                                             std::u16string_view recorded_name) {
    if (value.empty() && RunningMode() != kModeInstall) {
        value = ReadMachineText(settings_key_, recorded_name);
    }
    return value;
}

template <class Base>
uint32_t ProductBase<Base>::PrepareUninstall() {
    if (!this->selected()) {
        return 0;
    }
    ReportProductMessage(25540, GetDisplayName());
    ShowProgress(24001);
    KeepFoldersForCleanup();
    return 0;
}

template <class Base>
uint32_t ProductBase<Base>::InstalledProgramCommand(std::u16string_view program,
                                                    std::u16string_view switches,
                                                    std::u16string& command) {
    command.clear();
    const std::u16string files = FilesFolder();
    if (files.empty()) {
        return kNoFilesFolder;
    }
    const auto line = util::BuildCommandLine(files, program, switches, util::kMaxPath * 2);
    if (!line) {
        return kNoUninstallCommand;
    }
    command = *line;
    return 0;
}

template <class Base>
bool ProductBase<Base>::IsInstalled(bool all) {
    const size_t count =
        all ? tables_.uninstall_names.size() : std::min<size_t>(2, tables_.uninstall_names.size());
    for (size_t i = 0; i < count; ++i) {
        const std::u16string key = UninstallEntryKey(tables_.uninstall_names[i]);
        ReadMachineText(key, u"DisplayName");
        std::u16string command = ReadMachineText(key, u"UninstallString");
        if (!command.empty()) {
            uninstall_string_ = std::move(command);
            return true;
        }
    }
    return false;
}

template <class Base>
bool ProductBase<Base>::GetSetupFilePath(std::u16string& path,
                                         std::optional<std::u16string_view> file) {
    const auto tag =
        tables_.tag.empty() ? std::nullopt : std::optional<std::u16string_view>(tables_.tag);
    const auto found = util::GetSetupFilePath(file, tag);
    path = found.value_or(u"");
    return found.has_value();
}

template <class Base>
std::u16string ProductBase<Base>::GetInstallationVersion() {
    std::u16string path;
    if (!GetSetupFilePath(path, kProductDll)) {
        return {};
    }
    return util::GetVersionInfoData(path, u"ProductVersion").value_or(u"");
}

template <class Base>
uint32_t ProductBase<Base>::CheckVersion() {
    if (!this->available()) {
        return 0;
    }
    LogProductMessage(25530);
    std::u16string installed;
    this->GetInstalledVersion(installed);
    const std::u16string installation = GetInstallationVersion();
    if (util::CompareVersions(installation, installed) >= 0) {
        return 0;
    }
    if constexpr (kIsSuite) {
        this->SetInstallSuiteFiles(false);
        return 0;
    } else {
        const std::array<MessageEntry, 3> entries{MessageEntry{25019, GetDisplayName(), 0},
                                                  MessageEntry{25517, installation, 0},
                                                  MessageEntry{25518, installed, 0}};
        ReportMessage(SetupLogger::Instance(), 3, 3, kVersionMismatch, entries);
        return kVersionMismatch;
    }
}

template <class Base>
uint32_t ProductBase<Base>::RemoveFiles() {
    IsInstalled(true);
    return 0;
}

template <class Base>
uint32_t ProductBase<Base>::RemoveLeftovers() {
    IsInstalled(true);
    return 0;
}

template <class Base>
bool ProductBase<Base>::IsAvailable() {
    if (!this->available() && RunningMode() != kModeUninstall) {
        this->SetAvailable(this->product_code() == GetProductCode());
    }
    return this->available();
}

template <class Base>
uint32_t ProductBase<Base>::GetProductCode() {
    return util::ParseDecimal(LoadProductString(22237));
}

template <class Base>
std::u16string ProductBase<Base>::GetDisplayName() {
    if (display_name_.empty()) {
        display_name_ = LoadProductString(22006);
    }
    return display_name_;
}

template <class Base>
std::u16string ProductBase<Base>::LoadProductString(uint32_t id) {
    std::u16string path;
    if (RunningMode() == kModeInstall) {
        if (!GetSetupFilePath(path, kProductDll)) {
            return {};
        }
    } else {
        const auto found = util::AppendPath(FilesFolder(), kProductDll);
        if (!found || FilesFolder().empty()) {
            return {};
        }
        path = *found;
    }
    const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS);
    const win::UniqueModule library(LoadLibraryExW(W(path), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    SetErrorMode(previous);
    if (!library.get()) {
        return {};
    }
    return util::LoadResourceString(library.get(), id, kNameChars);
}

template <class Base>
uint32_t ProductBase<Base>::CheckRequirements(std::u16string& text) {
    text.clear();
    if (!this->available()) {
        return 0;
    }
    ReportProductMessage(25508, GetDisplayName());
    uint32_t result = 0;
    const auto note = [&](uint32_t code, const std::u16string& step_text) {
        if (code != 0 && result == 0) {
            result = code;
            text = step_text;
        }
    };
    std::u16string step_text;
    if (RunningMode() == kModeInstall) {
        note(this->CheckOperatingSystem(step_text), step_text);
        note(this->CheckPrerequisites(step_text), step_text);
        note(this->CheckVersion(), u"");
        if (result == 0) {
            note(RemoveCompetingProducts(step_text), step_text);
        }
    }
    note(CheckPermissions(step_text), step_text);
    note(this->CheckUserSessions(step_text), step_text);
    return result;
}

template <class Base>
uint32_t ProductBase<Base>::CheckPermissions(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if ((os && os->platform != 2) || !this->available()) {
        return 0;
    }
    LogProductMessage(25510);
    std::u16string registry_text;
    const uint32_t registry = this->CheckRegistryPermissions(registry_text);
    LogProductMessage(25511);
    std::u16string folder_text;
    const uint32_t folders = this->CheckDirectoryPermissions(folder_text);
    if (registry != 0) {
        text = registry_text;
        return registry;
    }
    text = folder_text;
    return folders;
}

template <class Base>
uint32_t ProductBase<Base>::RemoveCompetingProducts(std::u16string& text) {
    text.clear();
    if (!this->available() || !SetupOptions::Instance().product_check) {
        return 0;
    }
    LogProductMessage(25529);
    competitor_cursor_ = 0;
    uint32_t result = 0;
    std::u16string name;
    std::u16string command;
    // Whether the record's entry names a competitor that is there.
    const auto present = [&](const CompetitorRecord& record, bool test_name) {
        const std::u16string key = UninstallEntryKey(record.entry);
        name = ReadMachineText(key, u"DisplayName", kNameChars * 2);
        command = ReadMachineText(key, u"UninstallString", kCommandChars * 2);
        if (!command.empty()) {
            if (!record.accept || record.accept(test_name ? name : std::u16string_view())) {
                return true;
            }
            name.clear();
            command.clear();
            return false;
        }
        return !name.empty();
    };
    while (competitor_cursor_ < tables_.competitors.size()) {
        const CompetitorRecord& record = tables_.competitors[competitor_cursor_++];
        if (!present(record, true)) {
            continue;
        }
        const std::u16string found_name = name;
        ReportProductMessage(25022, found_name, 3, 0);
        uint32_t code = 0;
        if (SetupLogger::Instance().display_level() == 0) {
            code = result == 0 ? kResultCompetitorKept : 0;
        } else if (result == 0) {
            const SetupOperation* operation = GetCurrentOperation();
            code = AskRemoveCompetingProduct(
                static_cast<HWND>(operation ? operation->window() : nullptr), found_name,
                GetDisplayName());
            if (code == 0) {
                LogProductMessage(25513, found_name);
                LogProductMessage(25514, command);
                uint32_t exit_code = 0;
                RunProcess(command, true, &exit_code);
                if (!record.process.empty()) {
                    util::WaitForProcess(record.process, 3000);
                }
                if (present(record, false)) {
                    ReportProductMessage(25023, found_name, 1, 1, kCompetitorStays);
                    code = kCompetitorStays;
                }
            }
        }
        if (code != 0 && result == 0) {
            result = code;
            if (text.empty()) {
                text = found_name;
            }
        }
    }
    return result;
}

template <class Base>
uint32_t ProductBase<Base>::RunProcess(std::u16string_view command, bool wait,
                                       uint32_t* exit_code) {
    if (!this->selected()) {
        return 0;
    }
    SetupLogger::Instance().Info(0, command);
    std::u16string line(command);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, W(line), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return kCannotStart;
    }
    CloseHandle(process.hThread);
    if (wait) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        if (exit_code) {
            *exit_code = code;
        }
        // An installer that finished but needs Windows restarted says so by
        // its exit code; the run asks the user at its end.
        if (code == ERROR_SUCCESS_REBOOT_REQUIRED || code == ERROR_SUCCESS_REBOOT_INITIATED) {
            if (SetupOperation* operation = GetCurrentOperation()) {
                operation->RequestRestart();
            }
        }
    }
    CloseHandle(process.hProcess);
    return 0;
}

template <class Base>
bool ProductBase<Base>::SetupDestination() {
    const SetupOptions& options = SetupOptions::Instance();
    if constexpr (kIsSuite) {
        destination_ = options.GetPath();
    } else {
        std::u16string installed;
        uint32_t flag = 0;
        if (IsInstalled(true) && this->GetInstalledPath(installed, flag) && !installed.empty()) {
            destination_ = installed;
        } else {
            destination_ = util::AppendPath(options.GetPath(), GetDisplayName()).value_or(u"");
        }
    }
    LogProductMessage(25527, destination_);
    return !destination_.empty();
}

template <class Base>
bool ProductBase<Base>::SetupProgramGroup() {
    const SetupOptions& options = SetupOptions::Instance();
    if constexpr (kIsSuite) {
        program_group_ = options.GetGroup();
    } else {
        program_group_ = util::AppendPath(options.GetGroup(), GetDisplayName()).value_or(u"");
    }
    return !program_group_.empty();
}

template <class Base>
uint32_t ProductBase<Base>::CreateDestinationFolder(std::u16string& text) {
    text.clear();
    if (!this->selected() && !kIsSuite) {
        return 0;
    }
    const DWORD error = util::CreateDirectoryPath(destination_);
    if (!destination_.empty() && (error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS)) {
        return 0;
    }
    text = destination_;
    return kDestinationFailed;
}

template <class Base>
uint32_t ProductBase<Base>::CreateStartMenuFolder(std::u16string& folder) {
    folder.clear();
    if (!this->selected()) {
        return 0;
    }
    const auto made = [&](bool common) {
        const auto path = util::AppendPath(util::GetStartProgramsDir(common), program_group_);
        if (!path || program_group_.empty()) {
            return false;
        }
        const DWORD error = util::CreateDirectoryPath(*path);
        if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
            return false;
        }
        folder = *path;
        return true;
    };
    if (made(true) || (util::IsWinNT() && made(false))) {
        return 0;
    }
    return kNoStartMenuFolder;
}

template <class Base>
uint32_t ProductBase<Base>::RemoveShortcutFolders(bool common) {
    if (!this->selected()) {
        return 0;
    }
    if (RunningMode() != kModeInstall) {
        LogProductMessage(25542);
    }
    const std::u16string programs = util::GetStartProgramsDir(common);
    for (const std::u16string_view folder : tables_.shortcut_folders) {
        RemoveGroupShortcuts(programs, folder, true);
    }
    std::u16string installed;
    this->GetInstalledGroup(installed);
    for (const std::u16string& group : {program_group_, installed}) {
        RemoveGroupShortcuts(programs, group, false);
    }
    return 0;
}

template <class Base>
std::vector<std::u16string> ProductBase<Base>::ShortcutFileNames() {
    const std::u16string name = GetDisplayName();
    // Without the product's DLL its names are not known.
    if (name.empty()) {
        return {};
    }
    return {
        name + u".lnk",
        SubstituteArguments(SetupLogger::Instance().host().LoadText(24504, 256), {name}) + u".lnk"};
}

template <class Base>
void ProductBase<Base>::RemoveGroupShortcuts(const std::u16string& programs,
                                             std::u16string_view group, bool earlier_edition) {
    // An empty name would be the Programs folder itself; "..", a drive or a
    // root would be any folder of the machine.
    if (programs.empty() || !IsAcceptableProgramGroup(group)) {
        if (!group.empty()) {
            LogProductMessage(msg::kProgramGroupRefused, group);
        }
        return;
    }
    const auto folder = util::AppendPath(programs, group);
    if (!folder) {
        return;
    }
    const auto remove = [](const std::u16string& path) {
        SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(W(path));
    };
    if (earlier_edition) {
        // Their shortcuts' names are not known: every shortcut file goes,
        // anything else stays.
        WIN32_FIND_DATAW found{};
        const std::u16string pattern = *folder + u"\\*";
        const HANDLE search = FindFirstFileW(W(pattern), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::u16string file = U(found.cFileName);
                const size_t dot = file.rfind(u'.');
                const std::u16string_view extension = dot == std::u16string::npos
                                                          ? std::u16string_view{}
                                                          : std::u16string_view(file).substr(dot);
                const bool shortcut = EqualsNoCase(extension, u".lnk") ||
                                      EqualsNoCase(extension, u".url") ||
                                      EqualsNoCase(extension, u".pif");
                if (shortcut && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    remove(*folder + u"\\" + file);
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    } else {
        for (const std::u16string& name : this->ShortcutFileNames()) {
            if (const auto path = util::AppendPath(*folder, name)) {
                remove(*path);
            }
        }
    }
    // The group's folders were made below the Programs folder, which stays.
    std::u16string top = programs;
    util::TrimTrailingBackslashes(top);
    std::u16string current = *folder;
    while (current.size() > top.size() + 1 && util::RemoveEmptyDirectories(current, false)) {
        current.resize(current.rfind(u'\\'));
    }
}

template <class Base>
uint32_t ProductBase<Base>::WriteUninstallEntry() {
    if (!this->selected()) {
        return 0;
    }
    LogProductMessage(25534);
    const SetupOptions& options = SetupOptions::Instance();
    const bool alone = Alone();
    const std::u16string& key = alone ? own_uninstall_key_ : suite_uninstall_key_;
    const std::u16string name = alone ? u"XJ " + GetDisplayName() : GetDisplayName();
    bool entry_failed = false;
    if (options.uninstall_info) {
        entry_failed = !util::CreateRegistryKeyPath(HKEY_LOCAL_MACHINE, key) ||
                       !WriteMachineText(key, u"DisplayName", name);
        WriteMachineNumber(key, u"NoModify", 1);
        WriteMachineNumber(key, u"NoRepair", 1);
        if (const std::u16string publisher = LoadProductString(20145); !publisher.empty()) {
            WriteMachineText(key, u"Publisher", publisher);
        }
        if (const std::u16string about = LoadProductString(22003); !about.empty()) {
            WriteMachineText(key, u"URLInfoAbout", about);
        }
        std::u16string version;
        if (this->GetInstalledVersion(version) && !IsVersionZeroText(version)) {
            WriteMachineText(key, u"DisplayVersion", version);
        }
        // The suite's programs live in the suite's folder, never in a
        // member's own.
        std::u16string suite_files;
        uint32_t generation = 0;
        if (Products().Suite().GetInstalledFilesPath(suite_files, generation)) {
            if (const auto icon = util::AppendPath(suite_files, u"trombo.exe")) {
                WriteMachineText(key, u"DisplayIcon", *icon + u",-0");
            }
        }
    }
    const std::u16string own_command = ReadMachineText(own_uninstall_key_, u"UninstallString");
    if (!own_command.empty() && !ContainsNoCase(own_command, u"xjuninst.exe")) {
        WriteMachineText(key, u"UninstallProduct", own_command);
    }
    uint32_t command_result = 0;
    const std::u16string files = FilesFolder();
    if (files.empty()) {
        command_result = kNoFilesFolder;
    } else if (const auto command =
                   util::BuildCommandLine(files, u"xjuninst.exe", u"/u", kCommandChars)) {
        if (options.uninstall_info && !WriteMachineText(key, u"UninstallString", *command)) {
            command_result = kUninstallStringFailed;
        }
    } else {
        command_result = kNoUninstallCommand;
    }
    if (!kIsSuite) {
        const std::u16string& other = alone ? suite_uninstall_key_ : own_uninstall_key_;
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, other, u"DisplayName");
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, other, u"UninstallString");
    }
    RemoveUninstallEntries();
    util::CreateRegistryKeyPath(HKEY_LOCAL_MACHINE, settings_key_);
    std::u16string value;
    uint32_t flag = 0;
    if (this->GetInstalledPath(value, flag)) {
        WriteMachineText(settings_key_, u"Path", value);
    }
    if (this->GetInstalledFilesPath(value, flag)) {
        WriteMachineText(settings_key_, u"Files", value);
    }
    if (this->GetInstalledGroup(value)) {
        WriteMachineText(settings_key_, u"Group", value);
    }
    if (this->GetInstalledVersion(value) && !IsVersionZeroText(value)) {
        WriteMachineText(settings_key_, u"Version", value);
    }
    return entry_failed ? kUninstallEntryFailed : command_result;
}

template <class Base>
uint32_t ProductBase<Base>::RemoveUninstallEntries() {
    if constexpr (kIsSuite) {
        if (!this->suite_active()) {
            return 0;
        }
    }
    LogProductMessage(25543);
    const size_t first = RunningMode() == kModeInstall ? 2 : 0;
    for (size_t i = first; i < tables_.uninstall_names.size(); ++i) {
        std::u16string name(tables_.uninstall_names[i]);
        util::TrimLeadingChar(name, u'\\');
        util::TrimTrailingBackslashes(name);
        // An empty name would be the whole Uninstall key.
        if (name.empty()) {
            continue;
        }
        const std::u16string key = UninstallEntryKey(name);
        if (kIsSuite && util::GetRegistrySubkeyCount(HKEY_LOCAL_MACHINE, key) != 0) {
            continue;
        }
        util::DeleteRegistryKeyTree(HKEY_LOCAL_MACHINE, key);
    }
    return 0;
}

template <class Base>
uint32_t ProductBase<Base>::CopyProductFiles(std::vector<std::u16string>& failures) {
    if (!this->selected() || kIsSuite) {
        return 0;
    }
    LogProductMessage(25535);
    const std::u16string files = FilesFolder();
    std::u16string product_folder;
    GetSetupFilePath(product_folder, std::nullopt);
    const std::u16string root = util::GetCurrentAppDir();
    const size_t before = failures.size();
    util::CopyFileToDirectory(product_folder, files, kProductDll, std::nullopt, &failures);
    for (const char16_t* file : {u"ulmfrm.dll", u"ulmres.dll", u"license.txt"}) {
        util::CopyFileToDirectory(root, files, file, std::nullopt, &failures);
    }
    util::CopyFileToDirectory(root, files, util::GetCurrentAppModuleName(),
                              std::u16string_view(u"xjuninst.exe"), &failures);
    return failures.size() != before ? 9028 : 0;
}

template <class Base>
uint32_t ProductBase<Base>::DeleteSharedFiles() {
    const std::u16string files = FilesFolder();
    if (files.empty()) {
        return 0;
    }
    for (const char16_t* file :
         {u"frayle.dll", u"xjvprod.dll", u"xjvres.dll", u"ulmfrm.dll", u"ulmres.dll",
          u"license.txt", u"unicows.dll", u"trustadd.exe", u"xjuninst.exe"}) {
        if (const auto path = util::AppendPath(files, file)) {
            util::DeleteFileNowOrAtReboot(*path);
        }
    }
    return 0;
}

template <class Base>
void ProductBase<Base>::KeepFoldersForCleanup() {
    util::CreateRegistryKeyPath(HKEY_LOCAL_MACHINE, settings_key_);
    std::u16string value;
    uint32_t flag = 0;
    if (ReadMachineText(settings_key_, u"Path").empty() && this->GetInstalledPath(value, flag)) {
        WriteMachineText(settings_key_, u"Path", value);
    }
    if (ReadMachineText(settings_key_, u"Files").empty() &&
        this->GetInstalledFilesPath(value, flag)) {
        WriteMachineText(settings_key_, u"Files", value);
    }
    if (ReadMachineText(settings_key_, u"Group").empty() && this->GetInstalledGroup(value)) {
        WriteMachineText(settings_key_, u"Group", value);
    }
}

template <class Base>
uint32_t ProductBase<Base>::FinishUninstall() {
    if (!this->selected()) {
        return 0;
    }
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    this->RemoveRegistrySettings();
    RemoveUninstallEntries();

    const std::u16string pending =
        CommandProgram(ReadMachineText(kRunOnceKey, u"Tromb_cleanup", kCleanupValueBytes));
    if (pending.empty() || !util::FileExists(pending)) {
        const std::u16string temp = util::GetTempDir();
        // With all 999 names taken no copy is made; the rest still runs.
        if (const auto copy = util::FindUnusedFileName(temp, u"xjcu_%03d.exe", 1, 999)) {
            if (CopyFileW(W(util::GetCurrentAppPath()), W(*copy), FALSE)) {
                if (util::IsWin9x()) {
                    util::CopyFileToDirectory(util::GetCurrentAppDir(), temp, u"unicows.dll",
                                              std::nullopt, nullptr);
                }
                WriteMachineText(kRunOnceKey, u"Tromb_cleanup", u"\"" + *copy + u"\" /cleanup");
            }
        }
    }
    this->RemoveFiles();
    DeleteSharedFiles();
    return 0;
}

template <class Base>
void ProductBase<Base>::RemoveRecordedFolder(std::u16string_view folder, bool walk_up) {
    if (folder.empty()) {
        return;
    }
    if constexpr (kIsSuite) {
        // The suite's folder is the user's choice: only what the suite put
        // there goes, and the folder when nothing else is left.
        for (const auto list : {std::span<const std::u16string_view>(kSuiteProgramFiles),
                                std::span<const std::u16string_view>(kSuiteSharedFiles)}) {
            for (const std::u16string_view file : list) {
                if (const auto path = util::AppendPath(folder, file)) {
                    util::DeleteFileNowOrAtReboot(*path);
                }
            }
        }
        util::RemoveEmptyDirectories(folder, false);
    } else {
        util::DeleteDirectoryTree(folder, true, nullptr);
        util::RemoveEmptyDirectories(folder, walk_up);
    }
}

template <class Base>
uint32_t ProductBase<Base>::Cleanup() {
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    this->RemoveRegistrySettings();
    RemoveUninstallEntries();
    LogProductMessage(25544);
    RemoveRecordedFolder(ReadMachineText(settings_key_, u"Files"), true);
    RemoveRecordedFolder(ReadMachineText(settings_key_, u"Path"), true);
    const std::u16string group = ReadMachineText(settings_key_, u"Group");
    for (const bool common : {false, true}) {
        RemoveGroupShortcuts(util::GetStartProgramsDir(common), group, false);
    }
    for (const char16_t* value : {u"Files", u"Path", u"Group", u"Version"}) {
        util::DeleteRegistryValue(HKEY_LOCAL_MACHINE, settings_key_, value);
    }
    util::DeleteEmptyRegistryKeys(HKEY_LOCAL_MACHINE, settings_key_, true);
    return 0;
}

template <class Base>
uint32_t ProductBase<Base>::AddToTrustList(bool replace, bool retry) {
    if ((!HasInstalledFiles() && !IsProcessSuite()) || !SetupOptions::Instance().update_firewall) {
        return 0;
    }
    LogProductMessage(25538);
    std::u16string folder = FilesFolder();
    if (folder.empty() || !util::EnsureTrailingChar(folder, u'\\')) {
        return kResultTrustList;
    }
    uint32_t result = 0;
    for (const TrustRow& row : tables_.trust_rows) {
        if (row.file.empty() || folder.size() + row.file.size() + 1 > util::kMaxPath) {
            result = result != 0 ? result : kResultTrustList;
            continue;
        }
        const std::u16string path = folder + std::u16string(row.file);
        const uint32_t code = AddProgramToTrustList(path, replace, 1, retry, row.permissions);
        SetupLogger::Instance().InfoValue(
            msg::kTrustListEntry, code,
            SubstituteArguments(SetupLogger::Instance().host().LoadText(msg::kTrustListEntry, 512),
                                {path}));
    }
    return result;
}

template <class Base>
void ProductBase<Base>::TestRegistryWrite(HKEY root, std::u16string_view key, bool delete_created,
                                          std::u16string* created, std::u16string& first_failure) {
    const std::u16string path(key);
    HKEY handle = nullptr;
    DWORD disposition = 0;
    LONG error = RegCreateKeyExW(root, W(path), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                                 nullptr, &handle, &disposition);
    if (error == ERROR_SUCCESS) {
        const DWORD value = kTestValue;
        error = RegSetValueExW(handle, L"Tromb_TestValue", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegDeleteValueW(handle, L"Tromb_TestValue");
        RegCloseKey(handle);
        if (disposition == REG_CREATED_NEW_KEY) {
            if (delete_created) {
                util::DeleteRegistryKeyTree(root, path);
            } else if (created && created->empty()) {
                *created = path;
            }
        }
    }
    if (error != ERROR_SUCCESS) {
        const std::u16string text = RootName(root) + path;
        SetupLogger::Instance().InfoValue(
            25015, static_cast<uint32_t>(error),
            SubstituteArguments(SetupLogger::Instance().host().LoadText(25015, 512), {text}));
        if (first_failure.empty()) {
            first_failure = text;
        }
    }
}

template <class Base>
void ProductBase<Base>::TestFolderWrite(std::u16string_view folder, std::u16string& failure) {
    const auto path = util::AppendPath(folder, u"Tromb_TestFile");
    if (!path) {
        if (failure.empty()) {
            failure = folder;
        }
        return;
    }
    SetFileAttributesW(W(*path), FILE_ATTRIBUTE_NORMAL);
    const HANDLE file = CreateFileW(W(*path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        SetupLogger::Instance().InfoValue(
            msg::kFolderNotWritable, error,
            SubstituteArguments(
                SetupLogger::Instance().host().LoadText(msg::kFolderNotWritable, 512), {folder}));
        if (failure.empty()) {
            failure = folder;
        }
        return;
    }
    CloseHandle(file);
    DeleteFileW(W(*path));
}

template <class Base>
void ProductBase<Base>::TestRegistryGroup(const std::vector<std::u16string>& keys,
                                          bool remember_first, std::u16string& first_failure) {
    std::u16string created;
    bool first = true;
    for (const std::u16string& key : keys) {
        TestRegistryWrite(HKEY_LOCAL_MACHINE, key, !(remember_first && first), &created,
                          first_failure);
        first = false;
    }
    if (!created.empty()) {
        util::DeleteRegistryKeyTree(HKEY_LOCAL_MACHINE, created);
    }
}

template <class Base>
void ProductBase<Base>::StepFailures::Note(uint32_t code, uint32_t message,
                                           std::optional<std::u16string_view> argument) {
    if (code == 0) {
        return;
    }
    const std::u16string text = argument ? std::u16string(*argument) : name_;
    if (result_ == 0) {
        result_ = code;
        const std::array<MessageEntry, 2> entries{MessageEntry{message, text, 2},
                                                  MessageEntry{25032, name_, 0}};
        ReportMessage(SetupLogger::Instance(), 1, 1, code, entries);
    } else {
        ReportProductMessage(message, text, 3, 0, code);
    }
}

template <class Base>
uint32_t ProductBase<Base>::TestSystemFolders(std::u16string& text) {
    text.clear();
    const auto os = util::GetOsVersionInfo();
    if (!this->available() || (os && os->platform != 2)) {
        return 0;
    }
    TestFolderWrite(util::GetWinDir(), text);
    TestFolderWrite(util::GetWinSysDir(), text);
    return text.empty() ? 0 : 9012;
}

template <class Base>
uint32_t ProductBase<Base>::WriteProgramGroupValue(std::u16string_view key) {
    if (!this->selected()) {
        return 0;
    }
    LogProductMessage(25533);
    if (!program_group_.empty() &&
        util::WriteRegistryValue(HKEY_LOCAL_MACHINE, key, u"ProgramGroup", program_group_,
                                 REG_SZ) != ERROR_SUCCESS) {
        return 9040;
    }
    return 0;
}

template <class Base>
uint32_t ProductBase<Base>::OpenShortcutFolder(std::u16string& folder) {
    LogProductMessage(25537);
    const uint32_t created = CreateStartMenuFolder(folder);
    if (created != 0) {
        ReportProductMessage(25035, GetDisplayName());
    }
    return created;
}

template <class Base>
void ProductBase<Base>::CopyFrameworkFiles(const std::u16string& files,
                                           std::vector<std::u16string>& failures) {
    const std::u16string root = util::GetCurrentAppDir();
    util::CopyFileToDirectory(root, files, u"ulmfrm.dll", std::u16string_view(u"frayle.dll"),
                              &failures);
    util::CopyFileToDirectory(root, files, u"ulmres.dll", std::u16string_view(u"xjvres.dll"),
                              &failures);
}

template <class Base>
void ProductBase<Base>::FinishInstallSteps(StepFailures& failures) {
    failures.Note(this->WriteRegistrySettings(), 25044);
    failures.Note(WriteUninstallEntry(), 25034);
    std::vector<std::u16string> copy_failures;
    const uint32_t product_files = CopyProductFiles(copy_failures);
    const uint32_t shared_files = this->CopySharedFiles(copy_failures);
    failures.Note(product_files != 0 ? product_files : shared_files, 25033,
                  JoinNames(copy_failures));
    RemoveShortcutFolders(true);
    RemoveShortcutFolders(false);
    failures.Note(this->CreateShortcuts(), 25035);
}

template <class Base>
void ProductBase<Base>::ShowProgress(uint32_t id) {
    const std::u16string text =
        SubstituteArguments(SetupLogger::Instance().host().LoadText(id, 256), {GetDisplayName()});
    ProgressWindow::Instance().Step(&text);
}

template <class Base>
void ProductBase<Base>::CopyFilesNoted(StepFailures& failures) {
    std::vector<std::u16string> copy_failures;
    const uint32_t product_files = CopyProductFiles(copy_failures);
    const uint32_t shared_files = this->CopySharedFiles(copy_failures);
    failures.Note(product_files != 0 ? product_files : shared_files, 25033,
                  JoinNames(copy_failures));
}

template <class Base>
void ProductBase<Base>::BeginInstall(std::u16string& text) {
    ReportProductMessage(25532, this->GetDisplayName());
    ShowProgress(24000);
    this->SetupProgramGroup();
    this->SetupDestination();
    this->CreateDestinationFolder(text);
}

template <class Base>
uint32_t ProductBase<Base>::ResultAfterUninstaller(uint32_t result) {
    std::u16string version;
    this->GetInstalledVersion(version);
    return result == 0 && !IsVersionZeroText(version) ? kStillInstalledAfterUninstall : result;
}

template class ProductBase<Product>;
template class ProductBase<SuiteProduct>;

}  // namespace olvex::setup

// What every product handler shares: finding an installed product through
// its uninstall entries, the version guard, the requirement checks with
// their registry and folder write tests, competing products, the
// destination folder and program group, the uninstall entry of the suite's
// uninstaller, the clean-up after a product's own uninstaller, and the
// product's programs on the firewall's trust list. A handler describes
// itself by constant tables and supplies the operations the base leaves
// open. The base serves members and the suite alike (Base is Product or
// SuiteProduct).
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "setup/controller/product.h"
#include "setup/core/trust_permissions.h"

namespace olvex::setup {

inline constexpr char16_t kUninstallKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char16_t kRunOnceKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char16_t kRunKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kSuiteKey[] = u"SOFTWARE\\Vorandel\\Kelvan Suite Personal";

// The suite's program files, copied from the setup source's "sc" folder
// and removed by this one table.
inline constexpr std::u16string_view kSuiteProgramFiles[] = {
    u"trombo.exe", u"trombo.exe.manifest", u"trombodt.exe", u"trombo.dat", u"trombores.dll"};
// What the suite puts into its folder beside its programs.
inline constexpr std::u16string_view kSuiteSharedFiles[] = {
    u"license.txt", u"xjvprod.dll",  u"ulmfrm.dll",  u"ulmres.dll",
    u"unicows.dll", u"xjuninst.exe", u"trustadd.exe"};

// Every program of the suite gets these permissions on the trust list.
inline constexpr PermissionRow kSuitePermissions = {2, 2, 3, 3, 3, 3};

// A program of the product for the firewall's trust list: a file of its
// installed files folder.
struct TrustRow {
    std::u16string_view file;
    PermissionRow permissions = kSuitePermissions;
};

// A product that must be removed before this one installs: its uninstall
// entry, its uninstaller's process (short name and file, both optional),
// and an optional test of the entry's DisplayName.
struct CompetitorRecord {
    std::u16string_view entry;
    std::u16string_view process;
    std::u16string_view program;
    bool (*accept)(std::u16string_view display_name) = nullptr;
};

struct ProductTables {
    // The product's folder in the setup source; empty for the suite (the
    // setup program's own folder).
    std::u16string_view tag;
    // Its own entry, the suite's entry for it, then earlier editions'.
    std::span<const std::u16string_view> uninstall_names;
    // Start-menu folders of earlier editions.
    std::span<const std::u16string_view> shortcut_folders;
    std::span<const TrustRow> trust_rows;
    std::span<const CompetitorRecord> competitors;
    // Its key under the suite's key.
    std::u16string_view settings_key;
};

// The setup messages of the handlers, at a log and a display kind (0
// nothing, 1 error, 2 warning, 3 information), with one argument.
void ReportProductMessage(uint32_t id, std::optional<std::u16string_view> argument = std::nullopt,
                          int log_kind = 3, int display_kind = 3, uint32_t code = 0);
// Information in the log only.
void LogProductMessage(uint32_t id, std::optional<std::u16string_view> argument = std::nullopt);
// The running operation's mode; install when none runs.
int32_t RunningMode();
// Names of failed copies as one text, apart by ", ".
std::u16string JoinNames(const std::vector<std::u16string>& names);

// HKLM values the handlers read and write: a text (empty when missing), a
// number (0 when missing); writes tell whether they succeeded.
std::u16string ReadMachineText(std::u16string_view key, std::u16string_view value,
                               DWORD max_bytes = 4096);
uint32_t ReadMachineNumber(std::u16string_view key, std::u16string_view value);
bool WriteMachineText(std::u16string_view key, std::u16string_view value, std::u16string_view text);
bool WriteMachineNumber(std::u16string_view key, std::u16string_view value, uint32_t number);

template <class Base>
class ProductBase : public Base {
  public:
    explicit ProductBase(const ProductTables& tables);

    bool IsInstalled(bool all) override;
    // Reports the removal, shows its progress text and records the
    // product's folders for a later cleanup (only when selected).
    uint32_t PrepareUninstall() override;
    bool GetSetupFilePath(std::u16string& path, std::optional<std::u16string_view> file) override;
    uint32_t CheckVersion() override;
    uint32_t RemoveFiles() override;
    uint32_t RemoveLeftovers() override;
    bool IsAvailable() override;
    uint32_t GetProductCode() override;
    std::u16string GetDisplayName() override;
    std::u16string LoadProductString(uint32_t id) override;
    uint32_t CheckRequirements(std::u16string& text) override;
    uint32_t FinishUninstall() override;
    uint32_t Cleanup() override;

    // "ProductVersion" of the product DLL in the setup source: the version
    // being installed.
    std::u16string GetInstallationVersion();
    uint32_t CheckPermissions(std::u16string& text);
    uint32_t RemoveCompetingProducts(std::u16string& text);
    // The command line of a program in the installed files folder: 9029
    // without that folder, 9030 when the line cannot be made.
    uint32_t InstalledProgramCommand(std::u16string_view program, std::u16string_view switches,
                                     std::u16string& command);
    // 9026 when the command cannot start; with wait, its exit code.
    uint32_t RunProcess(std::u16string_view command, bool wait, uint32_t* exit_code = nullptr);
    bool SetupDestination();
    bool SetupProgramGroup();
    uint32_t CreateDestinationFolder(std::u16string& text);
    uint32_t CreateStartMenuFolder(std::u16string& folder);
    uint32_t RemoveShortcutFolders(bool common);
    uint32_t WriteUninstallEntry();
    uint32_t RemoveUninstallEntries();
    uint32_t CopyProductFiles(std::vector<std::u16string>& failures);
    uint32_t DeleteSharedFiles();
    // 0, or 9036 when a row could not be handled; nothing with
    // /NoUpdateFirewall.
    uint32_t AddToTrustList(bool replace, bool retry) override;
    void TestRegistryWrite(HKEY root, std::u16string_view key, bool delete_created,
                           std::u16string* created, std::u16string& first_failure);
    void TestFolderWrite(std::u16string_view folder, std::u16string& failure);
    // Write tests of a group of HKLM keys: with remember_first the first key
    // the group created is deleted with its subtree after the group, every
    // other key the tests create at once.
    void TestRegistryGroup(const std::vector<std::u16string>& keys, bool remember_first,
                           std::u16string& first_failure);

    // Whether the product's files are on this machine: installed, as its
    // uninstall entries tell.
    virtual bool HasInstalledFiles() { return IsInstalled(true); }
    // The file names of the shortcuts CreateShortcuts puts into the
    // product's program group, whether or not it made each of them this
    // time: an uninstall or cleanup removes these and no other file there.
    // The base: a shortcut named with the display name and the uninstall
    // shortcut (string 24504).
    virtual std::vector<std::u16string> ShortcutFileNames();

    const std::u16string& destination() const { return destination_; }
    const std::u16string& program_group() const { return program_group_; }
    const std::u16string& own_uninstall_key() const { return own_uninstall_key_; }
    const std::u16string& suite_uninstall_key() const { return suite_uninstall_key_; }
    const std::u16string& settings_key() const { return settings_key_; }

  protected:
    // Whether this object is the process's suite object.
    bool IsProcessSuite() const;
    static constexpr bool kIsSuite = std::is_base_of_v<SuiteProduct, Base>;
    // The product stands alone: it is the suite, or the suite is neither
    // handled as one nor installed.
    bool Alone();
    // The installed files folder; empty when unknown.
    std::u16string FilesFolder();
    // The value as the product's own registration gives it; outside install
    // mode, when that is empty, the one the settings key recorded.
    std::u16string OrRecorded(std::u16string value, std::u16string_view recorded_name);
    // Fills Path, Files and Group of the settings key where missing.
    void KeepFoldersForCleanup();
    // After the product's own uninstaller ended with result: 9039 when it
    // reported success yet the product still names an installed version (no
    // version, as when only the suite's entry for it is left, counts as
    // removed).
    uint32_t ResultAfterUninstaller(uint32_t result);
    // Steps that go on after a failure: the first failure is reported as an
    // error with its message and 25032, later ones are logged.
    class StepFailures {
      public:
        explicit StepFailures(std::u16string name) : name_(std::move(name)) {}
        void Note(uint32_t code, uint32_t message,
                  std::optional<std::u16string_view> argument = std::nullopt);
        uint32_t result() const { return result_; }

      private:
        std::u16string name_;
        uint32_t result_ = 0;
    };
    // The steps that finish every member's install, in order: registry
    // settings, uninstall entry, product and shared files, shortcuts; each
    // failure noted.
    void FinishInstallSteps(StepFailures& failures);
    // Shows a progress text (a string with the product's name).
    void ShowProgress(uint32_t id);
    // How every member's install begins: reported (25532) and shown (24000),
    // its program group and destination chosen, the destination folder made
    // (text names what failed).
    void BeginInstall(std::u16string& text);
    // For an available member on NT: write tests of the Windows folder and
    // the system folder; 9012 with the first folder that failed.
    uint32_t TestSystemFolders(std::u16string& text);
    // For a selected member: "ProgramGroup" = the program group (when set)
    // under the member's own key; 9040 when it cannot be written.
    uint32_t WriteProgramGroupValue(std::u16string_view key);
    // The start of the shortcuts: logs 25537 and creates the Start-menu
    // folder; its failure is reported with 25035 and returned.
    uint32_t OpenShortcutFolder(std::u16string& folder);
    // The framework and its resource DLL from the suite's setup folder into
    // the files folder, as "frayle.dll" and "xjvres.dll".
    void CopyFrameworkFiles(const std::u16string& files, std::vector<std::u16string>& failures);
    // The product's files and the shared files copied; failed copies are
    // noted with 25033 and their names.
    void CopyFilesNoted(StepFailures& failures);
    // Deletes the folder a cleanup found under a settings value.
    void RemoveRecordedFolder(std::u16string_view folder, bool walk_up);
    // Removes the product's shortcuts from a group folder below the
    // Programs folder (of an earlier edition: its shortcut files), then the
    // folder and its parents below the Programs folder while they are
    // empty. A group that leads out of the Programs folder is left alone.
    void RemoveGroupShortcuts(const std::u16string& programs, std::u16string_view group,
                              bool earlier_edition);

    const ProductTables tables_;
    std::u16string display_name_;
    std::u16string destination_;
    std::u16string program_group_;
    std::u16string own_uninstall_key_;
    std::u16string suite_uninstall_key_;
    std::u16string uninstall_string_;
    std::u16string settings_key_;
    std::u16string version_before_;
    std::u16string version_after_;
    size_t competitor_cursor_ = 0;
};

}  // namespace olvex::setup

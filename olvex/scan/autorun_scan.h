// The start-up entry scan: every program Windows starts by itself (the files
// of the Startup folders, the programs of the Run keys and of the open
// commands of executable file types, the "load", "run" and "shell" entries
// of the ini files, the commands of the start-up batch files) is resolved to
// a file and handed to the file scan, each program once per scan however
// many entries name it.
//
// The machine is reached through AutorunSystem, so the walks and the text
// rules are tested anywhere; the engine's implementation reads the registry,
// the ini files and the search path.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/multibyte_text.h"
#include "olvex/scan/folder_walk.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex {

enum class AutorunRoot { kLocalMachine, kCurrentUser, kClassesRoot, kUsers };

struct AutorunRegistryRow {
    AutorunRoot root;
    std::string_view key;
};

// The keys whose values name programs, in the order they are walked.
inline constexpr std::array<AutorunRegistryRow, 17> kAutorunRegistryRows = {{
    {AutorunRoot::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {AutorunRoot::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {AutorunRoot::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {AutorunRoot::kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {AutorunRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {AutorunRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {AutorunRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {AutorunRoot::kClassesRoot, "exefile\\shell\\open\\command"},
    {AutorunRoot::kClassesRoot, "comfile\\shell\\open\\command"},
    {AutorunRoot::kClassesRoot, "batfile\\shell\\open\\command"},
    {AutorunRoot::kClassesRoot, "htafile\\shell\\open\\command"},
    {AutorunRoot::kClassesRoot, "piffile\\shell\\open\\command"},
    {AutorunRoot::kLocalMachine, "Software\\CLASSES\\batfile\\shell\\open\\command"},
    {AutorunRoot::kLocalMachine, "Software\\CLASSES\\comfile\\shell\\open\\command"},
    {AutorunRoot::kLocalMachine, "Software\\CLASSES\\exefile\\shell\\open\\command"},
    {AutorunRoot::kLocalMachine, "Software\\CLASSES\\htafile\\shell\\open\\command"},
    {AutorunRoot::kLocalMachine, "Software\\CLASSES\\piffile\\shell\\open\\command"},
}};

struct AutorunIniRow {
    std::string_view file;
    std::string_view section;
    std::string_view key;
};

// The ini entries that name programs, in the Windows folder.
inline constexpr std::array<AutorunIniRow, 3> kAutorunIniRows = {{
    {"Win.ini", "windows", "load"},
    {"Win.ini", "windows", "run"},
    {"System.ini", "boot", "shell"},
}};

inline constexpr std::string_view kDefaultWindowsFolder = "C:\\WINDOWS";
inline constexpr std::string_view kWindowsNtCurrentVersionKey =
    "Software\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr std::string_view kWindowsCurrentVersionKey =
    "Software\\Microsoft\\Windows\\CurrentVersion";
inline constexpr std::string_view kAutorunShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct AutorunValue {
    enum class Kind { kString, kExpandString, kOther };
    Kind kind = Kind::kOther;
    std::string data;  // the text of a string value, up to its first NUL
};

// The machine as the start-up entry scan reads it. Texts are in the ANSI
// code page; keys are paths below a root.
class AutorunSystem {
  public:
    virtual ~AutorunSystem() = default;
    virtual bool KeyOpens(AutorunRoot root, const std::string& key) = 0;
    // A string value; nullopt when the key or the value cannot be read.
    virtual std::optional<std::string> StringValue(AutorunRoot root, const std::string& key,
                                                   std::string_view name) = 0;
    // Every value of a key in enumeration order; nullopt when it does not open.
    virtual std::optional<std::vector<AutorunValue>> Values(AutorunRoot root,
                                                            const std::string& key) = 0;
    // The names of the subkeys of HKEY_USERS (the users' hives).
    virtual std::vector<std::string> UserHives() = 0;
    // An ini entry (empty when missing).
    virtual std::string IniEntry(const std::string& file, std::string_view section,
                                 std::string_view key) = 0;
    // Hands each line of a text file to each (which answers false to stop);
    // false when the file cannot be opened.
    virtual bool ReadLines(const std::string& path,
                           const std::function<bool(std::string_view line)>& each) = 0;
    // Whether a path's attributes can be read.
    virtual bool Exists(const std::string& path) = 0;
    // A bare file name looked for on the default search path, as it is
    // (no extension added); the full path, or nullopt.
    virtual std::optional<std::string> FindOnSearchPath(const std::string& name) = 0;
    virtual std::optional<std::string> ExpandEnvironment(const std::string& text) = 0;
};

// The text rules, each a small step of the walks.

// The program of a command: the text without its double quotes, ending at
// the second one; cut right after ".exe" (any case) when it holds that.
std::string ProgramOfCommand(std::string_view command, const MultiByteText& mb);
// The programs an ini entry names: "shell" separates them with blanks, "run"
// and "load" with commas; any other key names one. Blanks around each are
// dropped, and empty pieces.
std::vector<std::string> ProgramsOfIniEntry(std::string_view key, std::string_view text,
                                            const MultiByteText& mb);
// The command word of a batch file line (leading blanks and tabs skipped, up
// to a blank, a tab or the end); nullopt for an empty line and for the words
// "rem", "echo" and "goto" (any case).
std::optional<std::string> CommandOfBatchLine(std::string_view line, const MultiByteText& mb);

class AutorunScan {
  public:
    using ScanFile = std::function<void(const std::string& path)>;
    AutorunScan(AutorunSystem& system, FolderLister& lister, ScanReporter& reporter,
                const MultiByteText& mb, ScanFile scan_file);

    // The current user's form: the Windows folder, the current user's
    // Startup folder, the registry rows, the ini entries, the batch files
    // (the Windows folder's "winstart.bat", then autoexec_path).
    void ScanCurrentUser(const std::string& autoexec_path);
    // Every user's form: the Startup folder of every hive under HKEY_USERS
    // (each folder once), the current-user rows under every hive (but the
    // "_Classes" ones), the other rows, the ini entries and batch files. The
    // caller mounts the users' hives around it.
    void ScanAllUsers(const std::string& autoexec_path);

    const std::string& windows_folder() const { return windows_folder_; }
    // How many programs were handed to the file scan.
    std::size_t programs_scanned() const { return scanned_.size(); }

  private:
    void FillWindowsFolder();
    std::optional<std::string> StartupFolder(AutorunRoot root, const std::string& prefix);
    void WalkStartupFolder(const std::string& folder);
    void WalkRegistryRows(bool all_users);
    void WalkRunKey(AutorunRoot root, const std::string& key);
    void WalkIniEntries();
    void WalkBatchFile(const std::string& path);
    void WalkBatchFiles(const std::string& autoexec_path);
    // A program's file, or nullopt when it cannot be found.
    std::optional<std::string> Resolve(const std::string& name);
    // Hands a resolved program to the file scan unless it was scanned before.
    void Scan(const std::string& path);

    AutorunSystem& system_;
    FolderLister& lister_;
    ScanReporter& reporter_;
    MultiByteText mb_;
    ScanFile scan_file_;
    std::string windows_folder_;
    std::set<std::string> scanned_;  // lower-cased paths
};

}  // namespace olvex

// Setup's own library of free functions over the Win32 API: which Windows
// runs, the system's and the program's folders, the registry, paths and
// files, deletion and renaming at the next restart, shortcuts, string
// resources, processes and terminal sessions. Failures come back as false,
// 0, an empty text or a Win32 error and are logged at information level
// (messages 25519 to 25525 with the function's name); nothing throws.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/core/os_identity.h"
#include "setup/core/path_text.h"
#include "setup/core/setup_seams.h"

namespace olvex::setup::util {

// --- Operating system ---

// The version record (the seam's when one is set), or nullopt with message
// 25519 when it cannot be read.
std::optional<OsVersion> GetOsVersionInfo();
OsId GetOsId();
bool IsWin9x();
bool IsWinNT();
// NT and a "ProductType" of "WinNT" (any case; Wine writes it so).
bool IsNTWorkstation();
std::u16string GetWindowsShortName();
std::u16string GetWindowsName();
std::u16string GetOperatingSystemDescription();
// 9007 when two or more user sessions are open (NT only), else 0.
uint32_t CountUserSessions();
// Restarts Windows: the shutdown privilege on NT, then ExitWindowsEx.
void RebootSystem();

// --- Folders ---

std::u16string GetCurrentAppPath();
std::u16string GetCurrentAppDir();
std::u16string GetCurrentAppModuleName();
std::u16string GetWinDir();
std::u16string GetWinSysDir();
// The Windows folder up to and including its ':'.
std::u16string GetWindowsDrive();
std::u16string GetProgramFilesDir();
// The profiles folder (common) or the user's documents, as the registry
// holds them (macros unexpanded).
std::u16string GetDocumentsDir(bool common);
std::u16string GetStartProgramsDir(bool common);
std::u16string GetDesktopDir(bool common);
std::u16string GetTempDir();
// The program's folder, then the product's folder when a tag is given, then
// the file.
std::optional<std::u16string> GetSetupFilePath(std::optional<std::u16string_view> file,
                                               std::optional<std::u16string_view> product_tag);
// An HKLM folder value with a trailing backslash; empty when missing.
std::u16string ReadRegistryDirectory(std::u16string_view key, std::u16string_view value);

MacroLookups SystemMacroLookups();
std::optional<std::u16string> ExpandSystemMacros(std::u16string_view text);
// The short (8.3) form of a path; for a path that does not exist yet, the
// short form of its longest existing folder followed by the rest.
std::optional<std::u16string> ShortPathForm(std::u16string_view path);
PathLookups SystemPathLookups();
bool ComparePaths(std::u16string_view path, std::u16string_view reference, bool exact);

// --- Registry (roots are the predefined keys, key paths without them) ---

struct RegistryData {
    DWORD type = REG_NONE;
    std::vector<uint8_t> bytes;
    // REG_SZ / REG_EXPAND_SZ data up to its first NUL.
    std::u16string Text() const;
};

// A value of at most max_bytes; Win32 error (87 for an empty key path).
// The data are empty on failure.
LONG ReadRegistryValue(HKEY root, std::u16string_view key, std::u16string_view value,
                       RegistryData& data, DWORD max_bytes = 4096);
std::optional<std::u16string> ReadRegistryString(HKEY root, std::u16string_view key,
                                                 std::u16string_view value, DWORD max_bytes = 4096);
// Creates the key and writes the text: type REG_DWORD parses it as decimal,
// other types write it as a string. Win32 error; failures are logged (25524).
LONG WriteRegistryValue(HKEY root, std::u16string_view key, std::u16string_view value,
                        std::u16string_view text, DWORD type);
// True also when the key or the value is missing.
bool DeleteRegistryValue(HKEY root, std::u16string_view key, std::u16string_view value);
bool CreateRegistryKeyPath(HKEY root, std::u16string_view key);
bool GetRegistryKeyInfo(HKEY root, std::u16string_view key, DWORD* subkeys, DWORD* values);
// 0 when the key is missing, 1 when it cannot be read.
DWORD GetRegistrySubkeyCount(HKEY root, std::u16string_view key);
// Deletes the key when it holds no subkey and no value (a missing key counts
// as deleted); with walk_up its parents in turn while they become empty.
bool DeleteEmptyRegistryKeys(HKEY root, std::u16string_view key, bool walk_up);
// Depth first, at most 16384 subkeys a level; ERROR_INSUFFICIENT_BUFFER
// (122) when a subkey name passes 1024 characters.
LONG DeleteRegistryKeyTree(HKEY root, std::u16string_view key);

// --- Paths and files ---

bool FileExists(std::u16string_view path);
// Creates every missing level: 0 when made, 183 when it existed, else the
// Win32 error (logged with 25516).
DWORD CreateDirectoryPath(std::u16string_view path);
// A free name in the folder from a numbered format ("xjcu_%03d.exe").
std::optional<std::u16string> FindUnusedFileName(std::u16string_view folder,
                                                 std::u16string_view format, uint32_t first,
                                                 uint32_t last);
std::optional<std::u16string> UnusedSiblingName(std::u16string_view path);
// Copies from_folder\file to to_folder\(new_name or file), clearing a
// read-only target first and giving its attributes back afterwards. A
// failure is logged (25033) and its name added to the list.
bool CopyFileToDirectory(std::u16string_view from_folder, std::u16string_view to_folder,
                         std::u16string_view file, std::optional<std::u16string_view> new_name,
                         std::vector<std::u16string>* failures);
// Deletes every file in the folder (at the next restart when busy) and,
// with recursive, every subfolder and the folder itself. A linked folder
// (reparse point) is removed as a link, never walked into.
bool DeleteDirectoryTree(std::u16string_view folder, bool recursive,
                         std::vector<std::u16string>* failures);
bool RemoveEmptyDirectories(std::u16string_view folder, bool walk_up);
// True when the folder holds a folder (also on unexpected errors); false
// when it is missing.
bool HasSubdirectories(std::u16string_view folder);

enum class DeleteOutcome { kDeleted, kPending, kFailed };
// Clears read-only, hidden and system, deletes; a busy file (errors 5, 32,
// 33) is deleted at the next restart instead. A missing file is deleted.
DeleteOutcome DeleteFileNowOrAtReboot(std::u16string_view path);
// Moves path to new_path at the next restart, or deletes it then (after
// moving it aside now). NT: MoveFileEx; 9x: a line in WININIT.INI's
// [Rename] section, with short paths.
bool RenameAtReboot(std::u16string_view path, std::optional<std::u16string_view> new_path);

// The file's version resource (the seam's when one is set).
std::optional<FileVersionInfo> ReadFileVersionInfo(std::u16string_view path);
// 25008 (logged with the name and its version) when the file's version is
// below major.minor or unreadable, else 0.
uint32_t CheckFileVersion(std::u16string_view file, uint32_t major, uint32_t minor);
// A string value of the first translation ("ProductVersion"); nullopt when
// missing.
std::optional<std::u16string> GetVersionInfoData(std::u16string_view file,
                                                 std::u16string_view value_name);

// A shell link folder\name.lnk; an Internet shortcut folder\name.url.
HRESULT CreateShortcut(std::u16string_view folder, std::u16string_view name,
                       std::u16string_view target, std::u16string_view arguments,
                       std::u16string_view working_folder, std::u16string_view description,
                       std::u16string_view icon_file, int icon_index);
HRESULT CreateInternetShortcut(std::u16string_view folder, std::u16string_view name,
                               std::u16string_view address);

// --- Strings, processes, conversions ---

// Loads a string: from the module when one is given; else through the
// framework (once bound), then "xjvprod.dll" and "ulmres.dll" in the
// program's folder (as data files), then the program's own resources.
// Empty when none has it.
std::u16string LoadResourceString(HMODULE module, uint32_t id, size_t max_chars = 256);
// The framework's string loader, set once the framework is initialised.
void SetFrameworkStringLoader(std::function<std::u16string(uint32_t id, size_t max_chars)> loader);

std::u16string GetLocalTimeText();

// The id of a running process by name ("trombo" or "trombo.exe"), 0 when
// none: performance data on NT, the Toolhelp snapshot on 9x and when the
// performance data hold no Process object (Wine).
uint32_t FindProcessId(std::u16string_view name);
// Waits up to timeout_ms for the process to appear, then for it to end;
// its exit code (0 when it never appeared).
uint32_t WaitForProcess(std::u16string_view name, uint32_t timeout_ms);

// Conversions with the ANSI code page.
std::string WideToNarrow(std::u16string_view text);
std::u16string NarrowToWide(std::string_view text);

// Milliseconds and sleeps through the clock seam.
uint64_t ClockMilliseconds();
void SleepMilliseconds(uint32_t milliseconds);

}  // namespace olvex::setup::util

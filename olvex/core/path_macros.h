// Path macros: file and folder locations in "qzloc.dat" name their
// well-known folder as a macro (%SYSTEM%\foo.exe), so that one definition
// fits every machine and user. The macro table pairs the sixteen macro names
// with the lower-cased folder each stands for on this machine; lookups
// rewrite a real path into macro form with it, scans expand a macro path
// back into a real one.
//
// Where the folders come from is a seam: SpecialFolderSource answers the
// system's questions (the shell, the "Shell Folders" registry key, the
// Windows and system folders, the user name, the platform), and the fallback
// rules for a shell that cannot answer are portable code over it, so that
// the Windows 9x, NT 4 and XP branches are tested anywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "olvex/core/multibyte_text.h"

namespace olvex {

// Shell folder ids (CSIDL values) the table uses.
inline constexpr int kCsidlPrograms = 2;
inline constexpr int kCsidlFavorites = 6;
inline constexpr int kCsidlStartup = 7;
inline constexpr int kCsidlStartMenu = 11;
inline constexpr int kCsidlDesktopDirectory = 16;
inline constexpr int kCsidlCommonStartMenu = 22;
inline constexpr int kCsidlCommonPrograms = 23;
inline constexpr int kCsidlCommonStartup = 24;
inline constexpr int kCsidlCommonDesktopDirectory = 25;
inline constexpr int kCsidlAltStartup = 29;
inline constexpr int kCsidlCommonAltStartup = 30;
inline constexpr int kCsidlCookies = 33;
inline constexpr int kCsidlWindows = 36;
inline constexpr int kCsidlSystem = 37;
inline constexpr int kCsidlProgramFiles = 38;
inline constexpr int kCsidlProfile = 40;

// The two registry roots of the "Shell Folders" key.
enum class ShellFoldersRoot { kCurrentUser, kLocalMachine };

// The key under both roots that the fallback reads.
inline constexpr std::string_view kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// What the system says about its folders. Texts are in the ANSI code page.
class SpecialFolderSource {
  public:
    virtual ~SpecialFolderSource() = default;
    // The shell's folder for a CSIDL; nullopt when the shell fails.
    virtual std::optional<std::string> ShellFolder(int csidl) const = 0;
    // Whether the "Shell Folders" key under root opens for reading.
    virtual bool ShellFoldersKeyOpens(ShellFoldersRoot root) const = 0;
    // A value of that key; nullopt when the key or the value is missing.
    virtual std::optional<std::string> ShellFoldersValue(ShellFoldersRoot root,
                                                         std::string_view name) const = 0;
    virtual std::optional<std::string> WindowsFolder() const = 0;
    virtual std::optional<std::string> SystemFolder() const = 0;
    virtual std::optional<std::string> UserName() const = 0;
    // True on the Windows 95/98/Me family.
    virtual bool IsWin9x() const = 0;
    // True on NT 4.0 and older NT.
    virtual bool IsNt4OrOlder() const = 0;
};

// The fallback for a folder the shell did not give: the "Shell Folders"
// value of its root when that key opens and holds it; otherwise a fixed text
// for the platform, used exactly as written. Nothing for other folder ids, or
// when the key does not open (the Windows, system, program files and profile
// folders need no key).
std::optional<std::string> GetFolderFromRegistry(int csidl, const SpecialFolderSource& source);

struct PathMacro {
    std::string_view name;  // "%SYSTEM%"
    int csidl;
};

inline constexpr std::size_t kPathMacroCount = 16;

// The macros in the fixed order of the table: the first whose folder occurs
// in a path wins, so %PROFILE% comes before %STARTUP% and %SYSTEM% before
// %WINDOWS%. (The second one's three letters M are what the definitions use.)
inline constexpr std::array<PathMacro, kPathMacroCount> kPathMacros = {{
    {"%ALTSTARTUP%", kCsidlAltStartup},
    {"%COMMMON_ALTSTARTUP%", kCsidlCommonAltStartup},
    {"%COMMONDESKTOPDIRECTORY%", kCsidlCommonDesktopDirectory},
    {"%COMMON_PROGRAMS%", kCsidlCommonPrograms},
    {"%COMMON_STARTMENU%", kCsidlCommonStartMenu},
    {"%COMMON_STARTUP%", kCsidlCommonStartup},
    {"%COOKIES%", kCsidlCookies},
    {"%DESKTOPDIRECTORY%", kCsidlDesktopDirectory},
    {"%PROFILE%", kCsidlProfile},
    {"%PROGRAM_FILES%", kCsidlProgramFiles},
    {"%STARTMENU%", kCsidlStartMenu},
    {"%STARTUP%", kCsidlStartup},
    {"%SYSTEM%", kCsidlSystem},
    {"%WINDOWS%", kCsidlWindows},
    {"%FAVORITES%", kCsidlFavorites},
    {"%PROGRAMS%", kCsidlPrograms},
}};

class PathMacroTable {
  public:
    // Every folder empty: nothing is rewritten or expanded.
    explicit PathMacroTable(const MultiByteText& mb);
    // Asks the source for each folder in table order: the shell first, the
    // fallback when the shell fails or answers an empty text. A folder
    // neither supplies stays empty.
    PathMacroTable(const SpecialFolderSource& source, const MultiByteText& mb);

    std::string_view name(std::size_t index) const { return kPathMacros[index].name; }
    // Lower-case; empty when the machine has no such folder.
    const std::string& folder(std::size_t index) const { return folders_[index]; }
    static constexpr std::size_t size() { return kPathMacroCount; }

    // A real path in the macro form the definitions use: lower-cased; then
    // the first macro (table order) whose folder occurs in it has every
    // occurrence of its folder replaced by the macro name. Folders the
    // machine lacks are passed over: an empty text would occur everywhere.
    std::string ToMacroForm(std::string_view path) const;
    // A definition path as a real one: the first macro (table order) that
    // occurs in it, in any case, has its occurrences replaced by its folder.
    // A macro whose folder the machine lacks leaves the path as it is, so it
    // names nothing rather than a file at the root of a drive.
    std::string Expand(std::string_view path) const;

  private:
    // The first folder (table order) that occurs in a lowered path;
    // kPathMacroCount when none does.
    std::size_t FirstFolderIn(std::string_view lowered) const;
    // Up to the first 8 bytes of a text as one number, the first byte lowest.
    static std::uint64_t FolderHead(std::string_view text);

    MultiByteText mb_;
    std::array<std::string, kPathMacroCount> lowered_names_;
    std::array<std::string, kPathMacroCount> folders_;
    // For the search: the bytes some folder begins with, and each folder's
    // first bytes (FolderHead) with the mask of those it has.
    std::array<bool, 256> starts_{};
    std::array<std::uint64_t, kPathMacroCount> heads_{};
    std::array<std::uint64_t, kPathMacroCount> head_masks_{};
};

}  // namespace olvex

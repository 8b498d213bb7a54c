// Setup's utilities over texts: paths, versions, names and folder macros.
// Portable: what they need of the system (environment, folders, short
// names, whether a file exists) is handed in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Free utilities live in a namespace of their own: the product handlers
// have members of the same names (GetSetupFilePath, ...) that would hide
// them.
namespace olvex::setup::util {

// Setup's paths live in buffers of this many characters, the terminator
// included.
inline constexpr size_t kMaxPath = 260;
// Texts with folder macros expand into at most this many characters.
inline constexpr size_t kMaxExpandedText = 2048;

// Folder, one backslash, the sub path without its leading backslashes; a
// missing sub path gives the folder. nullopt when the result would not fit
// `size` characters with its terminator.
std::optional<std::u16string> AppendPath(std::u16string_view folder,
                                         std::optional<std::u16string_view> sub_path,
                                         size_t size = kMaxPath);

// Appends the character unless the text already ends with it; false when
// there is no room for it in `size` characters.
bool EnsureTrailingChar(std::u16string& text, char16_t c, size_t size = kMaxPath);

// Removes trailing blanks and trailing backslashes, one at a time, until
// nothing changes; the backslash of a root ("C:\", "\") stays.
void TrimPathEnd(std::u16string& path);
void TrimTrailingBackslashes(std::u16string& text);
void TrimTrailingChar(std::u16string& text, char16_t c);
void TrimTrailingSpaces(std::u16string& text);
void TrimLeadingSpaces(std::u16string& text);
void TrimLeadingChar(std::u16string& text, char16_t c);
// Cuts the text at the last occurrence of the character (the character and
// what follows go); false when it does not occur.
bool CutTrailingChar(std::u16string& text, char16_t c);

// Position of the first (or last) occurrence; character 0 finds the end.
// npos when absent.
size_t FindChar(std::u16string_view text, char16_t c);
size_t FindLastChar(std::u16string_view text, char16_t c);

// The leading decimal digits as an unsigned value (held at the largest
// 32-bit value).
uint32_t ParseDecimal(std::u16string_view text);

// Dotted versions compared number by number (other characters separate the
// numbers; a missing number counts 0): 0 when equal, else minus or plus the
// 1-based index of the first number that differs (minus: a is lower).
int CompareVersions(std::u16string_view a, std::u16string_view b);

// The part after the last backslash, and the part before it.
std::u16string_view FileNamePart(std::u16string_view path);
std::u16string_view FolderPart(std::u16string_view path);

// The system facts that expanding folder macros needs; each lookup gives
// nullopt when the fact cannot be had.
struct MacroLookups {
    std::function<std::optional<std::u16string>(std::u16string_view name)> environment;
    std::function<std::optional<std::u16string>()> windows_folder;
    std::function<std::optional<std::u16string>()> system_folder;
    std::function<std::optional<std::u16string>()> windows_drive;
};

// Replaces every %NAME% by the environment variable NAME, else SYSTEMROOT,
// SYSTEMPATH and SYSTEMDRIVE by the Windows folder, the system folder and
// the Windows drive, else by nothing; values are expanded in turn. A '%'
// without its closing '%' stays with the rest of the text. nullopt when a
// needed folder lookup fails, values nest more than 8 levels deep (A=%A%),
// or the result passes 2048 characters.
std::optional<std::u16string> ExpandSystemMacros(std::u16string_view text,
                                                 const MacroLookups& lookups);

struct PathLookups {
    // The text with its folder macros expanded.
    std::function<std::optional<std::u16string>(std::u16string_view)> expand;
    // The short (8.3) form of a path.
    std::function<std::optional<std::u16string>(std::u16string_view)> short_form;
};

// Whether the path is the reference folder (exact) or lies in it, compared
// without regard to case as written and with its macros expanded, in long
// and in short form, against the expanded reference. "Lies in" stops at a
// path component: "C:\WINDOWSAPPS" does not lie in "C:\WINDOWS". An empty
// path matches; an empty reference never does.
bool ComparePaths(std::u16string_view path, std::u16string_view reference, bool exact,
                  const PathLookups& lookups);

// The format with its one number directive (%d, %u, with an optional
// zero-padded width such as %03d) filled in; other characters, '%' too,
// stay as written.
std::u16string FormatNumberedName(std::u16string_view format, uint32_t number);

// The first name from first to last that does not exist.
std::optional<std::u16string> FindUnusedNumberedName(
    std::u16string_view format, uint32_t first, uint32_t last,
    const std::function<bool(const std::u16string&)>& exists);

// The path with its extension replaced by the first of "1" to "999" that
// gives no existing file ("." is added when it has no extension).
std::optional<std::u16string> UnusedSiblingName(
    std::u16string_view path, const std::function<bool(const std::u16string&)>& exists);

// "\"<folder>\<module>\"", then a blank and the switches when there are
// any; nullopt when it would not fit `size` characters.
std::optional<std::u16string> BuildCommandLine(std::u16string_view folder,
                                               std::u16string_view module,
                                               std::u16string_view switches, size_t size);

}  // namespace olvex::setup::util

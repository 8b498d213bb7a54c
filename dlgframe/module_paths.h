// Where the framework looks for the suite's resource DLLs and its help file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::dlgframe {

// Paths live in buffers of this many characters, the terminating zero
// included.
inline constexpr std::size_t kPathChars = 260;

// Whether text of `length` characters fits a buffer of `buffer_chars`
// characters with its terminating zero.
bool FitsBuffer(std::size_t length, long long buffer_chars);

// The folder of a file path: cut after its last backslash (kept), or after
// its last colon when it has none; empty when it has neither.
std::wstring_view FolderOfPath(std::wstring_view file_path);

// Whether a name is a full path ("C:..." or "\\...") rather than a name to
// look for in folders.
bool IsAbsolutePath(std::wstring_view name);

// Where the loader looks, in order. An unknown place (a module path that did
// not fit its buffer, a missing install folder) is nothing.
struct ResourceDllPlaces {
    std::optional<std::wstring> framework_file;  // the framework DLL's own file
    std::optional<std::wstring> program_file;    // the host program's file
    std::optional<std::wstring> install_folder;  // "ProgramPath" of the antivirus install key
};

// The paths to try for a resource DLL: "<folder>/<name>" for the framework's
// folder, the program's folder and the install folder. A place that is
// unknown or empty is skipped (never the root of the current drive), and so
// is a path that would not fit kPathChars. A full path is tried as it is.
std::vector<std::wstring> ResourceDllCandidates(const ResourceDllPlaces& places,
                                                std::wstring_view name);

// The help file in a folder: a backslash added when the folder does not end
// in one or in a colon, then "XJVHelp.CHM".
std::wstring HelpFilePath(std::wstring_view folder);

// The pop-up topic file inside the help file.
std::wstring HelpPopupTopic(std::wstring_view help_file);

}  // namespace olvex::dlgframe

namespace olvex::dlgframe {

// Whether the folder browser may end with a folder: a file-system folder
// other than the desktop root whose path is known and fits the caller's
// buffer.
bool CanChooseFolder(bool file_system, bool desktop_root, std::optional<std::size_t> path_length,
                     long long buffer_chars);

}  // namespace olvex::dlgframe

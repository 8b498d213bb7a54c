// The bootstrapper's command line: Gorsewatch.exe /v"<properties>" hands
// the text of its /v argument to the Windows Installer, which installs the
// package lying beside it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::setup::package {

// The arguments after the program's name, split as the C runtime splits
// them: blanks and tabs separate outside quotes; 2n backslashes before a
// quote give n backslashes and the quote opens or closes a quoted part,
// 2n+1 give n backslashes and a quote character; other backslashes stay;
// inside quotes a doubled quote gives one quote character.
std::vector<std::u16string> SplitArguments(std::u16string_view arguments);

// The command line without the program's name (quoted or not) and the
// blanks after it.
std::u16string_view SkipProgramName(std::u16string_view command_line);

// The text of the /v (or -v) arguments, joined by blanks; nullopt when none
// is given.
std::optional<std::u16string> InstallerProperties(const std::vector<std::u16string>& arguments);

// msiexec's arguments for the package: an install with the properties; an
// installed product is reinstalled whole from the new package (msiexec
// refuses an upgrade of the same product code otherwise).
std::u16string InstallerArguments(std::u16string_view package, std::u16string_view properties,
                                  bool installed);

}  // namespace olvex::setup::package

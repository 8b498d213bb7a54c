// Texts between the windows (UTF-16) and the engine, files and settings
// (the ANSI code page).
#pragma once

#include <string>
#include <string_view>

namespace olvex::ui {

std::wstring FromAnsi(std::string_view text);
// Characters the code page lacks become its default character.
std::string ToAnsi(std::wstring_view text);

}  // namespace olvex::ui

// Splitting the setup controller's command line into arguments.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::setup {

// An argument holds at most this many characters; a longer one is refused
// whole, never cut.
inline constexpr size_t kMaxArgumentLength = 2048;
// Arguments past this many are ignored with the rest of the text.
inline constexpr size_t kMaxArguments = 256;

struct Argument {
    std::u16string text;  // a refused argument keeps only its first characters
    bool refused = false;
};

struct ArgumentList {
    std::vector<Argument> arguments;
    size_t count() const { return arguments.size(); }
};

// Splits the text (without the program's name) into arguments: blanks and
// tabs separate them outside double quotes; a double quote starts or ends a
// quoted run and is dropped; inside a run two double quotes give one and end
// the run; a backslash before a double quote gives a literal double quote,
// any other backslash stays. Empty arguments are dropped; at most 256 are
// taken.
ArgumentList SplitCommandLine(std::u16string_view text);

// Releases the arguments at once (the list also frees them when it ends).
void FreeArgumentList(ArgumentList& list);

// The arguments of a whole process command line: the text after the
// program's name, which is quoted or ends at the first blank or tab.
std::u16string_view SkipProgramName(std::u16string_view command_line);

}  // namespace olvex::setup

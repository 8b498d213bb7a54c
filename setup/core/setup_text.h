// Text helpers of the setup controller. Setup is wide-character throughout;
// its portable code holds UTF-16 in std::u16string, so that lengths and the
// limits of its fixed buffers (260, 1040, 2048 characters) count alike on
// Windows and on the native build.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace olvex::setup {

// Folds one character to lower case, as the system's case-insensitive
// comparisons do for the scripts setup meets in names and paths (Latin,
// Greek, Cyrillic).
char16_t FoldCase(char16_t c);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);

// Characters of the system's C1_SPACE type: blanks, tabs, line ends and the
// Unicode spaces.
bool IsSpace(char16_t c);

// Plain ASCII (fixed texts of our own) as UTF-16.
std::u16string FromAscii(std::string_view ascii);
// UTF-16 as UTF-8 and back (tests and the probe's output); unpaired
// surrogates and bad bytes become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

std::u16string DecimalText(int64_t value);
// At least `width` digits, leading zeros added ("%05u").
std::u16string UnsignedText(uint64_t value, int width = 0);

// Replaces the "%s" markers of a message format, in order, by the arguments;
// a marker beyond the last argument and every other '%' stay as written, and
// an argument is never read as a format.
std::u16string SubstituteArguments(std::u16string_view format,
                                   std::initializer_list<std::u16string_view> arguments);

// A number as the command line gives it: leading blanks, an optional sign,
// then the leading decimal digits; no digits give 0. Held to the range of a
// 32-bit signed value, so a huge number never wraps into a small one.
int32_t ParseSignedDecimal(std::u16string_view text);

}  // namespace olvex::setup

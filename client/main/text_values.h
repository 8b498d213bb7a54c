// Values the main program reads as texts and turns into numbers: colours in
// its string table ("r,g,b") and the locale's digit grouping ("3;0").
#pragma once

#include <cstdint>
#include <string_view>

namespace olvex {

// A colour from "r,g,b" in the layout of a COLORREF (red in the low byte):
// each part read like atol, a missing part 0, each taken to 8 bits, so a
// broken string table entry gives a colour, never a fault.
std::uint32_t ColorFromText(std::string_view text);

// The Grouping field of a NUMBERFMT from the locale's LOCALE_SGROUPING
// text: the group sizes as digits of one number, a final ";0" meaning that
// the last group repeats and any other end that it does not ("3;0" 3,
// "3;2;0" 32, "3" 30, "3;2" 320, "0" 0). Anything that is no grouping (or
// needs more than nine digits) gives 0: no grouping at all.
unsigned GroupingFromLocaleText(std::string_view text);

}  // namespace olvex

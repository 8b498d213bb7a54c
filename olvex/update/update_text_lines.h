// Line splitting of the texts the updater fetches (the control file and the
// delta index), as the engine's text line buffer splits them.
#pragma once

#include <string_view>
#include <vector>

namespace olvex {

// The lines of text, in order, as views into text:
// - the text ends at its first NUL byte;
// - a line ends at the next carriage return, or, when no carriage return
//   follows anywhere in the rest of the text, at the next line feed; so in a
//   text that mixes the two, a line-feed-only line runs on to the next
//   carriage return;
// - a last line without a line end is not returned (a transfer cut short
//   cannot hand out half a number);
// - every line is trimmed of white space at both ends, and lines that are
//   then empty do not count.
std::vector<std::string_view> SplitUpdateTextLines(std::string_view text);

}  // namespace olvex

// Splits a text into lines the way the engine reads its update control files,
// delta index and log back: a line ends at a carriage return, or at a line feed
// when the rest of the text has no carriage return; the tabs, carriage returns
// and line feeds after a line end are passed over; every line is trimmed of
// white space at both ends. A last line without a line end is not returned
// (it may be a line still being written). The text ends at its first NUL.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

class TCharBufferManagement {
  public:
    // Keeps a copy of the text (up to its first NUL) and rewinds to its start.
    void SetText(std::string_view text);
    // Rewinds to the start of the text and returns its first line.
    std::optional<std::string> GetFirstLine();
    // The next line, or nullopt when no complete line is left.
    std::optional<std::string> GetNextLine();

  private:
    std::string text_;
    std::size_t cursor_ = 0;
};

}  // namespace olvex

// Byte-string helpers for texts in the ANSI code page, which may be a
// double-byte one (Japanese, Chinese, Korean). A lead byte and the byte after
// it form one character, and that trail byte may look like an ASCII letter,
// a backslash or a quote: searches never match inside such a character and
// case folding never touches it.
//
// Which bytes lead is injected: the engine passes the system's answer for its
// ANSI code page (IsDBCSLeadByte), portable tests use the tables below.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace olvex {

using LeadBytePredicate = bool (*)(unsigned char byte);

class MultiByteText {
  public:
    // Asks the predicate once for every byte value.
    explicit MultiByteText(LeadBytePredicate is_lead_byte);

    // No lead bytes: Windows-1252 and the other single-byte code pages.
    static MultiByteText SingleByte();
    // Lead bytes of the Windows double-byte code pages 932, 936, 949 and 950;
    // any other number is taken as a single-byte code page.
    static MultiByteText ForCodePage(unsigned code_page);

    bool IsLeadByte(unsigned char byte) const { return lead_[byte]; }
    // False for a single-byte code page: every byte is a character.
    bool HasLeadBytes() const { return has_lead_bytes_; }

    // Bytes in the character at pos: 2 for a lead byte with a byte after it,
    // otherwise 1 (a lead byte at the very end stands alone).
    std::size_t CharLength(std::string_view text, std::size_t pos) const;

    // First position at or after from (a character start) where the
    // character is the single byte c; npos when there is none.
    std::size_t Find(std::string_view text, char c, std::size_t from = 0) const;
    // Last position where the character is the single byte c; npos when none.
    std::size_t FindLast(std::string_view text, char c) const;
    // Whether needle occurs in text starting at a character start.
    bool Contains(std::string_view text, std::string_view needle) const;

    // White space (blank, tab, CR, LF, VT, FF) removed from both ends.
    std::string_view Trim(std::string_view text) const;
    // ASCII A-Z lowered in single-byte characters; everything else unchanged.
    std::string Lower(std::string_view text) const;

    // False when the last byte is a lead byte whose trail is missing: such a
    // text would swallow whatever byte is written after it.
    bool EndsOnCharBoundary(std::string_view text) const;

  private:
    MultiByteText() = default;
    std::array<bool, 256> lead_{};
    bool has_lead_bytes_ = false;
};

}  // namespace olvex

// Text kept by the custom controls: bounded copies in and out of their fixed
// buffers, and a label's split into a left and a right-hand part at "|".
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace olvex::dlgframe {

// Text buffers of the controls, in characters with the terminating zero. A
// label holds a message box's whole text (up to 2046 characters).
inline constexpr std::size_t kControlTextChars = 256;
inline constexpr std::size_t kLabelTextChars = 2048;
inline constexpr std::size_t kLinkTargetChars = 256;

// Copies as much of `text` as fits `out` with a terminating zero (nothing at
// all into an empty buffer); returns the characters copied. Text ends at its
// first zero.
std::size_t CopyText(std::wstring_view text, std::span<wchar_t> out);

struct LabelParts {
    std::wstring_view left;
    std::optional<std::wstring_view> right;  // the text after the first "|"
};

LabelParts SplitLabel(std::wstring_view text);

}  // namespace olvex::dlgframe

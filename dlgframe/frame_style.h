// The framework's look as its resource DLLs set it: the dialog style of
// string 22051, the font heights of strings 22191 and 22192, and which
// banner pieces a dialog's host flags draw.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace olvex::dlgframe {

// Host flags a caller passes with a dialog (the public header names them too).
inline constexpr std::uint32_t kHostSmallBanner = 0x2;
inline constexpr std::uint32_t kHostLargeBanner = 0x4;   // when 0x2 is clear
inline constexpr std::uint32_t kHostWhite = 0x10;        // plain white background
inline constexpr std::uint32_t kHostBannerLeft = 0x80;
inline constexpr std::uint32_t kHostBannerRight = 0x100;
inline constexpr std::uint32_t kHostBannerBoth = 0x200;

// Bitmaps of the banner pieces.
inline constexpr unsigned kSmallBannerLeft = 186;
inline constexpr unsigned kLargeBannerLeft = 187;
inline constexpr unsigned kSmallBannerRight = 285;
inline constexpr unsigned kLargeBannerRight = 286;

// Banner heights when the bitmaps are missing.
inline constexpr int kDefaultLargeBannerHeight = 45;
inline constexpr int kDefaultSmallBannerHeight = 32;

// Text as a decimal integer the way the C library's wide "to int" reads it:
// leading blanks, an optional sign, then digits up to the first other
// character; no digits reads 0, and values beyond int are clamped.
int ParseDecimal(std::wstring_view text);

// The style 0..3 from string 22051; a missing string or a value out of range
// gives 0.
int ParseStyle(std::optional<std::wstring_view> text);

// The host flags with the style's banner placement added, when the caller
// gave neither 0x80 nor 0x100: style 0 adds 0x80, 1 adds 0x100, 2 adds 0x200,
// 3 adds nothing.
std::uint32_t AddStyleBit(std::uint32_t flags, int style);

enum class BannerSize { kNone, kSmall, kLarge };

struct BannerChoice {
    BannerSize size = BannerSize::kNone;
    bool both = false;   // left and right piece, both must load
    bool right = false;  // the single piece against the right edge
    unsigned left_bitmap = 0;
    unsigned right_bitmap = 0;
};

// What the background painter draws for these flags (style bit included).
BannerChoice ChooseBanner(std::uint32_t flags);

}  // namespace olvex::dlgframe

// The language file "langv5.dat": the risk, advice and threat texts of each
// pest category, by language, in the style of an initialisation file:
//
//     [English]
//     Adware_Risk=Medium
//     Adware_Advice=Remove it.
//
// A section starts at a line holding "[<language>]"; a line whose first
// character is "[" ends it. Matching ignores case, and the texts come back
// lower-cased, as every line is lower-cased before it is searched.
#pragma once

#include <string>
#include <string_view>

#include "olvex/core/multibyte_text.h"

namespace olvex {

inline constexpr std::string_view kLanguageFileName = "langv5.dat";

// Lines are read up to this many characters; the rest of a longer line is
// passed over, never read as a line of its own.
inline constexpr std::size_t kLanguageLineLimit = 4094;

enum class LanguageTextStatus {
    kFound,
    kCannotOpen,  // the file cannot be opened or read
    kNoSection,   // no line holds "[<language>]"
    kNoKey,       // the section has no line for the key
};

struct LanguageText {
    LanguageTextStatus status = LanguageTextStatus::kNoKey;
    std::string text;  // lower-case, without surrounding white space, when found
};

// The text of "<category>_<kind>" (kind "Risk", "Advice" or "Threat") in the
// language's section. A line gives it when the key before its first "=",
// without surrounding white space, is exactly that key (ignoring case): so
// a category "Ware" does not take the line of "Adware". The text is what
// follows that "=", white space removed from both ends.
LanguageText FindLanguageText(const std::string& path, std::string_view language,
                              std::string_view category, std::string_view kind,
                              const MultiByteText& mb);

}  // namespace olvex

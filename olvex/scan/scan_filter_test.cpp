// The scan filters: the wildcard rule, parsing the filter string and the
// verdict on paths, as tables.
#include "olvex/scan/scan_filter.h"

#include <gtest/gtest.h>

#include <string>

namespace olvex {
namespace {

const MultiByteText& Single() {
    static const MultiByteText single = MultiByteText::SingleByte();
    return single;
}

TEST(WildcardMatchTest, Table) {
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
    };
    const Case cases[] = {
        {"*.EXE", "C:\\DIR\\A.EXE", true},
        {"*.EXE", "C:\\DIR\\A.EXE.TXT", false},
        {"*.*", "README", false},  // the filter list's no-extension rule is separate
        {"*", "", true},
        {"", "", true},
        {"", "A", false},
        {"A?C", "ABC", true},
        {"A?C", "AC", false},
        {"A*", "A", true},
        {"A**", "A", true},
        {"*A*B*C*", "XXAYYBZZC", true},
        {"*A*B*C*D", "XXAYYBZZC", false},
        {"?", "", false},
        {"C:\\*\\*.DLL", "C:\\WIN\\SYS\\X.DLL", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.text, Single()), c.matches)
            << c.pattern << " / " << c.text;
}

TEST(WildcardMatchTest, ManyStarsStayFast) {
    // A backtracking matcher without the single-star rule would take
    // exponential time here.
    const std::string pattern(40, '*');
    const std::string text(5000, 'A');
    EXPECT_FALSE(WildcardMatch(pattern + "B", text, Single()));
    EXPECT_TRUE(WildcardMatch(pattern + "A", text, Single()));
}

TEST(WildcardMatchTest, DoubleByteCharactersAreOneCharacter) {
    const auto sjis = MultiByteText::ForCodePage(932);
    // 0x83 0x5C is one character whose trail byte is a backslash.
    const std::string text = "\x83\x5C.EXE";
    EXPECT_TRUE(WildcardMatch("?.EXE", text, sjis));
    EXPECT_FALSE(WildcardMatch("??.EXE", text, sjis));
    EXPECT_FALSE(WildcardMatch("*\\.EXE", text, sjis));
    // Upper-casing leaves a trail byte alone even when it is a letter.
    EXPECT_EQ(UpperCaseText("\x83\x61x", sjis), "\x83\x61X");
}

TEST(ScanFilterListTest, ParsesPiecesAndUpperCases) {
    ScanFilterList list(Single());
    EXPECT_TRUE(list.Parse("*.exe;;!*.txt;"));
    EXPECT_EQ(list.Patterns(), (std::vector<std::string>{"*.EXE", "!*.TXT"}));
    EXPECT_TRUE(list.Parse(""));
    EXPECT_TRUE(list.Patterns().empty());
    EXPECT_FALSE(list.Matches("C:\\A.EXE"));  // an empty list lets nothing through
}

TEST(ScanFilterListTest, OverlongPieceEndsTheParseWithTheDefault) {
    ScanFilterList list(Single());
    const std::string longest(259, 'a');
    EXPECT_TRUE(list.Parse(longest));
    EXPECT_FALSE(list.Parse("*.dll;" + std::string(260, 'a') + ";*.exe"));
    EXPECT_EQ(list.Patterns(), (std::vector<std::string>{"*.DLL", "*.*"}));
}

TEST(ScanFilterListTest, VerdictTable) {
    struct Case {
        const char* filters;
        const char* path;
        bool scanned;
    };
    const Case cases[] = {
        {"*.*", "C:\\dir\\a.exe", true},
        {"*.*", "C:\\dir\\README", true},   // no extension: "*.*" lets it through
        {"*.*", "C:\\dir\\README.", true},  // a dot only at the end counts as none
        {"*.EXE", "C:\\dir\\a.exe", true},
        {"*.EXE", "C:\\dir\\b.txt", false},
        {"*.EXE", "C:\\dir\\README", false},
        {"*.*;!*.TXT", "C:\\dir\\a.exe", true},
        {"*.*;!*.TXT", "C:\\dir\\b.txt", false},
        {"*.*;!*.TXT", "C:\\dir\\README", true},
        // A negative pattern ends the walk only when it matches; a later
        // positive one that fails does not clear an earlier match.
        {"!*.TXT;*.*", "C:\\dir\\b.txt", false},
        {"*.EXE;*.DLL", "C:\\dir\\a.exe", true},
        // Without an extension the first pattern holding ".*" decides, even
        // a negative one: it lets the file through.
        {"!*.*", "C:\\dir\\README", true},
        {"!*.*", "C:\\dir\\a.exe", false},
        // "!" alone is a plain pattern that only matches "!".
        {"!", "!", true},
        // The whole path is matched, folders included.
        {"C:\\DIR\\*", "c:\\dir\\a.exe", true},
        {"C:\\OTHER\\*", "c:\\dir\\a.exe", false},
    };
    for (const auto& c : cases) {
        ScanFilterList list(Single());
        list.Parse(c.filters);
        EXPECT_EQ(list.Matches(c.path), c.scanned) << c.filters << " / " << c.path;
    }
}

TEST(ScanFilterTest, CookieNamesAndFileNames) {
    EXPECT_TRUE(IsCookieFileName("user@site[1].txt", Single()));
    EXPECT_TRUE(IsCookieFileName("USER@SITE[1].TXT", Single()));
    EXPECT_FALSE(IsCookieFileName("usersite[1].txt", Single()));
    EXPECT_FALSE(IsCookieFileName("user@site[1].dat", Single()));
    EXPECT_EQ(FileNameOfPath("C:\\a\\b.txt", Single()), "b.txt");
    EXPECT_EQ(FileNameOfPath("b.txt", Single()), "b.txt");
}

}  // namespace
}  // namespace olvex

#include "olvex/core/multibyte_text.h"

#include <gtest/gtest.h>

#include <string>

namespace olvex {
namespace {

TEST(MultiByteText, LeadBytesOfTheDoubleByteCodePages) {
    const auto sjis = MultiByteText::ForCodePage(932);
    for (unsigned b : {0x81u, 0x9Fu, 0xE0u, 0xFCu})
        EXPECT_TRUE(sjis.IsLeadByte(static_cast<unsigned char>(b))) << b;
    for (unsigned b : {0x00u, 0x5Cu, 0x80u, 0xA0u, 0xDFu, 0xFDu, 0xFFu})
        EXPECT_FALSE(sjis.IsLeadByte(static_cast<unsigned char>(b))) << b;
    for (unsigned cp : {936u, 949u, 950u}) {
        const auto mb = MultiByteText::ForCodePage(cp);
        EXPECT_TRUE(mb.IsLeadByte(0x81) && mb.IsLeadByte(0xFE)) << cp;
        EXPECT_FALSE(mb.IsLeadByte(0x80) || mb.IsLeadByte(0xFF) || mb.IsLeadByte('"')) << cp;
    }
    const auto western = MultiByteText::ForCodePage(1252);
    for (unsigned b = 0; b < 256; ++b)
        EXPECT_FALSE(western.IsLeadByte(static_cast<unsigned char>(b)));
}

TEST(MultiByteText, TakesAnInjectedPredicate) {
    const MultiByteText mb([](unsigned char b) { return b == '#'; });
    EXPECT_TRUE(mb.IsLeadByte('#'));
    EXPECT_FALSE(mb.IsLeadByte('a'));
    // "#\"" is one character, so the only quote found is the last byte.
    EXPECT_EQ(mb.Find("a#\"b\"", '"'), 4u);
    EXPECT_FALSE(mb.EndsOnCharBoundary("ab#"));
    EXPECT_TRUE(mb.EndsOnCharBoundary("a#b"));
}

TEST(MultiByteText, SearchesTrimsAndFoldsByCharacter) {
    const auto sjis = MultiByteText::ForCodePage(932);
    const auto single = MultiByteText::SingleByte();
    // 0x83 0x5C and 0x83 0x41 are single characters in code page 932.
    const std::string path =
        "C:\\\x83\\\x83"
        "A";
    EXPECT_EQ(sjis.FindLast(path, '\\'), 2u);
    EXPECT_EQ(single.FindLast(path, '\\'), 4u);
    EXPECT_EQ(sjis.Find(path, 'A'), std::string::npos);
    EXPECT_EQ(single.Find(path, 'A'), 6u);
    EXPECT_EQ(sjis.Lower(path),
              "c:\\\x83\\\x83"
              "A");
    EXPECT_EQ(single.Lower(path),
              "c:\\\x83\\\x83"
              "a");
    EXPECT_FALSE(sjis.Contains(path, "A"));
    EXPECT_TRUE(sjis.Contains(path,
                              "\x83"
                              "A"));
    EXPECT_TRUE(sjis.Contains(path, ""));

    EXPECT_EQ(sjis.Trim(" \t\r\n\v\fa b \t"), "a b");
    EXPECT_EQ(sjis.Trim("   "), "");
    EXPECT_EQ(sjis.Trim(""), "");
    // A lead byte before a trailing blank takes that blank as its trail.
    EXPECT_EQ(sjis.Trim(" a\x82 "), "a\x82 ");
    EXPECT_EQ(single.Trim(" a\x82 "), "a\x82");
    EXPECT_EQ(sjis.CharLength("\x82", 0), 1u);
    EXPECT_FALSE(sjis.EndsOnCharBoundary("a\x82"));
    EXPECT_TRUE(sjis.EndsOnCharBoundary("\x82\x82"));
    EXPECT_TRUE(sjis.EndsOnCharBoundary(""));
}

}  // namespace
}  // namespace olvex

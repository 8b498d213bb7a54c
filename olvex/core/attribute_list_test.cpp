#include "olvex/core/attribute_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex {
namespace {

std::vector<AttributePair> PairsOf(const AttributeList& list) {
    return {list.Pairs().begin(), list.Pairs().end()};
}

// The rebuilt text reads back as the list it was built from.
void ExpectReadsBack(const AttributeList& list, const MultiByteText& mb) {
    AttributeList reread(mb);
    reread.SetString(list.GetString());
    EXPECT_EQ(PairsOf(reread), PairsOf(list)) << list.GetString();
}

TEST(AttributeList, SetAttributeValueLowersAndRebuildsBackToBack) {
    const auto mb = MultiByteText::SingleByte();
    AttributeList item(mb);
    ASSERT_TRUE(item.SetAttributeValue("PestId", "12"));
    ASSERT_TRUE(item.SetAttributeValue("Category", "Adware"));
    EXPECT_EQ(item.GetString(), R"(pestid "12"category "adware")");
    EXPECT_EQ(item.GetAttributeValue("CATEGORY"), "adware");
    ExpectReadsBack(item, mb);
}

TEST(AttributeList, StampsAfterSetStringKeepTheTextsPairsAsTheyWere) {
    // What the engine log does with an entry: the pairs given as text keep
    // their case, the stamped ones are lower case.
    const auto mb = MultiByteText::SingleByte();
    AttributeList entry(mb);
    entry.SetString(R"(Category "Adware")");
    ASSERT_TRUE(entry.SetAttributeValue("EntryId", "9"));
    ASSERT_TRUE(entry.SetAttributeValue("Date", "1/2/2006"));
    ASSERT_TRUE(entry.SetAttributeValue("Time", "10:11 AM"));
    ASSERT_TRUE(entry.SetAttributeValue("UserName", "Kim Lee"));
    EXPECT_EQ(entry.GetString(),
              R"(Category "Adware"entryid "9"date "1/2/2006"time "10:11 am"username "kim lee")");
    ExpectReadsBack(entry, mb);
}

TEST(AttributeList, SetAttributeValueReplacesTheFirstMatchInPlace) {
    const auto mb = MultiByteText::SingleByte();
    AttributeList item(mb);
    item.SetString(R"(PestId "1" Path "C:\X" pestid "2")");
    ASSERT_TRUE(item.SetAttributeValue(" PESTID ", "7"));
    EXPECT_EQ(item.GetString(), R"(PestId "7"Path "C:\X"pestid "2")");
    EXPECT_EQ(item.GetAttributeValue("pestid"), "7");
    ExpectReadsBack(item, mb);
}

TEST(AttributeList, RefusesWhatWouldNotReadBack) {
    struct Case {
        const char* what;
        std::string before;  // given with SetString
        std::string name;
        std::string value;
        unsigned code_page;
    } const cases[] = {
        {"double quote in the value", "", "Path", R"(C:\a"b)", 0},
        {"empty value", R"(PestId "1")", "Category", "", 0},
        {"line break in the value", "", "Path", "a\nb", 0},
        {"carriage return in the value", "", "Path", "a\rb", 0},
        {"NUL in the value", "", "Path", std::string("a\0b", 3), 0},
        {"tab in the value", "", "Path", "a\tb", 0},
        {"blank inside the name", "", "Pest Id", "1", 0},
        {"name only white space", "", "  ", "1", 0},
        {"double quote in the name", "", "Pe\"st", "1", 0},
        {"value ends in half a double-byte character", "", "Path", "abc\x82", 932},
        {"a pair from the text holds a quote", R"(File "a)", "PestId", "1", 0},
        {"a pair from the text holds a line break", "File \"a\nb\"", "PestId", "1", 0},
        {"replacing leaves a bad pair from the text", R"(PestId "1" File "a)", "PestId", "2", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto mb = MultiByteText::ForCodePage(c.code_page);
        AttributeList item(mb);
        item.SetString(c.before);
        const auto pairs_before = PairsOf(item);
        EXPECT_FALSE(item.SetAttributeValue(c.name, c.value));
        EXPECT_EQ(item.GetString(), c.before);
        EXPECT_EQ(PairsOf(item), pairs_before);
    }
}

TEST(AttributeList, LowerCaseLeavesDoubleByteCharactersAlone) {
    // 0x83 0x41 is one character in code page 932; its trail byte is not an A.
    AttributeList shift_jis(MultiByteText::ForCodePage(932));
    ASSERT_TRUE(shift_jis.SetAttributeValue("Path",
                                            "C:\\\x83"
                                            "A\\X"));
    EXPECT_EQ(shift_jis.GetAttributeValue("path"),
              "c:\\\x83"
              "A\\x");

    AttributeList single(MultiByteText::SingleByte());
    ASSERT_TRUE(single.SetAttributeValue("Path",
                                         "C:\\\x83"
                                         "A\\X"));
    EXPECT_EQ(single.GetAttributeValue("path"),
              "c:\\\x83"
              "a\\x");
}

}  // namespace
}  // namespace olvex

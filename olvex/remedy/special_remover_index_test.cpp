#include "olvex/remedy/special_remover_index.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(SpecialRemoverIndex, ReadsIdsAndUntrimmedTextsAndDropsLinesWithoutAnId) {
    const auto index = ParseSpecialRemoverIndex(
        "1234=a=b c\r\n"    // the text runs from the first "=" to the line end
        "=77\n"             // no id
        "abc=5\n"           // no leading digits
        "no equals sign\n"  // no "="
        "0=zero\n"          // id 0 is dropped
        "  42 = spaced \n"  // atoi skips leading blanks and stops at the blank
        "-7=negative\n"
        "99999999999=big\n"  // saturates instead of overflowing
        "1234=second\n"
        "\n"
        "8=last line without end");
    const std::vector<SpecialRemoverEntry> expected = {
        {1234, "a=b c"},     {42, " spaced "}, {-7, "negative"},
        {2147483647, "big"}, {1234, "second"}, {8, "last line without end"},
    };
    EXPECT_EQ(index, expected);
}

TEST(SpecialRemoverIndex, FindsThePestsFirstEntry) {
    const auto index = ParseSpecialRemoverIndex("5=a\n6=b\n5=c\n");
    EXPECT_EQ(FindSpecialRemoverEntry(index, 5), 0u);
    EXPECT_EQ(FindSpecialRemoverEntry(index, 6), 1u);
    EXPECT_EQ(FindSpecialRemoverEntry(index, 7), std::nullopt);
    EXPECT_EQ(FindSpecialRemoverEntry({}, 5), std::nullopt);
}

TEST(SpecialRemoverIndex, ParametersJoinThePestsTextsInIndexOrder) {
    const auto index = ParseSpecialRemoverIndex("5=first;\n6=other\n5=second;\n");
    EXPECT_EQ(ScriptedRemoverParameters(index, 5, false), "/clean /first;second;");
    EXPECT_EQ(ScriptedRemoverParameters(index, 5, true), "/clean /silent /first;second;");
    EXPECT_EQ(ScriptedRemoverParameters(index, 6, true), "/clean /silent /other");
    EXPECT_EQ(ScriptedRemoverParameters(index, 9, false), "/clean /");
}

TEST(SpecialRemoverIndex, StartErrorsHaveTheirTexts) {
    const struct {
        std::uintptr_t code;
        const char* text;
    } cases[] = {
        {0, "The system is out of resources."},
        {2, "The scripted removal application could not be found."},
        {3, "The scripted removal application path is invalid."},
        {8, "The system is out of memory."},
        {11, "The scripted removal application is corrupt."},
        {5, "The scripted removal application failed to execute."},
        {31, "The scripted removal application failed to execute."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScriptedRemoverStartError(c.code), c.text) << c.code;
}

}  // namespace
}  // namespace olvex

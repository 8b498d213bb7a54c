#include "setup/core/command_line.h"

#include <gtest/gtest.h>

#include "setup/core/setup_text.h"

namespace olvex::setup {
namespace {

std::vector<std::u16string> Texts(const ArgumentList& list) {
    std::vector<std::u16string> texts;
    for (const Argument& argument : list.arguments) {
        EXPECT_FALSE(argument.refused);
        texts.push_back(argument.text);
    }
    return texts;
}

TEST(SplitCommandLineTest, QuotesBackslashesAndBlanks) {
    struct Case {
        std::u16string text;
        std::vector<std::u16string> arguments;
    };
    const Case cases[] = {
        {u"", {}},
        {u" \t  ", {}},
        {u"/i /u", {u"/i", u"/u"}},
        {u"\t/Silent\t\t/NoReboot ", {u"/Silent", u"/NoReboot"}},
        {u"/Path=\"C:\\Program Files\\My Suite\"", {u"/Path=C:\\Program Files\\My Suite"}},
        {u"\"/Path=C:\\a b\" x", {u"/Path=C:\\a b", u"x"}},
        // Empty arguments are dropped.
        {u"a \"\" b", {u"a", u"b"}},
        {u"\"\"", {}},
        // Two quotes inside a run give one and end the run.
        {u"\"a\"\"b c\"", {u"a\"b", u"c"}},
        // A backslash before a quote gives the quote; others stay.
        {u"a\\\"b", {u"a\"b"}},
        {u"C:\\dir\\\\ x", {u"C:\\dir\\\\", u"x"}},
        {u"\"C:\\Program Files\\\" /u", {u"C:\\Program Files\" /u"}},
        {u"\"unfinished run", {u"unfinished run"}},
        {u"\u00e9t\u00e9 \u65e5\u672c", {u"\u00e9t\u00e9", u"\u65e5\u672c"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Texts(SplitCommandLine(c.text)), c.arguments) << ToUtf8(c.text);
    }
}

TEST(SplitCommandLineTest, TakesAtMost256Arguments) {
    std::u16string text;
    for (int i = 0; i < 300; ++i) {
        text += u"a" + DecimalText(i) + u" ";
    }
    const ArgumentList list = SplitCommandLine(text);
    ASSERT_EQ(list.count(), kMaxArguments);
    EXPECT_EQ(list.arguments.front().text, u"a0");
    EXPECT_EQ(list.arguments.back().text, u"a255");
}

TEST(SplitCommandLineTest, RefusesAnOverLongArgumentWholeAndKeepsTheOthers) {
    const std::u16string fits = u"/Path=C:\\" + std::u16string(kMaxArgumentLength - 9, u'a');
    ASSERT_EQ(fits.size(), kMaxArgumentLength);
    const ArgumentList accepted = SplitCommandLine(u"/i " + fits + u" /u");
    ASSERT_EQ(accepted.count(), 3u);
    EXPECT_FALSE(accepted.arguments[1].refused);
    EXPECT_EQ(accepted.arguments[1].text, fits);

    // One character more, partly inside quotes: refused, never cut to size.
    const std::u16string too_long =
        u"/Path=\"C:\\" + std::u16string(kMaxArgumentLength - 8, u'b') + u"\"";
    ArgumentList list = SplitCommandLine(u"/i " + too_long + u" /u");
    ASSERT_EQ(list.count(), 3u);
    EXPECT_EQ(list.arguments[0].text, u"/i");
    EXPECT_TRUE(list.arguments[1].refused);
    EXPECT_LT(list.arguments[1].text.size(), kMaxArgumentLength);
    EXPECT_EQ(list.arguments[1].text.substr(0, 6), u"/Path=");
    EXPECT_EQ(list.arguments[2].text, u"/u");

    FreeArgumentList(list);
    EXPECT_EQ(list.count(), 0u);
}

TEST(SplitCommandLineTest, SkipsTheProgramName) {
    EXPECT_EQ(SkipProgramName(u"\"C:\\a b\\Tramlet.exe\" /i /u"), u"/i /u");
    EXPECT_EQ(SkipProgramName(u"Tramlet.exe \t /Silent"), u"/Silent");
    EXPECT_EQ(SkipProgramName(u"Tramlet.exe"), u"");
    EXPECT_EQ(SkipProgramName(u"\"unfinished"), u"");
    EXPECT_EQ(SkipProgramName(u""), u"");
}

}  // namespace
}  // namespace olvex::setup

#include "setup/tools/standin_rules.h"

#include <gtest/gtest.h>

#include "setup/core/setup_text.h"

namespace olvex::standin {
namespace {

TEST(StandinRules, SwitchValues) {
    const std::u16string arguments =
        u"/Silent /OldProductDest=C:\\old /ProductDest=\"C:\\Program Files\\Suite\\AV\" "
        u"/M=C:\\f.txt";
    EXPECT_EQ(SwitchValue(arguments, u"/ProductDest"), u"C:\\Program Files\\Suite\\AV");
    EXPECT_EQ(SwitchValue(arguments, u"/productdest"), u"C:\\Program Files\\Suite\\AV");
    EXPECT_EQ(SwitchValue(arguments, u"/OldProductDest"), u"C:\\old");
    EXPECT_EQ(SwitchValue(arguments, u"/M"), u"C:\\f.txt");
    EXPECT_EQ(SwitchValue(arguments, u"/Missing"), std::nullopt);
    EXPECT_EQ(SwitchValue(u"/D=\"unclosed", u"/D"), u"unclosed");
    EXPECT_EQ(SwitchValue(u"/D=", u"/D"), u"");
    EXPECT_EQ(SwitchValue(u"/D=x", u""), std::nullopt);
}

TEST(StandinRules, DestinationRules) {
    const struct {
        const char16_t* rule;
        const char16_t* arguments;
        const char16_t* destination;
    } cases[] = {
        {u"switch:/ProductDest", u"/Silent /ProductDest=\"C:\\A B\" /x", u"C:\\A B"},
        {u"switch:/ProductDest", u"/Silent", u""},
        {u"after:/silent ", u"/silent C:\\Program Files\\Suite\\AS  ",
         u"C:\\Program Files\\Suite\\AS"},
        // The ini loses a trailing blank: the same result.
        {u"after:/silent", u"/SILENT C:\\Program Files\\AS", u"C:\\Program Files\\AS"},
        {u"after:/silent ", u"/silent \"C:\\Quoted Folder\"", u"C:\\Quoted Folder"},
        {u"after:/silent ", u"/quiet C:\\x", u""},
        {u"", u"/silent C:\\x", u""},
        {u"other:/x", u"/x=1", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DestinationByRule(c.rule, c.arguments), c.destination)
            << setup::ToUtf8(c.rule) << " " << setup::ToUtf8(c.arguments);
    }
}

TEST(StandinRules, StopRequestIsTheLastArgument) {
    EXPECT_TRUE(IsStopRequest(u"-k"));
    EXPECT_TRUE(IsStopRequest(u"/x -K  "));
    EXPECT_TRUE(IsStopRequest(u"/EXIT"));
    EXPECT_FALSE(IsStopRequest(u"-k /x"));
    EXPECT_FALSE(IsStopRequest(u"/exitnow"));
    EXPECT_FALSE(IsStopRequest(u""));
}

TEST(StandinRules, TheLauncherSwitchNamesThisProductsMainProgram) {
    for (const std::u16string_view arguments : {u"/t3", u"-T3", u"  /t3  ", u"/x /t3", u"/t3 /y"}) {
        const auto product = ProductForLauncherSwitch(arguments);
        ASSERT_TRUE(product.has_value()) << std::string(arguments.begin(), arguments.end());
        EXPECT_EQ(product->key, u"SOFTWARE\\Vorandel\\KelvanGorsewatch");
        EXPECT_EQ(product->folder_value, u"InstallPath");
        EXPECT_EQ(product->program, u"Gorsewatch5.exe");
    }
    // Other members' switches, a longer word or a value are no request for it.
    for (const std::u16string_view arguments :
         {u"", u"/t1", u"/t4", u"/t33", u"t3", u"/t3x", u"/Path=/t3", u"-k"}) {
        EXPECT_FALSE(ProductForLauncherSwitch(arguments).has_value())
            << std::string(arguments.begin(), arguments.end());
    }
}

TEST(StandinRules, FieldsSplitAtBars) {
    EXPECT_EQ(SplitFields(u"HKLM\\S|Name|sz|a|b", 4),
              (std::vector<std::u16string>{u"HKLM\\S", u"Name", u"sz", u"a|b"}));
    EXPECT_EQ(SplitFields(u"a||", 3), (std::vector<std::u16string>{u"a", u"", u""}));
    EXPECT_EQ(SplitFields(u"only", 1), (std::vector<std::u16string>{u"only"}));
    EXPECT_EQ(SplitFields(u"a|b", 3), std::nullopt);
}

TEST(StandinRules, Placeholders) {
    const Placeholders values{u"C:\\Dest", u"C:\\src\\av", u"C:\\windows\\system32"};
    EXPECT_EQ(ReplacePlaceholders(u"%DEST%\\a.exe|%selfdir%\\b|%SysDir%", values),
              u"C:\\Dest\\a.exe|C:\\src\\av\\b|C:\\windows\\system32");
    // Other variables are left for the system; a lone % stays.
    EXPECT_EQ(ReplacePlaceholders(u"%WINDIR%\\x 100% %DEST", values), u"%WINDIR%\\x 100% %DEST");
    // A value that itself holds a placeholder is not expanded again.
    EXPECT_EQ(ReplacePlaceholders(u"%DEST%", Placeholders{u"%SELFDIR%", u"no", u""}), u"%SELFDIR%");
}

TEST(StandinRules, AMissingDestinationIsNoticed) {
    const Placeholders none{u"", u"C:\\src", u"C:\\windows\\system32"};
    EXPECT_TRUE(NeedsMissingDestination(u"%DEST%\\old", none));
    EXPECT_TRUE(NeedsMissingDestination(u"x|%dest%", none));
    EXPECT_FALSE(NeedsMissingDestination(u"%SELFDIR%\\a", none));
    EXPECT_FALSE(NeedsMissingDestination(u"%DEST%\\old", Placeholders{u"C:\\D", u"", u""}));
}

TEST(StandinRules, WindowEnds) {
    EXPECT_EQ(ParseWindowEnds(u""), kEndOnClose | kEndOnUser100 | kEndOnDestroy);
    EXPECT_EQ(ParseWindowEnds(u"none"), 0u);
    EXPECT_EQ(ParseWindowEnds(u"NONE"), 0u);
    EXPECT_EQ(ParseWindowEnds(u"1124"), unsigned{kEndOnUser100});
    EXPECT_EQ(ParseWindowEnds(u"16, 2"), kEndOnClose | kEndOnDestroy);
    EXPECT_EQ(ParseWindowEnds(u"16,17"), std::nullopt);
    EXPECT_EQ(ParseWindowEnds(u"16,"), std::nullopt);
}

TEST(StandinRules, Dwords) {
    EXPECT_EQ(ParseDword(u"0"), 0u);
    EXPECT_EQ(ParseDword(u"4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDword(u"0x1F"), 0x1Fu);
    EXPECT_EQ(ParseDword(u"0XffffFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDword(u"4294967296"), std::nullopt);
    EXPECT_EQ(ParseDword(u"0x100000000"), std::nullopt);
    EXPECT_EQ(ParseDword(u"-1"), std::nullopt);
    EXPECT_EQ(ParseDword(u"0x"), std::nullopt);
    EXPECT_EQ(ParseDword(u""), std::nullopt);
    EXPECT_EQ(ParseDword(u"12a"), std::nullopt);
}

}  // namespace
}  // namespace olvex::standin

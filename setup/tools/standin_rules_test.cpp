#include "setup/tools/standin_rules.h"

#include <gtest/gtest.h>

namespace olvex::standin {
namespace {

TEST(StandinRules, ArgumentsFollowTheProgramName) {
    const struct {
        const wchar_t* line;
        const wchar_t* arguments;
    } cases[] = {
        {L"\"C:\\Program Files\\x\\setup.exe\" /Silent /a", L"/Silent /a"},
        {L"setup.exe   /Silent", L"/Silent"},
        {L"setup.exe", L""},
        {L"\"C:\\unclosed quote /Silent", L""},
        {L"  \"C:\\a b\\z.exe\"/u_silent", L"/u_silent"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArgumentsOf(c.line), c.arguments) << c.line;
    }
}

TEST(StandinRules, SwitchValues) {
    const std::wstring arguments =
        L"/Silent /OldProductDest=C:\\old /ProductDest=\"C:\\Program Files\\Suite\\AV\" "
        L"/M=C:\\f.txt";
    EXPECT_EQ(SwitchValue(arguments, L"/ProductDest"), L"C:\\Program Files\\Suite\\AV");
    EXPECT_EQ(SwitchValue(arguments, L"/productdest"), L"C:\\Program Files\\Suite\\AV");
    EXPECT_EQ(SwitchValue(arguments, L"/OldProductDest"), L"C:\\old");
    EXPECT_EQ(SwitchValue(arguments, L"/M"), L"C:\\f.txt");
    EXPECT_EQ(SwitchValue(arguments, L"/Missing"), std::nullopt);
    EXPECT_EQ(SwitchValue(L"/D=\"unclosed", L"/D"), L"unclosed");
    EXPECT_EQ(SwitchValue(L"/D=", L"/D"), L"");
    EXPECT_EQ(SwitchValue(L"/D=x", L""), std::nullopt);
}

TEST(StandinRules, DestinationRules) {
    const struct {
        const wchar_t* rule;
        const wchar_t* arguments;
        const wchar_t* destination;
    } cases[] = {
        {L"switch:/ProductDest", L"/Silent /ProductDest=\"C:\\A B\" /x", L"C:\\A B"},
        {L"switch:/ProductDest", L"/Silent", L""},
        {L"after:/silent ", L"/silent C:\\Program Files\\Suite\\AS  ",
         L"C:\\Program Files\\Suite\\AS"},
        // The ini loses a trailing blank: the same result.
        {L"after:/silent", L"/SILENT C:\\Program Files\\AS", L"C:\\Program Files\\AS"},
        {L"after:/silent ", L"/silent \"C:\\Quoted Folder\"", L"C:\\Quoted Folder"},
        {L"after:/silent ", L"/quiet C:\\x", L""},
        {L"", L"/silent C:\\x", L""},
        {L"other:/x", L"/x=1", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DestinationByRule(c.rule, c.arguments), c.destination)
            << c.rule << " " << c.arguments;
    }
}

TEST(StandinRules, StopRequestIsTheLastArgument) {
    EXPECT_TRUE(IsStopRequest(L"-k"));
    EXPECT_TRUE(IsStopRequest(L"/x -K  "));
    EXPECT_TRUE(IsStopRequest(L"/EXIT"));
    EXPECT_FALSE(IsStopRequest(L"-k /x"));
    EXPECT_FALSE(IsStopRequest(L"/exitnow"));
    EXPECT_FALSE(IsStopRequest(L""));
}

TEST(StandinRules, FieldsSplitAtBars) {
    EXPECT_EQ(SplitFields(L"HKLM\\S|Name|sz|a|b", 4),
              (std::vector<std::wstring>{L"HKLM\\S", L"Name", L"sz", L"a|b"}));
    EXPECT_EQ(SplitFields(L"a||", 3), (std::vector<std::wstring>{L"a", L"", L""}));
    EXPECT_EQ(SplitFields(L"only", 1), (std::vector<std::wstring>{L"only"}));
    EXPECT_EQ(SplitFields(L"a|b", 3), std::nullopt);
}

TEST(StandinRules, Placeholders) {
    const Placeholders values{L"C:\\Dest", L"C:\\src\\av", L"C:\\windows\\system32"};
    EXPECT_EQ(ReplacePlaceholders(L"%DEST%\\a.exe|%selfdir%\\b|%SysDir%", values),
              L"C:\\Dest\\a.exe|C:\\src\\av\\b|C:\\windows\\system32");
    // Other variables are left for the system; a lone % stays.
    EXPECT_EQ(ReplacePlaceholders(L"%WINDIR%\\x 100% %DEST", values), L"%WINDIR%\\x 100% %DEST");
    // A value that itself holds a placeholder is not expanded again.
    EXPECT_EQ(ReplacePlaceholders(L"%DEST%", Placeholders{L"%SELFDIR%", L"no", L""}), L"%SELFDIR%");
}

TEST(StandinRules, WindowEnds) {
    EXPECT_EQ(ParseWindowEnds(L""), kEndOnClose | kEndOnUser100 | kEndOnDestroy);
    EXPECT_EQ(ParseWindowEnds(L"none"), 0u);
    EXPECT_EQ(ParseWindowEnds(L"NONE"), 0u);
    EXPECT_EQ(ParseWindowEnds(L"1124"), unsigned{kEndOnUser100});
    EXPECT_EQ(ParseWindowEnds(L"16, 2"), kEndOnClose | kEndOnDestroy);
    EXPECT_EQ(ParseWindowEnds(L"16,17"), std::nullopt);
    EXPECT_EQ(ParseWindowEnds(L"16,"), std::nullopt);
}

TEST(StandinRules, Dwords) {
    EXPECT_EQ(ParseDword(L"0"), 0u);
    EXPECT_EQ(ParseDword(L"4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDword(L"0x1F"), 0x1Fu);
    EXPECT_EQ(ParseDword(L"0XffffFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDword(L"4294967296"), std::nullopt);
    EXPECT_EQ(ParseDword(L"0x100000000"), std::nullopt);
    EXPECT_EQ(ParseDword(L"-1"), std::nullopt);
    EXPECT_EQ(ParseDword(L"0x"), std::nullopt);
    EXPECT_EQ(ParseDword(L""), std::nullopt);
    EXPECT_EQ(ParseDword(L"12a"), std::nullopt);
}

}  // namespace
}  // namespace olvex::standin

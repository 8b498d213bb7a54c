#include "setup/core/path_text.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "setup/core/setup_text.h"

namespace olvex::setup::util {
namespace {

TEST(PathTextTest, AppendPathKeepsOneBackslash) {
    struct Case {
        std::u16string folder;
        std::optional<std::u16string> sub;
        std::optional<std::u16string> result;
    };
    const Case cases[] = {
        {u"C:\\X\\", u"\\\\Y", u"C:\\X\\Y"}, {u"C:\\X", u"Y\\z.exe", u"C:\\X\\Y\\z.exe"},
        {u"C:\\", u"Y", u"C:\\Y"},           {u"C:\\X", std::nullopt, u"C:\\X"},
        {u"C:\\X", u"", u"C:\\X\\"},         {u"", u"Y", u"Y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AppendPath(c.folder, c.sub), c.result) << ToUtf8(c.folder);
    }
    // 259 characters fit a 260-character buffer, 260 do not.
    const std::u16string folder = u"C:\\" + std::u16string(250, u'a');
    EXPECT_EQ(AppendPath(folder, u"bbbbb")->size(), 259u);
    EXPECT_FALSE(AppendPath(folder, u"bbbbbb"));
    EXPECT_TRUE(AppendPath(folder, u"bbbbbb", 261));
}

TEST(PathTextTest, TrimsAndCuts) {
    const std::pair<std::u16string, std::u16string> trim_path_end[] = {
        {u"C:\\", u"C:\\"},
        {u"C:\\X\\ \\", u"C:\\X"},
        {u"C:\\X\\\\", u"C:\\X"},
        {u"\\", u"\\"},
        {u"C:\\X \t\u3000", u"C:\\X"},
        {u"C:\\X", u"C:\\X"},
        {u"C:\\ \\", u"C:\\"},
        {u"", u""},
    };
    for (const auto& [text, trimmed] : trim_path_end) {
        std::u16string path = text;
        TrimPathEnd(path);
        EXPECT_EQ(path, trimmed) << ToUtf8(text);
    }

    std::u16string text = u"  \t x y \u00a0 ";
    TrimLeadingSpaces(text);
    EXPECT_EQ(text, u"x y \u00a0 ");
    TrimTrailingSpaces(text);
    EXPECT_EQ(text, u"x y");
    text = u"\\\\server\\\\";
    TrimTrailingBackslashes(text);
    EXPECT_EQ(text, u"\\\\server");
    TrimLeadingChar(text, u'\\');
    EXPECT_EQ(text, u"server");
    TrimTrailingChar(text, u'r');
    EXPECT_EQ(text, u"serve");

    std::u16string path = u"C:\\dir\\setup.exe";
    EXPECT_TRUE(CutTrailingChar(path, u'\\'));
    EXPECT_EQ(path, u"C:\\dir");
    EXPECT_FALSE(CutTrailingChar(path, u'/'));
    EXPECT_EQ(path, u"C:\\dir");

    EXPECT_EQ(FindChar(u"a.b.c", u'.'), 1u);
    EXPECT_EQ(FindLastChar(u"a.b.c", u'.'), 3u);
    EXPECT_EQ(FindChar(u"abc", 0), 3u);
    EXPECT_EQ(FindChar(u"abc", u'x'), std::u16string_view::npos);

    EXPECT_EQ(FileNamePart(u"C:\\dir\\xjcu_007.exe"), u"xjcu_007.exe");
    EXPECT_EQ(FileNamePart(u"setup.exe"), u"setup.exe");
    EXPECT_EQ(FolderPart(u"C:\\dir\\xjcu_007.exe"), u"C:\\dir");
    EXPECT_EQ(FolderPart(u"setup.exe"), u"");

    std::u16string full = std::u16string(258, u'a');
    EXPECT_TRUE(EnsureTrailingChar(full, u'\\'));
    EXPECT_EQ(full.size(), 259u);
    EXPECT_TRUE(EnsureTrailingChar(full, u'\\'));  // already there
    full.push_back(u'x');
    EXPECT_FALSE(EnsureTrailingChar(full, u'\\'));
}

TEST(PathTextTest, ParseDecimalTakesLeadingDigits) {
    EXPECT_EQ(ParseDecimal(u"123abc"), 123u);
    EXPECT_EQ(ParseDecimal(u"abc"), 0u);
    EXPECT_EQ(ParseDecimal(u" 5"), 0u);
    EXPECT_EQ(ParseDecimal(u"4294967295"), 4294967295u);
    EXPECT_EQ(ParseDecimal(u"99999999999999999999"), 4294967295u);
}

TEST(PathTextTest, CompareVersionsNamesTheFirstDifferingNumber) {
    struct Case {
        std::u16string a, b;
        int result;
    };
    const Case cases[] = {
        {u"1.2.3", u"1.2.3", 0},
        {u"1.2", u"1.2.0.0", 0},
        {u"1.2", u"1.3", -2},
        {u"2.0", u"1.9", 1},
        {u"5.6.7.4", u"5.6.7.10", -4},
        {u"10", u"9", 1},
        {u"v5.6 build 7", u"5.6.7", 0},
        {u"", u"0", 0},
        {u"", u"1", -1},
        {u"5,6,7,4", u"5.6.7.4", 0},
        {u"1.0.0.1", u"1", 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareVersions(c.a, c.b), c.result) << ToUtf8(c.a) << " / " << ToUtf8(c.b);
    }
}

MacroLookups FakeMacros(std::map<std::u16string, std::u16string> environment,
                        bool windows_found = true) {
    MacroLookups lookups;
    lookups.environment = [environment](std::u16string_view name) -> std::optional<std::u16string> {
        for (const auto& [key, value] : environment) {
            if (EqualsNoCase(key, name)) {
                return value;
            }
        }
        return std::nullopt;
    };
    lookups.windows_folder = [windows_found]() -> std::optional<std::u16string> {
        if (!windows_found) {
            return std::nullopt;
        }
        return u"C:\\WINDOWS";
    };
    lookups.system_folder = [] { return std::optional<std::u16string>(u"C:\\WINDOWS\\System32"); };
    lookups.windows_drive = [] { return std::optional<std::u16string>(u"C:"); };
    return lookups;
}

TEST(PathTextTest, ExpandSystemMacros) {
    std::map<std::u16string, std::u16string> environment = {
        {u"ProgramFiles", u"C:\\Program Files"}, {u"A", u"%A%"}, {u"B", u"%C%\\b"}, {u"C", u"c"},
        {u"Big", std::u16string(1500, u'x')},
    };
    // A chain of variables, each naming the next.
    for (int i = 0; i < 10; ++i) {
        environment[u"L" + DecimalText(i)] = u"%L" + DecimalText(i + 1) + u"%";
    }
    environment[u"L10"] = u"end";
    const MacroLookups lookups = FakeMacros(environment);
    struct Case {
        std::u16string text;
        std::optional<std::u16string> result;
    };
    const Case cases[] = {
        {u"%ProgramFiles%\\X", u"C:\\Program Files\\X"},
        {u"%SystemRoot%\\x;%SYSTEMPATH%;%systemdrive%", u"C:\\WINDOWS\\x;C:\\WINDOWS\\System32;C:"},
        {u"%Unknown%x", u"x"},
        {u"50% off", u"50% off"},
        {u"a%%b", u"ab"},
        {u"%B%", u"c\\b"},
        {u"%A%", std::nullopt},
        {u"%L3%", u"end"},  // eight values, one inside the other
        {u"%L2%", std::nullopt},
        {u"%Big%", std::u16string(1500, u'x')},
        {u"%Big%%Big%", std::nullopt},
        {std::u16string(2049, u'y'), std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpandSystemMacros(c.text, lookups), c.result) << ToUtf8(c.text.substr(0, 40));
    }
    // A folder that cannot be had fails the text that needs it only.
    const MacroLookups no_windows = FakeMacros({}, false);
    EXPECT_FALSE(ExpandSystemMacros(u"%SystemRoot%\\x", no_windows));
    EXPECT_EQ(ExpandSystemMacros(u"%SystemDrive%\\x", no_windows), u"C:\\x");
}

PathLookups FakePaths() {
    PathLookups lookups;
    lookups.expand = [](std::u16string_view text) -> std::optional<std::u16string> {
        std::u16string out(text);
        const std::u16string macro = u"%SystemRoot%";
        if (const size_t at = out.find(macro); at != std::u16string::npos) {
            out.replace(at, macro.size(), u"C:\\WINDOWS");
        }
        return out;
    };
    lookups.short_form = [](std::u16string_view text) -> std::optional<std::u16string> {
        const std::pair<std::u16string, std::u16string> known[] = {
            {u"C:\\Program Files", u"C:\\PROG~FBU"},
            {u"C:\\Documents and Settings", u"C:\\DOCUME~1"},
        };
        for (const auto& [long_form, short_form] : known) {
            if (StartsWithNoCase(text, long_form)) {
                return short_form + std::u16string(text.substr(long_form.size()));
            }
        }
        return std::u16string(text);
    };
    return lookups;
}

TEST(PathTextTest, ComparePathsInAllFormsOnComponentBoundaries) {
    const PathLookups lookups = FakePaths();
    struct Case {
        std::u16string path, reference;
        bool exact, result;
    };
    const Case cases[] = {
        {u"C:\\WINDOWS", u"C:\\WINDOWS", true, true},
        {u"c:\\windows", u"C:\\WINDOWS", true, true},
        {u"C:\\WINDOWS\\x", u"C:\\WINDOWS", true, false},
        {u"C:\\WINDOWS\\x", u"C:\\WINDOWS", false, true},
        {u"C:\\WINDOWS", u"C:\\WINDOWS", false, true},
        {u"C:\\WINDOWSAPPS", u"C:\\WINDOWS", false, false},
        {u"C:\\WINDOWS\\x", u"C:\\WINDOWS\\", false, true},
        {u"C:\\WINDOWS\\x", u"%SystemRoot%", false, true},
        {u"%SystemRoot%\\x", u"C:\\WINDOWS", false, true},
        {u"C:\\PROG~FBU", u"C:\\Program Files", true, true},
        {u"C:\\Program Files", u"C:\\PROG~FBU", true, true},
        {u"C:\\DOCUME~1\\x", u"C:\\Documents and Settings", false, true},
        {u"C:\\PROG~FBUX", u"C:\\Program Files", false, false},
        {u"", u"C:\\WINDOWS", true, true},
        {u"C:\\x", u"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComparePaths(c.path, c.reference, c.exact, lookups), c.result)
            << ToUtf8(c.path) << " / " << ToUtf8(c.reference) << (c.exact ? " exact" : " in");
    }
}

TEST(PathTextTest, NumberedAndSiblingNames) {
    EXPECT_EQ(FormatNumberedName(u"xjcu_%03d.exe", 7), u"xjcu_007.exe");
    EXPECT_EQ(FormatNumberedName(u"xjcu_%03d.exe", 1234), u"xjcu_1234.exe");
    EXPECT_EQ(FormatNumberedName(u"%d%%x%d", 5), u"5%%x%d");
    EXPECT_EQ(FormatNumberedName(u"a%sb%4u", 5), u"a%sb   5");

    std::set<std::u16string> taken = {u"xjcu_001.exe", u"xjcu_002.exe"};
    const auto exists = [&](const std::u16string& name) { return taken.count(name) > 0; };
    EXPECT_EQ(FindUnusedNumberedName(u"xjcu_%03d.exe", 1, 999, exists), u"xjcu_003.exe");
    EXPECT_FALSE(FindUnusedNumberedName(u"xjcu_%03d.exe", 1, 2, exists));

    taken = {u"C:\\a.b\\file.1", u"C:\\a.b\\file.2"};
    EXPECT_EQ(UnusedSiblingName(u"C:\\a.b\\file", exists), u"C:\\a.b\\file.3");
    EXPECT_EQ(UnusedSiblingName(u"C:\\dir\\setup.exe", exists), u"C:\\dir\\setup.1");
    EXPECT_EQ(UnusedSiblingName(u"C:\\dir\\archive.tar.gz", exists), u"C:\\dir\\archive.tar.1");
    EXPECT_FALSE(UnusedSiblingName(u"C:\\x", [](const std::u16string&) { return true; }));
}

TEST(PathTextTest, BuildCommandLineQuotesTheProgram) {
    EXPECT_EQ(BuildCommandLine(u"C:\\Program Files\\Suite", u"xjuninst.exe", u"/u", 260),
              u"\"C:\\Program Files\\Suite\\xjuninst.exe\" /u");
    EXPECT_EQ(BuildCommandLine(u"C:\\Suite\\", u"trombo.exe", u"", 260),
              u"\"C:\\Suite\\trombo.exe\"");
    EXPECT_FALSE(BuildCommandLine(u"C:\\Suite", u"trombo.exe", std::u16string(300, u'x'), 260));
    EXPECT_FALSE(BuildCommandLine(u"C:\\" + std::u16string(260, u'x'), u"a.exe", u"", 260));
}

}  // namespace
}  // namespace olvex::setup::util

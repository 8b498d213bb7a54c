#include "setup/package/package_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace olvex::setup::package {
namespace {

using Args = std::vector<std::u16string>;

// The C runtime's documented rules, written out plainly as a second
// opinion: every case is checked against both.
Args RuntimeReference(std::u16string_view line) {
    Args out;
    std::u16string current;
    bool in_argument = false;
    bool quoted = false;
    size_t slashes = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
        const char16_t c = i < line.size() ? line[i] : u'\0';
        if (c == u'\\') {
            ++slashes;
            in_argument = true;
            continue;
        }
        if (c == u'"') {
            current.append(slashes / 2, u'\\');
            in_argument = true;
            if (slashes % 2 == 1) {
                current += u'"';
            } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
                current += u'"';
                ++i;
            } else {
                quoted = !quoted;
            }
            slashes = 0;
            continue;
        }
        current.append(slashes, u'\\');
        slashes = 0;
        if (c == u'\0' || ((c == u' ' || c == u'\t') && !quoted)) {
            if (in_argument) {
                out.push_back(current);
            }
            current.clear();
            in_argument = false;
            continue;
        }
        current += c;
        in_argument = true;
    }
    return out;
}

TEST(SplitArguments, FollowsTheRuntimesQuotingRules) {
    struct Case {
        std::u16string_view line;
        Args expected;
    };
    const Case cases[] = {
        {u"", {}},
        {u"  a \t b  ", {u"a", u"b"}},
        {u"\"a b\" c", {u"a b", u"c"}},
        {u"a\\\\b", {u"a\\\\b"}},        // backslashes without a quote stay
        {u"a\\\"b", {u"a\"b"}},          // \" is a quote character
        {u"a\\\\\"b c\"", {u"a\\b c"}},  // \\" is a backslash, then a quote opens
        {u"a\\\\\\\"b", {u"a\\\"b"}},    // \\\" is a backslash and a quote
        {u"\"a\"\"b\"", {u"a\"b"}},      // a doubled quote inside quotes
        {u"\"\"", {u""}},                // an empty quoted argument
        {u"\"C:\\Program Files\\\\\"", {u"C:\\Program Files\\"}},
        {u"/v\"INSTALLDIR=\\\"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Gorsewatch\\\" "
         u"NOUPDATE=Yes REBOOT=ReallySuppress /qn\"",
         {u"/vINSTALLDIR=\"C:\\Program Files\\Kelvan Suite Personal\\Kelvan Gorsewatch\" "
          u"NOUPDATE=Yes REBOOT=ReallySuppress /qn"}},
    };
    for (const Case& c : cases) {
        const std::string shown(c.line.begin(), c.line.end());
        EXPECT_EQ(SplitArguments(c.line), c.expected) << shown;
        EXPECT_EQ(RuntimeReference(c.line), c.expected) << shown;
    }
}

TEST(SkipProgramName, LeavesTheArguments) {
    EXPECT_EQ(SkipProgramName(u"\"C:\\a b\\Gorsewatch.exe\"  /v\"X=1\""), u"/v\"X=1\"");
    EXPECT_EQ(SkipProgramName(u"Gorsewatch.exe /v\"X=1\""), u"/v\"X=1\"");
    EXPECT_EQ(SkipProgramName(u"Gorsewatch.exe"), u"");
    EXPECT_EQ(SkipProgramName(u"\"C:\\never closed"), u"");
}

TEST(InstallerProperties, TakesTheTextOfEveryVArgument) {
    EXPECT_EQ(InstallerProperties({}), std::nullopt);
    EXPECT_EQ(InstallerProperties({u"/qn", u"verbose"}), std::nullopt);
    EXPECT_EQ(InstallerProperties({u"/vA=1 /qn"}), u"A=1 /qn");
    EXPECT_EQ(InstallerProperties({u"-VA=1", u"/x", u"/vB=2"}), u"A=1 B=2");
    EXPECT_EQ(InstallerProperties({u"/v"}), u"");
}

TEST(InstallerArguments, ReinstallsAnInstalledProductWhole) {
    EXPECT_EQ(
        InstallerArguments(u"C:\\src\\qz\\Gorsewatch.msi", u"INSTALLDIR=\"C:\\x\" /qn", false),
        u"/i \"C:\\src\\qz\\Gorsewatch.msi\" INSTALLDIR=\"C:\\x\" /qn");
    EXPECT_EQ(InstallerArguments(u"C:\\p.msi", u"", true),
              u"/i \"C:\\p.msi\" REINSTALL=ALL REINSTALLMODE=vomus");
}

}  // namespace
}  // namespace olvex::setup::package

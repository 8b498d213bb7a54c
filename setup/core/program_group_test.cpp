#include "setup/core/program_group.h"

#include <gtest/gtest.h>

#include "setup/core/setup_test_support.h"

namespace olvex::setup {
namespace {

TEST(ProgramGroupTest, OnlyFoldersBelowTheProgramsFolderAreAccepted) {
    struct Case {
        std::u16string group;
        bool accepted;
    };
    const Case cases[] = {
        {u"Kelvan Security Suite", true},
        {u"Kelvan Security Suite\\Kelvan Gorsewatch", true},
        {u"Tools\\.hidden", true},
        {u"Tools\\v1.2", true},
        {u"Console", true},
        {u"COM10", true},
        {u"LPT", true},
        {u"", false},
        // Ways up and out.
        {u"..", false},
        {u"..\\..\\..\\..\\..", false},
        {u"..\\..\\..\\..\\..\\users\\tom\\Documents", false},
        {u"Tools\\..\\..", false},
        {u"Tools\\.", false},
        {u".", false},
        {u"...", false},
        {u".. ", false},
        {u"Tools\\. .", false},
        {u"Tools.", false},
        {u"Tools ", false},
        {u"../..", false},
        {u"Tools/x", false},
        // Drives, roots and other machines.
        {u"C:\\", false},
        {u"C:Tools", false},
        {u"c:\\users\\tom", false},
        {u"\\Windows", false},
        {u"\\\\server\\share", false},
        {u"\\\\?\\C:\\x", false},
        {u"\\\\.\\C:", false},
        {u"Tools:stream", false},
        // Empty parts.
        {u"Tools\\\\x", false},
        {u"Tools\\", false},
        // Devices, with or without an extension, in any part.
        {u"NUL", false},
        {u"nul.txt", false},
        {u"Tools\\con", false},
        {u"AUX\\x", false},
        {u"prn", false},
        {u"COM1", false},
        {u"lpt9.lnk", false},
        {u"COM1 .x", false},
        {u"CONOUT$", false},
        // Characters no file name holds.
        {u"a*b", false},
        {u"a?b", false},
        {u"a\"b", false},
        {u"a<b", false},
        {u"a>b", false},
        {u"a|b", false},
        {std::u16string(u"a\tb"), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsAcceptableProgramGroup(c.group), c.accepted) << ToUtf8(c.group);
    }
}

}  // namespace
}  // namespace olvex::setup

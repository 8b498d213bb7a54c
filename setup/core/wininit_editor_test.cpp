#include "setup/core/wininit_editor.h"

#include <gtest/gtest.h>

namespace olvex::setup::util {
namespace {

TEST(WininitEditorTest, AddsTheLineInsideTheRenameSection) {
    const std::string line = "NUL=C:\\PROGRA~1\\SUITE\\XJCU_0~1.EXE";
    struct Case {
        std::string ini;
        std::string result;
    };
    const Case cases[] = {
        {"", "[Rename]\r\n" + line + "\r\n"},
        {"[Rename]\r\nNUL=C:\\A\r\n", "[Rename]\r\nNUL=C:\\A\r\n" + line + "\r\n"},
        // The last section is another one: the line still goes into
        // [Rename], ahead of the blank line that parts the sections.
        {"[rename]\r\nNUL=C:\\A\r\n\r\n[Other]\r\nx=1\r\n",
         "[rename]\r\nNUL=C:\\A\r\n" + line + "\r\n\r\n[Other]\r\nx=1\r\n"},
        {"[Rename]\r\nNUL=C:\\A\r\n[Other]\r\nx=1",
         "[Rename]\r\nNUL=C:\\A\r\n" + line + "\r\n[Other]\r\nx=1"},
        {"[Other]\r\nx=1", "[Other]\r\nx=1\r\n[Rename]\r\n" + line + "\r\n"},
        {"[Other]\r\nx=1\r\n", "[Other]\r\nx=1\r\n[Rename]\r\n" + line + "\r\n"},
        {"  [ ReNaMe ]  \nC:\\NEW=C:\\OLD\n[Boot]\n",
         "  [ ReNaMe ]  \nC:\\NEW=C:\\OLD\n" + line + "\r\n[Boot]\n"},
        {"[Rename]", "[Rename]\r\n" + line + "\r\n"},
        {"[Rename]\r", "[Rename]\r\n" + line + "\r\n"},
        // An empty section, and a second [Rename] further down that stays.
        {"[Rename]\r\n[Boot]\r\n[Rename]\r\nNUL=C:\\B\r\n",
         "[Rename]\r\n" + line + "\r\n[Boot]\r\n[Rename]\r\nNUL=C:\\B\r\n"},
        // Not a header: "[Renamed]", "Rename".
        {"[Renamed]\r\nRename\r\n", "[Renamed]\r\nRename\r\n[Rename]\r\n" + line + "\r\n"},
    };
    for (const Case& c : cases) {
        const std::string edited = AddRenameLine(c.ini, line);
        EXPECT_EQ(edited, c.result) << c.ini;
        EXPECT_NE(RenameSectionText(edited).find(line + "\n"), std::string::npos) << c.ini;
    }
}

TEST(WininitEditorTest, SectionTextStopsAtTheNextSection) {
    EXPECT_EQ(RenameSectionText("[Boot]\r\na=b\r\n[Rename]\r\nNUL=x\r\n\r\n[Other]\r\nc=d\r\n"),
              "NUL=x\n\n");
    EXPECT_EQ(RenameSectionText("[Boot]\r\n"), "");
}

}  // namespace
}  // namespace olvex::setup::util

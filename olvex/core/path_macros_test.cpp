// The path macro table on the machines the engine was designed for (Windows
// 9x, NT 4, XP), through a special-folder source the test describes; the
// rewrite of real paths into macro form and back.
#include "olvex/core/path_macros.h"

#include <gtest/gtest.h>

#include "olvex/core/dat_database.h"
#include "olvex/core/dat_test_support.h"

namespace olvex {
namespace {

using testing::FakeSpecialFolders;

// A machine whose shell answers nothing, so every folder comes from the
// fallback; its "Shell Folders" keys open but hold no values.
FakeSpecialFolders NoShell(bool win9x, bool nt4) {
    FakeSpecialFolders machine;
    machine.win9x = win9x;
    machine.nt4 = nt4;
    return machine;
}

TEST(PathMacros, FallbackFolderPerPlatform) {
    const FakeSpecialFolders win98 = NoShell(true, false);
    const FakeSpecialFolders nt4 = NoShell(false, true);
    const FakeSpecialFolders xp = NoShell(false, false);
    const std::string ds = "C:\\Documents and Settings\\";
    struct Case {
        int csidl;
        const char* win9x;
        std::string nt4;
        std::string xp;
    } const cases[] = {
        {kCsidlPrograms, "C:\\Program Files", ds + "All Users\\Start Menu\\Programs",
         ds + "All Users\\Start Menu\\Programs"},
        {kCsidlFavorites, "C:\\Windows\\Favorites", ds + "bob\\Favorites", ds + "bob\\Favorites"},
        {kCsidlStartup, "C:\\WINDOWS\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup"},
        // Written exactly so, without the backslash after the drive.
        {kCsidlStartMenu, "C:Windows\\Start Menu", ds + "All Users\\Start Menu",
         ds + "All Users\\Start Menu"},
        {kCsidlDesktopDirectory, "C:\\WINDOWS\\Desktop", ds + "All Users\\Desktop",
         ds + "All Users\\Desktop"},
        {kCsidlCommonStartMenu, "C:\\Windows\\Start Menu", ds + "All Users\\Start Menu",
         ds + "All Users\\Start Menu"},
        {kCsidlCommonPrograms, "C:\\Program Files", ds + "All Users\\Start Menu\\Programs",
         ds + "All Users\\Start Menu\\Programs"},
        {kCsidlCommonStartup, "C:\\WINDOWS\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup"},
        {kCsidlCommonAltStartup, "C:\\WINDOWS\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup"},
        {kCsidlCommonDesktopDirectory, "C:\\WINDOWS\\Desktop", ds + "All Users\\Desktop",
         ds + "All Users\\Desktop"},
        {kCsidlAltStartup, "C:\\WINDOWS\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup",
         ds + "All Users\\Start Menu\\Programs\\Startup"},
        {kCsidlCookies, "C:\\Windows\\Cookies", "C:\\Winnt\\Profiles\\bob\\Cookies",
         ds + "bob\\Cookies"},
        {kCsidlWindows, "C:\\WINDOWS", "C:\\WINDOWS", "C:\\WINDOWS"},
        {kCsidlSystem, "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system32"},
        {kCsidlProgramFiles, "C:\\Program Files", "C:\\Program Files", "C:\\Program Files"},
        // Written with a lower-case drive letter on NT 4.
        {kCsidlProfile, "C:\\Windows", "c:\\Winnt\\Profiles\\bob", ds + "bob"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csidl);
        EXPECT_EQ(GetFolderFromRegistry(c.csidl, win98), c.win9x);
        EXPECT_EQ(GetFolderFromRegistry(c.csidl, nt4), c.nt4);
        EXPECT_EQ(GetFolderFromRegistry(c.csidl, xp), c.xp);
    }
    EXPECT_FALSE(GetFolderFromRegistry(5, xp));  // not one of the table's
}

TEST(PathMacros, FallbackNeedsTheShellFoldersKey) {
    // An NT system without the key: every folder it would give is missing,
    // while the Windows, system, program files and profile folders remain.
    FakeSpecialFolders machine = NoShell(false, false);
    machine.current_user_key_opens = false;
    machine.local_machine_key_opens = false;
    for (const auto& macro : kPathMacros) {
        SCOPED_TRACE(macro.name);
        const bool needs_no_key = macro.csidl == kCsidlWindows || macro.csidl == kCsidlSystem ||
                                  macro.csidl == kCsidlProgramFiles || macro.csidl == kCsidlProfile;
        EXPECT_EQ(GetFolderFromRegistry(macro.csidl, machine).has_value(), needs_no_key);
    }
    // A value in the key wins over the platform's text, from its own root.
    machine.current_user_key_opens = true;
    machine.current_user_values = {{"Cookies", "D:\\Cookies"}, {"Common Startup", "wrong root"}};
    EXPECT_EQ(GetFolderFromRegistry(kCsidlCookies, machine), "D:\\Cookies");
    EXPECT_FALSE(GetFolderFromRegistry(kCsidlCommonStartup, machine));
    // A user name that cannot be had leaves the folders that need it out.
    machine.user = std::nullopt;
    EXPECT_FALSE(GetFolderFromRegistry(kCsidlProfile, machine));
}

TEST(PathMacros, TableTakesTheShellFirstAndLowerCases) {
    FakeSpecialFolders machine = FakeSpecialFolders::Xp();
    machine.shell[kCsidlFavorites] = "";  // an empty answer counts as none
    machine.current_user_values = {{"Favorites", "E:\\Favs"}};
    const PathMacroTable table(machine, MultiByteText::SingleByte());
    ASSERT_EQ(table.size(), 16u);
    EXPECT_EQ(table.name(1), "%COMMMON_ALTSTARTUP%");
    EXPECT_EQ(table.name(12), "%SYSTEM%");
    EXPECT_EQ(table.folder(12), "c:\\windows\\system32");
    EXPECT_EQ(table.folder(14), "e:\\favs");
    // The alternate startup folder falls back to the all-users one.
    EXPECT_EQ(table.folder(0),
              "c:\\documents and settings\\all users\\start menu\\programs\\startup");
}

TEST(PathMacros, RewritesRealPathsIntoMacroForm) {
    FakeSpecialFolders machine = FakeSpecialFolders::Xp();
    machine.shell.erase(kCsidlCookies);  // no key value either: stays empty
    machine.current_user_key_opens = false;
    const PathMacroTable table(machine, MultiByteText::SingleByte());
    ASSERT_TRUE(table.folder(6).empty());
    struct Case {
        const char* path;
        const char* macro_form;
    } const cases[] = {
        {"C:\\WINDOWS\\SYSTEM32\\foo.exe", "%SYSTEM%\\foo.exe"},
        {"C:\\WINDOWS\\notepad.exe", "%WINDOWS%\\notepad.exe"},
        // The profile comes before the startup folder in the table.
        {"C:\\Documents and Settings\\bob\\Start Menu\\Programs\\Startup\\x.lnk",
         "%PROFILE%\\start menu\\programs\\startup\\x.lnk"},
        // This machine has no alternate startup folder (no shell answer, its
        // key does not open): the next entry, with the same folder, takes it.
        {"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Startup\\y.lnk",
         "%COMMMON_ALTSTARTUP%\\y.lnk"},
        // Every occurrence of the folder is replaced.
        {"c:\\program files\\a.exe;C:\\Program Files\\b.exe",
         "%PROGRAM_FILES%\\a.exe;%PROGRAM_FILES%\\b.exe"},
        // An empty folder does not stop the search.
        {"D:\\Other\\z.exe", "d:\\other\\z.exe"},
        // Table order decides, not where in the path a folder occurs.
        {"C:\\Program Files\\C:\\Documents and Settings\\bob\\x",
         "c:\\program files\\%PROFILE%\\x"},
        {"x", "x"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(table.ToMacroForm(c.path), c.macro_form) << c.path;

    // A folder's text inside a double-byte character is no occurrence.
    FakeSpecialFolders dbcs = FakeSpecialFolders::Xp();
    dbcs.shell[kCsidlProgramFiles] = "\\app";
    const PathMacroTable sjis(dbcs, MultiByteText::ForCodePage(932));
    EXPECT_EQ(sjis.ToMacroForm("C:\\x\x83\\app"), "c:\\x\x83\\app");
    EXPECT_EQ(sjis.ToMacroForm("C:\\x\\app"), "c:\\x%PROGRAM_FILES%");
}

TEST(PathMacros, ExpandsDefinitionPaths) {
    FakeSpecialFolders machine = FakeSpecialFolders::Xp();
    machine.shell.erase(kCsidlCookies);
    machine.current_user_key_opens = false;
    const PathMacroTable table(machine, MultiByteText::SingleByte());
    struct Case {
        const char* path;
        const char* expanded;
    } const cases[] = {
        {"%SYSTEM%\\FOO.EXE", "c:\\windows\\system32\\FOO.EXE"},
        {"%system%\\foo.exe", "c:\\windows\\system32\\foo.exe"},
        // Only the first macro of the table that occurs is expanded.
        {"%WINDOWS%\\x;%SYSTEM%\\y", "%WINDOWS%\\x;c:\\windows\\system32\\y"},
        // A folder the machine lacks leaves the path as it is.
        {"%COOKIES%\\bob@x[1].txt", "%COOKIES%\\bob@x[1].txt"},
        {"C:\\plain\\path.exe", "C:\\plain\\path.exe"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(table.Expand(c.path), c.expanded) << c.path;

    // Through the database, which builds its table once from its source.
    const CDatDatabase db(&machine);
    EXPECT_EQ(db.ExpandPathMacros("%PROGRAM_FILES%\\a.exe"), "c:\\program files\\a.exe");
    EXPECT_EQ(db.ToMacroForm("C:\\Program Files\\a.exe"), "%PROGRAM_FILES%\\a.exe");
    const int calls = machine.shell_calls;
    EXPECT_EQ(db.ExpandPathMacros("%WINDOWS%\\b.exe"), "c:\\windows\\b.exe");
    EXPECT_EQ(machine.shell_calls, calls);
}

}  // namespace
}  // namespace olvex

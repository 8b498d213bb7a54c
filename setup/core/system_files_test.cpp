#include <windows.h>

#include <gtest/gtest.h>

#include "setup/core/setup_windows_test_support.h"
#include "setup/core/system_utilities.h"

namespace olvex::setup::util {
namespace {

using setup::testing::Exists;
using setup::testing::ProcessLog;
using setup::testing::ReadFileText;
using setup::testing::ScratchFolder;
using setup::testing::WriteFileText;

TEST(SetupFilesTest, FoldersAreCreatedLevelByLevel) {
    ScratchFolder dir;
    EXPECT_EQ(CreateDirectoryPath(dir / u"a\\b\\c\\"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(Exists(dir / u"a\\b\\c"));
    EXPECT_EQ(CreateDirectoryPath(dir / u"a\\b\\c"), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(WriteFileText(dir / u"f", "x"));
    EXPECT_EQ(CreateDirectoryPath(dir / u"f"), static_cast<DWORD>(ERROR_FILE_EXISTS));
    const DWORD blocked = CreateDirectoryPath(dir / u"f\\g");
    EXPECT_NE(blocked, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(blocked, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(ProcessLog().find("(25516) Creating the folder"), std::string::npos);

    EXPECT_TRUE(FileExists(dir / u"a"));
    EXPECT_TRUE(FileExists(dir / u"f"));
    EXPECT_FALSE(FileExists(dir / u"none"));
    EXPECT_FALSE(FileExists(u""));

    EXPECT_TRUE(HasSubdirectories(dir / u"a"));
    EXPECT_FALSE(HasSubdirectories(dir / u"a\\b\\c"));
    EXPECT_FALSE(HasSubdirectories(dir / u"none"));
}

TEST(SetupFilesTest, FreeNames) {
    ScratchFolder dir;
    ASSERT_TRUE(WriteFileText(dir / u"xjcu_001.exe", "x"));
    ASSERT_TRUE(WriteFileText(dir / u"setup.1", "x"));
    EXPECT_EQ(FindUnusedFileName(dir.path(), u"xjcu_%03d.exe", 1, 999), dir / u"xjcu_002.exe");
    EXPECT_FALSE(FindUnusedFileName(dir.path(), u"xjcu_%03d.exe", 1, 1));
    EXPECT_EQ(UnusedSiblingName(dir / u"setup.exe"), dir / u"setup.2");
}

TEST(SetupFilesTest, CopiesKeepATargetsAttributes) {
    ScratchFolder from;
    ScratchFolder to;
    ASSERT_TRUE(WriteFileText(from / u"xjvprod.dll", "new"));
    std::vector<std::u16string> failures;
    EXPECT_TRUE(
        CopyFileToDirectory(from.path(), to.path(), u"xjvprod.dll", std::nullopt, &failures));
    EXPECT_EQ(ReadFileText(to / u"xjvprod.dll"), "new");

    // A read-only target is replaced and stays read-only.
    ASSERT_TRUE(WriteFileText(to / u"xjuninst.exe", "old"));
    SetFileAttributesW(W(to / u"xjuninst.exe"), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(
        CopyFileToDirectory(from.path(), to.path(), u"xjvprod.dll", u"xjuninst.exe", &failures));
    EXPECT_EQ(ReadFileText(to / u"xjuninst.exe"), "new");
    EXPECT_TRUE(GetFileAttributesW(W(to / u"xjuninst.exe")) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(W(to / u"xjuninst.exe"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(failures.empty());

    EXPECT_FALSE(
        CopyFileToDirectory(from.path(), to.path(), u"missing.dll", std::nullopt, &failures));
    EXPECT_EQ(failures, std::vector<std::u16string>{u"missing.dll"});
    EXPECT_NE(ProcessLog().find("(25033) Setup could not copy the file missing.dll"),
              std::string::npos);
}

TEST(SetupFilesTest, TreesAreDeletedWithoutFollowingLinks) {
    ScratchFolder dir;
    const std::u16string tree = dir / u"tree";
    ASSERT_EQ(CreateDirectoryPath(tree + u"\\sub\\deeper"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WriteFileText(tree + u"\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(tree + u"\\sub\\b.txt", "b"));
    ASSERT_TRUE(WriteFileText(tree + u"\\sub\\deeper\\c.txt", "c"));
    SetFileAttributesW(W(tree + u"\\sub\\b.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(W(tree + u"\\sub"), FILE_ATTRIBUTE_READONLY);

    // Files only: the folders stay.
    EXPECT_TRUE(DeleteDirectoryTree(tree, false, nullptr));
    EXPECT_FALSE(Exists(tree + u"\\a.txt"));
    EXPECT_TRUE(Exists(tree + u"\\sub\\b.txt"));

    // A linked folder inside is removed as a link; what it points to stays.
    const std::u16string outside = dir / u"outside";
    ASSERT_EQ(CreateDirectoryPath(outside), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WriteFileText(outside + u"\\keep.txt", "keep"));
    // Newer than the product's platform: bound at run time.
    using CreateLink = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    const auto create_link = reinterpret_cast<CreateLink>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
    constexpr DWORD kDirectoryLink = 1;
    const bool linked =
        create_link && create_link(W(tree + u"\\link"), W(outside), kDirectoryLink) != FALSE;
    if (linked) {
        ASSERT_TRUE(GetFileAttributesW(W(tree + u"\\link")) & FILE_ATTRIBUTE_REPARSE_POINT);
    }

    std::vector<std::u16string> failures;
    EXPECT_TRUE(DeleteDirectoryTree(tree, true, &failures));
    EXPECT_TRUE(failures.empty());
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(ReadFileText(outside + u"\\keep.txt"), "keep");
    if (!linked) {
        GTEST_SKIP() << "no symbolic links on this system: the link case was not run";
    }
}

TEST(SetupFilesTest, EmptyFoldersAreRemovedWalkingUp) {
    ScratchFolder dir;
    ASSERT_EQ(CreateDirectoryPath(dir / u"a\\b\\c"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(WriteFileText(dir / u"a\\keep.txt", "k"));
    EXPECT_FALSE(RemoveEmptyDirectories(dir / u"a", true));
    EXPECT_TRUE(RemoveEmptyDirectories(dir / u"a\\b\\c\\", true));
    EXPECT_FALSE(Exists(dir / u"a\\b"));
    EXPECT_TRUE(Exists(dir / u"a\\keep.txt"));

    ASSERT_EQ(CreateDirectoryPath(dir / u"x\\y"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(RemoveEmptyDirectories(dir / u"x\\y", false));
    EXPECT_TRUE(Exists(dir / u"x"));
    EXPECT_FALSE(RemoveEmptyDirectories(dir / u"none", true));
}

TEST(SetupFilesTest, FilesThatAreFreeAreDeletedAtOnce) {
    ScratchFolder dir;
    const std::u16string file = dir / u"old.exe";
    ASSERT_TRUE(WriteFileText(file, "x"));
    SetFileAttributesW(W(file),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(DeleteFileNowOrAtReboot(file), DeleteOutcome::kDeleted);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(DeleteFileNowOrAtReboot(file), DeleteOutcome::kDeleted);
    ASSERT_EQ(CreateDirectoryPath(dir / u"empty"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(DeleteFileNowOrAtReboot(dir / u"empty"), DeleteOutcome::kDeleted);
    EXPECT_FALSE(Exists(dir / u"empty"));
    EXPECT_EQ(DeleteFileNowOrAtReboot(u""), DeleteOutcome::kFailed);
    EXPECT_FALSE(RenameAtReboot(u"", std::nullopt));
    EXPECT_FALSE(RenameAtReboot(dir / u"missing", dir / u"new"));
}

}  // namespace
}  // namespace olvex::setup::util

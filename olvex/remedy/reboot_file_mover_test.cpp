#include "olvex/remedy/reboot_file_mover.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "olvex/core/os_utilities.h"
#include "testing/scratch_dir.h"
#include "testing/test_registry_key.h"

namespace olvex {
namespace {

using olvex::testing::ReadFileBytes;
using olvex::testing::ScratchDir;
using olvex::testing::TestRegistryKey;

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return std::string(buffer, length);
}

// Reports Windows 98 to the engine.
class Windows98 : public OsVersionSource {
  public:
    std::optional<OsVersion> Query() const override {
        return OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10};
    }
};

// The NT flag as an owner takes it from the engine's OS-version source.
bool NtFlagOnWindows98() {
    const Windows98 windows98;
    const ScopedOsVersionSource pretend(windows98);
    return !IsWin9xPlatform();
}

// The Windows 9x forms, written into folders and a key of the test's own.
struct Windows9x {
    ScratchDir windows;
    ScratchDir temp;
    TestRegistryKey key;
    CRebootFileMover mover{NtFlagOnWindows98(), Places()};

    RebootMoverPlaces Places() const {
        RebootMoverPlaces places;
        places.windows_folder = windows.path().string();
        places.temp_folder = temp.path().string() + "\\";
        places.run_once_root = key.Root();
        places.run_once_key = key.Path() + "\\RunOnce";
        return places;
    }
    std::string RunOnceValue() const {
        char data[1024] = {};
        DWORD size = sizeof(data);
        DWORD type = 0;
        HKEY run_once = nullptr;
        if (RegOpenKeyExA(key.Root(), (key.Path() + "\\RunOnce").c_str(), 0, KEY_READ, &run_once) !=
            ERROR_SUCCESS)
            return "<no key>";
        const LONG status =
            RegQueryValueExA(run_once, kRunOnceValueName, nullptr, &type, (BYTE*)data, &size);
        RegCloseKey(run_once);
        if (status != ERROR_SUCCESS || type != REG_SZ)
            return "<no value>";
        return std::string(data, size);  // with its terminating zero
    }
};

TEST(RebootFileMover, Windows9xDeletionWritesNulAndTheShortPathToANewWininit) {
    Windows9x system;
    ScratchDir files;
    const auto first = files.Write("A Long File Name.dll", "x");
    const auto second = files.Write("Another Long Name.exe", "y");
    ASSERT_TRUE(system.mover.DeleteFileAtReboot(first));
    ASSERT_TRUE(system.mover.DeleteFileAtReboot(second));
    EXPECT_EQ(ReadText(system.mover.WininitPath()),
              "[rename]\r\nNUL=" + ShortPath(first) + "\r\nNUL=" + ShortPath(second) + "\r\n");
    EXPECT_EQ(system.mover.WininitPath(), system.windows.File("wininit.ini"));
    // A file that is not there has no short path.
    EXPECT_FALSE(system.mover.DeleteFileAtReboot(files.File("gone.dll")));
}

TEST(RebootFileMover, Windows9xReplacementOfShortNamesGoesToWininit) {
    Windows9x system;
    // A folder whose whole path is already in 8.3 form.
    const std::string folder = "C:\\qz" + std::to_string(GetCurrentProcessId() % 100000);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string source = folder + "\\new.dat";
    const std::string target = folder + "\\old.dat";
    for (const auto& path : {source, target}) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fclose(f);
    }
    const bool replaced = system.mover.ReplaceFileAtReboot(source, target);
    const auto wininit = ReadText(system.mover.WininitPath());
    const auto short_source = ShortPath(source);
    const auto short_target = ShortPath(target);
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(short_target, target);  // already 8.3
    EXPECT_EQ(wininit, "[rename]\r\n" + short_target + "=" + short_source + "\r\n");
    EXPECT_EQ(system.RunOnceValue(), "<no key>");
}

TEST(RebootFileMover, Windows9xReplacementOfLongNamesGoesToOneSelfDeletingBatch) {
    Windows9x system;
    ScratchDir files;
    const auto source1 = files.Write("New Version One.dat", "1");
    const auto target1 = files.Write("Old Version One.dat", "one");
    const auto source2 = files.Write("New Version Two.dat", "2");
    const auto target2 = files.Write("Old Version Two.dat", "two");
    ASSERT_TRUE(system.mover.ReplaceFileAtReboot(source1, target1));
    ASSERT_TRUE(system.mover.ReplaceFileAtReboot(source2, target2));
    const auto batch = system.temp.File("qzrename.bat");
    EXPECT_EQ(system.mover.RenameBatchPath(), batch);
    EXPECT_EQ(ReadText(batch), "move \"" + source1 + "\" \"" + target1 + "\"\r\n" + "move \"" +
                                   source2 + "\" \"" + target2 + "\"\r\n" +
                                   std::string("del %0\r\n\0", 9));
    EXPECT_EQ(system.RunOnceValue(), batch + std::string(1, '\0'));
    EXPECT_FALSE(std::filesystem::exists(system.windows.File("wininit.ini")));
}

TEST(RebootFileMover, BatchLinesGoAfterTextThatIsNotOurTail) {
    Windows9x system;
    const auto batch = system.temp.Write("qzrename.bat", "@echo off\r\n");
    ASSERT_TRUE(system.mover.AppendRenameBatchLine("C:\\a b\\s", "C:\\a b\\t", batch));
    EXPECT_EQ(ReadText(batch), "@echo off\r\nmove \"C:\\a b\\s\" \"C:\\a b\\t\"\r\n" +
                                   std::string("del %0\r\n\0", 9));
    EXPECT_FALSE(
        system.mover.AppendRenameBatchLine("C:\\s", "C:\\t", system.temp.File("no\\such\\x.bat")));
}

TEST(RebootFileMover, ReplacementAcrossDrivesMovesACopyBesideTheTarget) {
    Windows9x system;
    ScratchDir files;  // on drive C:
    const auto target = files.Write("Engine Target.dll", "old");
    // The working folder of the tests is on drive Z:.
    char cwd[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    ASSERT_NE(std::toupper(cwd[0]), 'C');
    const std::string source =
        std::string(cwd) + "\\cross-drive-source-" + std::to_string(GetCurrentProcessId()) + ".dll";
    {
        FILE* f = std::fopen(source.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fputs("new bytes", f);
        std::fclose(f);
    }
    const bool replaced = system.mover.ReplaceFileAtReboot(source, target);
    const bool source_left = std::filesystem::exists(source);
    std::filesystem::remove(source);
    ASSERT_TRUE(replaced);
    EXPECT_FALSE(source_left);
    const auto copy = files.File("Engine Target.qzu");
    EXPECT_EQ(ReadText(copy), "new bytes");
    EXPECT_EQ(ReadText(system.temp.File("qzrename.bat")),
              "move \"" + copy + "\" \"" + target + "\"\r\n" + std::string("del %0\r\n\0", 9));
}

TEST(RebootFileMover, RefusesPathsWithoutADrive) {
    for (const bool nt : {true, false}) {
        Windows9x system;
        CRebootFileMover mover(nt, system.Places());
        EXPECT_FALSE(mover.ReplaceFileAtReboot("relative.dat", "C:\\x.dat"));
        EXPECT_FALSE(mover.ReplaceFileAtReboot("C:\\x.dat", "\\\\server\\share\\x.dat"));
    }
}

TEST(RebootFileMover, CrossDriveCopyTakesTheExtensionOfTheNameOnly) {
    EXPECT_EQ(CrossDriveCopyPath("C:\\app\\qzfile.dat"), "C:\\app\\qzfile.qzu");
    EXPECT_EQ(CrossDriveCopyPath("C:\\app.d\\engine"), "C:\\app.d\\engine.qzu");
    EXPECT_EQ(CrossDriveCopyPath("C:\\app\\a.b.c"), "C:\\app\\a.b.qzu");
}

}  // namespace
}  // namespace olvex

#include "olvex/core/os_utilities.h"

#include <gtest/gtest.h>

#include "olvex/com/module.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex {
namespace {

class FixedVersion final : public OsVersionSource {
  public:
    explicit FixedVersion(std::optional<OsVersion> version) : version_(version) {}
    std::optional<OsVersion> Query() const override { return version_; }

  private:
    std::optional<OsVersion> version_;
};

constexpr DWORD k9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr DWORD kNt = VER_PLATFORM_WIN32_NT;

TEST(OsUtilitiesTest, VersionCodeTable) {
    struct Case {
        std::optional<OsVersion> version;
        int code;
        bool win9x;
    };
    const Case cases[] = {
        {OsVersion{k9x, 4, 0}, 1, true},   // Windows 95
        {OsVersion{k9x, 4, 10}, 2, true},  // Windows 98
        {OsVersion{k9x, 4, 90}, 3, true},  // Windows Me
        {OsVersion{k9x, 4, 3}, 0, true},   // an unknown 9x release
        {OsVersion{k9x, 5, 0}, 0, true},
        {OsVersion{kNt, 5, 0}, 4, false},  // Windows 2000
        {OsVersion{kNt, 5, 1}, 5, false},  // Windows XP
        {OsVersion{kNt, 5, 2}, 5, false},  // Server 2003, XP x64
        {OsVersion{kNt, 5, 3}, 0, false},
        {OsVersion{kNt, 4, 0}, 6, false},   // NT 4
        {OsVersion{kNt, 3, 51}, 6, false},  // NT 3.51
        {OsVersion{kNt, 6, 1}, 0, false},   // newer than the table knows
        {OsVersion{VER_PLATFORM_WIN32s, 3, 10}, 0, true},
        {std::nullopt, 0, false},  // the version cannot be read
    };
    for (const auto& c : cases) {
        const FixedVersion source(c.version);
        const ScopedOsVersionSource scoped(source);
        const std::string label = c.version ? std::to_string(c.version->platform_id) + " " +
                                                  std::to_string(c.version->major) + "." +
                                                  std::to_string(c.version->minor)
                                            : "unreadable";
        EXPECT_EQ(GetWindowsVersionCode(), c.code) << label;
        EXPECT_EQ(IsWin9xPlatform(), c.win9x) << label;
    }
}

TEST(OsUtilitiesTest, SystemVersionComesFromWindows) {
    // The test prefix reports Windows XP x64 (5.2); the seam is back to the
    // system once the scoped sources are gone.
    const auto version = SystemOsVersion().Query();
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->platform_id, kNt);
    EXPECT_EQ(&CurrentOsVersionSource(), &SystemOsVersion());
    EXPECT_EQ(GetWindowsVersionCode(), WindowsVersionCode(version));
    EXPECT_FALSE(IsWin9xPlatform());
}

TEST(OsUtilitiesTest, ScopedSourcesNest) {
    const FixedVersion outer(OsVersion{k9x, 4, 10});
    const FixedVersion inner(OsVersion{kNt, 4, 0});
    {
        const ScopedOsVersionSource first(outer);
        {
            const ScopedOsVersionSource second(inner);
            EXPECT_EQ(GetWindowsVersionCode(), 6);
        }
        EXPECT_EQ(GetWindowsVersionCode(), 2);
    }
    EXPECT_EQ(&CurrentOsVersionSource(), &SystemOsVersion());
}

TEST(OsUtilitiesTest, ModuleFolderOfALoadedLibrary) {
    // A DLL loaded from a folder of our own: its folder comes back without
    // the trailing backslash, whatever the depth.
    const testing::ScratchDir scratch;
    const std::string folder = scratch.path().string() + "\\app";
    std::filesystem::create_directories(folder);
    const auto copy = std::filesystem::path(folder) / "olvex_copy.dll";
    std::filesystem::copy_file(testing::WindowsPath(OLVEX_DLL_PATH), copy);

    HMODULE module = LoadLibraryExA(copy.string().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);
    const auto found = GetModuleFolder(module);
    FreeLibrary(module);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, folder);
}

TEST(OsUtilitiesTest, ModuleFolderOfThisProgram) {
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    const std::string full = path;
    const auto found = GetModuleFolder(nullptr);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, full.substr(0, full.rfind('\\')));
    EXPECT_EQ(GetModuleFolder(com::ThisModule()), found);
}

TEST(OsUtilitiesTest, ModuleFolderOfAnInvalidHandle) {
    EXPECT_FALSE(GetModuleFolder(reinterpret_cast<HMODULE>(0x10)).has_value());
}

}  // namespace
}  // namespace olvex

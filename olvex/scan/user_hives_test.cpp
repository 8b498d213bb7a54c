#include "olvex/scan/user_hives.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "olvex/core/registry_key.h"
#include "olvex/scan/registry_key_access.h"
#include "testing/scratch_dir.h"
#include "testing/test_registry_key.h"

namespace olvex {
namespace {

using olvex::testing::ScratchDir;
using olvex::testing::TestRegistryKey;

// Fake users of this test process: S-1-5-21-<process id>-<n>-1004.
std::string FakeSidPrefix() {
    return "S-1-5-21-" + std::to_string(GetCurrentProcessId()) + "-";
}

std::string NewFakeSid() {
    static std::atomic<unsigned> counter{0};
    return FakeSidPrefix() + std::to_string(GetTickCount()) + "-" + std::to_string(counter++) +
           "-1004";
}

std::string CurrentUserSid() {
    const auto sid = ProcessUserSid();
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(const_cast<BYTE*>(sid->data()), &text)) {
        return {};
    }
    std::string result(text);
    LocalFree(text);
    return result;
}

std::vector<std::string> HiveNamesUnderUsers() {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0; RegEnumKeyA(HKEY_USERS, index, name, sizeof(name)) == ERROR_SUCCESS;
         ++index) {
        names.emplace_back(name);
    }
    return names;
}

// Hives of this process's fake users that are mounted now.
std::vector<std::string> OurMountedHives() {
    std::vector<std::string> ours;
    for (auto& name : HiveNamesUnderUsers()) {
        if (name.starts_with(kHiveMountPrefix + FakeSidPrefix())) {
            ours.push_back(std::move(name));
        }
    }
    return ours;
}

std::string MarkerIn(const std::string& mount_name) {
    RegistryKey key;
    if (RegistryKey::Open(HKEY_USERS, mount_name + "\\Software\\OlvexPest", KEY_READ, key) !=
        ERROR_SUCCESS) {
        return {};
    }
    return key.GetString(std::string("Marker")).value_or("");
}

// A profile list of the test's own, with profiles whose ntuser.dat files are
// hives saved from keys under the test key. Checks at the end that no hive of
// a fake user is still mounted (and unloads any, so none is left behind).
class UserHives : public ::testing::Test {
  protected:
    UserHives() : seam_(location_) {
        location_.root = registry_.Root();
        location_.path = registry_.Path() + "\\ProfileList";
        SetEnvironmentVariableA("OLVEX_TEST_PROFILES", profiles_.path().string().c_str());
    }

    void TearDown() override {
        const auto left = OurMountedHives();
        EXPECT_TRUE(left.empty()) << left.front();
        for (const auto& name : left) {
            RegUnLoadKeyA(HKEY_USERS, name.c_str());
        }
        SetEnvironmentVariableA("OLVEX_TEST_PROFILES", nullptr);
    }

    // Adds a profile for `sid` whose hive holds Software\OlvexPest with the
    // value Marker = sid; its ProfileImagePath uses an environment variable.
    std::string AddProfile(const std::string& sid) {
        const std::string folder_name = "profile " + std::to_string(profile_count_++);
        const std::string folder = profiles_.path().string() + "\\" + folder_name;
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        SaveHive(sid, folder + "\\ntuser.dat");
        Register(sid, "%OLVEX_TEST_PROFILES%\\" + folder_name);
        return folder;
    }

    void Register(const std::string& sid, const std::string& profile_image_path) {
        HKEY key = nullptr;
        const std::string path = location_.path + "\\" + sid;
        ASSERT_EQ(RegCreateKeyExA(location_.root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        if (!profile_image_path.empty()) {
            RegSetValueExA(key, "ProfileImagePath", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(profile_image_path.c_str()),
                           static_cast<DWORD>(profile_image_path.size() + 1));
        }
        RegCloseKey(key);
    }

    void SaveHive(const std::string& marker, const std::string& file) {
        const std::string source = registry_.Path() + "\\Hive" + std::to_string(profile_count_);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(registry_.Root(), (source + "\\Software\\OlvexPest").c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Marker", 0, REG_SZ, reinterpret_cast<const BYTE*>(marker.c_str()),
                       static_cast<DWORD>(marker.size() + 1));
        RegCloseKey(key);
        ASSERT_TRUE(EnableBackupRestorePrivileges());
        ASSERT_EQ(RegOpenKeyExA(registry_.Root(), source.c_str(), 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSaveKeyA(key, file.c_str(), nullptr), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    TestRegistryKey registry_;
    ScratchDir profiles_;
    ProfileListLocation location_;
    ScopedProfileListLocation seam_;
    int profile_count_ = 0;
};

TEST_F(UserHives, MountsReadsAndUnloadsAnotherUsersHive) {
    const std::string sid = NewFakeSid();
    AddProfile(sid);
    const std::string mount_name = kHiveMountPrefix + sid;

    MountedHives mounted;
    ASSERT_TRUE(LoadAllUserHives(mounted));
    ASSERT_EQ(mounted.Names(), std::vector<std::string>{mount_name});
    EXPECT_EQ(MarkerIn(mount_name), sid);

    EXPECT_TRUE(UnloadAllUserHives(mounted));
    EXPECT_TRUE(mounted.Empty());
    EXPECT_FALSE(KeyPresent(HKEY_USERS, mount_name));
    // The file is free again.
    EXPECT_TRUE(DeleteFileA((profiles_.path().string() + "\\profile 0\\ntuser.dat").c_str()));
}

TEST_F(UserHives, ALoggedOnUsersHiveIsNeverMountedTwice) {
    const std::string me = CurrentUserSid();
    ASSERT_TRUE(KeyPresent(HKEY_USERS, me)) << me;
    const std::string my_folder = AddProfile(me);
    const std::string other = NewFakeSid();
    AddProfile(other);

    MountedHives mounted;
    ASSERT_TRUE(LoadAllUserHives(mounted));
    EXPECT_EQ(mounted.Names(), std::vector<std::string>{kHiveMountPrefix + other});
    EXPECT_FALSE(KeyPresent(HKEY_USERS, kHiveMountPrefix + me));
    EXPECT_FALSE(LoadUserHive(me, my_folder, mounted));
    EXPECT_EQ(mounted.Names().size(), 1u);
}

TEST_F(UserHives, ASecondLoadMountsNothing) {
    const std::string sid = NewFakeSid();
    AddProfile(sid);
    MountedHives first;
    ASSERT_TRUE(LoadAllUserHives(first));
    EXPECT_FALSE(LoadAllUserHives(first));
    EXPECT_EQ(first.Names().size(), 1u);
    MountedHives second;
    EXPECT_FALSE(LoadAllUserHives(second));
    EXPECT_TRUE(second.Empty());
    // Its owner alone unloads it: the second list holds nothing to unload.
    EXPECT_TRUE(UnloadAllUserHives(second));
    EXPECT_TRUE(KeyPresent(HKEY_USERS, kHiveMountPrefix + sid));
}

void MountAndFailMidway() {
    MountedHives mounted;
    ASSERT_TRUE(LoadAllUserHives(mounted));
    ASSERT_FALSE(OurMountedHives().empty());
    FAIL() << "failed midway";
}

TEST_F(UserHives, EveryWayOutUnloads) {
    AddProfile(NewFakeSid());
    AddProfile(NewFakeSid());

    // A check that fails between mount and unload.
    EXPECT_FATAL_FAILURE(MountAndFailMidway(), "failed midway");
    EXPECT_TRUE(OurMountedHives().empty());

    // A list handed on: the last owner unloads.
    {
        MountedHives first;
        ASSERT_TRUE(LoadAllUserHives(first));
        EXPECT_EQ(first.Names().size(), 2u);
        MountedHives second = std::move(first);
        EXPECT_TRUE(first.Empty());
        EXPECT_EQ(OurMountedHives().size(), 2u);
    }
    EXPECT_TRUE(OurMountedHives().empty());

    // A list that takes another's hives unloads its own first.
    MountedHives keeper;
    ASSERT_TRUE(LoadAllUserHives(keeper));
    const auto kept = keeper.Names();
    keeper = MountedHives();
    EXPECT_TRUE(OurMountedHives().empty());
    for (const auto& name : kept) {
        EXPECT_FALSE(FlushAndUnloadUserHive(name));  // gone already
    }
}

TEST_F(UserHives, FilesThatAreNotHivesMountNothing) {
    const std::string missing_sid = NewFakeSid();
    const std::string corrupt_sid = NewFakeSid();
    const std::string missing = profiles_.path().string() + "\\missing";
    const std::string corrupt = profiles_.path().string() + "\\corrupt";
    ASSERT_TRUE(CreateDirectoryA(missing.c_str(), nullptr));
    profiles_.Write("corrupt\\ntuser.dat", std::string("\x01\x02 not a registry hive\r\n"));
    Register(missing_sid, missing);
    Register(corrupt_sid, corrupt);

    MountedHives mounted;
    EXPECT_FALSE(LoadUserHive(missing_sid, missing, mounted));
    EXPECT_FALSE(LoadUserHive(corrupt_sid, corrupt, mounted));
    EXPECT_FALSE(LoadAllUserHives(mounted));
    EXPECT_TRUE(mounted.Empty());
    EXPECT_TRUE(OurMountedHives().empty());
}

TEST_F(UserHives, ProfileFoldersComeExpandedInSidOrder) {
    const std::string with_folder = NewFakeSid();
    const std::string without_folder = NewFakeSid();
    const std::string folder = AddProfile(with_folder);
    Register(without_folder, "");
    Register("S-1-5-18", "C:\\system profile");

    const ProfileMap profiles = GetUserProfileFolders();
    const ProfileMap expected{{"S-1-5-18", "C:\\system profile"}, {with_folder, folder}};
    EXPECT_EQ(profiles, expected);

    std::string found;
    EXPECT_TRUE(GetProfileFolderForSid(with_folder, found));
    EXPECT_EQ(found, folder);
    EXPECT_FALSE(GetProfileFolderForSid(without_folder, found));
    EXPECT_FALSE(GetProfileFolderForSid(NewFakeSid(), found));
    EXPECT_FALSE(GetProfileFolderForSid("", found));
}

TEST_F(UserHives, EnsureUserHiveLoadedMountsOnlyPrefixedNamesNotMountedYet) {
    const std::string sid = NewFakeSid();
    AddProfile(sid);
    const std::string mount_name = kHiveMountPrefix + sid;

    MountedHives mounted;
    EXPECT_FALSE(EnsureUserHiveLoaded(sid, mounted));
    std::string lower_case = mount_name;
    lower_case[0] = 'x';
    EXPECT_FALSE(EnsureUserHiveLoaded(lower_case, mounted));
    EXPECT_FALSE(EnsureUserHiveLoaded(std::string(kHiveMountPrefix) + NewFakeSid(), mounted));
    EXPECT_TRUE(OurMountedHives().empty());

    ASSERT_TRUE(EnsureUserHiveLoaded(mount_name, mounted));
    EXPECT_EQ(MarkerIn(mount_name), sid);
    EXPECT_FALSE(EnsureUserHiveLoaded(mount_name, mounted));
    EXPECT_EQ(mounted.Names(), std::vector<std::string>{mount_name});
}

TEST(UserHiveNames, ExtractHiveMountName) {
    struct Case {
        const char* path;
        bool found;
        const char* name;
    };
    const Case cases[] = {
        {"HKEY_USERS\\XJHive_S-1-5-21-1\\Software", true, "XJHive_S-1-5-21-1"},
        {"HKEY_USERS\\XJHive_S-1-5-21-1\\Software\\Run", true, "XJHive_S-1-5-21-1"},
        {"HKEY_USERS\\XJHive_S-1-5-21-1", false, ""},
        {"HKEY_USERS", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        std::string name;
        EXPECT_EQ(ExtractHiveMountName(c.path, name), c.found) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
    }
}

// The system's own profile list holds the logged-on user.
TEST(UserHiveNames, TheSystemProfileListHoldsTheCurrentUser) {
    const ProfileMap profiles = GetUserProfileFolders();
    const auto me = profiles.find(CurrentUserSid());
    ASSERT_NE(me, profiles.end());
    EXPECT_NE(GetFileAttributesA(me->second.c_str()), INVALID_FILE_ATTRIBUTES) << me->second;
    // Logged on: nothing to mount.
    MountedHives mounted;
    EXPECT_FALSE(LoadUserHive(me->first, me->second, mounted));
}

TEST(UserHiveNames, FormatLastErrorMessageGivesTheSystemText) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = FormatLastErrorMessage();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
}  // namespace olvex

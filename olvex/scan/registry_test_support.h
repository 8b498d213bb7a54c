// For the registry scan's Windows tests: keys that refuse the current user,
// a key's security as bytes, and a profile list of the test's own whose
// users' hives are saved at test time. Everything is removed afterwards,
// and no hive of a fake user stays mounted.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "olvex/core/registry_key.h"
#include "olvex/scan/registry_key_access.h"
#include "olvex/scan/user_hives.h"
#include "testing/scratch_dir.h"
#include "testing/test_registry_key.h"

namespace olvex::scan_test {

inline std::string CurrentUserSidText() {
    const auto sid = ProcessUserSid();
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(const_cast<BYTE*>(sid->data()), &text))
        return {};
    std::string result(text);
    LocalFree(text);
    return result;
}

// Owner, group and DACL of a key, as the system gives them.
inline std::vector<BYTE> SecurityBytes(HKEY root, const std::string& path) {
    RegistryKey key;
    if (RegistryKey::Open(root, path, READ_CONTROL, key) != ERROR_SUCCESS)
        return {};
    const SECURITY_INFORMATION what =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    RegGetKeySecurity(key.handle(), what, nullptr, &size);
    std::vector<BYTE> bytes(size);
    if (size == 0 || RegGetKeySecurity(key.handle(), what, bytes.data(), &size) != ERROR_SUCCESS)
        return {};
    return bytes;
}

inline LONG SetDacl(HKEY root, const std::string& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return static_cast<LONG>(GetLastError());
    RegistryKey key;
    LONG error = RegistryKey::Open(root, path, WRITE_DAC, key);
    if (error == ERROR_SUCCESS)
        error = RegSetKeySecurity(key.handle(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return error;
}

inline void SetStringValue(HKEY root, const std::string& path, const std::string& name,
                           const std::string& data, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS)
        << path;
    RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
}

// A key (<test key>\Refused, with the value Marker = "present" and a
// subkey) whose DACL denies the current user reading, under a test key of
// `root`. Opened up again before the test key goes.
class RefusedKey {
  public:
    explicit RefusedKey(HKEY root) : test_key_(root) {
        path_ = test_key_.Path() + "\\Refused";
        SetStringValue(root, path_, "Marker", "present");
        SetStringValue(root, path_ + "\\Child", "", "child");
        const std::string me = CurrentUserSidText();
        EXPECT_EQ(SetDacl(root, path_, "D:PAI(D;;KR;;;" + me + ")(A;;KA;;;BA)(A;;KA;;;SY)"),
                  ERROR_SUCCESS);
    }
    ~RefusedKey() {
        SetDacl(Root(), path_, "D:(A;CI;KA;;;BA)(A;CI;KA;;;" + CurrentUserSidText() + ")");
    }
    RefusedKey(const RefusedKey&) = delete;
    RefusedKey& operator=(const RefusedKey&) = delete;

    HKEY Root() const { return test_key_.Root(); }
    const std::string& Path() const { return path_; }

  private:
    testing::TestRegistryKey test_key_;
    std::string path_;
};

// A profile list of the test's own (in force while this lives) with
// profiles whose ntuser.dat files are hives saved from keys under a test
// key. Fake users are S-1-5-21-<process id>-<n>-1004.
class FakeProfiles {
  public:
    FakeProfiles() : seam_(Location()) {}
    ~FakeProfiles() {
        const auto left = MountedFakeHives();
        EXPECT_TRUE(left.empty()) << left.front();
        for (const auto& name : left)
            RegUnLoadKeyA(HKEY_USERS, name.c_str());
    }
    FakeProfiles(const FakeProfiles&) = delete;
    FakeProfiles& operator=(const FakeProfiles&) = delete;

    static std::string FakeSidPrefix() {
        return "S-1-5-21-" + std::to_string(GetCurrentProcessId()) + "-";
    }

    // Adds a profile whose hive holds <key path> with the value name = data;
    // its SID.
    std::string Add(const std::string& key_path, const std::string& name, const std::string& data) {
        static std::atomic<unsigned> counter{0};
        const std::string sid = FakeSidPrefix() + std::to_string(GetTickCount()) + "-" +
                                std::to_string(counter++) + "-1004";
        const std::string folder = profiles_.path().string() + "\\" + sid;
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        const std::string source = registry_.Path() + "\\Hive-" + sid;
        SetStringValue(registry_.Root(), source + "\\" + key_path, name, data);
        EXPECT_TRUE(EnableBackupRestorePrivileges());
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(registry_.Root(), source.c_str(), 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSaveKeyA(key, (folder + "\\ntuser.dat").c_str(), nullptr), ERROR_SUCCESS);
        RegCloseKey(key);
        SetStringValue(registry_.Root(), list_.path + "\\" + sid, "ProfileImagePath", folder,
                       REG_EXPAND_SZ);
        return sid;
    }

    // Hives of this process's fake users that are mounted now.
    static std::vector<std::string> MountedFakeHives() {
        std::vector<std::string> ours;
        char name[256];
        const std::string prefix = kHiveMountPrefix + FakeSidPrefix();
        for (DWORD i = 0; RegEnumKeyA(HKEY_USERS, i, name, sizeof(name)) == ERROR_SUCCESS; ++i) {
            if (std::string(name).starts_with(prefix))
                ours.emplace_back(name);
        }
        return ours;
    }

  private:
    const ProfileListLocation& Location() {
        list_.root = registry_.Root();
        list_.path = registry_.Path() + "\\ProfileList";
        SetStringValue(list_.root, list_.path, "", "");
        return list_;
    }

    testing::TestRegistryKey registry_;
    testing::ScratchDir profiles_;
    ProfileListLocation list_;
    ScopedProfileListLocation seam_;
};

}  // namespace olvex::scan_test

#include "olvex/scan/registry_key_access.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "testing/test_registry_key.h"

namespace olvex {
namespace {

using olvex::testing::TestRegistryKey;

std::string SidText(const std::vector<BYTE>& sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(const_cast<BYTE*>(sid.data()), &text)) {
        return {};
    }
    std::string result(text);
    LocalFree(text);
    return result;
}

std::string CurrentUserSidText() {
    const auto sid = ProcessUserSid();
    return sid ? SidText(*sid) : std::string();
}

// Owner, group and DACL of a key, as the system gives them.
std::vector<BYTE> SecurityBytes(HKEY root, const std::string& path) {
    RegistryKey key;
    if (RegistryKey::Open(root, path, READ_CONTROL, key) != ERROR_SUCCESS) {
        return {};
    }
    const SECURITY_INFORMATION what =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    RegGetKeySecurity(key.handle(), what, nullptr, &size);
    std::vector<BYTE> bytes(size);
    if (size == 0 || RegGetKeySecurity(key.handle(), what, bytes.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    return bytes;
}

LONG SetDacl(HKEY root, const std::string& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return static_cast<LONG>(GetLastError());
    }
    RegistryKey key;
    LONG error = RegistryKey::Open(root, path, WRITE_DAC, key);
    if (error == ERROR_SUCCESS) {
        error = RegSetKeySecurity(key.handle(), DACL_SECURITY_INFORMATION, descriptor);
    }
    LocalFree(descriptor);
    return error;
}

LONG OpenForReading(HKEY root, const std::string& path) {
    RegistryKey key;
    return RegistryKey::Open(root, path, KEY_READ, key);
}

// A key that refuses the current user reading, with a value and a subkey of
// its own, under a test key of `root`. Its DACL is opened up again before the
// test key goes.
class RefusedKey {
  public:
    RefusedKey(HKEY root, const std::string& sddl_template) : test_key_(root) {
        path_ = test_key_.Path() + "\\Refused";
        RegistryKey key;
        EXPECT_EQ(RegistryKey::Create(root, std::wstring(path_.begin(), path_.end()),
                                      KEY_ALL_ACCESS, key),
                  ERROR_SUCCESS);
        EXPECT_EQ(key.SetString(L"Marker", L"present"), ERROR_SUCCESS);
        RegistryKey child;
        EXPECT_EQ(RegistryKey::Create(key.handle(), L"Child", KEY_ALL_ACCESS, child),
                  ERROR_SUCCESS);
        std::string sddl = sddl_template;
        const std::string me = CurrentUserSidText();
        for (auto at = sddl.find("ME"); at != std::string::npos; at = sddl.find("ME", at)) {
            sddl.replace(at, 2, me);
        }
        EXPECT_EQ(SetDacl(root, path_, sddl), ERROR_SUCCESS) << sddl;
    }
    ~RefusedKey() {
        SetDacl(Root(), path_, "D:(A;CI;KA;;;BA)(A;CI;KA;;;" + CurrentUserSidText() + ")");
    }

    HKEY Root() const { return test_key_.Root(); }
    const std::string& Path() const { return path_; }

  private:
    TestRegistryKey test_key_;
    std::string path_;
};

// DACLs that refuse the current user reading ("ME"): an explicit deny in a
// protected DACL, an explicit deny among inherited entries, and no entry for
// the user at all. The protected and auto-inherited bits must come back too.
const char* const kRefusingDacls[] = {
    "D:PAI(D;;KR;;;ME)(A;;KA;;;BA)(A;;KA;;;SY)",
    "D:AI(D;;KR;;;ME)(A;ID;KA;;;BA)(A;CIID;KA;;;SY)",
    "D:P(A;;KA;;;SY)",
};

TEST(RegistryKeyAccess, OpensARefusedKeyAndRestoresItsSecurityByteForByte) {
    ASSERT_FALSE(CurrentUserSidText().empty());
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const char* dacl : kRefusingDacls) {
            SCOPED_TRACE(std::string(root == HKEY_CURRENT_USER ? "HKCU " : "HKLM ") + dacl);
            RefusedKey refused(root, dacl);
            const std::string child = refused.Path() + "\\Child";
            ASSERT_EQ(OpenForReading(root, refused.Path()), ERROR_ACCESS_DENIED);
            const auto before = SecurityBytes(root, refused.Path());
            const auto child_before = SecurityBytes(root, child);
            ASSERT_FALSE(before.empty());
            {
                LONG error = ERROR_GEN_FAILURE;
                const GrantedKey opened =
                    OpenKeyGrantingAccess(root, refused.Path(), KEY_READ, error);
                ASSERT_EQ(error, ERROR_SUCCESS);
                ASSERT_TRUE(opened.access && opened.access->IsGranted());
                EXPECT_EQ(opened.key.GetString(std::string("Marker")), "present");
                // Only the key itself changed: nothing was pushed into its subkeys.
                EXPECT_NE(SecurityBytes(root, refused.Path()), before);
                EXPECT_EQ(SecurityBytes(root, child), child_before);
            }
            EXPECT_EQ(SecurityBytes(root, refused.Path()), before);
            EXPECT_EQ(SecurityBytes(root, child), child_before);
            EXPECT_EQ(OpenForReading(root, refused.Path()), ERROR_ACCESS_DENIED);
        }
    }
}

TEST(RegistryKeyAccess, GrantAndRestoreAreEachDoneOnce) {
    RefusedKey refused(HKEY_CURRENT_USER, kRefusingDacls[0]);
    const auto before = SecurityBytes(refused.Root(), refused.Path());
    CRegistryKeyAccess access(refused.Root(), refused.Path());
    EXPECT_EQ(access.Restore(), ERROR_SUCCESS);  // nothing granted yet
    EXPECT_EQ(access.Grant(), ERROR_SUCCESS);
    const auto granted = SecurityBytes(refused.Root(), refused.Path());
    EXPECT_EQ(access.Grant(), ERROR_SUCCESS);  // held already: no second entry
    EXPECT_EQ(SecurityBytes(refused.Root(), refused.Path()), granted);
    EXPECT_EQ(OpenForReading(refused.Root(), refused.Path()), ERROR_SUCCESS);
    EXPECT_EQ(access.Restore(), ERROR_SUCCESS);
    EXPECT_FALSE(access.IsGranted());
    EXPECT_EQ(access.Restore(), ERROR_SUCCESS);
    EXPECT_EQ(SecurityBytes(refused.Root(), refused.Path()), before);
    EXPECT_EQ(OpenForReading(refused.Root(), refused.Path()), ERROR_ACCESS_DENIED);
}

TEST(RegistryKeyAccess, LeavesReadableAndMissingKeysAlone) {
    TestRegistryKey test_key;
    const auto before = SecurityBytes(test_key.Root(), test_key.Path());
    LONG error = ERROR_GEN_FAILURE;
    {
        const GrantedKey opened =
            OpenKeyGrantingAccess(test_key.Root(), test_key.Path(), KEY_READ, error);
        EXPECT_EQ(error, ERROR_SUCCESS);
        EXPECT_TRUE(opened.key);
        EXPECT_FALSE(opened.access);
    }
    EXPECT_EQ(SecurityBytes(test_key.Root(), test_key.Path()), before);

    const std::string missing = test_key.Path() + "\\Missing";
    const GrantedKey opened = OpenKeyGrantingAccess(test_key.Root(), missing, KEY_READ, error);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(opened.key);
    EXPECT_FALSE(opened.access);

    EXPECT_EQ(CRegistryKeyAccess(test_key.Root(), missing).Grant(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CRegistryKeyAccess(test_key.Root(), "").Grant(), ERROR_INVALID_PARAMETER);
}

// The user is the one the process token names: the logged-on user whose hive
// is HKEY_USERS\<SID>.
TEST(RegistryKeyAccess, TheUserIsTheProcessTokensUser) {
    const std::string sid = CurrentUserSidText();
    ASSERT_FALSE(sid.empty());
    EXPECT_EQ(OpenForReading(HKEY_USERS, sid), ERROR_SUCCESS) << sid;
}

}  // namespace
}  // namespace olvex

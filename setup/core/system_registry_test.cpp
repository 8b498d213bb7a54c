#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "setup/core/setup_windows_test_support.h"
#include "setup/core/system_utilities.h"
#include "testing/test_registry_key.h"

namespace olvex::setup::util {
namespace {

bool KeyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, W(path), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::u16string CurrentUserSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    std::vector<BYTE> buffer(512);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size);
    CloseHandle(token);
    wchar_t* text = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text);
    std::u16string sid = U(text);
    LocalFree(text);
    return sid;
}

LONG SetDacl(const std::u16string& path, const std::u16string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(W(sddl), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return static_cast<LONG>(GetLastError());
    }
    HKEY key = nullptr;
    LONG error = RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, WRITE_DAC, &key);
    if (error == ERROR_SUCCESS) {
        error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return error;
}

class SetupRegistryTest : public ::testing::Test {
  protected:
    olvex::testing::TestRegistryKey key_;
    const std::u16string base_ = FromAscii(key_.Path());
};

TEST_F(SetupRegistryTest, ValuesAreWrittenReadAndDeleted) {
    const std::u16string key = base_ + u"\\a\\b";
    EXPECT_EQ(WriteRegistryValue(HKEY_CURRENT_USER, key, u"Name", u"C:\\Suite", REG_SZ), 0);
    EXPECT_EQ(WriteRegistryValue(HKEY_CURRENT_USER, key, u"Number", u"3121", REG_DWORD), 0);
    EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key, u"Name"), u"C:\\Suite");

    RegistryData data;
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, u"Number", data), ERROR_SUCCESS);
    ASSERT_EQ(data.type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(data.bytes.size(), 4u);
    EXPECT_EQ(data.bytes[0] | (data.bytes[1] << 8), 3121);
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, key, u"Number"));

    // Failures leave no data behind.
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, u"", u"Name", data), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(data.bytes.empty());
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, u"Missing", data), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(data.bytes.empty());
    // A value larger than the buffer allowed is refused, not cut.
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, u"Name", data, 4), ERROR_MORE_DATA);

    EXPECT_TRUE(DeleteRegistryValue(HKEY_CURRENT_USER, key, u"Name"));
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, key, u"Name"));
    EXPECT_TRUE(DeleteRegistryValue(HKEY_CURRENT_USER, key, u"Name"));
    EXPECT_TRUE(DeleteRegistryValue(HKEY_CURRENT_USER, base_ + u"\\missing", u"Name"));

    DWORD subkeys = 9;
    DWORD values = 9;
    EXPECT_TRUE(GetRegistryKeyInfo(HKEY_CURRENT_USER, key, &subkeys, &values));
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 1u);
    EXPECT_FALSE(GetRegistryKeyInfo(HKEY_CURRENT_USER, base_ + u"\\missing", &subkeys, &values));
    EXPECT_EQ(subkeys + values, 0u);
}

TEST_F(SetupRegistryTest, KeyPathsAndSubkeyCounts) {
    EXPECT_TRUE(CreateRegistryKeyPath(HKEY_CURRENT_USER, base_ + u"\\x\\\\y\\z\\"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_ + u"\\x\\y\\z"));
    EXPECT_TRUE(CreateRegistryKeyPath(HKEY_CURRENT_USER, base_ + u"\\w"));
    EXPECT_EQ(GetRegistrySubkeyCount(HKEY_CURRENT_USER, base_), 2u);
    EXPECT_EQ(GetRegistrySubkeyCount(HKEY_CURRENT_USER, base_ + u"\\missing"), 0u);
    EXPECT_EQ(GetRegistrySubkeyCount(HKEY_CURRENT_USER, base_ + u"\\missing\\deeper"), 0u);

    // A key that refuses reading counts one subkey (it may hold some),
    // though it holds none.
    const std::u16string locked_path = base_ + u"\\locked";
    ASSERT_TRUE(CreateRegistryKeyPath(HKEY_CURRENT_USER, locked_path));
    ASSERT_EQ(
        SetDacl(locked_path, u"D:PAI(D;;KR;;;" + CurrentUserSid() + u")(A;;KA;;;BA)(A;;KA;;;SY)"),
        ERROR_SUCCESS);
    EXPECT_EQ(GetRegistrySubkeyCount(HKEY_CURRENT_USER, locked_path), 1u);
    ASSERT_EQ(SetDacl(locked_path, u"D:(A;CI;KA;;;BA)(A;CI;KA;;;" + CurrentUserSid() + u")"),
              ERROR_SUCCESS);
    EXPECT_EQ(GetRegistrySubkeyCount(HKEY_CURRENT_USER, locked_path), 0u);
    EXPECT_EQ(DeleteRegistryKeyTree(HKEY_CURRENT_USER, locked_path), ERROR_SUCCESS);
}

TEST_F(SetupRegistryTest, EmptyKeysAreDeletedWalkingUp) {
    const std::u16string p = base_ + u"\\p";
    ASSERT_TRUE(CreateRegistryKeyPath(HKEY_CURRENT_USER, p + u"\\q\\r"));
    ASSERT_EQ(WriteRegistryValue(HKEY_CURRENT_USER, p, u"Keep", u"1", REG_SZ), 0);
    EXPECT_TRUE(DeleteEmptyRegistryKeys(HKEY_CURRENT_USER, p + u"\\q\\r\\\\", true));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, p + u"\\q"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, p));

    // Without walking up only the key goes; a key with a value stays; a
    // missing key counts as deleted.
    ASSERT_TRUE(CreateRegistryKeyPath(HKEY_CURRENT_USER, base_ + u"\\s\\t"));
    EXPECT_TRUE(DeleteEmptyRegistryKeys(HKEY_CURRENT_USER, base_ + u"\\s\\t", false));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_ + u"\\s"));
    EXPECT_FALSE(DeleteEmptyRegistryKeys(HKEY_CURRENT_USER, p, true));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, p));
    EXPECT_TRUE(DeleteEmptyRegistryKeys(HKEY_CURRENT_USER, base_ + u"\\never", true));
}

TEST_F(SetupRegistryTest, KeyTreesAreDeletedDepthFirst) {
    const std::u16string tree = base_ + u"\\tree";
    for (int i = 0; i < 20; ++i) {
        const std::u16string sub = tree + u"\\sub" + DecimalText(i) + u"\\deeper\\deepest";
        ASSERT_EQ(WriteRegistryValue(HKEY_CURRENT_USER, sub, u"v", u"x", REG_SZ), 0);
        ASSERT_EQ(WriteRegistryValue(HKEY_CURRENT_USER, tree + u"\\sub" + DecimalText(i), u"w",
                                     u"7", REG_DWORD),
                  0);
    }
    EXPECT_EQ(DeleteRegistryKeyTree(HKEY_CURRENT_USER, tree), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_EQ(DeleteRegistryKeyTree(HKEY_CURRENT_USER, tree), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DeleteRegistryKeyTree(HKEY_CURRENT_USER, u""), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace olvex::setup::util

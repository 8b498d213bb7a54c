#include "olvex/remedy/protected_places.h"

#include <gtest/gtest.h>

#include <vector>

namespace olvex {
namespace {

TEST(ProtectedPlaces, FolderRemovalSparesRootsSystemFoldersProfilesAndWhatHoldsThem) {
    const auto mb = MultiByteText::SingleByte();
    const std::vector<std::string> kept = {
        "C:\\WINDOWS",
        "C:\\WINDOWS\\system32",
        "C:\\Documents and Settings",
        "C:\\Documents and Settings\\alice",
        "\\\\server\\share\\profiles\\bob",
    };
    const struct {
        const char* path;
        FolderVerdict verdict;
    } cases[] = {
        {"C:\\Program Files\\Pest", FolderVerdict::kAllowed},
        {"C:\\WINDOWS\\PestFolder", FolderVerdict::kAllowed},
        {"C:\\Documents and Settings\\alice\\Application Data\\Pest", FolderVerdict::kAllowed},
        {"c:/windows/system32/drivers/pest", FolderVerdict::kAllowed},
        {"D:\\WINDOWS", FolderVerdict::kAllowed},  // another drive's folder of that name
        {"C:\\WINDOWSX", FolderVerdict::kAllowed},
        {"C:\\WINDOWS", FolderVerdict::kProtected},
        {"c:\\windows\\", FolderVerdict::kProtected},
        {"C:\\WINDOWS\\System32", FolderVerdict::kProtected},
        {"C:\\WINDOWS\\\\system32\\", FolderVerdict::kProtected},
        {"C:/Windows/System32", FolderVerdict::kProtected},
        {"C:\\Documents and Settings", FolderVerdict::kProtected},
        {"C:\\Documents and Settings\\Alice", FolderVerdict::kProtected},
        {"C:\\", FolderVerdict::kProtected},
        {"C:", FolderVerdict::kProtected},
        {"d:\\", FolderVerdict::kProtected},
        {"\\\\server\\share", FolderVerdict::kProtected},
        {"\\\\server\\share\\", FolderVerdict::kProtected},
        {"\\\\server\\share\\profiles", FolderVerdict::kProtected},
        {"\\\\server\\share\\other", FolderVerdict::kAllowed},
        {"C:\\Program Files\\Pest\\..\\..\\WINDOWS", FolderVerdict::kNotAbsolute},
        {"C:\\Program Files\\.", FolderVerdict::kNotAbsolute},
        {"Pest", FolderVerdict::kNotAbsolute},
        {"\\Pest", FolderVerdict::kNotAbsolute},
        {"C:Pest", FolderVerdict::kNotAbsolute},
        {"\\\\?\\C:\\Pest", FolderVerdict::kNotAbsolute},
        {"\\\\.\\C:", FolderVerdict::kNotAbsolute},
        {"\\\\server", FolderVerdict::kNotAbsolute},
        {"", FolderVerdict::kNotAbsolute},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckFolderRemoval(c.path, kept, mb), c.verdict) << c.path;
}

TEST(ProtectedPlaces, KeyDeletionSparesTopLevelAndSharedKeys) {
    const auto mb = MultiByteText::SingleByte();
    const struct {
        const char* root;
        const char* path;
        bool kept;
    } cases[] = {
        {"hkey_current_user", "Software\\Pest", false},
        {"hkey_local_machine", "SOFTWARE\\Pest\\Sub", false},
        {"hkey_local_machine", "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Pest", false},
        {"hkey_classes_root", "CLSID\\{12345678-1234-1234-1234-123456789012}", false},
        {"hkey_users", "XJHive_S-1-5-21-1\\Software\\Pest", false},
        {"hkey_current_user", "", true},
        {"hkey_current_user", "\\", true},
        {"hkey_current_user", "Software", true},
        {"hkey_current_user", "Software\\", true},
        {"hkey_local_machine", "SYSTEM", true},
        {"hkey_classes_root", "CLSID", true},
        {"hkey_classes_root", ".exe", true},
        {"hkey_users", "S-1-5-21-1", true},
        {"hkey_users", "XJHive_S-1-5-21-1\\Software", true},
        {"hkey_users", ".DEFAULT\\Software", true},
        {"hkey_current_user", "Software\\Microsoft", true},
        {"hkey_current_user", "software\\microsoft\\windows\\currentversion", true},
        {"hkey_local_machine", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {"hkey_local_machine", "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true},
        {"hkey_local_machine", "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true},
        {"hkey_local_machine", "Software\\Classes\\CLSID", true},
        {"hkey_local_machine", "System\\CurrentControlSet\\Services", true},
        {"hkey_local_machine", "System\\CurrentControlSet", true},
        {"hkey_users", "S-1-5-21-1\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsProtectedRegistryKey(c.root, c.path, mb), c.kept) << c.root << " " << c.path;
}

}  // namespace
}  // namespace olvex

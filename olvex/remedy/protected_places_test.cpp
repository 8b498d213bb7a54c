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

TEST(ProtectedPlaces, KeyDeletionSparesRootsSharedKeysAndWhatWindowsKeepsInHivesAndClasses) {
    const auto mb = MultiByteText::SingleByte();
    // The file types the extension keys name on this imagined machine.
    const FileTypeQuery file_types = [](std::string_view name) {
        return name == "txtfile" || name == "exefile";
    };
    const struct {
        const char* root;
        const char* path;
        bool kept;
    } cases[] = {
        // Allowed: a pest's own keys.
        {"hkey_current_user", "Software\\Pest", false},
        {"hkey_current_user", "OlvexPest", false},
        {"hkey_local_machine", "SOFTWARE\\Pest\\Sub", false},
        {"hkey_local_machine", "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Pest", false},
        {"hkey_classes_root", "CLSID\\{12345678-1234-1234-1234-123456789012}", false},
        {"hkey_classes_root", "Pest.Toolbar", false},
        {"hkey_classes_root", "Pest.Toolbar.1", false},
        {"hkey_classes_root", "Pest.Toolbar\\CLSID", false},
        {"hkey_classes_root", ".exe\\PestHandler", false},
        {"hkey_local_machine", "Software\\Classes\\Pest.Toolbar", false},
        {"hkey_current_user", "Software\\Classes\\Pest.Toolbar", false},
        {"hkey_users", "XJHive_S-1-5-21-1\\Software\\Pest", false},
        {"hkey_users", "XJHive_S-1-5-21-1\\OlvexPest", false},
        {"hkey_users", "S-1-5-21-1_Classes\\Pest.Toolbar", false},
        // Roots and hives.
        {"hkey_current_user", "", true},
        {"hkey_current_user", "\\", true},
        {"hkey_classes_root", "", true},
        {"hkey_users", "S-1-5-21-1", true},
        {"hkey_users", "S-1-5-21-1_Classes", true},
        // Shared keys and what holds them.
        {"hkey_current_user", "Software", true},
        {"hkey_current_user", "Software\\", true},
        {"hkey_local_machine", "SYSTEM", true},
        {"hkey_users", "XJHive_S-1-5-21-1\\Software", true},
        {"hkey_users", ".DEFAULT\\Software", true},
        {"hkey_current_user", "Software\\Microsoft", true},
        {"hkey_current_user", "software\\microsoft\\windows\\currentversion", true},
        {"hkey_local_machine", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {"hkey_local_machine", "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", true},
        {"hkey_local_machine", "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true},
        {"hkey_local_machine", "Software\\Classes", true},
        {"hkey_local_machine", "Software\\Classes\\CLSID", true},
        {"hkey_local_machine", "System\\CurrentControlSet\\Services", true},
        {"hkey_local_machine", "System\\CurrentControlSet", true},
        {"hkey_users", "S-1-5-21-1\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        // Windows' own keys directly in a hive.
        {"hkey_local_machine", "HARDWARE", true},
        {"hkey_local_machine", "OlvexPest", true},
        {"hkey_current_user", "Control Panel", true},
        {"hkey_current_user", "environment", true},
        {"hkey_users", "XJHive_S-1-5-21-1\\Keyboard Layout", true},
        // Windows' own classes.
        {"hkey_classes_root", "CLSID", true},
        {"hkey_classes_root", "clsid\\", true},
        {"hkey_classes_root", "Interface", true},
        {"hkey_classes_root", "TypeLib", true},
        {"hkey_classes_root", "AppID", true},
        {"hkey_classes_root", "*", true},
        {"hkey_classes_root", "Directory", true},
        {"hkey_classes_root", "Folder", true},
        {"hkey_classes_root", "Drive", true},
        {"hkey_classes_root", "AllFilesystemObjects", true},
        {"hkey_classes_root", "Installer", true},
        {"hkey_classes_root", ".exe", true},
        {"hkey_classes_root", ".pestext", true},
        {"hkey_classes_root", "exefile", true},
        {"hkey_classes_root", "TXTFILE", true},
        {"hkey_current_user", "Software\\Classes\\.txt", true},
        {"hkey_local_machine", "Software\\Classes\\txtfile", true},
        {"hkey_users", "S-1-5-21-1_Classes\\Interface", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsProtectedRegistryKey(c.root, c.path, mb, file_types), c.kept)
            << c.root << " " << c.path;
    }
    // Without a way to learn the file types, only the fixed classes are kept.
    EXPECT_FALSE(IsProtectedRegistryKey("hkey_classes_root", "txtfile", mb));
    EXPECT_TRUE(IsProtectedRegistryKey("hkey_classes_root", "Folder", mb));
}

}  // namespace
}  // namespace olvex

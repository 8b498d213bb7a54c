#include "olvex/remedy/quarantine_paths.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(QuarantinePaths, ContainerMustLieDirectlyInTheQuarantineFolder) {
    const auto mb = MultiByteText::SingleByte();
    const std::string q = "C:\\Data\\Quarantine";
    const struct {
        const char* path;
        bool ok;
    } cases[] = {
        {"C:\\Data\\Quarantine\\qzq1A.tmp", true},
        {"c:\\data\\QUARANTINE\\qzq1A.tmp", true},  // the file system ignores case
        {"C:\\Data\\Quarantine/qzq1A.tmp", true},
        {"C:\\Data\\Quarantine\\reg12.tmp", true},
        {"C:\\Data\\Quarantine", false},
        {"C:\\Data\\Quarantine\\", false},
        {"C:\\Data\\Quarantine\\..", false},
        {"C:\\Data\\Quarantine\\.", false},
        {"C:\\Data\\Quarantine\\..\\..\\Windows\\win.ini", false},
        {"C:\\Data\\Quarantine\\sub\\qzq1.tmp", false},
        {"C:\\Data\\QuarantineX\\qzq1.tmp", false},
        {"C:\\Data\\Quarantine\\qzq1.tmp:stream", false},
        {"C:\\Data\\Quarantine\\qzq*.tmp", false},
        {"C:\\Data\\Quarantine\\NUL", false},
        {"C:\\Data\\Quarantine\\qzqdb.dat", false},  // the databases are no containers
        {"C:\\Data\\Quarantine\\QZQSDB.DAT", false},
        {"D:\\Data\\Quarantine\\qzq1.tmp", false},
        {"C:\\Windows\\win.ini", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsQuarantineContainerPath(c.path, q, mb), c.ok) << c.path;
    EXPECT_TRUE(IsQuarantineContainerPath("C:\\Q\\a", "C:\\Q\\", mb));
    EXPECT_FALSE(IsQuarantineContainerPath("C:\\Q\\a", "", mb));
}

TEST(QuarantinePaths, RestoreTargetMustBeAnAbsoluteLocalPath) {
    const auto mb = MultiByteText::SingleByte();
    const struct {
        const char* path;
        bool ok;
    } cases[] = {
        {"C:\\a\\x.exe", true},
        {"z:/a/b c/x.exe", true},
        {"C:\\Program Files\\Pest\\x.dll", true},
        {"C:\\", false},
        {"C:", false},
        {"C:x.exe", false},
        {"\\a\\x.exe", false},
        {"a\\x.exe", false},
        {"\\\\server\\share\\x.exe", false},
        {"\\\\?\\C:\\x.exe", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"C:\\a\\..\\..\\x.exe", false},
        {"C:\\a\\.\\x.exe", false},
        {"C:\\a\\\\x.exe", false},
        {"C:\\a\\", false},
        {"C:\\a\\x.exe:stream", false},
        {"C:\\a\\con", false},
        {"C:\\a\\Com1.txt", false},
        {"C:\\a\\lpt9", false},
        {"C:\\a\\com0", true},
        {"C:\\a\\console", true},
        {"C:\\a\\x?.exe", false},
        {"C:\\a\\x\".exe", false},
        {"C:\\a\\x\n.exe", false},
        {"1:\\a", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsAbsoluteLocalPath(c.path, mb), c.ok) << c.path;
}

TEST(QuarantinePaths, DoubleByteTrailBytesAreNoSeparators) {
    // In code page 932 the character 0x95 0x5C ends in the byte of a backslash.
    const auto sjis = MultiByteText::ForCodePage(932);
    const std::string name = "C:\\a\\\x95\x5C.txt";
    EXPECT_TRUE(IsAbsoluteLocalPath(name, sjis));
    EXPECT_TRUE(IsQuarantineContainerPath("C:\\Q\\\x95\x5C", "C:\\Q", sjis));
    EXPECT_FALSE(
        IsQuarantineContainerPath("C:\\Q\\\x95\x5C", "C:\\Q", MultiByteText::SingleByte()));
    EXPECT_EQ(FilePartOfFileValue("C:\\a\\x.exe|y", sjis), "C:\\a\\x.exe");
    EXPECT_EQ(FilePartOfFileValue("C:\\\x95|.exe|y", sjis), "C:\\\x95|.exe");
}

}  // namespace
}  // namespace olvex

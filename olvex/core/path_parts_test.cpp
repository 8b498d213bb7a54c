#include "olvex/core/path_parts.h"

#include <gtest/gtest.h>

namespace olvex {
namespace {

TEST(PathPartsTest, FolderPartCutsAtTheLastBackslash) {
    struct Case {
        const char* path;
        const char* folder;
    };
    const Case cases[] = {
        {"C:\\app\\olvex.dll", "C:\\app"},
        {"C:\\olvex.dll", "C:"},
        {"C:\\a\\b\\", "C:\\a\\b"},
        {"\\\\server\\share\\olvex.dll", "\\\\server\\share"},
        {"olvex.dll", "olvex.dll"},      // no separator: the text stays whole
        {"\\olvex.dll", "\\olvex.dll"},  // a leading backslash is not a separator
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
    }
}

TEST(PathPartsTest, FileNamePartIsTheTextAfterTheLastBackslash) {
    struct Case {
        const char* path;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\app\\olvex.dll", "olvex.dll"},
        {"C:\\app\\", ""},
        {"olvex.dll", ""},    // no separator: nothing
        {"\\olvex.dll", ""},  // index 0 is not searched
        {"a\\b", "b"},
        {"C:\\dir with blanks\\file name.txt", "file name.txt"},
    };
    for (const auto& c : cases) {
        const auto name = GetFileNamePart(c.path);
        ASSERT_TRUE(name.has_value()) << c.path;
        EXPECT_EQ(*name, c.name) << c.path;
    }
    EXPECT_FALSE(GetFileNamePart("").has_value());
}

}  // namespace
}  // namespace olvex

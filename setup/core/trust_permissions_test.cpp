#include "setup/core/trust_permissions.h"

#include <gtest/gtest.h>

namespace olvex::setup {
namespace {

TEST(TrustPermissionsTest, MergePermissionByKind) {
    struct Case {
        int32_t kind;
        uint32_t field;
        int32_t value;
        uint32_t after;
        bool changed;
    };
    const Case cases[] = {
        // Kind 1 clears for values below 1.
        {1, 5, 0, 0, true},
        {1, 5, -1, 0, true},
        {1, 0, 0, 0, false},
        {1, 5, 1, 5, false},
        // Kind 2 allows for values of 0 or more.
        {2, 0, 1, 1, true},
        {2, 1, 1, 1, false},
        {2, 2, 0, 1, true},
        {2, 0, -1, 0, false},
        // Kind 3.
        {3, 0, 0, 2, true},
        {3, 7, 0, 2, true},
        {3, 1, -1, 2, true},
        {3, 0, -1, 0, false},
        {3, 0, 1, 2, true},
        {3, 1, 1, 1, false},
        {3, 2, 1, 2, false},
        {3, 0, 5, 0, false},
        // Other kinds change nothing.
        {0, 3, 1, 3, false},
        {4, 0, 1, 0, false},
        {-2, 1, 0, 1, false},
    };
    for (const Case& c : cases) {
        uint32_t field = c.field;
        EXPECT_EQ(MergePermission(c.kind, field, c.value), c.changed)
            << c.kind << " " << c.field << " " << c.value;
        EXPECT_EQ(field, c.after) << c.kind << " " << c.field << " " << c.value;
    }
}

TEST(TrustPermissionsTest, TheProductRowIntoItsWords) {
    const PermissionRow row = {2, 2, 3, 3, 3, 3};
    PermissionWords words{};
    words[0] = 84;
    ASSERT_TRUE(MergePermissionRow(row, 1, words));
    PermissionWords expected{};
    expected[0] = 84;
    expected[1] = 1;
    expected[3] = 1;
    expected[2] = 2;
    expected[4] = 2;
    expected[14] = 2;
    expected[11] = 2;
    EXPECT_EQ(words, expected);
    // Merged again: nothing to change, nothing to write.
    EXPECT_FALSE(MergePermissionRow(row, 1, words));

    // The user's own choices stay: a kind-3 field already set is kept.
    PermissionWords chosen{};
    chosen[2] = 1;
    chosen[4] = 1;
    chosen[1] = 1;
    chosen[3] = 1;
    chosen[14] = 1;
    chosen[11] = 1;
    EXPECT_FALSE(MergePermissionRow(row, 1, chosen));
}

}  // namespace
}  // namespace olvex::setup

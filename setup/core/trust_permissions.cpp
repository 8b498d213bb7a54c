#include "setup/core/trust_permissions.h"

namespace olvex::setup {

bool MergePermission(int32_t kind, uint32_t& field, int32_t value) {
    const uint32_t before = field;
    switch (kind) {
        case 1:
            if (value < 1) {
                field = 0;
            }
            break;
        case 2:
            if (value >= 0) {
                field = 1;
            }
            break;
        case 3:
            if (value == 0 || (value == -1 && field == 1) || (value == 1 && field == 0)) {
                field = 2;
            }
            break;
        default:
            break;
    }
    return field != before;
}

bool MergePermissionRow(const PermissionRow& row, int32_t value, PermissionWords& words) {
    bool changed = false;
    for (size_t i = 0; i < row.size(); ++i) {
        changed |= MergePermission(row[i], words[kPermissionRowWords[i]], value);
    }
    return changed;
}

}  // namespace olvex::setup

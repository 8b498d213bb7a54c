#include "dlgframe/tab_layout.h"

#include <algorithm>

namespace olvex::dlgframe {

TabLayout ComputeTabLayout(const TabLayoutInput& input) {
    TabLayout layout;
    layout.bottom_reserve =
        input.has_bottom ? 2 * kTabMargin + input.bottom_height : kTabMargin;
    // The page sits 2 pixels in from the tab control's left border and 4
    // under its tab row; the control leaves a 2-pixel border round it.
    layout.page = {2, kTabRowHeight + 4, input.page_width, input.page_height};
    layout.tab_control = {kTabMargin, input.banner_height, input.page_width + 4,
                          kTabRowHeight + 4 + input.page_height + 2};
    // As wide as the tab control or the bottom dialog, whichever is wider.
    layout.client_width =
        2 * kTabMargin + std::max(layout.tab_control.width, input.has_bottom ? input.bottom_width : 0);
    layout.client_height =
        input.banner_height + layout.tab_control.height + layout.bottom_reserve;
    if (input.tab_count > 0)
        layout.tab_width = (input.page_width - 5) / input.tab_count;
    if (input.has_bottom) {
        layout.bottom = {kTabMargin, layout.client_height - input.bottom_height - 4,
                         input.bottom_width, input.bottom_height};
    }
    return layout;
}

bool AcceptablePageCount(bool has_table, int count) {
    if (count < 0 || count > kTabMaxPages)
        return false;
    return count == 0 || has_table;
}

}  // namespace olvex::dlgframe

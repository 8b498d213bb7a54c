// The tabbed window's layout: the large banner on top, the tab control with
// the page under its tab row, and an optional dialog along the bottom. The
// client area is made to hold all of it; the window's frame is added by the
// caller (AdjustWindowRectEx).
#pragma once

namespace olvex::dlgframe {

inline constexpr int kTabMaxPages = 15;
inline constexpr int kTabMargin = 10;
inline constexpr int kTabRowHeight = 30;

struct TabLayoutInput {
    int page_width = 0;  // the page dialog's window size
    int page_height = 0;
    int bottom_width = 0;  // the bottom dialog's window size; 0 without one
    int bottom_height = 0;
    bool has_bottom = false;
    int banner_height = 0;  // the large banner
    int tab_count = 0;
};

struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct TabLayout {
    int client_width = 0;
    int client_height = 0;
    Box tab_control;  // in the client area
    Box page;         // inside the tab control
    Box bottom;       // in the client area (its width is the bottom dialog's own)
    int tab_width = 0;  // every tab alike; 0 without tabs
    int tab_height = kTabRowHeight;
    int bottom_reserve = 0;
};

TabLayout ComputeTabLayout(const TabLayoutInput& input);

// Whether a page table may be shown: 0 to 15 entries, and a table when there
// are any.
bool AcceptablePageCount(bool has_table, int count);

}  // namespace olvex::dlgframe

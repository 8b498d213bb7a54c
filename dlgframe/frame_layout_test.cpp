// Message box and tabbed window layout.
#include "dlgframe/message_box_layout.h"
#include "dlgframe/tab_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace olvex::dlgframe {
namespace {

TEST(MessageBoxLayoutTest, ButtonsByType) {
    struct Case {
        int type;
        std::vector<int> commands;
        std::vector<unsigned> captions;
    };
    const Case cases[] = {
        {0, {1}, {20160}},
        {1, {1, 2}, {20160, 20161}},
        {2, {3, 4, 5}, {22204, 20156, 22203}},
        {3, {}, {}},
        {4, {6, 7}, {20158, 20159}},
        {5, {}, {}},
        {-1, {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<int> commands;
        std::vector<unsigned> captions;
        for (const MessageBoxButton& button : MessageBoxButtons(c.type)) {
            commands.push_back(button.command);
            captions.push_back(button.caption_string);
        }
        EXPECT_EQ(commands, c.commands) << "type " << c.type;
        EXPECT_EQ(captions, c.captions) << "type " << c.type;
    }
}

TEST(MessageBoxLayoutTest, MinimumWidthAndButtonPlaces) {
    EXPECT_EQ(MessageBoxMinimumClientWidth(0, 75), 250);
    EXPECT_EQ(MessageBoxMinimumClientWidth(3, 300), 340);
    EXPECT_EQ(MessageBoxMinimumClientWidth(1, 100), 260);
    EXPECT_EQ(MessageBoxMinimumClientWidth(4, 75), 250);
    EXPECT_EQ(MessageBoxMinimumClientWidth(2, 75), 305);
    EXPECT_EQ(MessageBoxMinimumClientWidth(9, 240), 280);

    EXPECT_EQ(MessageBoxButtonLefts(1, 150, 76), (std::vector<int>{112}));
    EXPECT_EQ(MessageBoxButtonLefts(2, 150, 76), (std::vector<int>{64, 160}));
    EXPECT_EQ(MessageBoxButtonLefts(3, 150, 76), (std::vector<int>{16, 112, 208}));
    EXPECT_TRUE(MessageBoxButtonLefts(0, 150, 76).empty());
    EXPECT_EQ(MessageBoxButtonTop(120, 23), 83);
}

TEST(MessageBoxLayoutTest, GrowsToItsTextAndToTheMinimumWidth) {
    // Short text: the control still gains its 4 pixels; the box reaches 250.
    MessageBoxGrowth g = MessageBoxGrowthFor({180, 30}, Extent{60, 13}, 200, 250);
    EXPECT_EQ(g.text_width, 4);
    EXPECT_EQ(g.text_height, 0);
    EXPECT_EQ(g.dialog_width, 50);
    EXPECT_EQ(g.dialog_height, 0);

    // Long text wrapped within three control widths: both grow alike.
    g = MessageBoxGrowthFor({180, 30}, Extent{540, 65}, 300, 250);
    EXPECT_EQ(g.text_width, 364);
    EXPECT_EQ(g.text_height, 35);
    EXPECT_EQ(g.dialog_width, 364);
    EXPECT_EQ(g.dialog_height, 35);

    // A failed measurement keeps the control's size.
    g = MessageBoxGrowthFor({180, 30}, std::nullopt, 300, 250);
    EXPECT_EQ(g.text_width, 4);
    EXPECT_EQ(g.text_height, 0);

    EXPECT_EQ(MessageBoxMeasureLimit({180, 30}).width, 540);
    EXPECT_EQ(MessageBoxMeasureLimit({180, 30}).height, 150);
}

TEST(MessageBoxLayoutTest, EnterEscapeAndButtonCommands) {
    constexpr int kNone = -99;
    struct Case {
        int type;
        int enter;   // result of IDOK sent by the dialog manager
        int escape;  // result of IDCANCEL
    };
    const Case cases[] = {
        {0, 1, 2}, {1, 1, 2}, {2, 3, 2}, {3, 1, 2}, {4, 6, 2}, {7, 1, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MessageBoxCommandResult(c.type, 1).value_or(kNone), c.enter) << c.type;
        EXPECT_EQ(MessageBoxCommandResult(c.type, 2).value_or(kNone), c.escape) << c.type;
    }
    EXPECT_EQ(MessageBoxCommandResult(2, 4), 4);
    EXPECT_EQ(MessageBoxCommandResult(4, 7), 7);
    // Ids of buttons the box does not have end nothing.
    EXPECT_FALSE(MessageBoxCommandResult(0, 6));
    EXPECT_FALSE(MessageBoxCommandResult(4, 3));
    EXPECT_FALSE(MessageBoxCommandResult(1, 1073));
}

TEST(TabLayoutTest, EveryPartLiesInsideTheClientArea) {
    for (const bool bottom : {false, true}) {
        TabLayoutInput input;
        input.page_width = 300;
        input.page_height = 200;
        input.has_bottom = bottom;
        input.bottom_width = bottom ? 250 : 0;
        input.bottom_height = bottom ? 40 : 0;
        input.banner_height = 56;
        input.tab_count = 3;
        const TabLayout layout = ComputeTabLayout(input);
        EXPECT_EQ(layout.bottom_reserve, bottom ? 60 : 10);
        EXPECT_EQ(layout.tab_width, 98);
        EXPECT_EQ(layout.tab_control.y, 56);
        // The page inside the tab control, under its tab row.
        EXPECT_GE(layout.page.y, kTabRowHeight);
        EXPECT_LE(layout.page.x + layout.page.width, layout.tab_control.width - 1);
        EXPECT_LE(layout.page.y + layout.page.height, layout.tab_control.height - 1);
        // The tab control inside the client area with its margin.
        EXPECT_EQ(layout.tab_control.x + layout.tab_control.width + kTabMargin,
                  layout.client_width);
        const int tab_bottom = layout.tab_control.y + layout.tab_control.height;
        EXPECT_EQ(tab_bottom + layout.bottom_reserve, layout.client_height);
        if (bottom) {
            EXPECT_GT(layout.bottom.y, tab_bottom);
            EXPECT_LE(layout.bottom.y + layout.bottom.height, layout.client_height);
            EXPECT_LE(layout.bottom.x + layout.bottom.width, layout.client_width);
        }
    }
}

TEST(TabLayoutTest, AWideBottomDialogWidensTheWindow) {
    TabLayoutInput input;
    input.page_width = 200;
    input.page_height = 100;
    input.has_bottom = true;
    input.bottom_width = 300;
    input.bottom_height = 30;
    input.tab_count = 2;
    const TabLayout layout = ComputeTabLayout(input);
    EXPECT_EQ(layout.client_width, 2 * kTabMargin + 300);
    EXPECT_EQ(layout.bottom.x + layout.bottom.width + kTabMargin, layout.client_width);
    // The tabs still follow the page.
    EXPECT_EQ(layout.tab_control.width, 204);
    EXPECT_EQ(layout.tab_width, 97);
}

TEST(TabLayoutTest, PageCounts) {
    EXPECT_TRUE(AcceptablePageCount(true, 0));
    EXPECT_TRUE(AcceptablePageCount(false, 0));
    EXPECT_TRUE(AcceptablePageCount(true, 15));
    EXPECT_FALSE(AcceptablePageCount(true, 16));
    EXPECT_FALSE(AcceptablePageCount(true, -1));
    EXPECT_FALSE(AcceptablePageCount(false, 3));
}

}  // namespace
}  // namespace olvex::dlgframe

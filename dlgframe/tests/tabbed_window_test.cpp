// The tabbed window: pages of different sizes, a bottom dialog, its close
// command, and the counts it refuses.
#include <gtest/gtest.h>

#include <commctrl.h>

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/test_ids.h"
#include "testing/gui/window_driver.h"

namespace olvex::frametest {
namespace {

struct PageLog {
    std::mutex mutex;
    std::array<HWND, 3> pages{};
    std::array<int, 3> showing{};  // FRAMEWORK_MSG_PAGE_SHOWING received
};

PageLog& Pages() {
    static PageLog log;
    return log;
}

INT_PTR CALLBACK PageProcedure(HWND page, UINT message, WPARAM, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(page, DWLP_USER, lparam);
        std::lock_guard<std::mutex> lock(Pages().mutex);
        Pages().pages.at(static_cast<std::size_t>(lparam)) = page;
        return TRUE;
    }
    if (message == FRAMEWORK_MSG_PAGE_SHOWING) {
        std::lock_guard<std::mutex> lock(Pages().mutex);
        ++Pages().showing.at(static_cast<std::size_t>(GetWindowLongPtrW(page, DWLP_USER)));
        return TRUE;
    }
    return FALSE;
}

// The bottom dialog runs under its own procedure: it paints itself white
// like the window, and its Close button's command goes on to the window.
INT_PTR CALLBACK BottomProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CTLCOLORDLG)
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    if (message == WM_COMMAND && LOWORD(wparam) == FRAMEWORK_TABBED_CLOSE) {
        SendMessageW(GetParent(dialog), WM_COMMAND, wparam, lparam);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

// Runs the window's message loop until WM_QUIT; its exit code, or -1 when no
// window was made.
INT_PTR RunTabbedWindow(HWND window) {
    if (window == nullptr)
        return -1;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<INT_PTR>(message.wParam);
}

void ClickTab(HWND tabs, int index) {
    RECT item{};
    TabCtrl_GetItemRect(tabs, index, &item);
    const LPARAM point = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    Send(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
    Send(tabs, WM_LBUTTONUP, 0, point);
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::vector<FrameworkPage> ThreePages() {
    return {
        {IDD_TEST_PAGE_SMALL, IDS_TEST_PAGE1, PageProcedure, 0, 0, 0},
        {IDD_TEST_PAGE_WIDE, IDS_TEST_PAGE2, PageProcedure, 1, 0x10, 0},
        {IDD_TEST_PAGE_TALL, IDS_TEST_PAGE3, PageProcedure, 2, 0, 0},
    };
}

TEST(FrameworkTabbedWindowTest, PagesAndBottomDialogFitTheClientAreaOnEveryTab) {
    Session session(L"XJVProd.dll", L"tframeres.dll");
    for (int round = 0; round < 2; ++round) {  // a second window after the first
        {
            std::lock_guard<std::mutex> lock(Pages().mutex);
            Pages().pages = {};
            Pages().showing = {};
        }
        std::vector<FrameworkPage> pages = ThreePages();
        FrameworkBottomDialog bottom{IDD_TEST_BOTTOM, 0, BottomProcedure, 0, 0, nullptr};
        HWND made = nullptr;
        const INT_PTR result = Drive(
            [&] {
                made = Api().create_tabbed_window_ex(pages.data(), 3, &bottom);
                return RunTabbedWindow(made);
            },
            [&] {
                HWND window = WaitForWindow(L"Kelvan Suite Personal");
                if (window == nullptr) {
                    ADD_FAILURE() << "no tabbed window";
                    return;
                }
                HWND tabs = FindWindowExW(window, nullptr, WC_TABCONTROLW, L"TabCont");
                ASSERT_NE(tabs, nullptr);
                ASSERT_EQ(TabCtrl_GetItemCount(tabs), 3);
                HWND bottom_dialog = bottom.window;
                EXPECT_NE(bottom_dialog, nullptr);
                const wchar_t* labels[] = {L"Small", L"Wide", L"Not Found"};
                SIZE previous{};
                for (int tab = 0; tab < 3; ++tab) {
                    if (tab > 0)
                        ClickTab(tabs, tab);
                    Send(window, WM_NULL);
                    EXPECT_EQ(TabCtrl_GetCurSel(tabs), tab);
                    wchar_t label[64]{};
                    TCITEMW item{};
                    item.mask = TCIF_TEXT;
                    item.pszText = label;
                    item.cchTextMax = 64;
                    Send(tabs, TCM_GETITEMW, tab, reinterpret_cast<LPARAM>(&item));
                    EXPECT_STREQ(label, labels[tab]);

                    HWND page = Pages().pages[tab];
                    ASSERT_NE(page, nullptr);
                    EXPECT_TRUE(IsWindowVisible(page)) << tab;
                    for (int other = 0; other < 3; ++other) {
                        if (other != tab) {
                            EXPECT_FALSE(IsWindowVisible(Pages().pages[other])) << other;
                        }
                    }
                    RECT client{};
                    GetClientRect(window, &client);
                    const RECT page_place = RectIn(page, window);
                    const RECT tabs_place = RectIn(tabs, window);
                    const RECT bottom_place = RectIn(bottom_dialog, window);
                    EXPECT_TRUE(Inside(page_place, client)) << "page " << tab;
                    EXPECT_TRUE(Inside(page_place, tabs_place)) << "page " << tab;
                    EXPECT_TRUE(Inside(bottom_place, client)) << "bottom, tab " << tab;
                    EXPECT_GE(bottom_place.top, tabs_place.bottom) << tab;
                    // Under the tab row and the banner.
                    RECT row{};
                    TabCtrl_GetItemRect(tabs, 0, &row);
                    EXPECT_GE(page_place.top, tabs_place.top + row.bottom) << tab;
                    EXPECT_GE(tabs_place.top, 60);  // the large banner
                    // Every tab as wide as the others.
                    for (int i = 1; i < 3; ++i) {
                        RECT a{}, b{};
                        TabCtrl_GetItemRect(tabs, 0, &a);
                        TabCtrl_GetItemRect(tabs, i, &b);
                        EXPECT_EQ(b.right - b.left, a.right - a.left) << "tab " << i;
                    }
                    // The window fits each page.
                    const SIZE size = WindowSize(window);
                    if (tab > 0) {
                        EXPECT_TRUE(size.cx != previous.cx || size.cy != previous.cy) << tab;
                    }
                    previous = size;
                    {
                        std::lock_guard<std::mutex> lock(Pages().mutex);
                        EXPECT_GE(Pages().showing[tab], 1) << tab;
                    }
                    if (round == 0 && tab == 1)
                        Screenshot(window, "tabbed-window");
                }
                // The bottom dialog's Close ends the caller's message loop.
                Send(GetDlgItem(bottom_dialog, FRAMEWORK_TABBED_CLOSE), BM_CLICK);
                EXPECT_TRUE(WaitGone(window));
            });
        EXPECT_NE(made, nullptr);
        EXPECT_EQ(result, 0) << "round " << round;
    }
}

TEST(FrameworkTabbedWindowTest, NoPagesGiveAnEmptyWindowAndTooManyNone) {
    Session session(L"XJVProd.dll", L"tframeres.dll");
    const INT_PTR result = Drive(
        [&] { return RunTabbedWindow(Api().create_tabbed_window(nullptr, 0)); },
        [&] {
            HWND window = WaitForWindow(L"Kelvan Suite Personal");
            if (window == nullptr) {
                ADD_FAILURE() << "no tabbed window";
                return;
            }
            HWND tabs = FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr);
            ASSERT_NE(tabs, nullptr);
            EXPECT_EQ(TabCtrl_GetItemCount(tabs), 0);
            PostMessageW(window, WM_COMMAND, FRAMEWORK_TABBED_CLOSE, 0);
        });
    EXPECT_EQ(result, 0);

    const std::size_t windows_before = gui::ListTopLevelWindows().size();
    std::vector<FrameworkPage> many(16, ThreePages().front());
    EXPECT_EQ(Api().create_tabbed_window(many.data(), 16), nullptr);
    EXPECT_EQ(Api().create_tabbed_window(many.data(), -1), nullptr);
    EXPECT_EQ(Api().create_tabbed_window(nullptr, 3), nullptr);
    FrameworkBottomDialog bottom{IDD_TEST_BOTTOM, 0, BottomProcedure, 0, 0, nullptr};
    EXPECT_EQ(Api().create_tabbed_window_ex(many.data(), 16, &bottom), nullptr);
    EXPECT_EQ(bottom.window, nullptr);
    EXPECT_EQ(gui::ListTopLevelWindows().size(), windows_before);
}

TEST(FrameworkTabbedWindowTest, MissingClassNameFallsBackToAFixedOne) {
    // Neither DLL holds string 22001.
    Session session(L"tprodover.dll", L"tnobanner.dll");
    std::vector<FrameworkPage> pages = ThreePages();
    const INT_PTR result = Drive(
        [&] { return RunTabbedWindow(Api().create_tabbed_window(pages.data(), 1)); },
        [&] {
            HWND window = WaitForWindow(L"Framework test window");
            if (window == nullptr) {
                ADD_FAILURE() << "no tabbed window";
                return;
            }
            EXPECT_EQ(ClassOf(window), L"UlmFrameTabbedWindow");
            PostMessageW(window, WM_COMMAND, FRAMEWORK_TABBED_CLOSE, 0);
        });
    EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace olvex::frametest

// The dialog host and the custom controls, driven as a user meets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dlgframe/frame_palette.h"
#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/seven_dialog.h"
#include "dlgframe/tests/test_ids.h"
#include "testing/gui/window_driver.h"

namespace olvex::frametest {
namespace {

using dlgframe::PaletteEntry;

COLORREF Gradient(PaletteEntry top, PaletteEntry bottom, int row, int height) {
    const dlgframe::Palette& palette = dlgframe::PaletteScheme(false);
    const auto c = dlgframe::GradientColour(dlgframe::PaletteColour(palette, top),
                                            dlgframe::PaletteColour(palette, bottom), row, height);
    return RGB(c.red, c.green, c.blue);
}

INT_PTR CALLBACK CloseOnCancel(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

struct Placement {
    SIZE window{};
    RECT label{};
    RECT template_label{};  // the template's (10, 10) in pixels
    RECT combo{};
    RECT combo_edit{};  // the combo box's own edit, in the combo
    std::vector<COLORREF> rows;  // the background at sampled rows, right edge
    int client_height = 0;
};

Placement Place(UINT flags) {
    Placement seen;
    Drive(
        [&] {
            return Api().dialog_box(GetModuleHandleW(nullptr), IDD_TEST_POSITION, nullptr,
                                    CloseOnCancel, 0, flags);
        },
        [&] {
            HWND dialog = WaitForWindow(L"Placement");
            if (dialog == nullptr) {
                ADD_FAILURE() << "no dialog";
                return;
            }
            seen.window = WindowSize(dialog);
            seen.label = RectInParent(GetDlgItem(dialog, IDC_POSITIONED));
            seen.template_label = {10, 10, 70, 22};
            MapDialogRect(dialog, &seen.template_label);
            HWND combo = GetDlgItem(dialog, IDC_COMBO);
            seen.combo = RectInParent(combo);
            seen.combo_edit = RectIn(GetWindow(combo, GW_CHILD), combo);
            const Capture capture(dialog);
            seen.client_height = capture.height();
            for (const int row : {0, 1, capture.height() / 3, capture.height() / 2,
                                  capture.height() - 1})
                seen.rows.push_back(capture.At(capture.width() - 2, row));
            if (flags == 0x10)
                Screenshot(dialog, "placement-white");
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
    return seen;
}

TEST(FrameworkHostTest, BannerMovesOnlyTheDialogsOwnControlsDownAndKeepsItsWidth) {
    Session session(L"tprodover.dll", L"tframeres.dll");  // small banner 40 pixels
    const Placement plain = Place(0);
    const Placement banner = Place(0x2);
    // Without a banner the template's place; with one, lower by the banner.
    EXPECT_EQ(plain.label.left, plain.template_label.left);
    EXPECT_EQ(plain.label.top, plain.template_label.top);
    EXPECT_EQ(banner.label.left, plain.label.left);
    EXPECT_EQ(banner.label.top, plain.label.top + 40);
    EXPECT_EQ(banner.window.cx, plain.window.cx);
    EXPECT_EQ(banner.window.cy, plain.window.cy + 40);
    EXPECT_EQ(banner.combo.top, plain.combo.top + 40);
    // The combo box's edit stays where the combo box put it.
    EXPECT_EQ(banner.combo_edit.top, plain.combo_edit.top);
    EXPECT_EQ(banner.combo_edit.left, plain.combo_edit.left);
}

TEST(FrameworkHostTest, BackgroundIsAVerticalGradientOrWhite) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    for (const UINT flags : {0u, 0x2u}) {
        const Placement seen = Place(flags);
        const int h = seen.client_height;
        const int rows[] = {0, 1, h / 3, h / 2, h - 1};
        for (std::size_t i = 0; i < seen.rows.size(); ++i) {
            if (flags == 0x2 && rows[i] < 40)
                continue;  // the banner
            EXPECT_EQ(seen.rows[i],
                      Gradient(PaletteEntry::kSurface1, PaletteEntry::kSurface2, rows[i], h))
                << "flags " << flags << " row " << rows[i];
        }
    }
    const Placement white = Place(0x10);
    for (const COLORREF c : white.rows)
        EXPECT_EQ(c, RGB(255, 255, 255));
}

// A script against the dialog with every control class.
void WithSeven(const std::function<void(HWND)>& script, UINT flags = 0x4) {
    const INT_PTR result = Drive([&] { return ShowSevenDialog(flags); },
                                 [&] {
                                     HWND dialog = WaitForWindow(kSevenTitle);
                                     if (dialog == nullptr) {
                                         ADD_FAILURE() << "no dialog";
                                         return;
                                     }
                                     script(dialog);
                                     PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                                 });
    EXPECT_EQ(result, IDCANCEL);
}

LPARAM Point(int x, int y) {
    return MAKELPARAM(x, y);
}

TEST(FrameworkControlsTest, EveryClassOnABannerDialog) {
    Session session(L"XJVProd.dll", L"tframeres.dll");
    WithSeven([](HWND dialog) {
        const char* classes[] = {"CUST:LABEL",       "CUST:IMAGE",       "CUST:GROUP",
                                 "CUST:BUTTON",      "CUST:WEBLINK",     "CUST:RADIOBUTTON",
                                 "CUST:CHECKBUTTON"};
        for (const char* name : classes) {
            bool found = false;
            for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                const std::wstring wide(name, name + strlen(name));
                found = found || ClassOf(child) == wide;
            }
            EXPECT_TRUE(found) << name;
        }
        Screenshot(dialog, "banner-dialog-seven-controls");
    });
}

TEST(FrameworkControlsTest, OurOwnResourceDllsLook) {
    Session session(nullptr, nullptr);
    WithSeven([](HWND dialog) { Screenshot(dialog, "banner-dialog-default-resources"); });
    WithSeven([](HWND dialog) { Screenshot(dialog, "small-banner-default-resources"); }, 0x2);
}

TEST(FrameworkControlsTest, ButtonFaceGradientAndHover) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    WithSeven([](HWND dialog) {
        HWND button = GetDlgItem(dialog, IDC_PUSH_BUTTON);
        const RECT place = RectInParent(button);
        const int h = place.bottom - place.top;
        const auto face_matches = [&](PaletteEntry top, PaletteEntry bottom) {
            const Capture capture(button);
            for (const int row : {5, h / 2, h - 6}) {
                if (capture.At(3, row) != Gradient(top, bottom, row, h))
                    return false;
            }
            return true;
        };
        // The cursor far away: the normal face.
        SetCursorPos(1, 1);
        EXPECT_TRUE(face_matches(PaletteEntry::kFaceNormal1, PaletteEntry::kFaceNormal2));

        // The mouse over it: the hover face, kept while the cursor stays.
        POINT centre{(place.left + place.right) / 2, (place.top + place.bottom) / 2};
        ClientToScreen(dialog, &centre);
        const auto hover = [&] {
            SetCursorPos(centre.x, centre.y);
            Send(button, WM_MOUSEMOVE, 0, Point(10, 10));
        };
        hover();
        EXPECT_TRUE(face_matches(PaletteEntry::kFaceHover1, PaletteEntry::kFaceHover2));
        Sleep(300);
        EXPECT_TRUE(face_matches(PaletteEntry::kFaceHover1, PaletteEntry::kFaceHover2));

        // The cursor leaves: normal again within 150 ms (the hover timer
        // ticks every 100 ms). A busy machine may delay one timer message,
        // so the best of three tries counts.
        long best = 100000;
        for (int attempt = 0; attempt < 3 && best > 150; ++attempt) {
            if (attempt > 0)
                hover();
            SetCursorPos(1, 1);
            const auto left = std::chrono::steady_clock::now();
            bool normal = false;
            while (!normal && std::chrono::steady_clock::now() - left < std::chrono::seconds(2))
                normal = face_matches(PaletteEntry::kFaceNormal1, PaletteEntry::kFaceNormal2);
            EXPECT_TRUE(normal);
            best = std::min<long>(best, static_cast<long>(
                                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - left)
                                                .count()));
        }
        EXPECT_LE(best, 150);
    });
}

TEST(FrameworkControlsTest, SplitLabelReadsBackItsFirstPart) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    WithSeven([](HWND dialog) {
        HWND label = GetDlgItem(dialog, IDC_SPLIT_LABEL);
        EXPECT_EQ(Text(label), L"Left");
        EXPECT_EQ(Send(label, WM_GETTEXTLENGTH), 4);
        SetWindowTextW(label, L"Name|Value");
        EXPECT_EQ(Text(label), L"Name");
        wchar_t small[3] = {L'#', L'#', L'#'};
        EXPECT_EQ(Send(label, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(small)), 2);
        EXPECT_STREQ(small, L"Na");
        // A text longer than the label's buffer is cut, never overrun.
        const std::wstring long_text(5000, L'w');
        SetWindowTextW(label, long_text.c_str());
        std::vector<wchar_t> read(6000, L'#');
        EXPECT_EQ(Send(label, WM_GETTEXT, read.size(), reinterpret_cast<LPARAM>(read.data())),
                  2047);
        EXPECT_EQ(std::wstring(read.data()), std::wstring(2047, L'w'));
    });
}

TEST(FrameworkControlsTest, OnlyAReleaseStrictlyInsideClicks) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    WithSeven([](HWND dialog) {
        HWND button = GetDlgItem(dialog, IDC_PUSH_BUTTON);
        const SIZE size = ClientSize(button);
        struct Case {
            int x;
            int y;
            int clicks;
        };
        const Case cases[] = {
            {0, 5, 0}, {5, 0, 0}, {size.cx, 5, 0}, {5, size.cy, 0}, {-3, 5, 0},
            {1, 1, 1}, {size.cx - 1, size.cy - 1, 1}, {5, 5, 1},
        };
        for (const Case& c : cases) {
            SevenCommands().Clear();
            Send(button, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
            Send(button, WM_LBUTTONUP, 0, Point(c.x, c.y));
            EXPECT_EQ(SevenCommands().CountFor(IDC_PUSH_BUTTON), c.clicks)
                << "release at " << c.x << "," << c.y;
        }
        // BM_CLICK is a click too.
        SevenCommands().Clear();
        Send(button, BM_CLICK);
        EXPECT_EQ(SevenCommands().CountFor(IDC_PUSH_BUTTON), 1);
    });
}

TEST(FrameworkControlsTest, CheckBoxTogglesOnceAndNotifiesOncePerClick) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    WithSeven([](HWND dialog) {
        HWND check = GetDlgItem(dialog, IDC_CHECK);
        const std::function<void()> clicks[] = {
            [&] { Send(check, BM_CLICK); },
            [&] {
                Send(check, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
                Send(check, WM_LBUTTONUP, 0, Point(5, 5));
            },
            [&] {
                Send(check, WM_KEYDOWN, VK_SPACE, 0);
                Send(check, WM_KEYUP, VK_SPACE, 0);
            },
        };
        const char* kinds[] = {"BM_CLICK", "mouse", "space"};
        for (int i = 0; i < 3; ++i) {
            const LRESULT before = Send(check, BM_GETCHECK);
            SevenCommands().Clear();
            clicks[i]();
            EXPECT_NE(Send(check, BM_GETCHECK), before) << kinds[i];
            EXPECT_EQ(SevenCommands().CountFor(IDC_CHECK), 1) << kinds[i];
        }
        Send(check, BM_SETCHECK, BST_UNCHECKED);
        EXPECT_EQ(Send(check, BM_GETCHECK), BST_UNCHECKED);
    });
}

TEST(FrameworkControlsTest, RadioButtonsClearOnlyTheirOwnKindInTheGroup) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    WithSeven([](HWND dialog) {
        HWND radio1 = GetDlgItem(dialog, IDC_RADIO1);
        HWND radio2 = GetDlgItem(dialog, IDC_RADIO2);
        HWND radio3 = GetDlgItem(dialog, IDC_RADIO3);
        HWND note = GetDlgItem(dialog, IDC_PLAIN_STATIC);
        HWND check = GetDlgItem(dialog, IDC_CHECK);
        SetWindowLongPtrW(note, GWLP_USERDATA, 0x5A5A);
        Send(check, BM_SETCHECK, BST_CHECKED);
        EXPECT_EQ(Send(radio1, BM_GETCHECK), BST_CHECKED);

        Send(radio2, BM_CLICK);
        EXPECT_EQ(Send(radio1, BM_GETCHECK), BST_UNCHECKED);
        EXPECT_EQ(Send(radio2, BM_GETCHECK), BST_CHECKED);
        EXPECT_EQ(Send(radio3, BM_GETCHECK), BST_UNCHECKED);
        EXPECT_EQ(SevenCommands().CountFor(IDC_RADIO2), 1);

        Send(radio3, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
        Send(radio3, WM_LBUTTONUP, 0, Point(5, 5));
        EXPECT_EQ(Send(radio2, BM_GETCHECK), BST_UNCHECKED);
        EXPECT_EQ(Send(radio3, BM_GETCHECK), BST_CHECKED);

        Send(radio1, BM_SETCHECK, BST_CHECKED);
        EXPECT_EQ(Send(radio3, BM_GETCHECK), BST_UNCHECKED);
        // The plain static of the group and the check box of the next group
        // keep what they had.
        EXPECT_EQ(GetWindowLongPtrW(note, GWLP_USERDATA), 0x5A5A);
        EXPECT_EQ(Send(check, BM_GETCHECK), BST_CHECKED);
        EXPECT_EQ(Text(note), L"A plain note in the group");
    });
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in{std::filesystem::path(path)};
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(FrameworkControlsTest, LinksNotifyAndOpenOnlyAFullTarget) {
    wchar_t log[MAX_PATH]{};
    if (GetEnvironmentVariableW(L"OLVEX_URL_LOG", log, MAX_PATH) == 0)
        GTEST_SKIP() << "no URL recorder in this prefix";
    Session session(L"tprodover.dll", L"tframeres.dll");
    const std::string before = ReadFile(log);
    WithSeven([&](HWND dialog) {
        // A one-character target: a notification, nothing opened.
        Send(GetDlgItem(dialog, IDC_SHORT_LINK), BM_CLICK);
        EXPECT_EQ(SevenCommands().CountFor(IDC_SHORT_LINK), 1);
        HWND link = GetDlgItem(dialog, IDC_LINK);
        Send(link, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
        Send(link, WM_LBUTTONUP, 0, Point(5, 5));
        EXPECT_EQ(SevenCommands().CountFor(IDC_LINK), 1);
    });
    std::string after;
    gui::WaitUntil(
        [&] {
            after = ReadFile(log);
            return after.find("frame.example.test") != std::string::npos;
        },
        15000, 100);
    const std::string added = after.substr(std::min(before.size(), after.size()));
    EXPECT_NE(added.find("http://frame.example.test/welcome"), std::string::npos) << added;
    // Only the full target was opened: one line.
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
}

}  // namespace
}  // namespace olvex::frametest

// The framework's message boxes: buttons by type, keys, size, and the
// context help's "no help" box.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dlgframe/message_box_layout.h"
#include "dlgframe/resource_ids.h"
#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/seven_dialog.h"
#include "dlgframe/tests/test_ids.h"

#ifndef WM_KEYF1
#define WM_KEYF1 0x004D
#endif

namespace olvex::frametest {
namespace {

constexpr wchar_t kCaption[] = L"Framework question";

struct BoxButton {
    int id = 0;
    std::wstring text;
    RECT place{};
};

struct BoxContents {
    SIZE client{};
    RECT text{};
    RECT placeholder{};
    std::vector<BoxButton> buttons;
};

BoxContents ReadBox(HWND box) {
    BoxContents contents;
    contents.client = ClientSize(box);
    contents.text = RectInParent(GetDlgItem(box, IDC_FRAME_MESSAGE_TEXT));
    contents.placeholder = RectInParent(GetDlgItem(box, IDC_FRAME_BUTTON_PLACEHOLDER));
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == L"CUST:BUTTON")
            contents.buttons.push_back({GetDlgCtrlID(child), Text(child), RectInParent(child)});
    }
    return contents;
}

// Shows a message box and runs the script on it; the box's result.
INT_PTR WithBox(int type, const std::wstring& text, const std::function<void(HWND)>& script) {
    return Drive([&] { return Api().message_box(nullptr, text.c_str(), kCaption, type, 0); },
                 [&] {
                     HWND box = WaitForWindow(kCaption);
                     if (box == nullptr) {
                         ADD_FAILURE() << "no message box of type " << type;
                         return;
                     }
                     script(box);
                 });
}

TEST(FrameworkMessageBoxTest, ButtonsIdsAndPlacesByType) {
    Session session(nullptr, nullptr);
    struct Case {
        int type;
        std::vector<int> ids;
        std::vector<std::wstring> texts;
        int press;  // the button pressed; its id is the result
    };
    const Case cases[] = {
        {0, {1}, {L"OK"}, 1},
        {1, {1, 2}, {L"OK", L"Cancel"}, 2},
        {2, {3, 4, 5}, {L"Abort", L"Retry", L"Ignore"}, 4},
        {3, {}, {}, 0},
        {4, {6, 7}, {L"Yes", L"No"}, 7},
    };
    for (const Case& c : cases) {
        const INT_PTR result = WithBox(c.type, L"Shall the framework go on?", [&](HWND box) {
            const BoxContents contents = ReadBox(box);
            std::vector<int> ids;
            std::vector<std::wstring> texts;
            for (const BoxButton& button : contents.buttons) {
                ids.push_back(button.id);
                texts.push_back(button.text);
            }
            EXPECT_EQ(ids, c.ids) << "type " << c.type;
            EXPECT_EQ(texts, c.texts) << "type " << c.type;
            const int w = contents.placeholder.right - contents.placeholder.left;
            const int h = contents.placeholder.bottom - contents.placeholder.top;
            const std::vector<int> lefts = dlgframe::MessageBoxButtonLefts(
                static_cast<int>(c.ids.size()), contents.client.cx / 2, w);
            for (std::size_t i = 0; i < contents.buttons.size() && i < lefts.size(); ++i) {
                const RECT& place = contents.buttons[i].place;
                EXPECT_EQ(place.left, lefts[i]) << "type " << c.type << " button " << i;
                EXPECT_EQ(place.top, dlgframe::MessageBoxButtonTop(contents.client.cy, h));
                EXPECT_EQ(place.right - place.left, w);
                EXPECT_EQ(place.bottom - place.top, h);
            }
            EXPECT_GE(contents.client.cx,
                      dlgframe::MessageBoxMinimumClientWidth(c.type, w));
            if (c.type == 2)
                Screenshot(box, "message-box-abort-retry-ignore");
            if (c.press != 0)
                Send(GetDlgItem(box, c.press), BM_CLICK);
            else
                PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
        });
        EXPECT_EQ(result, c.press != 0 ? c.press : 1) << "type " << c.type;
    }
}

// Enter picks the first button (OK for the boxes without one); Escape and
// the title bar's close button end every box with IDCANCEL, the Yes/No and
// Abort/Retry/Ignore boxes too: a box the user closes is declined.
TEST(FrameworkMessageBoxTest, EnterEscapeAndTheCloseButton) {
    Session session(nullptr, nullptr);
    enum class Way { kEnter, kEscape, kClose };
    struct Case {
        int type;
        Way way;
        int result;
    };
    const Case cases[] = {
        {0, Way::kEnter, 1},  {0, Way::kEscape, 2}, {0, Way::kClose, 2},  {1, Way::kEnter, 1},
        {1, Way::kEscape, 2}, {1, Way::kClose, 2},  {2, Way::kEnter, 3},  {2, Way::kEscape, 2},
        {2, Way::kClose, 2},  {3, Way::kEnter, 1},  {3, Way::kEscape, 2}, {3, Way::kClose, 2},
        {4, Way::kEnter, 6},  {4, Way::kEscape, 2}, {4, Way::kClose, 2},
    };
    for (const Case& c : cases) {
        const int way = static_cast<int>(c.way);
        const INT_PTR result = WithBox(c.type, L"A key decides.", [&](HWND box) {
            switch (c.way) {
                case Way::kEnter:
                    PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
                    break;
                case Way::kEscape:
                    PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
                    break;
                case Way::kClose:
                    // What the title bar's close button sends.
                    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
                    break;
            }
            EXPECT_TRUE(WaitGone(box, 3000)) << "type " << c.type << " way " << way;
        });
        EXPECT_EQ(result, c.result) << "type " << c.type << " way " << way;
    }
}

TEST(FrameworkMessageBoxTest, LongTextGrowsTheBoxUpToThreeTextWidths) {
    Session session(nullptr, nullptr);
    BoxContents short_box, long_box;
    SIZE short_window{}, long_window{};
    RECT long_bounds{};
    WithBox(0, L"Short.", [&](HWND box) {
        short_box = ReadBox(box);
        short_window = WindowSize(box);
        Send(GetDlgItem(box, IDOK), BM_CLICK);
    });
    std::wstring text;
    for (int i = 0; i < 36; ++i)
        text += L"Every word of this long message makes the box grow. ";
    text += L"The end.";
    WithBox(0, text, [&](HWND box) {
        long_box = ReadBox(box);
        // All of it is shown: the text control holds the whole message.
        EXPECT_EQ(Text(GetDlgItem(box, IDC_FRAME_MESSAGE_TEXT)), text);
        long_window = WindowSize(box);
        GetWindowRect(box, &long_bounds);
        Screenshot(box, "message-box-long-text");
        Send(GetDlgItem(box, IDOK), BM_CLICK);
    });
    // The short box's text control is the template's plus 4.
    const int template_width = short_box.text.right - short_box.text.left - 4;
    const int long_width = long_box.text.right - long_box.text.left;
    EXPECT_GT(long_width, template_width * 2);
    EXPECT_LE(long_width, template_width * 3 + 4);
    EXPECT_GT(long_box.text.bottom - long_box.text.top, short_box.text.bottom - short_box.text.top);
    // The box grew by as much as its text, and sits in the middle of the screen.
    EXPECT_EQ(long_window.cx - short_window.cx,
              (long_width) - (short_box.text.right - short_box.text.left));
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_NEAR(long_bounds.left, (screen - long_window.cx) / 2, 1);
    // The buttons stay under the text.
    ASSERT_EQ(long_box.buttons.size(), 1u);
    EXPECT_GT(long_box.buttons[0].place.top, long_box.text.bottom);
}

TEST(FrameworkMessageBoxTest, MissingTemplateGivesMinusOne) {
    // Neither DLL holds template 182.
    Session session(L"tprodover.dll", L"tfolder.dll");
    EXPECT_EQ(Api().message_box(nullptr, L"text", L"caption", 0, 0), -1);
    EXPECT_EQ(Api().message_box_by_id(nullptr, nullptr, IDS_FRAME_OK, IDS_FRAME_OK, 0, 0), -1);
}

TEST(FrameworkMessageBoxTest, ByIdLoadsTextAndCaption) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    const INT_PTR result = Drive(
        [&] {
            return Api().message_box_by_id(GetModuleHandleW(nullptr), nullptr, IDS_TEST_CHAIN_C,
                                           IDS_TEST_CHAIN_A, 1, 0);
        },
        [&] {
            // The caller's module comes first: its caption string.
            HWND box = WaitForWindow(L"caller A");
            if (box == nullptr) {
                ADD_FAILURE() << "no box";
                return;
            }
            EXPECT_EQ(Text(GetDlgItem(box, IDC_FRAME_MESSAGE_TEXT)), L"resource C");
            // The buttons' captions come from the resource DLL first.
            EXPECT_EQ(Text(GetDlgItem(box, IDOK)), L"OK");
            Send(GetDlgItem(box, IDCANCEL), BM_CLICK);
        });
    EXPECT_EQ(result, IDCANCEL);
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in{std::filesystem::path(path)};
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(FrameworkMessageBoxTest, HelpOverAControlShowsTheNoHelpBox) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    const std::wstring help_log =
        (std::filesystem::temp_directory_path() /
         ("frametest-help-" + std::to_string(GetCurrentProcessId()) + ".txt"))
            .wstring();
    SetEnvironmentVariableW(L"ULMFRM_HELP_LOG", help_log.c_str());
    std::wstring help_text, help_caption;
    Drive([&] { return ShowSevenDialog(0x2); },
          [&] {
              HWND dialog = WaitForWindow(kSevenTitle);
              if (dialog == nullptr) {
                  ADD_FAILURE() << "no dialog";
                  return;
              }
              SetCursorPos(200, 150);
              PostMessageW(GetDlgItem(dialog, IDC_PUSH_BUTTON), WM_KEYF1, 0, 0);
              HWND box = WaitForWindow(FrameworkString(IDS_FRAME_NO_HELP_CAPTION));
              if (box != nullptr) {
                  help_text = Text(GetDlgItem(box, IDC_FRAME_MESSAGE_TEXT));
                  Send(GetDlgItem(box, IDOK), BM_CLICK);
                  EXPECT_TRUE(WaitGone(box));
              }
              // A static without an id of its own has no help.
              HWND unnamed = nullptr;
              for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
                   child = GetWindow(child, GW_HWNDNEXT)) {
                  if (Text(child) == L"A note with no id of its own")
                      unnamed = child;
              }
              EXPECT_NE(unnamed, nullptr);
              PostMessageW(unnamed, WM_KEYF1, 0, 0);
              EXPECT_EQ(WaitForWindow(FrameworkString(IDS_FRAME_NO_HELP_CAPTION), 700), nullptr);
              PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
          });
    SetEnvironmentVariableW(L"ULMFRM_HELP_LOG", nullptr);
    EXPECT_EQ(help_text, FrameworkString(IDS_FRAME_NO_HELP_TEXT));
    // The pop-up asked for: the help file's topic, the control, the mouse.
    const std::string log = ReadAll(help_log);
    std::filesystem::remove(help_log);
    EXPECT_NE(log.find("XJVHelp.CHM::/popup.txt\t523\t200,150"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

}  // namespace
}  // namespace olvex::frametest

// The window layer under Wine on a display of its own: the layer test
// program (LayerTest.exe) driven from outside through the window driver, and
// a few layer calls made in-process on the same templates.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "client/common/ui/dialog.h"
#include "client/common/ui/dialog_layout.h"
#include "client/common/ui/system_seams.h"
#include "client/common/ui/test_program/layer_test_resources.h"
#include "client/common/ui/ui_resources.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/scratch_dir.h"

namespace olvex::ui {
namespace {

using namespace olvex::gui;

constexpr DWORD kWaitMs = 20000;
constexpr UINT kShowPage = 1028;
constexpr UINT kQueryCursor = WM_APP + 1;
constexpr wchar_t kFrameTitle[] = L"Olvex Layer Test";

RECT Rect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

int Height(const RECT& rect) {
    return rect.bottom - rect.top;
}
int Width(const RECT& rect) {
    return rect.right - rect.left;
}

// A picture of the window once its program has handled what came before
// (a sent message returns only after the handlers before it have run).
void Shot(HWND window, const std::string& name) {
    if (window != nullptr)
        SendWindowMessage(window, WM_NULL, 0, 0);
    EXPECT_FALSE(SaveScreenshot(window, name).empty()) << name;
}

// One run of LayerTest.exe with its frame and its two pages.
struct LayerProgram {
    RunningProgram process;
    HWND frame = nullptr;
    std::vector<HWND> pages;

    void Start(const std::wstring& arguments) {
        ASSERT_TRUE(process.Start(Quote(testing::WindowsPath(OLVEX_LAYER_TEST_PROGRAM)) + L" " +
                                  arguments));
        frame = FindTopLevelWindow(
            {.title = kFrameTitle, .process_id = process.id(), .visible_only = true}, kWaitMs);
        ASSERT_NE(frame, nullptr);
        for (const auto& child : ListChildren(frame)) {
            if (child.parent == frame && child.class_name == L"#32770")
                pages.push_back(child.handle);
        }
        ASSERT_EQ(pages.size(), 2u);
    }

    void Close() {
        if (frame != nullptr && IsWindow(frame)) {
            PostWindowMessage(frame, WM_CLOSE, 0, 0);
            EXPECT_TRUE(process.Wait(kWaitMs)) << "the program ends when its frame closes";
        }
    }
};

// The tests share one run of the program (each start costs seconds under
// Wine); each leaves page one shown and closes the windows it opened.
class LayerProgramTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        shared_ = std::make_unique<LayerProgram>();
        shared_->Start(L"");
    }
    static void TearDownTestSuite() {
        shared_->Close();
        shared_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(program().process.running());
        ASSERT_TRUE(SendWindowMessage(frame(), kShowPage, 1, 0).completed);
    }

    virtual LayerProgram& program() { return *shared_; }
    HWND frame() { return program().frame; }
    DWORD process_id() { return program().process.id(); }
    HWND PageOne() { return program().pages[0]; }
    HWND PageTwo() { return program().pages[1]; }
    HWND One(int id) { return FindChild(PageOne(), id); }
    std::wstring Status() { return GetText(One(IDC_STATUS)); }
    bool TextBecomes(HWND control, const std::wstring& text) const {
        return WaitUntil([&] { return GetText(control) == text; }, kWaitMs);
    }
    HWND OpenedBy(int button, const std::wstring& title) {
        EXPECT_TRUE(ClickButton(One(button)));
        return FindTopLevelWindow({.title = title, .process_id = process_id()}, kWaitMs);
    }
    // Whether the program's cursor is the link hand with the mouse over the
    // control (the page handles WM_SETCURSOR as a move of the mouse does).
    bool HandOver(HWND page, int id) {
        const HWND control = FindChild(page, id);
        const RECT rect = Rect(control);
        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        EXPECT_TRUE(SendWindowMessage(page, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                                      MAKELPARAM(HTCLIENT, WM_MOUSEMOVE))
                        .completed);
        const SendResult answer = SendWindowMessage(frame(), kQueryCursor, 0, 0);
        EXPECT_TRUE(answer.completed);
        return answer.result == 1;
    }

  private:
    static std::unique_ptr<LayerProgram> shared_;
};

std::unique_ptr<LayerProgram> LayerProgramTest::shared_;

// Tests that start the program with options of their own.
class LayerProgramOptionsTest : public LayerProgramTest {
  protected:
    static void SetUpTestSuite() {}
    static void TearDownTestSuite() {}
    void SetUp() override {}
    void TearDown() override { own_.Close(); }
    void Start(const std::wstring& arguments) { own_.Start(arguments); }
    LayerProgram& program() override { return own_; }

  private:
    LayerProgram own_;
};

TEST_F(LayerProgramTest, FrameShowsOnePageAtATimeWithoutTheBand) {
    EXPECT_TRUE(IsWindowVisible(PageOne()));
    EXPECT_FALSE(IsWindowVisible(PageTwo()));
    // The band's controls are hidden and disabled, the content moved up into
    // its place and the frame's client area 60 pixels shorter than the page.
    for (const int id : {IDC_BAND_PICTURE, IDC_BAND_TEXT, IDC_BAND_BUTTON}) {
        EXPECT_FALSE(IsWindowVisible(One(id))) << id;
        EXPECT_FALSE(IsWindowEnabled(One(id))) << id;
    }
    RECT client{};
    GetClientRect(frame(), &client);
    EXPECT_EQ(client.bottom, Height(Rect(PageOne())) - 60);
    EXPECT_EQ(client.right, Width(Rect(PageOne())));
    EXPECT_LT(RectIn(One(IDC_HEADING), PageOne()).top, 20);
    EXPECT_EQ(GetWindowLongPtrW(frame(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0)
        << "a frame of fixed size";
    Shot(frame(), "frame-page-one");

    // Another program switches pages by message; a link switches back.
    ASSERT_TRUE(SendWindowMessage(frame(), kShowPage, 2, 0).completed);
    EXPECT_FALSE(IsWindowVisible(PageOne()));
    EXPECT_TRUE(IsWindowVisible(PageTwo()));
    EXPECT_TRUE(IsWindowVisible(FindChild(PageTwo(), IDC_NOTE)));
    Shot(frame(), "frame-page-two");
    ASSERT_TRUE(SendWindowMessage(frame(), kShowPage, 7, 0).completed);
    EXPECT_TRUE(IsWindowVisible(PageTwo())) << "no page 7: the shown page stays";
    ASSERT_TRUE(ClickControl(FindChild(PageTwo(), IDC_NAV_ONE)));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(PageOne()) != FALSE; }, kWaitMs));
    EXPECT_FALSE(IsWindowVisible(PageTwo()));
}

TEST_F(LayerProgramTest, MessageLoopGivesDialogKeysToTheShownPage) {
    // Tab from the tree goes to the next control of the page, which only the
    // page's dialog manager knows.
    const HWND tree = One(IDC_TREE);
    const DWORD thread = GetWindowThreadProcessId(frame(), nullptr);
    const auto focus = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
    };
    SetForegroundWindow(frame());
    ASSERT_TRUE(SendWindowMessage(PageOne(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(tree), TRUE)
                    .completed);
    ASSERT_TRUE(WaitUntil([&] { return focus() == tree; }, kWaitMs));
    PostWindowMessage(tree, WM_KEYDOWN, VK_TAB, 0);
    PostWindowMessage(tree, WM_KEYUP, VK_TAB, 0);
    EXPECT_TRUE(WaitUntil([&] { return focus() == One(IDC_LIST); }, kWaitMs));
}

TEST_F(LayerProgramTest, TreeCheckBoxesToggleByClickAndSpaceAndReadBack) {
    const HWND tree = One(IDC_TREE);
    std::vector<std::wstring> texts;
    for (const auto& item : ReadTree(tree)) {
        texts.push_back(item.text);
        EXPECT_EQ(item.check, 0) << "every item has an empty box from its insertion";
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Alpha", L"Alpha one", L"Alpha two", L"Kilo",
                                                L"Mike", L"Mike one", L"Mike two", L"Zeta",
                                                L"Zeta one", L"Zeta two"}));

    const HTREEITEM alpha = FindTreeItem(tree, {L"Alpha"});
    const HTREEITEM mike_one = FindTreeItem(tree, {L"Mike", L"Mike one"});
    ASSERT_TRUE(ToggleTreeItemByClick(tree, alpha));
    ASSERT_TRUE(ToggleTreeItemBySpace(tree, mike_one));
    EXPECT_EQ(TreeItemCheck(tree, alpha), 1);
    EXPECT_EQ(TreeItemCheck(tree, mike_one), 1);
    // The program reads them back through the layer's walk over the tree and
    // hit-tests the click onto Alpha's box.
    EXPECT_TRUE(TextBecomes(One(IDC_CHECKED_TEXT), L"Checked: Alpha Mike one"));
    EXPECT_EQ(Status(), L"Check box clicked: Alpha");
    ASSERT_TRUE(ToggleTreeItemBySpace(tree, mike_one));
    EXPECT_TRUE(TextBecomes(One(IDC_CHECKED_TEXT), L"Checked: Alpha"));
    Shot(frame(), "tree-checked");

    ASSERT_TRUE(ClickButton(One(IDC_CHECK_ALL)));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto items = ReadTree(tree);
            return std::all_of(items.begin(), items.end(),
                               [](const TreeItem& item) { return item.check == 1; });
        },
        kWaitMs));
}

TEST_F(LayerProgramTest, ListSortsByTheClickedColumn) {
    const HWND list = One(IDC_LIST);
    const auto names = [&] {
        std::vector<std::wstring> column;
        for (const auto& row : ReadListView(list).rows)
            column.push_back(row.at(0));
        return column;
    };
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(ReadListView(list).columns, (Names{L"Name", L"Size", L"Date"}));
    EXPECT_EQ(names(), (Names{L"Delta", L"alpha", L"Charlie", L"Bravo"}));
    ASSERT_TRUE(ClickListViewColumn(list, 0));
    EXPECT_EQ(names(), (Names{L"alpha", L"Bravo", L"Charlie", L"Delta"}));
    ASSERT_TRUE(ClickListViewColumn(list, 1));
    EXPECT_EQ(names(), (Names{L"Charlie", L"Delta", L"alpha", L"Bravo"})) << "by number";
    // Dates by their FILETIME, high half signed, low half unsigned; a second
    // click sorts the same way again.
    ASSERT_TRUE(ClickListViewColumn(list, 2));
    EXPECT_EQ(names(), (Names{L"Charlie", L"Bravo", L"Delta", L"alpha"}));
    ASSERT_TRUE(ClickListViewColumn(list, 2));
    EXPECT_EQ(names(), (Names{L"Charlie", L"Bravo", L"Delta", L"alpha"}));
    Shot(frame(), "list-sorted-by-date");
}

TEST_F(LayerProgramTest, TimersChangeATextAndAProgressBar) {
    const HWND ticks = One(IDC_TIMER_TEXT);
    const std::wstring first = GetText(ticks);
    EXPECT_EQ(first.rfind(L"Ticks: ", 0), 0u);
    EXPECT_TRUE(WaitUntil([&] { return GetText(ticks) != first; }, kWaitMs));
    // Page two's timer runs while the page is hidden as well.
    const HWND progress = FindChild(PageTwo(), IDC_PROGRESS);
    const LRESULT position = SendWindowMessage(progress, PBM_GETPOS, 0, 0).result;
    EXPECT_TRUE(WaitUntil(
        [&] { return SendWindowMessage(progress, PBM_GETPOS, 0, 0).result != position; }, kWaitMs));
}

TEST_F(LayerProgramTest, ResizableDialogGrowsItsControlsAndSnapsBackToItsMinimum) {
    const HWND dialog = OpenedBy(IDC_OPEN_RESIZABLE, L"Layer Test -- Resizable");
    ASSERT_NE(dialog, nullptr);
    const RECT first = Rect(dialog);
    const HWND close = FindChild(dialog, IDCANCEL);
    const RECT close_first = RectIn(close, dialog);

    SetWindowPos(dialog, nullptr, 0, 0, Width(first) + 80, Height(first) + 40,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const RECT moved = RectIn(close, dialog);
            return moved.left == close_first.left + 80 && moved.top == close_first.top + 40;
        },
        kWaitMs))
        << "the button follows the lower right corner";
    Shot(dialog, "resizable-larger");

    SetWindowPos(dialog, nullptr, 0, 0, Width(first) - 100, Height(first) - 50,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const RECT now = Rect(dialog);
            return Width(now) == Width(first) && Height(now) == Height(first);
        },
        kWaitMs))
        << "smaller than at its start, it snaps back";
    const RECT close_last = RectIn(close, dialog);
    EXPECT_EQ(close_last.left, close_first.left);
    EXPECT_EQ(close_last.top, close_first.top);
    Shot(dialog, "resizable-snapped-back");
    ASSERT_TRUE(PressButton(dialog, IDCANCEL));
    EXPECT_TRUE(WaitForWindowGone(dialog, kWaitMs));
}

TEST_F(LayerProgramTest, DialogWithDisabledCancelStaysOpenOnEscCloseAndSystemClose) {
    const HWND dialog = OpenedBy(IDC_OPEN_LOCKED, L"Layer Test -- Locked");
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(FindChild(dialog, IDCANCEL)));
    // Run without an owner of its own, it is the main window's, which waits.
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), frame());
    EXPECT_FALSE(IsWindowEnabled(frame()));
    const HWND refused = FindChild(dialog, IDC_REFUSED);

    PostWindowMessage(FindChild(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(TextBecomes(refused, L"Refused: 1")) << "Esc reached the Cancel hook";
    PostWindowMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(TextBecomes(refused, L"Refused: 2")) << "WM_CLOSE reached the Cancel hook";
    PostWindowMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(TextBecomes(refused, L"Refused: 3")) << "SC_CLOSE reached the Cancel hook";
    EXPECT_TRUE(IsWindow(dialog));
    Shot(dialog, "locked-dialog");

    ASSERT_TRUE(ClickButton(FindChild(dialog, IDC_ALLOW_CLOSE)));
    ASSERT_TRUE(
        WaitUntil([&] { return GetCheck(FindChild(dialog, IDC_ALLOW_CLOSE)) == 1; }, kWaitMs));
    PostWindowMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForWindowGone(dialog, kWaitMs));
    EXPECT_TRUE(TextBecomes(One(IDC_STATUS), L"Locked dialog ended: 2"));
    EXPECT_TRUE(IsWindowEnabled(frame()));
}

TEST_F(LayerProgramTest, PrepareLogWindowStandsModelessWithItsCaptionAndText) {
    const HWND wait = OpenedBy(IDC_SHOW_PREPARE_LOG, L"Kelvan Gorsewatch -- Prepare Log");
    ASSERT_NE(wait, nullptr);
    const DialogContents shown = ReadDialog(wait);
    EXPECT_EQ(shown.text, L"Setting up Kelvan Gorsewatch Log. Please wait...");
    EXPECT_TRUE(shown.buttons.empty());
    EXPECT_TRUE(IsWindowVisible(wait));
    EXPECT_EQ(GetWindow(wait, GW_OWNER), nullptr) << "made with no parent";
    // Modeless: the frame stays usable and its timer runs on.
    EXPECT_TRUE(IsWindowEnabled(frame()));
    const std::wstring ticks = GetText(One(IDC_TIMER_TEXT));
    EXPECT_TRUE(WaitUntil([&] { return GetText(One(IDC_TIMER_TEXT)) != ticks; }, kWaitMs));
    Shot(wait, "prepare-log");

    ASSERT_TRUE(ClickButton(One(IDC_HIDE_PREPARE_LOG)));
    EXPECT_TRUE(WaitForWindowGone(wait, kWaitMs));
}

TEST_F(LayerProgramTest, MessageBoxFromTheStringTableIsAnsweredByTheDriver) {
    ASSERT_TRUE(ClickButton(One(IDC_SHOW_MESSAGE)));
    const auto answered =
        AnswerDialog({.title = L"Kelvan Gorsewatch", .process_id = process_id()}, IDYES, kWaitMs);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->text, L"Is this message box answered by the window driver?");
    EXPECT_TRUE(TextBecomes(One(IDC_STATUS), L"Message answered: Yes"));
}

TEST_F(LayerProgramTest, HandCursorShowsOverLinksOnly) {
    EXPECT_TRUE(HandOver(PageOne(), IDC_NAV_TWO));
    EXPECT_TRUE(HandOver(PageOne(), IDC_HELP_LINK));
    EXPECT_FALSE(HandOver(PageOne(), IDC_NAV_ONE)) << "the page's own name is no link";
    EXPECT_FALSE(HandOver(PageOne(), IDC_PLAIN_TEXT));
    EXPECT_FALSE(HandOver(PageOne(), IDC_TREE));
}

TEST_F(LayerProgramTest, BandLayoutMovesListedControlsUpHidesTheBandAndShortensTheWindow) {
    ASSERT_TRUE(ClickButton(One(IDC_OPEN_BAND)));
    const HWND before = FindTopLevelWindow(
        {.title = L"Layer Test -- Band (before)", .process_id = process_id()}, kWaitMs);
    const HWND after =
        FindTopLevelWindow({.title = L"Layer Test -- Band", .process_id = process_id()}, kWaitMs);
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);

    for (const int id : {IDC_BAND_LABEL, IDC_BAND_EDIT, IDOK, IDCANCEL}) {
        const RECT was = RectIn(FindChild(before, id), before);
        const RECT is = RectIn(FindChild(after, id), after);
        EXPECT_EQ(is.top, was.top - 60) << id;
        EXPECT_EQ(is.left, was.left) << id;
        EXPECT_EQ(Width(is), Width(was)) << id;
        EXPECT_EQ(Height(is), Height(was)) << id;
    }
    for (const int id : {IDC_BAND_PICTURE, IDC_BAND_TEXT, IDC_BAND_BUTTON}) {
        EXPECT_TRUE(IsWindowVisible(FindChild(before, id)) &&
                    IsWindowEnabled(FindChild(before, id)))
            << id;
        EXPECT_FALSE(IsWindowVisible(FindChild(after, id))) << id;
        EXPECT_FALSE(IsWindowEnabled(FindChild(after, id))) << id;
    }
    const RECT was = Rect(before);
    const RECT is = Rect(after);
    EXPECT_EQ(Height(is), Height(was) - 60);
    EXPECT_EQ(Width(is), Width(was));
    // Shown, it lies on the main window's top-left corner.
    const RECT frame_rect = Rect(frame());
    EXPECT_EQ(is.left, frame_rect.left);
    EXPECT_EQ(is.top, frame_rect.top);

    // Side by side for the pictures.
    SetWindowPos(before, HWND_TOP, frame_rect.right + 10, frame_rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_TRUE(WaitUntil([&] { return Rect(before).left == frame_rect.right + 10; }, kWaitMs));
    Shot(before, "band-before");
    SetForegroundWindow(after);
    Shot(after, "band-after");
    Shot(nullptr, "band-screen");
    // Modeless dialogs get their dialog keys through the program's own
    // message loop: Esc in the edit box ends the dialog.
    PostWindowMessage(FindChild(after, IDC_BAND_EDIT), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitForWindowGone(after, kWaitMs));
    PostWindowMessage(before, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForWindowGone(before, kWaitMs));
}

TEST_F(LayerProgramTest, ModalDialogOfAWorkerThreadHasNoOwner) {
    const HWND dialog = OpenedBy(IDC_OPEN_FROM_WORKER, L"Layer Test -- Worker");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    EXPECT_NE(GetWindowThreadProcessId(dialog, nullptr),
              GetWindowThreadProcessId(frame(), nullptr));
    EXPECT_TRUE(IsWindowEnabled(frame())) << "the frame's thread is not blocked by it";
    PostWindowMessage(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForWindowGone(dialog, kWaitMs));
}

TEST_F(LayerProgramOptionsTest, SoundsShellOpensAndSaveAsGoThroughTheirSeams) {
    olvex::testing::ScratchDir dir;
    const std::wstring record = testing::WindowsPath(dir.File("record.txt"));
    const std::wstring report = testing::WindowsPath(dir.File("report.txt"));
    ASSERT_NO_FATAL_FAILURE(Start(L"/record " + Quote(record) + L" /save-to " + Quote(report)));

    ASSERT_TRUE(ClickButton(One(IDC_PLAY_SOUND)));
    ASSERT_TRUE(ClickControl(One(IDC_HELP_LINK)));
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(record).size() == 2; }, kWaitMs));
    EXPECT_EQ(ReadLines(record),
              (std::vector<std::string>{"sound: ALARM.WAV", "open: KvQZHelp.chm"}));

    ASSERT_TRUE(ClickButton(One(IDC_SAVE_REPORT)));
    EXPECT_TRUE(TextBecomes(One(IDC_STATUS), L"Report saved"));
    const auto bytes = olvex::testing::ReadFileBytes(dir.File("report.txt"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "Layer test report\r\nDelta , 40\r\nalpha , 300\r\nCharlie , 5\r\nBravo , 1200\r\n");
}

TEST_F(LayerProgramOptionsTest, FileErrorBoxNamesTheCauseAndThePath) {
    olvex::testing::ScratchDir dir;
    const std::wstring report = testing::WindowsPath(dir.File("no folder")) + L"\\report.txt";
    ASSERT_NO_FATAL_FAILURE(Start(L"/save-to " + Quote(report)));
    ASSERT_TRUE(ClickButton(One(IDC_SAVE_REPORT)));
    const HWND box =
        FindDialog({.title = L"Kelvan Gorsewatch", .process_id = process_id()}, kWaitMs);
    ASSERT_NE(box, nullptr);
    const DialogContents shown = ReadDialog(box);
    Shot(box, "file-error-box");
    EXPECT_NE(shown.text.find(L"\"" + report + L"\" could not be created"), std::wstring::npos)
        << testing::Narrow(shown.text);
    ASSERT_TRUE(PressButton(box, IDOK));
    EXPECT_TRUE(WaitForWindowGone(box, kWaitMs));
}

// In-process: the layer's own calls on the test program's templates.
class CountingDialog : public Dialog {
  public:
    CountingDialog() : Dialog(IDD_WORKER) {
        OnMessage(WM_APP, [this](WPARAM w, LPARAM) {
            seen_ += static_cast<int>(w);
            return LRESULT{42};
        });
        OnCommand(IDCANCEL, BN_CLICKED, [this] {
            ++routed_cancels_;
            End(7);
        });
    }
    int seen_ = 0;
    int routed_cancels_ = 0;
    int inits_ = 0;
    int previewed_ = 0;

  protected:
    std::optional<LRESULT> PreviewMessage(UINT message, WPARAM wparam, LPARAM) override {
        // Any message with wParam -1, before its route.
        if (wparam != static_cast<WPARAM>(-1))
            return std::nullopt;
        ++previewed_;
        return 9;
    }

    bool OnInitDialog() override {
        ++inits_;
        // Routed messages answer through DWLP_MSGRESULT.
        const LRESULT answer = SendMessageW(handle(), WM_APP, 5, 0);
        seen_ += answer == 42 ? 100 : 0;
        EXPECT_EQ(SendMessageW(handle(), WM_APP, static_cast<WPARAM>(-1), 0), 9);
        EXPECT_EQ(SendMessageW(handle(), WM_APP + 7, static_cast<WPARAM>(-1), 0), 9);
        // Missing ids are skipped, never used.
        EXPECT_FALSE(MoveDlgItemUp(handle(), 4242));
        HideDlgItem(handle(), 4242);
        PostMessageW(handle(), WM_CLOSE, 0, 0);
        return true;
    }
};

// WM_CLOSE reaches the dialog's route for Cancel, as Esc and the button do.
TEST(LayerInProcess, RoutesComeBeforeTheHooksAndModalResultsComeBack) {
    CountingDialog dialog;
    EXPECT_EQ(dialog.RunModal(), 7);
    EXPECT_EQ(dialog.inits_, 1);
    EXPECT_EQ(dialog.seen_, 105);
    EXPECT_EQ(dialog.previewed_, 2);
    EXPECT_EQ(dialog.routed_cancels_, 1);
    EXPECT_FALSE(dialog.exists()) << "the object outlives its window";
}

TEST(LayerInProcess, AnObjectDestroysItsWindowButAClosedWindowLeavesTheObject) {
    HWND handle = nullptr;
    {
        Dialog dialog(IDD_WORKER);
        ASSERT_TRUE(dialog.CreateModeless());
        handle = dialog.handle();
        ASSERT_TRUE(IsWindow(handle));
        EXPECT_FALSE(dialog.CreateModeless()) << "one window per object";
    }
    EXPECT_FALSE(IsWindow(handle));

    Dialog dialog(IDD_WORKER);
    ASSERT_TRUE(dialog.CreateModeless());
    DestroyWindow(dialog.handle());
    EXPECT_FALSE(dialog.exists());
    ASSERT_TRUE(dialog.CreateModeless()) << "and can make a new one";
    SendMessageW(dialog.handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(dialog.exists()) << "WM_CLOSE ends a modeless dialog through the Cancel hook";
}

TEST(LayerInProcess, PlatformIdComesThroughTheReplaceableVersionSource) {
    EXPECT_EQ(CurrentPlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    struct Windows98 final : OsVersionSource {
        std::optional<OsVersion> Query() const override {
            return OsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10};
        }
    } windows98;
    const ScopedOsVersionSource use(windows98);
    EXPECT_EQ(CurrentPlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
}

}  // namespace
}  // namespace olvex::ui

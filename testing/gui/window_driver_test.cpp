// The window driver against a dialog of another process (driver_fixture.exe),
// in-process and through windriver.exe.
#include "testing/gui/window_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "testing/gui/gui_test_support.h"
#include "testing/gui/programs/driver_fixture_ids.h"

namespace olvex::gui {
namespace {

constexpr DWORD kWaitMs = 20000;

class WindowDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fixture_.Start(Quote(GuiProgramPath(L"driver_fixture.exe"))));
        dialog_ =
            FindTopLevelWindow({.title = L"Driver Fixture", .process_id = fixture_.id()}, kWaitMs);
        ASSERT_NE(dialog_, nullptr);
    }

    HWND Control(int id) const { return FindChild(dialog_, id); }
    std::wstring Result() const { return GetText(Control(IDC_RESULT)); }
    bool ResultBecomes(const std::wstring& text) const {
        return WaitUntil([&] { return Result() == text; }, kWaitMs);
    }

    RunningProgram fixture_;
    HWND dialog_ = nullptr;
};

TEST_F(WindowDriverTest, FindsListsAndReadsTheWindowsOfAnotherProcess) {
    const auto windows = ListTopLevelWindows();
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [&](const auto& window) { return window.handle == dialog_; });
    ASSERT_NE(found, windows.end());
    EXPECT_EQ(found->class_name, L"#32770");
    EXPECT_EQ(found->title, L"Driver Fixture");
    EXPECT_EQ(found->process_id, fixture_.id());
    EXPECT_TRUE(found->visible);
    EXPECT_EQ(FindTopLevelWindow({.title = L"Driver Fixture", .process_id = 1}), nullptr);
    EXPECT_EQ(FindTopLevelWindow({.title = L"driver fixture"}), nullptr) << "titles match exactly";

    const auto children = ListChildren(dialog_);
    const auto child = [&](int id) {
        return *std::find_if(children.begin(), children.end(),
                             [&](const auto& c) { return c.id == id; });
    };
    EXPECT_EQ(child(IDC_COPY).text, L"&Copy");
    EXPECT_EQ(child(IDC_COPY).class_name, L"Button");
    EXPECT_EQ(child(IDC_COPY).check, -1);
    EXPECT_EQ(child(IDC_TICK).check, BST_UNCHECKED);
    EXPECT_FALSE(child(IDC_DISABLED).enabled);
    EXPECT_TRUE(child(IDC_TREE).visible);
    EXPECT_EQ(child(IDC_RESULT).text, L"nothing yet");
    EXPECT_EQ(FindChildByText(dialog_, L"button", L"Copy"), Control(IDC_COPY));
    EXPECT_FALSE(SaveScreenshot(dialog_, "driver-fixture").empty());
}

TEST_F(WindowDriverTest, SetsTextsAndClicksButtonsCheckBoxesAndLinks) {
    ASSERT_TRUE(SetText(Control(IDC_EDIT), L"typed by the driver"));
    ASSERT_TRUE(ClickButton(Control(IDC_COPY)));
    EXPECT_TRUE(ResultBecomes(L"typed by the driver"));

    ASSERT_TRUE(ClickButton(Control(IDC_TICK)));
    EXPECT_TRUE(WaitUntil([&] { return GetCheck(Control(IDC_TICK)) == BST_CHECKED; }, kWaitMs));
    EXPECT_FALSE(ClickButton(Control(IDC_DISABLED))) << "a disabled button cannot be pressed";
    EXPECT_FALSE(ClickButton(Control(IDC_RESULT))) << "a static is no button";

    ASSERT_TRUE(ClickControl(Control(IDC_LINK)));
    EXPECT_TRUE(ResultBecomes(L"link clicked"));
}

TEST_F(WindowDriverTest, SendReportsTheResultAndHowLongItBlocked) {
    const SendResult slow = SendWindowMessage(dialog_, WM_FIXTURE_SLOW, 300, 21);
    ASSERT_TRUE(slow.completed);
    EXPECT_EQ(slow.result, 42);
    EXPECT_GE(slow.elapsed_ms, 250u);

    const SendResult late = SendWindowMessage(dialog_, WM_FIXTURE_SLOW, 2000, 1, 200);
    EXPECT_FALSE(late.completed) << "a send gives up at its time-out";
    EXPECT_LT(late.elapsed_ms, 1500u);

    ASSERT_TRUE(PostWindowMessage(dialog_, WM_COMMAND, IDC_LINK | (STN_CLICKED << 16), 0));
    EXPECT_TRUE(ResultBecomes(L"link clicked"));
}

TEST_F(WindowDriverTest, AnswersAMessageBoxAndReadsItsText) {
    ASSERT_TRUE(ClickButton(Control(IDC_ASK)));
    const HWND box =
        FindDialog({.title = L"Fixture Question", .process_id = fixture_.id()}, kWaitMs);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(SaveScreenshot(box, "message-box").empty());
    const auto answered = AnswerDialog({.title = L"Fixture Question"}, IDNO, kWaitMs);
    ASSERT_TRUE(answered.has_value());
    EXPECT_EQ(answered->title, L"Fixture Question");
    EXPECT_EQ(answered->text, L"Do you agree?");
    ASSERT_EQ(answered->buttons.size(), 2u);
    EXPECT_EQ(answered->buttons[0].text, L"Yes");
    EXPECT_EQ(answered->buttons[1].id, IDNO);
    EXPECT_TRUE(ResultBecomes(L"answer no"));
}

TEST_F(WindowDriverTest, ReadsAndTogglesTreeCheckBoxesByClickAndBySpace) {
    const HWND tree = Control(IDC_TREE);
    const auto items = ReadTree(tree);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].text, L"Fruit");
    EXPECT_EQ(items[1].text, L"Apple");
    EXPECT_EQ(items[1].depth, 1);
    EXPECT_EQ(items[3].text, L"Vegetables");
    EXPECT_EQ(items[4].text, L"Leek");
    for (const auto& item : items)
        EXPECT_EQ(item.check, 0) << testing::Narrow(item.text);

    const HTREEITEM pear = FindTreeItem(tree, {L"Fruit", L"Pear"});
    ASSERT_NE(pear, nullptr);
    EXPECT_EQ(FindTreeItem(tree, {L"Fruit", L"Leek"}), nullptr);
    ASSERT_TRUE(ToggleTreeItemByClick(tree, pear));
    EXPECT_EQ(TreeItemCheck(tree, pear), 1);

    const HTREEITEM leek = FindTreeItem(tree, {L"Vegetables", L"Leek"});
    ASSERT_TRUE(ToggleTreeItemBySpace(tree, leek));
    EXPECT_EQ(TreeItemCheck(tree, leek), 1);
    ASSERT_TRUE(ToggleTreeItemBySpace(tree, leek));
    EXPECT_EQ(TreeItemCheck(tree, leek), 0);

    const auto after = ReadTree(tree);
    EXPECT_EQ(after[2].check, 1);
    EXPECT_EQ(after[1].check, 0) << "only the toggled item changed";
    EXPECT_TRUE(after[4].selected);
    EXPECT_FALSE(SaveScreenshot(dialog_, "tree-toggled").empty());
}

TEST_F(WindowDriverTest, ReadsListRowsAndSortsByAColumnClick) {
    const HWND list = Control(IDC_LIST);
    auto contents = ReadListView(list);
    ASSERT_EQ(contents.columns, (std::vector<std::wstring>{L"Name", L"Size"}));
    ASSERT_EQ(contents.rows.size(), 3u);
    EXPECT_EQ(contents.rows[0], (std::vector<std::wstring>{L"beta", L"2"}));

    ASSERT_TRUE(ClickListViewColumn(list, 0));
    EXPECT_EQ(Result(), L"sorted by 0") << "the click was handled when the call returned";
    contents = ReadListView(list);
    EXPECT_EQ(contents.rows[0][0], L"alpha");
    EXPECT_EQ(contents.rows[2][0], L"gamma");

    ASSERT_TRUE(ClickListViewColumn(list, 1));
    contents = ReadListView(list);
    EXPECT_EQ(contents.rows[0][1], L"1");
    EXPECT_EQ(contents.rows[2][1], L"10");
    EXPECT_FALSE(ClickListViewColumn(list, 5));
}

TEST_F(WindowDriverTest, ScreenshotsArePngFilesOfTheWindowsSize) {
    const std::wstring path = SaveScreenshot(dialog_, "size check");
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.find(L"size_check.png"), std::wstring::npos);
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    unsigned char head[24] = {};
    in.read(reinterpret_cast<char*>(head), 24);
    ASSERT_EQ(std::string(reinterpret_cast<char*>(head) + 1, 3), "PNG");
    const auto width = (head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19];
    RECT rect{};
    GetWindowRect(dialog_, &rect);
    EXPECT_EQ(width, rect.right - rect.left);
    EXPECT_FALSE(SaveScreenshot(nullptr, "whole-screen").empty());
}

TEST_F(WindowDriverTest, WindriverExeDrivesTheSameWindowsForScripts) {
    const std::wstring windriver = Quote(GuiProgramPath(L"windriver.exe"));
    const std::wstring window = L" --title \"Driver Fixture\"";

    auto run = RunForOutput(windriver + L" list");
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_NE(run.output.find("\"#32770\" \"Driver Fixture\" visible"), std::string::npos)
        << run.output;

    run = RunForOutput(windriver + L" children" + window);
    EXPECT_NE(run.output.find(std::to_string(IDC_TICK) +
                              " \"Button\" \"Tick me\" visible enabled check=0"),
              std::string::npos)
        << run.output;

    EXPECT_EQ(RunForOutput(windriver + L" set-text" + window + L" --id " +
                           std::to_wstring(IDC_EDIT) + L" \"from a script\"")
                  .exit_code,
              0u);
    EXPECT_EQ(RunForOutput(windriver + L" click" + window + L" --id " + std::to_wstring(IDC_COPY))
                  .exit_code,
              0u);
    EXPECT_TRUE(ResultBecomes(L"from a script"));

    run = RunForOutput(windriver + L" send" + window + L" " + std::to_wstring(WM_FIXTURE_SLOW) +
                       L" 100 5");
    EXPECT_EQ(run.output.rfind("result 10 ms ", 0), 0u) << run.output;

    run = RunForOutput(windriver + L" tree-toggle" + window + L" --id " +
                       std::to_wstring(IDC_TREE) + L" Fruit/Apple");
    EXPECT_EQ(run.output, "check 1\n");
    run = RunForOutput(windriver + L" tree" + window + L" --id " + std::to_wstring(IDC_TREE));
    EXPECT_NE(run.output.find("1 1 \"Apple\""), std::string::npos) << run.output;

    run = RunForOutput(windriver + L" list-view" + window + L" --id " + std::to_wstring(IDC_LIST));
    EXPECT_EQ(run.output, "Name\tSize\nbeta\t2\nalpha\t10\ngamma\t1\n");

    ASSERT_TRUE(ClickButton(Control(IDC_ASK)));
    run = RunForOutput(windriver + L" answer --title \"Fixture Question\" --timeout 20000 Yes");
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_NE(run.output.find("text \"Do you agree?\""), std::string::npos) << run.output;
    EXPECT_TRUE(ResultBecomes(L"answer yes"));

    run = RunForOutput(windriver + L" screenshot" + window + L" from-windriver");
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(RunForOutput(windriver + L" find --title \"No Such Window\" --timeout 100").exit_code,
              1u);
    EXPECT_EQ(RunForOutput(windriver + L" frobnicate").exit_code, 2u);

    EXPECT_EQ(RunForOutput(windriver + L" post" + window + L" 16 0 0").exit_code, 0u);  // WM_CLOSE
    EXPECT_EQ(RunForOutput(windriver + L" wait-gone" + window).exit_code, 0u);
    EXPECT_TRUE(fixture_.Wait(kWaitMs).has_value());
}

}  // namespace
}  // namespace olvex::gui

// The Manage Exclusions dialog of Gorsewatch5.exe (/showexclusions) under
// Wine with the real engine: exclusions made through the real excluder, the
// trees and buttons it shows, removal of exactly the ticked exclusions, Add
// File/Folder with its log line, the excluder's errors and the report. The
// test build answers the folder browser and the Save As dialog from files.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "client/main/main_test_support.h"
#include "client/main/test_hooks.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kExclusionsTitle[] = L"Kelvan Gorsewatch -- Manage Exclusions";
constexpr int kPestTree = 1079;
constexpr int kSelectPests = 1080;
constexpr int kRemovePests = 1076;
constexpr int kPathTree = 1083;
constexpr int kSelectPaths = 1084;
constexpr int kAddPath = 1085;
constexpr int kRemovePaths = 1086;
constexpr int kSaveReport = 1074;
constexpr int kHelp = 1088;

// The engine DLL of the build, used in this process the way another client
// program uses its excluder.
class Excluder {
  public:
    explicit Excluder(const fs::path& data_folder) {
        CoInitialize(nullptr);
        excluder_ = Make<IExcluder>(CLSID_Excluder);
        if (!excluder_)
            return;
        BSTR folder = SysAllocString(data_folder.wstring().c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        excluder_->Initialize(folder, &ok);
        SysFreeString(folder);
        ready_ = ok != VARIANT_FALSE;
    }
    ~Excluder() {
        excluder_.Reset();
        CoUninitialize();
    }

    bool ready() const { return ready_; }

    bool Add(const std::string& text) {
        auto item = Make<IExcludedItem>(CLSID_ExcludedItem);
        if (!item || !ready_)
            return false;
        BSTR stored = SysAllocString(std::wstring(text.begin(), text.end()).c_str());
        item->SetString(stored);
        SysFreeString(stored);
        VARIANT_BOOL ok = VARIANT_FALSE;
        excluder_->AddExclusion(item.Get(), &ok);
        return ok != VARIANT_FALSE;
    }

    // The stored texts, in the excluder's order.
    std::vector<std::string> List() {
        std::vector<std::string> texts;
        com::ComPtr<IExcludedItem> item;
        HRESULT result = excluder_->GetFirstExclusion(item.Put());
        while (SUCCEEDED(result) && item) {
            BSTR text = nullptr;
            item->GetString(&text);
            const std::wstring wide = text == nullptr ? L"" : text;
            SysFreeString(text);
            texts.emplace_back(wide.begin(), wide.end());
            result = excluder_->GetNextExclusion(item.Put());
        }
        return texts;
    }

  private:
    template <typename Interface>
    com::ComPtr<Interface> Make(REFCLSID clsid) {
        com::ComPtr<Interface> object;
        IClassFactory* factory = nullptr;
        if (SUCCEEDED(engine_.GetClassObject(clsid, IID_IClassFactory,
                                             reinterpret_cast<void**>(&factory)))) {
            factory->CreateInstance(nullptr, __uuidof(Interface), object.PutVoid());
            factory->Release();
        }
        return object;
    }

    LoadedEngine engine_;
    com::ComPtr<IExcluder> excluder_;
    bool ready_ = false;
};

std::vector<std::wstring> TreeTexts(HWND tree) {
    std::vector<std::wstring> texts;
    for (const gui::TreeItem& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            texts.push_back(item.text);
    }
    return texts;
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The report with its date line taken out.
std::string WithoutDate(std::string text) {
    const std::string marker = "This report was generated on: ";
    const std::size_t at = text.find(marker);
    if (at != std::string::npos)
        text.erase(at + marker.size(), text.find("\r\n", at) - at - marker.size());
    return text;
}

std::string Golden(const char* name) {
    return ReadText(BuildPath(OLVEX_MAIN_TESTDATA_DIR) / name);
}

std::vector<std::string> LogLines() {
    return gui::ReadLines((ProductDataFolder() / "QZv5Log.txt").wstring());
}

class ExclusionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnvironmentVariableW(kTestFolderChoiceVariable, folder_choice_.wstring().c_str());
        SetEnvironmentVariableW(kTestSaveChoiceVariable, save_choice_.wstring().c_str());
        SetEnvironmentVariableW(kTestShellLogVariable, shell_log_.wstring().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(kTestFolderChoiceVariable, nullptr);
        SetEnvironmentVariableW(kTestSaveChoiceVariable, nullptr);
        SetEnvironmentVariableW(kTestShellLogVariable, nullptr);
    }

    fs::path DataFolder() const { return install_.folder() / "core"; }

    // Starts the program asking for the dialog; the dialog, screenshot taken.
    HWND OpenDialog(const std::string& screenshot) {
        if (!program_.Start(install_, L"/showexclusions"))
            return nullptr;
        if (program_.WaitForMainWindow() == nullptr)
            return nullptr;
        const HWND dialog = FindShownWindow(kExclusionsTitle, program_.id(), 60000);
        if (dialog != nullptr && !screenshot.empty())
            ScreenshotWhenDrawn(dialog, screenshot);
        return dialog;
    }
    void Choose(const std::string& line) const { WriteText(folder_choice_, line); }
    void SaveAs(const fs::path& path) const { WriteText(save_choice_, path.string()); }
    // Served: the dialog's thread has handled what was posted before.
    static void Served(HWND dialog) {
        for (int round = 0; round < 2; ++round) {
            gui::SendWindowMessage(dialog, WM_NULL, 0, 0);
            Sleep(100);
        }
    }

    TestInstall install_{{.test_build = true}};
    ScratchDir scratch_;
    fs::path folder_choice_ = scratch_.path() / "folder-choice.txt";
    fs::path save_choice_ = scratch_.path() / "save-choice.txt";
    fs::path shell_log_ = scratch_.path() / "opened.txt";
    Gorsewatch5Process program_;
};

TEST_F(ExclusionsTest, TreesFollowPestIdAndRemoveTakesExactlyTheTickedExclusions) {
    const std::vector<std::string> fixture = {
        "PestId \"12\" PestName \"Alpha Pest\"",
        "PestId \"NONE\" PestName \"Capital None\"",
        "PestId \"None\" PestName \"c:\\fixture\\one\" Path \"c:\\fixture\\one\"",
        "PestId \"none\" PestName \"c:\\fixture\\two\" Path \"c:\\fixture\\two\"",
        "Path \"c:\\fixture\\only path\"",
        "Category \"Adware\"",
        "PestId \"7\" PestName \"Twin Pest\"",
        "PestId \"7\" PestName \"Twin Pest\"",
        "PestId \"None\" PestName \"Shared Name\" Path \"Shared Name\"",
        "PestId \"15\" PestName \"Shared Name\"",
    };
    {
        Excluder excluder(DataFolder());
        ASSERT_TRUE(excluder.ready());
        for (const std::string& text : fixture)
            ASSERT_TRUE(excluder.Add(text)) << text;
        ASSERT_EQ(excluder.List().size(), fixture.size());
    }
    const HWND dialog = OpenDialog("exclusions-opened");
    ASSERT_NE(dialog, nullptr);
    const HWND pests = GetDlgItem(dialog, kPestTree);
    const HWND paths = GetDlgItem(dialog, kPathTree);

    EXPECT_EQ(TreeTexts(pests),
              (std::vector<std::wstring>{L"Alpha Pest", L"Capital None", L"Shared Name",
                                         L"Twin Pest", L"Twin Pest"}));
    EXPECT_EQ(TreeTexts(paths), (std::vector<std::wstring>{L"c:\\fixture\\one", L"c:\\fixture\\two",
                                                           L"Shared Name"}));
    // The dialog holds the pest-activity signal, as a scan does.
    const HANDLE activity = OpenMutexA(SYNCHRONIZE, FALSE, "GorsewatchV5PestActivity");
    EXPECT_NE(activity, nullptr);
    if (activity != nullptr)
        CloseHandle(activity);
    // So the command-line scanner started meanwhile gives way: it ends
    // without scanning (the scan history stays as it was).
    const fs::path history = ProductDataFolder() / "qzscanhistory.txt";
    const std::string history_before = fs::exists(history) ? ReadText(history) : "";
    fs::copy_file(BuildPath(OLVEX_MARVOLT_PATH), install_.folder() / "Marvolt.exe");
    gui::RunningProgram scanner;
    ASSERT_TRUE(
        scanner.Start(gui::Quote((install_.folder() / "Marvolt.exe").wstring()) + L" /ignore"));
    EXPECT_TRUE(gui::WaitUntil([&] { return !scanner.running(); }, 60000));
    EXPECT_EQ(fs::exists(history) ? ReadText(history) : "", history_before);
    EXPECT_FALSE(Enabled(dialog, kRemovePests));
    EXPECT_FALSE(Enabled(dialog, kRemovePaths));
    EXPECT_TRUE(Enabled(dialog, kSelectPests));
    EXPECT_TRUE(Enabled(dialog, kSelectPaths));

    // One item's box: Remove follows it; clearing the last clears Select All.
    const HTREEITEM alpha = gui::FindTreeItem(pests, {L"Alpha Pest"});
    ASSERT_TRUE(gui::ToggleTreeItemByClick(pests, alpha));
    EXPECT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, kRemovePests); }, 5000));
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSelectPests)));
    Served(dialog);
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kSelectPests)), 1);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSelectPests)));
    Served(dialog);
    EXPECT_FALSE(Enabled(dialog, kRemovePests));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(pests, alpha));
    EXPECT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, kRemovePests); }, 5000));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(pests, alpha));
    EXPECT_TRUE(gui::WaitUntil([&] { return !Enabled(dialog, kRemovePests); }, 5000));
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kSelectPests)), 0);

    // Select All and Remove take every pest exclusion, both twins too; the
    // path exclusion of the same name stays.
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSelectPests)));
    Served(dialog);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kRemovePests)));
    EXPECT_TRUE(gui::WaitUntil([&] { return TreeTexts(pests).empty(); }, 10000));
    Served(dialog);
    ScreenshotWhenDrawn(dialog, "exclusions-pests-removed");
    EXPECT_EQ(TreeTexts(paths), (std::vector<std::wstring>{L"c:\\fixture\\one", L"c:\\fixture\\two",
                                                           L"Shared Name"}));
    EXPECT_FALSE(Enabled(dialog, kRemovePests));
    EXPECT_FALSE(Enabled(dialog, kSelectPests));
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, kSelectPests)), 0);
    {
        Excluder fresh(DataFolder());
        EXPECT_EQ(fresh.List(), (std::vector<std::string>{fixture[2], fixture[3], fixture[4],
                                                          fixture[5], fixture[8]}));
    }
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
}

// An exclusion made while the program runs, by the command-line scanner's
// /exclude of a planted sample pest, is listed when Manage Exclusions opens
// next, though the program's excluder had read the file long before.
TEST_F(ExclusionsTest, ListsAnExclusionTheCommandLineScannerMadeWhileTheProgramRan) {
    const fs::path pests = ShellFolder(CSIDL_PROGRAM_FILES) / "OlvexTest";
    ASSERT_FALSE(fs::exists(pests)) << "left behind by an earlier run";
    struct Cleanup {
        fs::path pests;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(pests, ignored);
        }
    } cleanup{pests};
    fs::create_directories(pests);
    fs::copy_file(fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest" / "alpha.exe",
                  pests / "alpha.exe");

    ASSERT_TRUE(program_.Start(install_));
    const HWND frame = program_.WaitForMainWindow();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(program_.WaitUntilIdle());
    const auto open_dialog = [&] {
        gui::SendWindowMessage(frame, 1028, 3, 0);
        if (!gui::ClickControl(program_.PageControl(1044)))
            return static_cast<HWND>(nullptr);
        return FindShownWindow(kExclusionsTitle, program_.id(), 30000);
    };
    HWND dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(TreeTexts(GetDlgItem(dialog, kPestTree)).empty());
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));

    fs::copy_file(BuildPath(OLVEX_MARVOLT_PATH), install_.folder() / "Marvolt.exe");
    gui::RunningProgram scanner;
    ASSERT_TRUE(
        scanner.Start(gui::Quote((install_.folder() / "Marvolt.exe").wstring()) + L" /exclude"));
    ASSERT_TRUE(gui::WaitUntil([&] { return !scanner.running(); }, 120000));
    {
        Excluder check(DataFolder());
        const std::vector<std::string> made = check.List();
        ASSERT_EQ(made.size(), 1u);
        // The engine keeps it in lower case.
        std::string lower = made[0];
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_NE(lower.find("pestid \"1001\""), std::string::npos) << made[0];
    }

    dialog = open_dialog();
    ASSERT_NE(dialog, nullptr);
    const std::vector<std::wstring> listed = TreeTexts(GetDlgItem(dialog, kPestTree));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(_wcsicmp(listed[0].c_str(), L"OlvexTest.Adware.Alpha"), 0) << listed[0];
    EXPECT_TRUE(Enabled(dialog, kSelectPests));
    ScreenshotWhenDrawn(dialog, "exclusions-made-by-the-scanner");
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
}

TEST_F(ExclusionsTest, AddExcludesAFolderOnceLogsItOnceAndReportsBothLists) {
    const fs::path chosen = "C:\\fixture add";
    fs::create_directories(chosen / "sub");
    const HWND dialog = OpenDialog({});
    ASSERT_NE(dialog, nullptr);
    const HWND paths = GetDlgItem(dialog, kPathTree);
    EXPECT_FALSE(Enabled(dialog, kSelectPaths));

    // Nothing to report yet.
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSaveReport)));
    EXPECT_EQ(program_.AnswerMessage("exclusions-nothing-to-report"), L"No exclusions found");

    // Cancelled: nothing.
    Choose("");
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAddPath)));
    Served(dialog);
    EXPECT_TRUE(TreeTexts(paths).empty());

    const std::size_t lines_before = LogLines().size();
    Choose(chosen.string());
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAddPath)));
    ASSERT_TRUE(gui::WaitUntil([&] { return TreeTexts(paths).size() == 1; }, 10000));
    EXPECT_TRUE(Enabled(dialog, kSelectPaths));
    ScreenshotWhenDrawn(dialog, "exclusions-folder-added");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), lines_before + 1);
    EXPECT_NE(lines.back().find(",Excluded,None,(File/Folder),0,C:\\fixture add,-1,"),
              std::string::npos)
        << lines.back();

    // Its subfolder is excluded already: nothing added, nothing logged.
    Choose((chosen / "sub").string());
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAddPath)));
    Served(dialog);
    EXPECT_EQ(TreeTexts(paths).size(), 1u);
    EXPECT_EQ(LogLines().size(), lines_before + 1);
    {
        Excluder fresh(DataFolder());
        EXPECT_EQ(fresh.List().size(), 1u);
    }

    // The report of the files-only case, saved as a doubled extension.
    const fs::path report = scratch_.path() / "exclusions.txt";
    SaveAs(report.string() + ".TXT");
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSaveReport)));
    ASSERT_TRUE(gui::WaitUntil([&] { return fs::exists(report); }, 10000));
    Served(dialog);
    EXPECT_EQ(WithoutDate(ReadText(report)), Golden("exclusions-report-paths.txt"));

    // A failing add (another program holds the exclusion file) logs nothing
    // and says why.
    gui::RunningProgram locker;
    ASSERT_TRUE(gui::StartWhenReady(
        locker, gui::Quote(gui::GuiProgramPath(L"file_locker.exe")) + L" " +
                    gui::Quote((DataFolder() / "qzexc_en.dat").wstring()) + L" --seconds 120"));
    Choose("C:\\fixture other");
    fs::create_directories("C:\\fixture other");
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAddPath)));
    const auto message = program_.AnswerMessage("exclusions-add-failed", 15000);
    ASSERT_TRUE(message.has_value());
    EXPECT_FALSE(message->empty());
    EXPECT_EQ(LogLines().size(), lines_before + 1);
    locker.End();
    Served(dialog);
    EXPECT_EQ(TreeTexts(paths).size(), 1u);

    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
    std::error_code ignored;
    fs::remove_all(chosen, ignored);
    fs::remove_all("C:\\fixture other", ignored);
}

TEST_F(ExclusionsTest, ReportListsBothTreesNumbered) {
    {
        Excluder excluder(DataFolder());
        ASSERT_TRUE(excluder.ready());
        for (const char* text :
             {"PestId \"3\" PestName \"Beta Pest\"", "PestId \"4\" PestName \"Alpha Pest\"",
              "PestId \"None\" PestName \"c:\\fixture\\one\" Path \"c:\\fixture\\one\""})
            ASSERT_TRUE(excluder.Add(text));
    }
    const HWND dialog = OpenDialog({});
    ASSERT_NE(dialog, nullptr);
    const fs::path report = scratch_.path() / "both.txt";
    SaveAs(report);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kSaveReport)));
    ASSERT_TRUE(gui::WaitUntil([&] { return fs::exists(report); }, 10000));
    Served(dialog);
    EXPECT_EQ(WithoutDate(ReadText(report)), Golden("exclusions-report-both.txt"));

    // Help opens the install folder's help file.
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kHelp)));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return gui::ReadLines(shell_log_.wstring()) ==
                   std::vector<std::string>{install_.folder().string() + "\\KvQZHelp.chm"};
        },
        10000))
        << ReadText(shell_log_);

    // The real folder browser opens, and a cancel adds nothing.
    fs::remove(folder_choice_);
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, kAddPath)));
    HWND browser = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            for (const HWND window : DialogsOf(program_.id())) {
                if (window != dialog && IsWindowVisible(window))
                    browser = window;
            }
            return browser != nullptr;
        },
        20000));
    ScreenshotWhenDrawn(browser, "exclusions-folder-browser");
    gui::PostWindowMessage(browser, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(browser, 10000));
    Served(dialog);
    EXPECT_EQ(TreeTexts(GetDlgItem(dialog, kPathTree)).size(), 1u);

    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
}

TEST_F(ExclusionsTest, AnUnusableDataFolderShowsTheExcludersError) {
    // A folder where the exclusion file belongs: the excluder cannot start.
    fs::create_directories(DataFolder() / "qzexc_en.dat");
    ASSERT_TRUE(program_.Start(install_, L"/showexclusions"));
    ASSERT_NE(program_.WaitForMainWindow(), nullptr);
    // Start-up tells it first; the dialog tells it again as it fills.
    const auto first = program_.AnswerMessage();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->rfind(L"Error! Excluder init failed (Error ", 0), 0u) << *first;
    const auto second = program_.AnswerMessage("exclusions-excluder-failed");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(*second, *first);
    const HWND dialog = FindShownWindow(kExclusionsTitle, program_.id(), 30000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(TreeTexts(GetDlgItem(dialog, kPestTree)).empty());
    gui::PostWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program_.Close());
}

}  // namespace
}  // namespace olvex::testing

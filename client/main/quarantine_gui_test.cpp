// The Manage Quarantine dialog under Wine with the real engine, over
// sessions made by real cleanings: its session tree, the check rules,
// Restore, Delete and Save Report.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "client/main/cleaning_test_support.h"
#include "client/main/quarantine_dialog_ids.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kQuarantineTitle[] = L"Kelvan Gorsewatch -- Manage Quarantine";
constexpr char kPlantKey[] = "Software\\OlvexQuarantineTest";

struct ComScope {
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
};

// Three cleanings, a second apart (a session is named by its second): one
// file of pest 4301; a file and a key with a value of pest 4302; a file of
// pest 4303. Between the first and the second, a cleaning whose archive is
// then spoiled.
struct Sessions {
    ScratchDir dir;
    fs::path one, two, three, spoiled;
    std::string key = std::string(kPlantKey) + "\\Two";
    ~Sessions() { SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey); }
};

std::string KeyLocation(const std::string& key) {
    return "Key \"hkey_current_user \\" + key + "\"";
}

void MakeSessions(Sessions& sessions, const TestInstall& install, bool spoil_one) {
    ASSERT_NO_FATAL_FAILURE(PublishDefinitions(install.folder() / "core",
                                               "block 2004-03-15 09:40:00\n"
                                               "pest 4301 \"QTest.Alpha\" \"Adware\"\n"
                                               "pest 4302 \"QTest.Beta\" \"Spyware\"\n"
                                               "pest 4303 \"QTest.Gamma\" \"Trojan\"\n"));
    sessions.one = sessions.dir.path() / "one.txt";
    sessions.two = sessions.dir.path() / "two.txt";
    sessions.three = sessions.dir.path() / "three.txt";
    sessions.spoiled = sessions.dir.path() / "spoiled.txt";
    for (const auto* path : {&sessions.one, &sessions.two, &sessions.three, &sessions.spoiled})
        WriteText(*path, "content of " + path->filename().string());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, sessions.key.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>("value"), 6);
    RegCloseKey(key);

    const ComScope com;
    const InstalledEngine engine(install);
    ASSERT_TRUE(CleanWithEngine(engine, install, {{4301, FileLocation(sessions.one)}}));
    if (spoil_one) {
        Sleep(1100);
        const auto before = SessionArchives(install);
        ASSERT_TRUE(CleanWithEngine(engine, install, {{4301, FileLocation(sessions.spoiled)}}));
        const auto after = SessionArchives(install);
        ASSERT_EQ(after.size(), before.size() + 1);
        WriteText(after.back(), "not an archive");
    }
    Sleep(1100);
    ASSERT_TRUE(CleanWithEngine(
        engine, install, {{4302, FileLocation(sessions.two)}, {4302, KeyLocation(sessions.key)}}));
    Sleep(1100);
    ASSERT_TRUE(CleanWithEngine(engine, install, {{4303, FileLocation(sessions.three)}}));
    ASSERT_FALSE(fs::exists(sessions.two));
}

HWND OpenManager(Gorsewatch5Process& program, const TestInstall& install,
                 std::vector<std::wstring>* messages = nullptr) {
    if (!program.Start(install, L"/showquarantine") || program.WaitForMainWindow() == nullptr)
        return nullptr;
    if (messages != nullptr) {
        const auto message = program.AnswerMessage("quarantine-broken-session", 60000);
        if (message)
            messages->push_back(*message);
    }
    return FindShownWindow(kQuarantineTitle, program.id(), 60000);
}

std::vector<gui::TreeItem> Roots(HWND tree) {
    std::vector<gui::TreeItem> roots;
    for (const auto& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            roots.push_back(item);
    }
    return roots;
}

// The session name at the end of a node text "... <<name>>".
std::wstring NameOf(const std::wstring& text) {
    const auto open = text.find(L"<<");
    return open == std::wstring::npos ? std::wstring() : text.substr(open + 2, 14);
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

std::vector<std::int32_t> LoggedIds(const std::string& action) {
    std::vector<std::int32_t> ids;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == action) {
            ids.push_back(entry.pest_id);
            EXPECT_EQ(entry.location, "Not Applicable");
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool AllOfSessionChecked(HWND tree, HTREEITEM session, int check) {
    bool in_session = false;
    for (const auto& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            in_session = item.handle == session;
        if (in_session && item.check != check)
            return false;
    }
    return true;
}

TEST(QuarantineManagerTest, ListsSessionsNewestFirstChecksBySessionAndRestoresWithTheNewer) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Sessions sessions;
    ASSERT_NO_FATAL_FAILURE(MakeSessions(sessions, install, true));
    const auto archives = SessionArchives(install);
    ASSERT_EQ(archives.size(), 4u);

    Gorsewatch5Process program;
    std::vector<std::wstring> messages;
    const HWND dialog = OpenManager(program, install, &messages);
    ASSERT_NE(dialog, nullptr);
    // The spoiled session is told once; the newer ones are still listed.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(L"A quarantine session could not be read: ", 0), 0u) << messages[0];
    const HWND tree = GetDlgItem(dialog, IDC_QUARANTINE_TREE);
    const auto roots = Roots(tree);
    ASSERT_EQ(roots.size(), 3u) << Joined(TreeTextLines(tree));
    // Newest first, "date time  <<name>>", numbered oldest 1.
    EXPECT_EQ(NameOf(roots[0].text), archives[3].stem().wstring());
    EXPECT_EQ(NameOf(roots[1].text), archives[2].stem().wstring());
    EXPECT_EQ(NameOf(roots[2].text), archives[0].stem().wstring());
    for (std::size_t i = 0; i < roots.size(); ++i) {
        EXPECT_NE(roots[i].text.find(L"  <<"), std::wstring::npos) << roots[i].text;
        EXPECT_EQ(roots[i].data, static_cast<LPARAM>(3 - i));
    }
    EXPECT_FALSE(Enabled(dialog, IDC_QUARANTINE_RESTORE));
    EXPECT_FALSE(Enabled(dialog, IDC_QUARANTINE_DELETE));
    EXPECT_TRUE(Enabled(dialog, IDC_QUARANTINE_SELECT_ALL));

    // Expanding session 2 shows its pest by name, a file by its path and the
    // registry item by its key.
    const HTREEITEM two = roots[1].handle;
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(two));
    const auto lines = TreeTextLines(tree);
    const auto has = [&](const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has(L"  QTest.Beta")) << Joined(lines);
    EXPECT_TRUE(has(L"    " + sessions.two.wstring())) << Joined(lines);
    EXPECT_TRUE(
        has(L"    hkey_current_user \\" + std::wstring(sessions.key.begin(), sessions.key.end())))
        << Joined(lines);
    ScreenshotWhenDrawn(dialog, "quarantine-manager-expanded");

    // A location's box checks its whole session; unchecking it clears all
    // and the buttons follow; the space bar does the same.
    const HTREEITEM beta = TreeView_GetChild(tree, two);
    const HTREEITEM location = TreeView_GetChild(tree, beta);
    ASSERT_NE(location, nullptr);
    const auto buttons = [&](bool enabled) {
        return Enabled(dialog, IDC_QUARANTINE_RESTORE) == enabled &&
               Enabled(dialog, IDC_QUARANTINE_DELETE) == enabled;
    };
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, location));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllOfSessionChecked(tree, two, 1); }, 5000));
    EXPECT_TRUE(buttons(true));
    EXPECT_TRUE(AllOfSessionChecked(tree, roots[0].handle, 0));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, location));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllOfSessionChecked(tree, two, 0); }, 5000));
    EXPECT_TRUE(buttons(false));
    ASSERT_TRUE(gui::ToggleTreeItemBySpace(tree, beta));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllOfSessionChecked(tree, two, 1); }, 5000));
    EXPECT_TRUE(buttons(true));
    // Select All, then the last uncheck by hand clears it.
    const HWND select_all = GetDlgItem(dialog, IDC_QUARANTINE_SELECT_ALL);
    ASSERT_TRUE(gui::ClickButton(select_all));
    EXPECT_TRUE(
        gui::WaitUntil([&] { return AllOfSessionChecked(tree, roots[0].handle, 1); }, 5000));
    ASSERT_TRUE(gui::ClickButton(select_all));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllOfSessionChecked(tree, two, 0); }, 5000));
    EXPECT_TRUE(buttons(false));
    ASSERT_TRUE(gui::ClickButton(select_all));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllOfSessionChecked(tree, two, 1); }, 5000));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, roots[0].handle));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, roots[2].handle));
    EXPECT_TRUE(buttons(true));
    EXPECT_EQ(gui::GetCheck(select_all), BST_CHECKED);
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, location));
    EXPECT_TRUE(gui::WaitUntil([&] { return AllOfSessionChecked(tree, two, 0); }, 5000));
    EXPECT_TRUE(buttons(false));
    EXPECT_EQ(gui::GetCheck(select_all), BST_UNCHECKED);

    // Restore of session 2 takes session 3 along; session 1 stays.
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, two));
    ScreenshotWhenDrawn(dialog, "quarantine-manager-restore-checked");
    ASSERT_TRUE(PressDialogButton(dialog, IDC_QUARANTINE_RESTORE));
    EXPECT_TRUE(gui::WaitUntil([&] { return Roots(tree).size() == 1; }, 30000))
        << Joined(TreeTextLines(tree));
    EXPECT_FALSE(program.HasMessageDialog());
    ASSERT_EQ(Roots(tree).size(), 1u);
    EXPECT_EQ(NameOf(Roots(tree)[0].text), archives[0].stem().wstring());
    EXPECT_EQ(ReadText(sessions.two), "content of two.txt");
    EXPECT_EQ(ReadText(sessions.three), "content of three.txt");
    EXPECT_FALSE(fs::exists(sessions.one));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, sessions.key.c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char value[16] = {};
    DWORD size = sizeof(value);
    EXPECT_EQ(
        RegQueryValueExA(key, "Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_STREQ(value, "value");
    EXPECT_EQ(LoggedIds("Restored"), (std::vector<std::int32_t>{4302, 4302, 4303}));
    EXPECT_FALSE(Enabled(dialog, IDC_QUARANTINE_RESTORE));
    EXPECT_FALSE(Enabled(dialog, IDC_QUARANTINE_DELETE));
    ScreenshotWhenDrawn(dialog, "quarantine-manager-restored");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

TEST(QuarantineManagerTest, DeleteTakesTheOlderSessionsAlongAndARefusedRestoreKeepsItsNode) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Sessions sessions;
    ASSERT_NO_FATAL_FAILURE(MakeSessions(sessions, install, false));
    const auto archives = SessionArchives(install);
    ASSERT_EQ(archives.size(), 3u);

    Gorsewatch5Process program;
    const HWND dialog = OpenManager(program, install);
    ASSERT_NE(dialog, nullptr);
    const HWND tree = GetDlgItem(dialog, IDC_QUARANTINE_TREE);
    auto roots = Roots(tree);
    ASSERT_EQ(roots.size(), 3u) << Joined(TreeTextLines(tree));

    // Delete of session 2 takes session 1 along.
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, roots[1].handle));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_QUARANTINE_DELETE));
    EXPECT_TRUE(gui::WaitUntil([&] { return Roots(tree).size() == 1; }, 30000))
        << Joined(TreeTextLines(tree));
    EXPECT_FALSE(program.HasMessageDialog());
    roots = Roots(tree);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(NameOf(roots[0].text), archives[2].stem().wstring());
    EXPECT_FALSE(fs::exists(archives[0]));
    EXPECT_FALSE(fs::exists(archives[1]));
    EXPECT_EQ(LoggedIds("Permanently deleted"), (std::vector<std::int32_t>{4301, 4302, 4302}));
    EXPECT_FALSE(fs::exists(sessions.one));
    EXPECT_FALSE(fs::exists(sessions.two));
    ScreenshotWhenDrawn(dialog, "quarantine-manager-deleted");

    // The file of session 3 is back at its place: the engine will not
    // overwrite it, the node stays and nothing is logged "Restored".
    WriteText(sessions.three, "a new file there");
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, roots[0].handle));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_QUARANTINE_RESTORE));
    const auto failed = program.AnswerMessage("quarantine-manager-restore-refused", 30000);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->rfind(L"Restore of " + roots[0].text + L" failed: ", 0), 0u) << *failed;
    EXPECT_GT(failed->size(), (L"Restore of " + roots[0].text + L" failed: ").size()) << *failed;
    EXPECT_EQ(Roots(tree).size(), 1u);
    EXPECT_TRUE(LoggedIds("Restored").empty());
    EXPECT_EQ(ReadText(sessions.three), "a new file there");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

// Replaces every "{key}" of the text by its value.
std::string Filled(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& [key, value] : values) {
        const std::string mark = "{" + key + "}";
        for (auto at = text.find(mark); at != std::string::npos;
             at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    }
    return text;
}

TEST(QuarantineManagerTest, SaveReportWritesEverySessionThroughTheSaveAsDialog) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Sessions sessions;
    ASSERT_NO_FATAL_FAILURE(MakeSessions(sessions, install, false));

    Gorsewatch5Process program;
    const HWND dialog = OpenManager(program, install);
    ASSERT_NE(dialog, nullptr);
    const HWND tree = GetDlgItem(dialog, IDC_QUARANTINE_TREE);
    const auto roots = Roots(tree);
    ASSERT_EQ(roots.size(), 3u);
    // Only the newest was ever expanded; the report reads the others.
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(roots[0].handle));

    ASSERT_TRUE(PressDialogButton(dialog, IDC_QUARANTINE_REPORT));
    const HWND save_as = gui::FindDialog({.title = L"Save As", .process_id = program.id()}, 30000);
    ASSERT_NE(save_as, nullptr);
    HWND name_field = nullptr;
    ASSERT_TRUE(gui::WaitUntil(
        [&] {
            for (const auto& child : gui::ListChildren(save_as)) {
                if (child.class_name == L"Edit" && child.visible) {
                    name_field = child.handle;
                    return true;
                }
            }
            return false;
        },
        10000));
    // The proposed name, then the one typed: a doubled ".txt" in another case.
    EXPECT_EQ(gui::GetText(name_field).rfind(L"QuarantinedPestsReport", 0), 0u)
        << gui::GetText(name_field);
    ScreenshotWhenDrawn(save_as, "quarantine-report-save-as");
    const fs::path chosen = sessions.dir.path() / "r.TXT.txt";
    ASSERT_TRUE(gui::SetText(name_field, chosen.wstring()));
    ASSERT_TRUE(gui::PressButton(save_as, IDOK));
    ASSERT_TRUE(gui::WaitForWindowGone(save_as, 10000));
    const fs::path written = sessions.dir.path() / "r.txt";
    ASSERT_TRUE(gui::WaitUntil(
        [&] { return fs::exists(written) && Enabled(dialog, IDC_QUARANTINE_REPORT); }, 10000));
    EXPECT_FALSE(fs::exists(chosen.string() + ".txt"));
    EXPECT_FALSE(program.HasMessageDialog());

    const std::string report = ReadText(written);
    const std::string generated = "This report was generated on: ";
    const auto at = report.find(generated);
    ASSERT_NE(at, std::string::npos) << report;
    const auto end = report.find("\r\n", at);
    const std::string now = report.substr(at + generated.size(), end - at - generated.size());
    EXPECT_FALSE(now.empty());
    const auto text = [&](std::size_t i) {
        const std::wstring& wide = roots[i].text;
        return std::string(wide.begin(), wide.end());
    };
    const std::string expected = Filled(ReadText(BuildPath(OLVEX_QUARANTINE_REPORT_GOLDEN)),
                                        {{"NOW", now},
                                         {"SESSION3", text(0)},
                                         {"SESSION2", text(1)},
                                         {"SESSION1", text(2)},
                                         {"DIR", sessions.dir.path().string()}});
    EXPECT_EQ(report, expected);
    // The sessions never expanded now show their items.
    const auto lines = TreeTextLines(tree);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"  QTest.Alpha"), lines.end())
        << Joined(lines);
    ScreenshotWhenDrawn(dialog, "quarantine-report-saved");

    // A pest's name, and its location, open the pest's page (the built-in
    // site: the install has no URL table).
    const std::wstring url_log = gui::Environment(L"OLVEX_URL_LOG");
    ASSERT_FALSE(url_log.empty());
    std::error_code ignored;
    fs::remove(fs::path(url_log), ignored);
    const HTREEITEM gamma = TreeView_GetChild(tree, roots[0].handle);
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(gamma));
    std::vector<std::string> opened;
    for (const HTREEITEM item : {gamma, TreeView_GetChild(tree, gamma)}) {
        ASSERT_TRUE(gui::ClickTreeItemLabel(tree, item));
        opened.push_back("http://www.example.com/pestinfo/q/qtest_gamma.asp");
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::ReadLines(url_log) == opened; }, 10000))
            << ReadText(fs::path(url_log));
    }
    // Label clicks check nothing.
    EXPECT_TRUE(AllOfSessionChecked(tree, roots[0].handle, 0));
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

TEST(QuarantineManagerTest, AnEmptyQuarantineOffersNothingToActOn) {
    TestInstall install;
    Gorsewatch5Process program;
    const HWND dialog = OpenManager(program, install);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(gui::ReadTree(GetDlgItem(dialog, IDC_QUARANTINE_TREE)).empty());
    for (const int id : {IDC_QUARANTINE_SELECT_ALL, IDC_QUARANTINE_RESTORE, IDC_QUARANTINE_DELETE})
        EXPECT_FALSE(Enabled(dialog, id)) << id;
    EXPECT_FALSE(program.HasMessageDialog());
    ScreenshotWhenDrawn(dialog, "quarantine-manager-empty");
    ASSERT_TRUE(PressDialogButton(dialog, IDC_QUARANTINE_REPORT));
    const auto message = program.AnswerMessage("quarantine-report-nothing", 30000);
    ASSERT_TRUE(message);
    EXPECT_EQ(*message, L"No quarantined pests found.");
    EXPECT_EQ(gui::FindDialog({.title = L"Save As", .process_id = program.id()}, 500), nullptr);
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing

// Cleaning from the Scan dialog, under Wine with the real engine: Quarantine
// All Pests removes every listed pest into one new quarantine session and
// logs it, Exclude Checked Pests keeps the checked pests out of later scans,
// the check boxes of a pest move together, and a pest's name opens its page
// on the pest-information site.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "client/common/scrambled_file.h"
#include "client/main/cleaning_test_support.h"
#include "client/main/scan_dialog_ids.h"
#include "olvex/core/exclusion_store.h"
#include "testing/image_first_page.h"
#include "testing/logged_places.h"
#include "testing/test_programs.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kScanTitle[] = L"Kelvan Gorsewatch -- Scan";
constexpr char kPlantKey[] = "Software\\OlvexCleanTest";

// A running pest (memory and file), a folder and key of a second, the
// same-named pair "2nd Thing", "Alpha Bar", a file held open by another
// program, a pest whose folder is the Windows folder (never removed), and a
// pest the scripted remover handles.
struct Plant {
    ScratchDir dir;
    PestProcesses processes;
    gui::RunningProgram locker;
    fs::path gamma, beta, twin_a, twin_b, alpha_bar, held, special, special_extra;
    ~Plant() { SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey); }
};

std::string Definitions(const Plant& plant, std::uint32_t memory_crc) {
    char crc[16];
    std::snprintf(crc, sizeof(crc), "0x%08X", memory_crc);
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const auto quoted = [](const fs::path& path) { return "\"" + path.string() + "\""; };
    return "block 2004-03-15 09:40:00\n"
           "pest 4201 \"CleanTest.Trojan.Gamma\" \"Trojan\"\n"
           "pest 4202 \"CleanTest.Spyware.Beta\" \"Spyware\"\n"
           "pest 4203 \"2nd Thing\" \"Adware\"\n"
           "pest 4204 \"2nd Thing\" \"Adware\"\n"
           "pest 4205 \"Alpha Bar\" \"Adware\"\n"
           "pest 4206 \"CleanTest.Held\" \"Adware\"\n"
           "pest 4207 \"CleanTest.Refused\" \"Adware\"\n"
           "pest 4208 \"CleanTest.Special\" \"Dialer\"\n"
           "memory 4201 " +
           std::string(crc) + "\nfile 4201 " + quoted(plant.gamma) + "\nfolder 4202 " +
           quoted(plant.beta) + "\nkey 4202 \"hkey_current_user \\" + kPlantKey +
           "\\Beta\"\nfile 4203 " + quoted(plant.twin_a) + "\nfile 4204 " + quoted(plant.twin_b) +
           "\nfile 4205 " + quoted(plant.alpha_bar) + "\nfile 4206 " + quoted(plant.held) +
           "\nfolder 4207 " + quoted(fs::path(windows)) + "\nfile 4208 " + quoted(plant.special) +
           "\n";
}

void PlantAll(Plant& plant, const TestInstall& install) {
    const fs::path root = plant.dir.path();
    plant.gamma = root / "gamma.exe";
    plant.beta = root / "Beta";
    plant.twin_a = root / "twin-a.txt";
    plant.twin_b = root / "twin-b.txt";
    plant.alpha_bar = root / "alpha-bar.txt";
    plant.held = root / "held.txt";
    plant.special = root / "special.dll";
    plant.special_extra = root / "special-extra.dll";
    fs::copy_file(TestProgramPath("test_pest.exe"), plant.gamma);
    ASSERT_TRUE(RestampImage(plant.gamma, GetTickCount() ^ GetCurrentProcessId()));
    const auto crc = MemorySignatureOfFile(plant.gamma);
    ASSERT_TRUE(crc);
    for (const char* name : {"Beta/beta.txt", "twin-a.txt", "twin-b.txt", "alpha-bar.txt",
                             "held.txt", "special.dll", "special-extra.dll"})
        plant.dir.Write(name, std::string("pest ") + name);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Beta").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Beta", 0, REG_SZ, reinterpret_cast<const BYTE*>("b"), 2);
    RegCloseKey(key);
    ASSERT_NO_FATAL_FAILURE(
        PublishDefinitions(install.folder() / "core", Definitions(plant, *crc)));
    // The scripted remover deletes a file of its own for pest 4208.
    WriteText(install.folder() / "core" / "qzsrindex.dat",
              "4208=delete:" + plant.special_extra.string() + ";\r\n");
    ASSERT_NE(plant.processes.Start(plant.gamma.string()), nullptr);
    ASSERT_TRUE(gui::StartWhenReady(plant.locker,
                                    gui::Quote(gui::GuiProgramPath(L"file_locker.exe")) + L" " +
                                        gui::Quote(plant.held.wstring()) + L" --seconds 280"));
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

HTREEITEM Root(HWND tree, const std::wstring& text) {
    return gui::FindTreeItem(tree, {text});
}

// The message box the program asks with (caption "Kelvan Gorsewatch"),
// answered Yes; its text.
std::optional<std::wstring> AnswerYes(DWORD process_id) {
    const auto answered =
        gui::AnswerDialog({.title = L"Kelvan Gorsewatch", .process_id = process_id}, IDYES, 30000);
    if (!answered)
        return std::nullopt;
    return answered->text;
}

// Starts the program with "/scan" and waits for the scan to complete; the
// Scan dialog.
HWND ScanToTheEnd(Gorsewatch5Process& program, const TestInstall& install) {
    if (!program.Start(install, L"/scan") || program.WaitForMainWindow() == nullptr)
        return nullptr;
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    const auto message = program.AnswerMessage({}, 120000);
    if (dialog == nullptr || !message || message->rfind(L"Scan Completed. ", 0) != 0)
        return nullptr;
    return dialog;
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

TEST(CleanTest, QuarantineAllRemovesEveryListedPestIntoOneNewSession) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Plant plant;
    ASSERT_NO_FATAL_FAILURE(PlantAll(plant, install));
    // What the scripted remover logs is moved into the activity log as it is.
    Gorsewatch5Process program;
    const HWND dialog = ScanToTheEnd(program, install);
    ASSERT_NE(dialog, nullptr);
    const HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    const std::vector<std::wstring> found = TreeTextLines(tree);
    for (const wchar_t* name :
         {L"CleanTest.Trojan.Gamma", L"CleanTest.Spyware.Beta", L"2nd Thing", L"Alpha Bar",
          L"CleanTest.Held", L"CleanTest.Refused", L"CleanTest.Special"})
        ASSERT_NE(std::find(found.begin(), found.end(), name), found.end()) << name << "\n"
                                                                            << Joined(found);

    // Everything checked but "Alpha Bar".
    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, IDC_SCAN_SELECT_ALL)));
    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED); }, 5000));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, Root(tree, L"Alpha Bar")));
    EXPECT_EQ(gui::GetCheck(GetDlgItem(dialog, IDC_SCAN_SELECT_ALL)), BST_UNCHECKED);
    for (const gui::TreeItem& item : gui::ReadTree(tree))
        gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item.handle));
    ScreenshotWhenDrawn(dialog, "clean-before-quarantine-all");
    const auto archives_before = SessionArchives(install);
    // What the scripted remover left from before goes into the activity log
    // with what it writes now, byte for byte.
    ActivityLogEntry earlier;
    earlier.date_time = "3/15/2004-9:40:00 AM";
    earlier.time = 127238052000000000;
    earlier.action = "Deleted";
    earlier.pest_name = "CleanedEarlier";
    earlier.category = "Adware";
    earlier.pest_id = 3998;
    earlier.location = "File \"C:\\gone.exe\"";
    const std::string earlier_line = FormatActivityLogLine(earlier);
    WriteText(install.folder() / "qzcleanlog.csv", earlier_line);

    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_QUARANTINE_ALL));
    const auto not_all = AnswerYes(program.id());
    ASSERT_TRUE(not_all);
    EXPECT_EQ(not_all->rfind(L"WARNING! Not all pests found in the scan are checked.", 0), 0u)
        << *not_all;
    const auto may_exit = AnswerYes(program.id());
    ASSERT_TRUE(may_exit);
    EXPECT_EQ(may_exit->rfind(L"WARNING! The pest removal process may result in other programs", 0),
              0u)
        << *may_exit;
    // The held file and the Windows folder stay: one message for both.
    const auto failed = program.AnswerMessage("clean-not-all-quarantined", 120000);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->rfind(L"One or more pest items could not be quarantined.", 0), 0u) << *failed;
    // The scripted remover's work is finished by a restart: the program asks
    // for one.
    const auto restart = program.AnswerMessage("clean-restart-needed", 30000);
    ASSERT_TRUE(restart);
    EXPECT_EQ(*restart,
              L"You must restart your computer to complete the pest removal process. Please "
              L"restart your computer now.");
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_QUARANTINE_ALL));

    // Gone: the process, the files, the folder, the key; both same-named
    // pests; the unchecked one too.
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return !fs::exists(plant.gamma) && !fs::exists(plant.beta) &&
                   !fs::exists(plant.twin_a) && !fs::exists(plant.twin_b) &&
                   !fs::exists(plant.alpha_bar);
        },
        10000));
    EXPECT_FALSE(KeyExists(std::string(kPlantKey) + "\\Beta"));
    EXPECT_TRUE(fs::exists(plant.held));
    EXPECT_FALSE(fs::exists(plant.special_extra));
    const std::vector<std::wstring> left = TreeTextLines(tree);
    std::vector<std::wstring> roots;
    for (const auto& line : left) {
        if (line.rfind(L"  ", 0) != 0)
            roots.push_back(line);
    }
    std::sort(roots.begin(), roots.end());
    EXPECT_EQ(roots, (std::vector<std::wstring>{L"CleanTest.Held", L"CleanTest.Refused"}))
        << Joined(left);
    ScreenshotWhenDrawn(dialog, "clean-after-quarantine-all");

    // One new session holds what went.
    const auto archives_after = SessionArchives(install);
    EXPECT_EQ(archives_after.size(), archives_before.size() + 1);

    // The log: "Quarantined" per location removed, the process before the
    // file; nothing for what stayed; the scripted remover's lines as they
    // were written, its file gone.
    const auto entries = ActivityLogEntries();
    std::vector<std::string> quarantined;
    int process_at = -1;
    int gamma_file_at = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        if (entry.action != "Quarantined")
            continue;
        quarantined.push_back(std::to_string(entry.pest_id));
        if (entry.pest_id == 4201 && entry.location.find("ProcessId") != std::string::npos)
            process_at = static_cast<int>(i);
        else if (entry.pest_id == 4201)
            gamma_file_at = static_cast<int>(i);
        EXPECT_NE(entry.pest_id, 4206);
        EXPECT_NE(entry.pest_id, 4207);
    }
    EXPECT_GE(process_at, 0);
    EXPECT_GT(gamma_file_at, process_at);
    for (const char* id : {"4202", "4203", "4204", "4205"})
        EXPECT_NE(std::find(quarantined.begin(), quarantined.end(), id), quarantined.end()) << id;
    int remover_runs = 0;
    for (const auto& entry : entries) {
        if (entry.pest_name == "Scripted removal" && entry.location.rfind("/clean", 0) == 0)
            ++remover_runs;
    }
    EXPECT_EQ(remover_runs, 1);
    EXPECT_FALSE(fs::exists(install.folder() / "qzcleanlog.csv"));
    EXPECT_NE(ReadText(ActivityLogFile()).find(earlier_line), std::string::npos);

    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The demo's planted set (scripts/demo.sh): the bundled sample definitions
// and pests in "Program Files\OlvexTest" with a running agent, the Run value
// that names alpha.exe as the user typed it while the definitions name it in
// lower case, a key and a cookie. The scans report alpha.exe twice; Quarantine
// All removes every place once and logs it once.
TEST(CleanTest, TheBundledSamplesGetOneQuarantinedLinePerPlace) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    const fs::path pests = ShellFolder(CSIDL_PROGRAM_FILES) / "OlvexTest";
    ASSERT_FALSE(fs::exists(pests)) << "left behind by an earlier run";
    const fs::path cookie = ShellFolder(CSIDL_COOKIES) / "user@olvextest-tracker.example[1].txt";
    constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    struct Cleanup {
        fs::path pests, cookie;
        const char* run_key;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove_all(pests, ignored);
            fs::remove(cookie, ignored);
            SHDeleteValueA(HKEY_CURRENT_USER, run_key, "OlvexTestAlpha");
            SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\OlvexTest\\Alpha");
        }
    } cleanup{pests, cookie, kRunKey};
    const fs::path samples = fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest";
    fs::create_directories(pests / "Beta");
    fs::copy_file(samples / "alpha.exe", pests / "alpha.exe");
    fs::copy_file(samples / "beta.dll", pests / "beta.dll");
    WriteText(pests / "Beta" / "readme.txt", "beta's own folder\n");
    fs::copy_file(TestProgramPath("test_pest.exe"), pests / "alpha-agent.exe");
    ASSERT_EQ(
        SHSetValueA(HKEY_CURRENT_USER, "Software\\OlvexTest\\Alpha", "Installed", REG_SZ, "yes", 4),
        ERROR_SUCCESS);
    const std::string alpha = (pests / "alpha.exe").string();
    ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, kRunKey, "OlvexTestAlpha", REG_SZ, alpha.c_str(),
                          static_cast<DWORD>(alpha.size() + 1)),
              ERROR_SUCCESS);
    fs::create_directories(cookie.parent_path());
    WriteText(cookie, "id\n1\nolvextest-tracker.example/\n");
    const auto crc = MemorySignatureOfFile(pests / "alpha-agent.exe");
    ASSERT_TRUE(crc);
    char memory[32];
    std::snprintf(memory, sizeof(memory), "memory 1001 0x%08X\n", *crc);
    const fs::path samples_folder = samples.parent_path().parent_path();
    ASSERT_NO_FATAL_FAILURE(PublishDefinitions(install.folder() / "core",
                                               ReadText(samples_folder / "sample.defs") + memory,
                                               samples_folder.string()));
    PestProcesses processes;
    const HANDLE agent = processes.Start((pests / "alpha-agent.exe").string());
    ASSERT_NE(agent, nullptr);

    Gorsewatch5Process program;
    const HWND dialog = ScanToTheEnd(program, install);
    ASSERT_NE(dialog, nullptr);
    const HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    for (const gui::TreeItem& item : gui::ReadTree(tree))
        gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item.handle));
    ScreenshotWhenDrawn(dialog, "clean-samples-before");
    // alpha.exe in two spellings, both listed.
    std::map<std::string, int> detections_by_place;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Detected")
            ++detections_by_place[PlaceOf(entry.location)];
    }
    const std::string lower_pests = LowerAscii(pests.string());
    EXPECT_EQ(detections_by_place["file " + lower_pests + "\\alpha.exe"], 2)
        << Joined(TreeTextLines(tree));

    ASSERT_TRUE(gui::ClickButton(GetDlgItem(dialog, IDC_SCAN_SELECT_ALL)));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_QUARANTINE_ALL));
    const auto may_exit = AnswerYes(program.id());
    ASSERT_TRUE(may_exit);
    EXPECT_EQ(may_exit->rfind(L"WARNING! The pest removal process may result in other programs", 0),
              0u)
        << *may_exit;
    EXPECT_TRUE(gui::WaitUntil([&] { return TreeTextLines(tree).empty(); }, 60000))
        << Joined(TreeTextLines(tree));
    EXPECT_FALSE(program.HasMessageDialog());
    ScreenshotWhenDrawn(dialog, "clean-samples-after");

    std::map<std::string, int> removals_by_place;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Detected")
            continue;
        const std::string place = PlaceOf(entry.location);
        EXPECT_EQ(entry.action, place.starts_with("file " + LowerAscii(cookie.string()))
                                    ? "Deleted"
                                    : "Quarantined")
            << entry.location;
        // Read before the removal: every removed place has its own number.
        if (place.starts_with("file ") && entry.action == "Quarantined")
            EXPECT_NE(entry.pvt, -1) << entry.location;
        ++removals_by_place[place];
    }
    const std::map<std::string, int> one_each = {
        {"process " + std::to_string(GetProcessId(agent)), 1},
        {"file " + lower_pests + "\\alpha.exe", 1},
        {"file " + lower_pests + "\\beta.dll", 1},
        {"folder " + lower_pests + "\\beta", 1},
        {"file " + LowerAscii(cookie.string()), 1},
        {"key hkey_current_user \\software\\olvextest\\alpha value ", 1},
        {"key hkey_current_user \\" + LowerAscii(kRunKey) + " value olvextestalpha", 1},
    };
    EXPECT_EQ(removals_by_place, one_each) << ReadText(ActivityLogFile());
    EXPECT_NE(SHGetValueA(HKEY_CURRENT_USER, kRunKey, "OlvexTestAlpha", nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_FALSE(fs::exists(pests / "alpha.exe"));
    EXPECT_FALSE(fs::exists(pests / "beta.dll"));
    EXPECT_FALSE(fs::exists(pests / "Beta"));
    EXPECT_FALSE(fs::exists(cookie));
    EXPECT_EQ(WaitForSingleObject(agent, 10000), WAIT_OBJECT_0);

    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

TEST(CleanTest, ExcludeCheckedKeepsTheWholePestOutOfLaterScansAndNamesOpenTheirPages) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Plant plant;
    ASSERT_NO_FATAL_FAILURE(PlantAll(plant, install));
    const std::string table = "QZPESTINFO_URL=https://pests.example.org/info/\r\n";
    ASSERT_EQ(WriteScrambledFile(
                  (install.folder() / "URLs.ini").string(),
                  std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size())),
              ScrambledError::kNone);
    const std::wstring url_log = gui::Environment(L"OLVEX_URL_LOG");
    ASSERT_FALSE(url_log.empty());
    std::error_code ignored;
    fs::remove(fs::path(url_log), ignored);

    Gorsewatch5Process program;
    HWND dialog = ScanToTheEnd(program, install);
    ASSERT_NE(dialog, nullptr);
    HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);

    // A name opens the pest's page.
    std::vector<std::string> opened;
    for (const auto& [name, page] : {std::pair{L"2nd Thing", "other/2nd_thing.asp"},
                                     std::pair{L"Alpha Bar", "a/alpha_bar.asp"}}) {
        ASSERT_TRUE(gui::ClickTreeItemLabel(tree, Root(tree, name)));
        opened.push_back(std::string("https://pests.example.org/info/") + page);
        EXPECT_TRUE(gui::WaitUntil([&] { return gui::ReadLines(url_log) == opened; }, 10000))
            << ReadText(fs::path(url_log));
    }

    // A click on one location checks its whole pest; so does the space bar
    // on a root; Exclude Checked Pests follows.
    const HTREEITEM beta = Root(tree, L"CleanTest.Spyware.Beta");
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(beta));
    const HTREEITEM beta_folder = TreeView_GetChild(tree, beta);
    ASSERT_NE(beta_folder, nullptr);
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, beta_folder));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            for (const gui::TreeItem& item : gui::ReadTree(tree)) {
                if ((item.handle == beta || TreeView_GetParent(tree, item.handle) == beta) &&
                    item.check != 1)
                    return false;
            }
            return true;
        },
        5000));
    EXPECT_TRUE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    const HTREEITEM twins = Root(tree, L"2nd Thing");
    ASSERT_TRUE(gui::ToggleTreeItemBySpace(tree, twins));
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(twins));
    for (const gui::TreeItem& item : gui::ReadTree(tree)) {
        if (TreeView_GetParent(tree, item.handle) == twins)
            EXPECT_EQ(item.check, 1) << item.text;
    }
    // Unchecking the last checked pest disables the button again.
    const HTREEITEM alpha = Root(tree, L"Alpha Bar");
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, alpha));
    EXPECT_TRUE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, alpha));
    EXPECT_TRUE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    ScreenshotWhenDrawn(dialog, "exclude-checked-before");

    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            const auto lines = TreeTextLines(tree);
            return std::find(lines.begin(), lines.end(), L"CleanTest.Spyware.Beta") ==
                       lines.end() &&
                   std::find(lines.begin(), lines.end(), L"2nd Thing") == lines.end();
        },
        10000))
        << Joined(TreeTextLines(tree));
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    ScreenshotWhenDrawn(dialog, "exclude-checked-after");
    std::vector<std::int32_t> excluded;
    for (const auto& entry : ActivityLogEntries()) {
        if (entry.action == "Excluded")
            excluded.push_back(entry.pest_id);
    }
    std::sort(excluded.begin(), excluded.end());
    // Beta's folder and key; both twins' files.
    EXPECT_EQ(excluded, (std::vector<std::int32_t>{4202, 4202, 4203, 4204}));
    // Nothing was removed.
    EXPECT_TRUE(fs::exists(plant.beta));
    EXPECT_TRUE(fs::exists(plant.twin_a));

    // Another scan passes the excluded pests by, once the scanner looks at
    // the exclusions again (it looks at most every few seconds).
    Sleep(static_cast<DWORD>(kExclusionFreshnessSeconds * 1000 + 1000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_START));
    const auto again = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(again);
    const auto lines = TreeTextLines(tree);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), L"CleanTest.Spyware.Beta"), lines.end())
        << Joined(lines);
    EXPECT_EQ(std::find(lines.begin(), lines.end(), L"2nd Thing"), lines.end()) << Joined(lines);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Alpha Bar"), lines.end()) << Joined(lines);
    ScreenshotWhenDrawn(dialog, "exclude-checked-next-scan");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing

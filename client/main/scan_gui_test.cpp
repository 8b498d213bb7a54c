// Scans from the main program, under Wine with the real engine: the Scan
// dialog that "/scan" opens, its results, the activity log and the scan
// history it leaves, and the scan page that shows that history.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include <string>
#include <vector>

#include "client/common/activity_log.h"
#include "client/common/named_mutex.h"
#include "client/main/main_test_support.h"
#include "client/main/scan_dialog_ids.h"
#include "client/main/scan_page_ids.h"
#include "olvex/core/crc32.h"
#include "testing/image_first_page.h"
#include "testing/test_programs.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kScanTitle[] = L"Kelvan Gorsewatch -- Scan";
constexpr char kPlantKey[] = "Software\\OlvexScanDialogTest";

// Rewrites the time stamp in a program's file header, so that its memory
// signature is this copy's alone.
bool RestampImage(const std::string& path, DWORD stamp) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::uint32_t pe = 0;
    file.seekg(0x3C);
    file.read(reinterpret_cast<char*>(&pe), sizeof(pe));
    if (!file || pe == 0 || pe > 0x1000)
        return false;
    file.seekp(pe + 8);
    file.write(reinterpret_cast<const char*>(&stamp), sizeof(stamp));
    return static_cast<bool>(file);
}

// What the tests plant: a running copy of test_pest.exe (memory and file) of
// one pest, a folder and an HKCU key of a second, and files of two pest ids
// that share one name.
struct Plant {
    ScratchDir dir;
    PestProcesses processes;
    fs::path gamma;
    fs::path twin_a;
    fs::path twin_b;
    fs::path beta;
    ~Plant() { SHDeleteKeyA(HKEY_CURRENT_USER, kPlantKey); }
};

std::string Source(const Plant& plant, std::uint32_t memory_crc) {
    char crc[16];
    std::snprintf(crc, sizeof(crc), "0x%08X", memory_crc);
    return "block 2004-03-15 09:40:00\n"
           "pest 4001 \"ScanTest.Trojan.Gamma\" \"Trojan\"\n"
           "pest 4002 \"ScanTest.Spyware.Beta\" \"Spyware\"\n"
           "pest 4003 \"ScanTest.Adware.Twin\" \"Adware\"\n"
           "pest 4004 \"ScanTest.Adware.Twin\" \"Adware\"\n"
           "memory 4001 " + std::string(crc) + "\n"
           "file 4001 \"" + plant.gamma.string() + "\"\n"
           "folder 4002 \"" + plant.beta.string() + "\"\n"
           "key 4002 \"hkey_current_user \\" + kPlantKey + "\\Beta\"\n"
           "file 4003 \"" + plant.twin_a.string() + "\"\n"
           "file 4004 \"" + plant.twin_b.string() + "\"\n";
}

void Publish(const fs::path& core, const std::string& source) {
    const auto parsed = tools::ParseDefinitionSource(source, ".", "scan-test.defs");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const auto files = tools::BuildDefinitionFiles(parsed.set);
    ASSERT_TRUE(files.ok()) << files.error;
    for (const auto& [name, bytes] :
         {std::pair{"qzinfo.dat", &files.pests}, std::pair{"qzfile.dat", &files.signatures},
          std::pair{"qzloc.dat", &files.locations}}) {
        std::ofstream out(core / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
    }
}

void PlantAll(Plant& plant, const TestInstall& install) {
    const fs::path root = plant.dir.path();
    plant.gamma = root / "gamma.exe";
    plant.beta = root / "Beta";
    plant.twin_a = root / "twin-a.txt";
    plant.twin_b = root / "twin-b.txt";
    fs::copy_file(TestProgramPath("test_pest.exe"), plant.gamma);
    ASSERT_TRUE(RestampImage(plant.gamma.string(), GetTickCount() ^ GetCurrentProcessId()));
    const auto crc = MemorySignatureOfFile(plant.gamma);
    ASSERT_TRUE(crc);
    plant.dir.Write("Beta/beta.txt", std::string("beta"));
    plant.dir.Write("twin-a.txt", std::string("a"));
    plant.dir.Write("twin-b.txt", std::string("b"));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kPlantKey) + "\\Beta").c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_NO_FATAL_FAILURE(Publish(install.folder() / "core", Source(plant, *crc)));
    ASSERT_NE(plant.processes.Start(plant.gamma.string()), nullptr);
}

std::vector<ActivityLogEntry> LogEntries() {
    int legacy = 0;
    return ReadActivityLog((ProductDataFolder() / "QZv5Log.txt").string(), legacy)
        .contents.entries;
}

// The results tree as "root" and "  child" lines.
std::vector<std::wstring> TreeLines(HWND tree) {
    std::vector<std::wstring> lines;
    for (const gui::TreeItem& item : gui::ReadTree(tree))
        lines.push_back(std::wstring(static_cast<std::size_t>(item.depth) * 2, L' ') + item.text);
    return lines;
}

bool Shown(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}
bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

TEST(ScanDialogTest, ScanFromTheCommandLineListsWhatItFoundAndLeavesItsHistory) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Plant plant;
    ASSERT_NO_FATAL_FAILURE(PlantAll(plant, install));

    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install, L"/scan"));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);

    // While the worker runs, nothing closes the dialog.
    if (Shown(dialog, IDC_SCAN_STOP)) {
        EXPECT_FALSE(Enabled(dialog, IDCANCEL));
        EXPECT_FALSE(Shown(dialog, IDC_SCAN_START));
        gui::SendWindowMessage(dialog, WM_CLOSE, 0, 0);
        gui::SendWindowMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        gui::SendWindowMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(IsWindow(dialog));
    }

    const auto message = program.AnswerMessage("scan-completed", 120000);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->rfind(L"Scan Completed. ", 0), 0u) << *message;
    EXPECT_NE(message->find(L" items were scanned."), std::wstring::npos) << *message;

    EXPECT_TRUE(Shown(dialog, IDC_SCAN_START));
    EXPECT_FALSE(Shown(dialog, IDC_SCAN_STOP));
    EXPECT_TRUE(Enabled(dialog, IDCANCEL));
    EXPECT_TRUE(Enabled(dialog, IDC_SCAN_QUARANTINE_ALL));
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_EXCLUDE_CHECKED));
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_STATUS)), L"Ready");
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS_LABEL)), L"Pests Detected:");
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_ITEMS_LABEL)), L"Items Detected:");

    const HWND tree = GetDlgItem(dialog, IDC_SCAN_RESULTS);
    const std::vector<std::wstring> lines = TreeLines(tree);
    const auto has = [&](const std::wstring& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    std::wstring shown;
    for (const auto& line : lines)
        shown += line + L"\n";
    // One root per name; the twins share theirs.
    EXPECT_TRUE(has(L"ScanTest.Adware.Twin")) << shown;
    EXPECT_TRUE(has(L"ScanTest.Spyware.Beta")) << shown;
    EXPECT_TRUE(has(L"ScanTest.Trojan.Gamma")) << shown;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::wstring& l) { return !l.empty() && l[0] != L' '; }),
              3)
        << shown;
    EXPECT_TRUE(has(L"  File: " + plant.twin_a.wstring())) << shown;
    EXPECT_TRUE(has(L"  File: " + plant.twin_b.wstring())) << shown;
    EXPECT_TRUE(has(L"  Folder: " + plant.beta.wstring())) << shown;
    bool process = false;
    bool key = false;
    for (const auto& line : lines) {
        process = process || line.rfind(L"  Process: ", 0) == 0;
        key = key || (line.rfind(L"  Key: ", 0) == 0 &&
                      line.find(L"OlvexScanDialogTest") != std::wstring::npos);
    }
    EXPECT_TRUE(process) << shown;
    EXPECT_TRUE(key) << shown;
    const std::size_t children =
        std::count_if(lines.begin(), lines.end(),
                      [](const std::wstring& l) { return l.rfind(L"  ", 0) == 0; });

    // Four pest ids (the twins count two); every child an item.
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS)), L"4");
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_ITEMS)), std::to_wstring(children));

    // The log has its "Detected" lines once the completion message closed.
    std::size_t detected = 0;
    for (const auto& entry : LogEntries()) {
        if (entry.action != "Detected")
            continue;
        ++detected;
        EXPECT_GE(entry.pest_id, 4001);
        EXPECT_LE(entry.pest_id, 4004);
        EXPECT_FALSE(entry.pest_name.empty());
        EXPECT_FALSE(entry.category.empty());
    }
    EXPECT_EQ(detected, children);
    for (const gui::TreeItem& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND,
                                   reinterpret_cast<LPARAM>(item.handle));
    }
    ScreenshotWhenDrawn(dialog, "scan-dialog-results");

    // Close writes the history; the scan page shows it.
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    const std::string history = ReadText(ProductDataFolder() / "qzscanhistory.txt");
    const std::size_t first = history.find("\r\n");
    ASSERT_NE(first, std::string::npos) << history;
    const std::size_t second = history.find("\r\n", first + 2);
    ASSERT_NE(second, std::string::npos) << history;
    EXPECT_EQ(history.substr(first + 2, second - first - 2), "4");
    EXPECT_EQ(history.substr(second + 2), std::to_string(children));
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            return gui::GetText(program.PageControl(IDC_SCAN_PESTS_DETECTED)) ==
                       L"Pests Detected: 4" &&
                   gui::GetText(program.PageControl(IDC_SCAN_ITEMS_DETECTED)) ==
                       L"Items Detected: " + std::to_wstring(children);
        },
        6000));
    ScreenshotWhenDrawn(program.main_window(), "scan-page-history");
    EXPECT_TRUE(program.Close());
}

bool MutexExists(const char* name) {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

// The sample definitions' install, started with the arguments; the Scan
// dialog once it shows (null when none came).
HWND StartAndFindScanDialog(Gorsewatch5Process& program, const TestInstall& install,
                            const std::wstring& arguments) {
    if (!program.Start(install, arguments) || program.WaitForMainWindow() == nullptr)
        return nullptr;
    return FindShownWindow(kScanTitle, program.id(), 60000);
}

TEST(ScanDialogTest, StopRightAfterOpeningCancelsAndScanNowThenCompletes) {
    TestInstall install;
    Gorsewatch5Process program;
    const HWND dialog = StartAndFindScanDialog(program, install, L"/scan");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_STOP));
    const auto canceled = program.AnswerMessage("scan-canceled", 120000);
    ASSERT_TRUE(canceled);
    EXPECT_EQ(canceled->rfind(L"Scan canceled after scanning ", 0), 0u) << *canceled;

    ASSERT_TRUE(gui::WaitUntil([&] { return Enabled(dialog, IDC_SCAN_START); }, 10000));
    ASSERT_TRUE(PressDialogButton(dialog, IDC_SCAN_START));
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    // The sample pests are not planted: nothing listed, nothing to act on.
    EXPECT_EQ(gui::GetText(GetDlgItem(dialog, IDC_SCAN_PESTS)), L"0");
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_QUARANTINE_ALL));
    EXPECT_FALSE(Enabled(dialog, IDC_SCAN_RESULTS));
    ScreenshotWhenDrawn(dialog, "scan-dialog-nothing-found");
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    // Closing writes the history even for a scan that found nothing.
    const std::string history = ReadText(ProductDataFolder() / "qzscanhistory.txt");
    EXPECT_EQ(history.substr(history.find("\r\n")), "\r\n0\r\n0");
    EXPECT_TRUE(program.Close());
}

TEST(ScanDialogTest, WithoutDefinitionsTheScanEndsInAnErrorNotACompletion) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install, L"/scan"));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    // The start-up reports the engine's failures first; then the scan.
    std::vector<std::wstring> messages;
    HWND dialog = nullptr;
    for (int i = 0; i < 8; ++i) {
        const auto message = program.AnswerMessage({}, 30000);
        if (!message)
            break;
        messages.push_back(*message);
        dialog = FindShownWindow(kScanTitle, program.id(), 0);
        if (dialog != nullptr && Shown(dialog, IDC_SCAN_START))
            break;
    }
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(messages.empty());
    for (const auto& message : messages)
        EXPECT_EQ(message.find(L"Scan Completed"), std::wstring::npos) << message;
    EXPECT_EQ(messages.back().rfind(L"Error! Scanner init failed (Error ", 0), 0u)
        << messages.back();
    EXPECT_TRUE(program.Close());
}

TEST(ScanDialogTest, OtherPestActivityRefusesTheScan) {
    TestInstall install;
    const HANDLE other = CreateMutexA(nullptr, FALSE, "GorsewatchV5PestActivity");
    ASSERT_NE(other, nullptr);
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install, L"/scan"));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    const auto message = program.AnswerMessage("scan-refused", 60000);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->rfind(L"The scan has been canceled because there is other pest cleaning "
                             L"activity occurring.",
                             0),
              0u)
        << *message;
    EXPECT_EQ(FindShownWindow(kScanTitle, program.id(), 500), nullptr);

    // Message 1027 asks the same.
    const gui::SendResult sent = gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    EXPECT_TRUE(sent.completed);
    EXPECT_LT(sent.elapsed_ms, 1000u);
    const auto again = program.AnswerMessage({}, 60000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->rfind(L"The scan has been canceled", 0), 0u) << *again;
    EXPECT_EQ(FindShownWindow(kScanTitle, program.id(), 500), nullptr);
    CloseHandle(other);
    EXPECT_TRUE(program.Close());
}

std::size_t ScanDialogCount(DWORD process_id) {
    std::size_t count = 0;
    for (const HWND dialog : DialogsOf(process_id)) {
        if (IsWindowVisible(dialog) && gui::GetText(dialog) == kScanTitle)
            ++count;
    }
    return count;
}

TEST(ScanDialogTest, Message1027RunsAStandardScanOnceAndAnswersAtOnce) {
    TestInstall install;
    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    // Custom Scan chosen on the scan page: 1027 still scans the standard way.
    gui::SendWindowMessage(program.main_window(), 1028, 2, 0);
    const HWND custom = program.PageControl(IDC_SCAN_CUSTOM);
    ASSERT_NE(custom, nullptr);
    gui::SendWindowMessage(custom, BM_CLICK, 0, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return IsWindowVisible(program.PageControl(IDC_SCAN_DRIVE_TREE)); }, 5000));
    ScreenshotWhenDrawn(program.main_window(), "scan-page-custom");

    const gui::SendResult sent = gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    EXPECT_TRUE(sent.completed);
    EXPECT_LT(sent.elapsed_ms, 1000u);
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(MutexExists("GorsewatchV5PestActivity"));
    EXPECT_TRUE(MutexExists("Gorsewatch5ScannerWindow"));
    // A second request while it is open opens no second dialog.
    gui::SendWindowMessage(program.main_window(), 1027, -1, 515);
    Sleep(1000);
    EXPECT_EQ(ScanDialogCount(program.id()), 1u);
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    EXPECT_EQ(ScanDialogCount(program.id()), 1u);
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(gui::WaitUntil([] { return !MutexExists("GorsewatchV5PestActivity"); }, 5000));
    EXPECT_FALSE(MutexExists("Gorsewatch5ScannerWindow"));
    EXPECT_TRUE(program.Close());
}

TEST(ScanDialogTest, ClosingTheWindowDuringAScanEndsTheProgramAndFreesTheMutexes) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    Plant plant;
    ASSERT_NO_FATAL_FAILURE(PlantAll(plant, install));
    Gorsewatch5Process program;
    const HWND dialog = StartAndFindScanDialog(program, install, L"/scan");
    ASSERT_NE(dialog, nullptr);
    const DWORD posted = GetTickCount();
    ASSERT_TRUE(gui::PostWindowMessage(program.main_window(), WM_CLOSE, 0, 0));
    const auto exit_code = program.WaitForExit(10000);
    ASSERT_TRUE(exit_code) << "still running";
    EXPECT_LT(GetTickCount() - posted, 10000u);
    EXPECT_EQ(*exit_code, 0u);
    EXPECT_FALSE(MutexExists("GorsewatchV5PestActivity"));
    EXPECT_FALSE(MutexExists("Gorsewatch5ScannerWindow"));
    // Whatever was found before the stop is in the log.
    for (const auto& entry : LogEntries()) {
        if (entry.action == "Detected") {
            EXPECT_GE(entry.pest_id, 4001);
            EXPECT_LE(entry.pest_id, 4004);
        }
    }
}

// Expands the item the way a click on its button does: the program reads
// the folder as it opens.
void ExpandItem(HWND tree, HTREEITEM item) {
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
}

// Opens the tree along the path's folders, from the drive; the last item.
HTREEITEM OpenTreePath(HWND tree, const fs::path& folder) {
    std::vector<std::wstring> texts;
    for (const auto& part : folder) {
        std::wstring text = part.wstring();
        if (text == L"\\")
            continue;
        if (texts.empty())
            text += L"\\";
        texts.push_back(text);
    }
    std::vector<std::wstring> path;
    HTREEITEM item = nullptr;
    for (const auto& text : texts) {
        path.push_back(text);
        // Folder names are shown as the system spells them; compare
        // without regard to case.
        item = nullptr;
        for (const gui::TreeItem& candidate : gui::ReadTree(tree)) {
            if (candidate.depth + 1 == static_cast<int>(path.size()) &&
                _wcsicmp(candidate.text.c_str(), text.c_str()) == 0) {
                std::vector<std::wstring> exact = path;
                exact.back() = candidate.text;
                item = gui::FindTreeItem(tree, exact);
                path.back() = candidate.text;
                break;
            }
        }
        if (item == nullptr)
            return nullptr;
        ExpandItem(tree, item);
    }
    return item;
}

TEST(ScanPageTest, DriveTreeChecksAndACustomScanOfACheckedFolder) {
    InstallOptions options;
    options.definitions = Definitions::kNone;
    TestInstall install(options);
    ScratchDir plant;
    // A pest known only by its file's signature, planted only in "custom".
    fs::create_directories(plant.path() / "custom" / "inner");
    fs::create_directories(plant.path() / "other");
    fs::copy_file(fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR))) / "OlvexTest" / "alpha.exe",
                  plant.path() / "custom" / "hidden.exe");
    ASSERT_NO_FATAL_FAILURE(Publish(install.folder() / "core",
                                    "block 2004-03-15 09:40:00\n"
                                    "pest 4101 \"ScanTest.Custom.Only\" \"Adware\"\n"
                                    "signature 4101 file \"" +
                                        Narrow(WindowsPath(OLVEX_SAMPLE_PESTS_DIR)) +
                                        "\\OlvexTest\\alpha.exe\"\n"));

    Gorsewatch5Process program;
    ASSERT_TRUE(program.Start(install));
    ASSERT_NE(program.WaitForMainWindow(), nullptr);
    ASSERT_TRUE(program.WaitUntilIdle());
    gui::SendWindowMessage(program.main_window(), 1028, 2, 0);
    ScreenshotWhenDrawn(program.main_window(), "scan-page-standard");
    const HWND grey = program.PageControl(IDC_SCAN_DRIVE_TREE_GREY);
    const HWND tree = program.PageControl(IDC_SCAN_DRIVE_TREE);
    ASSERT_NE(tree, nullptr);
    // Both trees list the same drives, C: among them.
    std::vector<std::wstring> drives;
    for (const auto& item : gui::ReadTree(tree)) {
        if (item.depth == 0)
            drives.push_back(item.text);
    }
    std::vector<std::wstring> grey_drives;
    for (const auto& item : gui::ReadTree(grey)) {
        if (item.depth == 0)
            grey_drives.push_back(item.text);
    }
    EXPECT_EQ(drives, grey_drives);
    EXPECT_NE(std::find(drives.begin(), drives.end(), L"C:\\"), drives.end());

    gui::SendWindowMessage(program.PageControl(IDC_SCAN_CUSTOM), BM_CLICK, 0, 0);
    ASSERT_TRUE(gui::WaitUntil([&] { return IsWindowVisible(tree) != FALSE; }, 5000));

    const HTREEITEM custom = OpenTreePath(tree, plant.path() / "custom");
    ASSERT_NE(custom, nullptr);
    const HTREEITEM root = OpenTreePath(tree, plant.path());
    ASSERT_NE(root, nullptr);
    // A folder made after the tree was read appears when its parent opens
    // again; one deleted goes.
    fs::create_directories(plant.path() / "later");
    fs::remove_all(plant.path() / "other");
    gui::SendWindowMessage(tree, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(root));
    ASSERT_TRUE(gui::ToggleTreeItemByClick(tree, root));
    // Opening it again from the keyboard reads the folder again.
    gui::SendWindowMessage(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    gui::PostWindowMessage(tree, WM_KEYDOWN, VK_ADD, 0);
    const auto child_checks = [&] {
        std::vector<std::pair<std::wstring, int>> children;
        for (const auto& item : gui::ReadTree(tree)) {
            if (TreeView_GetParent(tree, item.handle) == root)
                children.emplace_back(item.text, item.check);
        }
        return children;
    };
    EXPECT_TRUE(gui::WaitUntil(
        [&] {
            const auto children = child_checks();
            return children == std::vector<std::pair<std::wstring, int>>{
                                   {L"custom", 1}, {L"later", 1}};
        },
        5000));
    ScreenshotWhenDrawn(program.main_window(), "scan-page-custom-tree");

    // Under the checked folder "custom" cannot be cleared, by click or space.
    const HTREEITEM custom_again = OpenTreePath(tree, plant.path() / "custom");
    ASSERT_NE(custom_again, nullptr);
    EXPECT_EQ(gui::TreeItemCheck(tree, custom_again), 1);
    EXPECT_FALSE(gui::ToggleTreeItemByClick(tree, custom_again, 1500));
    EXPECT_FALSE(gui::ToggleTreeItemBySpace(tree, custom_again, 1500));
    EXPECT_EQ(gui::TreeItemCheck(tree, custom_again), 1);

    // Custom Scan of the checked folder finds what only it holds.
    ASSERT_TRUE(PressDialogButton(program.ShownPage(), IDC_SCAN_NOW));
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 60000);
    ASSERT_NE(dialog, nullptr);
    const auto completed = program.AnswerMessage({}, 120000);
    ASSERT_TRUE(completed);
    EXPECT_EQ(completed->rfind(L"Scan Completed. ", 0), 0u) << *completed;
    const auto lines = TreeLines(GetDlgItem(dialog, IDC_SCAN_RESULTS));
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"ScanTest.Custom.Only"), lines.end());
    ASSERT_TRUE(PressDialogButton(dialog, IDCANCEL));
    ASSERT_TRUE(gui::WaitForWindowGone(dialog, 10000));
    EXPECT_TRUE(program.Close());
}

}  // namespace
}  // namespace olvex::testing

// Scans from Gorsewatch5.exe against the engine's own scan of the same
// places. For each definition set run.sh made (one that knows the tree's
// pests, one that knows none of them) the program is started once and a
// folder of the synthetic tree checked on its scan page; then, rounds
// alternating, each kind of scan is timed both ways:
//
//   custom      the scan page's Scan Now with Custom Scan chosen: from the
//               click until the "Scan Completed" message shows;
//   standard    the same with Standard Scan chosen;
//   engine      the installed engine loaded into this process, with a
//               counting callback, running the same steps the Scan dialog
//               asks of it (memory, registry, cookies, common locations,
//               then the folder for a custom scan), timed around them.
//
// Every line is "<set> <scan> <ours|engine> <seconds>"; medians and mins come
// last. run.sh runs it on a display and in a Wine prefix of its own; it is
// no test and asserts no time.
//
//   OLVEX_BENCH_WORK     the Unix folder with tree/, defs-found/, defs-none/
//   OLVEX_BENCH_ROUNDS   rounds per set (default 5)
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/scanner_bench_support.h"
#include "client/main/main_test_support.h"
#include "client/main/scan_dialog_ids.h"
#include "client/main/scan_page_ids.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex::testing {
namespace {

constexpr wchar_t kScanTitle[] = L"Kelvan Gorsewatch -- Scan";

int FromEnvironment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

com::UniqueBstr Text(const std::wstring& text) {
    return com::UniqueBstr(SysAllocString(text.c_str()));
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The installed engine's Scanner, made from the install's own olvex.dll
// (the file the program loads), initialised as the program does it.
class EngineScanner {
  public:
    EngineScanner(const fs::path& install, const fs::path& data) {
        module_ = LoadLibraryW((install / "olvex.dll").c_str());
        if (module_ == nullptr)
            return;
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto get = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        com::ComPtr<IClassFactory> factory;
        if (get == nullptr || FAILED(get(CLSID_Scanner, IID_IClassFactory, factory.PutVoid())) ||
            FAILED(factory->CreateInstance(nullptr, IID_IScanner, scanner_.PutVoid())))
            return;
        scanner_->put_Callback(&sink_);
        const auto folder = Text(data.wstring());
        VARIANT_BOOL ok = VARIANT_FALSE;
        scanner_->InitializeEx(folder.Get(), folder.Get(), folder.Get(), &ok);
        const com::UniqueBstr filters(SysAllocString(L"*.*"));
        scanner_->put_bsScanFilters(filters.Get());
        ready_ = ok == VARIANT_TRUE;
    }
    ~EngineScanner() {
        if (scanner_)
            scanner_->put_Callback(nullptr);
        scanner_.Reset();
        // The install folder goes with the set: the file must be let go.
        if (module_ != nullptr)
            FreeLibrary(module_);
    }

    bool ready() const { return ready_; }

    // The Scan dialog's steps; the seconds they took and the pests found.
    double Scan(const std::wstring& folder, long* pests) {
        sink_.pests = 0;
        VARIANT_BOOL ok = VARIANT_FALSE;
        const auto start = std::chrono::steady_clock::now();
        scanner_->ScanMemory(&ok);
        scanner_->ScanRegistry(&ok);
        scanner_->ScanCookies(&ok);
        scanner_->ScanCommonLocations(&ok);
        if (!folder.empty()) {
            const auto text = Text(folder);
            scanner_->ScanFolder(text.Get(), VARIANT_TRUE, &ok);
        }
        const double seconds = SecondsSince(start);
        *pests = sink_.pests;
        return seconds;
    }

  private:
    HMODULE module_ = nullptr;
    com::ComPtr<IScanner> scanner_;
    bench::CountingSink sink_;
    bool ready_ = false;
};

// The program's shown Message dialog, or null: dialogs with its title only,
// so that a look costs the server few questions.
HWND MessageBoxOf(DWORD process_id) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", kMessageTitle)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_id && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// The scan page's Scan Now with Custom or Standard Scan chosen, timed from
// the click until the Message dialog shows its text; the dialog answered
// and the Scan dialog closed again. The message's text comes back.
double WindowScan(Gorsewatch5Process& program, bool custom, std::wstring* message,
                  const std::string& screenshot) {
    const HWND page = program.ShownPage();
    gui::SendWindowMessage(program.PageControl(custom ? IDC_SCAN_CUSTOM : IDC_SCAN_STANDARD),
                           BM_CLICK, 0, 0);
    gui::SendWindowMessage(page, WM_NULL, 0, 0);
    HWND box = nullptr;
    const auto start = std::chrono::steady_clock::now();
    if (!PressDialogButton(page, IDC_SCAN_NOW))
        return -1;
    // Looked for often enough to miss the end by at most 1% or 2 ms, and no
    // more often: every look asks the Wine server about windows, and a
    // server kept busy by looks slows the scan's own file calls.
    double seconds = 0;
    for (;;) {
        box = MessageBoxOf(program.id());
        seconds = SecondsSince(start);
        if (box != nullptr || seconds > 1200)
            break;
        Sleep(static_cast<DWORD>(std::clamp(seconds * 10.0, 2.0, 50.0)));
    }
    if (box == nullptr)
        return -1;
    const HWND text = gui::FindChild(box, kMessageTextId);
    gui::WaitUntil([&] { return !gui::GetText(text).empty(); }, 5000);
    *message = gui::GetText(text);
    const HWND dialog = FindShownWindow(kScanTitle, program.id(), 10000);
    PressDialogButton(box, IDOK);
    gui::WaitForWindowGone(box, 10000);
    if (dialog == nullptr)
        return -1;
    if (!screenshot.empty())
        ScreenshotWhenDrawn(dialog, screenshot);
    gui::WaitUntil([&] { return PressDialogButton(dialog, IDCANCEL); }, 10000);
    gui::WaitForWindowGone(dialog, 10000);
    gui::SendWindowMessage(program.main_window(), WM_NULL, 0, 0);
    return seconds;
}

// Opens the scan page's drive tree along the folder's path and checks it.
bool CheckCustomFolder(Gorsewatch5Process& program, const fs::path& folder) {
    gui::SendWindowMessage(program.main_window(), 1028, 2, 0);
    const HWND tree = program.PageControl(IDC_SCAN_DRIVE_TREE);
    if (tree == nullptr)
        return false;
    gui::SendWindowMessage(program.PageControl(IDC_SCAN_CUSTOM), BM_CLICK, 0, 0);
    if (!gui::WaitUntil([&] { return IsWindowVisible(tree) != FALSE; }, 5000))
        return false;
    std::vector<std::wstring> path;
    HTREEITEM item = nullptr;
    for (const auto& part : folder) {
        std::wstring text = part.wstring();
        if (text == L"\\")
            continue;
        if (path.empty())
            text += L"\\";
        item = nullptr;
        for (const gui::TreeItem& candidate : gui::ReadTree(tree)) {
            if (candidate.depth == static_cast<int>(path.size()) &&
                _wcsicmp(candidate.text.c_str(), text.c_str()) == 0) {
                std::vector<std::wstring> exact = path;
                exact.push_back(candidate.text);
                item = gui::FindTreeItem(tree, exact);
                if (item != nullptr) {
                    path = exact;
                    break;
                }
            }
        }
        if (item == nullptr)
            return false;
        gui::SendWindowMessage(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    }
    return gui::ToggleTreeItemByClick(tree, item) && gui::TreeItemCheck(tree, item) == 1;
}

struct Figures {
    std::vector<double> ours;
    std::vector<double> engine;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Min(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

TEST(ScanDialogBench, CustomAndStandardScansAgainstTheEngine) {
    const char* work_text = std::getenv("OLVEX_BENCH_WORK");
    ASSERT_NE(work_text, nullptr) << "OLVEX_BENCH_WORK names run.sh's folder";
    const fs::path work = WindowsPath(work_text);
    const fs::path tree = work / "tree";
    const int rounds = FromEnvironment("OLVEX_BENCH_ROUNDS", 5);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::map<std::string, Figures> figures;
    for (const char* set : {"found", "none"}) {
        TestInstall install({.definitions = Definitions::kNone});
        const fs::path core = install.folder() / "core";
        for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
            fs::copy_file(work / (std::string("defs-") + set) / name, core / name,
                          fs::copy_options::overwrite_existing);
        // No sounds: the error sound would play once per pest.
        WriteText(SettingsFile(),
                  "errorsound=0\r\ndonesound=0\r\nprevresearch=0\r\ntruncate=0\r\n");
        Gorsewatch5Process program;
        ASSERT_TRUE(program.Start(install));
        ASSERT_NE(program.WaitForMainWindow(), nullptr);
        ASSERT_TRUE(program.WaitUntilIdle());
        ASSERT_TRUE(CheckCustomFolder(program, tree));
        EngineScanner engine(install.folder(), core);
        ASSERT_TRUE(engine.ready());

        // One pass of each first: the page cache and both scanners warm.
        std::wstring message;
        long pests = 0;
        engine.Scan(tree.wstring(), &pests);
        ASSERT_GE(WindowScan(program, true, &message, std::string("scan-dialog-") + set), 0);
        std::printf("%s: the window's custom scan says \"%ls\"; the engine found %ld pests\n", set,
                    message.c_str(), pests);
        for (int round = 1; round <= rounds; ++round) {
            for (const bool custom : {true, false}) {
                const std::string scan = std::string(set) + " " + (custom ? "custom" : "standard");
                const double reference =
                    engine.Scan(custom ? tree.wstring() : std::wstring(), &pests);
                const double ours = WindowScan(program, custom, &message, {});
                ASSERT_GE(ours, 0) << scan;
                EXPECT_EQ(message.rfind(L"Scan Completed. ", 0), 0u) << message;
                figures[scan].engine.push_back(reference);
                figures[scan].ours.push_back(ours);
                std::printf("round %d %s: window %.3f s, engine %.3f s (%ld pests)\n", round,
                            scan.c_str(), ours, reference, pests);
                std::fflush(stdout);
            }
        }
        EXPECT_TRUE(program.Close(30000));
    }
    std::printf("\n%-16s %22s %22s %8s %10s\n", "scan", "window min (median)",
                "engine min (median)", "ratio", "added");
    for (const auto& [scan, f] : figures) {
        const double ours = Median(f.ours);
        const double reference = Median(f.engine);
        std::printf("%-16s %10.3f (%7.3f) s %10.3f (%7.3f) s %8.2f %+8.3f s\n", scan.c_str(),
                    Min(f.ours), ours, Min(f.engine), reference, ours / reference,
                    ours - reference);
    }
    CoUninitialize();
}

}  // namespace
}  // namespace olvex::testing

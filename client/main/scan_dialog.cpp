#include "client/main/scan_dialog.h"

#include <commctrl.h>

#include <span>
#include <string>

#include "client/common/client_environment.h"
#include "client/common/detection_list.h"
#include "client/common/named_mutex.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/prepare_log_dialog.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/fault_frame.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/message_dialog.h"
#include "client/main/message_rules.h"
#include "client/main/page_rules.h"
#include "client/main/page_look_ids.h"
#include "client/main/scan_dialog_ids.h"
#include "client/main/scan_page_ids.h"
#include "olvex/com/bstr.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

constexpr UINT_PTR kWorkerTimer = 1;
constexpr UINT kWorkerTimerMs = 500;
// Posted by the worker as it ends, so the scan ends without waiting for the
// timer, which is left to show progress.
constexpr UINT kWorkerEndedMessage = WM_APP + 10;
// How long the window waits for a worker that said it ends to return.
constexpr DWORD kWorkerEndWaitMs = 2000;
constexpr int kHistoryAttempts = 5;

// The controls the band removal moves up.
constexpr int kArrangedControls[] = {IDCANCEL,
                                     IDC_SCAN_RESULTS_FRAME,
                                     IDC_SCAN_SELECT_ALL,
                                     IDC_SCAN_RESULTS,
                                     IDC_SCAN_PESTS_LABEL,
                                     IDC_SCAN_ITEMS_LABEL,
                                     IDC_SCAN_STATUS_LABEL,
                                     IDC_SCAN_PESTS,
                                     IDC_SCAN_ITEMS,
                                     IDC_SCAN_STATUS,
                                     IDC_SCAN_ACTIONS_FRAME,
                                     IDC_SCAN_START,
                                     IDC_SCAN_STOP,
                                     IDC_SCAN_QUARANTINE_ALL,
                                     IDC_SCAN_EXCLUDE_CHECKED};

std::wstring ResourceText(UINT id) {
    return ui::LoadText(id);
}

// The resource text with its "%d" replaced by the number.
std::wstring WithCount(UINT id, unsigned long count) {
    std::wstring text = ResourceText(id);
    const std::size_t at = text.find(L"%d");
    if (at != std::wstring::npos)
        text.replace(at, 2, std::to_wstring(count));
    return text;
}

// The engine's scans for the scan sequence; a failure is told on the
// worker's thread while the sequence waits.
class EngineScanSteps : public ScanSteps {
  public:
    EngineScanSteps(CGorsewatch5App& app, IScanner& scanner) : app_(app), scanner_(scanner) {}

    bool ScanMemory() override { return Ask(&IScanner::ScanMemory); }
    bool ScanRegistry() override { return Ask(&IScanner::ScanRegistry); }
    bool ScanCookies() override { return Ask(&IScanner::ScanCookies); }
    bool ScanCommonLocations() override { return Ask(&IScanner::ScanCommonLocations); }
    bool ScanFolder(const std::string& path) override {
        const com::UniqueBstr folder = MakeBstr(path);
        VARIANT_BOOL success = VARIANT_FALSE;
        return SUCCEEDED(scanner_.ScanFolder(folder.Get(), VARIANT_TRUE, &success)) &&
               success != VARIANT_FALSE;
    }
    void ReportFailure(unsigned string_id) override { app_.ShowMessage(string_id, kSoundWarning); }

  private:
    bool Ask(HRESULT (STDMETHODCALLTYPE IScanner::*scan)(VARIANT_BOOL*)) {
        VARIANT_BOOL success = VARIANT_FALSE;
        return SUCCEEDED((scanner_.*scan)(&success)) && success != VARIANT_FALSE;
    }

    CGorsewatch5App& app_;
    IScanner& scanner_;
};

// The field labels are right-aligned texts. A system static draws such a
// text flush with its right edge and clips it there; under Wine the ink of a
// closing colon lies on the last pixel of its advance, and for some texts
// ("Pests Detected:", "Items Detected:") the pen's rounding puts it one pixel
// out, where the clip cuts it, so the colon vanished. Drawn here, aligned a
// little inside the edge and unclipped within the label, every glyph shows.
constexpr int kLabelMarginPixels = 2;

LRESULT DrawFieldLabel(const DRAWITEMSTRUCT& item, HBRUSH background) {
    if (item.CtlType != ODT_STATIC)
        return FALSE;
    wchar_t text[64] = {};
    GetWindowTextW(item.hwndItem, text, 64);
    RECT area = item.rcItem;
    if (background != nullptr)
        FillRect(item.hDC, &area, background);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    const HGDIOBJ old_font = font != nullptr ? SelectObject(item.hDC, font) : nullptr;
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC,
                 GetSysColor(IsWindowEnabled(item.hwndItem) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    area.right -= kLabelMarginPixels;
    DrawTextW(item.hDC, text, -1, &area, DT_RIGHT | DT_WORDBREAK | DT_NOPREFIX | DT_NOCLIP);
    if (old_font != nullptr)
        SelectObject(item.hDC, old_font);
    return TRUE;
}

// The scan sequence of one worker run; what it leaves lives outside its
// stack, so that a fault that abandons the stack loses none of it.
struct ScanRun {
    CGorsewatch5App* app = nullptr;
    CScanDlg* dialog = nullptr;
    DWORD exit_code = 0;
    bool failed = false;
};

void RunScan(void* param) {
    auto& run = *static_cast<ScanRun*>(param);
    try {
        IScanner* scanner = run.app->scanner();
        VARIANT_BOOL initialized = VARIANT_FALSE;
        if (scanner == nullptr || FAILED(scanner->IsInitialized(&initialized)) ||
            initialized == VARIANT_FALSE) {
            run.exit_code = 1;
            return;
        }
        const com::UniqueBstr filters(SysAllocString(L"*.*"));
        scanner->put_bsScanFilters(filters.Get());
        EngineScanSteps steps(*run.app, *scanner);
        RunScanSequence(steps, run.dialog->m_options, run.app->custom_folders());
    } catch (...) {
        run.failed = true;
    }
}

}  // namespace

std::wstring CGorsewatch5App::ScannerErrorText() {
    if (!scanner_)
        return Text(IDS_ENGINE_NOT_INSTALLED);
    long number = 0;
    com::UniqueBstr text;
    scanner_->get_nLastError(&number);
    scanner_->get_bsLastError(text.Put());
    return FillInMessage(Text(IDS_SCANNER_INIT_FAILED), number,
                         text.Get() != nullptr ? std::wstring(text.Get()) : std::wstring());
}

std::wstring CountText(unsigned long count) {
    const std::string digits = std::to_string(count);
    char buffer[128] = {};
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    const bool old_system =
        app != nullptr &&
        (app->m_dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ||
         (app->m_dwPlatformId == VER_PLATFORM_WIN32_NT && app->major_version() == 4));
    if (old_system) {
        if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), nullptr, buffer, 127) > 0) {
            std::string text = buffer;
            char decimal[8] = {};
            if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8) > 0 &&
                decimal[0] != '\0') {
                const std::size_t at = text.rfind(decimal[0]);
                if (at != std::string::npos)
                    text.resize(at);
            }
            return ui::FromAnsi(text);
        }
        return ui::FromAnsi(digits);
    }
    SystemNumberFormat system;
    NUMBERFMTA format = system.Format();
    format.NumDigits = 0;
    if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, buffer, 127) > 0)
        return ui::FromAnsi(buffer);
    return ui::FromAnsi(GroupDigits(count, format.Grouping,
                                    format.lpThousandSep != nullptr ? format.lpThousandSep : ""));
}

CScanDlg::CScanDlg()
    : ManagementDialog(IDD_SCAN), field_colour_(ColorFromResource(IDS_DRIVE_TREE_COLOUR)) {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->set_open_scan_dialog(this);
    field_brush_ = win::UniqueBrush(CreateSolidBrush(field_colour_));
    CoInitialize(nullptr);
    OnClicked(IDC_SCAN_START, [this] {
        if (!scanning())
            OnStartScan();
    });
    OnClicked(IDC_SCAN_STOP, [this] { OnStopScan(); });
    for (const int field : {IDC_SCAN_PESTS, IDC_SCAN_STATUS}) {
        OnCommand(field, EN_SETFOCUS, [this] { SetFocus(Item(IDCANCEL)); });
    }
    ListenForResultActions();
    OnMessage(kWorkerEndedMessage, [this](WPARAM, LPARAM) -> LRESULT {
        // A short scan can end before the dialog manager first shows the
        // dialog (it does so once its queue is empty): show it as it would,
        // so that the end is never told over a hidden dialog.
        if (!IsWindowVisible(handle()))
            ShowWindow(handle(), SW_SHOWNORMAL);
        FinishIfWorkerEnded(kWorkerEndWaitMs);
        return 0;
    });
    OnMessage(WM_DRAWITEM, [this](WPARAM, LPARAM lparam) -> LRESULT {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        return DrawFieldLabel(item, OnControlColor(item.hDC, item.hwndItem, WM_CTLCOLORSTATIC));
    });
}

CScanDlg::~CScanDlg() {
    CloseMutexes();
    if (CGorsewatch5App* app = CGorsewatch5App::Current()) {
        if (app->open_scan_dialog() == this)
            app->set_open_scan_dialog(nullptr);
    }
}

void CScanDlg::TakeMutexes(HANDLE pest_activity, HANDLE scanner_window) {
    CloseMutexes();
    pest_activity_.store(pest_activity);
    scanner_window_.store(scanner_window);
}

void CScanDlg::CloseMutexes() {
    // The worker may give them up early; whoever comes first closes each.
    for (std::atomic<HANDLE>* mutex : {&pest_activity_, &scanner_window_}) {
        if (const HANDLE handle = mutex->exchange(nullptr))
            CloseHandle(handle);
    }
}

bool CScanDlg::ReclaimMutexes() {
    NamedMutex activity = ClaimNamedMutex(kPestActivityMutexName);
    if (activity.claim != MutexClaim::kClaimed)
        return false;
    NamedMutex scanner_window = ClaimNamedMutex(kScannerWindowMutexName);
    if (scanner_window.claim != MutexClaim::kClaimed)
        return false;
    TakeMutexes(activity.handle.release(), scanner_window.handle.release());
    gave_up_mutexes_ = false;
    return true;
}

bool CScanDlg::holds_mutexes() const {
    return pest_activity_.load() != nullptr || scanner_window_.load() != nullptr;
}

bool CScanDlg::OnInitDialog() {
    const HDC dc = GetDC(handle());
    normal_font_ = ui::CreatePointFontFromResources(IDS_SCAN_FONT_FACE, IDS_SCAN_FONT_SIZE,
                                                    FW_NORMAL, false, dc);
    bold_font_ = ui::CreatePointFontFromResources(IDS_HEADING_FONT_FACE, IDS_SCAN_FONT_SIZE,
                                                  FW_BOLD, false, dc);
    ReleaseDC(handle(), dc);
    for (const int frame : {IDC_SCAN_ACTIONS_FRAME, IDC_SCAN_RESULTS_FRAME})
        SendDlgItemMessageW(handle(), frame, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_.get()),
                            TRUE);
    SendDlgItemMessageW(handle(), IDC_SCAN_RESULTS, TVM_SETBKCOLOR, 0,
                        static_cast<LPARAM>(field_colour_));
    SendDlgItemMessageW(handle(), IDC_SCAN_RESULTS, WM_SETFONT,
                        reinterpret_cast<WPARAM>(normal_font_.get()), TRUE);

    SetItemText(IDC_SCAN_STATUS, ResourceText(IDS_SCAN_READY));
    SetItemText(IDC_SCAN_PESTS, ResourceText(IDS_SCAN_ZERO));
    SetItemText(IDC_SCAN_ITEMS, ResourceText(IDS_SCAN_ZERO));
    scanning_ = false;
    scanned_count_ = 0;
    select_all_ = false;
    EnableItem(IDC_SCAN_QUARANTINE_ALL, false);
    EnableItem(IDC_SCAN_EXCLUDE_CHECKED, false);
    EnableItem(IDC_SCAN_SELECT_ALL, false);
    EnableItem(IDCANCEL, true);
    SetFocus(Item(IDCANCEL));

    ArrangeControls();
    OnStartScan();
    return false;
}

void CScanDlg::ArrangeControls() {
    for (const int id : kArrangedControls)
        ui::MoveDlgItemUp(handle(), id);
    minimum_size_.Reset();
    RECT window{};
    GetWindowRect(handle(), &window);
    SetWindowPos(handle(), nullptr, 0, 0, window.right - window.left,
                 window.bottom - window.top - 60, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CScanDlg::BlankAndSet(int id, const std::wstring& text) {
    // Blanks first, so that no old digit is left on screen.
    SetItemText(id, std::wstring(ItemText(id).size() + 1, L' '));
    SetItemText(id, text);
}

void CScanDlg::ApplyControls(const ScanControls& controls) {
    ShowItem(IDC_SCAN_START, controls.scan_now_shown);
    EnableItem(IDC_SCAN_START, controls.scan_now_enabled);
    ShowItem(IDC_SCAN_STOP, controls.stop_shown);
    EnableItem(IDC_SCAN_STOP, controls.stop_enabled);
    EnableItem(IDCANCEL, controls.close_enabled);
    EnableItem(IDC_SCAN_RESULTS, controls.tree_enabled);
    EnableItem(IDC_SCAN_SELECT_ALL, controls.select_all_enabled);
    EnableItem(IDC_SCAN_QUARANTINE_ALL, controls.quarantine_enabled);
    EnableItem(IDC_SCAN_EXCLUDE_CHECKED, controls.exclude_enabled);
}

void CScanDlg::OnStartScan() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    // An internal error gave the mutexes up; scanning again claims them
    // anew, or gives way to the scan or clean that took them meanwhile.
    if (gave_up_mutexes_.load() && !ReclaimMutexes()) {
        if (app != nullptr)
            app->ShowMessage(IDS_OTHER_PEST_ACTIVITY, kSoundDone);
        return;
    }
    TreeView_DeleteAllItems(Item(IDC_SCAN_RESULTS));
    result_roots_.clear();
    if (app != nullptr)
        app->detected_pests().clear();

    if (app != nullptr) {
        ui::CPrepareLogDlg wait;
        wait.CreateAndShow();
        const ui::WaitCursor cursor;
        // The log takes its named mutex itself while it reads the file; a
        // program that keeps it longer than that does not stop the scan.
        app->activity_log().With([](CLogFile& log) { log.Load(kLogMutexWaitMs); });
        wait.End(0);
    }

    BlankAndSet(IDC_SCAN_PESTS, ResourceText(IDS_SCAN_ZERO));
    BlankAndSet(IDC_SCAN_ITEMS, ResourceText(IDS_SCAN_ZERO));
    scanned_count_ = 0;
    detected_count_ = 0;
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);

    if (SetTimer(handle(), kWorkerTimer, kWorkerTimerMs, nullptr) == 0) {
        if (app != nullptr)
            app->ShowMessage(IDS_SCAN_START_FAILED, kSoundWarning);
        EnableItem(IDC_SCAN_START, true);
        EnableItem(IDC_SCAN_SELECT_ALL, true);
        EnableItem(IDCANCEL, true);
        SetFocus(Item(IDCANCEL));
        scanning_ = false;
        return;
    }

    scanning_ = true;
    ApplyControls(ScanControlsFor(true, false, false));

    DWORD thread_id = 0;
    worker_.reset(
        CreateThread(nullptr, 0, &CScanDlg::ScanThread, this, CREATE_SUSPENDED, &thread_id));
    if (!worker_) {
        KillTimer(handle(), kWorkerTimer);
        scanning_ = false;
        ApplyControls(ScanControlsFor(false, false, false));
        if (app != nullptr)
            app->ShowMessage(IDS_THREAD_FAILED, kSoundWarning);
        return;
    }
    SetThreadPriority(worker_.get(), THREAD_PRIORITY_BELOW_NORMAL);
    if (app != nullptr)
        app->set_scan_worker(worker_.get());
    ResumeThread(worker_.get());
}

void CScanDlg::OnStopScan() {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->set_continue_scan(VARIANT_FALSE);
}

DWORD WINAPI CScanDlg::ScanThread(void* param) {
    auto* dialog = static_cast<CScanDlg*>(param);
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || dialog == nullptr)
        return 1;
    CoInitialize(nullptr);
    ScanRun run;
    run.app = app;
    run.dialog = dialog;
    // A fault in the engine ends this scan, not the program: what was found
    // stays listed and is logged when the dialog sees the worker end.
    if (!RunCatchingProcessorFaults(&RunScan, &run))
        run.failed = true;
    if (run.failed) {
        // The other programs may scan again at once.
        dialog->CloseMutexes();
        dialog->gave_up_mutexes_ = true;
        app->ShowMessage(IDS_SCAN_INTERNAL_ERROR, kSoundWarning);
    }
    CoUninitialize();
    PostMessageW(dialog->handle(), kWorkerEndedMessage, 0, 0);
    return run.exit_code;
}

void CScanDlg::OnTimer(UINT_PTR timer_id) {
    if (timer_id == kWorkerTimer)
        FinishIfWorkerEnded(0);
}

void CScanDlg::FinishIfWorkerEnded(DWORD wait_ms) {
    if (!worker_)
        return;
    if (WaitForSingleObject(worker_.get(), wait_ms) == WAIT_TIMEOUT) {
        scanning_ = true;
        return;
    }
    DWORD exit_code = 0;
    GetExitCodeThread(worker_.get(), &exit_code);
    KillTimer(handle(), kWorkerTimer);
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->set_scan_worker(nullptr);
    worker_.reset();
    scanning_ = false;
    ScanEnded(exit_code);
}

void CScanDlg::ScanEnded(DWORD exit_code) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    const std::size_t pests = app != nullptr ? app->detected_pests().size() : 0;
    BlankAndSet(IDC_SCAN_PESTS, CountText(static_cast<unsigned long>(pests)));
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);

    const bool limited = app != nullptr && app->m_bLimitedRights != 0;
    ApplyControls(ScanControlsFor(false, pests != 0, limited));
    SetFocus(Item(IDCANCEL));
    BlankAndSet(IDC_SCAN_STATUS, ResourceText(IDS_SCAN_READY));
    SetItemText(IDC_SCAN_RESULTS_FRAME, WithCount(IDS_SCAN_RESULTS_CAPTION, scanned_count_));
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    if (app == nullptr)
        return;

    // Over this dialog, which it disables while it shows.
    if (exit_code == 1) {
        // The scanner could not scan at all: say why rather than claim a
        // scan of nothing.
        CMessageDlg(app->ScannerErrorText(), kSoundWarning).RunModal(handle());
    } else if (app->continue_scan() == VARIANT_TRUE) {
        CMessageDlg(WithCount(IDS_SCAN_COMPLETED, scanned_count_), kSoundDone).RunModal(handle());
    } else {
        CMessageDlg(WithCount(IDS_SCAN_CANCELED, scanned_count_), kSoundDone).RunModal(handle());
    }
    app->set_continue_scan(VARIANT_TRUE);
    app->activity_log().With([](CLogFile& log) { log.Flush(); });
}

HTREEITEM CScanDlg::ResultRootFor(const std::string& pest_name) const {
    const auto found = result_roots_.find(pest_name);
    return found != result_roots_.end() ? found->second : nullptr;
}

void CScanDlg::NoteResultRoot(const std::string& pest_name, HTREEITEM root) {
    result_roots_.emplace(pest_name, root);
}

void CScanDlg::ShowProgress(const std::string& location) {
    SetDlgItemTextA(handle(), IDC_SCAN_STATUS, location.c_str());
    SetItemText(IDC_SCAN_RESULTS_FRAME, WithCount(IDS_SCAN_RESULTS_CAPTION, scanned_count_));
}

void CScanDlg::ShowPestCount(std::size_t pests) {
    SetItemText(IDC_SCAN_PESTS, CountText(static_cast<unsigned long>(pests)));
}

void CScanDlg::ShowItemCount(unsigned long items) {
    SetItemText(IDC_SCAN_ITEMS, CountText(items));
}

void CScanDlg::ComeToFront() const {
    ShowWindow(handle(), SW_SHOWNORMAL);
    SetForegroundWindow(handle());
}

void CScanDlg::OnCancel() {
    // Esc, WM_CLOSE and the close box come here too, even with Close
    // disabled: the dialog must outlive its worker.
    if (scanning() || worker_)
        return;
    WriteScanHistory();
    End(IDCANCEL);
}

void CScanDlg::WriteScanHistory() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    char pests[64] = {};
    char items[64] = {};
    GetDlgItemTextA(handle(), IDC_SCAN_PESTS, pests, sizeof(pests));
    GetDlgItemTextA(handle(), IDC_SCAN_ITEMS, items, sizeof(items));
    const std::optional<std::string> folder = app->ProductDataFolderOrWarn();
    if (!folder)
        return;
    const std::string path = *folder + AnsiResourceText(IDS_SCAN_HISTORY_FILE_NAME);
    const std::string text =
        FormatScanHistory(FormatCurrentDateTime(LOCALE_SYSTEM_DEFAULT), pests, items);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    const bool written = RetryWithBackoff(kHistoryAttempts, [&] {
        return WriteWholeFile(path, bytes) == FileError::kNone ? AttemptResult::kDone
                                                               : AttemptResult::kRetry;
    });
    if (!written)
        ui::ShowFileErrorBox({ui::TextFileProblem::kCannotCreate, path}, handle());
}

void CScanDlg::OnSize(UINT kind, int width, int height) {
    const auto step = minimum_size_.OnSize(handle(), kind, width, height);
    if (!step || step->kind != ui::ResizeTracker::Step::Kind::kLayout)
        return;
    const int dx = step->dx;
    const int dy = step->dy;
    for (const int id : {IDC_SCAN_ACTIONS_FRAME, IDC_SCAN_START, IDC_SCAN_STOP,
                         IDC_SCAN_QUARANTINE_ALL, IDC_SCAN_EXCLUDE_CHECKED, IDCANCEL})
        ui::MoveItemBy(handle(), id, dx, 0);
    for (const int id : {IDC_SCAN_RESULTS_FRAME, IDC_SCAN_RESULTS})
        ui::GrowItemBy(handle(), id, dx, dy);
    for (const int id : {IDC_SCAN_SELECT_ALL, IDC_SCAN_PESTS_LABEL, IDC_SCAN_PESTS,
                         IDC_SCAN_ITEMS_LABEL, IDC_SCAN_ITEMS, IDC_SCAN_STATUS_LABEL})
        ui::MoveItemBy(handle(), id, 0, dy);
    ui::MoveItemBy(handle(), IDC_SCAN_STATUS, 0, dy);
    ui::GrowItemBy(handle(), IDC_SCAN_STATUS, dx, 0);
    ShowItem(IDC_SCAN_START, !scanning());
    ShowItem(IDC_SCAN_STOP, scanning());
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HBRUSH CScanDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    const int id = GetDlgCtrlID(control);
    if (id == IDC_SCAN_PESTS || id == IDC_SCAN_ITEMS || id == IDC_SCAN_STATUS) {
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, field_colour_);
        return field_brush_.get();
    }
    return ManagementDialog::OnControlColor(dc, control, message);
}

void CScanDlg::OnDestroy() {
    KillTimer(handle(), kWorkerTimer);
}

}  // namespace olvex

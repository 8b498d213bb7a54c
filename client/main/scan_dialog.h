// `CScanDlg`, the Scan dialog (template 142) that Scan Now runs. It starts a
// scan as it opens: a worker thread runs the engine's scans in a fixed order
// (scan_rules.h) while the callback sink (scanner_callback.h) fills its
// results tree and counts. Stop Scan asks the engine to stop; Scan Now scans
// again. While the worker runs the dialog cannot close: Close is disabled
// and Esc, WM_CLOSE and the close box are refused. Closing writes the scan
// history that the scan page shows.
//
// The dialog owns the two activity mutexes Scan Now claimed; whoever gives
// them up first (the worker after an internal error, or the dialog as it
// goes) closes them, once.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "client/common/ui/gdi.h"
#include "client/common/ui/dialog_layout.h"
#include "win/unique.h"
#include "client/main/program_dialog.h"
#include "client/main/scan_rules.h"

namespace olvex {

// A count in the user's number style, without fraction digits.
std::wstring CountText(unsigned long count);

class CScanDlg : public ManagementDialog {
  public:
    CScanDlg();
    ~CScanDlg() override;
    CScanDlg(const CScanDlg&) = delete;
    CScanDlg& operator=(const CScanDlg&) = delete;

    // The mutexes Scan Now claimed; the dialog closes them.
    void TakeMutexes(HANDLE pest_activity, HANDLE scanner_window);
    void CloseMutexes();
    bool holds_mutexes() const;
    // Claims both mutexes again after an internal error gave them up; false
    // when another scan or clean has one of them.
    bool ReclaimMutexes();

    ScanChoice m_options;

    bool scanning() const { return scanning_.load(); }

    // What the callback sink changes, from the worker thread.
    HWND results_tree() const { return Item(IDC_RESULTS); }
    unsigned long CountScannedItem() { return ++scanned_count_; }
    unsigned long CountDetectedItem() { return ++detected_count_; }
    unsigned long scanned_count() const { return scanned_count_.load(); }
    void ShowProgress(const std::string& location);
    void ShowPestCount(std::size_t pests);
    void ShowItemCount(unsigned long items);
    // The results tree's root of a pest name (null when it has none yet), so
    // that a detection finds its group without reading every root back.
    // Only the worker notes roots, while it scans; the dialog forgets them
    // whenever the tree loses items, which it never does while the worker
    // runs, so no item the tree has lost is ever handed out.
    HTREEITEM ResultRootFor(const std::string& pest_name) const;
    void NoteResultRoot(const std::string& pest_name, HTREEITEM root);

    // Brings the dialog in front of the program's windows.
    void ComeToFront() const;

    // The worker: 0, or 1 when it did not scan.
    static DWORD WINAPI ScanThread(void* dialog);

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR timer_id) override;
    void OnSize(UINT kind, int width, int height) override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    void OnDestroy() override;

  private:
    static constexpr int IDC_RESULTS = 1056;

    void ArrangeControls();
    void OnStartScan();
    void OnStopScan();
    void ApplyControls(const ScanControls& controls);
    void BlankAndSet(int id, const std::wstring& text);
    // Ends the scan when the worker has ended, waiting at most wait_ms.
    void FinishIfWorkerEnded(DWORD wait_ms);
    void ScanEnded(DWORD exit_code);
    void WriteScanHistory();

    // What the user does with the results (scan_dialog_actions.cpp).
    void ListenForResultActions();
    LRESULT OnTreeClick();
    LRESULT OnTreeKeyDown(const NMHDR& header);
    void OnSelectAll();
    void OnQuarantineAll();
    void OnExcludeChecked();
    // Gives the item's pest and all its locations the state the item's box
    // is about to take; that state.
    bool CheckPestGroup(HTREEITEM item);
    // Whether an item other than this one is checked.
    bool AnyOtherItemChecked(HTREEITEM item) const;
    void DisableExclude();
    // Removes the root's children of the handled pests, and the root with
    // them when none is left.
    void PruneResults(HTREEITEM root, const std::vector<std::int32_t>& handled);
    void Tell(const std::wstring& text, int sound_kind);

    std::atomic<HANDLE> pest_activity_{nullptr};
    std::atomic<HANDLE> scanner_window_{nullptr};
    std::atomic<bool> scanning_{false};
    std::atomic<bool> gave_up_mutexes_{false};
    win::UniqueHandle worker_;
    std::atomic<unsigned long> scanned_count_{0};
    std::atomic<unsigned long> detected_count_{0};
    std::unordered_map<std::string, HTREEITEM> result_roots_;
    bool reboot_required_ = false;
    bool select_all_ = false;
    ui::MinimumSize minimum_size_;
    win::UniqueFont normal_font_;
    win::UniqueFont bold_font_;
    win::UniqueBrush field_brush_;
    COLORREF field_colour_;
};

}  // namespace olvex

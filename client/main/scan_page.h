// `CScanView`, page 2 of the main window (template 139): the choice of a
// standard or custom scan, the drives to scan, the scan history, Scan Now
// and scheduling. It leads to the other two pages and opens the help file
// and the About dialog.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "client/common/ui/controls.h"
#include "client/main/page_look.h"

namespace olvex {

class CScanView : public CPage {
  public:
    CScanView();

    // Scan Now: claims the two activity mutexes (else message 341 and no
    // scan) and runs the Scan dialog with the standard scans, and the
    // checked drives and folders when custom is set. Ends the program when
    // its window was closed during the scan.
    void RunScanNow(bool custom);
    // The three lines of the scan history file under their captions.
    void ShowScanHistory();

  protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR timer_id) override;

  private:
    void OnStandardScan();
    void OnCustomScan();
    // The topmost checked drives and folders of the custom-scan tree.
    void CollectCustomFolders();

    // The drive trees: the drives with a placeholder child where there is
    // something to expand; folders read when expanded.
    void FillDriveTrees();
    std::string FullPath(HTREEITEM item) const;
    // Lists the folder's subfolders into the item; false when it cannot be
    // listed (a drive then shows "No Files Found").
    bool FillFolder(HTREEITEM item, const std::string& path);
    bool SyncFolder(HTREEITEM item, const std::string& path);
    HTREEITEM InsertFolder(HTREEITEM parent, const std::string& name, const std::string& path,
                           bool checked);
    void SetSubtreeChecks(HTREEITEM item, bool checked) const;
    LRESULT OnItemExpanding(NMHDR& header);
    LRESULT OnTreeClick(NMHDR& header);
    LRESULT OnTreeKeyDown(NMHDR& header);

    ui::ImageList drive_images_;
};

}  // namespace olvex

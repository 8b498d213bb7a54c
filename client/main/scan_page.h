// `CScanView`, page 2 of the main window (template 139): the choice of a
// standard or custom scan, the drives to scan, the scan history, Scan Now
// and scheduling. It leads to the other two pages and opens the help file
// and the About dialog.
#pragma once

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
};

}  // namespace olvex

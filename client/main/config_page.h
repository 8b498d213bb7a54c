// `CManageView`, page 3 of the main window ("Advanced Settings", template
// 141): links to the product's settings and management dialogs and to the
// updater. It leads to the other two pages and opens the help file and the
// About dialog. Each link guards what it opens:
//   - while the updater's window is open, no link acts but "Updates
//     Options", which brings the updater to the front;
//   - with limited rights, Prevalence, Sounds, Quarantine and Exclusions do
//     nothing;
//   - Quarantine and Exclusions hold the pest-activity mutex while their
//     dialog is open, and do nothing while another program has it (a scan or
//     clean runs);
//   - Active Protection holds "QZAPSettingsDialog", which the background
//     protection holds while its own settings show;
//   - Log reads the activity log once other programs have let go of it.
// Its timer serves a command line that asked for the quarantine or
// exclusions dialog, one after the other.
#pragma once

#include <memory>

#include "win/unique.h"
#include "client/main/page_look.h"
#include "client/main/page_rules.h"

namespace olvex {

class CActiveProtectionDlg;

class CManageView : public CPage {
  public:
    CManageView();
    ~CManageView() override;

    // Whether the updater's window ("Kelvan Gorsewatch -- Updates") exists.
    static bool UpdaterRuns();

    // The Active Protection settings dialog while this page has it open;
    // null otherwise. The home page's timer keeps it current.
    CActiveProtectionDlg* active_protection_dialog() const { return active_protection_dialog_; }

  protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR timer_id) override;

  private:
    bool Allowed(ConfigLink link) const;
    void OnActiveProtection();
    void OnUpdates();
    void OnPrevalence();
    void OnSounds();
    void OnQuarantine();
    void OnExclusions();
    void OnLog();
    template <typename Dialog>
    void RunPestActivityDialog();

    CActiveProtectionDlg* active_protection_dialog_ = nullptr;
    // "QZv5ManageViewMutex", made once this page has started the updater.
    win::UniqueHandle updater_mutex_;
    bool serving_requests_ = false;
};

}  // namespace olvex

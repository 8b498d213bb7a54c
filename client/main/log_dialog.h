// `CLogDlg`, the Log dialog (template 146): the activity log's entries in a
// resizable five-column list that sorts on a column click, saved as a
// comma-separated report, with the log-size limit and the help file.
//
// The dialog keeps its own copy of the entries the application's log object
// held when it opened: that object is read again by any scan (one asked for
// from outside while the dialog is open too), and the list must never point
// into what it held before.
//
// The list is virtual: it holds a row count and asks for the texts of the
// rows it draws, so a log of a hundred thousand lines opens as fast as one
// of ten, and a sort reorders the rows (LogRows), not list items.
#pragma once

#include <windows.h>

#include "client/main/log_rows.h"
#include "client/common/ui/dialog_layout.h"
#include "client/common/ui/gdi.h"
#include "client/main/program_dialog.h"

namespace olvex {

class CLogDlg : public ManagementDialog {
  public:
    CLogDlg();

  protected:
    bool OnInitDialog() override;
    void OnSize(UINT kind, int width, int height) override;

  private:
    void Fill() const;
    void SortBy(int column);
    LRESULT OnGetDisplayInfo(NMHDR& header, bool wide);
    LRESULT OnFindItem(NMHDR& header, bool wide);
    void OnSaveLog();
    void OnLimitLogSize();

    LogRows rows_;
    win::UniqueBitmap help_picture_;
    ui::MinimumSize minimum_size_;
};

}  // namespace olvex

// `CProtectionLogDlg`: the activity log's entries in a resizable five-column
// list (Date, Action, Pest Name, Category, Pest Location) that sorts on a
// column click: the Date column by the entries' times, the others by their
// texts in the user's locale. The dialog keeps its own copy of the entries
// for as long as the list shows them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "client/common/activity_log.h"
#include "client/common/ui/dialog.h"
#include "client/common/ui/dialog_layout.h"

namespace olvex::protect {

class CProtectionLogDlg : public ui::Dialog {
  public:
    explicit CProtectionLogDlg(std::vector<ActivityLogEntry> entries, HINSTANCE instance = nullptr);

  protected:
    bool OnInitDialog() override;
    void OnSize(UINT kind, int width, int height) override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;

  private:
    void Fill() const;
    void SortBy(int column) const;

    std::vector<ActivityLogEntry> entries_;
    ui::MinimumSize minimum_size_;
};

// `OnViewLog`: reads the log file at path (an unreadable or locked log gives
// an empty list) and shows its entries.
void ShowProtectionLog(const std::string& log_path, HINSTANCE instance = nullptr);

}  // namespace olvex::protect

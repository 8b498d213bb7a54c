// The four small dialogs through which the protection program speaks to the
// user: the pest-found alert (Quarantine or Exclude), the alert for users
// without rights, the scan advice after a find, and the scan reminder. Each
// is run modally by its caller and places itself flush with the desktop's
// bottom-right corner whenever it is shown or hidden; the three alerts paint
// a plain background in the colour of string 155.
//
// Callers read RunModal's result: the pest-found alert's IDOK means
// Quarantine and IDCANCEL (the Exclude button, Escape, a close) Exclude; the
// scan advice's IDOK means Scan Now; the other two results are not used.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "client/common/ui/dialog.h"
#include "client/common/ui/gdi.h"

namespace olvex::protect {

// Moves the window, its size kept, so that its right and bottom edges meet
// the desktop's, and repaints it.
void PlaceAtDesktopCorner(HWND window);

// What the three alerts share: the corner and the background colour.
class AlertDialog : public ui::Dialog {
  protected:
    explicit AlertDialog(int template_id, HINSTANCE instance = nullptr);
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    void OnShow(bool shown) override;

  private:
    COLORREF colour_;
    win::UniqueBrush background_;
};

// `CPestFoundDlg`: a pest found in memory, for a user with rights.
class CPestFoundDlg : public AlertDialog {
  public:
    CPestFoundDlg(std::wstring pest_name, std::wstring location, HINSTANCE instance = nullptr);

  protected:
    bool OnInitDialog() override;

  private:
    std::wstring pest_name_;
    std::wstring location_;
};

// `CPestFoundUserDlg`: the same find told to a user without rights, in a
// larger font; its only button closes it.
class CPestFoundUserDlg : public AlertDialog {
  public:
    CPestFoundUserDlg(std::wstring pest_name, std::wstring location, HINSTANCE instance = nullptr);

  protected:
    bool OnInitDialog() override;

  private:
    std::wstring pest_name_;
    std::wstring location_;
    win::UniqueFont font_;
};

// `CScanAdviceDlg`: a standard scan is advised after a find.
class CScanAdviceDlg : public AlertDialog {
  public:
    explicit CScanAdviceDlg(HINSTANCE instance = nullptr);
};

// `CScanReminderDlg`: no scan for a week. Scan Now asks the main program for
// a standard scan (starting it when it does not run) and closes once the
// request is made; while a scan or clean runs, or while the main program's
// window does not come, it stays open. Later and the link close it.
class CScanReminderDlg : public ui::Dialog {
  public:
    // install_folder ends in a backslash.
    explicit CScanReminderDlg(std::string install_folder, HINSTANCE instance = nullptr);

  protected:
    bool OnInitDialog() override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    bool OnSetCursor(HWND over, UINT hit_test) override;
    bool OnEraseBackground(HDC dc) override;
    void OnShow(bool shown) override;
    void OnTimer(UINT_PTR timer_id) override;
    void OnDestroy() override;

  private:
    void LayOut();
    void OnScanNow();
    void OnDisableLink();
    bool RequestScanIfMainProgramRuns();
    LRESULT DrawButton(const DRAWITEMSTRUCT& item) const;

    std::string install_folder_;
    win::UniqueBitmap picture_;  // under the transparent link, the dialog shows it too
    win::UniqueFont link_font_;
    ui::LinkCursor link_cursor_;
    // Up, down, focused and disabled faces of Scan Now and Later.
    std::array<win::UniqueBitmap, 4> scan_now_faces_;
    std::array<win::UniqueBitmap, 4> later_faces_;
    int looks_left_ = 0;  // looks for the main program's window still to come
};

}  // namespace olvex::protect

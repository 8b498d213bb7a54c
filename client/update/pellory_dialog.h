// The updater's main window "Kelvan Gorsewatch -- Updates": Check Now, how
// automatic updates behave (saved at once in "qzv5upd.ini") and the proxy.
#pragma once

#include <windows.h>

#include "client/common/ui/dialog.h"
#include "client/common/ui/gdi.h"
#include "client/update/updater_options.h"

namespace olvex {

class CPelloryApp;

// Sent by the main program to a running updater: come to the front.
inline constexpr UINT kBringToFrontMessage = 1029;
// The main program's notification message; the window stays as it is.
inline constexpr UINT kMainProgramNotifyMessage = 1026;

class CPelloryDlg : public ui::Dialog {
  public:
    explicit CPelloryDlg(CPelloryApp& app);

  protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    void OnDestroy() override;

  private:
    void SetProcedure(UpdateProcedure procedure);
    void OnCheckNow();
    void OnConfigureProxy();

    CPelloryApp& app_;
    UpdaterSettings settings_;
    win::UniqueFont headline_font_;
    win::UniqueBrush background_;
    COLORREF headline_colour_ = RGB(51, 102, 153);
    HICON big_icon_ = nullptr;
    HICON small_icon_ = nullptr;
    bool saved_ = false;
};

}  // namespace olvex

// `CMainFrame`, the main window: a fixed-size frame without menu, toolbar or
// status bar whose client area shows one of the three pages. Its title,
// "Kelvan Gorsewatch by Brackwith", is how the product's other programs and
// a second start of this one find it; they send it:
//
//   1028 (wParam 1 to 3)  show that page (any other number changes nothing)
//   1029                  come to the front (restored when minimised)
//   1030, 1031            show the configuration page and come to the front
//   1027                  run a standard scan (main_frame_scan.cpp)
#pragma once

#include <windows.h>

#include "client/common/ui/frame_window.h"

namespace olvex {

inline constexpr UINT kStartScanMessage = 1027;
inline constexpr UINT kShowPageMessage = 1028;
inline constexpr UINT kComeToFrontMessage = 1029;
inline constexpr UINT kShowConfigurationMessage = 1030;
inline constexpr UINT kShowConfigurationMessage2 = 1031;

// The window class of the main window.
inline constexpr wchar_t kMainFrameClass[] = L"Gorsewatch5MainFrame";

class CMainFrame : public ui::FrameWindow {
  public:
    CMainFrame();

    // Shows the window normally, makes it the foreground window and gives it
    // the focus.
    void ComeToFront() const;

  private:
    // Message 1027 and closing the window during a scan.
    void ListenForScans();
};

}  // namespace olvex

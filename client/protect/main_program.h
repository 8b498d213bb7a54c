// How the protection program reaches the main program: its window, found by
// its title, is asked to come to the front (1029) or to start a standard scan
// (1027 with wParam -1 and lParam 515); when it does not run it is started
// from the install folder and its window looked for again. Messages are
// posted: the main program runs a whole modal scan inside its handler, and
// the protection program's thread never waits on it.
#pragma once

#include <windows.h>

#include <string>

namespace olvex::protect {

inline constexpr UINT kStartStandardScanMessage = 1027;
inline constexpr LPARAM kStandardScanKind = 515;
inline constexpr UINT kComeToFrontMessage = 1029;
inline constexpr char kMainProgramFileName[] = "Gorsewatch5.exe";

// The main program's top-level window; null when it does not run.
HWND FindMainProgramWindow();

// Whether a scan or clean runs (GorsewatchV5PestActivity exists; a mutex this
// account may not open exists too).
bool PestActivityRunning();

// Whether a foreground scan keeps the background scan away: a scan or clean
// runs, or a scan window is open (Gorsewatch5ScannerWindow).
bool ForegroundScanRunning();

bool PostStandardScan(HWND main_window);
bool PostComeToFront(HWND main_window);

// Starts "<install folder>Gorsewatch5.exe" without arguments; false when it
// could not be started.
bool StartMainProgram(const std::string& install_folder);

}  // namespace olvex::protect

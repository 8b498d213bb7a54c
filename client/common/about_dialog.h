// `CAboutDlg`, the About box (template 100, "Kelvan Gorsewatch -- About"):
// the running program's version, the engine's, and the time stamp of the
// definitions in the install folder's "core", which "Export Version Info"
// saves as a small text report for support.
//
// It needs no application object, so that every windowed program of the
// product can show it: it takes the install folder and the program's
// version-information object (borrowed; may be null). Without that object,
// or when the definitions have no time stamp, the box keeps its template
// texts. The program includes about_dialog.rc in its resources.
//
//     CAboutDlg(app.install_folder(), app.version_info()).RunModal();
#pragma once

#include <windows.h>

#include <string>

#include "client/common/ui/dialog.h"
#include "olvex/olvex.h"

namespace olvex {

class CAboutDlg : public ui::Dialog {
  public:
    CAboutDlg(std::string install_folder, IVersionInfo* version_info, HINSTANCE instance = nullptr);

    // The ProductVersion of the running program's own file, commas turned to
    // points; empty without a version resource.
    static std::wstring GetProgramVersion();
    // The engine's version from a version-information object made for the
    // purpose; empty when none can be made.
    static std::wstring GetEngineVersion();

  protected:
    bool OnInitDialog() override;

  private:
    void OnExportVersionInfo();

    std::string install_folder_;
    IVersionInfo* version_info_;
};

}  // namespace olvex

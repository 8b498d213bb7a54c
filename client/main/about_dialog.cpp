#include "client/main/about_dialog.h"

#include "client/main/about_dialog_ids.h"
#include "client/main/gorsewatch5_app.h"

namespace olvex {

CAboutDlg::CAboutDlg() : ProgramDialog(IDD_ABOUT) {}

void CGorsewatch5App::OnAppAbout() {
    CAboutDlg().RunModal();
}

}  // namespace olvex

// The application's About command, which the pages' About links call: the
// product's About box (client/common/about_dialog.h) for this program.
#include "client/common/about_dialog.h"

#include "client/main/gorsewatch5_app.h"

namespace olvex {

void CGorsewatch5App::OnAppAbout() {
    CAboutDlg(install_folder(), version_info()).RunModal();
}

}  // namespace olvex

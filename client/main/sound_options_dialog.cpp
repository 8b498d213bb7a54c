#include "client/main/sound_options_dialog.h"

#include "client/main/gorsewatch5_app.h"
#include "client/main/sound_options_dialog_ids.h"

namespace olvex {

CSoundOptionsDlg::CSoundOptionsDlg() : ProgramDialog(IDD_SOUND_OPTIONS) {}

bool CSoundOptionsDlg::OnInitDialog() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return true;
    CheckItem(IDC_SOUND_ERRORS, app->settings().errorsound != 0);
    CheckItem(IDC_SOUND_DONE, app->settings().donesound != 0);
    if (app->m_bLimitedRights) {
        EnableItem(IDC_SOUND_ERRORS, false);
        EnableItem(IDC_SOUND_DONE, false);
        EnableItem(IDOK, false);
    }
    return true;
}

void CSoundOptionsDlg::OnOk() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    // Enter still reaches OK while it is disabled: refused as a cancel.
    if (app == nullptr || app->m_bLimitedRights) {
        End(IDCANCEL);
        return;
    }
    app->settings().errorsound = IsItemChecked(IDC_SOUND_ERRORS) ? 1 : 0;
    app->settings().donesound = IsItemChecked(IDC_SOUND_DONE) ? 1 : 0;
    End(IDOK);
}

}  // namespace olvex

#include "client/main/message_dialog.h"

#include <utility>

#include "client/common/ui/gdi.h"
#include "client/common/ui/system_seams.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/message_dialog_ids.h"
#include "client/main/message_rules.h"

namespace olvex {

CMessageDlg::CMessageDlg(std::wstring text, int sound_kind)
    : ProgramDialog(IDD_MESSAGE), text_(std::move(text)), sound_kind_(sound_kind) {}

CMessageDlg::CMessageDlg(UINT string_id, int sound_kind)
    : CMessageDlg(ui::LoadText(string_id), sound_kind) {}

bool CMessageDlg::OnInitDialog() {
    SetItemText(IDC_MESSAGE_TEXT, text_);
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return true;
    // Played without waiting, so the dialog shows at once.
    const wchar_t* sound =
        MessageSoundFile(sound_kind_, app->settings().errorsound, app->settings().donesound);
    if (sound != nullptr)
        ui::CurrentSoundPlayer().PlayFile(sound);
    return true;
}

void CGorsewatch5App::ShowMessage(UINT string_id, int sound_kind) {
    CMessageDlg(string_id, sound_kind).RunModal();
}

void CGorsewatch5App::ShowMessageText(const std::wstring& text, int sound_kind) {
    CMessageDlg(text, sound_kind).RunModal();
}

}  // namespace olvex

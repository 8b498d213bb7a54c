#include "client/common/ui/proxy_dialog.h"

#include <utility>

#include "client/common/client_environment.h"
#include "client/common/message_boxes.h"
#include "client/common/proxy_form.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"

namespace olvex::ui {

CProxyDlg::CProxyDlg(int template_id, CProxySettings& settings, std::string folder,
                     const ProxyDialogTexts& texts, HINSTANCE instance, std::string file_name)
    : Dialog(template_id, instance),
      settings_(settings),
      folder_(std::move(folder)),
      texts_(texts),
      file_name_(std::move(file_name)) {
    for (const int id : {kProxyHostId, kProxyPortId, kProxyAccountId, kProxyPasswordId}) {
        OnCommand(id, EN_CHANGE, [this] {
            if (!filling_)
                changed_ = true;
        });
    }
}

bool CProxyDlg::OnInitDialog() {
    filling_ = true;
    if (!settings_.host().empty() && settings_.port() != 0) {
        SetItemText(kProxyHostId, FromAnsi(settings_.host()));
        SetItemText(kProxyPortId, std::to_wstring(settings_.port()));
        if (!settings_.account().empty())
            SetItemText(kProxyAccountId, FromAnsi(settings_.account()));
        if (!settings_.password().empty())
            SetItemText(kProxyPasswordId, FromAnsi(settings_.password()));
    }
    filling_ = false;
    // Host and port the system names cannot be changed here.
    EnableItem(kProxyHostId, !settings_.from_system());
    EnableItem(kProxyPortId, !settings_.from_system());
    changed_ = false;
    const std::wstring title = LoadText(texts_.title, instance());
    if (!title.empty())
        SetText(title);
    return true;
}

int CProxyDlg::Ask(UINT text_id, UINT style) const {
    return CurrentMessageBoxes().Show(handle(), LoadText(text_id, instance()),
                                      LoadText(texts_.caption, instance()), style);
}

void CProxyDlg::OnOk() {
    const ProxyFormCheck check =
        CheckProxyForm({ToAnsi(ItemText(kProxyHostId)), ToAnsi(ItemText(kProxyPortId)),
                        ToAnsi(ItemText(kProxyAccountId)), ToAnsi(ItemText(kProxyPasswordId))});
    switch (check.outcome) {
        case ProxyFormOutcome::kClear: {
            if (!settings_.from_system())
                settings_.SetProxy("", 0);
            settings_.SetCredentials("", "");
            DeleteFileA(JoinPath(folder_, file_name_).c_str());
            End(IDOK);
            return;
        }
        case ProxyFormOutcome::kNoAddress:
            Ask(texts_.no_address, MB_OK | MB_ICONEXCLAMATION);
            return;
        case ProxyFormOutcome::kBadPort:
            Ask(texts_.bad_port, MB_OK | MB_ICONEXCLAMATION);
            return;
        case ProxyFormOutcome::kSave:
            break;
    }
    if (check.ask_about_blank_credential &&
        Ask(texts_.blank_credential, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // An address that cannot stand in a request is no address.
    if (!settings_.from_system() && !settings_.SetProxy(check.host, check.port)) {
        Ask(texts_.no_address, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    settings_.SetCredentials(check.account, check.password);
    settings_.Save(folder_, file_name_);  // a store that cannot be written is given up silently
    End(IDOK);
}

void CProxyDlg::OnCancel() {
    if (changed_ && Ask(texts_.changes_lost, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    End(IDCANCEL);
}

}  // namespace olvex::ui

#include "client/common/ui/proxy_dialog.h"

#include <utility>

#include "client/common/client_application.h"
#include "client/common/message_boxes.h"
#include "client/common/proxy_form.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/proxy_dialog_resources.h"

namespace olvex::ui {

ProxyDialog::ProxyDialog(int template_id, ProxyDialogTexts texts, CProxySettings& settings,
                         std::string install_folder, HINSTANCE instance)
    : Dialog(template_id, instance),
      texts_(std::move(texts)),
      settings_(settings),
      install_folder_(std::move(install_folder)) {
    for (const int field :
         {kProxyHostField, kProxyPortField, kProxyAccountField, kProxyPasswordField})
        OnCommand(field, EN_CHANGE, [this] { changed_ = true; });
}

std::wstring ProxyDialog::Text(UINT id) const {
    return LoadText(id, instance());
}

int ProxyDialog::Ask(UINT id) const {
    return CurrentMessageBoxes().Show(handle(), Text(id), texts_.question_caption,
                                      MB_YESNO | MB_ICONQUESTION);
}

void ProxyDialog::Tell(UINT id) const {
    CurrentMessageBoxes().Show(handle(), Text(id), kProductTitle, MB_OK | MB_ICONEXCLAMATION);
}

bool ProxyDialog::OnInitDialog() {
    if (settings_.HasProxy()) {
        SetItemText(kProxyHostField, FromAnsi(settings_.host()));
        SetItemText(kProxyPortField, std::to_wstring(settings_.port()));
    }
    if (!settings_.account().empty())
        SetItemText(kProxyAccountField, FromAnsi(settings_.account()));
    if (!settings_.password().empty())
        SetItemText(kProxyPasswordField, FromAnsi(settings_.password()));
    // The system's own proxy wins over ours: only the account is the user's.
    if (settings_.from_system()) {
        EnableItem(kProxyHostField, false);
        EnableItem(kProxyPortField, false);
    }
    changed_ = false;
    SetText(Text(texts_.title));
    return false;
}

void ProxyDialog::OnOk() {
    const ProxyFormCheck check =
        CheckProxyForm({ToAnsi(ItemText(kProxyHostField)), ToAnsi(ItemText(kProxyPortField)),
                        ToAnsi(ItemText(kProxyAccountField)),
                        ToAnsi(ItemText(kProxyPasswordField))});
    switch (check.outcome) {
        case ProxyFormOutcome::kClear:
            if (!settings_.from_system())
                settings_.SetProxy("", 0);
            settings_.SetCredentials("", "");
            DeleteFileA((install_folder_ + std::string(kProxySettingsFileName)).c_str());
            End(IDOK);
            return;
        case ProxyFormOutcome::kNoAddress:
            Tell(texts_.no_address);
            return;
        case ProxyFormOutcome::kBadPort:
            Tell(texts_.bad_port);
            return;
        case ProxyFormOutcome::kSave:
            break;
    }
    if (check.ask_about_blank_credential && Ask(texts_.blank_credential_question) != IDYES)
        return;
    if (!settings_.from_system()) {
        CProxySettings proposed = settings_;
        // A name that cannot stand in a request is no address.
        if (!proposed.SetProxy(check.host, check.port)) {
            Tell(texts_.no_address);
            return;
        }
        settings_ = proposed;
    }
    settings_.SetCredentials(check.account, check.password);
    if (!settings_.Save(install_folder_, kProxySettingsFileName))
        OutputDebugStringA("Proxy settings could not be saved\n");
    End(IDOK);
}

void ProxyDialog::OnCancel() {
    if (changed_ && Ask(texts_.unsaved_changes_question) != IDYES)
        return;
    End(IDCANCEL);
}

CProxyDlg::CProxyDlg(CProxySettings& settings, std::string install_folder)
    : ProxyDialog(IDD_PROXY,
                  {IDS_PROXY_DIALOG_TITLE, IDS_PROXY_BLANK_CREDENTIAL_QUESTION,
                   IDS_PROXY_UNSAVED_CHANGES_QUESTION, IDS_PROXY_BAD_PORT_MESSAGE,
                   IDS_PROXY_NO_ADDRESS_MESSAGE, kProductTitle},
                  settings, std::move(install_folder)) {}

}  // namespace olvex::ui

// The client library's own proxy dialog: template 182 with its texts
// (proxy_dialog.rc, which a program that offers it includes in its .rc).
//
//     ui::CProxyDlg dialog(IDD_PROXY, settings, install_folder, ui::ClientProxyDialogTexts());
#pragma once

#include "client/common/ui/proxy_dialog.h"
#include "client/common/ui/proxy_dialog_resources.h"

namespace olvex::ui {

inline ProxyDialogTexts ClientProxyDialogTexts() {
    ProxyDialogTexts texts;
    texts.title = IDS_PROXY_DIALOG_TITLE;
    texts.caption = IDS_PROXY_MESSAGE_CAPTION;
    texts.changes_lost = IDS_PROXY_UNSAVED_CHANGES_QUESTION;
    texts.blank_credential = IDS_PROXY_BLANK_CREDENTIAL_QUESTION;
    texts.no_address = IDS_PROXY_NO_ADDRESS_MESSAGE;
    texts.bad_port = IDS_PROXY_BAD_PORT_MESSAGE;
    return texts;
}

}  // namespace olvex::ui

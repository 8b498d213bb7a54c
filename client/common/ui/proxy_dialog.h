// The proxy dialog: the user's HTTP proxy (address, port) and the account and
// password for its Basic authentication, kept in the install folder's
// "proxyinfo.dat" (proxy_settings.h). One class serves every program that
// offers it, each with its own template and texts: the updater's template
// and the client library's own (182, proxy_dialog.rc, `CProxyDlg`).
//
// OK checks the fields (proxy_form.h): all of address, account and password
// empty forgets the proxy and deletes the store; a missing address or a bad
// port keeps the dialog open with its message; exactly one blank credential
// asks first. Cancel asks before dropping changes.
#pragma once

#include <windows.h>

#include <string>

#include "client/common/proxy_settings.h"
#include "client/common/ui/dialog.h"

namespace olvex::ui {

// The ids of the dialog's texts in the program's string table, and the
// caption of its two questions.
struct ProxyDialogTexts {
    UINT title;
    UINT blank_credential_question;
    UINT unsaved_changes_question;
    UINT bad_port;
    UINT no_address;
    std::wstring question_caption;
};

// The template's edit fields.
inline constexpr int kProxyHostField = 1204;
inline constexpr int kProxyPortField = 1206;
inline constexpr int kProxyAccountField = 1208;
inline constexpr int kProxyPasswordField = 1213;

class ProxyDialog : public Dialog {
  public:
    // settings are shown and, on OK, changed and saved into install_folder
    // (ending with a backslash).
    ProxyDialog(int template_id, ProxyDialogTexts texts, CProxySettings& settings,
                std::string install_folder, HINSTANCE instance = nullptr);

  protected:
    bool OnInitDialog() override;
    void OnOk() override;
    void OnCancel() override;

  private:
    std::wstring Text(UINT id) const;
    int Ask(UINT id) const;
    void Tell(UINT id) const;

    ProxyDialogTexts texts_;
    CProxySettings& settings_;
    std::string install_folder_;
    bool changed_ = false;
};

// The client library's proxy dialog: template 182 and strings 296 to 300 and
// 316 of proxy_dialog.rc, which a program that offers it includes in its .rc.
class CProxyDlg : public ProxyDialog {
  public:
    CProxyDlg(CProxySettings& settings, std::string install_folder);
};

}  // namespace olvex::ui

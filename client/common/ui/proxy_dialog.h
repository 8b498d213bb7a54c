// `CProxyDlg`: the modal dialog in which the user edits the proxy settings
// (address, port, account, password) and which saves them itself on OK. Each
// program has its own template and its own texts (string numbers differ
// between the programs); the controls' ids are the same everywhere. The
// rules of OK are proxy_form.h's.
//
//     CProxySettings settings;
//     settings.Load(install_folder, kProxySettingsFileName);
//     CProxyDlg dialog(IDD_PROXY, settings, install_folder, texts);
//     dialog.RunModal();
#pragma once

#include <windows.h>

#include <string>

#include "client/common/proxy_settings.h"
#include "client/common/ui/dialog.h"

namespace olvex::ui {

inline constexpr int kProxyHostId = 1204;
inline constexpr int kProxyPortId = 1206;
inline constexpr int kProxyAccountId = 1208;
inline constexpr int kProxyPasswordId = 1213;

// String ids of the program's texts for the dialog.
struct ProxyDialogTexts {
    UINT title = 0;             // the dialog's title
    UINT caption = 0;           // caption of its message boxes
    UINT changes_lost = 0;      // Cancel after a change: leave anyway? (Yes/No)
    UINT blank_credential = 0;  // one of account and password blank: meant? (Yes/No)
    UINT no_address = 0;        // an account or password without an address
    UINT bad_port = 0;          // port 0, above 65535 or no number
};

class CProxyDlg : public Dialog {
  public:
    // The store is file_name in folder.
    CProxyDlg(int template_id, CProxySettings& settings, std::string folder,
              const ProxyDialogTexts& texts, HINSTANCE instance = nullptr,
              std::string file_name = std::string(kProxySettingsFileName));

  protected:
    bool OnInitDialog() override;
    void OnOk() override;
    void OnCancel() override;

  private:
    int Ask(UINT text_id, UINT style) const;

    CProxySettings& settings_;
    std::string folder_;
    ProxyDialogTexts texts_;
    std::string file_name_;
    bool changed_ = false;
    bool filling_ = false;
};

}  // namespace olvex::ui

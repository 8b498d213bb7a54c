#include "client/update/pellory_dialog.h"

#include "client/common/com_text.h"
#include "client/common/ui/proxy_dialog.h"
#include "client/update/pellory_app.h"
#include "client/update/pellory_resources.h"
#include "client/update/update_download_dialog.h"

namespace olvex {
namespace {

constexpr char kProxyWindowTitle[] = "Kelvan Gorsewatch -- Proxy";

}  // namespace

CPelloryDlg::CPelloryDlg(CPelloryApp& app) : Dialog(IDD_PELLORY), app_(app) {
    OnClicked(IDC_CHECK_NOW, [this] { OnCheckNow(); });
    OnClicked(IDC_CONFIGURE_PROXY, [this] { OnConfigureProxy(); });
    OnClicked(IDC_PROC_AUTOMATIC, [this] { SetProcedure(UpdateProcedure::kInstallAutomatically); });
    OnClicked(IDC_PROC_NOTIFY, [this] { SetProcedure(UpdateProcedure::kNotifyFirst); });
    OnClicked(IDC_PROC_MANUAL, [this] { SetProcedure(UpdateProcedure::kManualOnly); });
    OnMessage(kBringToFrontMessage, [this](WPARAM, LPARAM) -> LRESULT {
        ShowWindow(handle(), SW_SHOWNORMAL);
        SetForegroundWindow(handle());
        SetFocus(handle());
        return 0;
    });
    OnMessage(kMainProgramNotifyMessage, [](WPARAM, LPARAM) -> LRESULT { return 0; });
}

bool CPelloryDlg::OnInitDialog() {
    big_icon_ =
        static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(IDI_PELLORY), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    small_icon_ = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(IDI_PELLORY),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
    SendMessageW(handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
    SetText(app_.Text(IDS_MAIN_TITLE));
    SetWindowPos(handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    background_.reset(CreateSolidBrush(
        ui::ColorFromResource(IDS_BACKGROUND_COLOUR, RGB(255, 255, 255), instance())));
    headline_colour_ = ui::ColorFromResource(IDS_HEADLINE_COLOUR, RGB(51, 102, 153), instance());
    const HDC dc = GetDC(handle());
    headline_font_ = ui::CreatePointFontFromResources(IDS_FONT_FACE, IDS_FONT_POINTS, FW_NORMAL,
                                                      false, dc, instance());
    ReleaseDC(handle(), dc);
    for (const int id : {IDC_HEADLINE, IDC_HEADLINE_OPTIONS}) {
        if (headline_font_)
            SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(headline_font_.get()),
                         TRUE);
    }

    settings_ = app_.LoadSettings(handle());
    const int radio = settings_.procedure == UpdateProcedure::kInstallAutomatically
                          ? IDC_PROC_AUTOMATIC
                      : settings_.procedure == UpdateProcedure::kManualOnly ? IDC_PROC_MANUAL
                                                                            : IDC_PROC_NOTIFY;
    CheckRadioButton(handle(), IDC_PROC_AUTOMATIC, IDC_PROC_MANUAL, radio);
    if (app_.restricted()) {
        for (const int id : {IDC_CHECK_NOW, IDC_CONFIGURE_PROXY, IDC_PROC_AUTOMATIC,
                             IDC_PROC_NOTIFY, IDC_PROC_MANUAL})
            EnableItem(id, false);
    }
    return true;
}

HBRUSH CPelloryDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    if (!background_)
        return nullptr;
    if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX)
        return nullptr;
    const int id = GetDlgCtrlID(control);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(
        dc, id == IDC_HEADLINE || id == IDC_HEADLINE_OPTIONS ? headline_colour_ : RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return background_.get();
}

void CPelloryDlg::SetProcedure(UpdateProcedure procedure) {
    settings_.procedure = procedure;
    app_.SaveSettings(settings_, handle());
}

void CPelloryDlg::OnCheckNow() {
    if (app_.restricted())
        return;
    CUpdateDownloadDlg dialog(app_, DownloadRunKind::kCheckNow, false);
    dialog.RunModal(handle());
    if (dialog.completed())
        settings_.last_update = CPelloryApp::Now();
    // Applying: this window stays for the update utility to close. It
    // starts again only the programs whose windows it found, so closing
    // here first would leave the user without the updater afterwards.
}

void CPelloryDlg::OnConfigureProxy() {
    if (FindWindowA(nullptr, kProxyWindowTitle) != nullptr || app_.restricted())
        return;
    app_.proxy_settings().Load(app_.install_folder(), kProxySettingsFileName);
    ui::ProxyDialogTexts texts;
    texts.title = IDS_PROXY_TITLE;
    texts.caption = IDS_PROXY_CAPTION;
    texts.changes_lost = IDS_PROXY_UNSAVED_CHANGES;
    texts.blank_credential = IDS_PROXY_BLANK_CREDENTIAL;
    texts.no_address = IDS_PROXY_NO_ADDRESS;
    texts.bad_port = IDS_PROXY_BAD_PORT;
    ui::CProxyDlg dialog(IDD_UPDATER_PROXY, app_.proxy_settings(), app_.install_folder(), texts);
    dialog.RunModal(handle());
}

void CPelloryDlg::OnCancel() {
    app_.SaveSettings(settings_, handle());
    saved_ = true;
    End(IDCANCEL);
}

void CPelloryDlg::OnDestroy() {
    if (!saved_)
        app_.SaveSettings(settings_, handle());
    saved_ = true;
    if (big_icon_)
        DestroyIcon(big_icon_);
    if (small_icon_)
        DestroyIcon(small_icon_);
    big_icon_ = small_icon_ = nullptr;
}

}  // namespace olvex

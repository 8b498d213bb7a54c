#include "client/main/config_page.h"

#include "client/common/ui/gdi.h"
#include "client/main/app_ids.h"
#include "client/main/config_page_ids.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/sound_options_dialog.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

PageLook ConfigurationLook() {
    PageLook look;
    look.own_navigation = IDC_CONFIG_NAV_CONFIG;
    look.title_font = {IDC_CONFIG_NAV_HOME, IDC_CONFIG_NAV_SCAN, IDC_CONFIG_NAV_CONFIG};
    look.configuration_font = {
        IDC_CONFIG_CONFIGURE_HEADING, IDC_CONFIG_MANAGE_HEADING, IDC_CONFIG_ACTIVE_PROTECTION,
        IDC_CONFIG_UPDATES,           IDC_CONFIG_PREVALENCE,     IDC_CONFIG_SOUNDS,
        IDC_CONFIG_QUARANTINE,        IDC_CONFIG_EXCLUSIONS,     IDC_CONFIG_LOG};
    look.link_font = {IDC_CONFIG_HELP, IDC_CONFIG_ABOUT};
    look.heading_colour = {IDC_CONFIG_NAV_HOME, IDC_CONFIG_NAV_SCAN, IDC_CONFIG_CONFIGURE_HEADING,
                           IDC_CONFIG_MANAGE_HEADING};
    look.link_colour = {IDC_CONFIG_ACTIVE_PROTECTION,
                        IDC_CONFIG_UPDATES,
                        IDC_CONFIG_PREVALENCE,
                        IDC_CONFIG_SOUNDS,
                        IDC_CONFIG_QUARANTINE,
                        IDC_CONFIG_EXCLUSIONS,
                        IDC_CONFIG_LOG,
                        IDC_CONFIG_HELP,
                        IDC_CONFIG_ABOUT};
    for (int id = IDC_CONFIG_ACTIVE_PROTECTION_TEXT; id <= IDC_CONFIG_LOG_TEXT; ++id)
        look.plain.push_back(id);
    look.clickable = {IDC_CONFIG_NAV_HOME,   IDC_CONFIG_NAV_SCAN,   IDC_CONFIG_ACTIVE_PROTECTION,
                      IDC_CONFIG_UPDATES,    IDC_CONFIG_PREVALENCE, IDC_CONFIG_SOUNDS,
                      IDC_CONFIG_QUARANTINE, IDC_CONFIG_EXCLUSIONS, IDC_CONFIG_LOG,
                      IDC_CONFIG_HELP,       IDC_CONFIG_ABOUT};
    for (int id = IDC_CONFIG_NAV_HOME; id <= IDC_CONFIG_LOG_TEXT; ++id)
        look.content.push_back(id);
    look.content.push_back(IDC_CONFIG_HELP);
    look.content.push_back(IDC_CONFIG_ABOUT);
    return look;
}

}  // namespace

CManageView::CManageView() : CPage(IDD_CONFIG_PAGE, ConfigurationLook()) {
    OnClicked(IDC_CONFIG_NAV_HOME, [] {
        if (auto* app = CGorsewatch5App::Current(); app != nullptr && !UpdaterRuns())
            app->SwitchView(kHomePage);
    });
    OnClicked(IDC_CONFIG_NAV_SCAN, [] {
        if (auto* app = CGorsewatch5App::Current(); app != nullptr && !UpdaterRuns())
            app->SwitchView(kScanPage);
    });
    OnClicked(IDC_CONFIG_SOUNDS, [this] { OnSounds(); });
    OnClicked(IDC_CONFIG_HELP, [this] {
        if (!UpdaterRuns())
            OpenHelp();
    });
    OnClicked(IDC_CONFIG_ABOUT, [] {
        if (auto* app = CGorsewatch5App::Current(); app != nullptr && !UpdaterRuns())
            app->OnAppAbout();
    });
}

bool CManageView::UpdaterRuns() {
    return FindWindowW(nullptr, ui::LoadText(IDS_UPDATER_TITLE).c_str()) != nullptr;
}

void CManageView::OnSounds() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || UpdaterRuns() || app->m_bLimitedRights)
        return;
    CSoundOptionsDlg().RunModal();
    Redraw();
    app->SaveSettings();
}

}  // namespace olvex

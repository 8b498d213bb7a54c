#include "client/main/home_page.h"

#include "client/main/gorsewatch5_app.h"
#include "client/main/home_page_ids.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

PageLook HomeLook() {
    PageLook look;
    look.own_navigation = IDC_HOME_NAV_HOME;
    look.title_font = {IDC_HOME_NAV_HOME,        IDC_HOME_NAV_SCAN,
                       IDC_HOME_NAV_CONFIG,      IDC_HOME_PROTECTION_HEADING,
                       IDC_HOME_UPDATES_HEADING, IDC_HOME_RESOURCES_HEADING};
    look.link_font = {IDC_HOME_HELP, IDC_HOME_ABOUT, IDC_HOME_SUPPORT_LINK, IDC_HOME_RESEARCH_LINK,
                      IDC_HOME_XJ_LINK};
    look.heading_colour = {IDC_HOME_NAV_SCAN, IDC_HOME_NAV_CONFIG, IDC_HOME_PROTECTION_HEADING,
                           IDC_HOME_UPDATES_HEADING, IDC_HOME_RESOURCES_HEADING};
    look.link_colour = {IDC_HOME_SUPPORT_LINK, IDC_HOME_RESEARCH_LINK, IDC_HOME_XJ_LINK,
                        IDC_HOME_HELP, IDC_HOME_ABOUT};
    look.plain = {IDC_HOME_PROTECTION_LABEL, IDC_HOME_LAST_UPDATE, IDC_HOME_PROTECTION_RULE,
                  IDC_HOME_UPDATES_RULE};
    look.clickable = {IDC_HOME_SUPPORT_LINK, IDC_HOME_RESEARCH_LINK, IDC_HOME_XJ_LINK,
                      IDC_HOME_NAV_SCAN,     IDC_HOME_NAV_CONFIG,    IDC_HOME_HELP,
                      IDC_HOME_ABOUT};
    look.content = {IDC_HOME_PROTECTION_HEADING,
                    IDC_HOME_PROTECTION_STATUS,
                    IDC_HOME_UPDATES_HEADING,
                    IDC_HOME_PROTECTION_RULE,
                    IDC_HOME_UPDATES_RULE,
                    IDC_HOME_RESOURCES_HEADING,
                    IDC_HOME_SUPPORT_LINK,
                    IDC_HOME_RESEARCH_LINK,
                    IDC_HOME_XJ_LINK,
                    IDC_HOME_LAST_UPDATE,
                    IDC_HOME_PROTECTION_LABEL,
                    IDC_HOME_NAV_HOME,
                    IDC_HOME_NAV_SCAN,
                    IDC_HOME_NAV_CONFIG,
                    IDC_HOME_HELP,
                    IDC_HOME_ABOUT};
    return look;
}

}  // namespace

CMainView::CMainView() : CPage(IDD_HOME_PAGE, HomeLook()) {
    OnClicked(IDC_HOME_NAV_SCAN, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->SwitchView(kScanPage);
    });
    OnClicked(IDC_HOME_NAV_CONFIG, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->SwitchView(kConfigurationPage);
    });
    OnClicked(IDC_HOME_HELP, [this] { OpenHelp(); });
    OnClicked(IDC_HOME_ABOUT, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->OnAppAbout();
    });
}

}  // namespace olvex

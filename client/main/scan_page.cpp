#include "client/main/scan_page.h"

#include "client/main/gorsewatch5_app.h"
#include "client/main/scan_page_ids.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

PageLook ScanLook() {
    PageLook look;
    look.own_navigation = IDC_SCAN_NAV_SCAN;
    look.title_font = {IDC_SCAN_NAV_HOME, IDC_SCAN_NAV_SCAN, IDC_SCAN_NAV_CONFIG};
    look.heading_font = {IDC_SCAN_OPTIONS_HEADING, IDC_SCAN_HISTORY_HEADING};
    look.link_font = {IDC_SCAN_HELP, IDC_SCAN_ABOUT, IDC_SCAN_STANDARD_DETAILS,
                      IDC_SCAN_CUSTOM_DETAILS};
    look.heading_colour = {IDC_SCAN_NAV_HOME, IDC_SCAN_NAV_CONFIG, IDC_SCAN_OPTIONS_HEADING,
                           IDC_SCAN_HISTORY_HEADING};
    look.link_colour = {IDC_SCAN_STANDARD_DETAILS, IDC_SCAN_CUSTOM_DETAILS, IDC_SCAN_HELP,
                        IDC_SCAN_ABOUT};
    look.plain = {IDC_SCAN_STANDARD,      IDC_SCAN_CUSTOM,    IDC_SCAN_STANDARD_TEXT,
                  IDC_SCAN_CUSTOM_TEXT,   IDC_SCAN_LAST_SCAN, IDC_SCAN_PESTS_DETECTED,
                  IDC_SCAN_ITEMS_DETECTED};
    look.clickable = {
        IDC_SCAN_STANDARD_DETAILS, IDC_SCAN_CUSTOM_DETAILS, IDC_SCAN_NOW,  IDC_SCAN_NAV_HOME,
        IDC_SCAN_NAV_CONFIG,       IDC_SCAN_SCHEDULE,       IDC_SCAN_HELP, IDC_SCAN_ABOUT};
    for (int id = IDC_SCAN_OPTIONS_HEADING; id <= IDC_SCAN_SCHEDULE; ++id)
        look.content.push_back(id);
    look.content.push_back(IDC_SCAN_HELP);
    look.content.push_back(IDC_SCAN_ABOUT);
    return look;
}

}  // namespace

CScanView::CScanView() : CPage(IDD_SCAN_PAGE, ScanLook()) {
    OnClicked(IDC_SCAN_NAV_HOME, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->SwitchView(kHomePage);
    });
    OnClicked(IDC_SCAN_NAV_CONFIG, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->SwitchView(kConfigurationPage);
    });
    OnClicked(IDC_SCAN_HELP, [this] { OpenHelp(); });
    OnClicked(IDC_SCAN_ABOUT, [] {
        if (auto* app = CGorsewatch5App::Current())
            app->OnAppAbout();
    });
}

bool CScanView::OnInitDialog() {
    CPage::OnInitDialog();
    CheckItem(IDC_SCAN_STANDARD, true);
    // Standard Scan is chosen: the drives show greyed.
    ShowItem(IDC_SCAN_DRIVE_TREE, false);
    ShowItem(IDC_SCAN_DRIVE_TREE_GREY, true);
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    EnableItem(IDC_SCAN_SCHEDULE, app != nullptr && app->m_bTaskSchedulerAvailable);
    return true;
}

}  // namespace olvex

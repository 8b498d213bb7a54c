#include "client/main/home_page.h"

#include <array>

#include "client/common/active_protection_settings.h"
#include "client/common/client_environment.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/system_seams.h"
#include "win/unique.h"
#include "client/common/url_lookup.h"
#include "client/main/active_protection_dialog.h"
#include "client/main/app_ids.h"
#include "client/main/config_page.h"
#include "client/main/dialog_actions.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/home_page_ids.h"
#include "client/main/message_rules.h"
#include "client/main/page_rules.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

constexpr UINT_PTR kStatusTimer = 2;
constexpr UINT kStatusTimerMs = 250;
// The background protection runs exactly while its single-instance mutex
// exists.
constexpr char kProtectionMutexName[] = "WakenorMAINAPP";

bool ProtectionRuns() {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kProtectionMutexName);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

// The first line of a history file without its end; empty for an empty file.
std::string FirstLine(HANDLE file) {
    std::array<char, 1024> buffer{};
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
        return {};
    std::string line(buffer.data(), read);
    const std::size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos)
        line.resize(end);
    return line;
}

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
    OnClicked(IDC_HOME_SUPPORT_LINK,
              [this] { OpenWebPage("QZSUPPORT_URL", IDS_SUPPORT_URL_DEFAULT); });
    OnClicked(IDC_HOME_RESEARCH_LINK,
              [this] { OpenWebPage("KXRHOME_URL", IDS_RESEARCH_URL_DEFAULT); });
    OnClicked(IDC_HOME_XJ_LINK, [this] { OpenWebPage("XJHOME_URL", IDS_XJ_HOME_URL_DEFAULT); });
}

bool CMainView::OnInitDialog() {
    const bool result = CPage::OnInitDialog();
    StartTimer(kStatusTimer, kStatusTimerMs);
    return result;
}

void CMainView::OnTimer(UINT_PTR) {
    UpdateProtectionStatus();
}

void CMainView::OnShow(bool shown) {
    if (shown)
        ReadUpdateHistory();
}

void CMainView::UpdateProtectionStatus() {
    const bool running = ProtectionRuns();
    ProtectionStatus status = ProtectionStatus::kStopped;
    if (running) {
        if (!settings_path_) {
            if (const auto common = CurrentClientFolders().CommonAppData())
                settings_path_ = ActiveProtectionSettingsPath(*common);
        }
        // The defaults (both protections off) unless the file says more; a
        // file the background protection holds just now is looked at again
        // at the next tick, without a wait here.
        ActiveProtectionSettings settings;
        if (settings_path_ && ReadActiveProtectionSettings(*settings_path_, settings, [](unsigned) {
                              }) == SettingsFileStatus::kBusy)
            return;
        status = ProtectionStatusOf(true, settings);
    }
    const std::wstring text = ui::LoadText(static_cast<UINT>(ProtectionStatusStringId(status)));
    if (ItemText(IDC_HOME_PROTECTION_STATUS) != text) {
        SetItemText(IDC_HOME_PROTECTION_STATUS, text);
        if (const HWND control = Item(IDC_HOME_PROTECTION_STATUS))
            RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    }

    const CGorsewatch5App* app = CGorsewatch5App::Current();
    CActiveProtectionDlg* dialog = app != nullptr && app->configuration_page() != nullptr
                                       ? app->configuration_page()->active_protection_dialog()
                                       : nullptr;
    if (dialog == nullptr)
        return;
    const ActiveProtectionDialogState state = ActiveProtectionDialogStateFor(
        status, status == ProtectionStatus::kStopped ? ProtectionRuns() : true);
    dialog->SetProtectionState(ui::LoadText(static_cast<UINT>(state.status_id)),
                               ui::LoadText(static_cast<UINT>(state.button_id)), state.stopped);
}

void CMainView::ReadUpdateHistory() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const std::optional<std::string> folder = app->ProductDataFolderOrWarn();
    if (!folder)
        return;
    const std::string path = *folder + ui::ToAnsi(ui::LoadText(IDS_UPDATE_HISTORY_FILE_NAME));
    // Made empty when missing, never emptied; with limited rights only read.
    const DWORD disposition = app->m_bLimitedRights ? OPEN_EXISTING : OPEN_ALWAYS;
    win::UniqueHandle file;
    DWORD error = ERROR_SUCCESS;
    RetryWithBackoff(kReadAttempts, [&] {
        const HANDLE opened =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened != INVALID_HANDLE_VALUE) {
            file.reset(opened);
            return AttemptResult::kDone;
        }
        error = GetLastError();
        // Only another program holding the file is worth a wait.
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                   ? AttemptResult::kRetry
                   : AttemptResult::kGiveUp;
    });
    const std::wstring caption = ui::LoadText(IDS_LAST_UPDATE_CAPTION);
    if (!file) {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            SetItemText(IDC_HOME_LAST_UPDATE, caption);
        else if (!app->m_bLimitedRights)
            ui::ShowFileErrorBox({ui::TextFileProblem::kCannotOpen, path}, handle());
        return;
    }
    SetItemText(IDC_HOME_LAST_UPDATE, caption + ui::FromAnsi(FirstLine(file.get())));
}

void CMainView::OpenWebPage(const char* key, UINT default_address_id) {
    OpenTableAddress(handle(), key, default_address_id);
    Redraw();
}

}  // namespace olvex

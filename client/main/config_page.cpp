#include "client/main/config_page.h"

#include <cstdint>
#include <new>
#include <string>

#include "client/common/named_mutex.h"
#include "client/common/program_launcher.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/prepare_log_dialog.h"
#include "client/common/ui/resource_values.h"
#include "client/main/active_protection_dialog.h"
#include "client/main/app_ids.h"
#include "client/main/config_page_ids.h"
#include "client/main/exclusions_dialog.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/home_page.h"
#include "client/main/log_dialog.h"
#include "client/main/log_dialog_ids.h"
#include "client/main/message_rules.h"
#include "client/main/prevalence_dialog.h"
#include "client/main/quarantine_dialog.h"
#include "client/main/sound_options_dialog.h"
#include "client/main/start_up_rules.h"

namespace olvex {
namespace {

constexpr UINT_PTR kRequestTimer = 3;
constexpr UINT kRequestTimerMs = 500;
constexpr char kUpdaterFileName[] = "Pellory.exe";
constexpr char kUpdaterMutexName[] = "QZv5ManageViewMutex";
constexpr char kSettingsDialogMutexName[] = "QZAPSettingsDialog";
constexpr DWORD kSettingsDialogWaitMs = 250;
// The updater's requests: come to the front, and start checking (as the
// background protection asks it too).
constexpr UINT kUpdaterComeToFront = 1029;
constexpr UINT kUpdaterStartCheck = 1026;
constexpr LPARAM kUpdaterStartCheckCode = 515;
constexpr UINT kUpdaterMessageTimeoutMs = 5000;

// A log above the size that is read at all: its list stays empty.
bool LogTooLargeToShow(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return size > kMaxActivityLogBytes;
}

HWND FindUpdater() {
    return FindWindowW(nullptr, ui::LoadText(IDS_UPDATER_TITLE).c_str());
}

void SendToUpdater(HWND updater, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(updater, message, wparam, lparam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                        kUpdaterMessageTimeoutMs, &ignored);
}

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
    OnClicked(IDC_CONFIG_NAV_HOME, [this] {
        if (auto* app = CGorsewatch5App::Current();
            app != nullptr && Allowed(ConfigLink::kHomePage))
            app->SwitchView(kHomePage);
    });
    OnClicked(IDC_CONFIG_NAV_SCAN, [this] {
        if (auto* app = CGorsewatch5App::Current();
            app != nullptr && Allowed(ConfigLink::kScanPage))
            app->SwitchView(kScanPage);
    });
    OnClicked(IDC_CONFIG_ACTIVE_PROTECTION, [this] { OnActiveProtection(); });
    OnClicked(IDC_CONFIG_UPDATES, [this] { OnUpdates(); });
    OnClicked(IDC_CONFIG_PREVALENCE, [this] { OnPrevalence(); });
    OnClicked(IDC_CONFIG_SOUNDS, [this] { OnSounds(); });
    OnClicked(IDC_CONFIG_QUARANTINE, [this] { OnQuarantine(); });
    OnClicked(IDC_CONFIG_EXCLUSIONS, [this] { OnExclusions(); });
    OnClicked(IDC_CONFIG_LOG, [this] { OnLog(); });
    OnClicked(IDC_CONFIG_HELP, [this] {
        if (Allowed(ConfigLink::kHelp))
            OpenHelp();
    });
    OnClicked(IDC_CONFIG_ABOUT, [this] {
        if (auto* app = CGorsewatch5App::Current(); app != nullptr && Allowed(ConfigLink::kAbout))
            app->OnAppAbout();
    });
}

CManageView::~CManageView() = default;

bool CManageView::UpdaterRuns() {
    return FindUpdater() != nullptr;
}

bool CManageView::Allowed(ConfigLink link) const {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    return app != nullptr && ConfigLinkAllowed(link, UpdaterRuns(), app->m_bLimitedRights != 0);
}

bool CManageView::OnInitDialog() {
    const bool result = CPage::OnInitDialog();
    StartTimer(kRequestTimer, kRequestTimerMs);
    return result;
}

void CManageView::OnTimer(UINT_PTR) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    // The dialogs run their own message loops, in which this timer goes on:
    // the second request waits until the first dialog has closed.
    if (app == nullptr || !app->started() || serving_requests_)
        return;
    serving_requests_ = true;
    CommandLineRequests& requests = app->requests();
    if (requests.show_quarantine == 1) {
        requests.show_quarantine = 0;
        app->SwitchView(kConfigurationPage);
        OnQuarantine();
    }
    if (requests.show_exclusions == 1) {
        requests.show_exclusions = 0;
        app->SwitchView(kConfigurationPage);
        OnExclusions();
    }
    serving_requests_ = false;
}

void CManageView::OnActiveProtection() {
    if (!Allowed(ConfigLink::kActiveProtection))
        return;
    const win::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kSettingsDialogMutexName));
    if (!mutex)
        return;
    // A mutex its holder left behind when it ended is ours all the same.
    const DWORD wait = WaitForSingleObject(mutex.get(), kSettingsDialogWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return;
    CGorsewatch5App* app = CGorsewatch5App::Current();
    std::unique_ptr<CActiveProtectionDlg> dialog(new (std::nothrow) CActiveProtectionDlg());
    if (!dialog) {
        app->ShowMessage(IDS_AP_DIALOG_FAILED, kSoundWarning);
        ReleaseMutex(mutex.get());
        return;
    }
    active_protection_dialog_ = dialog.get();
    // Its texts are there from the start; the home page's timer keeps them.
    if (app->home_page() != nullptr)
        app->home_page()->UpdateProtectionStatus();
    dialog->RunModal();
    ReleaseMutex(mutex.get());
    active_protection_dialog_ = nullptr;
}

void CManageView::OnUpdates() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || !Allowed(ConfigLink::kUpdates))
        return;
    SetCurrentDirectoryA(app->install_folder().c_str());
    if (const HWND updater = FindUpdater()) {
        SendToUpdater(updater, kUpdaterComeToFront, 0, 0);
        Redraw();
        return;
    }
    if (StartProgram(app->install_folder() + kUpdaterFileName))
        updater_mutex_.reset(CreateMutexA(nullptr, FALSE, kUpdaterMutexName));
    // A slow start still gets its request: the window is looked for a few
    // times.
    HWND updater = nullptr;
    for (int look = 0; look < kUpdaterWindowLooks && updater == nullptr; ++look) {
        Sleep(kUpdaterWindowLookMs);
        updater = FindUpdater();
    }
    if (updater != nullptr) {
        SendToUpdater(updater, kUpdaterStartCheck, static_cast<WPARAM>(-1), kUpdaterStartCheckCode);
        SetWindowPos(updater, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    } else {
        updater_mutex_.reset();
    }
    Redraw();
}

void CManageView::OnPrevalence() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || !Allowed(ConfigLink::kPrevalence))
        return;
    CPrevalenceDlg().RunModal();
    Redraw();
    app->SaveSettings();
}

void CManageView::OnSounds() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || !Allowed(ConfigLink::kSounds))
        return;
    CSoundOptionsDlg().RunModal();
    Redraw();
    app->SaveSettings();
}

template <typename Dialog>
void CManageView::RunPestActivityDialog() {
    Dialog dialog;
    SetLastError(ERROR_SUCCESS);
    win::UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kPestActivityMutexName));
    // While a scan or clean runs elsewhere the link does nothing.
    if (!PestActivityClaimed(static_cast<bool>(mutex), GetLastError()))
        return;
    dialog.RunModal();
    mutex.reset();
    Redraw();
}

void CManageView::OnQuarantine() {
    if (Allowed(ConfigLink::kQuarantine))
        RunPestActivityDialog<CQuarantineDlg>();
}

void CManageView::OnExclusions() {
    if (Allowed(ConfigLink::kExclusions))
        RunPestActivityDialog<CExclusionsDlg>();
}

void CManageView::OnLog() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || !Allowed(ConfigLink::kLog))
        return;
    std::string too_large;
    {
        ui::CPrepareLogDlg wait;
        wait.CreateAndShow();
        const HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
        // Another program that keeps the log too long does not keep it from
        // the user: after a while it is read all the same.
        app->activity_log().With([&](CLogFile& log) {
            if (log.Load(kLogMutexWaitMs) == LogStatus::kFailed && LogTooLargeToShow(log.GetPath()))
                too_large = log.GetPath();
        });
        SetCursor(previous != nullptr ? previous : LoadCursor(nullptr, IDC_ARROW));
        ShowWindow(wait.handle(), SW_HIDE);
    }
    // An empty list would otherwise look like an empty log.
    if (!too_large.empty())
        app->ShowMessageText(
            ui::FillInTexts(ui::LoadText(IDS_LOG_TOO_LARGE), {ui::FromAnsi(too_large)}),
            kSoundWarning);
    CLogDlg().RunModal();
    Redraw();
    app->SaveSettings();
}

}  // namespace olvex

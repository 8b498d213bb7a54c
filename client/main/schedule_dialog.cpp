#include "client/main/schedule_dialog.h"

#include <commctrl.h>

#include <string>

#include "client/common/message_boxes.h"
#include "client/common/ui/ansi_text.h"
#include "client/main/app_helpers.h"
#include "client/main/app_ids.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_look_ids.h"
#include "client/main/schedule_dialog_ids.h"
#include "client/main/task_scan_scheduler.h"

namespace olvex {
namespace {

std::optional<bool>& ClockOverride() {
    static std::optional<bool> twenty_four_hours;
    return twenty_four_hours;
}

std::optional<unsigned long>& PlatformOverride() {
    static std::optional<unsigned long> platform;
    return platform;
}

DWORD PlatformId() {
    if (PlatformOverride())
        return *PlatformOverride();
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    return app != nullptr ? app->m_dwPlatformId : VER_PLATFORM_WIN32_NT;
}

std::string InstallFolder() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    return app != nullptr ? app->install_folder() : std::string();
}

}  // namespace

CScheduleDlg::CScheduleDlg()
    : ManagementDialog(IDD_SCHEDULE),
      m_brHollow(static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))),
      m_brGrey(CreateSolidBrush(RGB(0xC0, 0xC0, 0xC0))) {
    OnClicked(IDC_SCHEDULE_NEW, [this] { controller_->ScheduleScan(true); });
    OnClicked(IDC_SCHEDULE_THIS_USER, [this] { controller_->OnThisUser(); });
    OnClicked(IDC_SCHEDULE_CURRENT_USER, [this] { controller_->OnCurrentUser(); });
    OnClicked(IDC_SCHEDULE_DELETE, [this] { controller_->DeleteSelectedScan(); });
    OnNotify(IDC_SCHEDULE_TIME, DTN_DATETIMECHANGE, [this](NMHDR&) {
        controller_->SettingChanged();
        return 0;
    });
    for (const int id : {IDC_SCHEDULE_QUARANTINE, IDC_SCHEDULE_LOG_ONLY})
        OnClicked(id, [this] { controller_->SettingChanged(); });
    for (const int id : {IDC_SCHEDULE_ACCOUNT, IDC_SCHEDULE_PASSWORD})
        OnCommand(id, EN_CHANGE, [this] { controller_->SettingChanged(); });
    OnClicked(IDC_SCHEDULE_APPLY, [this] { controller_->ApplyEdits(); });
    OnCommand(IDC_SCHEDULE_LIST, LBN_SELCHANGE, [this] { controller_->OnScanListSelChange(); });
    OnCommand(IDC_SCHEDULE_LIST, LBN_SELCANCEL, [this] { controller_->OnScanListSelCancel(); });
    OnClicked(IDC_SCHEDULE_EDIT, [this] { controller_->OnEditScan(); });
}

CScheduleDlg::~CScheduleDlg() = default;

void CScheduleDlg::OverrideClock(std::optional<bool> twenty_four_hours) {
    ClockOverride() = twenty_four_hours;
}

void CScheduleDlg::OverridePlatform(std::optional<unsigned long> platform_id) {
    PlatformOverride() = platform_id;
}

bool CScheduleDlg::OnInitDialog() {
    const bool nt_family = PlatformId() == VER_PLATFORM_WIN32_NT;
    ScheduleView& view = *this;
    controller_ = std::make_unique<ScheduleController>(view, CurrentScanSchedulerFactory(),
                                                       InstallFolder(), nt_family);
    CreateFonts();
    ApplyFonts();
    CheckItem(IDC_SCHEDULE_LOG_ONLY, true);
    CheckItem(IDC_SCHEDULE_CURRENT_USER, true);
    // The scheduler takes no longer account or password.
    SendMessageW(Item(IDC_SCHEDULE_ACCOUNT), EM_LIMITTEXT, kMaxAccount, 0);
    SendMessageW(Item(IDC_SCHEDULE_PASSWORD), EM_LIMITTEXT, kMaxPassword, 0);
    SetTimeFormat();
    if (!nt_family) {
        for (const int id :
             {IDC_SCHEDULE_RUN_AS_LABEL, IDC_SCHEDULE_CURRENT_USER, IDC_SCHEDULE_THIS_USER,
              IDC_SCHEDULE_ACCOUNT_LABEL, IDC_SCHEDULE_PASSWORD_LABEL, IDC_SCHEDULE_ACCOUNT,
              IDC_SCHEDULE_PASSWORD})
            EnableItem(id, false);
    }
    EnableItem(IDC_SCHEDULE_DELETE, false);
    EnableItem(IDC_SCHEDULE_EDIT, false);
    if (!controller_->FillScanList())
        return true;
    FocusOk();
    return false;
}

void CScheduleDlg::CreateFonts() {
    const HDC dc = GetDC(handle());
    m_fontTitle = ui::CreatePointFontFromResources(IDS_TITLE_FONT_FACE, IDS_TITLE_FONT_SIZE,
                                                   FW_BOLD, false, dc);
    m_fontText = ui::CreatePointFontFromResources(IDS_HEADING_FONT_FACE, IDS_HEADING_FONT_SIZE,
                                                  FW_NORMAL, false, dc);
    ReleaseDC(handle(), dc);
}

void CScheduleDlg::ApplyFonts() {
    if (m_fontTitle)
        SendMessageW(Item(IDC_SCHEDULE_TITLE), WM_SETFONT,
                     reinterpret_cast<WPARAM>(m_fontTitle.get()), TRUE);
    if (!m_fontText)
        return;
    for (const int id :
         {IDCANCEL, IDC_SCHEDULE_LIST_GROUP, IDC_SCHEDULE_LIST_TEXT, IDC_SCHEDULE_LIST,
          IDC_SCHEDULE_NEW_GROUP, IDC_SCHEDULE_TIME_LABEL, IDC_SCHEDULE_TIME,
          IDC_SCHEDULE_ACTION_LABEL, IDC_SCHEDULE_QUARANTINE, IDC_SCHEDULE_LOG_ONLY,
          IDC_SCHEDULE_RUN_AS_LABEL, IDC_SCHEDULE_CURRENT_USER, IDC_SCHEDULE_THIS_USER,
          IDC_SCHEDULE_ACCOUNT_LABEL, IDC_SCHEDULE_ACCOUNT, IDC_SCHEDULE_PASSWORD_LABEL,
          IDC_SCHEDULE_PASSWORD})
        SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(m_fontText.get()), TRUE);
}

void CScheduleDlg::SetTimeFormat() {
    bool twenty_four_hours = false;
    if (ClockOverride()) {
        twenty_four_hours = *ClockOverride();
    } else {
        char clock[4] = {};
        GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_ITIME, clock, sizeof(clock));
        twenty_four_hours = clock[0] != '0';
    }
    SendMessageW(Item(IDC_SCHEDULE_TIME), DTM_SETFORMATW, 0,
                 reinterpret_cast<LPARAM>(twenty_four_hours ? L"HH:mm" : L"hh:mm tt"));
}

void CScheduleDlg::OnCancel() {
    if (controller_ == nullptr || controller_->MayClose())
        End(IDCANCEL);
}

HBRUSH CScheduleDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    HBRUSH brush = ManagementDialog::OnControlColor(dc, control, message);
    if (Item(IDC_SCHEDULE_TITLE) != nullptr)
        SetBkMode(dc, TRANSPARENT);
    const int id = GetDlgCtrlID(control);
    if (id == IDC_SCHEDULE_TITLE) {
        SetTextColor(dc, ColorFromResource(IDS_HEADING_COLOUR));
        return m_brHollow;
    }
    if (IsItemChecked(IDC_SCHEDULE_CURRENT_USER) &&
        (id == IDC_SCHEDULE_ACCOUNT || id == IDC_SCHEDULE_PASSWORD)) {
        SetTextColor(dc, ColorFromResource(IDS_SCHEDULE_GREY_TEXT_COLOUR));
        SetBkColor(dc, ColorFromResource(IDS_OWN_PAGE_COLOUR));
        return m_brGrey.get();
    }
    return brush;
}

void CScheduleDlg::ShowMessage(int text_id, int sound_kind) {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->ShowMessage(static_cast<UINT>(text_id), sound_kind);
}

void CScheduleDlg::ShowMessageText(const std::string& text, int sound_kind) {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->ShowMessageText(ui::FromAnsi(text), sound_kind);
}

bool CScheduleDlg::Ask(int text_id) {
    return AskText(Text(text_id));
}

bool CScheduleDlg::AskText(const std::string& text) {
    return CurrentMessageBoxes().Show(handle(), ui::FromAnsi(text), ui::LoadText(IDS_PRODUCT_NAME),
                                      MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::string CScheduleDlg::Text(int text_id) {
    return AnsiResourceText(static_cast<UINT>(text_id));
}

TimeOfDay CScheduleDlg::ChosenTime() {
    SYSTEMTIME time{};
    SendMessageW(Item(IDC_SCHEDULE_TIME), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
    return {time.wHour, time.wMinute};
}

std::string CScheduleDlg::FormatTime(const TimeOfDay& time) {
    SYSTEMTIME when{};
    GetLocalTime(&when);
    when.wHour = static_cast<WORD>(time.hour);
    when.wMinute = static_cast<WORD>(time.minute);
    when.wSecond = 0;
    char text[kMaxTimeText + 1] = {};
    GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &when, nullptr, text, sizeof(text));
    return text;
}

bool CScheduleDlg::QuarantineChosen() {
    return IsItemChecked(IDC_SCHEDULE_QUARANTINE);
}

bool CScheduleDlg::CurrentUserChosen() {
    return IsItemChecked(IDC_SCHEDULE_CURRENT_USER);
}

std::string CScheduleDlg::AccountText() {
    return ui::ToAnsi(ItemText(IDC_SCHEDULE_ACCOUNT));
}

std::string CScheduleDlg::PasswordText() {
    return ui::ToAnsi(ItemText(IDC_SCHEDULE_PASSWORD));
}

std::string CScheduleDlg::LogonName() {
    char name[128] = {};
    DWORD size = sizeof(name);
    if (!GetUserNameA(name, &size))
        return {};
    return name;
}

LocalDate CScheduleDlg::Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

void CScheduleDlg::SetTime(const TimeOfDay& time) {
    SYSTEMTIME when{};
    GetLocalTime(&when);
    when.wHour = static_cast<WORD>(time.hour);
    when.wMinute = static_cast<WORD>(time.minute);
    when.wSecond = 0;
    when.wMilliseconds = 0;
    SendMessageW(Item(IDC_SCHEDULE_TIME), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&when));
}

void CScheduleDlg::SetQuarantine(bool quarantine) {
    CheckItem(IDC_SCHEDULE_QUARANTINE, quarantine);
    CheckItem(IDC_SCHEDULE_LOG_ONLY, !quarantine);
}

void CScheduleDlg::SetCurrentUser(bool current_user) {
    CheckItem(IDC_SCHEDULE_CURRENT_USER, current_user);
    CheckItem(IDC_SCHEDULE_THIS_USER, !current_user);
}

void CScheduleDlg::SetAccountText(const std::string& account) {
    SetItemText(IDC_SCHEDULE_ACCOUNT, ui::FromAnsi(account));
}

void CScheduleDlg::ClearAccountAndPassword() {
    SetItemText(IDC_SCHEDULE_ACCOUNT, L"");
    SetItemText(IDC_SCHEDULE_PASSWORD, L"");
}

int CScheduleDlg::SelectedEntry() {
    const LRESULT selected = SendMessageW(Item(IDC_SCHEDULE_LIST), LB_GETCURSEL, 0, 0);
    return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

std::string CScheduleDlg::EntryText(int index) {
    const HWND list = Item(IDC_SCHEDULE_LIST);
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return ui::ToAnsi(text);
}

int CScheduleDlg::EntryCount() {
    const LRESULT count = SendMessageW(Item(IDC_SCHEDULE_LIST), LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

void CScheduleDlg::AppendEntry(const std::string& text) {
    // Inserted at the end: the list keeps the scheduler's order.
    const std::wstring wide = ui::FromAnsi(text);
    SendMessageW(Item(IDC_SCHEDULE_LIST), LB_INSERTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(wide.c_str()));
}

void CScheduleDlg::DeleteEntry(int index) {
    SendMessageW(Item(IDC_SCHEDULE_LIST), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void CScheduleDlg::SelectEntry(int index) {
    SendMessageW(Item(IDC_SCHEDULE_LIST), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CScheduleDlg::EnableControl(int id, bool enable) {
    EnableItem(id, enable);
}

void CScheduleDlg::FocusOk() {
    SendMessageW(handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDCANCEL)), TRUE);
}

void CScheduleDlg::Redraw() {
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace olvex

#include "client/main/log_dialog.h"

#include <commctrl.h>
#include <mbstring.h>

#include <string>

#include "client/common/client_environment.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/log_list.h"
#include "client/main/app_ids.h"
#include "client/main/dialog_actions.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/log_dialog_ids.h"
#include "client/main/page_look_ids.h"
#include "client/main/log_report.h"
#include "client/main/message_rules.h"

namespace olvex {
namespace {

struct Column {
    const wchar_t* title;
    int width;
};
constexpr Column kColumns[] = {
    {L"Date", 150},     {L"Action", 125},        {L"Pest Name", 200},
    {L"Category", 100}, {L"Pest Location", 200},
};

constexpr wchar_t kReportExtension[] = L"csv";
constexpr wchar_t kReportFileName[] = L"Gorsewatch5Log";
constexpr wchar_t kReportFilter[] = L"Text Files (*.csv)|*.csv||";

constexpr int kArrangedControls[] = {IDCANCEL, IDC_LOG_LIST, IDC_LOG_SAVE, IDC_LOG_HELP,
                                     IDC_LOG_LIMIT_SIZE};

// The locale's collation of two texts, case-sensitive.
int Collate(std::string_view a, std::string_view b) {
    const std::string first(a);
    const std::string second(b);
    return _mbscoll(reinterpret_cast<const unsigned char*>(first.c_str()),
                    reinterpret_cast<const unsigned char*>(second.c_str()));
}

std::vector<ActivityLogEntry> EntriesOf(CGorsewatch5App* app) {
    if (app == nullptr)
        return {};
    return app->activity_log().With([](CLogFile& log) { return log.entries(); });
}

}  // namespace

CLogDlg::CLogDlg() : ManagementDialog(IDD_LOG), entries_(EntriesOf(CGorsewatch5App::Current())) {
    OnClicked(IDC_LOG_SAVE, [this] { OnSaveLog(); });
    OnClicked(IDC_LOG_HELP, [this] { OpenHelpFile(handle()); });
    OnClicked(IDC_LOG_LIMIT_SIZE, [this] { OnLimitLogSize(); });
    OnNotify(IDC_LOG_LIST, LVN_COLUMNCLICK, [this](NMHDR& header) -> LRESULT {
        SortBy(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
        return 0;
    });
}

bool CLogDlg::OnInitDialog() {
    help_picture_.reset(static_cast<HBITMAP>(
        LoadImageW(instance(), MAKEINTRESOURCEW(IDB_HELP_BUTTON), IMAGE_BITMAP, 0, 0, 0)));
    // The size report of the band removal below fixes the minimum.
    minimum_size_.Reset();
    const ui::ListView list(handle(), IDC_LOG_LIST);
    list.SetFullRowSelect();
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column)
        list.AddColumn(column, kColumns[column].title, kColumns[column].width);
    ui::Button(handle(), IDC_LOG_HELP).SetBitmap(help_picture_.get());
    if (CGorsewatch5App* app = CGorsewatch5App::Current()) {
        CheckItem(IDC_LOG_LIMIT_SIZE, app->settings().truncate == 1);
        EnableItem(IDC_LOG_LIMIT_SIZE, app->m_bLimitedRights == 0);
    }
    Fill();
    ui::RemoveTopBand(handle(), std::span<const int>(kArrangedControls), {}, true);
    return true;
}

void CLogDlg::Fill() const {
    const ui::WaitCursor wait;
    ui::FillLogList(ui::ListView(handle(), IDC_LOG_LIST), entries_);
}

void CLogDlg::SortBy(int column) const {
    ui::SortLogList(ui::ListView(handle(), IDC_LOG_LIST), entries_, column, Collate);
}

void CLogDlg::OnSize(UINT kind, int width, int height) {
    const auto step = minimum_size_.OnSize(handle(), kind, width, height);
    if (!step)
        return;
    ui::MoveItemBy(handle(), IDC_LOG_HELP, 0, step->dy);
    ui::MoveItemBy(handle(), IDC_LOG_LIMIT_SIZE, 0, step->dy);
    ui::MoveItemBy(handle(), IDC_LOG_SAVE, step->dx, step->dy);
    ui::MoveItemBy(handle(), IDCANCEL, step->dx, step->dy);
    ui::GrowItemBy(handle(), IDC_LOG_LIST, step->dx, step->dy);
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CLogDlg::OnLimitLogSize() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr || app->m_bLimitedRights)
        return;
    app->settings().truncate = IsItemChecked(IDC_LOG_LIMIT_SIZE) ? 1 : 0;
}

void CLogDlg::OnSaveLog() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    if (ui::ListView(handle(), IDC_LOG_LIST).Count() == 0) {
        app->ShowMessage(IDS_NO_LOG_DATA, kSoundWarning);
        return;
    }
    // The log's own order, whatever order the list shows.
    SaveReport(handle(), {kReportExtension, kReportFileName, kReportFilter},
               [this] { return FormatLogReport(entries_, FormatCurrentDateTime()); });
}

}  // namespace olvex

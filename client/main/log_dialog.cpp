#include "client/main/log_dialog.h"

#include <commctrl.h>
#include <mbstring.h>

#include <algorithm>
#include <string>

#include "client/common/client_environment.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
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

// Copies text into a buffer the list gave, cut to fit and always ended.
template <typename Char>
void CopyCellText(const std::basic_string<Char>& text, Char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0)
        return;
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity) - 1);
    std::copy_n(text.data(), length, buffer);
    buffer[length] = Char{};
}

std::vector<ActivityLogEntry> EntriesOf(CGorsewatch5App* app) {
    if (app == nullptr)
        return {};
    return app->activity_log().With([](CLogFile& log) { return log.entries(); });
}

}  // namespace

CLogDlg::CLogDlg() : ManagementDialog(IDD_LOG), rows_(EntriesOf(CGorsewatch5App::Current())) {
    OnClicked(IDC_LOG_SAVE, [this] { OnSaveLog(); });
    OnClicked(IDC_LOG_HELP, [this] { OpenHelpFile(handle()); });
    OnClicked(IDC_LOG_LIMIT_SIZE, [this] { OnLimitLogSize(); });
    OnNotify(IDC_LOG_LIST, LVN_COLUMNCLICK, [this](NMHDR& header) -> LRESULT {
        SortBy(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
        return 0;
    });
    // Which of the two the list sends depends on how the dialog was made.
    OnNotify(IDC_LOG_LIST, LVN_GETDISPINFOW,
             [this](NMHDR& header) { return OnGetDisplayInfo(header, true); });
    OnNotify(IDC_LOG_LIST, LVN_GETDISPINFOA,
             [this](NMHDR& header) { return OnGetDisplayInfo(header, false); });
    OnNotify(IDC_LOG_LIST, LVN_ODFINDITEMW,
             [this](NMHDR& header) { return OnFindItem(header, true); });
    OnNotify(IDC_LOG_LIST, LVN_ODFINDITEMA,
             [this](NMHDR& header) { return OnFindItem(header, false); });
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
    const HWND list = GetDlgItem(handle(), IDC_LOG_LIST);
    SendMessageW(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(rows_.size()), 0);
}

void CLogDlg::SortBy(int column) {
    {
        const ui::WaitCursor wait;
        rows_.SortBy(column, Collate);
    }
    InvalidateRect(GetDlgItem(handle(), IDC_LOG_LIST), nullptr, TRUE);
}

LRESULT CLogDlg::OnGetDisplayInfo(NMHDR& header, bool wide) {
    // The two structures differ only in the type of the text pointer.
    static_assert(sizeof(NMLVDISPINFOW) == sizeof(NMLVDISPINFOA));
    auto& info = reinterpret_cast<NMLVDISPINFOW&>(header);
    if (!(info.item.mask & LVIF_TEXT) || info.item.iItem < 0 ||
        static_cast<std::size_t>(info.item.iItem) >= rows_.size())
        return 0;
    const std::string& text =
        rows_.Cell(static_cast<std::size_t>(info.item.iItem), info.item.iSubItem);
    // Copied into the list's own buffer: nothing of ours has to outlive the
    // call.
    if (wide)
        CopyCellText(ui::FromAnsi(text), info.item.pszText, info.item.cchTextMax);
    else
        CopyCellText(text, reinterpret_cast<NMLVDISPINFOA&>(header).item.pszText,
                     info.item.cchTextMax);
    return 0;
}

LRESULT CLogDlg::OnFindItem(NMHDR& header, bool wide) {
    // The list's own type-ahead over the rows' dates; only text searches.
    static_assert(sizeof(NMLVFINDITEMW) == sizeof(NMLVFINDITEMA));
    const auto& find = reinterpret_cast<const NMLVFINDITEMW&>(header);
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || find.lvfi.psz == nullptr)
        return -1;
    const std::string typed =
        wide ? ui::ToAnsi(find.lvfi.psz)
             : std::string(reinterpret_cast<const NMLVFINDITEMA&>(header).lvfi.psz);
    const auto start = find.iStart >= 0 && static_cast<std::size_t>(find.iStart) < rows_.size()
                           ? static_cast<std::size_t>(find.iStart)
                           : 0;
    const auto row = rows_.FindRow(typed, start, !(find.lvfi.flags & LVFI_PARTIAL));
    return row ? static_cast<LRESULT>(*row) : -1;
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
    if (rows_.size() == 0) {
        app->ShowMessage(IDS_NO_LOG_DATA, kSoundWarning);
        return;
    }
    // The log's own order, whatever order the list shows.
    SaveReport(handle(), {kReportExtension, kReportFileName, kReportFilter},
               [this] { return FormatLogReport(rows_.entries(), FormatCurrentDateTime()); });
}

}  // namespace olvex

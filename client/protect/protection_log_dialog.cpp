#include "client/protect/protection_log_dialog.h"

#include <utility>

#include "client/common/activity_log_file.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/log_list.h"
#include "client/common/ui/gdi.h"
#include "client/protect/dialog_colours.h"
#include "client/protect/wakenor_resources.h"

namespace olvex::protect {
namespace {

struct Column {
    UINT title_id;
    int width;
};
constexpr Column kColumns[] = {
    {IDS_COLUMN_DATE, 150},     {IDS_COLUMN_ACTION, 125},   {IDS_COLUMN_PEST_NAME, 200},
    {IDS_COLUMN_CATEGORY, 100}, {IDS_COLUMN_LOCATION, 200},
};

// The user locale's collation of two texts of the ANSI code page.
int CollateInUserLocale(std::string_view a, std::string_view b) {
    const int result = CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()),
                                      b.data(), static_cast<int>(b.size()));
    if (result == 0)
        return a.compare(b);
    return result - CSTR_EQUAL;
}

}  // namespace

CProtectionLogDlg::CProtectionLogDlg(std::vector<ActivityLogEntry> entries, HINSTANCE instance)
    : ui::Dialog(IDD_PROTECTION_LOG, instance), entries_(std::move(entries)) {
    OnNotify(IDC_LOG_LIST, LVN_COLUMNCLICK, [this](NMHDR& header) -> LRESULT {
        SortBy(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
        return 0;
    });
}

bool CProtectionLogDlg::OnInitDialog() {
    minimum_size_.Reset();
    const ui::ListView list(handle(), IDC_LOG_LIST);
    list.SetFullRowSelect();
    for (int column = 0; column < static_cast<int>(std::size(kColumns)); ++column)
        list.AddColumn(column, ui::LoadText(kColumns[column].title_id, instance()),
                       kColumns[column].width);
    Fill();
    // The opening size is the smallest the viewer may become: its report
    // comes now, as no size report follows the opening of a dialog.
    const RECT client = ClientRect();
    SendMessageW(handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    return true;
}

void CProtectionLogDlg::Fill() const {
    ui::FillLogList(ui::ListView(handle(), IDC_LOG_LIST), entries_);
}

void CProtectionLogDlg::SortBy(int column) const {
    ui::SortLogList(ui::ListView(handle(), IDC_LOG_LIST), entries_, column, CollateInUserLocale);
}

void CProtectionLogDlg::OnSize(UINT kind, int width, int height) {
    const auto step = minimum_size_.OnSize(handle(), kind, width, height);
    if (!step)
        return;
    ui::MoveItemBy(handle(), IDOK, 0, step->dy);
    ui::MoveItemBy(handle(), IDCANCEL, 0, step->dy);
    ui::GrowItemBy(handle(), IDC_LOG_LIST, step->dx, step->dy);
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HBRUSH CProtectionLogDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    return DialogBackgroundBrush(dc, message);
}

void ShowProtectionLog(const std::string& log_path, HINSTANCE instance) {
    CLogFile log;
    log.SetPath(log_path);
    log.Load();  // a log that cannot be read leaves the list empty
    CProtectionLogDlg dialog(log.entries(), instance);
    dialog.RunModal(nullptr);
}

}  // namespace olvex::protect

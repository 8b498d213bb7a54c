#include "client/main/prevalence_dialog.h"

#include <vector>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/dialog_layout.h"
#include "client/main/app_helpers.h"
#include "client/main/dialog_actions.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_look_ids.h"
#include "client/main/prevalence_dialog_ids.h"

namespace olvex {
namespace {

struct Link {
    int id;
    UINT key_id;
    UINT default_id;
};
// In the order the cursor looks at them.
constexpr Link kLinks[] = {
    {IDC_PREVALENCE_EMERGING_LINK, IDS_EMERGING_URL_KEY, IDS_EMERGING_URL_DEFAULT},
    {IDC_PREVALENCE_FASTEST_LINK, IDS_FASTEST_URL_KEY, IDS_FASTEST_URL_DEFAULT},
    {IDC_PREVALENCE_MOST_COMMON_LINK, IDS_MOST_PREVALENT_URL_KEY, IDS_MOST_PREVALENT_URL_DEFAULT},
    {IDC_PREVALENCE_TOP_TEN_LINK, IDS_TOP_TEN_URL_KEY, IDS_TOP_TEN_URL_DEFAULT},
    {IDC_PREVALENCE_MOST_TYPES_LINK, IDS_MOST_PREVALENT_TYPES_URL_KEY,
     IDS_MOST_PREVALENT_TYPES_URL_DEFAULT},
    {IDC_PREVALENCE_TOP_TEN_TYPES_LINK, IDS_TOP_TEN_TYPES_URL_KEY, IDS_TOP_TEN_TYPES_URL_DEFAULT},
    {IDC_PREVALENCE_GRAPH_LINK, IDS_GRAPH_URL_KEY, IDS_GRAPH_URL_DEFAULT},
    {IDC_PREVALENCE_STATS_LINK, IDS_STATS_URL_KEY, IDS_STATS_URL_DEFAULT},
};

constexpr int kSections[] = {IDC_PREVALENCE_FASTEST_SECTION, IDC_PREVALENCE_COMMON_SECTION,
                             IDC_PREVALENCE_TYPES_SECTION, IDC_PREVALENCE_MORE_SECTION};

}  // namespace

CPrevalenceDlg::CPrevalenceDlg() : ManagementDialog(IDD_PREVALENCE), link_cursor_(IDR_LINK_CURSOR) {
    for (const Link& link : kLinks) {
        OnClicked(link.id, [this, link] {
            OpenTableAddress(handle(), AnsiResourceText(link.key_id), link.default_id);
            RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        });
    }
}

bool CPrevalenceDlg::OnInitDialog() {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        CheckItem(IDC_PREVALENCE_AGREE, app->settings().prevresearch != 0);
    CreateFonts();
    const COLORREF black = ColorFromResource(IDS_PREVALENCE_BLACK);
    const COLORREF link_colour = ColorFromResource(IDS_LINK_COLOUR);
    ui::Control(handle(), IDC_PREVALENCE_HEADING).SetFont(heading_font_.get());
    labels_.Add(IDC_PREVALENCE_HEADING, black);
    for (const int id : kSections) {
        ui::Control(handle(), id).SetFont(section_font_.get());
        labels_.Add(id, black);
    }
    for (const Link& link : kLinks) {
        ui::Control(handle(), link.id).SetFont(link_font_.get());
        labels_.Add(link.id, link_colour);
        link_cursor_.AddLink(Item(link.id));
    }
    std::vector<int> moved = {IDOK, IDC_PREVALENCE_EXPLANATION, IDC_PREVALENCE_AGREE};
    for (int id = IDC_PREVALENCE_HEADING; id <= IDC_PREVALENCE_GRAPH_LINK; ++id)
        moved.push_back(id);
    ui::RemoveTopBand(handle(), moved, {}, true);
    return true;
}

void CPrevalenceDlg::CreateFonts() {
    const HDC dc = GetDC(handle());
    heading_font_ = ui::CreatePointFontFromResources(
        IDS_PREVALENCE_HEADING_FONT_FACE, IDS_PREVALENCE_HEADING_FONT_SIZE, FW_BOLD, false, dc);
    link_font_ = ui::CreatePointFontFromResources(IDS_LINK_FONT_FACE, IDS_LINK_FONT_SIZE, FW_NORMAL,
                                                  true, dc);
    section_font_ = ui::CreatePointFontFromResources(IDS_CONFIG_FONT_FACE, IDS_CONFIG_FONT_SIZE,
                                                     FW_BOLD, false, dc);
    ReleaseDC(handle(), dc);
}

void CPrevalenceDlg::OnOk() {
    if (CGorsewatch5App* app = CGorsewatch5App::Current())
        app->settings().prevresearch = IsItemChecked(IDC_PREVALENCE_AGREE) ? 1 : 0;
    End(IDOK);
}

HBRUSH CPrevalenceDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    if (const HBRUSH hollow = labels_.Apply(dc, control))
        return hollow;
    return ManagementDialog::OnControlColor(dc, control, message);
}

bool CPrevalenceDlg::OnSetCursor(HWND, UINT) {
    return link_cursor_.Update();
}

}  // namespace olvex

#include "client/main/page_look.h"

#include <utility>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/dialog_layout.h"
#include "client/common/ui/system_seams.h"
#include "client/main/app_helpers.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/page_look_ids.h"

namespace olvex {
namespace {

// The banner band's controls, hidden on every page.
constexpr int kBannerControls[] = {
    IDC_BANNER_LEFT_PICTURE, IDC_BANNER_RIGHT_PICTURE, IDC_BANNER_TITLE, IDC_BANNER_TEXT,
    IDC_BANNER_NOTE,         IDC_BANNER_SUBTITLE,      IDC_BANNER_BUTTON};

}  // namespace

CPage::CPage(int template_id, PageLook look)
    : ui::FormPage(template_id), look_(std::move(look)), links_(IDR_LINK_CURSOR) {
    background_.reset(static_cast<HBITMAP>(
        LoadImageW(instance(), MAKEINTRESOURCEW(IDB_PAGE_BACKGROUND), IMAGE_BITMAP, 0, 0, 0)));
}

void CPage::RemoveBanner() {
    ui::RemoveTopBand(handle(), look_.content, kBannerControls, false);
}

bool CPage::OnInitDialog() {
    const HDC dc = GetDC(handle());
    struct FontRole {
        win::UniqueFont& font;
        UINT face;
        UINT size;
        int weight;
        bool underline;
        const std::vector<int>& controls;
    };
    const FontRole roles[] = {
        {title_font_, IDS_TITLE_FONT_FACE, IDS_TITLE_FONT_SIZE, FW_BOLD, false, look_.title_font},
        {heading_font_, IDS_HEADING_FONT_FACE, IDS_HEADING_FONT_SIZE, FW_BOLD, false,
         look_.heading_font},
        {link_font_, IDS_LINK_FONT_FACE, IDS_LINK_FONT_SIZE, FW_NORMAL, true, look_.link_font},
        {configuration_font_, IDS_CONFIG_FONT_FACE, IDS_CONFIG_FONT_SIZE, FW_BOLD, false,
         look_.configuration_font},
    };
    for (const FontRole& role : roles) {
        if (role.controls.empty())
            continue;
        role.font =
            ui::CreatePointFontFromResources(role.face, role.size, role.weight, role.underline, dc);
        for (const int id : role.controls)
            ui::Control(handle(), id).SetFont(role.font.get());
    }
    ReleaseDC(handle(), dc);

    labels_.Add(look_.own_navigation, ColorFromResource(IDS_OWN_PAGE_COLOUR));
    const COLORREF heading = ColorFromResource(IDS_HEADING_COLOUR);
    for (const int id : look_.heading_colour)
        labels_.Add(id, heading);
    const COLORREF link = ColorFromResource(IDS_LINK_COLOUR);
    for (const int id : look_.link_colour)
        labels_.Add(id, link);
    for (const int id : look_.plain)
        labels_.Add(id);
    for (const int id : look_.clickable) {
        if (const HWND control = Item(id))
            links_.AddLink(control);
    }
    return true;
}

HBRUSH CPage::OnControlColor(HDC dc, HWND control, UINT message) {
    return labels_.Apply(dc, control);
}

bool CPage::OnEraseBackground(HDC dc) {
    // A page without its picture is left as it is, and still counts as erased.
    if (background_)
        ui::StretchBitmap(dc, background_.get(), ClientRect());
    return true;
}

bool CPage::OnSetCursor(HWND, UINT) {
    links_.Update();
    return true;
}

void CPage::OpenHelp() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const std::wstring help =
        ui::FromAnsi(app->install_folder()) + ui::LoadText(IDS_HELP_FILE_NAME);
    ui::CurrentShellOpener().Open(handle(), help);
    Redraw();
}

void CPage::Redraw() const {
    if (exists())
        RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace olvex

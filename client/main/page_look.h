// The look the three pages of the main window share: the background picture
// stretched over the page, transparent labels in the colours and fonts of
// the string table, static texts that act as links with the hand cursor,
// the Help link, and the layout step that removes the banner band at the
// top of every page template. Each page says which of its controls take
// which role; the page classes add their own handlers.
#pragma once

#include <windows.h>

#include <vector>

#include "client/common/ui/dialog.h"
#include "client/common/ui/gdi.h"

namespace olvex {

// The roles of a page's controls.
struct PageLook {
    int own_navigation = 0;               // the link to the page itself: grey, no hand
    std::vector<int> title_font;          // Arial 12 bold (182, 223)
    std::vector<int> heading_font;        // Arial 10 bold (184, 225)
    std::vector<int> link_font;           // Arial Narrow 10 underlined (185, 226)
    std::vector<int> configuration_font;  // Arial 10 bold (186, 227)
    std::vector<int> heading_colour;      // string 236
    std::vector<int> link_colour;         // string 237
    std::vector<int> plain;               // transparent, default colour
    std::vector<int> clickable;           // the hand cursor shows over these
    std::vector<int> content;             // moved up when the banner goes
};

class CPage : public ui::FormPage {
  public:
    CPage(int template_id, PageLook look);

    // The layout without the banner: the content 60 pixels up, the banner's
    // controls hidden and disabled.
    void RemoveBanner();

  protected:
    bool OnInitDialog() override;
    HBRUSH OnControlColor(HDC dc, HWND control, UINT message) override;
    bool OnEraseBackground(HDC dc) override;
    bool OnSetCursor(HWND over, UINT hit_test) override;

    // Opens the help file of the install folder and redraws the page.
    void OpenHelp();
    // Redraws the whole page with its background.
    void Redraw() const;

    const PageLook& look() const { return look_; }

  private:
    PageLook look_;
    win::UniqueBitmap background_;
    win::UniqueFont title_font_;
    win::UniqueFont heading_font_;
    win::UniqueFont link_font_;
    win::UniqueFont configuration_font_;
    ui::TransparentLabels labels_;
    ui::LinkCursor links_;
};

}  // namespace olvex

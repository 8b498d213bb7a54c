// The fixed-size frame of a program's main window: a caption, a system menu
// and a minimize box, no sizing border, no menu. Its client area shows one
// form page at a time. Messages of other programs arrive through its routing
// table (OnMessage); what no route takes gets the default handling, so
// WM_CLOSE still closes it.
#pragma once

#include <windows.h>

#include <map>
#include <string_view>

#include "client/common/ui/dialog.h"
#include "client/common/ui/window.h"

namespace olvex::ui {

class FrameWindow : public Window {
  public:
    FrameWindow() = default;
    ~FrameWindow() override;

    // Makes the frame hidden, with the window class given (other programs
    // may find it by class as well as by title). The first frame becomes the
    // application's main window: its destruction ends the message loop.
    bool Create(std::wstring_view class_name, std::wstring_view title, HICON icon = nullptr,
                HINSTANCE instance = nullptr);

    // Makes page a child of the frame under number, hidden. The page object
    // must outlive the frame's window or be destroyed before it.
    bool AddPage(int number, FormPage& page);
    // Shows the page with that number and hides the others; false (nothing
    // changes) for a number without a page.
    bool ShowPage(int number);
    int current_page() const { return current_; }
    FormPage* Page(int number) const;

    // Sizes the frame so that its client area is width by height, keeping its
    // top-left corner.
    void SetClientSize(int width, int height) const;

  protected:
    // The routing table; what no route takes gets the default handling. A
    // frame that must act on a message and still leave it to the default
    // handling (WM_CLOSE) overrides this and calls it afterwards.
    virtual LRESULT WindowProcedure(UINT message, WPARAM wparam, LPARAM lparam);

  private:
    static LRESULT CALLBACK StaticProcedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam);

    std::map<int, FormPage*> pages_;
    int current_ = 0;
};

}  // namespace olvex::ui

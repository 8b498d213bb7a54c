// Dialogs from the program's .rc templates, modal or modeless, and form pages
// (child dialogs) for a frame window.
//
// The hooks below cover what the programs' dialogs handle; anything else goes
// through the routing table of Window (OnMessage, OnCommand, OnNotify), whose
// routes come before the hooks. A dialog sees its messages from WM_INITDIALOG
// on (the system gives a dialog procedure no WM_CREATE): what a window would
// make in WM_CREATE, a dialog makes in its constructor or in OnInitDialog.
//
// Closing: Esc, WM_CLOSE and the title bar's close (SC_CLOSE) all arrive as
// the command IDCANCEL (a route for it, else OnCancel), also while the Cancel
// button is disabled, where the dialog managers of different systems differ.
// A dialog that must not close refuses there.
#pragma once

#include <windows.h>

#include "client/common/ui/window.h"

namespace olvex::ui {

// The program's dialog colours, set once at its start: every dialog that
// gives no brush of its own then has this background behind itself and its
// texts, with the text colour. Unset, the system's colours stay.
void SetDialogColours(COLORREF background, COLORREF text);

class Dialog : public Window {
  public:
    // The template is a resource of instance (the program by default).
    explicit Dialog(int template_id, HINSTANCE instance = nullptr);
    ~Dialog() override;

    int template_id() const { return template_id_; }

    // Runs the dialog modally; what End was given, or -1 when it could not be
    // shown. Without an owner, a dialog run on the user-interface thread is
    // owned by the application's shown main window, which it disables while
    // it runs. An owner of another thread is dropped: a modal dialog opened
    // off the user-interface thread has no owner, so that no input queues
    // are tied together.
    INT_PTR RunModal(HWND owner = nullptr);
    // Makes the dialog modeless (shown when its template says so); false when
    // it could not be made. Dialog keys reach it through the message loop.
    bool CreateModeless(HWND owner = nullptr);
    bool is_modal() const { return modal_; }

    // Ends a modal dialog with the result, destroys a modeless one.
    void End(INT_PTR result);

  protected:
    // True lets the system give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOk() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    virtual void OnTimer(UINT_PTR timer_id) {}
    // The brush to paint a control's background with (WM_CTLCOLOR...); null
    // for the default. Here: the program's dialog colours, when it set them.
    virtual HBRUSH OnControlColor(HDC dc, HWND control, UINT message);
    // WM_SIZE: the kind (SIZE_...) and the new client size.
    virtual void OnSize(UINT kind, int width, int height) {}
    // WM_SHOWWINDOW: the dialog is being shown or hidden (the default handling
    // follows and changes neither place nor size).
    virtual void OnShow(bool shown) {}
    // True when the background was painted.
    virtual bool OnEraseBackground(HDC dc) { return false; }
    // True when a cursor was set.
    virtual bool OnSetCursor(HWND over, UINT hit_test) { return false; }
    // The window is going (WM_DESTROY): stop timers, release what it holds.
    virtual void OnDestroy() {}

    HINSTANCE instance() const { return instance_; }

    // Makes the dialog a child of parent (form pages).
    bool CreateChild(HWND parent);

  private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam);
    INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);

    int template_id_;
    HINSTANCE instance_;
    bool modal_ = false;
};

// A page of a frame window: a child dialog on a template with the child
// style. The frame shows one page at a time; the shown page gets dialog keys.
class FormPage : public Dialog {
  public:
    using Dialog::Dialog;
    bool Create(HWND frame) { return CreateChild(frame); }
};

}  // namespace olvex::ui

#include "client/common/ui/dialog.h"

#include "client/common/client_application.h"
#include "client/common/dialog_keys.h"
#include "client/common/ui/controls.h"

namespace olvex::ui {
namespace {

// Messages whose dialog-procedure answer is the result itself rather than a
// TRUE with the result in DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    switch (message) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

struct DialogColours {
    COLORREF background = 0;
    COLORREF text = 0;
    HBRUSH brush = nullptr;  // kept for the program's life
};

DialogColours& ProgramDialogColours() {
    static DialogColours colours;
    return colours;
}

}  // namespace

void SetDialogColours(COLORREF background, COLORREF text) {
    DialogColours& colours = ProgramDialogColours();
    const HBRUSH brush = CreateSolidBrush(background);
    if (brush == nullptr)
        return;
    if (colours.brush != nullptr)
        DeleteObject(colours.brush);
    colours = {background, text, brush};
}

HBRUSH Dialog::OnControlColor(HDC dc, HWND, UINT message) {
    const DialogColours& colours = ProgramDialogColours();
    if (colours.brush == nullptr)
        return nullptr;
    switch (message) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORMSGBOX:
            SetBkColor(dc, colours.background);
            SetTextColor(dc, colours.text);
            return colours.brush;
        default:
            return nullptr;
    }
}

Dialog::Dialog(int template_id, HINSTANCE instance)
    : template_id_(template_id),
      instance_(instance != nullptr ? instance : GetModuleHandleW(nullptr)) {}

Dialog::~Dialog() {
    if (handle() != nullptr)
        UnregisterDialogKeyWindow(handle());
    Destroy();
}

INT_PTR Dialog::RunModal(HWND owner) {
    if (exists())
        return -1;
    EnsureCommonControls();
    if (owner == nullptr) {
        const ClientApplication* app = ClientApplication::Current();
        if (app != nullptr && app->ui_thread_id() == GetCurrentThreadId() &&
            app->main_window() != nullptr && IsWindowVisible(app->main_window()))
            owner = app->main_window();
    }
    if (owner != nullptr && GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId())
        owner = nullptr;
    modal_ = true;
    const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(template_id_), owner,
                                           DialogProcedure, reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return result;
}

bool Dialog::CreateModeless(HWND owner) {
    if (exists())
        return false;
    EnsureCommonControls();
    modal_ = false;
    const HWND window = CreateDialogParamW(instance_, MAKEINTRESOURCEW(template_id_), owner,
                                           DialogProcedure, reinterpret_cast<LPARAM>(this));
    if (window == nullptr)
        return false;
    RegisterDialogKeyWindow(window);
    return true;
}

bool Dialog::CreateChild(HWND parent) {
    if (!CreateModeless(parent))
        return false;
    return true;
}

void Dialog::End(INT_PTR result) {
    if (!exists())
        return;
    if (modal_) {
        EndDialog(handle(), result);
    } else {
        // Through the system, so that OnDestroy runs; the last message unties
        // the object.
        DestroyWindow(handle());
    }
}

INT_PTR CALLBACK Dialog::DialogProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Dialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lparam);
        dialog->Attach(window);
    } else {
        dialog = static_cast<Dialog*>(WindowFromHandle(window));
    }
    if (dialog == nullptr)
        return FALSE;
    if (message == WM_NCDESTROY) {
        UnregisterDialogKeyWindow(window);
        dialog->Detach();
        return FALSE;
    }
    return dialog->Handle(message, wparam, lparam);
}

INT_PTR Dialog::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    const HWND window = handle();
    if (const auto routed = Route(message, wparam, lparam)) {
        if (AnswersDirectly(message))
            return static_cast<INT_PTR>(*routed);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, *routed);
        return TRUE;
    }
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND:
            if (lparam == 0 || HIWORD(wparam) == BN_CLICKED) {
                if (LOWORD(wparam) == IDOK) {
                    OnOk();
                    return TRUE;
                }
                if (LOWORD(wparam) == IDCANCEL) {
                    OnCancel();
                    return TRUE;
                }
            }
            return FALSE;
        case WM_CLOSE:
            // Left to the dialog manager, WM_CLOSE becomes IDCANCEL only while
            // Cancel is enabled on some systems and always on others.
            return Handle(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                          reinterpret_cast<LPARAM>(Item(IDCANCEL)));
        case WM_TIMER:
            OnTimer(wparam);
            return TRUE;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(OnControlColor(
                reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), message));
        case WM_SIZE:
            OnSize(static_cast<UINT>(wparam), LOWORD(lparam), HIWORD(lparam));
            return TRUE;
        case WM_SHOWWINDOW:
            OnShow(wparam != 0);
            return FALSE;  // the default handling still shows or hides it
        case WM_ERASEBKGND:
            if (OnEraseBackground(reinterpret_cast<HDC>(wparam))) {
                SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
                return TRUE;
            }
            return FALSE;
        case WM_SETCURSOR:
            if (OnSetCursor(reinterpret_cast<HWND>(wparam), LOWORD(lparam))) {
                SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace olvex::ui

// The dialog host, the framework's dialogs by template id, and the dialog
// background.
#include "dlgframe/dialog_host.h"

#include <memory>

#include "dlgframe/frame_palette.h"
#include "dlgframe/frame_style.h"
#include "dlgframe/framework_exports.h"
#include "dlgframe/framework_state.h"
#include "win/unique.h"
#include "dlgframe/images.h"
#include "dlgframe/resource_ids.h"

namespace olvex::dlgframe {
namespace {

struct HostState {
    DLGPROC procedure = nullptr;
    HWND window = nullptr;
    UINT flags = 0;
    HICON icon = nullptr;
};

HostState* HostOf(HWND dialog) {
    return reinterpret_cast<HostState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

int BannerHeight(UINT flags) {
    if ((flags & kHostSmallBanner) != 0)
        return State().small_banner_height;
    if ((flags & kHostLargeBanner) != 0)
        return State().large_banner_height;
    return 0;
}

// The dialog grows by the banner (only in height) and its own controls move
// down by as much; controls of controls stay where their parents put them.
void MakeRoomForBanner(HWND dialog, int banner) {
    if (banner <= 0)
        return;
    RECT bounds{};
    GetWindowRect(dialog, &bounds);
    SetWindowPos(dialog, nullptr, 0, 0, bounds.right - bounds.left,
                 bounds.bottom - bounds.top + banner, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place{};
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(child, nullptr, place.left, place.top + banner, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

INT_PTR InitDialog(HWND dialog, WPARAM wparam, const HostBlock* block) {
    if (block == nullptr)
        return TRUE;
    auto state = std::make_unique<HostState>();
    state->procedure = block->procedure;
    state->window = dialog;
    state->flags = AddStyleBit(block->flags, State().style);
    state->icon = FrameworkLoadIcon(nullptr, IDI_FRAME_SMALL);
    HostState* host = state.release();
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    if (host->icon != nullptr)
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(host->icon));
    MakeRoomForBanner(dialog, BannerHeight(host->flags));
    if (host->procedure == nullptr)
        return TRUE;
    return host->procedure(dialog, WM_INITDIALOG, wparam, block->user_data);
}

void CopyBitmap(HDC target, HBITMAP bitmap, HPALETTE palette, int x, int y) {
    const SIZE size = BitmapSize(bitmap);
    const win::UniqueDc source = win::CreateMemoryDc(target);
    if (!source)
        return;
    const win::UniqueSelection selected = win::SelectInto(source.get(), bitmap);
    HPALETTE previous = nullptr;
    if (palette != nullptr) {
        previous = SelectPalette(target, palette, FALSE);
        RealizePalette(target);
    }
    BitBlt(target, x, y, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
    if (previous != nullptr)
        SelectPalette(target, previous, FALSE);
}

}  // namespace

void DrawBanner(HDC dc, int client_width, UINT flags) {
    const BannerChoice choice = ChooseBanner(flags);
    if (choice.size == BannerSize::kNone)
        return;
    win::UniqueBitmap left, right;
    win::UniquePalette left_palette, right_palette;
    if (choice.both) {
        if (!LoadBitmapWithPalette(false, MAKEINTRESOURCEW(choice.left_bitmap), left,
                                   left_palette) ||
            !LoadBitmapWithPalette(false, MAKEINTRESOURCEW(choice.right_bitmap), right,
                                   right_palette))
            return;
        CopyBitmap(dc, left.get(), left_palette.get(), 0, 0);
        CopyBitmap(dc, right.get(), right_palette.get(), client_width - BitmapSize(right.get()).cx,
                   0);
        return;
    }
    const unsigned id = choice.right ? choice.right_bitmap : choice.left_bitmap;
    if (!LoadBitmapWithPalette(false, MAKEINTRESOURCEW(id), left, left_palette))
        return;
    const int x = choice.right ? client_width - BitmapSize(left.get()).cx : 0;
    CopyBitmap(dc, left.get(), left_palette.get(), x, 0);
}

void PaintBackground(HWND window, HDC target, UINT flags) {
    RECT client{};
    GetClientRect(window, &client);
    const int w = client.right;
    const int h = client.bottom;
    if (w <= 0 || h <= 0)
        return;
    const win::UniqueDc buffer = win::CreateMemoryDc(target);
    win::UniqueBitmap buffer_bitmap(CreateCompatibleBitmap(target, w, h));
    if (!buffer || !buffer_bitmap)
        return;
    const win::UniqueSelection selected = win::SelectInto(buffer.get(), buffer_bitmap.get());
    if ((flags & kHostWhite) != 0) {
        FillRect(buffer.get(), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    } else {
        const COLORREF a = Colour(PaletteEntry::kSurface1);
        const COLORREF b = Colour(PaletteEntry::kSurface2);
        const Rgb top{GetRValue(a), GetGValue(a), GetBValue(a)};
        const Rgb bottom{GetRValue(b), GetGValue(b), GetBValue(b)};
        for (int row = 0; row < h; ++row) {
            const Rgb c = GradientColour(top, bottom, row, h);
            win::UniqueBrush brush(CreateSolidBrush(RGB(c.red, c.green, c.blue)));
            const RECT line{0, row, w, row + 1};
            FillRect(buffer.get(), &line, brush.get());
        }
    }
    DrawBanner(buffer.get(), w, flags);
    BitBlt(target, 0, 0, w, h, buffer.get(), 0, 0, SRCCOPY);
}

INT_PTR CALLBACK HostProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG)
        return InitDialog(dialog, wparam, reinterpret_cast<const HostBlock*>(lparam));
    HostState* host = HostOf(dialog);
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackground(dialog, reinterpret_cast<HDC>(wparam), host ? host->flags : 0);
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        case WM_HELP: {
            const auto* help = reinterpret_cast<const HELPINFO*>(lparam);
            // Statics without an id of their own carry 0, -1 or 0xFFFF.
            if (help != nullptr && help->iCtrlId > 0 && help->iCtrlId != 0xFFFF)
                ShowContextHelp(dialog, help->MousePos.x, help->MousePos.y, help->iCtrlId);
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
            return TRUE;
        }
        case WM_DESTROY: {
            if (host == nullptr)
                return 0;
            // The caller's procedure still gets the messages its own clean-up
            // causes (a tree deleting its items notifies the dialog).
            const INT_PTR result =
                host->procedure != nullptr ? host->procedure(dialog, message, wparam, lparam) : 0;
            const std::unique_ptr<HostState> owned(host);
            SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
            if (owned->icon != nullptr)
                DestroyIcon(owned->icon);
            return result;
        }
        default:
            if (host == nullptr || host->procedure == nullptr)
                return 0;
            return host->procedure(dialog, message, wparam, lparam);
    }
}

}  // namespace olvex::dlgframe

using namespace olvex::dlgframe;

extern "C" {

HWND __cdecl FrameworkCreateDialog(HMODULE module, UINT templateId, HWND parent, DLGPROC dialogProc,
                                   LPARAM userData, UINT hostFlags) {
    HostBlock block{dialogProc, userData, hostFlags};
    for (HMODULE candidate : TemplateChain(module)) {
        if (candidate == nullptr ||
            FindResourceW(candidate, MAKEINTRESOURCEW(templateId & 0xFFFF), RT_DIALOG) == nullptr)
            continue;
        if (HWND dialog =
                CreateDialogParamW(candidate, MAKEINTRESOURCEW(templateId & 0xFFFF), parent,
                                   HostProcedure, reinterpret_cast<LPARAM>(&block)))
            return dialog;
    }
    return nullptr;
}

INT_PTR __cdecl FrameworkDialogBox(HMODULE module, UINT templateId, HWND parent, DLGPROC dialogProc,
                                   LPARAM userData, UINT hostFlags) {
    HostBlock block{dialogProc, userData, hostFlags};
    // The first module that holds the template shows it: a dialog that ends
    // with -1 is not shown again from the next one.
    for (HMODULE candidate : TemplateChain(module)) {
        if (candidate == nullptr ||
            FindResourceW(candidate, MAKEINTRESOURCEW(templateId & 0xFFFF), RT_DIALOG) == nullptr)
            continue;
        return DialogBoxParamW(candidate, MAKEINTRESOURCEW(templateId & 0xFFFF), parent,
                               HostProcedure, reinterpret_cast<LPARAM>(&block));
    }
    return -1;
}

}  // extern "C"

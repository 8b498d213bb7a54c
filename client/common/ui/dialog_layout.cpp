#include "client/common/ui/dialog_layout.h"

#include "client/common/client_application.h"

namespace olvex::ui {
namespace {

Rect ToRect(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

// The control's rectangle in its parent's client coordinates.
std::optional<RECT> ItemRect(HWND parent, HWND item) {
    RECT rect{};
    if (item == nullptr || !GetWindowRect(item, &rect))
        return std::nullopt;
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

BOOL MoveDlgItemUp(HWND parent, int id) {
    const HWND item = GetDlgItem(parent, id);
    const auto rect = ItemRect(parent, item);
    if (!rect)
        return FALSE;
    const Rect moved = MovedAboveBand(ToRect(*rect));
    return SetWindowPos(item, nullptr, moved.left, moved.top, 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void HideDlgItem(HWND parent, int id) {
    const HWND item = GetDlgItem(parent, id);
    if (item == nullptr)
        return;
    ShowWindow(item, SW_HIDE);
    EnableWindow(item, FALSE);
}

void RemoveTopBand(HWND window, std::span<const int> moved, std::span<const int> band,
                   bool shorten_window) {
    for (const int id : moved)
        MoveDlgItemUp(window, id);
    for (const int id : band)
        HideDlgItem(window, id);
    if (!shorten_window)
        return;
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    // A dialog without a parent has screen coordinates; one with a parent
    // keeps its place in the parent.
    if (const HWND parent = GetParent(window);
        parent != nullptr && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    const Rect shortened = ShortenedByBand(ToRect(rect));
    MoveWindow(window, shortened.left, shortened.top, shortened.width(), shortened.height(), TRUE);
}

void ShortenFrameByBand(HWND frame) {
    RECT window{};
    RECT client{};
    if (!GetWindowRect(frame, &window) || !GetClientRect(frame, &client))
        return;
    const int borders_x = (window.right - window.left) - client.right;
    const int borders_y = (window.bottom - window.top) - client.bottom;
    const int client_height = client.bottom > kBandHeight ? client.bottom - kBandHeight : 0;
    MoveWindow(frame, window.left, window.top, client.right + borders_x, client_height + borders_y,
               TRUE);
}

void PlaceOnCorner(HWND window, HWND anchor) {
    RECT own{};
    RECT anchor_rect{};
    if (anchor == nullptr || !GetWindowRect(window, &own) || !GetWindowRect(anchor, &anchor_rect))
        return;
    const Rect placed = PlacedOnCorner(ToRect(own), ToRect(anchor_rect));
    SetWindowPos(window, nullptr, placed.left, placed.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceOnMainWindowCorner(HWND window) {
    const ClientApplication* app = ClientApplication::Current();
    if (app != nullptr && app->main_window() != window)
        PlaceOnCorner(window, app->main_window());
}

void MoveItemBy(HWND parent, int id, int dx, int dy) {
    const HWND item = GetDlgItem(parent, id);
    const auto rect = ItemRect(parent, item);
    if (!rect)
        return;
    SetWindowPos(item, nullptr, rect->left + dx, rect->top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void GrowItemBy(HWND parent, int id, int dw, int dh) {
    const HWND item = GetDlgItem(parent, id);
    const auto rect = ItemRect(parent, item);
    if (!rect)
        return;
    SetWindowPos(item, nullptr, 0, 0, rect->right - rect->left + dw, rect->bottom - rect->top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<ResizeTracker::Step> MinimumSize::OnSize(HWND dialog, UINT kind, int width,
                                                       int height) {
    // A minimised dialog reports nothing about the size it will have again.
    if (kind == SIZE_MINIMIZED)
        return std::nullopt;
    const ResizeTracker::Step step = tracker_.OnClientSize({width, height});
    switch (step.kind) {
        case ResizeTracker::Step::Kind::kRecorded:
            return std::nullopt;
        case ResizeTracker::Step::Kind::kLayout:
            return step;
        case ResizeTracker::Step::Kind::kSnapBack: {
            RECT wanted{0, 0, step.snap_to.width, step.snap_to.height};
            AdjustWindowRectEx(&wanted, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)),
                               GetMenu(dialog) != nullptr,
                               static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
            SetWindowPos(dialog, nullptr, 0, 0, wanted.right - wanted.left,
                         wanted.bottom - wanted.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace olvex::ui

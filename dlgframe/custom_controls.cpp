// Labels, pictures, group frames, push buttons, links, radio buttons and
// check boxes drawn in the framework's colours. Each class is a superclass of
// STATIC or BUTTON: what it does not handle goes to the system procedure.
// Every control paints double-buffered over the pixels that lay under it, so
// it looks transparent on the framework's backgrounds.
#include "dlgframe/custom_controls.h"

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "dlgframe/frame_palette.h"
#include "dlgframe/framework_exports.h"
#include "dlgframe/framework_state.h"
#include "win/unique.h"
#include "dlgframe/images.h"
#include "dlgframe/label_text.h"
#include "dlgframe/resource_ids.h"

namespace olvex::dlgframe {
namespace {

enum class Kind { kLabel, kImage, kGroup, kButton, kLink, kRadio, kCheck };

enum Visual { kNormal = 0, kReleased = 1, kPressed = 2 };

constexpr UINT_PTR kHoverTimer = 1;
constexpr UINT kHoverCheckMs = 100;
constexpr COLORREF kOutlineBlack = RGB(0, 0, 0);
constexpr COLORREF kOutlineGrey = RGB(127, 127, 127);
constexpr COLORREF kOutlineHighlight = RGB(200, 210, 240);
constexpr COLORREF kGroupFrame = RGB(50, 50, 200);
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

constexpr wchar_t kRadioClass[] = L"CUST:RADIOBUTTON";

struct ControlState {
    explicit ControlState(Kind k)
        : kind(k), text(k == Kind::kLabel ? kLabelTextChars : kControlTextChars, L'\0') {}
    ~ControlState() { DropCache(); }
    ControlState(const ControlState&) = delete;
    ControlState& operator=(const ControlState&) = delete;

    void DropCache() {
        if (cache_dc != nullptr) {
            SelectObject(cache_dc, cache_previous);
            DeleteDC(cache_dc);
            cache_dc = nullptr;
        }
        cache_bitmap.reset();
    }

    Kind kind;
    int visual = kNormal;
    bool hover = false;
    bool underline = false;  // links: while the mouse is over them
    bool ticked = false;     // radio buttons and check boxes
    bool focus = false;      // push buttons: tracked, not drawn
    bool pressed_by_mouse = false;
    UINT flags = 0;
    std::vector<wchar_t> text;
    std::optional<std::size_t> right_part;  // labels: offset of the text after "|"
    std::array<wchar_t, kLinkTargetChars> target{};
    HDC cache_dc = nullptr;
    win::UniqueBitmap cache_bitmap;
    HGDIOBJ cache_previous = nullptr;
};

struct ClassEntry {
    const wchar_t* name;
    const wchar_t* base;
    Kind kind;
    WNDPROC procedure;
};

WNDPROC g_static_procedure = nullptr;
WNDPROC g_button_procedure = nullptr;

WNDPROC BaseProcedure(Kind kind) {
    switch (kind) {
        case Kind::kLabel:
        case Kind::kImage:
        case Kind::kGroup:
            return g_static_procedure;
        default:
            return g_button_procedure;
    }
}

ControlState* StateOf(HWND window) {
    return reinterpret_cast<ControlState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

bool HasText(Kind kind) {
    return kind != Kind::kImage;
}

bool TracksMouse(Kind kind) {
    return kind == Kind::kButton || kind == Kind::kLink || kind == Kind::kRadio ||
           kind == Kind::kCheck;
}

void SetText(ControlState& state, const wchar_t* text) {
    const std::wstring_view view =
        text != nullptr && !IS_INTRESOURCE(text) && text[0] != 0xFFFF ? text : L"";
    CopyText(view, state.text);
    state.right_part.reset();
    if (state.kind != Kind::kLabel)
        return;
    // The label keeps its two parts in one buffer: the bar becomes the end of
    // the first, so the window's text reads as the first part alone.
    const LabelParts parts = SplitLabel(state.text.data());
    if (parts.right) {
        const std::size_t bar = parts.left.size();
        state.text[bar] = L'\0';
        state.right_part = bar + 1;
    }
}

const wchar_t* RightPart(const ControlState& state) {
    return state.right_part ? state.text.data() + *state.right_part : nullptr;
}

void Repaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
}

// Has the parent paint the area under the control again, the control with
// it, so the control takes a fresh background.
void RepaintUnder(HWND window, const RECT* part = nullptr) {
    HWND parent = GetParent(window);
    RECT area{};
    if (part != nullptr)
        area = *part;
    else
        GetClientRect(window, &area);
    MapWindowPoints(window, parent, reinterpret_cast<POINT*>(&area), 2);
    if (parent != nullptr) {
        RedrawWindow(parent, &area, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    InvalidateRect(window, part, TRUE);
}

COLORREF TextColour(HWND window, bool active) {
    if (!IsWindowEnabled(window))
        return Colour(PaletteEntry::kDisabledText);
    return active ? Colour(PaletteEntry::kActiveText) : Colour(PaletteEntry::kText);
}

void FillGradient(HDC dc, int width, int height, PaletteEntry first, PaletteEntry last,
                  bool vertical) {
    const COLORREF a = Colour(first);
    const COLORREF b = Colour(last);
    const Rgb from{GetRValue(a), GetGValue(a), GetBValue(a)};
    const Rgb to{GetRValue(b), GetGValue(b), GetBValue(b)};
    const int steps = vertical ? height : width;
    for (int i = 0; i < steps; ++i) {
        const Rgb c = GradientColour(from, to, i, steps);
        win::UniqueBrush brush(CreateSolidBrush(RGB(c.red, c.green, c.blue)));
        const RECT line = vertical ? RECT{0, i, width, i + 1} : RECT{i, 0, i + 1, height};
        FillRect(dc, &line, brush.get());
    }
}

void Line(HDC dc, COLORREF colour, std::initializer_list<POINT> points) {
    win::UniquePen pen(CreatePen(PS_SOLID, 1, colour));
    const win::UniqueSelection selected = win::SelectInto(dc, pen.get());
    const std::vector<POINT> list(points);
    Polyline(dc, list.data(), static_cast<int>(list.size()));
}

int DrawTextIn(HDC dc, const wchar_t* text, RECT area, UINT format) {
    return DrawTextW(dc, text, -1, &area, format);
}

// ---- painting ----------------------------------------------------------

void PaintButtonFace(HWND window, ControlState& state, HDC dc, int w, int h) {
    const bool flat = (state.flags & 0x10) != 0;
    if (!flat) {
        PaletteEntry top = PaletteEntry::kFaceNormal1;
        PaletteEntry bottom = PaletteEntry::kFaceNormal2;
        if (state.visual == kPressed) {
            top = PaletteEntry::kFacePressed1;
            bottom = PaletteEntry::kFacePressed2;
        } else if (state.hover) {
            top = PaletteEntry::kFaceHover1;
            bottom = PaletteEntry::kFaceHover2;
        }
        FillGradient(dc, w, h, top, bottom, true);
        constexpr int c = 4;
        const int r = w - 1;
        const int b = h - 1;
        Line(dc, kOutlineGrey, {{0, b - c}, {0, c}, {c, 0}, {r - c, 0}, {r, c}});
        Line(dc, kOutlineBlack, {{r, c}, {r, b - c}, {r - c, b}, {c, b}, {0, b - c}});
        Line(dc, kOutlineHighlight, {{1, b - c}, {1, c}, {c, 1}, {r - c + 1, 1}});
    } else if (state.hover) {
        win::UniqueBrush black(CreateSolidBrush(kOutlineBlack));
        const RECT frame{0, 0, w, h};
        FrameRect(dc, &frame, black.get());
    }

    SetTextColor(dc, TextColour(window, state.visual == kPressed));
    HBITMAP image = reinterpret_cast<HBITMAP>(SendMessageW(window, BM_GETIMAGE, IMAGE_BITMAP, 0));
    const SIZE image_size = BitmapSize(image);
    if (image != nullptr && image_size.cx > 0) {
        const int y = (h - image_size.cy) / 2;
        if ((state.flags & 0x40) != 0)
            DrawImage(dc, 10, y, image_size.cx, image_size.cy, image, 255);
        else if ((state.flags & 0x20) != 0)
            DrawTransparent(dc, image, 10, y);
        else
            DrawImage(dc, 10, y, image_size.cx, image_size.cy, image, 255);
        if (state.text[0] != L'\0') {
            DrawTextIn(dc, state.text.data(), {image_size.cx + 20, 0, w, h},
                       DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        }
        return;
    }
    DrawTextIn(dc, state.text.data(), {0, 0, w, h}, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

void PaintTickBox(HWND window, ControlState& state, HDC dc, int w, int h) {
    const bool enabled = IsWindowEnabled(window) != FALSE;
    UINT bitmap_id = 0;
    if (state.kind == Kind::kRadio)
        bitmap_id = state.ticked ? IDB_FRAME_RADIO_ON : IDB_FRAME_RADIO_OFF;
    else if (state.ticked)
        bitmap_id = enabled ? IDB_FRAME_CHECK_ON : IDB_FRAME_CHECK_ON_DISABLED;
    else
        bitmap_id = enabled ? IDB_FRAME_CHECK_OFF : IDB_FRAME_CHECK_OFF_DISABLED;
    win::UniqueBitmap bitmap(FrameworkLoadBitmap(nullptr, FALSE, MAKEINTRESOURCEW(bitmap_id)));
    const SIZE size = BitmapSize(bitmap.get());
    if (bitmap)
        DrawTransparent(dc, bitmap.get(), 4, (h - size.cy) / 2);
    SetTextColor(dc, TextColour(window, state.hover));
    DrawTextIn(dc, state.text.data(), {size.cx + 9, 0, w, h}, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

void PaintLink(ControlState& state, HDC dc, int w, int h) {
    UINT align = DT_CENTER;
    if ((state.flags & 0x2) == 0) {
        if ((state.flags & 0x4) != 0)
            align = DT_RIGHT;
        else if ((state.flags & 0x1) != 0)
            align = DT_LEFT;
    }
    SetTextColor(dc, kLinkBlue);
    DrawTextIn(dc, state.text.data(), {0, 0, w, h}, DT_SINGLELINE | DT_VCENTER | align);
}

void PaintLabel(HWND window, ControlState& state, HDC dc, int w, int h) {
    int inset = 1;
    if ((state.flags & 0x20) != 0) {
        FillGradient(dc, w, h, PaletteEntry::kSurface1, PaletteEntry::kSurface2, false);
        inset = 10;
    }
    SetTextColor(dc, TextColour(window, false));
    const RECT area{inset, 0, w - inset, h};
    constexpr UINT kCommon = DT_NOCLIP | DT_EDITCONTROL;
    if (const wchar_t* right = RightPart(state)) {
        DrawTextIn(dc, right, area, kCommon | DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        DrawTextIn(dc, state.text.data(), area, kCommon | DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        return;
    }
    UINT format = kCommon;
    if ((state.flags & 0x2) != 0)
        format |= DT_CENTER;
    else if ((state.flags & 0x4) != 0)
        format |= DT_RIGHT;
    else
        format |= DT_LEFT;
    if ((state.flags & 0x10) != 0)
        format |= DT_WORDBREAK;
    else
        format |= DT_SINGLELINE | DT_VCENTER;
    if ((state.flags & 0x80) != 0)
        format |= DT_PATH_ELLIPSIS;
    else if ((state.flags & 0x100) != 0)
        format |= DT_END_ELLIPSIS;
    DrawTextIn(dc, state.text.data(), area, format);
}

void PaintImage(HWND window, ControlState& state, HDC dc) {
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
        HICON icon = reinterpret_cast<HICON>(SendMessageW(window, STM_GETIMAGE, IMAGE_ICON, 0));
        if (icon != nullptr)
            DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        return;
    }
    HBITMAP image = reinterpret_cast<HBITMAP>(SendMessageW(window, STM_GETIMAGE, IMAGE_BITMAP, 0));
    const SIZE size = BitmapSize(image);
    if (image == nullptr || size.cx <= 0)
        return;
    if ((state.flags & 0x2) != 0)
        DrawImage(dc, 0, 0, size.cx, size.cy, image, 255);
    else if ((state.flags & 0x1) != 0)
        DrawTransparent(dc, image, 0, 0);
    else {
        const win::UniqueDc source = win::CreateMemoryDc(dc);
        const win::UniqueSelection selected = win::SelectInto(source.get(), image);
        BitBlt(dc, 0, 0, size.cx, size.cy, source.get(), 0, 0, SRCCOPY);
    }
}

int CaptionWidth(HDC dc, const wchar_t* text) {
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, text, -1, &measure, DT_SINGLELINE | DT_CALCRECT);
    return measure.right - measure.left;
}

void PaintGroup(HWND window, ControlState& state, HDC dc, int w, int h) {
    const int caption = CaptionWidth(dc, state.text.data());
    win::UniquePen frame(CreatePen(PS_SOLID, 1, kGroupFrame));
    if ((state.flags & 0x1) != 0) {
        win::UniqueBrush white(CreateSolidBrush(kWhite));
        const win::UniqueSelection pen = win::SelectInto(dc, frame.get());
        const win::UniqueSelection brush = win::SelectInto(dc, white.get());
        RoundRect(dc, 0, 10, w, h, 10, 10);
        RoundRect(dc, 10, 0, caption + 20, 20, 10, 10);
        // The caption box opens into the frame below it.
        const RECT join{11, 10, caption + 19, 21};
        FillRect(dc, &join, white.get());
    } else {
        const win::UniqueSelection pen = win::SelectInto(dc, frame.get());
        const int r = w - 1;
        const int b = h - 1;
        constexpr int k = 10;  // corner radius
        Line(dc, kGroupFrame, {{1, 10}, {10, 10}});
        Line(dc, kGroupFrame, {{caption + 20, 10}, {r - k, 10}});
        Arc(dc, r - 2 * k, 10, r + 1, 10 + 2 * k + 1, r + 1, 10 + k, r - k, 10);  // top right
        Line(dc, kGroupFrame, {{r, 10 + k}, {r, b - k}});
        Arc(dc, r - 2 * k, b - 2 * k, r + 1, b + 1, r - k, b + 1, r + 1, b - k);  // bottom right
        Line(dc, kGroupFrame, {{r - k, b}, {k, b}});
        Arc(dc, 0, b - 2 * k, 2 * k + 1, b + 1, 0, b - k, k, b + 1);  // bottom left
        Line(dc, kGroupFrame, {{0, b - k}, {0, 10}, {2, 10}});
    }
    SetTextColor(dc, TextColour(window, false));
    DrawTextIn(dc, state.text.data(), {15, 0, w, 20}, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
}

void Paint(HWND window, ControlState& state, HDC target) {
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
    const bool from_cache = state.cache_dc != nullptr && state.kind != Kind::kGroup;
    BitBlt(buffer.get(), 0, 0, w, h, from_cache ? state.cache_dc : target, 0, 0, SRCCOPY);

    win::UniqueFont font;
    if (HasText(state.kind)) {
        const bool bold = state.kind == Kind::kGroup || (state.flags & 0x8) != 0;
        font.reset(FrameworkCreateFont(window, bold ? TRUE : FALSE, state.underline));
    }
    const win::UniqueSelection font_selected = win::SelectInto(buffer.get(), font.get());
    SetBkMode(buffer.get(), TRANSPARENT);

    switch (state.kind) {
        case Kind::kButton:
            PaintButtonFace(window, state, buffer.get(), w, h);
            break;
        case Kind::kRadio:
        case Kind::kCheck:
            PaintTickBox(window, state, buffer.get(), w, h);
            break;
        case Kind::kLink:
            PaintLink(state, buffer.get(), w, h);
            break;
        case Kind::kLabel:
            PaintLabel(window, state, buffer.get(), w, h);
            break;
        case Kind::kImage:
            PaintImage(window, state, buffer.get());
            break;
        case Kind::kGroup:
            PaintGroup(window, state, buffer.get(), w, h);
            break;
    }

    if (state.kind == Kind::kButton && (state.flags & 0x10) == 0) {
        // The face's cut corners keep what lay under them.
        win::UniqueRegion rounded(CreateRoundRectRgn(0, 0, w + 1, h + 1, 8, 10));
        SelectClipRgn(target, rounded.get());
        BitBlt(target, 0, 0, w, h, buffer.get(), 0, 0, SRCCOPY);
        SelectClipRgn(target, nullptr);
        return;
    }
    BitBlt(target, 0, 0, w, h, buffer.get(), 0, 0, SRCCOPY);
}

void TakeBackground(HWND window, ControlState& state, HDC dc) {
    RECT client{};
    GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return;
    if (state.cache_dc == nullptr) {
        state.cache_dc = CreateCompatibleDC(dc);
        state.cache_bitmap.reset(CreateCompatibleBitmap(dc, client.right, client.bottom));
        if (state.cache_dc == nullptr || !state.cache_bitmap) {
            state.DropCache();
            return;
        }
        state.cache_previous = SelectObject(state.cache_dc, state.cache_bitmap.get());
    }
    // The group frame paints over its own target and needs no copy.
    if (state.kind != Kind::kGroup)
        BitBlt(state.cache_dc, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
}

// ---- behaviour ---------------------------------------------------------

void SetRadio(HWND window, ControlState& state, bool on) {
    if (on) {
        // Only the other radio buttons of this group are cleared, each by its
        // own BM_SETCHECK: other controls in the group keep their state.
        HWND first = window;
        while (!(GetWindowLongW(first, GWL_STYLE) & WS_GROUP)) {
            HWND previous = GetWindow(first, GW_HWNDPREV);
            if (previous == nullptr)
                break;
            first = previous;
        }
        for (HWND member = first; member != nullptr; member = GetWindow(member, GW_HWNDNEXT)) {
            if (member != first && (GetWindowLongW(member, GWL_STYLE) & WS_GROUP))
                break;
            if (member == window)
                continue;
            wchar_t class_name[32]{};
            GetClassNameW(member, class_name, 32);
            if (lstrcmpiW(class_name, kRadioClass) == 0)
                SendMessageW(member, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    state.ticked = on;
    Repaint(window);
}

void NotifyParent(HWND window) {
    SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                 reinterpret_cast<LPARAM>(window));
}

// One click, however it came (mouse, BM_CLICK, space).
void Click(HWND window, ControlState& state) {
    switch (state.kind) {
        case Kind::kLink:
            if (lstrlenW(state.target.data()) > 1) {
                ShellExecuteW(GetParent(window), L"open", state.target.data(), nullptr, nullptr,
                              SW_SHOWNORMAL);
            }
            break;
        case Kind::kRadio:
            SetRadio(window, state, true);
            break;
        case Kind::kCheck:
            state.ticked = !state.ticked;
            Repaint(window);
            break;
        default:
            break;
    }
    NotifyParent(window);
}

void StartHover(HWND window, ControlState& state) {
    if (!state.hover) {
        state.hover = true;
        if (state.kind == Kind::kLink)
            state.underline = true;
        Repaint(window);
    }
    SetTimer(window, kHoverTimer, kHoverCheckMs, nullptr);
}

void CheckHover(HWND window, ControlState& state) {
    POINT cursor{};
    RECT bounds{};
    GetCursorPos(&cursor);
    GetWindowRect(window, &bounds);
    if (state.hover && !PtInRect(&bounds, cursor)) {
        state.hover = false;
        state.underline = false;
        Repaint(window);
    }
    if (!state.hover)
        KillTimer(window, kHoverTimer);
}

void PressDown(HWND window, ControlState& state) {
    SetCapture(window);
    state.pressed_by_mouse = true;
    if (state.kind != Kind::kLink)
        SetFocus(window);
    if (state.kind == Kind::kButton || state.kind == Kind::kLink) {
        state.visual = kPressed;
        Repaint(window);
    }
}

void Release(HWND window, ControlState& state, LPARAM point) {
    RECT client{};
    GetClientRect(window, &client);
    const int x = static_cast<short>(LOWORD(point));
    const int y = static_cast<short>(HIWORD(point));
    const bool was_pressed = state.pressed_by_mouse;
    state.pressed_by_mouse = false;
    state.visual = kReleased;
    // Strictly inside: a release on the left or top edge pixel is no click.
    if (was_pressed && x > 0 && x < client.right && y > 0 && y < client.bottom)
        Click(window, state);
    Repaint(window);
    if (GetCapture() == window)
        ReleaseCapture();
}

// STM_SETIMAGE: the system static shows only images of its own type.
LRESULT SetImage(HWND window, WPARAM type, LPARAM image, WNDPROC base) {
    LONG style = GetWindowLongW(window, GWL_STYLE) & ~SS_TYPEMASK;
    style |= type == IMAGE_ICON || type == IMAGE_CURSOR ? SS_ICON : SS_BITMAP;
    SetWindowLongW(window, GWL_STYLE, style);
    const LRESULT previous = CallWindowProcW(base, window, STM_SETIMAGE, type, image);
    RepaintUnder(window);
    return previous;
}

void DeleteOwnedImage(HWND window, Kind kind) {
    if (kind == Kind::kImage) {
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        const bool icon = (style & SS_TYPEMASK) == SS_ICON;
        HANDLE image = reinterpret_cast<HANDLE>(
            SendMessageW(window, STM_GETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, 0));
        if (image != nullptr) {
            if (icon)
                DestroyIcon(static_cast<HICON>(image));
            else
                DeleteObject(image);
        }
    } else if (kind == Kind::kButton || kind == Kind::kCheck) {
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        const bool icon = (style & BS_ICON) != 0;
        HANDLE image = reinterpret_cast<HANDLE>(
            SendMessageW(window, BM_GETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, 0));
        if (image != nullptr) {
            if (icon)
                DestroyIcon(static_cast<HICON>(image));
            else
                DeleteObject(image);
        }
    }
}

LRESULT ControlProcedure(Kind kind, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const WNDPROC base = BaseProcedure(kind);
    if (message == WM_CREATE) {
        auto state = std::make_unique<ControlState>(kind);
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        if (HasText(kind))
            SetText(*state, create->lpszName);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
        return CallWindowProcW(base, window, message, wparam, lparam);
    }
    ControlState* state = StateOf(window);
    if (state == nullptr || base == nullptr) {
        return base != nullptr ? CallWindowProcW(base, window, message, wparam, lparam)
                               : DefWindowProcW(window, message, wparam, lparam);
    }

    switch (message) {
        case FRAMEWORK_MSG_SET_FLAGS:
            state->flags = static_cast<UINT>(lparam);
            if (kind == Kind::kLabel && (state->flags & 0x40) != 0) {
                SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) | SS_NOTIFY);
            }
            if (kind == Kind::kLabel && (state->flags & 0x20) == 0)
                RepaintUnder(window);
            else
                Repaint(window);
            return 0;
        case WM_ERASEBKGND:
            TakeBackground(window, *state, reinterpret_cast<HDC>(wparam));
            return 1;
        case WM_SIZE:
            // The cached background has the old size: take a new one.
            state->DropCache();
            break;
        case WM_PAINT: {
            const win::UniquePaintDc paint = win::BeginWindowPaint(window);
            Paint(window, *state, paint.get());
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(window, *state, reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_DESTROY: {
            KillTimer(window, kHoverTimer);
            DeleteOwnedImage(window, kind);
            const std::unique_ptr<ControlState> owned(state);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return CallWindowProcW(base, window, message, wparam, lparam);
        }
        default:
            break;
    }

    if (HasText(kind)) {
        switch (message) {
            case WM_SETTEXT:
                SetText(*state, reinterpret_cast<const wchar_t*>(lparam));
                if (kind == Kind::kLabel && (state->flags & 0x20) == 0)
                    RepaintUnder(window);
                else
                    Repaint(window);
                return TRUE;
            case WM_GETTEXT:
                if (wparam == 0)
                    return 0;
                return static_cast<LRESULT>(CopyText(
                    state->text.data(),
                    std::span<wchar_t>(reinterpret_cast<wchar_t*>(lparam),
                                       std::min<std::size_t>(wparam, state->text.size()))));
            case WM_GETTEXTLENGTH:
                return lstrlenW(state->text.data());
            case WM_ENABLE:
                if (kind == Kind::kGroup) {
                    const win::UniqueWindowDc dc = win::GetWindowDc(window);
                    win::UniqueFont bold(FrameworkCreateFont(window, TRUE, FALSE));
                    const win::UniqueSelection selected = win::SelectInto(dc.get(), bold.get());
                    const RECT caption{0, 0, CaptionWidth(dc.get(), state->text.data()) + 21, 21};
                    RepaintUnder(window, &caption);
                } else if (kind == Kind::kLabel && (state->flags & 0x20) == 0) {
                    RepaintUnder(window);
                } else {
                    Repaint(window);
                }
                return 0;
            default:
                break;
        }
    }

    if (kind == Kind::kImage && message == STM_SETIMAGE)
        return SetImage(window, wparam, lparam, base);

    if (TracksMouse(kind)) {
        switch (message) {
            case WM_MOUSEMOVE:
                StartHover(window, *state);
                return 0;
            case WM_TIMER:
                if (wparam == kHoverTimer) {
                    CheckHover(window, *state);
                    return 0;
                }
                break;
            case WM_LBUTTONDOWN:
                PressDown(window, *state);
                return 0;
            case WM_LBUTTONDBLCLK:
                PressDown(window, *state);
                return 0;
            case WM_LBUTTONUP:
                Release(window, *state, lparam);
                return 0;
            case WM_CAPTURECHANGED:
                if (state->pressed_by_mouse && reinterpret_cast<HWND>(lparam) != window) {
                    state->pressed_by_mouse = false;
                    state->visual = kNormal;
                    Repaint(window);
                }
                return 0;
            case BM_CLICK:
                Click(window, *state);
                return 0;
            case WM_KEYDOWN:
                if (wparam == VK_SPACE && kind != Kind::kLink)
                    return 0;
                break;
            case WM_KEYUP:
                if (wparam == VK_SPACE && kind != Kind::kLink) {
                    Click(window, *state);
                    return 0;
                }
                break;
            case WM_SETFOCUS:
            case WM_KILLFOCUS:
                // The system button would draw its own focus look over ours.
                state->focus = message == WM_SETFOCUS;
                return 0;
            default:
                break;
        }
    }

    switch (kind) {
        case Kind::kButton:
            if (message == FRAMEWORK_MSG_GET_BUTTON_FLAGS)
                return static_cast<LRESULT>(state->flags);
            if (message == BM_SETSTATE || message == WM_UPDATEUISTATE)
                return 0;
            break;
        case Kind::kLink:
            if (message == FRAMEWORK_MSG_SET_LINK_TARGET) {
                CopyText(lparam != 0 ? reinterpret_cast<const wchar_t*>(lparam) : L"",
                         state->target);
                return 0;
            }
            break;
        case Kind::kRadio:
            if (message == BM_GETCHECK)
                return state->ticked ? BST_CHECKED : BST_UNCHECKED;
            if (message == BM_SETCHECK) {
                SetRadio(window, *state, (wparam & 1) != 0);
                return 0;
            }
            if (message == BM_SETSTATE)
                return 0;
            break;
        case Kind::kCheck:
            if (message == BM_GETCHECK)
                return state->ticked ? BST_CHECKED : BST_UNCHECKED;
            if (message == BM_SETCHECK) {
                state->ticked = (wparam & 1) != 0;
                Repaint(window);
                return 0;
            }
            if (message == BM_SETSTATE) {
                state->ticked = !state->ticked;
                NotifyParent(window);
                Repaint(window);
                return 0;
            }
            if (message == WM_NCPAINT)
                return 0;
            break;
        default:
            break;
    }

    if ((kind == Kind::kButton || kind == Kind::kCheck) && message == BM_SETIMAGE) {
        LONG style = GetWindowLongW(window, GWL_STYLE) & ~(BS_BITMAP | BS_ICON);
        style |= wparam == IMAGE_ICON ? BS_ICON : BS_BITMAP;
        SetWindowLongW(window, GWL_STYLE, style);
    }
    return CallWindowProcW(base, window, message, wparam, lparam);
}

template <Kind kind>
LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return ControlProcedure(kind, window, message, wparam, lparam);
}

constexpr std::array<ClassEntry, 7> kClasses = {{
    {L"CUST:LABEL", L"STATIC", Kind::kLabel, Procedure<Kind::kLabel>},
    {L"CUST:IMAGE", L"STATIC", Kind::kImage, Procedure<Kind::kImage>},
    {L"CUST:BUTTON", L"BUTTON", Kind::kButton, Procedure<Kind::kButton>},
    {L"CUST:WEBLINK", L"BUTTON", Kind::kLink, Procedure<Kind::kLink>},
    {L"CUST:RADIOBUTTON", L"BUTTON", Kind::kRadio, Procedure<Kind::kRadio>},
    {L"CUST:CHECKBUTTON", L"BUTTON", Kind::kCheck, Procedure<Kind::kCheck>},
    {L"CUST:GROUP", L"STATIC", Kind::kGroup, Procedure<Kind::kGroup>},
}};

bool RegisterOne(const ClassEntry& entry) {
    WNDCLASSEXW base{};
    base.cbSize = sizeof(base);
    if (!GetClassInfoExW(nullptr, entry.base, &base))
        return false;
    if (entry.base[0] == L'S')
        g_static_procedure = base.lpfnWndProc;
    else
        g_button_procedure = base.lpfnWndProc;

    const HMODULE host = HostModule();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(host, entry.name, &existing)) {
        if (existing.lpfnWndProc == entry.procedure)
            return true;
        // Left by a copy of the framework that is gone or lives elsewhere.
        UnregisterClassW(entry.name, host);
    }
    WNDCLASSEXW mine = base;
    mine.cbSize = sizeof(mine);
    mine.lpszClassName = entry.name;
    mine.lpfnWndProc = entry.procedure;
    mine.hInstance = host;
    mine.style |= CS_GLOBALCLASS;
    return RegisterClassExW(&mine) != 0;
}

}  // namespace

bool RegisterControlClasses() {
    bool group = false;
    for (const ClassEntry& entry : kClasses) {
        const bool made = RegisterOne(entry);
        if (!made && (entry.kind == Kind::kLabel || entry.kind == Kind::kImage))
            return false;
        if (entry.kind == Kind::kGroup)
            group = made;
    }
    return group;
}

void UnregisterControlClasses() {
    const HMODULE host = HostModule();
    for (const ClassEntry& entry : kClasses) {
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof(existing);
        if (GetClassInfoExW(host, entry.name, &existing) && existing.lpfnWndProc == entry.procedure)
            UnregisterClassW(entry.name, host);
    }
}

}  // namespace olvex::dlgframe

// The tabbed window: the large banner, an owner-painted tab control with up
// to 15 pages (framework dialogs under the host) and an optional dialog along
// the bottom. The window fits itself to the page shown. One at a time: its
// state lives in process globals.
#include "dlgframe/tabbed_window.h"

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>

#include "dlgframe/dialog_host.h"
#include "dlgframe/frame_palette.h"
#include "dlgframe/frame_style.h"
#include "dlgframe/framework_exports.h"
#include "dlgframe/framework_state.h"
#include "win/unique.h"
#include "dlgframe/resource_ids.h"
#include "dlgframe/tab_layout.h"

namespace olvex::dlgframe {
namespace {

// The class name when the resource DLLs have none.
constexpr wchar_t kFallbackClassName[] = L"UlmFrameTabbedWindow";
constexpr wchar_t kNotFound[] = L"Not Found";
constexpr UINT_PTR kTabHoverTimer = 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr COLORREF kTabOutlineBlue = RGB(116, 151, 180);

struct TabbedWindow {
    HWND main = nullptr;
    HWND tabs = nullptr;
    std::array<HWND, kTabMaxPages> pages{};
    int page_count = 0;
    int shown = -1;
    HWND bottom = nullptr;
    std::wstring title;
    std::wstring class_name;
    WNDPROC tab_procedure = nullptr;
    HFONT arial = nullptr;
    bool quit_on_destroy = true;  // not when creation itself failed
};

TabbedWindow g_window;
std::wstring g_registered_class;
HFONT g_tab_font = nullptr;  // made once, kept for the process

Rgb ToRgb(COLORREF c) {
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

std::wstring LoadText(UINT id, const wchar_t* fallback) {
    std::array<wchar_t, 101> buffer{};
    if (FrameworkLoadString(nullptr, id, buffer.data(), static_cast<int>(buffer.size())) > 0)
        return buffer.data();
    return fallback;
}

HFONT TabFont() {
    if (g_tab_font != nullptr)
        return g_tab_font;
    std::array<wchar_t, 101> height{};
    std::array<wchar_t, LF_FACESIZE> face{};
    FrameworkLoadString(nullptr, IDS_FRAME_TAB_FONT_HEIGHT, height.data(),
                        static_cast<int>(height.size()));
    FrameworkLoadString(nullptr, IDS_FRAME_TAB_FONT_FACE, face.data(),
                        static_cast<int>(face.size()));
    LOGFONTW font{};
    font.lfHeight = ParseDecimal(height.data());
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, face.data(), LF_FACESIZE);
    g_tab_font = CreateFontIndirectW(&font);
    return g_tab_font;
}

// One tab: a vertical gradient with cut top corners, a three-pen outline
// and its label centred on one line.
void DrawTab(HDC dc, HWND tabs, int index, PaletteEntry top, PaletteEntry bottom, int extra) {
    RECT item{};
    if (!TabCtrl_GetItemRect(tabs, index, &item))
        return;
    item.bottom += extra;
    const int h = item.bottom - item.top;
    for (int row = 0; row < h; ++row) {
        const Rgb c = GradientColour(ToRgb(Colour(top)), ToRgb(Colour(bottom)), row, h);
        win::UniqueBrush brush(CreateSolidBrush(RGB(c.red, c.green, c.blue)));
        // Cut top corners: the first rows start further in.
        const int cut = row < 3 ? 3 - row : 0;
        const RECT line{item.left + cut, item.top + row, item.right - cut, item.top + row + 1};
        FillRect(dc, &line, brush.get());
    }
    const auto outline = [&](COLORREF colour, int inset) {
        win::UniquePen pen(CreatePen(PS_SOLID, 1, colour));
        const win::UniqueSelection selected = win::SelectInto(dc, pen.get());
        const POINT points[] = {{item.left + inset, item.bottom},
                                {item.left + inset, item.top + 3 + inset},
                                {item.left + 3 + inset, item.top + inset},
                                {item.right - 4 - inset, item.top + inset},
                                {item.right - 1 - inset, item.top + 3 + inset},
                                {item.right - 1 - inset, item.bottom}};
        Polyline(dc, points, 6);
    };
    outline(RGB(0, 0, 0), 0);
    outline(kTabOutlineBlue, 1);
    outline(RGB(255, 255, 255), 2);

    std::array<wchar_t, 51> label{};
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = label.data();
    tab.cchTextMax = static_cast<int>(label.size());
    SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&tab));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(PaletteEntry::kText));
    RECT text = item;
    DrawTextW(dc, label.data(), -1, &text, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

void PaintTabs(HWND tabs, HDC dc) {
    const win::UniqueSelection font = win::SelectInto(dc, TabFont());
    const int count = TabCtrl_GetItemCount(tabs);
    const int current = TabCtrl_GetCurSel(tabs);
    const int hovered = static_cast<int>(GetWindowLongPtrW(tabs, GWLP_USERDATA));
    for (int i = 0; i < count; ++i) {
        if (i == current)
            continue;
        if (i == hovered)
            DrawTab(dc, tabs, i, PaletteEntry::kTabHover1, PaletteEntry::kTabHover2, 0);
        else
            DrawTab(dc, tabs, i, PaletteEntry::kTabNormal1, PaletteEntry::kTabNormal2, 0);
    }
    if (current >= 0 && current < count)
        DrawTab(dc, tabs, current, PaletteEntry::kTabCurrent1, PaletteEntry::kTabCurrent2, 2);
}

void EraseTabs(HWND tabs, HDC dc) {
    RECT client{};
    GetClientRect(tabs, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (TabCtrl_GetItemCount(tabs) == 0)
        return;
    // The page area under the tab row, framed.
    RECT area = client;
    area.top = kTabRowHeight;
    const auto line = [&](COLORREF colour, POINT from, POINT to) {
        win::UniquePen pen(CreatePen(PS_SOLID, 1, colour));
        const win::UniqueSelection selected = win::SelectInto(dc, pen.get());
        MoveToEx(dc, from.x, from.y, nullptr);
        LineTo(dc, to.x, to.y);
    };
    const int r = area.right - 1;
    const int b = area.bottom - 1;
    line(kTabOutlineBlue, {area.left, b}, {area.left, area.top});
    line(kTabOutlineBlue, {area.left, area.top}, {r, area.top});
    line(RGB(255, 255, 255), {area.left + 1, b}, {area.left + 1, area.top + 1});
    line(RGB(255, 255, 255), {area.left + 1, area.top + 1}, {r, area.top + 1});
    line(RGB(0, 0, 0), {r, area.top}, {r, b});
    line(RGB(0, 0, 0), {area.left, b}, {r + 1, b});
}

void SetHoveredTab(HWND tabs, int index) {
    const int previous = static_cast<int>(GetWindowLongPtrW(tabs, GWLP_USERDATA));
    if (previous == index)
        return;
    SetWindowLongPtrW(tabs, GWLP_USERDATA, index);
    for (const int tab : {previous, index}) {
        RECT item{};
        if (tab >= 0 && TabCtrl_GetItemRect(tabs, tab, &item)) {
            item.bottom += 2;
            InvalidateRect(tabs, &item, TRUE);
        }
    }
}

LRESULT CALLBACK TabPainter(HWND tabs, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            const win::UniquePaintDc paint = win::BeginWindowPaint(tabs);
            PaintTabs(tabs, paint.get());
            return 0;
        }
        case WM_ERASEBKGND:
            EraseTabs(tabs, reinterpret_cast<HDC>(wparam));
            return 1;
        case WM_MOUSEMOVE: {
            TCHITTESTINFO hit{};
            hit.pt = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            const int index = static_cast<int>(
                SendMessageW(tabs, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
            if (index >= 0)
                SetHoveredTab(tabs, index);
            SetTimer(tabs, kTabHoverTimer, 100, nullptr);
            break;
        }
        case WM_TIMER:
            if (wparam == kTabHoverTimer) {
                POINT cursor{};
                RECT bounds{};
                GetCursorPos(&cursor);
                GetWindowRect(tabs, &bounds);
                if (!PtInRect(&bounds, cursor)) {
                    SetHoveredTab(tabs, -1);
                    KillTimer(tabs, kTabHoverTimer);
                }
                return 0;
            }
            break;
        default:
            break;
    }
    return CallWindowProcW(g_window.tab_procedure, tabs, message, wparam, lparam);
}

SIZE WindowSize(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

void ShowCurrentTab() {
    TabbedWindow& w = g_window;
    if (w.shown >= 0 && w.shown < kTabMaxPages && w.pages[w.shown] != nullptr)
        ShowWindow(w.pages[w.shown], SW_HIDE);
    const int current = TabCtrl_GetCurSel(w.tabs);
    if (current < 0 || current >= kTabMaxPages || w.pages[current] == nullptr)
        return;
    HWND page = w.pages[current];
    w.shown = current;
    SendMessageW(page, FRAMEWORK_MSG_PAGE_SHOWING, 0, 0);

    const SIZE page_size = WindowSize(page);
    TabLayoutInput input;
    input.page_width = page_size.cx;
    input.page_height = page_size.cy;
    input.has_bottom = w.bottom != nullptr;
    if (w.bottom != nullptr) {
        const SIZE bottom = WindowSize(w.bottom);
        input.bottom_width = bottom.cx;
        input.bottom_height = bottom.cy;
    }
    input.banner_height = State().large_banner_height;
    input.tab_count = TabCtrl_GetItemCount(w.tabs);
    const TabLayout layout = ComputeTabLayout(input);

    // The window is sized from the client area it must hold, so neither the
    // page nor the bottom dialog is ever cut off by the frame.
    RECT outer{0, 0, layout.client_width, layout.client_height};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongW(w.main, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(w.main, GWL_EXSTYLE)));
    SetWindowPos(w.main, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (layout.tab_width > 0) {
        SendMessageW(w.tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(layout.tab_width, layout.tab_height));
    }
    SetWindowPos(w.tabs, nullptr, layout.tab_control.x, layout.tab_control.y,
                 layout.tab_control.width, layout.tab_control.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(page, HWND_TOP, layout.page.x, layout.page.y, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (w.bottom != nullptr) {
        SetWindowPos(w.bottom, nullptr, layout.bottom.x, layout.bottom.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    TabCtrl_HighlightItem(w.tabs, current, TRUE);
    SetFocus(w.tabs);
    InvalidateRect(w.main, nullptr, TRUE);
}

void CreatePages(const FrameworkPage* pages, int count) {
    TabbedWindow& w = g_window;
    for (int i = 0; i < count; ++i) {
        const FrameworkPage& entry = pages[i];
        const HMODULE resource = State().resource;
        if (resource == nullptr ||
            FindResourceW(resource, MAKEINTRESOURCEW(entry.templateId & 0xFFFF), RT_DIALOG) ==
                nullptr)
            continue;
        HostBlock block{entry.dialogProc, entry.userData, entry.hostFlags};
        w.pages[i] = CreateDialogParamW(resource, MAKEINTRESOURCEW(entry.templateId & 0xFFFF),
                                        w.tabs, HostProcedure, reinterpret_cast<LPARAM>(&block));
        if (w.pages[i] != nullptr)
            ShowWindow(w.pages[i], SW_HIDE);
    }
    w.page_count = count;
    TabCtrl_DeleteAllItems(w.tabs);
    for (int i = 0; i < count; ++i) {
        std::array<wchar_t, 257> label{};
        if (FrameworkLoadString(nullptr, pages[i].labelStringId, label.data(), 256) <= 0)
            lstrcpynW(label.data(), kNotFound, static_cast<int>(label.size()));
        TCITEMW tab{};
        tab.mask = TCIF_TEXT | TCIF_IMAGE;
        tab.pszText = label.data();
        tab.iImage = -1;
        SendMessageW(w.tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&tab));
    }
    if (count > 0) {
        TabCtrl_SetCurSel(w.tabs, 0);
        ShowCurrentTab();
    }
}

void PaintMain(HWND window) {
    const win::UniquePaintDc paint = win::BeginWindowPaint(window);
    RECT client{};
    GetClientRect(window, &client);
    DrawBanner(paint.get(), client.right, AddStyleBit(kHostLargeBanner, State().style));
}

LRESULT CALLBACK MainProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header != nullptr && header->hwndFrom == g_window.tabs &&
                header->code == static_cast<UINT>(TCN_SELCHANGE)) {
                ShowCurrentTab();
                return 0;
            }
            break;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == FRAMEWORK_TABBED_CLOSE) {
                DestroyWindow(window);
                return 0;
            }
            break;
        case WM_PAINT:
            PaintMain(window);
            return 0;
        case WM_DESTROY: {
            TabbedWindow& w = g_window;
            if (w.bottom != nullptr)
                DestroyWindow(w.bottom);
            for (HWND& page : w.pages) {
                if (page != nullptr)
                    DestroyWindow(page);
                page = nullptr;
            }
            if (w.tabs != nullptr)
                DestroyWindow(w.tabs);
            if (w.arial != nullptr)
                DeleteObject(w.arial);
            const bool quit = w.quit_on_destroy;
            w = TabbedWindow{};
            if (quit)
                PostQuitMessage(0);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

bool RegisterMainClass(const std::wstring& name) {
    const HMODULE host = HostModule();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(host, name.c_str(), &existing)) {
        if (existing.lpfnWndProc == MainProcedure)
            return true;
        UnregisterClassW(name.c_str(), host);
    }
    WNDCLASSEXW type{};
    type.cbSize = sizeof(type);
    type.style = CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = MainProcedure;
    type.hInstance = host;
    const HMODULE product = State().product;
    if (product != nullptr) {
        type.hIcon = static_cast<HICON>(LoadImageW(product, MAKEINTRESOURCEW(IDI_FRAME_LARGE),
                                                   IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        type.hIconSm = static_cast<HICON>(LoadImageW(product, MAKEINTRESOURCEW(IDI_FRAME_SMALL),
                                                     IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                     GetSystemMetrics(SM_CYSMICON), 0));
    }
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    type.lpszClassName = name.c_str();
    if (RegisterClassExW(&type) == 0)
        return false;
    g_registered_class = name;
    return true;
}

HWND CreateTabbedWindow(FrameworkPage* pages, int count, FrameworkBottomDialog* bottom) {
    // One tabbed window at a time: a second would overwrite the first's state.
    if (!AcceptablePageCount(pages != nullptr, count) || g_window.main != nullptr)
        return nullptr;
    TabbedWindow& w = g_window;
    w = TabbedWindow{};
    w.title = LoadText(IDS_FRAME_TITLE, L"");
    w.class_name = LoadText(IDS_FRAME_CLASS, kFallbackClassName);
    if (w.class_name.empty())
        w.class_name = kFallbackClassName;
    if (!RegisterMainClass(w.class_name))
        return nullptr;
    w.main = CreateWindowExW(0, w.class_name.c_str(), w.title.c_str(), kWindowStyle, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                             HostModule(), nullptr);
    if (w.main == nullptr)
        return nullptr;

    if (bottom != nullptr) {
        const HMODULE resource = State().resource;
        if (resource != nullptr &&
            FindResourceW(resource, MAKEINTRESOURCEW(bottom->templateId & 0xFFFF), RT_DIALOG)) {
            w.bottom = CreateDialogParamW(resource, MAKEINTRESOURCEW(bottom->templateId & 0xFFFF),
                                          w.main, bottom->dialogProc, bottom->createParam);
        }
        bottom->window = w.bottom;
    }

    RECT client{};
    GetClientRect(w.main, &client);
    w.tabs =
        CreateWindowExW(0, WC_TABCONTROLW, L"TabCont", WS_CHILD | WS_VISIBLE | TCS_FIXEDWIDTH, 0, 0,
                        client.right, client.bottom, w.main, nullptr,
                        State().resource != nullptr ? State().resource : HostModule(), nullptr);
    if (w.tabs == nullptr) {
        w.quit_on_destroy = false;
        DestroyWindow(w.main);
        return nullptr;
    }
    LOGFONTW arial{};
    arial.lfHeight = 8;
    arial.lfPitchAndFamily = FF_SWISS | VARIABLE_PITCH;
    lstrcpynW(arial.lfFaceName, L"Arial", LF_FACESIZE);
    w.arial = CreateFontIndirectW(&arial);
    SendMessageW(w.tabs, WM_SETFONT, reinterpret_cast<WPARAM>(w.arial), FALSE);
    SetWindowLongPtrW(w.tabs, GWLP_USERDATA, -1);
    w.tab_procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(w.tabs, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TabPainter)));

    CreatePages(pages, count);

    RECT desktop{};
    RECT bounds{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(w.main, &bounds);
    SetWindowPos(w.main, nullptr,
                 desktop.left + (desktop.right - desktop.left - (bounds.right - bounds.left)) / 2,
                 desktop.top + (desktop.bottom - desktop.top - (bounds.bottom - bounds.top)) / 2, 0,
                 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(w.main, SW_SHOW);
    UpdateWindow(w.main);
    return w.main;
}

}  // namespace

void UnregisterTabbedWindowClass() {
    if (g_registered_class.empty())
        return;
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExW(HostModule(), g_registered_class.c_str(), &existing) &&
        existing.lpfnWndProc == MainProcedure)
        UnregisterClassW(g_registered_class.c_str(), HostModule());
}

}  // namespace olvex::dlgframe

using namespace olvex::dlgframe;

extern "C" {

HWND __cdecl FrameworkCreateTabbedWindow(FrameworkPage* pages, int count) {
    return CreateTabbedWindow(pages, count, nullptr);
}

HWND __cdecl FrameworkCreateTabbedWindowEx(FrameworkPage* pages, int count,
                                           FrameworkBottomDialog* bottom) {
    return CreateTabbedWindow(pages, count, bottom);
}

}  // extern "C"

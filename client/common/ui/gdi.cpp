#include "client/common/ui/gdi.h"

#include <algorithm>
#include <string>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/resource_values.h"

namespace olvex::ui {
namespace {

HINSTANCE OrProgram(HINSTANCE instance) {
    return instance != nullptr ? instance : GetModuleHandleW(nullptr);
}

}  // namespace

WaitCursor::WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)))) {}

WaitCursor::~WaitCursor() {
    SetCursor(previous_ != nullptr ? previous_ : LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
}

std::wstring LoadText(UINT id, HINSTANCE instance) {
    const wchar_t* text = nullptr;
    // A zero buffer size hands out the resource's own text, not terminated.
    const int length = LoadStringW(OrProgram(instance), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr)
        return {};
    return std::wstring(text, static_cast<std::size_t>(length));
}

win::UniqueFont CreatePointFont(std::wstring_view face, int tenths_of_point, int weight,
                                bool underline, HDC dc) {
    LOGFONTW description{};
    const int pixels_per_inch = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    description.lfHeight = FontHeightForTenthsOfPoint(tenths_of_point, pixels_per_inch);
    description.lfWeight = weight;
    description.lfUnderline = underline ? TRUE : FALSE;
    description.lfCharSet = DEFAULT_CHARSET;
    const std::size_t length = std::min(face.size(), std::size(description.lfFaceName) - 1);
    face.copy(description.lfFaceName, length);
    return win::UniqueFont(CreateFontIndirectW(&description));
}

win::UniqueFont CreatePointFontFromResources(UINT face_id, UINT points_id, int weight,
                                             bool underline, HDC dc, HINSTANCE instance) {
    const std::wstring face = LoadText(face_id, instance);
    const auto points = ParsePointSize(ToAnsi(LoadText(points_id, instance)));
    if (face.empty() || !points)
        return win::UniqueFont();
    return CreatePointFont(face, *points * 10, weight, underline, dc);
}

COLORREF ColorFromResource(UINT id, COLORREF fallback, HINSTANCE instance) {
    const auto rgb = ParseRgb(ToAnsi(LoadText(id, instance)));
    return rgb ? RGB(rgb->red, rgb->green, rgb->blue) : fallback;
}

void StretchBitmap(HDC dc, HBITMAP bitmap, const RECT& target) {
    BITMAP info{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0)
        return;
    const win::UniqueDc memory = win::CreateMemoryDc(dc);
    const win::UniqueSelection selected = win::SelectInto(memory.get(), bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
               memory.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
}

void TransparentLabels::Add(int id, std::optional<COLORREF> colour) {
    labels_[id] = colour;
}

HBRUSH TransparentLabels::Apply(HDC dc, HWND control) const {
    const auto found = labels_.find(GetDlgCtrlID(control));
    if (found == labels_.end())
        return nullptr;
    SetBkMode(dc, TRANSPARENT);
    if (found->second)
        SetTextColor(dc, *found->second);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void SetLabelText(HWND parent, int id, std::wstring_view text) {
    const HWND label = GetDlgItem(parent, id);
    if (label == nullptr)
        return;
    SetWindowTextW(label, std::wstring(text).c_str());
    RECT rect{};
    GetWindowRect(label, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    InvalidateRect(parent, &rect, TRUE);
    InvalidateRect(label, nullptr, TRUE);
}

LinkCursor::LinkCursor(int cursor_id, HINSTANCE instance)
    : hand_(LoadCursorW(OrProgram(instance), MAKEINTRESOURCEW(cursor_id))) {
    // A null cursor would hide the pointer over every link.
    if (hand_ == nullptr)
        hand_ = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));  // IDC_HAND
}

bool LinkCursor::Update() const {
    POINT position{};
    GetCursorPos(&position);
    for (const HWND link : links_) {
        RECT rect{};
        if (IsWindowVisible(link) && GetWindowRect(link, &rect) && PtInRect(&rect, position)) {
            SetCursor(hand_);
            return true;
        }
    }
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
    return false;
}

}  // namespace olvex::ui

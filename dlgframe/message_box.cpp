// The framework's message box: template 182 under the dialog host, buttons
// chosen by type, sized to its text and centred on the screen.
#include <array>
#include <vector>

#include "dlgframe/dialog_host.h"
#include "dlgframe/framework_exports.h"
#include "dlgframe/framework_state.h"
#include "win/unique.h"
#include "dlgframe/message_box_layout.h"
#include "dlgframe/resource_ids.h"

namespace olvex::dlgframe {
namespace {

struct MessageBoxBlock {
    const wchar_t* text = nullptr;
    const wchar_t* caption = nullptr;
    int type = 0;
    LPARAM extra = 0;
};

constexpr int kTextChars = 2046;
constexpr int kCaptionChars = 256;

RECT ChildRect(HWND dialog, HWND child) {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

std::optional<Extent> MeasureText(HWND text_control, const wchar_t* text, Extent control) {
    const win::UniqueWindowDc dc = win::GetWindowDc(text_control);
    win::UniqueFont font(FrameworkCreateFont(text_control, FALSE, FALSE));
    const win::UniqueSelection selected = win::SelectInto(dc.get(), font.get());
    const Extent limit = MessageBoxMeasureLimit(control);
    RECT area{0, 0, limit.width, limit.height};
    if (DrawTextW(dc.get(), text, -1, &area,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOCLIP) == 0)
        return std::nullopt;
    return Extent{area.right - area.left, area.bottom - area.top};
}

void CentreOnDesktop(HWND dialog) {
    RECT desktop{};
    RECT bounds{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &bounds);
    const int w = bounds.right - bounds.left;
    const int h = bounds.bottom - bounds.top;
    SetWindowPos(dialog, nullptr, desktop.left + (desktop.right - desktop.left - w) / 2,
                 desktop.top + (desktop.bottom - desktop.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void LayOut(HWND dialog, const MessageBoxBlock& block, SIZE button) {
    HWND text_control = GetDlgItem(dialog, IDC_FRAME_MESSAGE_TEXT);
    RECT client{};
    GetClientRect(dialog, &client);
    const int minimum = MessageBoxMinimumClientWidth(block.type, button.cx);
    MessageBoxGrowth growth;
    if (text_control != nullptr) {
        const RECT place = ChildRect(dialog, text_control);
        const Extent control{place.right - place.left, place.bottom - place.top};
        growth = MessageBoxGrowthFor(
            control, MeasureText(text_control, block.text ? block.text : L"", control),
            client.right, minimum);
        SetWindowPos(text_control, nullptr, 0, 0, control.width + growth.text_width,
                     control.height + growth.text_height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        growth.dialog_width = std::max(0, minimum - static_cast<int>(client.right));
    }
    RECT bounds{};
    GetWindowRect(dialog, &bounds);
    SetWindowPos(dialog, nullptr, 0, 0, bounds.right - bounds.left + growth.dialog_width,
                 bounds.bottom - bounds.top + growth.dialog_height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreOnDesktop(dialog);
}

void CreateButtons(HWND dialog, int type, SIZE button) {
    const auto buttons = MessageBoxButtons(type);
    RECT client{};
    GetClientRect(dialog, &client);
    const std::vector<int> lefts =
        MessageBoxButtonLefts(static_cast<int>(buttons.size()), client.right / 2, button.cx);
    const int top = MessageBoxButtonTop(client.bottom, button.cy);
    const LPARAM font = SendMessageW(dialog, WM_GETFONT, 0, 0);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        std::array<wchar_t, 64> caption{};
        FrameworkLoadString(State().resource, buttons[i].caption_string, caption.data(),
                            static_cast<int>(caption.size()));
        HWND control = CreateWindowExW(
            0, L"CUST:BUTTON", caption.data(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
            lefts[i], top, button.cx, button.cy, dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttons[i].command)), HostModule(),
            nullptr);
        if (control != nullptr)
            SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    }
}

INT_PTR CALLBACK MessageBoxProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto& block = *reinterpret_cast<const MessageBoxBlock*>(lparam);
            SetWindowLongPtrW(dialog, DWLP_USER, block.type);
            SIZE button{75, 23};
            if (HWND placeholder = GetDlgItem(dialog, IDC_FRAME_BUTTON_PLACEHOLDER)) {
                const RECT place = ChildRect(dialog, placeholder);
                button = {place.right - place.left, place.bottom - place.top};
                // It only gives the buttons their size.
                ShowWindow(placeholder, SW_HIDE);
            }
            LayOut(dialog, block, button);
            CreateButtons(dialog, block.type, button);
            HWND text_control = GetDlgItem(dialog, IDC_FRAME_MESSAGE_TEXT);
            SendMessageW(text_control, FRAMEWORK_MSG_SET_FLAGS, 0, FRAMEWORK_LABEL_WRAP);
            SetWindowTextW(dialog, block.caption ? block.caption : L"");
            SetWindowTextW(text_control, block.text ? block.text : L"");
            return TRUE;
        }
        case WM_COMMAND: {
            const int type = static_cast<int>(GetWindowLongPtrW(dialog, DWLP_USER));
            if (const auto result = MessageBoxCommandResult(type, LOWORD(wparam)))
                EndDialog(dialog, *result);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace
}  // namespace olvex::dlgframe

using namespace olvex::dlgframe;

extern "C" {

int __cdecl FrameworkMessageBox(HWND parent, const WCHAR* text, const WCHAR* caption, int type,
                                LPARAM unused) {
    MessageBoxBlock block{text, caption, type, unused};
    return static_cast<int>(
        FrameworkDialogBox(nullptr, IDD_FRAME_MESSAGE_BOX, parent, MessageBoxProcedure,
                           reinterpret_cast<LPARAM>(&block), FRAMEWORK_HOST_SMALL_BANNER | 0x8));
}

int __cdecl FrameworkMessageBoxById(HMODULE module, HWND parent, UINT textId, UINT captionId,
                                    int type, LPARAM unused) {
    std::vector<wchar_t> text(kTextChars, L'\0');
    std::vector<wchar_t> caption(kCaptionChars, L'\0');
    FrameworkLoadString(module, textId, text.data(), kTextChars);
    FrameworkLoadString(module, captionId, caption.data(), kCaptionChars);
    return FrameworkMessageBox(parent, text.data(), caption.data(), type, unused);
}

}  // extern "C"

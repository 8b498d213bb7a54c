#include "client/protect/alert_dialogs.h"

#include <utility>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/system_seams.h"
#include "client/common/url_lookup.h"
#include "client/protect/dialog_colours.h"
#include "client/protect/main_program.h"
#include "client/protect/protection_layout.h"
#include "client/protect/protection_messages.h"
#include "client/protect/wakenor_resources.h"

namespace olvex::protect {
namespace {

constexpr char kStopReminderUrlKey[] = "STOP_SCANREMINDER_URL";
constexpr UINT_PTR kLookForMainProgramTimer = 1;
constexpr UINT kLookIntervalMs = 250;
constexpr int kLooksForMainProgram = 40;

// The reminder's picture is 320 by 170 pixels: the buttons stand on it at
// this height, the link under them.
constexpr int kButtonsTop = 104;
constexpr int kButtonGap = 16;
constexpr int kLinkTop = 140;
constexpr int kLinkHeight = 16;

COLORREF ColourFromString(UINT id) {
    return static_cast<COLORREF>(ParseColour(ui::ToAnsi(ui::LoadText(id))));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0)
        return {0, 0};
    return {info.bmWidth, info.bmHeight};
}

std::array<win::UniqueBitmap, 4> LoadFaces(HINSTANCE instance, const wchar_t* name) {
    std::array<win::UniqueBitmap, 4> faces;
    const wchar_t suffixes[] = {L'U', L'D', L'F', L'X'};
    for (std::size_t i = 0; i < faces.size(); ++i)
        faces[i].reset(LoadBitmapW(instance, (std::wstring(name) + suffixes[i]).c_str()));
    return faces;
}

// The dialog's static text without an id: its message.
HWND MessageText(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const auto id = static_cast<WORD>(GetDlgCtrlID(child));
        wchar_t name[16] = {};
        GetClassNameW(child, name, 16);
        if (id == 0xFFFF && _wcsicmp(name, L"Static") == 0)
            return child;
    }
    return nullptr;
}

}  // namespace

void PlaceAtDesktopCorner(HWND window) {
    RECT desktop{};
    RECT own{};
    if (!GetClientRect(GetDesktopWindow(), &desktop) || !GetWindowRect(window, &own))
        return;
    const ScreenRect placed =
        PlacedAtCorner({own.left, own.top, own.right, own.bottom},
                       {desktop.left, desktop.top, desktop.right, desktop.bottom});
    MoveWindow(window, placed.left, placed.top, placed.right - placed.left,
               placed.bottom - placed.top, TRUE);
}

AlertDialog::AlertDialog(int template_id, HINSTANCE instance)
    : ui::Dialog(template_id, instance),
      colour_(ColourFromString(IDS_ALERT_COLOUR)),
      background_(CreateSolidBrush(colour_)) {}

HBRUSH AlertDialog::OnControlColor(HDC dc, HWND control, UINT message) {
    DialogBackgroundBrush(dc, message);
    SetBkColor(dc, colour_);
    return background_.get();
}

void AlertDialog::OnShow(bool shown) {
    PlaceAtDesktopCorner(handle());
}

CPestFoundDlg::CPestFoundDlg(std::wstring pest_name, std::wstring location, HINSTANCE instance)
    : AlertDialog(IDD_PEST_FOUND, instance),
      pest_name_(std::move(pest_name)),
      location_(std::move(location)) {}

bool CPestFoundDlg::OnInitDialog() {
    SetItemText(IDC_PEST_NAME, pest_name_);
    SetItemText(IDC_PEST_LOCATION, location_);
    return true;
}

CPestFoundUserDlg::CPestFoundUserDlg(std::wstring pest_name, std::wstring location,
                                     HINSTANCE instance)
    : AlertDialog(IDD_PEST_FOUND_USER, instance),
      pest_name_(std::move(pest_name)),
      location_(std::move(location)) {}

bool CPestFoundUserDlg::OnInitDialog() {
    SetItemText(IDC_PEST_NAME, pest_name_);
    SetItemText(IDC_PEST_LOCATION, location_);
    const HDC dc = GetDC(handle());
    font_ = ui::CreatePointFontFromResources(IDS_USER_ALERT_FONT, IDS_USER_ALERT_FONT_SIZE,
                                             FW_NORMAL, false, dc, instance());
    ReleaseDC(handle(), dc);
    if (font_) {
        for (const HWND text :
             {MessageText(handle()), Item(IDC_PEST_NAME), Item(IDC_PEST_LOCATION)})
            if (text != nullptr)
                SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
    return true;
}

CScanAdviceDlg::CScanAdviceDlg(HINSTANCE instance) : AlertDialog(IDD_SCAN_ADVICE, instance) {}

CScanReminderDlg::CScanReminderDlg(std::string install_folder, HINSTANCE instance)
    : ui::Dialog(IDD_SCAN_REMINDER, instance),
      install_folder_(std::move(install_folder)),
      link_cursor_(IDC_LINK_HAND, instance) {
    OnClicked(IDC_SCAN_NOW, [this] { OnScanNow(); });
    OnClicked(IDC_SCAN_LATER, [this] { End(IDOK); });
    OnCommand(IDC_DISABLE_REMINDER, STN_CLICKED, [this] { OnDisableLink(); });
    OnMessage(WM_DRAWITEM, [this](WPARAM, LPARAM lparam) -> LRESULT {
        return DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
    });
}

bool CScanReminderDlg::OnInitDialog() {
    const HDC dc = GetDC(handle());
    link_font_ = ui::CreatePointFontFromResources(IDS_LINK_FONT, IDS_LINK_FONT_SIZE, FW_NORMAL,
                                                  true, dc, instance());
    ReleaseDC(handle(), dc);
    if (link_font_)
        SendMessageW(Item(IDC_DISABLE_REMINDER), WM_SETFONT,
                     reinterpret_cast<WPARAM>(link_font_.get()), TRUE);
    SetItemText(IDC_DISABLE_REMINDER, ui::LoadText(IDS_DISABLE_REMINDER, instance()));
    link_cursor_.AddLink(Item(IDC_DISABLE_REMINDER));
    picture_.reset(LoadBitmapW(instance(), MAKEINTRESOURCEW(IDB_REMINDER)));
    scan_now_faces_ = LoadFaces(instance(), L"SCANNOW");
    later_faces_ = LoadFaces(instance(), L"SCANLATER");
    LayOut();
    return true;
}

// The picture decides the reminder's size, whatever the dialog font makes
// of the template's units: the dialog fits it, the buttons take their
// faces' size and stand side by side on it, the link is centred under them.
void CScanReminderDlg::LayOut() {
    const HWND picture = Item(IDC_REMINDER_PICTURE);
    const SIZE size =
        BitmapSize(reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)));
    if (size.cx <= 0 || size.cy <= 0)
        return;
    RECT frame{0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(handle(), GWL_EXSTYLE)));
    SetWindowPos(handle(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Under the buttons and the link, clipped so that it never paints over
    // them.
    SetWindowPos(picture, HWND_BOTTOM, 0, 0, size.cx, size.cy, SWP_NOACTIVATE);
    // Each goes on top in turn, so that the tab order reads Scan Now, Later,
    // the link.
    SetWindowPos(Item(IDC_DISABLE_REMINDER), HWND_TOP, kButtonGap, kLinkTop,
                 size.cx - 2 * kButtonGap, kLinkHeight, SWP_NOACTIVATE);
    const SIZE button = BitmapSize(scan_now_faces_[0].get());
    if (button.cx > 0) {
        SetWindowPos(Item(IDC_SCAN_LATER), HWND_TOP, size.cx / 2 + kButtonGap / 2, kButtonsTop,
                     button.cx, button.cy, SWP_NOACTIVATE);
        SetWindowPos(Item(IDC_SCAN_NOW), HWND_TOP, size.cx / 2 - button.cx - kButtonGap / 2,
                     kButtonsTop, button.cx, button.cy, SWP_NOACTIVATE);
    }
}

LRESULT CScanReminderDlg::DrawButton(const DRAWITEMSTRUCT& item) const {
    const std::array<win::UniqueBitmap, 4>* faces = nullptr;
    if (item.CtlID == IDC_SCAN_NOW)
        faces = &scan_now_faces_;
    else if (item.CtlID == IDC_SCAN_LATER)
        faces = &later_faces_;
    if (faces == nullptr)
        return FALSE;
    std::size_t face = 0;
    if (item.itemState & ODS_DISABLED)
        face = 3;
    else if (item.itemState & ODS_SELECTED)
        face = 1;
    else if (item.itemState & ODS_FOCUS)
        face = 2;
    const HBITMAP bitmap = (*faces)[face] ? (*faces)[face].get() : (*faces)[0].get();
    if (bitmap == nullptr)
        return FALSE;
    ui::StretchBitmap(item.hDC, bitmap, item.rcItem);
    return TRUE;
}

HBRUSH CScanReminderDlg::OnControlColor(HDC dc, HWND control, UINT message) {
    if (control != nullptr && control == Item(IDC_DISABLE_REMINDER)) {
        SetTextColor(dc, ColourFromString(IDS_LINK_COLOUR));
        SetBkMode(dc, TRANSPARENT);
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    return DialogBackgroundBrush(dc, message);
}

bool CScanReminderDlg::OnSetCursor(HWND over, UINT hit_test) {
    if (Item(IDC_DISABLE_REMINDER) == nullptr)
        return false;
    link_cursor_.Update();
    return true;
}

// The link is drawn transparently on the dialog's background: that
// background is the picture as well.
bool CScanReminderDlg::OnEraseBackground(HDC dc) {
    const SIZE size = BitmapSize(picture_.get());
    if (size.cx <= 0)
        return false;
    ui::StretchBitmap(dc, picture_.get(), RECT{0, 0, size.cx, size.cy});
    return true;
}

void CScanReminderDlg::OnShow(bool shown) {
    PlaceAtDesktopCorner(handle());
}

bool CScanReminderDlg::RequestScanIfMainProgramRuns() {
    const HWND main_window = FindMainProgramWindow();
    if (main_window == nullptr)
        return false;
    // Closed first: the main program's scan must not find the reminder open.
    End(IDOK);
    PostStandardScan(main_window);
    return true;
}

void CScanReminderDlg::OnScanNow() {
    if (looks_left_ > 0 || PestActivityRunning())
        return;  // already waiting for the main program, or a scan or clean runs
    if (RequestScanIfMainProgramRuns())
        return;
    if (!StartMainProgram(install_folder_))
        ShowProtectionMessage(IDS_MAIN_PROGRAM_NOT_STARTED, MB_OK, handle());
    // Looked for without blocking this thread; the reminder stays usable.
    looks_left_ = kLooksForMainProgram;
    if (!RequestScanIfMainProgramRuns()) {
        --looks_left_;
        StartTimer(kLookForMainProgramTimer, kLookIntervalMs);
    }
}

void CScanReminderDlg::OnTimer(UINT_PTR timer_id) {
    if (timer_id != kLookForMainProgramTimer)
        return;
    if (looks_left_ <= 0 || RequestScanIfMainProgramRuns() || --looks_left_ <= 0) {
        StopTimer(kLookForMainProgramTimer);
        looks_left_ = 0;
    }
}

void CScanReminderDlg::OnDisableLink() {
    const std::string address = GetWebAddress(
        kStopReminderUrlKey, ui::ToAnsi(ui::LoadText(IDS_STOP_REMINDER_ADDRESS, instance())));
    ui::CurrentShellOpener().Open(handle(), ui::FromAnsi(address));
    End(IDOK);
}

void CScanReminderDlg::OnDestroy() {
    StopTimer(kLookForMainProgramTimer);
}

}  // namespace olvex::protect

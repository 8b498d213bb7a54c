#include "setup/controller/win/setup_dialogs.h"

#include <richedit.h>

#include <array>
#include <vector>

#include "setup/controller/destination_choice.h"
#include "setup/controller/product_selection.h"
#include "setup/controller/setup_operation.h"
#include "setup/controller/win/framework.h"
#include "setup/core/setup_file.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kAgreementRefused = 9018;
constexpr uint32_t kCancelled = 9017;
constexpr uint32_t kCompetitorKept = 9021;
constexpr uint32_t kComponentMissing = 9006;
constexpr uint32_t kWinsockMissing = 9014;
constexpr int kWinsockVersionRefused = 10092;  // WSAVERNOTSUPPORTED
constexpr LPARAM kBold = 8;
constexpr LPARAM kWrap = 16;
constexpr LPARAM kWrapBold = 24;
constexpr size_t kMaxAgreementBytes = 4u << 20;

// Download pages of the operating system's maker for what setup needs.
constexpr char16_t kRichEditPageNt[] =
    u"https://support.microsoft.com/help/249973/richedit-component-update";
constexpr char16_t kRichEditPage9x[] =
    u"https://support.microsoft.com/help/249973/richedit-component-update-windows-98";
constexpr char16_t kWinsockPage95[] =
    u"https://support.microsoft.com/help/182108/winsock-2-update-for-windows-95";

std::u16string Text(uint32_t id, size_t chars) {
    return util::LoadResourceString(nullptr, id, chars);
}

void SetFlags(HWND dialog, int id, LPARAM flags) {
    SendDlgItemMessageW(dialog, id, FRAMEWORK_MSG_SET_FLAGS, 0, flags);
}

void SetItemText(HWND dialog, int id, const std::u16string& text) {
    SetDlgItemTextW(dialog, id, W(text));
}

std::u16string ItemText(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    const int length = item ? GetWindowTextLengthW(item) : 0;
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    const int copied = item ? GetWindowTextW(item, W(text), length + 1) : 0;
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

SuiteProduct& Suite() {
    return Products().Suite();
}

// --- Agreement ---

std::u16string AgreementHeading() {
    SuiteProduct& suite = Suite();
    Product* source = suite.suite_active() ? &suite : suite.primary_product();
    std::u16string name;
    std::u16string text;
    if (source) {
        name = source->LoadProductString(22006);
        text = source->LoadProductString(22078);
    } else {
        name = Text(22006, 256);
        text = Text(22078, 256);
    }
    return name.empty() ? text : name + u" " + text;
}

void LoadAgreementText(HWND dialog) {
    const auto path = util::GetSetupFilePath(std::u16string_view(u"license.txt"), std::nullopt);
    if (!path) {
        return;
    }
    SetupFile file;
    uint64_t size = 0;
    if (!file.Open(*path, SetupFile::kRead) || !file.GetSize(size) || size > kMaxAgreementBytes) {
        return;
    }
    std::vector<char> bytes(static_cast<size_t>(size) + 4, '\0');
    DWORD read = 0;
    if (!file.ReadAt(0, bytes.data(), static_cast<DWORD>(size), read)) {
        return;
    }
    bytes[read] = bytes[read + 1] = '\0';
    SETTEXTEX settings{ST_DEFAULT, 1200};
    SendDlgItemMessageW(dialog, kAgreementText, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&settings),
                        reinterpret_cast<LPARAM>(bytes.data()));
}

INT_PTR CALLBACK AgreementProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            LoadAgreementText(dialog);
            SetItemText(dialog, kAgreementHeading, AgreementHeading());
            SetFlags(dialog, kAgreementHeading, kBold);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
                case kAgreementAccept:
                    EndDialog(dialog, 1);
                    return TRUE;
                case kAgreementText:
                    if (HIWORD(wparam) == EN_SETFOCUS) {
                        SendMessageW(reinterpret_cast<HWND>(lparam), EM_SETSEL, 0, 0);
                    }
                    return TRUE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

// --- Destination ---

INT_PTR CALLBACK DestinationProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    DestinationChoice* choice = DestinationChoice::Current();
    switch (message) {
        case WM_INITDIALOG:
            SetFlags(dialog, kNoticeText, kWrap);
            SetFlags(dialog, kDestinationNote, kWrap);
            if (!choice) {
                return TRUE;
            }
            SetItemText(dialog, kDestinationEdit, choice->destination());
            if (!choice->fixed_name().empty()) {
                SetItemText(dialog, kDestinationNote,
                            SubstituteArguments(Text(24002, 320),
                                                {choice->fixed_name(), choice->fixed_name()}));
                SendDlgItemMessageW(dialog, kDestinationEdit, EM_SETREADONLY, TRUE, 0);
                EnableWindow(GetDlgItem(dialog, kDestinationBrowse), FALSE);
            }
            if (!choice->suite_active()) {
                SetItemText(dialog, IDOK, Text(24003, 96));
            }
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDOK:
                    // A refused folder shows its error box and the dialog
                    // stays for another.
                    if (choice &&
                        choice->AcceptFromDialog(ItemText(dialog, kDestinationEdit)) == 0) {
                        EndDialog(dialog, 1);
                    }
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
                case kDestinationBrowse: {
                    std::u16string folder;
                    if (Framework::Instance().ShowFolderPicker(dialog, folder, MAX_PATH,
                                                               Text(20130, 256)) == 0) {
                        SetItemText(dialog, kDestinationEdit, folder);
                    }
                    return TRUE;
                }
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

// --- Product selection ---

class DialogSelectionView : public SelectionView {
  public:
    explicit DialogSelectionView(HWND dialog) : dialog_(dialog) {}
    void SetText(int32_t id, std::u16string_view text) override {
        SetItemText(dialog_, id, std::u16string(text));
    }
    void Show(int32_t id, bool visible) override {
        ShowWindow(Item(id), visible ? SW_SHOW : SW_HIDE);
    }
    void Enable(int32_t id, bool enabled) override { EnableWindow(Item(id), enabled); }
    void SetCheck(int32_t id, bool checked) override {
        CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsEnabled(int32_t id) override { return IsWindowEnabled(Item(id)) != FALSE; }
    bool IsChecked(int32_t id) override { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
    int32_t Top(int32_t id) override { return Rect(id).top; }
    int32_t Bottom(int32_t id) override { return Rect(id).bottom; }
    void MoveUp(int32_t id, int32_t distance) override {
        const RECT rect = Rect(id);
        SetWindowPos(Item(id), nullptr, rect.left, rect.top - distance, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void Shorten(int32_t distance) override {
        RECT rect{};
        GetWindowRect(dialog_, &rect);
        SetWindowPos(dialog_, nullptr, 0, 0, rect.right - rect.left,
                     rect.bottom - rect.top - distance, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

  private:
    HWND Item(int32_t id) const { return GetDlgItem(dialog_, id); }
    RECT Rect(int32_t id) const {
        RECT rect{};
        GetWindowRect(Item(id), &rect);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    HWND dialog_;
};

ProductSelection* g_selection = nullptr;

INT_PTR CALLBACK SelectionProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (!g_selection) {
        return FALSE;
    }
    DialogSelectionView view(dialog);
    switch (message) {
        case WM_INITDIALOG:
            SetFlags(dialog, kSelectionHeading, kWrap);
            g_selection->Initialize(view);
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            if (id >= kFirstProductBox && id <= kLastProductBox) {
                g_selection->Update(view);
                return TRUE;
            }
            if (id == IDOK) {
                g_selection->Accept(view);
                EndDialog(dialog, 1);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

// --- Competitor and notices ---

struct CompetitorNames {
    std::u16string competitor;
    std::u16string product;
};

INT_PTR CALLBACK CompetitorProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* names = reinterpret_cast<const CompetitorNames*>(lparam);
            SetItemText(dialog, kCompetitorName, names->competitor);
            SetFlags(dialog, kCompetitorName, kWrapBold);
            std::u16string question = SubstituteArguments(Text(25051, 256), {names->product});
            if (question.size() > 255) {
                question.resize(255);
            }
            SetItemText(dialog, 1091, question);
            for (const int id : {1087, 1088, 1089, 1091}) {
                SetFlags(dialog, id, kWrap);
            }
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wparam) == IDOK ? 1 : 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK NoticeProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* product = reinterpret_cast<const std::u16string*>(lparam);
            // The resource DLL names the pages (strings of the templates'
            // ids); Windows 9x has a page of its own for the component.
            std::u16string page;
            if (product || !util::IsWin9x()) {
                page = Text(product ? kWinsockTemplate : kComponentTemplate, 512);
            }
            if (page.empty()) {
                page = product ? kWinsockPage95
                               : (util::IsWin9x() ? kRichEditPage9x : kRichEditPageNt);
            }
            SendDlgItemMessageW(dialog, kNoticeLink, FRAMEWORK_MSG_SET_LINK_TARGET, 0,
                                reinterpret_cast<LPARAM>(page.c_str()));
            if (product) {
                std::u16string text = SubstituteArguments(Text(25050, 512), {*product});
                SetItemText(dialog, kNoticeText, text);
            }
            SetFlags(dialog, kNoticeText, kWrap);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

uint32_t ShowAgreement(HWND parent) {
    if (SetupLogger::Instance().display_level() < 2) {
        return 0;
    }
    return Framework::Instance().RunModal(nullptr, kAgreementTemplate, parent, &AgreementProcedure,
                                          0) > 0
               ? 0
               : kAgreementRefused;
}

INT_PTR ShowDestinationDialog(HWND parent, DestinationChoice&) {
    return Framework::Instance().RunModal(nullptr, kDestinationTemplate, parent,
                                          &DestinationProcedure, 0);
}

uint32_t ShowProductSelection(HWND parent) {
    if (SetupLogger::Instance().display_level() < 2) {
        return 0;
    }
    const SetupOperation* operation = GetCurrentOperation();
    if (!operation) {
        return kCancelled;
    }
    const bool uninstall = operation->mode() == kModeUninstall;
    ProductSelection selection(operation->products(), uninstall, uninstall ? Text(24005, 256) : u"",
                               uninstall ? Text(24004, 96) : u"");
    g_selection = &selection;
    const INT_PTR result =
        Framework::Instance().RunModal(nullptr, kSelectionTemplate, parent, &SelectionProcedure, 0);
    g_selection = nullptr;
    return result > 0 ? 0 : kCancelled;
}

uint32_t AskRemoveCompetingProduct(HWND parent, std::u16string_view competitor,
                                   std::u16string_view product) {
    CompetitorNames names{std::u16string(competitor), std::u16string(product)};
    return Framework::Instance().RunModal(nullptr, kCompetitorTemplate, parent,
                                          &CompetitorProcedure,
                                          reinterpret_cast<LPARAM>(&names)) > 0
               ? 0
               : kCompetitorKept;
}

uint32_t CheckRichEditVersion(uint32_t major, uint32_t minor, std::u16string& missing) {
    missing.clear();
    if (util::CheckFileVersion(u"RICHED20.DLL", major, minor) == 0) {
        return 0;
    }
    missing = u"RICHED20.DLL";
    return kComponentMissing;
}

namespace {

// Only a refused version counts: any other start-up error (no network
// yet, too many tasks) passes.
uint32_t ReportWinsockAnswer(int error, std::u16string& missing) {
    if (error != kWinsockVersionRefused) {
        return 0;
    }
    const auto version = util::ReadFileVersionInfo(u"WS2_32.DLL");
    const uint32_t ms = version ? version->file_version_ms : 0;
    const std::u16string text =
        u"WS2_32.DLL " + FromAscii(std::to_string(ms >> 16)) + u"." +
        FromAscii((((ms & 0xFFFF) < 10) ? "0" : "") + std::to_string(ms & 0xFFFF));
    const std::array<MessageEntry, 1> entries{MessageEntry{25008, text, 0}};
    ReportMessage(SetupLogger::Instance(), 3, 3, kWinsockMissing, entries);
    missing = u"WS2_32.DLL";
    return kWinsockMissing;
}

}  // namespace

uint32_t CheckWinsockVersion(uint32_t major, uint32_t minor, std::u16string& missing) {
    missing.clear();
    const auto requested = static_cast<WORD>((minor << 8) | (major & 0xFF));
    if (Seams().winsock_startup) {
        return ReportWinsockAnswer(Seams().winsock_startup(requested), missing);
    }
    using StartupFn = int(WINAPI*)(WORD, void*);
    using CleanupFn = int(WINAPI*)();
    const HMODULE library = LoadLibraryW(L"WS2_32.DLL");
    bool refused = true;
    if (library) {
        const auto startup = reinterpret_cast<StartupFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "WSAStartup")));
        const auto cleanup = reinterpret_cast<CleanupFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "WSACleanup")));
        if (startup && cleanup) {
            // Room for the system's record of any size.
            std::vector<unsigned char> data(1024);
            const int error = startup(requested, data.data());
            if (error == 0) {
                cleanup();
            }
            refused = error == kWinsockVersionRefused;
        }
        FreeLibrary(library);
    }
    return ReportWinsockAnswer(refused ? kWinsockVersionRefused : 0, missing);
}

void ShowComponentDownload(HWND parent) {
    Framework::Instance().RunModal(nullptr, kComponentTemplate, parent, &NoticeProcedure, 0);
}

void ShowWinsockDownload(HWND parent, std::u16string_view product) {
    const std::u16string name(product);
    Framework::Instance().RunModal(nullptr, kWinsockTemplate, parent, &NoticeProcedure,
                                   reinterpret_cast<LPARAM>(&name));
}

}  // namespace olvex::setup

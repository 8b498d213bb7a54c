// The layer test program: every piece of the window layer in one small
// program, for the GUI tests to drive from outside through the window driver.
//
//     LayerTest.exe [/record FILE] [/save-to PATH]
//
// /record appends each sound asked for ("sound: NAME") and each shell open
// ("open: TARGET") to FILE instead of playing or opening it; /save-to makes
// the Save As dialog answer PATH at once.
//
// The frame ("Olvex Layer Test") answers:
//   1028 (wParam 1 or 2)  show that page
//   kQueryCursor          1 when the cursor last set is the link hand, else 0
#include <windows.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/common/client_application.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/dialog.h"
#include "client/common/ui/dialog_layout.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/frame_window.h"
#include "client/common/ui/gdi.h"
#include "client/common/ui/prepare_log_dialog.h"
#include "client/common/ui/sort_order.h"
#include "client/common/ui/system_seams.h"
#include "client/common/ui/test_program/layer_test_resources.h"
#include "client/common/ui/text_file.h"

namespace olvex::ui {
namespace {

constexpr UINT kShowPage = 1028;
constexpr UINT kQueryCursor = WM_APP + 1;
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 200;

// Sounds and shell opens written to a file instead of done.
class Recorder final : public SoundPlayer, public ShellOpener {
  public:
    explicit Recorder(std::wstring path) : path_(std::move(path)) {}
    bool PlayFile(const std::wstring& file) const override { return Append(L"sound: " + file); }
    bool Open(HWND, const std::wstring& target) const override {
        return Append(L"open: " + target);
    }

  private:
    bool Append(const std::wstring& line) const {
        std::ofstream out(ToAnsi(path_), std::ios::app | std::ios::binary);
        out << ToAnsi(line) << "\r\n";
        return static_cast<bool>(out);
    }
    std::wstring path_;
};

class FixedSaveAnswer final : public SaveFileChooser {
  public:
    explicit FixedSaveAnswer(std::wstring path) : path_(std::move(path)) {}
    std::optional<std::wstring> Choose(HWND, const SaveFileRequest&) const override {
        return path_;
    }

  private:
    std::wstring path_;
};

// A resizable dialog: never smaller than it first showed, its list growing
// and its button following the lower right corner.
class ResizableDialog : public Dialog {
  public:
    ResizableDialog() : Dialog(IDD_RESIZABLE) {}

  protected:
    bool OnInitDialog() override {
        minimum_.Reset();
        ListView list(handle(), IDC_RES_LIST);
        list.SetFullRowSelect();
        list.AddColumn(0, L"Line", 120);
        for (int i = 0; i < 5; ++i)
            list.Insert(i, L"Line " + std::to_wstring(i + 1));
        // The size report that this causes fixes the minimum.
        RECT client = ClientRect();
        SendMessageW(handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
        return true;
    }
    void OnSize(UINT kind, int width, int height) override {
        const auto step = minimum_.OnSize(handle(), kind, width, height);
        if (!step)
            return;
        GrowItemBy(handle(), IDC_RES_LIST, step->dx, step->dy);
        MoveItemBy(handle(), IDC_RES_NOTE, 0, step->dy);
        MoveItemBy(handle(), IDCANCEL, step->dx, step->dy);
        RedrawWindow(handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }

  private:
    MinimumSize minimum_;
};

// A dialog that must not close while work goes on: Cancel is disabled, and
// Esc, WM_CLOSE and the title bar's close are refused until allowed.
class LockedDialog : public Dialog {
  public:
    LockedDialog() : Dialog(IDD_LOCKED) {}

  protected:
    void OnCancel() override {
        if (IsItemChecked(IDC_ALLOW_CLOSE)) {
            End(IDCANCEL);
            return;
        }
        SetItemText(IDC_REFUSED, L"Refused: " + std::to_wstring(++refused_));
    }

  private:
    int refused_ = 0;
};

// The band step on a dialog of its own; with apply_layout false it shows the
// template as it is, for comparison.
class BandDialog : public Dialog {
  public:
    explicit BandDialog(bool apply_layout) : Dialog(IDD_BAND), apply_layout_(apply_layout) {}

  protected:
    bool OnInitDialog() override {
        if (apply_layout_) {
            // 1999 is on no template: it is skipped.
            RemoveTopBand(handle(), {IDC_BAND_LABEL, IDC_BAND_EDIT, IDOK, IDCANCEL, 1999},
                          {IDC_BAND_PICTURE, IDC_BAND_TEXT, IDC_BAND_BUTTON, 1999}, true);
        } else {
            SetText(Text() + L" (before)");
        }
        return true;
    }
    void OnShow(bool shown) override {
        if (shown && apply_layout_)
            PlaceOnMainWindowCorner(handle());
    }

  private:
    bool apply_layout_;
};

class WorkerDialog : public Dialog {
  public:
    WorkerDialog() : Dialog(IDD_WORKER) {}
};

struct ListRow {
    std::wstring name;
    int size;
    std::uint64_t time;
    std::wstring time_text;  // the order of the times, as shown
};

// A page with the band removed, transparent labels on a background picture,
// point fonts, colours from the string table and links with the hand cursor.
class LayerPage : public FormPage {
  public:
    LayerPage(int template_id, int own_nav, int other_nav)
        : FormPage(template_id),
          own_nav_(own_nav),
          other_nav_(other_nav),
          links_(IDR_LINK_CURSOR) {}

    bool cursor_is_hand() const { return GetCursor() == links_.hand(); }

  protected:
    bool OnInitDialog() override {
        const HDC dc = GetDC(handle());
        title_font_ =
            CreatePointFontFromResources(IDS_TITLE_FACE, IDS_TITLE_SIZE, FW_BOLD, false, dc);
        link_font_ =
            CreatePointFontFromResources(IDS_LINK_FACE, IDS_LINK_SIZE, FW_NORMAL, true, dc);
        ReleaseDC(handle(), dc);
        Control(handle(), IDC_HEADING).SetFont(title_font_.get());
        Control(handle(), IDC_NAV_ONE).SetFont(title_font_.get());
        Control(handle(), IDC_NAV_TWO).SetFont(title_font_.get());
        Control(handle(), IDC_HELP_LINK).SetFont(link_font_.get());

        const COLORREF heading = ColorFromResource(IDS_HEADING_COLOUR);
        labels_.Add(IDC_HEADING, heading);
        labels_.Add(own_nav_, ColorFromResource(IDS_SELF_COLOUR));
        labels_.Add(other_nav_, heading);
        labels_.Add(IDC_HELP_LINK, heading);
        for (const int id : {IDC_CHECKED_TEXT, IDC_TIMER_TEXT, IDC_STATUS, IDC_PLAIN_TEXT})
            labels_.Add(id);
        for (const int id : {other_nav_, static_cast<int>(IDC_HELP_LINK)}) {
            if (const HWND link = Item(id))
                links_.AddLink(link);
        }
        background_.reset(static_cast<HBITMAP>(
            LoadImageW(instance(), MAKEINTRESOURCEW(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, 0)));

        RemoveTopBand(
            handle(),
            {IDC_HEADING,      IDC_NAV_ONE,          IDC_NAV_TWO,          IDC_TREE,
             IDC_LIST,         IDC_CHECKED_TEXT,     IDC_TIMER_TEXT,       IDC_STATUS,
             IDC_SHOW_MESSAGE, IDC_OPEN_RESIZABLE,   IDC_OPEN_LOCKED,      IDC_OPEN_BAND,
             IDC_CHECK_ALL,    IDC_SHOW_PREPARE_LOG, IDC_HIDE_PREPARE_LOG, IDC_OPEN_FROM_WORKER,
             IDC_PLAY_SOUND,   IDC_SAVE_REPORT,      IDC_PLAIN_TEXT,       IDC_HELP_LINK,
             IDC_NOTE},
            {IDC_BAND_PICTURE, IDC_BAND_TEXT, IDC_BAND_BUTTON}, false);
        StartTimer(kTickTimer, kTickMs);
        return true;
    }

    void OnTimer(UINT_PTR timer_id) override {
        if (timer_id != kTickTimer)
            return;
        SetLabelText(handle(), IDC_TIMER_TEXT, L"Ticks: " + std::to_wstring(++ticks_));
        ProgressBar progress(handle(), IDC_PROGRESS);
        progress.SetRange(0, 20);
        progress.SetPosition(ticks_ % 21);
    }

    HBRUSH OnControlColor(HDC dc, HWND control, UINT) override {
        return labels_.Apply(dc, control);
    }

    bool OnEraseBackground(HDC dc) override {
        const RECT client = ClientRect();
        StretchBitmap(dc, background_.get(), client);
        return background_ ? true : false;
    }

    bool OnSetCursor(HWND, UINT) override {
        links_.Update();
        return true;
    }

    void OnDestroy() override { StopTimer(kTickTimer); }

  private:
    int own_nav_;
    int other_nav_;
    win::UniqueFont title_font_;
    win::UniqueFont link_font_;
    win::UniqueBitmap background_;
    TransparentLabels labels_;
    LinkCursor links_;
    int ticks_ = 0;
};

class PageOne : public LayerPage {
  public:
    explicit PageOne(FrameWindow& frame)
        : LayerPage(IDD_PAGE_ONE, IDC_NAV_ONE, IDC_NAV_TWO), frame_(frame) {
        // The times differ in either half, the low half beyond 31 bits.
        rows_ = {{L"Delta", 40, 0x01C4'0000'0000'0004ull, L"third"},
                 {L"alpha", 300, 0x01C4'0000'8000'0000ull, L"fourth"},
                 {L"Charlie", 5, 0x01C3'FFFF'0000'0000ull, L"first"},
                 {L"Bravo", 1200, 0x01C4'0000'0000'0001ull, L"second"}};
        OnClicked(IDC_NAV_TWO, [this] { frame_.ShowPage(2); });
        OnClicked(IDC_HELP_LINK, [] { CurrentShellOpener().Open(nullptr, L"KvQZHelp.chm"); });
        OnClicked(IDC_SHOW_MESSAGE, [this] {
            const int answer = ClientApplication::Current()->MessageBoxFromResource(
                IDS_QUESTION, MB_YESNO, handle());
            SetLabelText(handle(), IDC_STATUS,
                         answer == IDYES ? L"Message answered: Yes" : L"Message answered: No");
        });
        OnClicked(IDC_OPEN_RESIZABLE, [this] { ResizableDialog().RunModal(frame_.handle()); });
        OnClicked(IDC_OPEN_LOCKED, [this] {
            const INT_PTR result = LockedDialog().RunModal();
            SetLabelText(handle(), IDC_STATUS, L"Locked dialog ended: " + std::to_wstring(result));
        });
        OnClicked(IDC_OPEN_BAND, [this] {
            before_ = std::make_unique<BandDialog>(false);
            after_ = std::make_unique<BandDialog>(true);
            before_->CreateModeless(frame_.handle());
            after_->CreateModeless(frame_.handle());
            ShowWindow(before_->handle(), SW_SHOWNA);
            ShowWindow(after_->handle(), SW_SHOW);
        });
        OnClicked(IDC_CHECK_ALL, [this] { SetTreeChecks(TreeView(handle(), IDC_TREE), true); });
        OnClicked(IDC_SHOW_PREPARE_LOG, [this] {
            prepare_log_ = std::make_unique<CPrepareLogDlg>();
            WaitCursor wait;
            prepare_log_->CreateAndShow();
        });
        OnClicked(IDC_HIDE_PREPARE_LOG, [this] { prepare_log_.reset(); });
        OnClicked(IDC_OPEN_FROM_WORKER, [this] {
            if (worker_.joinable())
                return;
            const HWND owner = frame_.handle();
            worker_ = std::thread([owner] { WorkerDialog().RunModal(owner); });
        });
        OnClicked(IDC_PLAY_SOUND, [] { CurrentSoundPlayer().PlayFile(L"ALARM.WAV"); });
        OnClicked(IDC_SAVE_REPORT, [this] { SaveReport(); });
        OnNotify(IDC_LIST, LVN_COLUMNCLICK, [this](NMHDR& header) {
            SortBy(reinterpret_cast<NMLISTVIEW&>(header).iSubItem);
            return LRESULT{0};
        });
        OnNotify(IDC_TREE, NM_CLICK, [this](NMHDR&) {
            const DWORD position = GetMessagePos();
            const auto hit = TreeView(handle(), IDC_TREE)
                                 .HitTestScreen({GET_X_LPARAM(position), GET_Y_LPARAM(position)});
            if (hit.on_check_box())
                SetLabelText(
                    handle(), IDC_STATUS,
                    L"Check box clicked: " + TreeView(handle(), IDC_TREE).ItemText(hit.item));
            return LRESULT{0};
        });
    }

    ~PageOne() override {
        if (worker_.joinable()) {
            if (const HWND dialog = FindWindowW(nullptr, L"Layer Test -- Worker"))
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            worker_.join();
        }
    }

  protected:
    bool OnInitDialog() override {
        LayerPage::OnInitDialog();
        TreeView tree(handle(), IDC_TREE);
        tree_images_ = ImageList::FromBitmap(instance(), IDB_TREE_IMAGES, 16, RGB(255, 0, 255));
        tree.SetImageList(tree_images_);
        int data = 0;
        for (const wchar_t* root : {L"Zeta", L"Alpha", L"Mike"}) {
            const HTREEITEM item = tree.Insert(TVI_ROOT, root, ++data, true, false, 0);
            for (const wchar_t* child : {L"two", L"one"})
                tree.Insert(item, std::wstring(root) + L" " + child, ++data, true, false, 1);
            tree.Expand(item);
        }
        InsertSortedRootItem(tree, L"Kilo");

        ListView list(handle(), IDC_LIST);
        list.SetFullRowSelect();
        list.AddColumn(0, L"Name", 60);
        list.AddColumn(1, L"Size", 40);
        list.AddColumn(2, L"Date", 45);
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            const int index =
                list.Insert(static_cast<int>(i), rows_[i].name, static_cast<LPARAM>(i));
            list.SetSubItem(index, 1, std::to_wstring(rows_[i].size));
            list.SetSubItem(index, 2, rows_[i].time_text);
        }
        return true;
    }

    void OnTimer(UINT_PTR timer_id) override {
        LayerPage::OnTimer(timer_id);
        // Check boxes change after the click's notification: read them on the
        // next tick, with the layer's walk over roots and children.
        TreeView tree(handle(), IDC_TREE);
        std::wstring checked = L"Checked:";
        for (const HTREEITEM root : tree.Roots()) {
            if (tree.IsChecked(root))
                checked += L" " + tree.ItemText(root);
            for (const HTREEITEM child : tree.Children(root)) {
                if (tree.IsChecked(child))
                    checked += L" " + tree.ItemText(child);
            }
        }
        if (checked != ItemText(IDC_CHECKED_TEXT))
            SetLabelText(handle(), IDC_CHECKED_TEXT, checked);
    }

  private:
    void SortBy(int column) {
        ListView(handle(), IDC_LIST).Sort([this, column](LPARAM a, LPARAM b) {
            const ListRow& x = rows_[static_cast<std::size_t>(a)];
            const ListRow& y = rows_[static_cast<std::size_t>(b)];
            switch (column) {
                case 0:
                    return SignOf(lstrcmpiW(x.name.c_str(), y.name.c_str()));
                case 1:
                    return SignOf(static_cast<long long>(x.size) - y.size);
                default:
                    return CompareFileTimes(x.time, y.time);
            }
        });
    }

    void SaveReport() {
        const auto path =
            CurrentSaveFileChooser().Choose(nullptr, {.default_extension = L"txt",
                                                      .file_name = L"LayerReport",
                                                      .filter = L"Text Files (*.txt)|*.txt||"});
        if (!path)
            return;
        TextFileWriter writer;
        writer.Create(ToAnsi(*path));
        writer.WriteLine("Layer test report");
        ListView list(handle(), IDC_LIST);
        for (int i = 0; i < list.Count(); ++i)
            writer.WriteLine(ToAnsi(list.ItemText(i, 0)) + " , " + ToAnsi(list.ItemText(i, 1)));
        if (const TextFileError error = writer.Close())
            ShowFileErrorBox(error, handle());
        else
            SetLabelText(handle(), IDC_STATUS, L"Report saved");
    }

    FrameWindow& frame_;
    std::vector<ListRow> rows_;
    ImageList tree_images_;
    std::unique_ptr<BandDialog> before_;
    std::unique_ptr<BandDialog> after_;
    std::unique_ptr<CPrepareLogDlg> prepare_log_;
    std::thread worker_;
};

class PageTwo : public LayerPage {
  public:
    explicit PageTwo(FrameWindow& frame) : LayerPage(IDD_PAGE_TWO, IDC_NAV_TWO, IDC_NAV_ONE) {
        OnClicked(IDC_NAV_ONE, [&frame] { frame.ShowPage(1); });
    }
};

class LayerFrame : public FrameWindow {
  public:
    LayerFrame() {
        OnMessage(kShowPage, [this](WPARAM page, LPARAM) {
            ShowPage(static_cast<int>(page));
            return LRESULT{0};
        });
        OnMessage(kQueryCursor, [this](WPARAM, LPARAM) {
            const LayerPage* page = static_cast<LayerPage*>(Page(current_page()));
            return LRESULT{page != nullptr && page->cursor_is_hand() ? 1 : 0};
        });
    }
};

struct Options {
    std::wstring record;
    std::wstring save_to;
};

Options ParseOptions() {
    Options options;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return options;
    for (int i = 1; i + 1 < count; ++i) {
        const std::wstring name = arguments[i];
        if (name == L"/record")
            options.record = arguments[++i];
        else if (name == L"/save-to")
            options.save_to = arguments[++i];
    }
    LocalFree(arguments);
    return options;
}

int Run(HINSTANCE instance) {
    EnsureCommonControls();
    ClientApplication app(instance);
    const Options options = ParseOptions();
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<ScopedSoundPlayer> sounds;
    std::unique_ptr<ScopedShellOpener> shell;
    if (!options.record.empty()) {
        recorder = std::make_unique<Recorder>(options.record);
        sounds = std::make_unique<ScopedSoundPlayer>(*recorder);
        shell = std::make_unique<ScopedShellOpener>(*recorder);
    }
    std::unique_ptr<FixedSaveAnswer> save_answer;
    std::unique_ptr<ScopedSaveFileChooser> save_seam;
    if (!options.save_to.empty()) {
        save_answer = std::make_unique<FixedSaveAnswer>(options.save_to);
        save_seam = std::make_unique<ScopedSaveFileChooser>(*save_answer);
    }

    LayerFrame frame;
    PageOne one(frame);
    PageTwo two(frame);
    if (!frame.Create(L"OlvexLayerTestFrame", LoadText(IDS_FRAME_TITLE)) ||
        !frame.AddPage(1, one) || !frame.AddPage(2, two))
        return 1;
    const RECT page = one.ClientRect();
    frame.SetClientSize(page.right, page.bottom);
    ShortenFrameByBand(frame.handle());
    frame.ShowPage(1);
    ShowWindow(frame.handle(), SW_SHOW);
    UpdateWindow(frame.handle());
    return app.RunMessageLoop();
}

}  // namespace
}  // namespace olvex::ui

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return olvex::ui::Run(instance);
}

#include "client/main/quarantine_dialog.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "client/common/client_environment.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/dialog_layout.h"
#include "client/common/ui/file_error_box.h"
#include "client/common/ui/resource_values.h"
#include "client/common/ui/system_seams.h"
#include "client/common/ui/text_file.h"
#include "client/main/app_helpers.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/message_dialog.h"
#include "client/main/message_rules.h"
#include "client/main/page_look_ids.h"
#include "client/main/pest_info_page.h"
#include "client/main/quarantine_dialog_ids.h"
#include "client/main/scan_dialog.h"
#include "client/main/scan_dialog_ids.h"
#include "client/main/scan_page_ids.h"

namespace olvex {
namespace {

// The controls the band removal moves up, in this order.
constexpr int kArrangedControls[] = {IDCANCEL,
                                     IDC_QUARANTINE_FRAME,
                                     IDC_QUARANTINE_TREE,
                                     IDC_QUARANTINE_SELECT_ALL,
                                     IDC_QUARANTINE_REPORT,
                                     IDC_QUARANTINE_RESTORE,
                                     IDC_QUARANTINE_HELP,
                                     IDC_QUARANTINE_DELETE};

std::string BstrText(const com::UniqueBstr& text) {
    return AnsiFromBstrText(text.Get());
}

std::string LastError(IQuarantine& quarantine) {
    return ui::ToAnsi(LastErrorText(&quarantine));
}

// Empties the last error, so that an answer without a session tells by its
// error whether the listing ended or one session could not be opened.
void ClearLastError(IQuarantine& quarantine) {
    const com::UniqueBstr empty(SysAllocString(L""));
    quarantine.put_bsLastError(empty.Get());
}

// Inserts before every other root: the newest session stands first.
HTREEITEM InsertRootItemAtTop(const ui::TreeView& tree, const std::wstring& text, LPARAM data) {
    std::wstring item_text = text;
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_FIRST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = item_text.data();
    insert.item.lParam = data;
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.state = INDEXTOSTATEIMAGEMASK(1);
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree.handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

HTREEITEM InsertChildItemLast(const ui::TreeView& tree, HTREEITEM parent, const std::string& text,
                              LPARAM data, bool checked) {
    return tree.Insert(parent, ui::FromAnsi(text), data, false, checked);
}

HTREEITEM FirstChild(const ui::TreeView& tree, HTREEITEM item) {
    return TreeView_GetChild(tree.handle(), item);
}

bool IsDummy(const ui::TreeView& tree, HTREEITEM item) {
    return item != nullptr && tree.ItemText(item).empty() &&
           TreeView_GetChild(tree.handle(), item) == nullptr;
}

struct ActionTexts {
    UINT log_action;
    UINT failed;
    UINT not_removed;
};

ActionTexts TextsOf(SessionAction action) {
    if (action == SessionAction::kRestore)
        return {IDS_QUARANTINE_RESTORED, IDS_QUARANTINE_RESTORE_FAILED,
                IDS_QUARANTINE_RESTORE_NOT_REMOVED};
    return {IDS_QUARANTINE_DELETED, IDS_QUARANTINE_DELETE_FAILED,
            IDS_QUARANTINE_DELETE_NOT_REMOVED};
}

// One activity-log line of a restored or deleted item, ready before the
// engine's call: afterwards the file may be gone.
struct ItemLogLine {
    std::int32_t pest_id = -1;
    std::int32_t pvt = -1;
};

}  // namespace

std::optional<SYSTEMTIME> SessionLocalTime(const SessionTime& utc,
                                           const TIME_ZONE_INFORMATION* zone) {
    SYSTEMTIME universal{};
    universal.wYear = static_cast<WORD>(utc.year);
    universal.wMonth = static_cast<WORD>(utc.month);
    universal.wDay = static_cast<WORD>(utc.day);
    universal.wHour = static_cast<WORD>(utc.hour);
    universal.wMinute = static_cast<WORD>(utc.minute);
    universal.wSecond = static_cast<WORD>(utc.second);
    // The day of the week is filled in by a round trip through FILETIME.
    FILETIME file_time{};
    if (!SystemTimeToFileTime(&universal, &file_time) ||
        !FileTimeToSystemTime(&file_time, &universal))
        return std::nullopt;
    SYSTEMTIME local{};
    TIME_ZONE_INFORMATION copy{};
    if (zone != nullptr)
        copy = *zone;
    if (!SystemTimeToTzSpecificLocalTime(zone != nullptr ? &copy : nullptr, &universal, &local))
        return std::nullopt;
    return local;
}

CQuarantineDlg::CQuarantineDlg() : ManagementDialog(IDD_QUARANTINE) {
    OnNotify(IDC_QUARANTINE_TREE, NM_CLICK, [this](NMHDR&) { return OnClickTree(); });
    OnNotify(IDC_QUARANTINE_TREE, TVN_KEYDOWN,
             [this](NMHDR& header) { return OnKeyDownTree(header); });
    for (const UINT code : {TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDINGA})
        OnNotify(IDC_QUARANTINE_TREE, code,
                 [this](NMHDR& header) { return OnItemExpandingTree(header); });
    OnClicked(IDC_QUARANTINE_SELECT_ALL, [this] { OnSelectAll(); });
    OnClicked(IDC_QUARANTINE_HELP, [this] { OnHelp(); });
    OnClicked(IDC_QUARANTINE_RESTORE, [this] { OnRestoreOrDelete(SessionAction::kRestore); });
    OnClicked(IDC_QUARANTINE_DELETE, [this] { OnRestoreOrDelete(SessionAction::kDelete); });
    OnClicked(IDC_QUARANTINE_REPORT, [this] { OnSaveReport(); });
}

CQuarantineDlg::~CQuarantineDlg() = default;

bool CQuarantineDlg::OnInitDialog() {
    const ui::WaitCursor cursor;
    const HDC dc = GetDC(handle());
    tree_font_ = ui::CreatePointFontFromResources(IDS_SCAN_FONT_FACE, IDS_SCAN_FONT_SIZE, FW_NORMAL,
                                                  false, dc);
    frame_font_ = ui::CreatePointFontFromResources(IDS_HEADING_FONT_FACE, IDS_SCAN_FONT_SIZE,
                                                   FW_BOLD, false, dc);
    ReleaseDC(handle(), dc);
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    tree.SetFont(tree_font_.get());
    ui::Control(handle(), IDC_QUARANTINE_FRAME).SetFont(frame_font_.get());
    TreeView_SetBkColor(tree.handle(), ColorFromResource(IDS_DRIVE_TREE_COLOUR));
    help_bitmap_ = win::UniqueBitmap(static_cast<HBITMAP>(LoadImageW(
        instance(), MAKEINTRESOURCEW(IDB_HELP_BUTTON), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    ui::Button(handle(), IDC_QUARANTINE_HELP).SetBitmap(help_bitmap_.get());

    FillSessionTree();

    EnableItem(IDC_QUARANTINE_DELETE, false);
    EnableItem(IDC_QUARANTINE_RESTORE, false);
    if (tree.Roots().empty())
        EnableItem(IDC_QUARANTINE_SELECT_ALL, false);
    ui::RemoveTopBand(handle(), std::span<const int>(kArrangedControls), {}, true);
    return true;
}

void CQuarantineDlg::ShowInternalError() const {
    Tell(IDS_SCAN_INTERNAL_ERROR, kSoundWarning);
}

void CQuarantineDlg::Tell(UINT string_id, int sound_kind) const {
    // Over this dialog, which it disables while it shows.
    CMessageDlg(string_id, sound_kind).RunModal(handle());
}

void CQuarantineDlg::TellText(const std::wstring& text, int sound_kind) const {
    CMessageDlg(text, sound_kind).RunModal(handle());
}

void CQuarantineDlg::FillSessionTree() {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    tree.DeleteAll();
    session_names_.clear();
    CGorsewatch5App* app = CGorsewatch5App::Current();
    IQuarantine* quarantine = app != nullptr ? app->quarantine() : nullptr;
    if (quarantine == nullptr) {
        ShowInternalError();
        return;
    }
    com::ComPtr<IQuarantineSession> session;
    ClearLastError(*quarantine);
    if (FAILED(quarantine->GetFirstQuarantineSession(session.Put()))) {
        ShowInternalError();
        return;
    }
    unsigned long number = 0;
    int broken = 0;
    for (bool first = true;; first = false) {
        const SessionAnswer answer =
            ReadSessionAnswer(first, static_cast<bool>(session), LastError(*quarantine));
        if (answer == SessionAnswer::kEnd || answer == SessionAnswer::kFailed)
            break;
        if (answer == SessionAnswer::kBroken) {
            // Told once; the sessions after it are still listed.
            TellText(ui::FillInTexts(ui::LoadText(IDS_QUARANTINE_BROKEN_SESSION),
                                     {ui::FromAnsi(LastError(*quarantine))}),
                     kSoundWarning);
            if (++broken >= kMaxBrokenSessions)
                break;
        } else {
            com::UniqueBstr path;
            session->get_bsSessionFilePath(path.Put());
            const std::string name = SessionNameFromPath(BstrText(path));
            std::string date = kUnknownSessionDate;
            std::string time;
            if (const auto utc = ParseSessionTime(name)) {
                if (const auto local = SessionLocalTime(*utc)) {
                    char text[64] = {};
                    if (GetDateFormatA(LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, &*local, nullptr,
                                       text, 64) > 0)
                        date = text;
                    if (GetTimeFormatA(LOCALE_USER_DEFAULT, LOCALE_NOUSEROVERRIDE, &*local, nullptr,
                                       text, 64) > 0)
                        time = text;
                }
            }
            ++number;
            session_names_[number] = name;
            const HTREEITEM node = InsertRootItemAtTop(
                tree, ui::FromAnsi(SessionNodeText(date, time, name)), static_cast<LPARAM>(number));
            // The dummy child gives the node its expand button until it is
            // expanded.
            InsertChildItemLast(tree, node, "", static_cast<LPARAM>(number), false);
        }
        session.Reset();
        ClearLastError(*quarantine);
        if (FAILED(quarantine->GetNextQuarantineSession(session.Put()))) {
            ShowInternalError();
            break;
        }
    }
}

CQuarantineDlg::Found CQuarantineDlg::FindSession(const std::string& name,
                                                  com::ComPtr<IQuarantineSession>& session) {
    session.Reset();
    CGorsewatch5App* app = CGorsewatch5App::Current();
    IQuarantine* quarantine = app != nullptr ? app->quarantine() : nullptr;
    if (quarantine == nullptr)
        return Found::kFailed;
    ClearLastError(*quarantine);
    if (FAILED(quarantine->GetFirstQuarantineSession(session.Put())))
        return Found::kFailed;
    int broken = 0;
    for (bool first = true;; first = false) {
        switch (ReadSessionAnswer(first, static_cast<bool>(session), LastError(*quarantine))) {
            case SessionAnswer::kEnd:
                return Found::kNotFound;
            case SessionAnswer::kFailed:
                return Found::kFailed;
            case SessionAnswer::kBroken:
                if (++broken >= kMaxBrokenSessions)
                    return Found::kFailed;
                break;
            case SessionAnswer::kSession: {
                com::UniqueBstr path;
                session->get_bsSessionFilePath(path.Put());
                if (lstrcmpiA(SessionNameFromPath(BstrText(path)).c_str(), name.c_str()) == 0)
                    return Found::kFound;
                break;
            }
        }
        session.Reset();
        ClearLastError(*quarantine);
        if (FAILED(quarantine->GetNextQuarantineSession(session.Put())))
            return Found::kFailed;
    }
}

std::string CQuarantineDlg::LocationNodeText(const std::string& location) const {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    ILocation* location_object = app != nullptr ? app->location() : nullptr;
    const com::UniqueBstr text = MakeBstr(location);
    // A registry item's location also names its export file: its key is
    // what a person recognises.
    if (location_object != nullptr && SUCCEEDED(location_object->SetString(text.Get()))) {
        VARIANT_BOOL registry = VARIANT_FALSE;
        com::UniqueBstr key;
        const com::UniqueBstr attribute(SysAllocString(L"Key"));
        if (SUCCEEDED(location_object->IsRegistryItem(&registry)) && registry == VARIANT_TRUE &&
            SUCCEEDED(location_object->GetAttributeValue(attribute.Get(), key.Put())) &&
            key.Get() != nullptr)
            return BstrText(key);
    }
    com::UniqueBstr display;
    GetLocationDisplayText(text.Get(), display.Put(), location_object);
    return BstrText(display);
}

void CQuarantineDlg::LoadSessionItems(HTREEITEM session_node, IQuarantineSession& session) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const bool checked = tree.IsChecked(session_node);
    com::ComPtr<IQuarantinedItem> item;
    if (FAILED(session.GetFirstQuarantinedItem(item.Put())))
        return;
    while (item) {
        long pest_id = -1;
        com::UniqueBstr location;
        item->get_nPestId(&pest_id);
        item->get_bsLocation(location.Put());
        const std::string name = app->GetPestName(pest_id);
        HTREEITEM pest_node = nullptr;
        for (const HTREEITEM child : tree.Children(session_node)) {
            if (tree.ItemText(child) == ui::FromAnsi(name)) {
                pest_node = child;
                break;
            }
        }
        if (pest_node == nullptr)
            pest_node = InsertChildItemLast(tree, session_node, name, pest_id, checked);
        InsertChildItemLast(tree, pest_node, LocationNodeText(BstrText(location)), pest_id,
                            checked);
        item.Reset();
        if (FAILED(session.GetNextQuarantinedItem(item.Put())))
            break;
    }
}

bool CQuarantineDlg::LoadIfNeverExpanded(HTREEITEM session_node) {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const HTREEITEM first = FirstChild(tree, session_node);
    if (!IsDummy(tree, first))
        return true;
    const auto name = session_names_.find(static_cast<unsigned long>(tree.Data(session_node)));
    if (name == session_names_.end())
        return true;
    com::ComPtr<IQuarantineSession> session;
    switch (FindSession(name->second, session)) {
        case Found::kFailed:
            return false;
        case Found::kNotFound:
            // A session the quarantine no longer lists keeps its dummy.
            return true;
        case Found::kFound:
            TreeView_DeleteItem(tree.handle(), first);
            LoadSessionItems(session_node, *session.Get());
            return true;
    }
    return true;
}

LRESULT CQuarantineDlg::OnItemExpandingTree(const NMHDR& header) {
    const auto& notice = reinterpret_cast<const NMTREEVIEWW&>(header);
    if ((notice.action & TVE_EXPAND) == 0)
        return FALSE;
    const ui::WaitCursor cursor;
    if (!LoadIfNeverExpanded(notice.itemNew.hItem))
        ShowInternalError();
    return FALSE;
}

HTREEITEM CQuarantineDlg::SessionNodeOf(HTREEITEM item) const {
    const HWND tree = Item(IDC_QUARANTINE_TREE);
    while (item != nullptr) {
        const HTREEITEM parent = TreeView_GetParent(tree, item);
        if (parent == nullptr)
            return item;
        item = parent;
    }
    return nullptr;
}

void CQuarantineDlg::SetSubtreeCheck(HTREEITEM item, bool state, HTREEITEM skip) {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    if (item != skip)
        tree.SetChecked(item, state);
    for (const HTREEITEM child : tree.Children(item))
        SetSubtreeCheck(child, state, skip);
}

void CQuarantineDlg::SyncSessionCheck(HTREEITEM item) {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const HTREEITEM session = SessionNodeOf(item);
    if (session != nullptr)
        SetSubtreeCheck(session, !tree.IsChecked(item), item);
}

bool CQuarantineDlg::AnyOtherChecked(HTREEITEM item) const {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    for (const HTREEITEM session : tree.Roots()) {
        if (session != item && tree.IsChecked(session))
            return true;
        for (const HTREEITEM child : tree.Children(session)) {
            if (child != item && tree.IsChecked(child))
                return true;
        }
    }
    return false;
}

void CQuarantineDlg::ApplyButtons(const SessionButtons& buttons) {
    EnableItem(IDC_QUARANTINE_RESTORE, buttons.act_enabled);
    EnableItem(IDC_QUARANTINE_DELETE, buttons.act_enabled);
    if (buttons.clear_select_all)
        CheckItem(IDC_QUARANTINE_SELECT_ALL, false);
}

LRESULT CQuarantineDlg::OnClickTree() {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const DWORD position = GetMessagePos();
    const ui::TreeView::Hit hit = tree.HitTestScreen(
        {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))});
    if (hit.item == nullptr)
        return 0;
    const bool is_session = TreeView_GetParent(tree.handle(), hit.item) == nullptr;
    if ((hit.flags & (TVHT_ONITEMSTATEICON | TVHT_ONITEMICON)) != 0) {
        // The tree toggles the clicked box itself after this notice.
        const bool now_checked = !tree.IsChecked(hit.item);
        SyncSessionCheck(hit.item);
        ApplyButtons(ButtonsAfterCheck(now_checked, AnyOtherChecked(hit.item)));
    } else if ((hit.flags & TVHT_ONITEMLABEL) != 0) {
        if (!is_session) {
            OpenPestInfoPage(hit.item);
            return 0;
        }
        SyncSessionCheck(hit.item);
        const bool now_checked = !tree.IsChecked(hit.item);
        tree.SetChecked(hit.item, now_checked);
        ApplyButtons(ButtonsAfterCheck(now_checked, AnyOtherChecked(hit.item)));
    } else {
        return 0;
    }
    InvalidateRect(tree.handle(), nullptr, TRUE);
    return 0;
}

LRESULT CQuarantineDlg::OnKeyDownTree(const NMHDR& header) {
    const auto& key = reinterpret_cast<const NMTVKEYDOWN&>(header);
    if (key.wVKey != VK_SPACE)
        return 0;
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const HTREEITEM item = tree.Selected();
    if (item != nullptr) {
        // The tree toggles the selected item's own box after this notice.
        const bool now_checked = !tree.IsChecked(item);
        SyncSessionCheck(item);
        ApplyButtons(ButtonsAfterCheck(now_checked, AnyOtherChecked(item)));
    }
    // The space takes no part in the tree's incremental search.
    return 1;
}

void CQuarantineDlg::OnSelectAll() {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const bool checked = IsItemChecked(IDC_QUARANTINE_SELECT_ALL);
    const auto roots = tree.Roots();
    for (const HTREEITEM session : roots)
        SetSubtreeCheck(session, checked, nullptr);
    const bool enable = checked && !roots.empty();
    EnableItem(IDC_QUARANTINE_RESTORE, enable);
    EnableItem(IDC_QUARANTINE_DELETE, enable);
    InvalidateRect(tree.handle(), nullptr, TRUE);
}

void CQuarantineDlg::OnHelp() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    ui::CurrentShellOpener().Open(
        handle(), ui::FromAnsi(app->install_folder()) + ui::LoadText(IDS_HELP_FILE_NAME));
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CQuarantineDlg::OpenPestInfoPage(HTREEITEM item) {
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    olvex::OpenPestInfoPage(handle(), static_cast<std::int32_t>(tree.Data(item)));
}

void CQuarantineDlg::OnRestoreOrDelete(SessionAction action) {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const ui::WaitCursor cursor;
    EnableItem(action == SessionAction::kRestore ? IDC_QUARANTINE_RESTORE : IDC_QUARANTINE_DELETE,
               false);
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    const std::vector<HTREEITEM> roots = tree.Roots();
    std::vector<SessionRow> rows;
    for (const HTREEITEM root : roots)
        rows.push_back({static_cast<unsigned long>(tree.Data(root)), tree.IsChecked(root)});
    const SessionWalk walk = PlanSessionWalk(action, rows);
    for (const std::size_t index : walk.widened)
        SetSubtreeCheck(roots[index], true, nullptr);

    const ActionTexts texts = TextsOf(action);
    const std::string log_action = ui::ToAnsi(ui::LoadText(texts.log_action));
    const std::string not_applicable = ui::ToAnsi(ui::LoadText(IDS_QUARANTINE_NOT_APPLICABLE));
    IQuarantine* quarantine = app->quarantine();
    IPestDatabase* database = app->pest_database();
    for (const std::size_t index : walk.order) {
        const HTREEITEM node = roots[index];
        const std::wstring node_text = tree.ItemText(node);
        const auto name = session_names_.find(static_cast<unsigned long>(tree.Data(node)));
        if (name == session_names_.end())
            continue;
        com::ComPtr<IQuarantineSession> session;
        const Found found = FindSession(name->second, session);
        if (found == Found::kFailed || quarantine == nullptr) {
            // Nothing is known of this or the following sessions: they stay.
            ShowInternalError();
            break;
        }
        if (found == Found::kNotFound) {
            if (!TreeView_DeleteItem(tree.handle(), node))
                TellText(ui::FillInTexts(ui::LoadText(texts.not_removed), {node_text}),
                         kSoundWarning);
            continue;
        }
        std::vector<ItemLogLine> lines;
        com::ComPtr<IQuarantinedItem> item;
        session->GetFirstQuarantinedItem(item.Put());
        while (item) {
            ItemLogLine line;
            long pest_id = -1;
            item->get_nPestId(&pest_id);
            line.pest_id = pest_id;
            com::UniqueBstr location;
            item->get_bsLocation(location.Put());
            long pvt = -1;
            if (database != nullptr)
                database->GetPVTByLocation(location.Get(), &pvt);
            line.pvt = pvt;
            lines.push_back(line);
            item.Reset();
            if (FAILED(session->GetNextQuarantinedItem(item.Put())))
                break;
        }
        VARIANT_BOOL success = VARIANT_FALSE;
        ClearLastError(*quarantine);
        const HRESULT result = action == SessionAction::kRestore
                                   ? quarantine->RestoreQuarantineSession(session.Get(), &success)
                                   : quarantine->DeleteQuarantineSession(session.Get(), &success);
        session.Reset();
        if (FAILED(result) || success != VARIANT_TRUE) {
            // Nothing happened to the session: no log line for it.
            TellText(ui::FillInTexts(ui::LoadText(texts.failed),
                                     {node_text, ui::FromAnsi(LastError(*quarantine))}),
                     kSoundWarning);
            continue;
        }
        app->activity_log().With([&](CLogFile& log) {
            for (const ItemLogLine& line : lines)
                log.AddEntry(line.pest_id, not_applicable, app->GetPestName(line.pest_id),
                             log_action, app->GetPestCategory(line.pest_id), line.pvt);
        });
        if (!TreeView_DeleteItem(tree.handle(), node))
            TellText(ui::FillInTexts(ui::LoadText(texts.not_removed), {node_text}), kSoundWarning);
    }

    app->activity_log().With([](CLogFile& log) { log.Flush(); });
    EnableItem(IDC_QUARANTINE_RESTORE, false);
    EnableItem(IDC_QUARANTINE_DELETE, false);
    CheckItem(IDC_QUARANTINE_SELECT_ALL, false);
    if (tree.Roots().empty())
        EnableItem(IDC_QUARANTINE_SELECT_ALL, false);
}

void CQuarantineDlg::OnSaveReport() {
    CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return;
    const ui::TreeView tree(handle(), IDC_QUARANTINE_TREE);
    if (tree.Count() == 0) {
        Tell(IDS_QUARANTINE_NO_PESTS, kSoundDone);
        return;
    }
    ui::SaveFileRequest request;
    request.default_extension = L"txt";
    request.file_name = ui::LoadText(IDS_QUARANTINE_REPORT_NAME);
    request.filter = ui::LoadText(IDS_QUARANTINE_REPORT_FILTER);
    const std::optional<std::wstring> chosen =
        ui::CurrentSaveFileChooser().Choose(handle(), request);
    if (!chosen)
        return;
    const std::string path = WithSingleTxtExtension(ui::ToAnsi(*chosen));
    EnableItem(IDC_QUARANTINE_REPORT, false);

    // Sessions never expanded are read into the tree first, where they stay.
    std::vector<ReportSession> sessions;
    bool listed = true;
    for (const HTREEITEM node : tree.Roots()) {
        if (listed && !LoadIfNeverExpanded(node))
            listed = false;
        ReportSession session;
        session.text = ui::ToAnsi(tree.ItemText(node));
        session.number = static_cast<unsigned long>(tree.Data(node));
        for (const HTREEITEM pest : tree.Children(node)) {
            if (IsDummy(tree, pest))
                continue;
            ReportPest entry;
            entry.name = ui::ToAnsi(tree.ItemText(pest));
            for (const HTREEITEM location : tree.Children(pest))
                entry.locations.push_back(ui::ToAnsi(tree.ItemText(location)));
            session.pests.push_back(std::move(entry));
        }
        sessions.push_back(std::move(session));
    }
    const std::string text =
        QuarantineReportText(FormatCurrentDateTime(), sessions,
                             [](unsigned long k) { return ui::ToAnsi(CountText(k)); });
    ui::TextFileWriter writer;
    ui::TextFileError error = writer.Create(path);
    if (!error) {
        writer.Write(text);
        error = writer.Close();
    }
    if (error)
        ui::ShowFileErrorBox(error, handle());
    EnableItem(IDC_QUARANTINE_REPORT, true);
    // The Save As dialog may have changed the working folder.
    SetCurrentDirectoryA(app->install_folder().c_str());
}

}  // namespace olvex

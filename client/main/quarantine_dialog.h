// `CQuarantineDlg`, the Manage Quarantine dialog (template 143). The
// configuration page runs it while it holds the pest-activity mutex.
//
// The tree shows one node per quarantine session, newest at the top, with
// the session's pests and their locations under it; the items of a session
// are read from the quarantine when it is first expanded. Every node of a
// session takes the session node's check state. Restore puts the checked
// sessions back (and every newer one), Delete removes them for good (and
// every older one), Save Report writes every session to a text file. The
// rules without windows are in quarantine_rules.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "client/common/ui/gdi.h"
#include "client/main/program_dialog.h"
#include "client/main/quarantine_rules.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex {

// The local time of a session made at the UTC time, by the rules of the
// zone (null: the machine's) for that date, not by today's bias: a session
// from the other side of a daylight-saving change shows its own hour.
std::optional<SYSTEMTIME> SessionLocalTime(const SessionTime& utc,
                                           const TIME_ZONE_INFORMATION* zone = nullptr);

class CQuarantineDlg : public ManagementDialog {
  public:
    CQuarantineDlg();
    ~CQuarantineDlg() override;
    CQuarantineDlg(const CQuarantineDlg&) = delete;
    CQuarantineDlg& operator=(const CQuarantineDlg&) = delete;

  protected:
    bool OnInitDialog() override;

  private:
    enum class Found { kFound, kNotFound, kFailed };

    void FillSessionTree();
    // The listed session of that name (case does not count).
    Found FindSession(const std::string& name, com::ComPtr<IQuarantineSession>& session);
    void LoadSessionItems(HTREEITEM session_node, IQuarantineSession& session);
    // Reads a never-expanded session's items into the tree; false when the
    // quarantine could not be asked.
    bool LoadIfNeverExpanded(HTREEITEM session_node);
    std::string LocationNodeText(const std::string& location) const;

    HTREEITEM SessionNodeOf(HTREEITEM item) const;
    void SyncSessionCheck(HTREEITEM item);
    void SetSubtreeCheck(HTREEITEM item, bool state, HTREEITEM skip);
    bool AnyOtherChecked(HTREEITEM item) const;
    void ApplyButtons(const SessionButtons& buttons);

    LRESULT OnClickTree();
    LRESULT OnKeyDownTree(const NMHDR& header);
    LRESULT OnItemExpandingTree(const NMHDR& header);
    void OnSelectAll();
    void OnHelp();
    void OnRestoreOrDelete(SessionAction action);
    void OnSaveReport();
    void OpenPestInfoPage(HTREEITEM item);
    void ShowInternalError() const;
    void Tell(UINT string_id, int sound_kind) const;
    void TellText(const std::wstring& text, int sound_kind) const;

    // Each session node's name by its session number (the node's data).
    std::map<unsigned long, std::string> session_names_;
    win::UniqueFont tree_font_;
    win::UniqueFont frame_font_;
    win::UniqueBitmap help_bitmap_;
};

}  // namespace olvex

// `CExclusionsDlg`, the Manage Exclusions dialog (template 145): the
// excluder's exclusions in two check-box trees, pests on the left and files
// and folders on the right. Ticked exclusions can be removed, a file or
// folder added, and both lists saved as a report. The configuration page
// runs it while it holds the pest-activity mutex.
//
// Each tree item stands for one exclusion, known by its exact stored text:
// the engine removes every exclusion of one text, so a removal by name could
// take a different exclusion of the same name (or leave a twin behind).
// After every change both trees are filled again from the excluder.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "client/common/ui/controls.h"
#include "client/common/ui/gdi.h"
#include "client/main/exclusion_rules.h"
#include "client/main/program_dialog.h"
#include "olvex/com/com_ptr.h"
#include "olvex/olvex.h"

namespace olvex {

class CExclusionsDlg : public ManagementDialog {
  public:
    CExclusionsDlg();

  protected:
    bool OnInitDialog() override;

  private:
    struct TreeIds {
        int tree;
        int select_all;
        int remove;
    };

    // The excluder, initialised on the data folder when it is not yet; null
    // (with the error shown) when it cannot be.
    IExcluder* EnsureExcluder();
    // A new excluder that has just read the exclusion file; null when the
    // file cannot be read now.
    static com::ComPtr<IExcluder> ExcluderReadAfresh();
    // Fills both trees from the excluder; the ticked texts stay ticked.
    void FillTrees(const std::set<std::string>& keep_ticked = {});
    void ShowButtons(const TreeIds& ids, const TreeButtons& buttons) const;
    TreeButtons Buttons(const TreeIds& ids) const;
    std::size_t TickedCount(const ui::TreeView& tree) const;

    void OnAddPath();
    void OnRemove(const TreeIds& ids);
    void OnSelectAll(const TreeIds& ids);
    LRESULT OnClickTree(const TreeIds& ids);
    void OnSaveReport();

    win::UniqueFont tree_font_;
    win::UniqueFont caption_font_;
    win::UniqueBitmap help_picture_;
    // The stored text of the exclusion each tree item stands for.
    std::map<HTREEITEM, std::string> exclusion_texts_;
};

}  // namespace olvex

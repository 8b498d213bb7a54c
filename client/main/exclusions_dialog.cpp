#include "client/main/exclusions_dialog.h"

#include "client/main/exclusions_dialog_ids.h"

namespace olvex {

CExclusionsDlg::CExclusionsDlg() : ManagementDialog(IDD_EXCLUSIONS) {}

}  // namespace olvex

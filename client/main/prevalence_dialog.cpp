#include "client/main/prevalence_dialog.h"

#include "client/main/prevalence_dialog_ids.h"

namespace olvex {

CPrevalenceDlg::CPrevalenceDlg() : ManagementDialog(IDD_PREVALENCE) {}

}  // namespace olvex

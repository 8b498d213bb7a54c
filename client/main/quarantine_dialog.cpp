#include "client/main/quarantine_dialog.h"

#include "client/main/quarantine_dialog_ids.h"

namespace olvex {

CQuarantineDlg::CQuarantineDlg() : ManagementDialog(IDD_QUARANTINE) {}

}  // namespace olvex

#include "client/main/log_dialog.h"

#include "client/main/log_dialog_ids.h"

namespace olvex {

CLogDlg::CLogDlg() : ManagementDialog(IDD_LOG) {}

}  // namespace olvex

#include "client/main/schedule_dialog.h"

#include "client/main/schedule_dialog_ids.h"

namespace olvex {

CScheduleDlg::CScheduleDlg() : ManagementDialog(IDD_SCHEDULE) {}

}  // namespace olvex

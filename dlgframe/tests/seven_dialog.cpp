#include "dlgframe/tests/seven_dialog.h"

#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/test_ids.h"

namespace olvex::frametest {
namespace {

void Flags(HWND dialog, int id, LPARAM flags) {
    SendDlgItemMessageW(dialog, id, FRAMEWORK_MSG_SET_FLAGS, 0, flags);
}

INT_PTR CALLBACK SevenProcedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            const HMODULE self = GetModuleHandleW(nullptr);
            Flags(dialog, IDC_GROUP, FRAMEWORK_GROUP_BOXED);
            Flags(dialog, IDC_GRADIENT_LABEL, FRAMEWORK_LABEL_OWN_BACKGROUND | FRAMEWORK_CONTROL_BOLD);
            Flags(dialog, IDC_ALPHA_IMAGE, FRAMEWORK_IMAGE_ALPHA);
            Flags(dialog, IDC_KEYED_IMAGE, FRAMEWORK_IMAGE_COLOUR_KEY);
            Flags(dialog, IDC_FLAT_BUTTON, FRAMEWORK_BUTTON_FLAT);
            Flags(dialog, IDC_IMAGE_BUTTON, FRAMEWORK_BUTTON_IMAGE_COLOUR_KEY);
            Flags(dialog, IDC_LINK, FRAMEWORK_LINK_LEFT);
            SendDlgItemMessageW(dialog, IDC_ALPHA_IMAGE, STM_SETIMAGE, IMAGE_BITMAP,
                                reinterpret_cast<LPARAM>(
                                    Api().load_tga_resource(IDT_ALPHA_BLOCK, 0, TRUE)));
            SendDlgItemMessageW(dialog, IDC_KEYED_IMAGE, STM_SETIMAGE, IMAGE_BITMAP,
                                reinterpret_cast<LPARAM>(Api().load_bitmap(
                                    self, FALSE, MAKEINTRESOURCEW(IDB_TEST_KEYED))));
            SendDlgItemMessageW(dialog, IDC_IMAGE_BUTTON, BM_SETIMAGE, IMAGE_BITMAP,
                                reinterpret_cast<LPARAM>(Api().load_bitmap(
                                    self, FALSE, MAKEINTRESOURCEW(IDB_TEST_KEYED))));
            SendDlgItemMessageW(dialog, IDC_LINK, FRAMEWORK_MSG_SET_LINK_TARGET, 0,
                                reinterpret_cast<LPARAM>(kLinkTarget));
            SendDlgItemMessageW(dialog, IDC_SHORT_LINK, FRAMEWORK_MSG_SET_LINK_TARGET, 0,
                                reinterpret_cast<LPARAM>(L"x"));
            SendDlgItemMessageW(dialog, IDC_RADIO1, BM_SETCHECK, BST_CHECKED, 0);
            return TRUE;
        }
        case WM_COMMAND:
            SevenCommands().Add(LOWORD(wparam), HIWORD(wparam));
            if (LOWORD(wparam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

CommandLog& SevenCommands() {
    static CommandLog log;
    return log;
}

INT_PTR ShowSevenDialog(UINT host_flags) {
    SevenCommands().Clear();
    return Api().dialog_box(GetModuleHandleW(nullptr), IDD_TEST_SEVEN, nullptr, SevenProcedure, 0,
                            host_flags);
}

}  // namespace olvex::frametest

// Unloading and loading the framework again: no control class may be left
// pointing at code that is gone.
#include <gtest/gtest.h>

#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/seven_dialog.h"
#include "dlgframe/tests/test_ids.h"

namespace olvex::frametest {
namespace {

bool ClassRegistered(const wchar_t* name) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    return GetClassInfoExW(GetModuleHandleW(nullptr), name, &info) != FALSE;
}

void ShowAndCheckTheControls() {
    const INT_PTR result = Drive([] { return ShowSevenDialog(0x2); },
                                 [] {
                                     HWND dialog = WaitForWindow(kSevenTitle);
                                     if (dialog == nullptr) {
                                         ADD_FAILURE() << "no dialog";
                                         return;
                                     }
                                     // The framework's label procedure answers.
                                     EXPECT_EQ(Text(GetDlgItem(dialog, IDC_SPLIT_LABEL)), L"Left");
                                     Send(GetDlgItem(dialog, IDCANCEL), BM_CLICK);
                                 });
    EXPECT_EQ(result, IDCANCEL);
}

TEST(FrameworkReloadTest, ControlsWorkAfterTheDllWasUnloadedAndLoadedAgain) {
    {
        Session session(L"tprodover.dll", L"tframeres.dll");
        ShowAndCheckTheControls();
        EXPECT_TRUE(ClassRegistered(L"CUST:BUTTON"));
    }
    UnloadFramework();
    EXPECT_FALSE(ClassRegistered(L"CUST:BUTTON"));
    EXPECT_FALSE(ClassRegistered(L"CUST:LABEL"));

    // A class of one of the framework's names left with another procedure
    // (as a copy of the framework that is gone would leave it).
    WNDCLASSEXW stale{};
    stale.cbSize = sizeof(stale);
    stale.style = CS_GLOBALCLASS;
    stale.lpfnWndProc = DefWindowProcW;
    stale.hInstance = GetModuleHandleW(nullptr);
    stale.lpszClassName = L"CUST:LABEL";
    ASSERT_NE(RegisterClassExW(&stale), 0);

    ASSERT_TRUE(ReloadFramework(L"ulmfrm.dll"));
    Session session(L"tprodover.dll", L"tframeres.dll");
    ShowAndCheckTheControls();
}

}  // namespace
}  // namespace olvex::frametest

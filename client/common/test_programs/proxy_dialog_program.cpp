// The client library's proxy dialog in a program of its own, for the GUI
// tests (no product program that offers it is built yet):
//
//   proxy_dialog_program.exe FOLDER            shows "Kelvan Gorsewatch -- Proxy"
//                                              over FOLDER\proxyinfo.dat
//   proxy_dialog_program.exe FOLDER --report   posts one prevalence report
//                                              through the stored proxy
//
// The exit code is the dialog's result, or 0 when the report was taken and
// 1 when not.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "client/common/client_application.h"
#include "client/common/prevalence_reporter.h"
#include "client/common/proxy_settings.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/controls.h"
#include "client/common/ui/client_proxy_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 2)
        return 2;
    std::string folder = olvex::ui::ToAnsi(arguments[1]);
    if (!folder.empty() && folder.back() != '\\')
        folder += '\\';
    const bool report = count > 2 && std::wstring(arguments[2]) == L"--report";
    LocalFree(arguments);

    olvex::ClientApplication app(instance);
    olvex::CProxySettings settings;
    settings.Load(folder);
    if (report) {
        const olvex::CPrevalenceReporter reporter;
        return reporter.ReportPest("{PROXY-TEST}", 4101, 7, "Proxy.Test", false,
                                   "C:\\proxy-test.exe", &settings) == 0
                   ? 0
                   : 1;
    }
    olvex::ui::EnsureCommonControls();
    olvex::ui::CProxyDlg dialog(IDD_PROXY, settings, folder, olvex::ui::ClientProxyDialogTexts());
    return static_cast<int>(dialog.RunModal());
}

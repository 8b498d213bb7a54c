// The protection program's GUI tests' fixture: Wakenor.exe installed into a
// scratch install folder with the engine and the sample definitions the way
// setup installs it, started (the shipped program or its test build, with
// environment variables of its own) and ended again, with the registry
// values and product files it may change put back.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "client/protect/protection_test_support.h"
#include "client/protect/wakenor_resources.h"
#include "olvex/registration_test_support.h"

namespace olvex::protect::testing {

using namespace olvex::gui;

// The first program on a fresh virtual desktop waits for the desktop.
inline constexpr DWORD kFirstStartMs = 120000;
inline constexpr DWORD kWaitMs = 20000;
inline constexpr DWORD kStopMs = 3000;
inline constexpr UINT kTrayMessage = 1026;
inline constexpr char kProductKey[] = "Software\\Vorandel\\KelvanGorsewatch";
inline constexpr char kSettingsMutex[] = "QZAPSettingsDialog";

struct StartOptions {
    bool test_build = false;
    std::wstring working_folder;                                     // empty: the test's own
    std::vector<std::pair<std::wstring, std::wstring>> environment;  // set for the start only
};

class WakenorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registration_ = std::make_unique<olvex::testing::RegistrySnapshot>(
            HKEY_CLASSES_ROOT, olvex::testing::RegistrationKeys());
        machine_keys_ = std::make_unique<olvex::testing::RegistrySnapshot>(
            HKEY_LOCAL_MACHINE,
            std::vector<std::wstring>{L"Software\\Vorandel",
                                      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"});
        const fs::path product = ProductFolder();
        fs::create_directories(product);
        files_ = std::make_unique<FilesRestored>(std::vector<fs::path>{
            product / "qzad.ini", product / "qzv5exe.ini", product / "QZv5Log.txt"});
        fs::remove(product / "qzad.ini");

        install_ = scratch_.path() / "Kelvan Gorsewatch";
        fs::create_directories(install_ / "core");
        fs::copy_file(Narrow(WindowsPath(OLVEX_DLL_PATH)), install_ / "olvex.dll");
        for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
            fs::copy_file(fs::path(Narrow(WindowsPath(OLVEX_SAMPLE_DEFINITIONS_DIR))) / name,
                          install_ / "core" / name);
        InstallProgram(false);
        WriteMachineValue(kProductKey, "InstallPath", REG_SZ, InstallFolder());
    }

    void TearDown() override {
        EndProgram();
        files_.reset();
        machine_keys_.reset();
        registration_.reset();
    }

    std::string InstallFolder() const { return install_.string() + "\\"; }
    fs::path Exe() const { return install_ / "Wakenor.exe"; }

    void InstallProgram(bool test_build) {
        fs::copy_file(Narrow(WindowsPath(test_build ? OLVEX_WAKENOR_TEST_BUILD : OLVEX_WAKENOR)),
                      Exe(), fs::copy_options::overwrite_existing);
    }

    // Starts the program; its process (also when it ended at once).
    bool Start(const StartOptions& options = {}) {
        EndProgram();
        if (options.test_build)
            InstallProgram(true);
        for (const auto& [name, value] : options.environment)
            SetEnvironmentVariableW(name.c_str(), value.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::wstring command = Quote(Exe().wstring());
        const bool started = ::olvex::testing::StartProcess(
            Exe().wstring().c_str(), command, FALSE, 0,
            options.working_folder.empty() ? nullptr : options.working_folder.c_str(), startup,
            info);
        for (const auto& [name, value] : options.environment)
            SetEnvironmentVariableW(name.c_str(), nullptr);
        if (!started)
            return false;
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        process_id_ = info.dwProcessId;
        return true;
    }

    // The hidden protection window of the started program.
    HWND WaitForWindow(DWORD timeout_ms = kFirstStartMs) {
        window_ =
            FindTopLevelWindow({.title = kProtectionTitle, .process_id = process_id_}, timeout_ms);
        return window_;
    }

    bool Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    bool Ended(DWORD timeout_ms) const {
        return process_ && WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0;
    }

    void EndProgram() {
        if (!process_)
            return;
        if (Running()) {
            if (window_ && IsWindow(window_))
                PostWindowMessage(window_, WM_CLOSE, 0, 0);
            if (!Ended(5000))
                TerminateProcess(process_, 1);
            WaitForSingleObject(process_, 10000);
        }
        CloseHandle(process_);
        process_ = nullptr;
        window_ = nullptr;
    }

    // A message box of the program (its caption is the protection's).
    HWND WaitForMessageBox(DWORD timeout_ms) const {
        return FindTopLevelWindow(
            {.title = kMessageCaption, .class_name = L"#32770", .process_id = process_id_},
            timeout_ms);
    }

    // Shows the settings as the icon's double-click does.
    void ShowSettings() {
        ASSERT_TRUE(SendWindowMessage(window_, kTrayMessage, 129, WM_LBUTTONDBLCLK).completed);
        ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(window_) != FALSE; }, kWaitMs));
    }

    HWND Item(int id) const { return FindChild(window_, id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    int Check(int id) const { return GetCheck(Item(id)); }

    // Clicks a box (posted, through the program's loop) and waits until it
    // has changed and Apply has come on.
    void Toggle(int id) {
        const int before = Check(id);
        ASSERT_TRUE(ClickButton(Item(id))) << id;
        ASSERT_TRUE(WaitUntil([&] { return Check(id) != before; }, kWaitMs)) << id;
        ASSERT_TRUE(WaitUntil([&] { return Enabled(IDC_APPLY); }, kWaitMs)) << id;
    }

    std::optional<PopupMenu> OpenMenu(WPARAM icon = 129) {
        PostWindowMessage(window_, kTrayMessage, icon, WM_RBUTTONDOWN);
        return ReadPopupMenu(process_id_, kWaitMs);
    }

    void Choose(UINT command) {
        const auto menu = OpenMenu();
        ASSERT_TRUE(menu);
        ASSERT_TRUE(ChoosePopupMenuItem(*menu, command));
        ASSERT_TRUE(WaitForWindowGone(menu->window, kWaitMs) || !IsWindowVisible(menu->window));
    }

    std::string Settings() const { return ReadText(ProductFolder() / "qzad.ini"); }

    olvex::testing::ScratchDir scratch_;
    fs::path install_;
    HANDLE process_ = nullptr;
    DWORD process_id_ = 0;
    HWND window_ = nullptr;
    std::unique_ptr<olvex::testing::RegistrySnapshot> registration_;
    std::unique_ptr<olvex::testing::RegistrySnapshot> machine_keys_;
    std::unique_ptr<FilesRestored> files_;
};

}  // namespace olvex::protect::testing

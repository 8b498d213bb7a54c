// What the main program's Windows tests share: the product installed the way
// setup leaves it (an install folder with blanks named by "InstallPath",
// Gorsewatch5.exe, the engine, definitions published for the tests, the
// scripted-remover stand-in and its empty index), and Gorsewatch5.exe
// started, waited for, answered and closed from outside.
//
//     TestInstall install;                          // real engine, good definitions
//     Gorsewatch5Process program;
//     ASSERT_TRUE(program.Start(install));
//     const HWND frame = program.WaitForMainWindow();
//     ASSERT_TRUE(program.WaitUntilIdle());         // start-up done, no message
//     ScreenshotWhenDrawn(frame, "home-page");
//     EXPECT_TRUE(program.Close());
//
// Everything an install and a run touch is put back afterwards: the
// product's registry keys and the engine's registration, the shared engine
// copy, the product's data files and the machine-id file.
//
// The tests that use it define OLVEX_GORSEWATCH5_PATH,
// OLVEX_GORSEWATCH5_TEST_BUILD_PATH, OLVEX_DLL_PATH, OLVEX_STUB_ENGINE_PATH,
// OLVEX_QZCLEAN_PATH, OLVEX_MAIN_DEFINITIONS_DIR and
// OLVEX_MAIN_CORRUPT_DEFINITIONS_DIR (CMakeLists.txt: olvex_main_gui_test).
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "olvex/registration_test_support.h"
#include "testing/gui/gui_test_support.h"
#include "testing/gui/window_driver.h"
#include "testing/scratch_dir.h"
#include "testing/windows_test_support.h"

namespace olvex::testing {

namespace fs = std::filesystem;

inline constexpr wchar_t kMainTitle[] = L"Kelvan Gorsewatch by Brackwith";
inline constexpr wchar_t kMessageTitle[] = L"Kelvan Gorsewatch -- Message";
inline constexpr int kMessageTextId = 1110;
// The child id of the page the main window shows.
inline constexpr int kShownPageId = 0xE900;
inline constexpr char kProductKey[] = "Software\\Vorandel\\KelvanGorsewatch";

// The colour shown on screen at a point of the window's client area, read
// after it was drawn.
inline COLORREF ShownColourAt(HWND window, int x, int y) {
    POINT point{x, y};
    ClientToScreen(window, &point);
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, point.x, point.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

// A point in the left margin of the window's client area, halfway down,
// where the templates put no control.
inline COLORREF MarginColour(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return ShownColourAt(window, 3, (client.bottom - client.top) / 2);
}

inline fs::path ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// "<common application data>\XJ\KelvanGorsewatch".
inline fs::path ProductDataFolder() {
    return ShellFolder(CSIDL_COMMON_APPDATA) / "XJ" / "KelvanGorsewatch";
}
inline fs::path SettingsFile() {
    return ProductDataFolder() / "qzv5exe.ini";
}
inline fs::path MachineIdFile() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return fs::path(folder) / "QZGUID.txt";
}
inline fs::path SharedEngineCopy() {
    return ShellFolder(CSIDL_PROGRAM_FILES_COMMON) / "Scanner" / "olvex.dll";
}

inline std::string ReadText(const fs::path& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

inline void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Puts files back as they were: restored when they existed, removed when not.
class FilesPutBack {
  public:
    explicit FilesPutBack(std::vector<fs::path> paths) {
        for (auto& path : paths) {
            std::optional<std::vector<unsigned char>> bytes;
            if (fs::exists(path))
                bytes = ReadFileBytes(path);
            saved_.emplace_back(std::move(path), std::move(bytes));
        }
    }
    ~FilesPutBack() {
        std::error_code ignored;
        for (const auto& [path, bytes] : saved_) {
            fs::remove(path, ignored);
            if (bytes) {
                std::ofstream out(path, std::ios::binary);
                out.write(reinterpret_cast<const char*>(bytes->data()),
                          static_cast<std::streamsize>(bytes->size()));
            }
        }
    }
    FilesPutBack(const FilesPutBack&) = delete;
    FilesPutBack& operator=(const FilesPutBack&) = delete;

  private:
    std::vector<std::pair<fs::path, std::optional<std::vector<unsigned char>>>> saved_;
};

enum class EngineCopy {
    kReal,  // the engine the build made
    kStub,  // classes registered, every class factory refusing
    kNone,  // no engine in the install folder
};

enum class Definitions {
    kGood,         // the bundled sample definitions
    kCorruptFile,  // the same with a spoiled qzfile.dat
    kNone,
};

struct InstallOptions {
    EngineCopy engine = EngineCopy::kReal;
    Definitions definitions = Definitions::kGood;
    // The test build (test_hooks.h) instead of the shipped program.
    bool test_build = false;
    // The help file KvQZHelp.chm beside the program.
    bool help_file = false;
    fs::path folder = L"C:\\Program Files\\Kelvan Suite\\Kelvan Gorsewatch";
};

inline fs::path BuildPath(const char* path) {
    return fs::path(WindowsPath(path));
}

// The product installed the way setup installs it; everything put back when
// this goes (the program must have ended by then).
class TestInstall {
  public:
    explicit TestInstall(InstallOptions options = {}) : options_(std::move(options)) {
        registration_ = std::make_unique<RegistrySnapshot>(HKEY_CLASSES_ROOT, RegistrationKeys());
        product_keys_ = std::make_unique<RegistrySnapshot>(
            HKEY_LOCAL_MACHINE, std::vector<std::wstring>{L"Software\\Vorandel"});
        files_ = std::make_unique<FilesPutBack>(std::vector<fs::path>{
            SharedEngineCopy(), ProductDataFolder() / "QZv5Log.txt", SettingsFile(),
            ProductDataFolder() / "qzscanhistory.txt", ProductDataFolder() / "qzupdateshistory.txt",
            ProductDataFolder() / "qzad.ini", MachineIdFile()});
        // A fresh machine: no engine registered or shared, no data files.
        DeleteRegistrationKeys();
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kProductKey);
        std::error_code ignored;
        for (const fs::path& file :
             {SharedEngineCopy(), ProductDataFolder() / "QZv5Log.txt", SettingsFile(),
              ProductDataFolder() / "qzscanhistory.txt", MachineIdFile()})
            fs::remove(file, ignored);

        fs::remove_all(options_.folder, ignored);
        fs::create_directories(options_.folder / "core");
        fs::copy_file(BuildPath(options_.test_build ? OLVEX_GORSEWATCH5_TEST_BUILD_PATH
                                                    : OLVEX_GORSEWATCH5_PATH),
                      program());
        // The help file the build compiles beside the program; a Help link
        // then starts the system's help viewer, which keeps it open.
        if (options_.help_file)
            fs::copy_file(BuildPath(OLVEX_GORSEWATCH5_PATH).parent_path() / "KvQZHelp.chm",
                          options_.folder / "KvQZHelp.chm");
        if (options_.engine == EngineCopy::kReal)
            fs::copy_file(BuildPath(OLVEX_DLL_PATH), options_.folder / "olvex.dll");
        else if (options_.engine == EngineCopy::kStub)
            fs::copy_file(BuildPath(OLVEX_STUB_ENGINE_PATH), options_.folder / "olvex.dll");
        if (options_.definitions != Definitions::kNone) {
            for (const char* name : {"qzinfo.dat", "qzfile.dat", "qzloc.dat"})
                fs::copy_file(BuildPath(OLVEX_MAIN_DEFINITIONS_DIR) / name,
                              options_.folder / "core" / name);
        }
        if (options_.definitions == Definitions::kCorruptFile)
            fs::copy_file(BuildPath(OLVEX_MAIN_CORRUPT_DEFINITIONS_DIR) / "qzfile.dat",
                          options_.folder / "core" / "qzfile.dat",
                          fs::copy_options::overwrite_existing);
        // No pest of the tests needs the scripted remover: its index is empty.
        fs::copy_file(BuildPath(OLVEX_QZCLEAN_PATH), options_.folder / "core" / "qzclean.exe");
        WriteText(options_.folder / "core" / "qzsrindex.dat", "");
        SetInstallPath(options_.folder.string() + "\\");
    }

    ~TestInstall() {
        std::error_code ignored;
        fs::remove_all(options_.folder, ignored);
        files_.reset();
        product_keys_.reset();
        registration_.reset();
    }
    TestInstall(const TestInstall&) = delete;
    TestInstall& operator=(const TestInstall&) = delete;

    const fs::path& folder() const { return options_.folder; }
    fs::path program() const { return options_.folder / "Gorsewatch5.exe"; }

    // The product key's "InstallPath": a string, a number, or none.
    void SetInstallPath(const std::string& path) const {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegSetValueExA(key, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>(path.size() + 1));
        RegCloseKey(key);
    }
    void SetInstallPathNumber(DWORD number) const {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegSetValueExA(key, "InstallPath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof(number));
        RegCloseKey(key);
    }
    void RemoveInstallPath() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, "InstallPath");
            RegCloseKey(key);
        }
    }

  private:
    InstallOptions options_;
    std::unique_ptr<RegistrySnapshot> registration_;
    std::unique_ptr<RegistrySnapshot> product_keys_;
    std::unique_ptr<FilesPutBack> files_;
};

// Denies writing to the program's key, by a DACL that lets everyone read it
// and change its security only; the old security is put back when this goes.
class ProgramKeyReadOnly {
  public:
    ProgramKeyReadOnly() {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0,
                            KEY_READ | READ_CONTROL | WRITE_DAC, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        if (size == 0 || RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved_.data(), &size) !=
                             ERROR_SUCCESS)
            saved_.clear();
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        // Everyone: read, read the security, write the DACL; nothing else.
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:P(A;;0x60019;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
            applied_ =
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
            LocalFree(descriptor);
        }
        RegCloseKey(key);
    }
    ~ProgramKeyReadOnly() {
        HKEY key = nullptr;
        if (!saved_.empty() &&
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved_.data());
            RegCloseKey(key);
        }
    }
    ProgramKeyReadOnly(const ProgramKeyReadOnly&) = delete;
    ProgramKeyReadOnly& operator=(const ProgramKeyReadOnly&) = delete;

    bool applied() const { return applied_; }

  private:
    std::vector<BYTE> saved_;
    bool applied_ = false;
};

// Presses a dialog's button the way the dialog manager reports it: the
// command, posted. Quicker under Wine than a click on the button, which
// takes the mouse first.
inline bool PressDialogButton(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    if (button == nullptr || !IsWindowEnabled(button))
        return false;
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

// A shown top-level window of the process with exactly that title, waiting
// up to timeout_ms for it. The title is read without a message to the
// window, so a program busy on its window's thread is seen at once.
inline HWND FindShownWindow(const std::wstring& title, DWORD process_id, DWORD timeout_ms) {
    struct Search {
        const std::wstring* title;
        DWORD process_id;
        HWND found;
    };
    HWND found = nullptr;
    gui::WaitUntil(
        [&] {
            Search search{&title, process_id, nullptr};
            EnumWindows(
                [](HWND window, LPARAM param) -> BOOL {
                    auto& s = *reinterpret_cast<Search*>(param);
                    DWORD owner = 0;
                    GetWindowThreadProcessId(window, &owner);
                    wchar_t text[256] = {};
                    if (owner == s.process_id && IsWindowVisible(window) &&
                        InternalGetWindowText(window, text, 256) > 0 && *s.title == text) {
                        s.found = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            found = search.found;
            return found != nullptr;
        },
        timeout_ms);
    return found;
}

// A screenshot once the window's thread has drawn what it has to: the
// window is shot after its thread served two rounds of messages.
inline std::wstring ScreenshotWhenDrawn(HWND window, const std::string& name) {
    for (int round = 0; round < 2; ++round) {
        gui::SendWindowMessage(window, WM_NULL, 0, 0);
        Sleep(150);
    }
    return gui::SaveScreenshot(window, name);
}

// The dialogs (class "#32770") of a process.
inline std::vector<HWND> DialogsOf(DWORD process_id) {
    std::vector<HWND> found;
    for (const auto& window : gui::ListTopLevelWindows()) {
        if (window.process_id == process_id && window.class_name == L"#32770")
            found.push_back(window.handle);
    }
    return found;
}

// Gorsewatch5.exe started by a test. Still running when this goes, it is
// asked to close and then ended.
class Gorsewatch5Process {
  public:
    Gorsewatch5Process() = default;
    ~Gorsewatch5Process() {
        if (running())
            Close(5000);
    }
    Gorsewatch5Process(const Gorsewatch5Process&) = delete;
    Gorsewatch5Process& operator=(const Gorsewatch5Process&) = delete;

    // Starts the installed program with the arguments, in the working folder
    // (the install folder when none is given).
    bool Start(const TestInstall& install, const std::wstring& arguments = {},
               const fs::path& working_folder = {}) {
        const fs::path folder = working_folder.empty() ? install.folder() : working_folder;
        std::wstring command = gui::Quote(install.program().wstring());
        if (!arguments.empty())
            command += L" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!testing::StartProcess(install.program().c_str(), command, FALSE, 0, folder.c_str(),
                                   startup, info))
            return false;
        CloseHandle(info.hThread);
        process_.reset(info.hProcess);
        id_ = info.dwProcessId;
        started_ = GetTickCount();
        return true;
    }

    DWORD id() const { return id_; }
    HANDLE process() const { return process_.get(); }
    bool running() const {
        return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
    }
    std::optional<DWORD> WaitForExit(DWORD timeout_ms) const {
        if (!process_ || WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

    // The shown main window, waiting up to timeout_ms for it.
    HWND WaitForMainWindow(DWORD timeout_ms = 60000) {
        main_window_ = FindShownWindow(kMainTitle, id_, timeout_ms);
        return main_window_;
    }
    HWND main_window() const { return main_window_; }

    // The Message dialog, waiting up to timeout_ms for it; null when none came.
    HWND WaitForMessageDialog(DWORD timeout_ms = 60000) const {
        return FindShownWindow(kMessageTitle, id_, timeout_ms);
    }
    // Waits for the Message dialog, saves its screenshot (when named), gives
    // its text and presses OK; nullopt when none came or it did not close.
    std::optional<std::wstring> AnswerMessage(const std::string& screenshot = {},
                                              DWORD timeout_ms = 60000) const {
        const HWND dialog = WaitForMessageDialog(timeout_ms);
        if (dialog == nullptr)
            return std::nullopt;
        const HWND text = gui::FindChild(dialog, kMessageTextId);
        // The text is set as the dialog initialises: wait for it.
        gui::WaitUntil([&] { return !gui::GetText(text).empty(); }, 5000);
        const std::wstring message = gui::GetText(text);
        if (!screenshot.empty())
            ScreenshotWhenDrawn(dialog, screenshot);
        if (!PressDialogButton(dialog, IDOK) || !gui::WaitForWindowGone(dialog, 10000))
            return std::nullopt;
        return message;
    }
    bool HasMessageDialog() const { return WaitForMessageDialog(0) != nullptr; }

    // Waits until the main window's thread serves messages, so that the
    // start-up ran to its end or stopped in a dialog; true when it did and
    // no Message dialog is open.
    bool WaitUntilIdle(DWORD timeout_ms = 60000) const {
        if (main_window_ == nullptr)
            return false;
        for (int round = 0; round < 2; ++round) {
            if (!gui::SendWindowMessage(main_window_, WM_NULL, 0, 0, timeout_ms).completed)
                return false;
            if (HasMessageDialog())
                return false;
            Sleep(300);
        }
        return !HasMessageDialog();
    }

    // The page the main window shows, and one of its controls.
    HWND ShownPage() const { return gui::FindChild(main_window_, kShownPageId); }
    HWND PageControl(int id) const {
        const HWND page = ShownPage();
        return page == nullptr ? nullptr : GetDlgItem(page, id);
    }

    // Asks the window to close (WM_CLOSE) and waits for the program to end;
    // it is ended when it does not. Whether it ended by itself.
    bool Close(DWORD timeout_ms = 5000) {
        const HWND window = main_window_ != nullptr
                                ? main_window_
                                : gui::FindTopLevelWindow({.title = kMainTitle, .process_id = id_});
        if (window != nullptr)
            gui::PostWindowMessage(window, WM_CLOSE, 0, 0);
        const bool ended = WaitForExit(timeout_ms).has_value();
        if (!ended && process_) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), 10000);
        }
        return ended;
    }

    DWORD started_tick() const { return started_; }

  private:
    struct HandleCloser {
        void operator()(HANDLE handle) const { CloseHandle(handle); }
    };
    std::unique_ptr<void, HandleCloser> process_;
    DWORD id_ = 0;
    DWORD started_ = 0;
    HWND main_window_ = nullptr;
};

// A page or dialog template of the program as the system lays it out, made
// in the test's own process (the test links the program's resources): the
// client size and each control's rectangle in its client coordinates.
struct TemplateLayout {
    SIZE client{};
    std::vector<std::pair<int, RECT>> controls;
    std::optional<RECT> Control(int id) const {
        for (const auto& [control_id, rect] : controls) {
            if (control_id == id)
                return rect;
        }
        return std::nullopt;
    }
};

inline TemplateLayout LayOutTemplate(int template_id) {
    TemplateLayout layout;
    // Page templates are child dialogs: they need a parent window.
    const HWND host = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    const HWND dialog = CreateDialogParamW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), host,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    if (dialog != nullptr) {
        RECT client{};
        GetClientRect(dialog, &client);
        layout.client = {client.right, client.bottom};
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            RECT rect{};
            GetWindowRect(child, &rect);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
            layout.controls.emplace_back(GetDlgCtrlID(child), rect);
        }
        DestroyWindow(dialog);
    }
    DestroyWindow(host);
    return layout;
}

// The state of a service ("Schedule"): SERVICE_RUNNING and so on; 0 when it
// cannot be asked.
inline DWORD ServiceState(const wchar_t* name) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return 0;
    DWORD state = 0;
    if (SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_STATUS)) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status))
            state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

}  // namespace olvex::testing

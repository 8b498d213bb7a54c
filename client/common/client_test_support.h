// Fakes of the client library's seams for its tests: folders, a clock that
// records its sleeps, a system proxy and a message-box presenter that answer
// as told. Also the paths of the test programs the build makes.
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/common/client_environment.h"
#include "client/common/message_boxes.h"
#include "client/common/program_launcher.h"
#include "client/common/proxy_settings.h"
#include "win/unique.h"
#include "testing/windows_test_support.h"

namespace olvex::testing {

class FakeFolders final : public ClientFolders {
  public:
    std::optional<std::string> common_app_data;
    std::optional<std::string> common_program_files;
    std::optional<std::string> install_folder;  // with its trailing backslash

    std::optional<std::string> CommonAppData() const override { return common_app_data; }
    std::optional<std::string> CommonProgramFiles() const override { return common_program_files; }
    std::optional<std::string> InstallFolder() const override { return install_folder; }
};

// A fixed local time; sleeps return at once, are recorded, and can act.
class FakeClock final : public ClientClock {
  public:
    SYSTEMTIME now{2024, 3, 6, 9, 10, 11, 12, 13};  // Saturday 9 March 2024 10:11:12.013
    mutable std::vector<DWORD> sleeps;
    std::function<void(std::size_t)> on_sleep;  // given the number of the sleep, from 0

    SYSTEMTIME LocalTime() const override { return now; }
    void Sleep(DWORD milliseconds) const override {
        sleeps.push_back(milliseconds);
        if (on_sleep)
            on_sleep(sleeps.size() - 1);
    }
};

class FakeSystemProxy final : public SystemProxySource {
  public:
    std::optional<std::string> list;
    std::optional<std::string> ProxyList() const override { return list; }
};

struct ShownMessageBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
};

class RecordingMessageBoxes final : public MessageBoxPresenter {
  public:
    int answer = IDOK;
    mutable std::vector<ShownMessageBox> shown;

    int Show(HWND owner, const std::wstring& text, const std::wstring& caption,
             UINT style) const override {
        shown.push_back({owner, text, caption, style});
        return answer;
    }
};

// Ends a helper that is still running when a test stops early.
class EndsWithTest {
  public:
    explicit EndsWithTest(const std::optional<StartedProgram>& program) : program_(program) {}
    ~EndsWithTest() {
        if (program_ && WaitForSingleObject(program_->process.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(program_->process.get(), 1);
            WaitForSingleObject(program_->process.get(), INFINITE);
        }
    }
    EndsWithTest(const EndsWithTest&) = delete;
    EndsWithTest& operator=(const EndsWithTest&) = delete;

  private:
    const std::optional<StartedProgram>& program_;
};

inline std::string HelperProgram() {
    return Narrow(WindowsPath(OLVEX_CLIENT_TEST_HELPER));
}

inline std::string FakeEngine(const std::string& name) {
    return Narrow(WindowsPath(std::string(OLVEX_FAKE_ENGINE_DIR) + "/fake_olvex_" + name + ".dll"));
}

inline std::string RealEngine() {
    return Narrow(WindowsPath(OLVEX_DLL_PATH));
}

// A folder path with its trailing backslash.
inline std::string Folder(const std::filesystem::path& path) {
    std::string text = path.string();
    if (text.back() != '\\')
        text += '\\';
    return text;
}

}  // namespace olvex::testing

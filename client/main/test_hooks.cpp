// The test build's hooks (test_hooks.h).
#include "client/main/test_hooks.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/common/ui/ansi_text.h"
#include "client/common/ui/system_seams.h"
#include "client/main/fake_scan_scheduler.h"
#include "client/main/folder_chooser.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/schedule_dialog.h"
#include "client/main/sound_options_dialog.h"
#include "client/main/task_scan_scheduler.h"

namespace olvex {
namespace {

constexpr wchar_t kHookWindowClass[] = L"Gorsewatch5TestHooks";

// Lines appended to a file; from any thread.
class LineRecorder {
  public:
    explicit LineRecorder(std::wstring path) : path_(std::move(path)) {}
    bool Append(const std::wstring& line) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::ofstream out(ui::ToAnsi(path_), std::ios::app | std::ios::binary);
        out << ui::ToAnsi(line) << "\r\n";
        return static_cast<bool>(out);
    }

  private:
    std::wstring path_;
    mutable std::mutex mutex_;
};

// Sounds written to a file instead of played.
class SoundRecorder final : public ui::SoundPlayer {
  public:
    explicit SoundRecorder(std::wstring path) : lines_(std::move(path)) {}
    bool PlayFile(const std::wstring& file) const override { return lines_.Append(file); }

  private:
    LineRecorder lines_;
};

// Shell opens written to a file instead of done.
class ShellRecorder final : public ui::ShellOpener {
  public:
    explicit ShellRecorder(std::wstring path) : lines_(std::move(path)) {}
    bool Open(HWND, const std::wstring& target) const override { return lines_.Append(target); }

  private:
    LineRecorder lines_;
};

// The answer a test left in a file: nullopt while the file does not exist,
// else its first line (empty for an empty file).
std::optional<std::string> ChoiceFromFile(const std::wstring& path) {
    std::ifstream in(ui::ToAnsi(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Add File/Folder's browser answered from a file.
class FolderChoiceFromFile final : public FolderChooser {
  public:
    explicit FolderChoiceFromFile(std::wstring path) : path_(std::move(path)) {}
    FolderChoice Choose(HWND owner, const std::wstring& title) const override {
        const auto line = ChoiceFromFile(path_);
        if (!line)
            return SystemFolderChooser().Choose(owner, title);
        if (line->empty())
            return {};
        return {.chosen = true, .path = *line == "?" ? std::string() : *line};
    }

  private:
    std::wstring path_;
};

// The Save As dialog answered from a file.
class SaveChoiceFromFile final : public ui::SaveFileChooser {
  public:
    explicit SaveChoiceFromFile(std::wstring path) : path_(std::move(path)) {}
    std::optional<std::wstring> Choose(HWND owner,
                                       const ui::SaveFileRequest& request) const override {
        const auto line = ChoiceFromFile(path_);
        if (!line)
            return ui::SystemSaveFileChooser().Choose(owner, request);
        if (line->empty())
            return std::nullopt;
        return ui::FromAnsi(*line);
    }

  private:
    std::wstring path_;
};

std::wstring Environment(const wchar_t* name) {
    const DWORD length = GetEnvironmentVariableW(name, nullptr, 0);
    if (length == 0)
        return {};
    std::wstring value(length, L'\0');
    const DWORD copied = GetEnvironmentVariableW(name, value.data(), length);
    value.resize(copied);
    return value;
}

BOOL CALLBACK CloseThreadDialog(HWND window, LPARAM) {
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

}  // namespace

class TestHooks {
  public:
    explicit TestHooks(CGorsewatch5App& app) : app_(app) {
        const std::wstring sound_log = Environment(kTestSoundLogVariable);
        if (!sound_log.empty()) {
            recorder_ = std::make_unique<SoundRecorder>(sound_log);
            sounds_ = std::make_unique<ui::ScopedSoundPlayer>(*recorder_);
        }
        const std::wstring shell_log = Environment(kTestShellLogVariable);
        if (!shell_log.empty()) {
            shell_recorder_ = std::make_unique<ShellRecorder>(shell_log);
            shell_ = std::make_unique<ui::ScopedShellOpener>(*shell_recorder_);
        }
        const std::wstring folder_choice = Environment(kTestFolderChoiceVariable);
        if (!folder_choice.empty()) {
            folder_chooser_ = std::make_unique<FolderChoiceFromFile>(folder_choice);
            folder_choice_ = std::make_unique<ScopedFolderChooser>(*folder_chooser_);
        }
        const std::wstring save_choice = Environment(kTestSaveChoiceVariable);
        if (!save_choice.empty()) {
            save_chooser_ = std::make_unique<SaveChoiceFromFile>(save_choice);
            save_choice_ = std::make_unique<ui::ScopedSaveFileChooser>(*save_chooser_);
        }
        InstallScheduleSeams();
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof(window_class);
        window_class.lpfnWndProc = Procedure;
        window_class.hInstance = app.instance();
        window_class.lpszClassName = kHookWindowClass;
        RegisterClassExW(&window_class);
        window_ = CreateWindowExW(0, kHookWindowClass, kTestHooksTitle, WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, app.instance(), this);
    }

    ~TestHooks() {
        if (window_ != nullptr)
            DestroyWindow(window_);
        // A dialog still open on a worker is closed, so the worker ends.
        while (running_workers_.load() > 0) {
            std::vector<DWORD> ids;
            {
                const std::lock_guard<std::mutex> lock(worker_ids_mutex_);
                ids = worker_ids_;
            }
            for (const DWORD id : ids)
                EnumThreadWindows(id, CloseThreadDialog, 0);
            Sleep(100);
        }
        for (std::thread& worker : workers_)
            worker.join();
    }

  private:
    // The Schedule dialog's seams: a Task Scheduler call that fails, the
    // picker's clock and the platform the dialog sees.
    void InstallScheduleSeams() {
        const auto fault =
            ParseSchedulerFault(ui::ToAnsi(Environment(kTestSchedulerFaultVariable)));
        if (fault) {
            faults_ = std::make_unique<FaultInjector>(*fault);
            SetScanSchedulerFactory(faults_->Wrap(CreateSystemScanScheduler));
        }
        const std::wstring clock = Environment(kTestClockVariable);
        if (!clock.empty())
            CScheduleDlg::OverrideClock(clock == L"24");
        const std::wstring platform = Environment(kTestSchedulePlatformVariable);
        if (!platform.empty())
            CScheduleDlg::OverridePlatform(std::wcstoul(platform.c_str(), nullptr, 10));
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* hooks = reinterpret_cast<TestHooks*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (hooks != nullptr) {
            if (message == kTestShowMessage) {
                hooks->ShowTestMessage(static_cast<int>(wparam), lparam != 0);
                return 0;
            }
            if (message == kTestOpenSoundOptions) {
                CSoundOptionsDlg().RunModal();
                return 0;
            }
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    void ShowTestMessage(int sound_kind, bool on_worker) {
        const std::wstring text = L"Test message of sound kind " + std::to_wstring(sound_kind) +
                                  (on_worker ? L" from a worker thread" : L"");
        if (!on_worker) {
            app_.ShowMessageText(text, sound_kind);
            return;
        }
        CGorsewatch5App* app = &app_;
        ++running_workers_;
        workers_.emplace_back([this, app, text, sound_kind] {
            {
                const std::lock_guard<std::mutex> lock(worker_ids_mutex_);
                worker_ids_.push_back(GetCurrentThreadId());
            }
            app->ShowMessageText(text, sound_kind);
            --running_workers_;
        });
    }

    CGorsewatch5App& app_;
    std::unique_ptr<FaultInjector> faults_;
    std::unique_ptr<SoundRecorder> recorder_;
    std::unique_ptr<ui::ScopedSoundPlayer> sounds_;
    std::unique_ptr<ShellRecorder> shell_recorder_;
    std::unique_ptr<ui::ScopedShellOpener> shell_;
    std::unique_ptr<FolderChoiceFromFile> folder_chooser_;
    std::unique_ptr<ScopedFolderChooser> folder_choice_;
    std::unique_ptr<SaveChoiceFromFile> save_chooser_;
    std::unique_ptr<ui::ScopedSaveFileChooser> save_choice_;
    HWND window_ = nullptr;
    std::vector<std::thread> workers_;
    std::atomic<int> running_workers_{0};
    std::mutex worker_ids_mutex_;
    std::vector<DWORD> worker_ids_;
};

void TestHooksDeleter::operator()(TestHooks* hooks) const {
    delete hooks;
}

TestHooksHandle InstallTestHooks(CGorsewatch5App& app) {
    return TestHooksHandle(new TestHooks(app));
}

}  // namespace olvex

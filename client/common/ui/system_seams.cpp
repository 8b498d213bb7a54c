#include "client/common/ui/system_seams.h"

#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

namespace olvex::ui {
namespace {

class SystemSound final : public SoundPlayer {
  public:
    bool PlayFile(const std::wstring& path) const override {
        return PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC) != FALSE;
    }
};

class SystemShell final : public ShellOpener {
  public:
    bool Open(HWND owner, const std::wstring& target) const override {
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32;
    }
};

class SystemSaveFile final : public SaveFileChooser {
  public:
    std::optional<std::wstring> Choose(HWND owner, const SaveFileRequest& request) const override {
        std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
        request.file_name.copy(path.data(), std::min(request.file_name.size(), path.size() - 1));
        const std::wstring filter = SystemFilter(request.filter);
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof(dialog);
        dialog.hwndOwner = owner;
        dialog.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.lpstrDefExt =
            request.default_extension.empty() ? nullptr : request.default_extension.c_str();
        dialog.Flags = request.flags;
        if (!GetSaveFileNameW(&dialog))
            return std::nullopt;
        return std::wstring(path.data());
    }
};

// Service handles closed once, on every path.
class ServiceHandle {
  public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_ != nullptr)
            CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }

  private:
    SC_HANDLE handle_;
};

class SystemServices final : public ServiceControl {
  public:
    State Query(const std::wstring& name) const override {
        const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (manager.get() == nullptr)
            return State::kNoManager;
        const ServiceHandle service(
            OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
        if (service.get() == nullptr)
            return State::kNoService;
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service.get(), &status))
            return State::kNoStatus;
        return status.dwCurrentState == SERVICE_RUNNING ? State::kRunning : State::kNotRunning;
    }

    bool Start(const std::wstring& name, DWORD timeout_ms) const override {
        const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (manager.get() == nullptr)
            return false;
        const ServiceHandle service(
            OpenServiceW(manager.get(), name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
        if (service.get() == nullptr)
            return false;
        if (!StartServiceW(service.get(), 0, nullptr) &&
            GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
            return false;
        constexpr DWORD kStep = 100;
        for (DWORD waited = 0;; waited += kStep) {
            SERVICE_STATUS status{};
            if (!QueryServiceStatus(service.get(), &status))
                return false;
            if (status.dwCurrentState == SERVICE_RUNNING)
                return true;
            if (status.dwCurrentState == SERVICE_STOPPED || waited >= timeout_ms)
                return false;
            Sleep(kStep);
        }
    }
};

const SoundPlayer* g_sound = nullptr;
const ShellOpener* g_shell = nullptr;
const SaveFileChooser* g_save_file = nullptr;
const ServiceControl* g_services = nullptr;

}  // namespace

const SoundPlayer& SystemSoundPlayer() {
    static const SystemSound player;
    return player;
}

const ShellOpener& SystemShellOpener() {
    static const SystemShell opener;
    return opener;
}

const SaveFileChooser& SystemSaveFileChooser() {
    static const SystemSaveFile chooser;
    return chooser;
}

const ServiceControl& SystemServiceControl() {
    static const SystemServices control;
    return control;
}

const SoundPlayer& CurrentSoundPlayer() {
    return g_sound != nullptr ? *g_sound : SystemSoundPlayer();
}

const ShellOpener& CurrentShellOpener() {
    return g_shell != nullptr ? *g_shell : SystemShellOpener();
}

const SaveFileChooser& CurrentSaveFileChooser() {
    return g_save_file != nullptr ? *g_save_file : SystemSaveFileChooser();
}

const ServiceControl& CurrentServiceControl() {
    return g_services != nullptr ? *g_services : SystemServiceControl();
}

DWORD CurrentPlatformId() {
    const auto version = CurrentOsVersionSource().Query();
    return version ? version->platform_id : VER_PLATFORM_WIN32_NT;
}

std::wstring SystemFilter(const std::wstring& filter) {
    std::wstring result = filter;
    for (wchar_t& c : result) {
        if (c == L'|')
            c = L'\0';
    }
    // The system's form ends in two NULs: the string's own terminator is one.
    if (!result.empty() && result.back() != L'\0')
        result.push_back(L'\0');
    return result;
}

ScopedSoundPlayer::ScopedSoundPlayer(const SoundPlayer& player) : previous_(g_sound) {
    g_sound = &player;
}
ScopedSoundPlayer::~ScopedSoundPlayer() {
    g_sound = previous_;
}

ScopedShellOpener::ScopedShellOpener(const ShellOpener& opener) : previous_(g_shell) {
    g_shell = &opener;
}
ScopedShellOpener::~ScopedShellOpener() {
    g_shell = previous_;
}

ScopedSaveFileChooser::ScopedSaveFileChooser(const SaveFileChooser& chooser)
    : previous_(g_save_file) {
    g_save_file = &chooser;
}
ScopedSaveFileChooser::~ScopedSaveFileChooser() {
    g_save_file = previous_;
}

ScopedServiceControl::ScopedServiceControl(const ServiceControl& control) : previous_(g_services) {
    g_services = &control;
}
ScopedServiceControl::~ScopedServiceControl() {
    g_services = previous_;
}

}  // namespace olvex::ui

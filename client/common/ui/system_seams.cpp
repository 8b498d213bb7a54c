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

const SoundPlayer* g_sound = nullptr;
const ShellOpener* g_shell = nullptr;
const SaveFileChooser* g_save_file = nullptr;

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

const SoundPlayer& CurrentSoundPlayer() {
    return g_sound != nullptr ? *g_sound : SystemSoundPlayer();
}

const ShellOpener& CurrentShellOpener() {
    return g_shell != nullptr ? *g_shell : SystemShellOpener();
}

const SaveFileChooser& CurrentSaveFileChooser() {
    return g_save_file != nullptr ? *g_save_file : SystemSaveFileChooser();
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

}  // namespace olvex::ui

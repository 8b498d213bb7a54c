#include "setup/core/setup_process.h"

#include "win/unique.h"
#include "setup/core/command_line.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kProductNameId = 22006;

// Writing the log never changes the thread's last-error value.
class LastErrorKeeper {
  public:
    LastErrorKeeper() : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

  private:
    DWORD error_;
};

}  // namespace

// Every step of writing a message keeps the caller's last-error value.
std::u16string WindowsLoggerHost::LoadText(uint32_t id, size_t max_chars) {
    const LastErrorKeeper keep;
    return util::LoadResourceString(nullptr, id, max_chars);
}

std::u16string WindowsLoggerHost::LocalTimeText() {
    const LastErrorKeeper keep;
    return util::GetLocalTimeText();
}

std::u16string WindowsLoggerHost::ProcessCommandLine() {
    return U(GetCommandLineW());
}

std::string WindowsLoggerHost::ToAnsi(std::u16string_view text) {
    const LastErrorKeeper keep;
    return util::WideToNarrow(text);
}

void WindowsLoggerHost::Truncate(const std::u16string& path) {
    const LastErrorKeeper keep;
    const win::UniqueHandle file(CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WindowsLoggerHost::Append(const std::u16string& path, std::string_view bytes) {
    const LastErrorKeeper keep;
    // Opened and closed for every line, so that the log survives a crash or
    // a restart in the middle of setup.
    const win::UniqueHandle file(CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_END)) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WindowsLoggerHost::ShowBox(void* owner, std::u16string_view text) {
    const LastErrorKeeper keep;
    const HWND window = static_cast<HWND>(owner);
    const std::u16string caption =
        caption_ ? caption_() : util::LoadResourceString(nullptr, kProductNameId, 256);
    const std::u16string message(text);
    if (window) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    const int button = presenter_ ? presenter_(window, message, caption) : -1;
    if (button != IDOK && button != IDCANCEL) {
        MessageBoxW(window, W(message), W(caption), MB_OK);
    }
    if (window) {
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

WindowsLoggerHost& ProcessLoggerHost() {
    static WindowsLoggerHost host;
    return host;
}

SetupLogger& SetupLogger::Instance() {
    static SetupLogger logger(ProcessLoggerHost());
    return logger;
}

SetupOptions& SetupOptions::Instance() {
    static SetupOptions options(util::GetCurrentAppModuleName());
    return options;
}

int32_t ParseProcessCommandLine(SetupOptions& options, SetupLogger& logger) {
    return options.Parse(SkipProgramName(U(GetCommandLineW())), logger);
}

}  // namespace olvex::setup

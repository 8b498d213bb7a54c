#include "setup/products/close_programs.h"

#include <string>

#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr UINT kRequestTimeoutMs = 5000;
constexpr uint32_t kWaitAfterRequestSeconds = 3;
constexpr uint32_t kLongWaitSeconds = 16;

HWND FindByClassAndTitle(std::u16string_view window_class, std::u16string_view title) {
    const std::u16string class_text(window_class);
    const std::u16string title_text(title);
    return FindWindowW(class_text.empty() ? nullptr : W(class_text),
                       title_text.empty() ? nullptr : W(title_text));
}

}  // namespace

HWND CloseWindowByTitle(std::u16string_view window_class, std::u16string_view title, UINT message,
                        int tries) {
    HWND window = FindByClassAndTitle(window_class, title);
    for (int i = 0; i < tries && window; ++i) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(window, message, 0, 0, SMTO_ABORTIFHUNG, kRequestTimeoutMs, &answer);
        window = WaitWhileWindowExists(kWaitAfterRequestSeconds, window_class, title);
    }
    return window;
}

HWND WaitWhileWindowExists(uint32_t seconds, std::u16string_view window_class,
                           std::u16string_view title) {
    const uint32_t interval = seconds >= kLongWaitSeconds ? 250 : 100;
    const uint64_t start = util::ClockMilliseconds();
    for (;;) {
        const HWND window = FindByClassAndTitle(window_class, title);
        if (!window) {
            return nullptr;
        }
        if (seconds != 0 && util::ClockMilliseconds() - start >= uint64_t{seconds} * 1000) {
            return window;
        }
        util::SleepMilliseconds(interval);
    }
}

void RunAndWait(std::u16string_view command) {
    std::u16string line(command);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, W(line), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
}

}  // namespace olvex::setup

#include <windows.h>

#include "win/unique.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

std::function<std::u16string(uint32_t, size_t)>& FrameworkLoader() {
    static std::function<std::u16string(uint32_t, size_t)> loader;
    return loader;
}

std::u16string StringOf(HMODULE module, uint32_t id, size_t max_chars) {
    if (!module || max_chars == 0) {
        return {};
    }
    std::u16string text(max_chars, u'\0');
    const int length = LoadStringW(module, id, W(text), static_cast<int>(max_chars));
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

// A resource DLL beside the program, loaded as data: its code never runs.
std::u16string StringOfSiblingLibrary(const char16_t* file, uint32_t id, size_t max_chars) {
    const auto path = GetSetupFilePath(std::u16string_view(file), std::nullopt);
    if (!path) {
        return {};
    }
    const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS);
    const win::UniqueModule library(LoadLibraryExW(W(*path), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    SetErrorMode(previous);
    return StringOf(library.get(), id, max_chars);
}

}  // namespace

void SetFrameworkStringLoader(std::function<std::u16string(uint32_t, size_t)> loader) {
    FrameworkLoader() = std::move(loader);
}

std::u16string LoadResourceString(HMODULE module, uint32_t id, size_t max_chars) {
    if (Seams().strings) {
        return Seams().strings(id, max_chars);
    }
    if (module) {
        return StringOf(module, id, max_chars);
    }
    if (FrameworkLoader()) {
        std::u16string text = FrameworkLoader()(id, max_chars);
        if (!text.empty()) {
            return text;
        }
    }
    for (const char16_t* file : {u"xjvprod.dll", u"ulmres.dll"}) {
        std::u16string text = StringOfSiblingLibrary(file, id, max_chars);
        if (!text.empty()) {
            return text;
        }
    }
    return StringOf(GetModuleHandleW(nullptr), id, max_chars);
}

std::u16string GetLocalTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t date[128] = {};
    wchar_t time[128] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, &now, nullptr, date, 128);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, 128);
    return U(date) + u", " + U(time);
}

std::string WideToNarrow(std::u16string_view text) {
    if (text.empty()) {
        return {};
    }
    const std::u16string wide(text);
    const int size = WideCharToMultiByte(CP_ACP, 0, W(wide), static_cast<int>(wide.size()), nullptr,
                                         0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, W(wide), static_cast<int>(wide.size()), out.data(), size,
                            nullptr, nullptr);
    }
    return out;
}

std::u16string NarrowToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(size > 0 ? static_cast<size_t>(size) : 0, u'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), W(out), size);
    }
    return out;
}

uint64_t ClockMilliseconds() {
    if (Seams().clock_ms) {
        return Seams().clock_ms();
    }
    // The performance counter never wraps (a 32-bit tick count does after
    // 49 days).
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
        !QueryPerformanceCounter(&counter)) {
        return GetTickCount();
    }
    return static_cast<uint64_t>(counter.QuadPart / frequency.QuadPart * 1000 +
                                 counter.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart);
}

void SleepMilliseconds(uint32_t milliseconds) {
    if (Seams().sleep) {
        Seams().sleep(milliseconds);
    } else {
        Sleep(milliseconds);
    }
}

}  // namespace olvex::setup::util

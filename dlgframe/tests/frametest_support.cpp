#include "dlgframe/tests/frametest_support.h"

#include <gtest/gtest.h>

#include <array>

#include "testing/gui/window_driver.h"

namespace olvex::frametest {
namespace {

FrameworkApi g_api;

template <class Function>
bool BindOrdinal(HMODULE module, int ordinal, Function& function) {
    function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    return function != nullptr;
}

bool Bind(HMODULE module) {
    FrameworkApi api;
    api.module = module;
    const bool bound =
        module != nullptr && BindOrdinal(module, 1, api.initialize) &&
        BindOrdinal(module, 2, api.shutdown) && BindOrdinal(module, 3, api.message_box) &&
        BindOrdinal(module, 4, api.message_box_by_id) &&
        BindOrdinal(module, 5, api.create_dialog) && BindOrdinal(module, 6, api.dialog_box) &&
        BindOrdinal(module, 7, api.create_tabbed_window) &&
        BindOrdinal(module, 8, api.create_tabbed_window_ex) &&
        BindOrdinal(module, 9, api.load_string) && BindOrdinal(module, 10, api.load_tga_file) &&
        BindOrdinal(module, 11, api.load_tga_resource) &&
        BindOrdinal(module, 12, api.load_bitmap) && BindOrdinal(module, 13, api.load_icon) &&
        BindOrdinal(module, 14, api.load_menu) && BindOrdinal(module, 15, api.browse_for_folder) &&
        BindOrdinal(module, 16, api.format_string) && BindOrdinal(module, 17, api.create_font) &&
        BindOrdinal(module, 18, api.initialize_ex);
    g_api = bound ? api : FrameworkApi{};
    g_api.module = module;
    return bound;
}

void EndLeftoverDialogs() {
    const DWORD self = GetCurrentProcessId();
    for (const auto& window : gui::ListTopLevelWindows()) {
        if (window.process_id != self || !window.visible)
            continue;
        if (window.class_name == L"#32770")
            EndDialog(window.handle, -99);
        else
            PostMessageW(window.handle, WM_CLOSE, 0, 0);
    }
}

}  // namespace

FrameworkApi& Api() {
    if (g_api.module == nullptr) {
        const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
        Bind(LoadLibraryW(L"ulmfrm.dll"));
        SetErrorMode(previous);
    }
    return g_api;
}

bool ReloadFramework(const std::wstring& name_or_path) {
    UnloadFramework();
    return Bind(LoadLibraryW(name_or_path.c_str()));
}

void UnloadFramework() {
    if (g_api.module != nullptr)
        FreeLibrary(g_api.module);
    g_api = FrameworkApi{};
}

Session::Session(const wchar_t* product, const wchar_t* resource) {
    count_ = Api().initialize_ex(product, resource);
}

Session::~Session() {
    Api().shutdown();
}

std::wstring FrameworkString(UINT id, HMODULE module) {
    std::array<wchar_t, 512> buffer{};
    const int length =
        Api().load_string(module, id, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), length > 0 ? length : 0);
}

std::wstring ExeFolder() {
    std::array<wchar_t, MAX_PATH> path{};
    GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    std::wstring folder = path.data();
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

namespace {
constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Vorandel\\Vuvu-Roved\\Install";
}

InstallFolderValue::InstallFolderValue(const std::wstring& folder) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kInstallKey);
    if (folder.empty())
        return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"ProgramPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
}

InstallFolderValue::~InstallFolderValue() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kInstallKey);
    // The parents go too when nothing else is in them.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorandel\\Vuvu-Roved");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorandel");
}

INT_PTR Drive(const std::function<INT_PTR()>& modal, const std::function<void()>& script) {
    std::atomic<bool> finished{false};
    std::thread driver([&] {
        script();
        // Whatever the script left open is ended (every half second, for up
        // to half a minute), so the modal call returns and the test fails
        // instead of hanging.
        for (int round = 1; round <= 600 && !finished; ++round) {
            Sleep(50);
            if (round % 10 == 0)
                EndLeftoverDialogs();
        }
    });
    const INT_PTR result = modal();
    finished = true;
    driver.join();
    return result;
}

HWND WaitForWindow(const std::wstring& title, DWORD timeout_ms) {
    gui::WindowQuery query;
    query.title = title;
    query.process_id = GetCurrentProcessId();
    query.visible_only = true;
    return gui::FindTopLevelWindow(query, timeout_ms);
}

bool WaitGone(HWND window, DWORD timeout_ms) {
    return gui::WaitForWindowGone(window, timeout_ms);
}

void PaintNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASENOW);
    // The owner has handled the paint messages once it answers this.
    SendMessageW(window, WM_NULL, 0, 0);
}

std::wstring Text(HWND window) {
    std::array<wchar_t, 4096> buffer{};
    const LRESULT length = SendMessageW(window, WM_GETTEXT, buffer.size(),
                                        reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

RECT RectInParent(HWND child) {
    return RectIn(child, GetParent(child));
}

RECT RectIn(HWND window, HWND reference) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE WindowSize(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

SIZE ClientSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

std::wstring ClassOf(HWND window) {
    std::array<wchar_t, 64> name{};
    GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return name.data();
}

Capture::Capture(HWND window) {
    PaintNow(window);
    RECT client{};
    GetClientRect(window, &client);
    width_ = client.right;
    height_ = client.bottom;
    if (width_ <= 0 || height_ <= 0)
        return;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width_, height_, source, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    pixels_.assign(pixels, pixels + static_cast<std::size_t>(width_) * height_);
    SelectObject(memory, previous);
    DeleteObject(section);
    DeleteDC(memory);
    ReleaseDC(window, source);
}

COLORREF Capture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return 0xFFFFFFFF;
    const DWORD pixel = pixels_[static_cast<std::size_t>(y) * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void Screenshot(HWND window, const std::string& name) {
    PaintNow(window);
    EXPECT_FALSE(gui::SaveScreenshot(window, name).empty()) << name;
}

}  // namespace olvex::frametest

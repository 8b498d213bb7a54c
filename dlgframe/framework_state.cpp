// Initialisation and shutdown, the resource DLL loader, the module chain and
// the exports that only look resources up through it.
#include "dlgframe/framework_state.h"

#include <algorithm>
#include <cstdarg>
#include <optional>
#include <type_traits>
#include <vector>

#include "dlgframe/custom_controls.h"
#include "dlgframe/dialog_host.h"
#include "dlgframe/frame_style.h"
#include "dlgframe/framework_exports.h"
#include "win/unique.h"
#include "dlgframe/images.h"
#include "dlgframe/module_paths.h"
#include "dlgframe/resource_ids.h"
#include "dlgframe/tabbed_window.h"

namespace olvex::dlgframe {
namespace {

// The use count is not part of the state that the first initialisation
// clears.
int g_use_count = 0;
FrameworkState g_state;
HMODULE g_own_module = nullptr;

constexpr wchar_t kInstallKey[] = L"SOFTWARE\\Vorandel\\Vuvu-Roved\\Install";

std::optional<std::wstring> ModuleFile(HMODULE module) {
    std::vector<wchar_t> buffer(kPathChars);
    const DWORD length = GetModuleFileNameW(module, buffer.data(), kPathChars);
    // A path that filled the buffer was cut short: it counts as not found.
    if (length == 0 || length >= kPathChars)
        return std::nullopt;
    return std::wstring(buffer.data(), length);
}

HMODULE LoadResourceDll(const wchar_t* name) {
    if (name == nullptr || *name == L'\0')
        return nullptr;
    ResourceDllPlaces places;
    places.framework_file = ModuleFile(g_own_module);
    places.program_file = ModuleFile(nullptr);
    places.install_folder = InstallFolder();
    for (const std::wstring& path : ResourceDllCandidates(places, name)) {
        if (HMODULE module = LoadLibraryW(path.c_str()))
            return module;
    }
    return nullptr;
}

std::optional<std::wstring> ChainString(UINT id, int chars) {
    std::vector<wchar_t> buffer(chars);
    const int length = FrameworkLoadString(nullptr, id, buffer.data(), chars);
    if (length <= 0)
        return std::nullopt;
    return std::wstring(buffer.data(), length);
}

int BannerHeight(unsigned bitmap_id, int fallback) {
    win::UniqueBitmap bitmap;
    win::UniquePalette palette;
    if (!LoadBitmapWithPalette(false, MAKEINTRESOURCEW(bitmap_id), bitmap, palette))
        return fallback;
    BITMAP description{};
    if (GetObjectW(bitmap.get(), sizeof(description), &description) == 0)
        return fallback;
    return description.bmHeight;
}

bool EightBitScreen(HDC screen) {
    win::UniqueBitmap probe(CreateCompatibleBitmap(screen, 10, 10));
    BITMAP description{};
    return probe && GetObjectW(probe.get(), sizeof(description), &description) != 0 &&
           description.bmBitsPixel == 8;
}

int Initialize(bool with_brand, const wchar_t* product, const wchar_t* resource) {
    if (g_use_count++ > 0)
        return g_use_count;
    g_state = FrameworkState{};
    RegisterControlClasses();

    const win::UniqueWindowDc screen = win::GetWindowDc(nullptr);
    g_state.eight_bit_screen = EightBitScreen(screen.get());

    if (with_brand)
        g_state.brand = LoadResourceDll(kBrandDll);
    g_state.product = LoadResourceDll(product != nullptr && *product ? product : kProductDll);
    g_state.resource = LoadResourceDll(resource != nullptr && *resource ? resource : kResourceDll);

    g_state.blend = LoadLibraryW(L"Msimg32.dll");
    if (g_state.blend != nullptr) {
        g_state.alpha_blend = reinterpret_cast<AlphaBlendFunction>(
            reinterpret_cast<void*>(GetProcAddress(g_state.blend, "AlphaBlend")));
    }
    g_state.data_folder = L"data";

    g_state.large_banner_height = BannerHeight(kLargeBannerLeft, kDefaultLargeBannerHeight);
    g_state.small_banner_height = BannerHeight(kSmallBannerLeft, kDefaultSmallBannerHeight);

    g_state.bottom_reserve = 2;
    g_state.margin = 10;
    g_state.tab_row_height = 30;
    const auto style = ChainString(kStyleString, 100);
    g_state.style = ParseStyle(style ? std::optional<std::wstring_view>(*style) : std::nullopt);
    const auto bold = ChainString(kBoldFontHeightString, 100);
    const auto normal = ChainString(kNormalFontHeightString, 100);
    g_state.bold_font_height = bold ? ParseDecimal(*bold) : 0;
    g_state.normal_font_height = normal ? ParseDecimal(*normal) : 0;

    const Palette& scheme = PaletteScheme(g_state.eight_bit_screen);
    for (std::size_t i = 0; i < kPaletteSize; ++i) {
        const Rgb& c = scheme[i];
        g_state.colours[i] = GetNearestColor(screen.get(), RGB(c.red, c.green, c.blue));
    }
    return g_use_count;
}

}  // namespace

const FrameworkState& State() {
    return g_state;
}

HMODULE OwnModule() {
    return g_own_module;
}

HMODULE HostModule() {
    return GetModuleHandleW(nullptr);
}

COLORREF Colour(PaletteEntry entry) {
    return g_state.colours[static_cast<std::size_t>(entry)];
}

std::array<HMODULE, 4> ResourceChain(HMODULE caller) {
    return {caller, g_state.brand, g_state.product, g_state.resource};
}

std::array<HMODULE, 3> TemplateChain(HMODULE caller) {
    return {caller, g_state.product, g_state.resource};
}

std::wstring InstallFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> buffer(kPathChars + 1, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(kPathChars * sizeof(wchar_t));
    const LONG result = RegQueryValueExW(key, L"ProgramPath", nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return {};
    // The value need not end in a zero; the buffer has one to spare.
    std::wstring folder(buffer.data(), bytes / sizeof(wchar_t));
    folder.resize(wcsnlen(folder.c_str(), folder.size()));
    return folder;
}

void RecordOwnModule(HMODULE module) {
    g_own_module = module;
}

}  // namespace olvex::dlgframe

using namespace olvex::dlgframe;

// The exports must keep the shapes the public header promises.
static_assert(std::is_same_v<decltype(&FrameworkInitialize), FrameworkInitializeFn>);
static_assert(std::is_same_v<decltype(&FrameworkShutdown), FrameworkShutdownFn>);
static_assert(std::is_same_v<decltype(&FrameworkMessageBox), FrameworkMessageBoxFn>);
static_assert(std::is_same_v<decltype(&FrameworkMessageBoxById), FrameworkMessageBoxByIdFn>);
static_assert(std::is_same_v<decltype(&FrameworkCreateDialog), FrameworkCreateDialogFn>);
static_assert(std::is_same_v<decltype(&FrameworkDialogBox), FrameworkDialogBoxFn>);
static_assert(
    std::is_same_v<decltype(&FrameworkCreateTabbedWindow), FrameworkCreateTabbedWindowFn>);
static_assert(
    std::is_same_v<decltype(&FrameworkCreateTabbedWindowEx), FrameworkCreateTabbedWindowExFn>);
static_assert(std::is_same_v<decltype(&FrameworkLoadString), FrameworkLoadStringFn>);
static_assert(std::is_same_v<decltype(&FrameworkLoadTgaFile), FrameworkLoadTgaFileFn>);
static_assert(std::is_same_v<decltype(&FrameworkLoadTgaResource), FrameworkLoadTgaResourceFn>);
static_assert(std::is_same_v<decltype(&FrameworkLoadBitmap), FrameworkLoadBitmapFn>);
static_assert(std::is_same_v<decltype(&FrameworkLoadIcon), FrameworkLoadIconFn>);
static_assert(std::is_same_v<decltype(&FrameworkLoadMenu), FrameworkLoadMenuFn>);
static_assert(std::is_same_v<decltype(&FrameworkBrowseForFolder), FrameworkBrowseForFolderFn>);
static_assert(std::is_same_v<decltype(&FrameworkFormatString), FrameworkFormatStringFn>);
static_assert(std::is_same_v<decltype(&FrameworkCreateFont), FrameworkCreateFontFn>);
static_assert(std::is_same_v<decltype(&FrameworkInitializeEx), FrameworkInitializeExFn>);
static_assert(FRAMEWORK_HOST_SMALL_BANNER == kHostSmallBanner &&
              FRAMEWORK_HOST_LARGE_BANNER == kHostLargeBanner &&
              FRAMEWORK_HOST_WHITE == kHostWhite && FRAMEWORK_HOST_BANNER_LEFT == kHostBannerLeft &&
              FRAMEWORK_HOST_BANNER_RIGHT == kHostBannerRight &&
              FRAMEWORK_HOST_BANNER_BOTH == kHostBannerBoth);

extern "C" {

int __cdecl FrameworkInitialize(void) {
    return Initialize(true, nullptr, nullptr);
}

int __cdecl FrameworkInitializeEx(const WCHAR* productDll, const WCHAR* resourceDll) {
    return Initialize(false, productDll, resourceDll);
}

int __cdecl FrameworkShutdown(void) {
    if (g_use_count > 1)
        return --g_use_count;
    g_use_count = 0;
    for (HMODULE* module : {&g_state.brand, &g_state.product, &g_state.resource, &g_state.blend}) {
        if (*module != nullptr)
            FreeLibrary(*module);
        *module = nullptr;
    }
    g_state.alpha_blend = nullptr;
    ReleaseContextHelp();
    return 0;
}

int __cdecl FrameworkLoadString(HMODULE module, UINT stringId, WCHAR* buffer, int bufferChars) {
    if (buffer == nullptr || bufferChars <= 0)
        return 0;
    buffer[0] = L'\0';
    for (HMODULE candidate : ResourceChain(module)) {
        if (candidate == nullptr)
            continue;
        const int length = LoadStringW(candidate, stringId, buffer, bufferChars);
        if (length > 0)
            return length;
    }
    buffer[0] = L'\0';
    return 0;
}

int __cdecl FrameworkFormatString(HMODULE module, UINT stringId, WCHAR* output, int outputChars,
                                  ...) {
    if (output == nullptr || outputChars <= 0)
        return 0;
    output[0] = L'\0';
    // No string resource is longer than this, whatever the output's size.
    const int pattern_chars = std::min(outputChars, 65536);
    std::vector<wchar_t> pattern(static_cast<std::size_t>(pattern_chars), L'\0');
    FrameworkLoadString(module, stringId, pattern.data(), pattern_chars);
    if (pattern[0] == L'\0')
        return 0;
    va_list inserts;
    va_start(inserts, outputChars);
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, pattern.data(), 0, 0, output,
                                        static_cast<DWORD>(outputChars), &inserts);
    va_end(inserts);
    if (length == 0) {
        output[0] = L'\0';
        return 0;
    }
    return output[0] != L'\0' ? 1 : 0;
}

HBITMAP __cdecl FrameworkLoadBitmap(HMODULE module, BOOL fromFile, const WCHAR* fileNameOrId) {
    if (fileNameOrId == nullptr)
        return nullptr;
    if (fromFile) {
        return static_cast<HBITMAP>(LoadImageW(nullptr, fileNameOrId, IMAGE_BITMAP, 0, 0,
                                               LR_LOADFROMFILE | LR_DEFAULTSIZE));
    }
    for (HMODULE candidate : ResourceChain(module)) {
        if (candidate == nullptr)
            continue;
        if (HANDLE bitmap = LoadImageW(candidate, fileNameOrId, IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE))
            return static_cast<HBITMAP>(bitmap);
    }
    return nullptr;
}

HICON __cdecl FrameworkLoadIcon(HMODULE module, UINT iconId) {
    for (HMODULE candidate : ResourceChain(module)) {
        if (candidate == nullptr)
            continue;
        if (HANDLE icon =
                LoadImageW(candidate, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))
            return static_cast<HICON>(icon);
    }
    return nullptr;
}

HMENU __cdecl FrameworkLoadMenu(HMODULE module, UINT menuId) {
    for (HMODULE candidate : ResourceChain(module)) {
        if (candidate == nullptr)
            continue;
        if (HMENU menu = LoadMenuW(candidate, MAKEINTRESOURCEW(menuId)))
            return menu;
    }
    return nullptr;
}

HFONT __cdecl FrameworkCreateFont(HWND window, BOOL bold, BOOL underline) {
    LOGFONTW font{};
    HFONT current = window != nullptr
                        ? reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0))
                        : nullptr;
    // A window without a font of its own (one that answers none) draws in the
    // default GUI font, so that is the one to start from.
    if (current == nullptr || GetObjectW(current, sizeof(font), &font) == 0)
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfHeight = bold ? g_state.bold_font_height : g_state.normal_font_height;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfUnderline = underline ? TRUE : FALSE;
    return CreateFontIndirectW(&font);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        RecordOwnModule(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded while the program goes on: our window classes must not
        // outlive the code of their procedures.
        UnregisterControlClasses();
        UnregisterTabbedWindowClass();
    }
    return TRUE;
}

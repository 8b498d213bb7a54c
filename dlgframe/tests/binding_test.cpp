// The framework as a program binds it: use counts, the resource DLL loader's
// places, the module chain, style and banner heights, strings and fonts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dlgframe/frame_palette.h"
#include "dlgframe/resource_ids.h"
#include "dlgframe/tests/frametest_support.h"
#include "dlgframe/tests/test_ids.h"
#include "testing/windows_test_support.h"

namespace olvex::frametest {
namespace {

INT_PTR CALLBACK CloseOnCancel(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

bool Loaded(const wchar_t* name) {
    return GetModuleHandleW(name) != nullptr;
}

TEST(FrameworkBindingTest, EveryOrdinalBindsAndUseCountsCount) {
    FrameworkApi& api = Api();
    ASSERT_NE(api.module, nullptr) << "ulmfrm.dll did not load by name";
    ASSERT_NE(api.initialize_ex, nullptr) << "an ordinal did not bind";

    // Ordinal 18 twice: only the first one's names count.
    EXPECT_EQ(api.initialize_ex(L"tprodover.dll", L"tframeres.dll"), 1);
    EXPECT_EQ(api.initialize_ex(L"XJVProd.dll", L"tstyle2.dll"), 2);
    EXPECT_EQ(FrameworkString(IDS_TEST_CHAIN_B), L"product B");
    EXPECT_FALSE(Loaded(L"tstyle2.dll"));
    // A later ordinal 1 only counts too: no brand DLL comes in.
    EXPECT_EQ(api.initialize(), 3);
    EXPECT_FALSE(Loaded(L"XJVBrand.dll"));
    EXPECT_EQ(api.shutdown(), 2);
    // Ordinal 2 frees nothing until the last one.
    EXPECT_EQ(api.shutdown(), 1);
    EXPECT_TRUE(Loaded(L"tprodover.dll"));
    EXPECT_EQ(FrameworkString(IDS_TEST_CHAIN_B), L"product B");
    EXPECT_EQ(api.shutdown(), 0);
    EXPECT_FALSE(Loaded(L"tprodover.dll"));
    EXPECT_FALSE(Loaded(L"tframeres.dll"));
    EXPECT_EQ(FrameworkString(IDS_TEST_CHAIN_B), L"");
}

TEST(FrameworkBindingTest, NoNamesMeanTheDefaultDllsAndOrdinalOneAddsTheBrand) {
    {
        Session session(nullptr, L"");
        EXPECT_TRUE(Loaded(L"XJVProd.dll"));
        EXPECT_TRUE(Loaded(L"XJVres.dll"));
        EXPECT_EQ(FrameworkString(IDS_FRAME_TITLE), L"Kelvan Suite Personal");
        EXPECT_EQ(FrameworkString(IDS_FRAME_OK), L"OK");
        EXPECT_FALSE(Loaded(L"XJVBrand.dll"));
    }
    ASSERT_EQ(Api().initialize(), 1);
    EXPECT_TRUE(Loaded(L"XJVBrand.dll"));
    EXPECT_EQ(FrameworkString(IDS_FRAME_TITLE), L"Brand title");
    EXPECT_EQ(FrameworkString(IDS_FRAME_CLASS), L"KelvanSuiteFrame");
    EXPECT_EQ(FrameworkString(IDS_FRAME_OK), L"OK");
    EXPECT_EQ(FrameworkString(IDS_FRAME_TITLE, GetModuleHandleW(nullptr)), L"Caller title");
    EXPECT_EQ(Api().shutdown(), 0);
    // The last shutdown frees the brand DLL too.
    EXPECT_FALSE(Loaded(L"XJVBrand.dll"));
}

TEST(FrameworkBindingTest, ChainTakesTheCallersModuleFirstThenProductThenResource) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    const HMODULE caller = GetModuleHandleW(nullptr);
    struct Case {
        HMODULE module;
        UINT id;
        const wchar_t* text;
    };
    const Case cases[] = {
        {nullptr, IDS_TEST_CHAIN_A, L"product A"},
        {nullptr, IDS_TEST_CHAIN_B, L"product B"},
        {nullptr, IDS_TEST_CHAIN_C, L"resource C"},
        {nullptr, IDS_FRAME_OK, L"Okay"},
        {caller, IDS_TEST_CHAIN_A, L"caller A"},
        {caller, IDS_TEST_CHAIN_C, L"resource C"},
        {nullptr, 39999, L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameworkString(c.id, c.module), c.text) << c.id;
    }
    wchar_t small[1] = {L'#'};
    EXPECT_EQ(Api().load_string(nullptr, IDS_TEST_CHAIN_A, small, 1), 0);
    EXPECT_EQ(Api().load_string(nullptr, IDS_TEST_CHAIN_A, nullptr, 10), 0);
}

TEST(FrameworkBindingTest, LoaderLooksInTheFrameworksFolderTheProgramsAndTheInstallFolder) {
    const std::wstring exe_folder = ExeFolder();
    const std::wstring install_folder = exe_folder + L"programpath";
    {
        // The framework's folder is the program's here: the program folder's
        // copy wins over the install folder's.
        InstallFolderValue value(install_folder);
        Session session(L"tfolder.dll", L"tframeres.dll");
        EXPECT_EQ(FrameworkString(IDS_TEST_PLACE), L"program folder");
    }
    {
        InstallFolderValue value(install_folder);
        Session session(L"tpathprod.dll", L"tframeres.dll");
        EXPECT_EQ(FrameworkString(IDS_TEST_PLACE), L"install folder only");
    }
    {
        InstallFolderValue no_key(L"");
        Session session(L"tpathprod.dll", L"tframeres.dll");
        EXPECT_EQ(FrameworkString(IDS_TEST_PLACE), L"");
        EXPECT_EQ(FrameworkString(IDS_TEST_CHAIN_C), L"resource C");
    }
    {
        // A full path is taken as it is.
        InstallFolderValue no_key(L"");
        Session session((install_folder + L"\\tpathprod.dll").c_str(), L"tframeres.dll");
        EXPECT_EQ(FrameworkString(IDS_TEST_PLACE), L"install folder only");
    }

    // A copy of the framework in a folder of its own finds that folder's
    // DLL before the program's.
    namespace fs = std::filesystem;
    const fs::path copy = fs::path(exe_folder) / ("fwcopy-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(copy);
    fs::copy_file(fs::path(exe_folder) / "ulmfrm.dll", copy / "ulmfrm.dll");
    fs::copy_file(fs::path(exe_folder) / "tfolder_a.dll", copy / "tfolder.dll");
    ASSERT_TRUE(ReloadFramework((copy / "ulmfrm.dll").wstring()));
    {
        Session session(L"tfolder.dll", L"tframeres.dll");
        EXPECT_EQ(FrameworkString(IDS_TEST_PLACE), L"framework folder");
        EXPECT_EQ(FrameworkString(IDS_TEST_CHAIN_C), L"resource C");
    }
    ASSERT_TRUE(ReloadFramework(L"ulmfrm.dll"));
    std::error_code ignored;
    fs::remove_all(copy, ignored);
}

// Shows the placement dialog with host flags and reads what the driver saw.
struct Shown {
    SIZE window{};
    RECT label{};
    int width = 0;
    COLORREF left = 0;   // top-left of the banner area
    COLORREF right = 0;  // top-right
};

Shown ShowPlacement(UINT flags) {
    Shown shown;
    const INT_PTR result = Drive(
        [&] {
            return Api().dialog_box(GetModuleHandleW(nullptr), IDD_TEST_POSITION, nullptr,
                                    CloseOnCancel, 0, flags);
        },
        [&] {
            HWND dialog = WaitForWindow(L"Placement");
            if (dialog == nullptr) {
                ADD_FAILURE() << "no placement dialog";
                return;
            }
            shown.window = WindowSize(dialog);
            shown.label = RectInParent(GetDlgItem(dialog, IDC_POSITIONED));
            const Capture capture(dialog);
            shown.width = capture.width();
            shown.left = capture.At(3, 3);
            shown.right = capture.At(capture.width() - 3, 3);
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
    EXPECT_EQ(result, IDCANCEL);
    return shown;
}

constexpr COLORREF kTestSmallLeft = RGB(200, 30, 30);
constexpr COLORREF kTestSmallRight = RGB(30, 30, 200);

TEST(FrameworkBindingTest, StyleStringChoosesTheBannerPieces) {
    struct Case {
        const wchar_t* resource;
        UINT flags;
        bool left;
        bool right;
    };
    const Case cases[] = {
        {L"tframeres.dll", 0x2, true, false},   // "0"
        {L"tstyle1.dll", 0x2, false, true},     // "1"
        {L"tstyle2.dll", 0x2, true, true},      // "2"
        {L"tstyle3.dll", 0x2, true, false},     // "3": no bit added, the left piece
        {L"tstyle7.dll", 0x2, true, false},     // out of range: style 0
        {L"tstyleneg.dll", 0x2, true, false},   // "-1": style 0
        {L"tstylenone.dll", 0x2, true, false},  // none: style 0
        {L"tstyle2.dll", 0x2 | 0x100, false, true},  // the caller's placement wins
        {L"tstyle1.dll", 0x2 | 0x80, true, false},
    };
    for (const Case& c : cases) {
        Session session(L"tprodover.dll", c.resource);
        const Shown shown = ShowPlacement(c.flags);
        EXPECT_EQ(shown.left == kTestSmallLeft, c.left) << c.resource << " flags " << c.flags;
        EXPECT_EQ(shown.right == kTestSmallRight, c.right) << c.resource << " flags " << c.flags;
    }
}

TEST(FrameworkBindingTest, BannerHeightsComeFromTheBitmapsOrFallBack) {
    struct Case {
        const wchar_t* product;
        const wchar_t* resource;
        int small;
        int large;
    };
    const Case cases[] = {
        {L"tprodover.dll", L"tframeres.dll", 40, 60},
        {L"tprodover.dll", L"tnobanner.dll", 32, 45},
        {nullptr, nullptr, 36, 56},  // our own XJVres.dll
    };
    for (const Case& c : cases) {
        Session session(c.product, c.resource);
        const Shown plain = ShowPlacement(0);
        const Shown small = ShowPlacement(0x2);
        const Shown large = ShowPlacement(0x4);
        EXPECT_EQ(small.window.cy - plain.window.cy, c.small) << c.resource;
        EXPECT_EQ(large.window.cy - plain.window.cy, c.large) << c.resource;
        EXPECT_EQ(small.window.cx, plain.window.cx);
        EXPECT_EQ(small.label.top - plain.label.top, c.small);
    }
}

TEST(FrameworkBindingTest, FormattedStrings) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    wchar_t out[64] = L"old text";
    EXPECT_EQ(Api().format_string(nullptr, IDS_TEST_FORMAT, out, 64, L"3", L"7", 1024), 1);
    EXPECT_STREQ(out, L"3 of 7 files, 1024 bytes");

    wcscpy(out, L"old text");
    EXPECT_EQ(Api().format_string(nullptr, 39999, out, 64, L"3"), 0);
    EXPECT_STREQ(out, L"");

    // Too small for the result: empty, 0.
    wcscpy(out, L"old text");
    EXPECT_EQ(Api().format_string(nullptr, IDS_TEST_FORMAT, out, 8, L"3", L"7", 1024), 0);
    EXPECT_STREQ(out, L"");
    EXPECT_EQ(Api().format_string(nullptr, IDS_TEST_FORMAT, nullptr, 64, L"3"), 0);
}

TEST(FrameworkBindingTest, FontsTakeTheResourceHeightsAndWeights) {
    Session session(L"tprodover.dll", L"tframeres.dll");
    // A window that was never given a font, and one that was.
    HWND bare = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    HWND courier = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
    HFONT courier_font = CreateFontW(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                                     0, L"Courier New");
    SendMessageW(courier, WM_SETFONT, reinterpret_cast<WPARAM>(courier_font), FALSE);
    LOGFONTW gui{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(gui), &gui);

    struct Case {
        HWND window;
        BOOL bold;
        BOOL underline;
        LONG height;
        LONG weight;
        const wchar_t* face;
    };
    const Case cases[] = {
        {bare, FALSE, FALSE, -12, FW_NORMAL, gui.lfFaceName},
        {bare, TRUE, FALSE, -15, FW_BOLD, gui.lfFaceName},
        {bare, FALSE, TRUE, -12, FW_NORMAL, gui.lfFaceName},
        {courier, TRUE, TRUE, -15, FW_BOLD, L"Courier New"},
        {nullptr, FALSE, FALSE, -12, FW_NORMAL, gui.lfFaceName},
    };
    for (const Case& c : cases) {
        HFONT font = Api().create_font(c.window, c.bold, c.underline);
        ASSERT_NE(font, nullptr);
        LOGFONTW made{};
        GetObjectW(font, sizeof(made), &made);
        EXPECT_EQ(made.lfHeight, c.height);
        EXPECT_EQ(made.lfWeight, c.weight);
        EXPECT_EQ(made.lfUnderline != 0, c.underline != FALSE);
        EXPECT_STREQ(made.lfFaceName, c.face);
        DeleteObject(font);
    }
    DestroyWindow(bare);
    DestroyWindow(courier);
    DeleteObject(courier_font);
}

TEST(FrameworkBindingTest, BitmapsIconsAndMenusThroughTheChain) {
    Session session(L"XJVProd.dll", L"tframeres.dll");
    HBITMAP banner = Api().load_bitmap(nullptr, FALSE, MAKEINTRESOURCEW(IDB_FRAME_SMALL_BANNER));
    ASSERT_NE(banner, nullptr);
    BITMAP description{};
    GetObjectW(banner, sizeof(description), &description);
    EXPECT_EQ(description.bmWidth, 200);
    EXPECT_EQ(description.bmHeight, 40);
    DeleteObject(banner);

    const std::wstring windows_file = testing::WindowsPath(DLGFRAME_IMAGES_DIR "/test_keyed.bmp");
    HBITMAP from_file = Api().load_bitmap(nullptr, TRUE, windows_file.c_str());
    ASSERT_NE(from_file, nullptr);
    GetObjectW(from_file, sizeof(description), &description);
    EXPECT_EQ(description.bmWidth, 24);
    DeleteObject(from_file);
    EXPECT_EQ(Api().load_bitmap(nullptr, TRUE, L"Z:\\no\\such.bmp"), nullptr);
    EXPECT_EQ(Api().load_bitmap(nullptr, FALSE, MAKEINTRESOURCEW(999)), nullptr);

    HICON icon = Api().load_icon(nullptr, IDI_FRAME_SMALL);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr)
        DestroyIcon(icon);
    EXPECT_EQ(Api().load_icon(nullptr, 999), nullptr);
    HMENU menu = Api().load_menu(nullptr, IDM_TEST_MENU);
    EXPECT_NE(menu, nullptr);
    if (menu != nullptr)
        DestroyMenu(menu);
    EXPECT_EQ(Api().load_menu(nullptr, 1), nullptr);
}

}  // namespace
}  // namespace olvex::frametest

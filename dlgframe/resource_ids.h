// Resource ids the framework asks of the suite's resource DLLs, shared by the
// framework's code and by the resource scripts of our own resource DLLs.
#pragma once

// Strings.
#define IDS_FRAME_TITLE 22000             // tabbed window title
#define IDS_FRAME_CLASS 22001             // tabbed window class name
#define IDS_FRAME_STYLE 22051             // dialog style 0..3
#define IDS_FRAME_NORMAL_FONT_HEIGHT 22191
#define IDS_FRAME_BOLD_FONT_HEIGHT 22192
#define IDS_FRAME_IGNORE 22203
#define IDS_FRAME_ABORT 22204
#define IDS_FRAME_TAB_FONT_HEIGHT 22205
#define IDS_FRAME_TAB_FONT_FACE 22206
#define IDS_FRAME_NO_HELP_TEXT 20025
#define IDS_FRAME_NO_HELP_CAPTION 20026
#define IDS_FRAME_RETRY 20156
#define IDS_FRAME_YES 20158
#define IDS_FRAME_NO 20159
#define IDS_FRAME_OK 20160
#define IDS_FRAME_CANCEL 20161

// Bitmaps.
#define IDB_FRAME_SMALL_BANNER 186
#define IDB_FRAME_LARGE_BANNER 187
#define IDB_FRAME_SMALL_BANNER_RIGHT 285
#define IDB_FRAME_LARGE_BANNER_RIGHT 286
#define IDB_FRAME_RADIO_ON 224
#define IDB_FRAME_RADIO_OFF 225
#define IDB_FRAME_CHECK_ON 226
#define IDB_FRAME_CHECK_OFF 227
#define IDB_FRAME_CHECK_OFF_DISABLED 235
#define IDB_FRAME_CHECK_ON_DISABLED 236

// Icons.
#define IDI_FRAME_LARGE 181
#define IDI_FRAME_SMALL 184

// Dialog templates and their controls.
#define IDD_FRAME_MESSAGE_BOX 182
#define IDC_FRAME_MESSAGE_TEXT 1073
#define IDC_FRAME_BUTTON_PLACEHOLDER 1465
#define IDD_FRAME_FOLDER_BROWSER 233
#define IDC_FRAME_FOLDER_OK 1301
#define IDC_FRAME_FOLDER_CLOSE 1019

// The resource type of TGA images.
#define FRAME_TGA_TYPE "TGA_Image_Data"

#ifndef RC_INVOKED
namespace olvex::dlgframe {

inline constexpr wchar_t kBrandDll[] = L"XJVBrand.dll";
inline constexpr wchar_t kProductDll[] = L"XJVProd.dll";
inline constexpr wchar_t kResourceDll[] = L"XJVres.dll";
inline constexpr wchar_t kTgaResourceType[] = L"TGA_Image_Data";

inline constexpr unsigned kStyleString = IDS_FRAME_STYLE;
inline constexpr unsigned kNormalFontHeightString = IDS_FRAME_NORMAL_FONT_HEIGHT;
inline constexpr unsigned kBoldFontHeightString = IDS_FRAME_BOLD_FONT_HEIGHT;

}  // namespace olvex::dlgframe
#endif

/* The dialog resource framework ulmfrm.dll: its interface as a program binds
 * it. The DLL exports these 18 functions by ordinal only (no names); a
 * program loads it by file name and takes each one with
 * GetProcAddress(module, MAKEINTRESOURCEA(ordinal)). Every export uses the
 * caller-cleans convention (__cdecl); text is UTF-16. Handles the framework
 * returns (bitmaps, icons, menus, fonts, DIB sections) belong to the caller.
 *
 * Use: call FrameworkInitialize or FrameworkInitializeEx once before
 * anything else (later calls only count), then the rest on the thread that
 * owns the windows involved, and FrameworkShutdown once per initialisation. */
#ifndef ULMFRM_H
#define ULMFRM_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinals. */
enum {
    FRAMEWORK_ORDINAL_INITIALIZE = 1,
    FRAMEWORK_ORDINAL_SHUTDOWN = 2,
    FRAMEWORK_ORDINAL_MESSAGE_BOX = 3,
    FRAMEWORK_ORDINAL_MESSAGE_BOX_BY_ID = 4,
    FRAMEWORK_ORDINAL_CREATE_DIALOG = 5,
    FRAMEWORK_ORDINAL_DIALOG_BOX = 6,
    FRAMEWORK_ORDINAL_CREATE_TABBED_WINDOW = 7,
    FRAMEWORK_ORDINAL_CREATE_TABBED_WINDOW_EX = 8,
    FRAMEWORK_ORDINAL_LOAD_STRING = 9,
    FRAMEWORK_ORDINAL_LOAD_TGA_FILE = 10,
    FRAMEWORK_ORDINAL_LOAD_TGA_RESOURCE = 11,
    FRAMEWORK_ORDINAL_LOAD_BITMAP = 12,
    FRAMEWORK_ORDINAL_LOAD_ICON = 13,
    FRAMEWORK_ORDINAL_LOAD_MENU = 14,
    FRAMEWORK_ORDINAL_BROWSE_FOR_FOLDER = 15,
    FRAMEWORK_ORDINAL_FORMAT_STRING = 16,
    FRAMEWORK_ORDINAL_CREATE_FONT = 17,
    FRAMEWORK_ORDINAL_INITIALIZE_EX = 18
};

/* Private messages. */
#define FRAMEWORK_MSG_SET_FLAGS 0x1B7C       /* any custom control: lParam = its flags */
#define FRAMEWORK_MSG_SET_LINK_TARGET 0x1B7D /* CUST:WEBLINK: lParam = target address text */
#define FRAMEWORK_MSG_GET_BUTTON_FLAGS 0x1B7E /* CUST:BUTTON: answers its flags */
#define FRAMEWORK_MSG_PAGE_SHOWING 0x1B81    /* sent to a tab page about to be shown */

/* Host flags of FrameworkCreateDialog, FrameworkDialogBox and tab pages. */
#define FRAMEWORK_HOST_SMALL_BANNER 0x2   /* grows by the small banner (bitmaps 186, 285) */
#define FRAMEWORK_HOST_LARGE_BANNER 0x4   /* when 0x2 is clear: large banner (187, 286) */
#define FRAMEWORK_HOST_WHITE 0x10         /* plain white background */
#define FRAMEWORK_HOST_BANNER_LEFT 0x80   /* banner piece at the left */
#define FRAMEWORK_HOST_BANNER_RIGHT 0x100 /* banner piece against the right edge */
#define FRAMEWORK_HOST_BANNER_BOTH 0x200  /* both pieces */

/* Control flags (FRAMEWORK_MSG_SET_FLAGS). */
#define FRAMEWORK_CONTROL_BOLD 0x8 /* every control with text */
#define FRAMEWORK_LABEL_LEFT 0x1
#define FRAMEWORK_LABEL_CENTRE 0x2
#define FRAMEWORK_LABEL_RIGHT 0x4
#define FRAMEWORK_LABEL_WRAP 0x10
#define FRAMEWORK_LABEL_OWN_BACKGROUND 0x20
#define FRAMEWORK_LABEL_NOTIFY 0x40
#define FRAMEWORK_LABEL_PATH_ELLIPSIS 0x80
#define FRAMEWORK_LABEL_END_ELLIPSIS 0x100
#define FRAMEWORK_IMAGE_COLOUR_KEY 0x1
#define FRAMEWORK_IMAGE_ALPHA 0x2
#define FRAMEWORK_GROUP_BOXED 0x1
#define FRAMEWORK_BUTTON_FLAT 0x10
#define FRAMEWORK_BUTTON_IMAGE_COLOUR_KEY 0x20
#define FRAMEWORK_BUTTON_IMAGE_ALPHA 0x40
#define FRAMEWORK_LINK_LEFT 0x1
#define FRAMEWORK_LINK_CENTRE 0x2
#define FRAMEWORK_LINK_RIGHT 0x4

/* Message box types (button ids are the Windows ones, IDOK to IDNO). */
#define FRAMEWORK_MB_OK 0
#define FRAMEWORK_MB_OKCANCEL 1
#define FRAMEWORK_MB_ABORTRETRYIGNORE 2
#define FRAMEWORK_MB_NOBUTTONS 3
#define FRAMEWORK_MB_YESNO 4

/* The tabbed window's close command, from any of its children. */
#define FRAMEWORK_TABBED_CLOSE 110

/* One page of a tabbed window. */
typedef struct FrameworkPage {
    UINT templateId;    /* dialog template in the resource DLL (16 bits used) */
    UINT labelStringId; /* tab label */
    DLGPROC dialogProc; /* the page's dialog procedure */
    LPARAM userData;    /* lParam of its WM_INITDIALOG */
    UINT hostFlags;     /* FRAMEWORK_HOST_* */
    UINT_PTR reserved;  /* not read */
} FrameworkPage;

/* The dialog along the bottom of a tabbed window (FrameworkCreateTabbedWindowEx). */
typedef struct FrameworkBottomDialog {
    UINT templateId;     /* dialog template in the resource DLL */
    UINT_PTR reserved1;  /* not read */
    DLGPROC dialogProc;  /* its own procedure (not under the framework's host) */
    LPARAM createParam;  /* lParam of its WM_INITDIALOG */
    UINT_PTR reserved2;  /* not read */
    HWND window;         /* out: the bottom dialog */
} FrameworkBottomDialog;

/* The exports, as pointer types for GetProcAddress. */
typedef int(__cdecl* FrameworkInitializeFn)(void);                               /* 1 */
typedef int(__cdecl* FrameworkShutdownFn)(void);                                 /* 2 */
typedef int(__cdecl* FrameworkMessageBoxFn)(HWND parent, const WCHAR* text,
                                            const WCHAR* caption, int type,
                                            LPARAM unused);                      /* 3 */
typedef int(__cdecl* FrameworkMessageBoxByIdFn)(HMODULE module, HWND parent, UINT textId,
                                                UINT captionId, int type,
                                                LPARAM unused);                  /* 4 */
typedef HWND(__cdecl* FrameworkCreateDialogFn)(HMODULE module, UINT templateId, HWND parent,
                                               DLGPROC dialogProc, LPARAM userData,
                                               UINT hostFlags);                  /* 5 */
typedef INT_PTR(__cdecl* FrameworkDialogBoxFn)(HMODULE module, UINT templateId, HWND parent,
                                               DLGPROC dialogProc, LPARAM userData,
                                               UINT hostFlags);                  /* 6 */
typedef HWND(__cdecl* FrameworkCreateTabbedWindowFn)(FrameworkPage* pages, int count); /* 7 */
typedef HWND(__cdecl* FrameworkCreateTabbedWindowExFn)(FrameworkPage* pages, int count,
                                                       FrameworkBottomDialog* bottom); /* 8 */
typedef int(__cdecl* FrameworkLoadStringFn)(HMODULE module, UINT stringId, WCHAR* buffer,
                                            int bufferChars);                    /* 9 */
typedef HBITMAP(__cdecl* FrameworkLoadTgaFileFn)(const WCHAR* fileName, BYTE premultiply); /* 10 */
typedef HBITMAP(__cdecl* FrameworkLoadTgaResourceFn)(UINT imageId, UINT_PTR unused,
                                                     BYTE premultiply);          /* 11 */
typedef HBITMAP(__cdecl* FrameworkLoadBitmapFn)(HMODULE module, BOOL fromFile,
                                                const WCHAR* fileNameOrId);      /* 12 */
typedef HICON(__cdecl* FrameworkLoadIconFn)(HMODULE module, UINT iconId);        /* 13 */
typedef HMENU(__cdecl* FrameworkLoadMenuFn)(HMODULE module, UINT menuId);        /* 14 */
typedef int(__cdecl* FrameworkBrowseForFolderFn)(HWND parent, WCHAR* buffer, int bufferChars,
                                                 const WCHAR* caption);          /* 15 */
typedef int(__cdecl* FrameworkFormatStringFn)(HMODULE module, UINT stringId, WCHAR* output,
                                              int outputChars, ...);             /* 16 */
typedef HFONT(__cdecl* FrameworkCreateFontFn)(HWND window, BOOL bold, BOOL underline); /* 17 */
typedef int(__cdecl* FrameworkInitializeExFn)(const WCHAR* productDll,
                                              const WCHAR* resourceDll);         /* 18 */

#ifdef __cplusplus
}
#endif

#endif /* ULMFRM_H */

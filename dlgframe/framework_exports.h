// The framework's exports as the DLL itself defines and calls them. Their
// types are checked against the public header's pointer types.
#pragma once

#include "dlgframe/ulmfrm.h"

extern "C" {
int __cdecl FrameworkInitialize(void);
int __cdecl FrameworkShutdown(void);
int __cdecl FrameworkMessageBox(HWND parent, const WCHAR* text, const WCHAR* caption, int type,
                                LPARAM unused);
int __cdecl FrameworkMessageBoxById(HMODULE module, HWND parent, UINT textId, UINT captionId,
                                    int type, LPARAM unused);
HWND __cdecl FrameworkCreateDialog(HMODULE module, UINT templateId, HWND parent,
                                   DLGPROC dialogProc, LPARAM userData, UINT hostFlags);
INT_PTR __cdecl FrameworkDialogBox(HMODULE module, UINT templateId, HWND parent,
                                   DLGPROC dialogProc, LPARAM userData, UINT hostFlags);
HWND __cdecl FrameworkCreateTabbedWindow(FrameworkPage* pages, int count);
HWND __cdecl FrameworkCreateTabbedWindowEx(FrameworkPage* pages, int count,
                                           FrameworkBottomDialog* bottom);
int __cdecl FrameworkLoadString(HMODULE module, UINT stringId, WCHAR* buffer, int bufferChars);
HBITMAP __cdecl FrameworkLoadTgaFile(const WCHAR* fileName, BYTE premultiply);
HBITMAP __cdecl FrameworkLoadTgaResource(UINT imageId, UINT_PTR unused, BYTE premultiply);
HBITMAP __cdecl FrameworkLoadBitmap(HMODULE module, BOOL fromFile, const WCHAR* fileNameOrId);
HICON __cdecl FrameworkLoadIcon(HMODULE module, UINT iconId);
HMENU __cdecl FrameworkLoadMenu(HMODULE module, UINT menuId);
int __cdecl FrameworkBrowseForFolder(HWND parent, WCHAR* buffer, int bufferChars,
                                     const WCHAR* caption);
int __cdecl FrameworkFormatString(HMODULE module, UINT stringId, WCHAR* output, int outputChars,
                                  ...);
HFONT __cdecl FrameworkCreateFont(HWND window, BOOL bold, BOOL underline);
int __cdecl FrameworkInitializeEx(const WCHAR* productDll, const WCHAR* resourceDll);
}

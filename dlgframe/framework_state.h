// The framework's one process-wide state: the resource DLLs of the module
// chain, AlphaBlend, banner heights, style, font heights and colours. Only
// initialisation and shutdown write it (guarded by the use count, not by
// locks); everything else reads it.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "dlgframe/frame_palette.h"

namespace olvex::dlgframe {

using AlphaBlendFunction = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int,
                                         BLENDFUNCTION);

struct FrameworkState {
    HMODULE brand = nullptr;
    HMODULE product = nullptr;
    HMODULE resource = nullptr;
    HMODULE blend = nullptr;
    AlphaBlendFunction alpha_blend = nullptr;
    std::wstring data_folder;
    int large_banner_height = 0;
    int small_banner_height = 0;
    int bottom_reserve = 0;
    int margin = 0;
    int tab_row_height = 0;
    int style = 0;
    int normal_font_height = 0;
    int bold_font_height = 0;
    bool eight_bit_screen = false;
    std::array<COLORREF, kPaletteSize> colours{};
};

const FrameworkState& State();

// The framework DLL's own module, recorded when it was attached.
HMODULE OwnModule();
// The host program's module, for which the window classes are registered.
HMODULE HostModule();

COLORREF Colour(PaletteEntry entry);

// The modules a lookup tries in order, the caller's first; absent ones are
// 0 and skipped by the caller. Dialog templates skip the brand DLL.
std::array<HMODULE, 4> ResourceChain(HMODULE caller);
std::array<HMODULE, 3> TemplateChain(HMODULE caller);

// The antivirus install folder ("ProgramPath"), empty when it is not there.
std::wstring InstallFolder();

// Called by the DLL's entry point.
void RecordOwnModule(HMODULE module);

}  // namespace olvex::dlgframe

// The dialog framework ulmfrm.dll, bound at run time: setup draws every
// dialog and message box with it but never links it. Eight exports are
// bound by ordinal; a framework lacking any of them is refused whole. Every
// call made before Initialize succeeded (or after Unload) gives the value of
// an uninitialised framework, and the callers fall back.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "dlgframe/ulmfrm.h"

namespace olvex::setup {

// Owns one module handle; freed once.
class LibraryHandle {
  public:
    LibraryHandle() = default;
    ~LibraryHandle() { Free(); }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;

    void Reset(HMODULE module) {
        Free();
        module_ = module;
    }
    void Free() {
        if (module_) {
            FreeLibrary(module_);
            module_ = nullptr;
        }
    }
    HMODULE Get() const { return module_; }

  private:
    HMODULE module_ = nullptr;
};

// Dialog flags of every setup dialog: 0x2, the small banner (the dialog
// grows by its height and shows bitmaps 186 and 285 of the resource chain
// at the side the framework's style picks) on the framework's gradient
// background (no 0x10), and 0x8, a bit the framework carries without
// reading it.
inline constexpr UINT kSetupDialogFlags = FRAMEWORK_HOST_SMALL_BANNER | 0x8;

class Framework {
  public:
    static Framework& Instance();

    // Loads ulmfrm.dll (from the program's folder first) and binds its
    // entries: 0 or 9003.
    uint32_t Load();
    // Load, then the framework's own start with the suite's product and
    // resource DLLs; the suite's strings must be found through it: 0, 9003
    // or 9004.
    uint32_t Initialize();
    void Unload();
    bool initialized() const { return initialized_; }

    int ShowMessageBox(HWND parent, std::u16string_view text, std::u16string_view caption,
                       int type);
    int MessageBoxById(HMODULE module, HWND parent, UINT text_id, UINT caption_id, int type);
    INT_PTR RunModal(HMODULE module, UINT template_id, HWND parent, DLGPROC procedure,
                     LPARAM user_data, UINT flags = kSetupDialogFlags);
    HWND CreateModeless(HMODULE module, UINT template_id, HWND parent, DLGPROC procedure,
                        LPARAM user_data, UINT flags = kSetupDialogFlags);
    // 0 chosen (the folder in `folder`), 1 cancelled, -1 not shown.
    int ShowFolderPicker(HWND parent, std::u16string& folder, int chars,
                         std::u16string_view caption);
    // The string through the framework's resource chain; empty when missing.
    std::u16string LoadText(HMODULE module, UINT id, int chars);

  private:
    void ClearBindings();

    bool initialized_ = false;
    LibraryHandle library_;
    FrameworkInitializeExFn initialize_ = nullptr;           // 18
    FrameworkShutdownFn shutdown_ = nullptr;                 // 2
    FrameworkMessageBoxFn message_box_ = nullptr;            // 3
    FrameworkMessageBoxByIdFn message_box_by_id_ = nullptr;  // 4
    FrameworkDialogBoxFn dialog_box_ = nullptr;              // 6
    FrameworkCreateDialogFn create_dialog_ = nullptr;        // 5
    FrameworkBrowseForFolderFn browse_ = nullptr;            // 15
    FrameworkLoadStringFn load_string_ = nullptr;            // 9
};

}  // namespace olvex::setup

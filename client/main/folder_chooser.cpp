#include "client/main/folder_chooser.h"

#include <shlobj.h>

#include "client/common/ui/ansi_text.h"

namespace olvex {
namespace {

class ShellFolderChooser final : public FolderChooser {
  public:
    FolderChoice Choose(HWND owner, const std::wstring& title) const override {
        BROWSEINFOW info{};
        info.hwndOwner = owner;
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_BROWSEINCLUDEFILES | BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
        PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&info);
        if (items == nullptr)
            return {};
        FolderChoice choice{.chosen = true, .path = {}};
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(items, path))
            choice.path = ui::ToAnsi(path);
        CoTaskMemFree(items);
        return choice;
    }
};

const FolderChooser* current_chooser = nullptr;

}  // namespace

const FolderChooser& SystemFolderChooser() {
    static const ShellFolderChooser chooser;
    return chooser;
}

const FolderChooser& CurrentFolderChooser() {
    return current_chooser != nullptr ? *current_chooser : SystemFolderChooser();
}

ScopedFolderChooser::ScopedFolderChooser(const FolderChooser& chooser)
    : previous_(current_chooser) {
    current_chooser = &chooser;
}

ScopedFolderChooser::~ScopedFolderChooser() {
    current_chooser = previous_;
}

}  // namespace olvex

// The folder browser of Add File/Folder, behind a seam: the test build
// answers it from a file (test_hooks.h) so that tests choose paths without
// driving the shell's browser.
#pragma once

#include <windows.h>

#include <string>

namespace olvex {

struct FolderChoice {
    bool chosen = false;  // false: the user cancelled
    std::string path;     // empty when the choice has no file-system path
};

// Browses for a file or folder (files shown, file-system items only, not
// below the domain), titled title, owned by owner.
class FolderChooser {
  public:
    virtual ~FolderChooser() = default;
    virtual FolderChoice Choose(HWND owner, const std::wstring& title) const = 0;
};

const FolderChooser& SystemFolderChooser();
const FolderChooser& CurrentFolderChooser();

// Replaces the chooser for its lifetime (not thread-safe against code
// running at the same time).
class ScopedFolderChooser {
  public:
    explicit ScopedFolderChooser(const FolderChooser& chooser);
    ~ScopedFolderChooser();
    ScopedFolderChooser(const ScopedFolderChooser&) = delete;
    ScopedFolderChooser& operator=(const ScopedFolderChooser&) = delete;

  private:
    const FolderChooser* previous_;
};

}  // namespace olvex

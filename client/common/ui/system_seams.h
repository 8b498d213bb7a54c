// What the windowed programs ask of the system where a test must see or
// replace the answer: sounds (Wine says it played a file that does not
// exist), opening files and addresses with the shell and the Save As dialog.
// The Windows version and platform id come through the engine's own source
// (olvex/core/os_utilities.h); the service control manager, which only the
// Task Scheduler check uses, through that check's platform
// (client/common/task_scheduler_check.h).
//
// Each has the system's implementation, a Current... accessor, and a
// Scoped... replacement for tests (not thread-safe against code running at
// the same time).
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <optional>
#include <string>

#include "olvex/core/os_utilities.h"

namespace olvex::ui {

// Sounds are files played without waiting (SND_FILENAME | SND_ASYNC).
class SoundPlayer {
  public:
    virtual ~SoundPlayer() = default;
    virtual bool PlayFile(const std::wstring& path) const = 0;
};

// Opens a file, folder or address with the shell's "open" verb, shown
// normally.
class ShellOpener {
  public:
    virtual ~ShellOpener() = default;
    virtual bool Open(HWND owner, const std::wstring& target) const = 0;
};

struct SaveFileRequest {
    std::wstring default_extension;  // "csv", without the point
    std::wstring file_name;          // proposed name
    std::wstring filter;             // "Text Files (*.csv)|*.csv||"
    DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
};

// The Save As dialog; the chosen path, nullopt when cancelled.
class SaveFileChooser {
  public:
    virtual ~SaveFileChooser() = default;
    virtual std::optional<std::wstring> Choose(HWND owner,
                                               const SaveFileRequest& request) const = 0;
};

const SoundPlayer& SystemSoundPlayer();
const ShellOpener& SystemShellOpener();
const SaveFileChooser& SystemSaveFileChooser();

const SoundPlayer& CurrentSoundPlayer();
const ShellOpener& CurrentShellOpener();
const SaveFileChooser& CurrentSaveFileChooser();

// The platform id of the running (or substituted) system: 0 Win32s, 1
// Windows 9x, 2 the NT family; 2 when it cannot be read.
DWORD CurrentPlatformId();

// The filter of a Save As request in the system's form: "|" becomes NUL.
std::wstring SystemFilter(const std::wstring& filter);

class ScopedSoundPlayer {
  public:
    explicit ScopedSoundPlayer(const SoundPlayer& player);
    ~ScopedSoundPlayer();
    ScopedSoundPlayer(const ScopedSoundPlayer&) = delete;
    ScopedSoundPlayer& operator=(const ScopedSoundPlayer&) = delete;

  private:
    const SoundPlayer* previous_;
};

class ScopedShellOpener {
  public:
    explicit ScopedShellOpener(const ShellOpener& opener);
    ~ScopedShellOpener();
    ScopedShellOpener(const ScopedShellOpener&) = delete;
    ScopedShellOpener& operator=(const ScopedShellOpener&) = delete;

  private:
    const ShellOpener* previous_;
};

class ScopedSaveFileChooser {
  public:
    explicit ScopedSaveFileChooser(const SaveFileChooser& chooser);
    ~ScopedSaveFileChooser();
    ScopedSaveFileChooser(const ScopedSaveFileChooser&) = delete;
    ScopedSaveFileChooser& operator=(const ScopedSaveFileChooser&) = delete;

  private:
    const SaveFileChooser* previous_;
};

}  // namespace olvex::ui

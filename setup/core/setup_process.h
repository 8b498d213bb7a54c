// The setup controller's process-wide objects on the real system: the
// logger's Windows host, and the options read from the process's own wide
// command line.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "setup/core/setup_logger.h"
#include "setup/core/setup_options.h"

namespace olvex::setup {

class WindowsLoggerHost : public LoggerHost {
  public:
    // Shows a box over the owner and gives its button; anything but 1 or 2
    // (a box that failed) falls back to the system's message box. The
    // framework binding installs one.
    using BoxPresenter =
        std::function<int(HWND owner, const std::u16string& text, const std::u16string& caption)>;

    std::u16string LoadText(uint32_t id, size_t max_chars) override;
    std::u16string LocalTimeText() override;
    std::u16string ProcessCommandLine() override;
    std::string ToAnsi(std::u16string_view text) override;
    void Truncate(const std::u16string& path) override;
    void Append(const std::u16string& path, std::string_view bytes) override;
    void ShowBox(void* owner, std::u16string_view text) override;

    void SetBoxPresenter(BoxPresenter presenter) { presenter_ = std::move(presenter); }
    // The caption of the boxes; string 22006 when none is set.
    void SetCaptionSource(std::function<std::u16string()> source) { caption_ = std::move(source); }

  private:
    BoxPresenter presenter_;
    std::function<std::u16string()> caption_;
};

WindowsLoggerHost& ProcessLoggerHost();

// Parses the process's wide command line (its program name skipped): a
// path in any script reaches setup as it was typed.
int32_t ParseProcessCommandLine(SetupOptions& options, SetupLogger& logger);

}  // namespace olvex::setup

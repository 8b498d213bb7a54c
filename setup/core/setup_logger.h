// The setup log and the user's message boxes. Every message of setup goes
// through one logger, by string id or as text, and reaches the log file, a
// box or both by two levels: 0 nothing, 1 errors, 2 warnings, 3 information,
// 4 also direct writes. The logger composes lines and decides; what it needs
// of the system (strings, the clock's text, the file, the box) comes through
// a LoggerHost.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace olvex::setup {

class LoggerHost {
  public:
    virtual ~LoggerHost() = default;
    // The text of a string id, at most max_chars - 1 characters; empty when
    // missing.
    virtual std::u16string LoadText(uint32_t id, size_t max_chars) = 0;
    // Local date (long format) and time, ", " between them.
    virtual std::u16string LocalTimeText() = 0;
    virtual std::u16string ProcessCommandLine() = 0;
    // The text in the ANSI code page.
    virtual std::string ToAnsi(std::u16string_view text) = 0;
    // Empties the file (creating it). Errors are ignored: the log loses the
    // line, never the program its last-error value.
    virtual void Truncate(const std::u16string& path) = 0;
    virtual void Append(const std::u16string& path, std::string_view bytes) = 0;
    // One message box over the owner window.
    virtual void ShowBox(void* owner, std::u16string_view text) = 0;
};

class SetupLogger {
  public:
    static constexpr int32_t kDefaultLogLevel = 3;
    static constexpr int32_t kDefaultDisplayLevel = 2;

    explicit SetupLogger(LoggerHost& host);
    SetupLogger(const SetupLogger&) = delete;
    SetupLogger& operator=(const SetupLogger&) = delete;

    // The process's logger, on the real system (defined by the Windows
    // library).
    static SetupLogger& Instance();

    LoggerHost& host() { return host_; }
    const std::u16string& path() const { return path_; }
    int32_t log_level() const { return log_level_; }
    int32_t display_level() const { return display_level_; }
    void* window() const { return window_; }

    void SetWindow(void* window) { window_ = window; }
    // Levels 0-4 are taken, others ignored; the previous level is returned.
    int32_t SetLogLevel(int32_t level);
    int32_t SetDisplayLevel(int32_t level);

    // A non-empty path replaces the current one; at log level 3 the file is
    // emptied when asked, then "setup started" and the command line are
    // written.
    void Open(std::u16string_view path, bool truncate, bool force = false);
    // At log level 3: the result line and the closing separator.
    void Close(uint32_t result, bool force = false);

    // Message = text when given, else the string id's text; errors and
    // warnings with a code not 0 get "<Error> E<code>: " or
    // "<Warning> W<code>: " in front.
    void Error(uint32_t id, uint32_t code, std::optional<std::u16string_view> text = std::nullopt,
               bool force = false);
    void Warning(uint32_t id, uint32_t code, std::optional<std::u16string_view> text = std::nullopt,
                 bool force = false);
    void Info(uint32_t id, std::optional<std::u16string_view> text = std::nullopt,
              bool force = false);
    // Information followed by " - <Value> = <value>".
    void InfoInt(uint32_t id, int32_t value, std::optional<std::u16string_view> text = std::nullopt,
                 bool force = false);
    void InfoValue(uint32_t id, uint32_t value,
                   std::optional<std::u16string_view> text = std::nullopt, bool force = false);
    void InfoText(uint32_t id, std::u16string_view value,
                  std::optional<std::u16string_view> text = std::nullopt, bool force = false);

    // Direct writes: unforced they take effect at level 4 only.
    void WriteLine(std::u16string_view text, uint32_t id, bool force = false);
    void WriteWide(std::u16string_view text, bool force = false);
    void WriteRaw(std::string_view bytes, bool force = false);
    void ShowBox(std::u16string_view text, bool force = false);

  private:
    class BusyGuard;
    enum class Form { kError, kWarning, kInfo };
    void Message(Form form, uint32_t id, uint32_t code, std::optional<std::u16string_view> text,
                 std::u16string_view value_suffix, bool force);
    std::u16string ValueSuffix(std::u16string_view value);

    LoggerHost& host_;
    std::u16string path_ = u"C:\\xjlog.txt";
    int32_t log_level_ = kDefaultLogLevel;
    int32_t display_level_ = kDefaultDisplayLevel;
    void* window_ = nullptr;
    // Guards against re-entry: a message box runs a message loop in which
    // another message could be written.
    static std::atomic<bool> busy_;
};

// One message of a combined report: the string id (0: the argument is the
// text), the argument for the string's "%s", and the blank lines after it.
struct MessageEntry {
    uint32_t id = 0;
    std::optional<std::u16string> argument;
    uint32_t blank_lines = 0;
};

// Writes every entry as a line of its own to the log (kind 1 error, 2
// warning, 3 information, else nothing) and shows them together in one box
// (display kind likewise).
void ReportMessage(SetupLogger& logger, int log_kind, int display_kind, uint32_t code,
                   std::span<const MessageEntry> entries);

}  // namespace olvex::setup

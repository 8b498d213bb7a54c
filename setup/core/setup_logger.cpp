#include "setup/core/setup_logger.h"

#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {
namespace {

// Message texts are loaded with at most this many characters.
constexpr size_t kMessageChars = 2048;
constexpr size_t kWordChars = 256;
// The date, time and id in front of a line fit this buffer.
constexpr size_t kLinePrefixChars = 256;
constexpr std::string_view kSeparator = "\r\n+++ --- +++ --- +++\r\n\r\n";

bool Reaches(int32_t level, int32_t threshold) {
    return level >= threshold;
}

}  // namespace

std::atomic<bool> SetupLogger::busy_{false};

// Unforced calls take the busy flag for their duration and give way when
// another holds it; forced calls leave it as they found it.
class SetupLogger::BusyGuard {
  public:
    explicit BusyGuard(bool force) : owner_(!force) {
        if (owner_) {
            entered_ = !busy_.exchange(true);
        }
    }
    ~BusyGuard() {
        if (owner_ && entered_) {
            busy_.store(false);
        }
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    // Whether the call may go on.
    bool entered() const { return !owner_ || entered_; }

  private:
    bool owner_;
    bool entered_ = false;
};

SetupLogger::SetupLogger(LoggerHost& host) : host_(host) {}

int32_t SetupLogger::SetLogLevel(int32_t level) {
    const int32_t previous = log_level_;
    if (level >= 0 && level <= 4) {
        log_level_ = level;
    }
    return previous;
}

int32_t SetupLogger::SetDisplayLevel(int32_t level) {
    const int32_t previous = display_level_;
    if (level >= 0 && level <= 4) {
        display_level_ = level;
    }
    return previous;
}

void SetupLogger::Open(std::u16string_view path, bool truncate, bool force) {
    if (!path.empty()) {
        path_.assign(path);
    }
    if (!force && !Reaches(log_level_, 3)) {
        return;
    }
    const BusyGuard guard(force);
    if (!guard.entered()) {
        return;
    }
    if (truncate) {
        host_.Truncate(path_);
    }
    Info(msg::kSetupStarted, std::nullopt, true);
    WriteLine(host_.ProcessCommandLine(), 0, true);
}

void SetupLogger::Close(uint32_t result, bool force) {
    if (!force && !Reaches(log_level_, 3)) {
        return;
    }
    const BusyGuard guard(force);
    if (!guard.entered()) {
        return;
    }
    InfoInt(msg::kSetupFinished, static_cast<int32_t>(result), std::nullopt, true);
    WriteRaw(kSeparator, true);
}

std::u16string SetupLogger::ValueSuffix(std::u16string_view value) {
    return u" - " + host_.LoadText(msg::kValueLabel, kWordChars) + u" = " + std::u16string(value);
}

void SetupLogger::Message(Form form, uint32_t id, uint32_t code,
                          std::optional<std::u16string_view> text, std::u16string_view value_suffix,
                          bool force) {
    const int32_t threshold = form == Form::kError ? 1 : form == Form::kWarning ? 2 : 3;
    if (!force && !Reaches(log_level_, threshold) && !Reaches(display_level_, threshold)) {
        return;
    }
    const BusyGuard guard(force);
    if (!guard.entered()) {
        return;
    }
    std::u16string body = text ? std::u16string(*text) : host_.LoadText(id, kMessageChars);
    if (body.empty()) {
        return;
    }
    std::u16string message;
    if (code != 0 && form != Form::kInfo) {
        const bool error = form == Form::kError;
        message = host_.LoadText(error ? msg::kErrorWord : msg::kWarningWord, kWordChars) +
                  (error ? u" E" : u" W") + UnsignedText(code) + u": ";
    }
    message += body;
    message += value_suffix;
    if (Reaches(log_level_, threshold)) {
        WriteLine(message, id, true);
    }
    // The opening and closing lines belong to the log alone.
    const bool log_only =
        id == msg::kSetupStarted || (!value_suffix.empty() && id == msg::kSetupFinished);
    if (Reaches(display_level_, threshold) && !log_only) {
        ShowBox(message, true);
    }
}

void SetupLogger::Error(uint32_t id, uint32_t code, std::optional<std::u16string_view> text,
                        bool force) {
    Message(Form::kError, id, code, text, {}, force);
}

void SetupLogger::Warning(uint32_t id, uint32_t code, std::optional<std::u16string_view> text,
                          bool force) {
    Message(Form::kWarning, id, code, text, {}, force);
}

void SetupLogger::Info(uint32_t id, std::optional<std::u16string_view> text, bool force) {
    Message(Form::kInfo, id, 0, text, {}, force);
}

void SetupLogger::InfoInt(uint32_t id, int32_t value, std::optional<std::u16string_view> text,
                          bool force) {
    Message(Form::kInfo, id, 0, text, ValueSuffix(DecimalText(value)), force);
}

void SetupLogger::InfoValue(uint32_t id, uint32_t value, std::optional<std::u16string_view> text,
                            bool force) {
    Message(Form::kInfo, id, 0, text, ValueSuffix(UnsignedText(value)), force);
}

void SetupLogger::InfoText(uint32_t id, std::u16string_view value,
                           std::optional<std::u16string_view> text, bool force) {
    Message(Form::kInfo, id, 0, text, ValueSuffix(value), force);
}

void SetupLogger::WriteLine(std::u16string_view text, uint32_t id, bool force) {
    if (!force && !Reaches(log_level_, 4)) {
        return;
    }
    const BusyGuard guard(force);
    if (!guard.entered() || text.empty()) {
        return;
    }
    std::u16string line = host_.LocalTimeText() + u" (" + UnsignedText(id, 5) + u") ";
    if (line.size() > kLinePrefixChars - 1) {
        line.resize(kLinePrefixChars - 1);
    }
    line += text;
    line += u"\r\n";
    host_.Append(path_, host_.ToAnsi(line));
}

void SetupLogger::WriteWide(std::u16string_view text, bool force) {
    if (!force && !Reaches(log_level_, 4)) {
        return;
    }
    const BusyGuard guard(force);
    if (guard.entered() && !text.empty()) {
        host_.Append(path_, host_.ToAnsi(text));
    }
}

void SetupLogger::WriteRaw(std::string_view bytes, bool force) {
    if (!force && !Reaches(log_level_, 4)) {
        return;
    }
    const BusyGuard guard(force);
    if (guard.entered() && !bytes.empty()) {
        host_.Append(path_, bytes);
    }
}

void SetupLogger::ShowBox(std::u16string_view text, bool force) {
    if (!force && !Reaches(display_level_, 4)) {
        return;
    }
    const BusyGuard guard(force);
    if (guard.entered() && !text.empty()) {
        host_.ShowBox(window_, text);
    }
}

namespace {

void Emit(SetupLogger& logger, int kind, uint32_t id, uint32_t code, std::u16string_view text) {
    switch (kind) {
        case 1:
            logger.Error(id, code, text);
            break;
        case 2:
            logger.Warning(id, code, text);
            break;
        case 3:
            if (code != 0) {
                logger.InfoValue(id, code, text);
            } else {
                logger.Info(id, text);
            }
            break;
        default:
            break;
    }
}

}  // namespace

void ReportMessage(SetupLogger& logger, int log_kind, int display_kind, uint32_t code,
                   std::span<const MessageEntry> entries) {
    constexpr size_t kEntryChars = 512;
    const int32_t display = logger.SetDisplayLevel(0);
    std::u16string combined;
    for (const MessageEntry& entry : entries) {
        std::u16string text;
        if (entry.id == 0) {
            text = entry.argument.value_or(std::u16string{});
        } else {
            text = logger.host().LoadText(entry.id, kEntryChars);
            if (entry.argument) {
                text = SubstituteArguments(text, {*entry.argument});
            }
        }
        Emit(logger, log_kind, entry.id, code, text);
        combined += text;
        for (uint32_t i = 0; i < entry.blank_lines; ++i) {
            combined += u"\r\n";
        }
    }
    logger.SetDisplayLevel(display);
    const int32_t log = logger.SetLogLevel(0);
    Emit(logger, display_kind, 0, code, combined);
    logger.SetLogLevel(log);
}

}  // namespace olvex::setup

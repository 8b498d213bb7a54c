#include "olvex/core/line_buffer.h"

namespace olvex {
namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::string_view kLineEndRun = "\t\r\n";

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kWhiteSpace);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

void TCharBufferManagement::SetText(std::string_view text) {
    text_.assign(text.substr(0, text.find('\0')));
    cursor_ = 0;
}

std::optional<std::string> TCharBufferManagement::GetFirstLine() {
    cursor_ = 0;
    return GetNextLine();
}

std::optional<std::string> TCharBufferManagement::GetNextLine() {
    if (cursor_ >= text_.size()) {
        return std::nullopt;
    }
    auto end = text_.find('\r', cursor_);
    if (end == std::string::npos) {
        end = text_.find('\n', cursor_);
    }
    if (end == std::string::npos) {
        return std::nullopt;
    }
    end = text_.find_first_not_of(kLineEndRun, end);
    if (end == std::string::npos) {
        end = text_.size();
    }
    const std::string_view line = std::string_view(text_).substr(cursor_, end - cursor_);
    cursor_ = end;
    return Trim(line);
}

}  // namespace olvex

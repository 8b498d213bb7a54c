// A logger host for native tests: the English setup strings, a fixed clock
// text and command line, files and boxes kept in memory.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "setup/core/setup_logger.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"

namespace olvex::setup::testing {

class RecordingHost : public LoggerHost {
  public:
    std::u16string LoadText(uint32_t id, size_t max_chars) override {
        const auto found = strings.find(id);
        std::u16string text =
            found != strings.end() ? found->second : std::u16string(EnglishSetupString(id));
        if (max_chars > 0 && text.size() > max_chars - 1) {
            text.resize(max_chars - 1);
        }
        return text;
    }
    std::u16string LocalTimeText() override { return time_text; }
    std::u16string ProcessCommandLine() override { return command_line; }
    std::string ToAnsi(std::u16string_view text) override {
        std::string out;
        for (const char16_t c : text) {
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return out;
    }
    void Truncate(const std::u16string& path) override { files[path].clear(); }
    void Append(const std::u16string& path, std::string_view bytes) override {
        files[path].append(bytes);
    }
    void ShowBox(void* owner, std::u16string_view text) override {
        boxes.emplace_back(text);
        if (on_box) {
            on_box();
        }
    }

    // The file's lines without their line ends.
    std::vector<std::string> Lines(const std::u16string& path) const {
        std::vector<std::string> lines;
        const auto found = files.find(path);
        if (found == files.end()) {
            return lines;
        }
        const std::string& text = found->second;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find("\r\n", start);
            lines.push_back(
                text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            start = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }

    std::map<uint32_t, std::u16string> strings;  // replace or add texts
    std::u16string time_text = u"Monday, 1 January 2024, 10:00:00";
    std::u16string command_line = u"Tramlet.exe /x";
    std::map<std::u16string, std::string> files;
    std::vector<std::u16string> boxes;
    std::function<void()> on_box;
};

inline std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

}  // namespace olvex::setup::testing

// Shared by the setup core's fuzz targets: UTF-16 text from fuzz bytes and
// a logger host that keeps nothing.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "setup/core/setup_logger.h"

namespace olvex::setup::fuzzing {

inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Up to max_chars UTF-16 units, each from two bytes.
inline std::u16string ConsumeText(FuzzedDataProvider& input, size_t max_chars) {
    const std::string bytes = input.ConsumeRandomLengthString(max_chars * 2);
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

class NullHost : public LoggerHost {
  public:
    std::u16string LoadText(uint32_t, size_t) override { return u"text %s"; }
    std::u16string LocalTimeText() override { return u"now"; }
    std::u16string ProcessCommandLine() override { return u"setup"; }
    std::string ToAnsi(std::u16string_view text) override { return std::string(text.size(), 'x'); }
    void Truncate(const std::u16string&) override {}
    void Append(const std::u16string&, std::string_view) override {}
    void ShowBox(void*, std::u16string_view) override {}
};

}  // namespace olvex::setup::fuzzing

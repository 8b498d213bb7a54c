#include "olvex/core/language_file.h"

#include <array>
#include <optional>

#include "olvex/core/file_io.h"

namespace olvex {
namespace {

// Reads a file line by line; a line is cut at the limit and the rest of it
// skipped, so a huge line neither stalls the reader nor turns into lines.
class LineReader {
  public:
    explicit LineReader(InputFile& file) : file_(file) {}

    // The next line without its end; nullopt at the end of the file or when
    // a read fails (failed() then tells).
    std::optional<std::string> Next() {
        std::string line;
        bool any = false;
        for (;;) {
            if (position_ == filled_ && !Fill())
                return any ? std::optional(std::move(line)) : std::nullopt;
            any = true;
            const char c = static_cast<char>(buffer_[position_++]);
            if (c == '\n')
                return line;
            if (line.size() < kLanguageLineLimit)
                line.push_back(c);
        }
    }
    bool failed() const { return failed_; }

  private:
    bool Fill() {
        const auto read = file_.Read(buffer_);
        if (!read) {
            failed_ = true;
            return false;
        }
        position_ = 0;
        filled_ = *read;
        return filled_ > 0;
    }

    InputFile& file_;
    std::array<std::uint8_t, 16384> buffer_{};
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool failed_ = false;
};

}  // namespace

LanguageText FindLanguageText(const std::string& path, std::string_view language,
                              std::string_view category, std::string_view kind,
                              const MultiByteText& mb) {
    InputFile file;
    if (!file.Open(path))
        return {LanguageTextStatus::kCannotOpen, {}};
    LineReader reader(file);

    std::string target = "[";
    target.append(language).append("]");
    const std::string section = mb.Lower(target);
    bool in_section = false;
    while (const auto line = reader.Next()) {
        if (mb.Contains(mb.Lower(*line), section)) {
            in_section = true;
            break;
        }
    }
    if (reader.failed())
        return {LanguageTextStatus::kCannotOpen, {}};
    if (!in_section)
        return {LanguageTextStatus::kNoSection, {}};

    const std::string key = mb.Lower(std::string(category) + "_" + std::string(kind));
    while (const auto line = reader.Next()) {
        if (!line->empty() && line->front() == '[')
            break;
        const std::string lowered = mb.Lower(*line);
        const std::size_t equals = mb.Find(lowered, '=');
        if (equals == std::string::npos)
            continue;
        const std::string_view text(lowered);
        if (mb.Trim(text.substr(0, equals)) == key)
            return {LanguageTextStatus::kFound, std::string(mb.Trim(text.substr(equals + 1)))};
    }
    if (reader.failed())
        return {LanguageTextStatus::kCannotOpen, {}};
    return {LanguageTextStatus::kNoKey, {}};
}

}  // namespace olvex

// The readable definition source: one statement a line, blank-separated
// words, a word in double quotes may hold blanks (it cannot hold a double
// quote), "#" starts a comment.
//
//   block 2004-03-15 09:40[:00]            the base block (first), then each delta
//   pest <id> "<name>" "<category>"
//   signature <id> file "<fixture path>"   head CRC and MD5 of a file
//   signature <id> crc <hex> [md5 <32 hex digits>]
//   memory <id> <hex>                      CRC-32 of a 4096-byte memory block
//   key <id> "<key>" [value "<value>"] [data "<data>"]
//   file <id> "<path>"      folder <id> "<path>"
//   cookie <id> "<name>"    exclude <id> "<text>"
//   remove <any record statement above>    the record that takes it away again
//
// Ids are decimal, 1 to 2147483647; "remove" stores the negated id. Block
// times are UTC.
#include "tools/publisher/definition_set.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>
#include <optional>

#include "olvex/core/crc32.h"
#include "olvex/core/definition_blocks.h"
#include "olvex/core/file_io.h"
#include "olvex/core/md5.h"

namespace olvex::tools {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits a line into words; the error names what is wrong.
std::optional<std::vector<Token>> Tokenize(std::string_view line, std::string& error) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        Token token;
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                error = "a double quote is not closed";
                return std::nullopt;
            }
            token.text = std::string(line.substr(i + 1, close - i - 1));
            token.quoted = true;
            i = close + 1;
            if (i < line.size() && !IsBlank(line[i])) {
                error = "a blank must follow a closing double quote";
                return std::nullopt;
            }
        } else {
            const std::size_t start = i;
            while (i < line.size() && !IsBlank(line[i]))
                ++i;
            token.text = std::string(line.substr(start, i - start));
            if (token.text.find('"') != std::string::npos) {
                error = "a double quote inside a word";
                return std::nullopt;
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base = 10) {
    T value{};
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || ptr != end || text.empty())
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> ParseHex32(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X"))
        text.remove_prefix(2);
    if (text.size() > 8 || text.starts_with('+') || text.starts_with('-'))
        return std::nullopt;
    return ParseNumber<std::uint32_t>(text, 16);
}

std::optional<std::array<std::uint8_t, 16>> ParseMd5(std::string_view text) {
    if (text.size() != 32)
        return std::nullopt;
    std::array<std::uint8_t, 16> md5{};
    for (std::size_t i = 0; i < 16; ++i) {
        const auto byte = ParseNumber<std::uint8_t>(text.substr(2 * i, 2), 16);
        if (!byte || text[2 * i] == '+' || text[2 * i] == '-')
            return std::nullopt;
        md5[i] = *byte;
    }
    return md5;
}

// "YYYY-MM-DD" and "HH:MM" or "HH:MM:SS".
std::optional<std::uint64_t> ParseBlockTime(std::string_view date, std::string_view clock) {
    const auto field = [](std::string_view& text, char separator) -> std::optional<int> {
        const std::size_t end = text.find(separator);
        const auto value = ParseNumber<int>(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        return value;
    };
    CalendarTime time;
    const auto year = field(date, '-'), month = field(date, '-'), day = field(date, '-');
    const bool has_seconds = std::count(clock.begin(), clock.end(), ':') == 2;
    const auto hour = field(clock, ':'), minute = field(clock, ':');
    const auto second = has_seconds ? field(clock, ':') : std::optional<int>(0);
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    time = {*year, *month, *day, *hour, *minute, *second};
    return CalendarToFileTime(time);
}

class SourceParser {
  public:
    SourceParser(const std::string& base_dir, const std::string& source_name)
        : base_dir_(base_dir), source_name_(source_name) {}

    SourceResult Parse(std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size() && result_.ok()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            ++line_number_;
            ParseLine(text.substr(start, end - start));
            start = end + 1;
        }
        if (result_.ok() && result_.set.blocks.empty())
            Fail("the source holds no block statement");
        return std::move(result_);
    }

  private:
    void Fail(const std::string& what) {
        if (result_.ok())
            result_.error = source_name_ + ":" + std::to_string(line_number_) + ": " + what;
    }

    void ParseLine(std::string_view line) {
        std::string error;
        auto tokens = Tokenize(line, error);
        if (!tokens)
            return Fail(error);
        if (tokens->empty())
            return;
        std::span<const Token> words(*tokens);
        if (!words[0].quoted && words[0].text == "block")
            return ParseBlock(words.subspan(1));
        bool remove = false;
        if (!words[0].quoted && words[0].text == "remove") {
            remove = true;
            words = words.subspan(1);
            if (words.empty())
                return Fail("remove what?");
        }
        if (result_.set.blocks.empty())
            return Fail("a record before the first block statement");
        const std::string& kind = words[0].text;
        if (words[0].quoted)
            return Fail("a statement begins with a word, not a quoted text");
        if (words.size() < 2)
            return Fail(kind + ": the pest id is missing");
        const auto id = ParseNumber<std::int64_t>(words[1].text);
        if (!id || *id < 1 || *id > std::numeric_limits<std::int32_t>::max())
            return Fail("the pest id must be a number from 1 to 2147483647");
        const auto pest_id = static_cast<std::int32_t>(remove ? -*id : *id);
        const auto rest = words.subspan(2);
        if (kind == "pest")
            return ParsePest(pest_id, rest);
        if (kind == "signature")
            return ParseSignature(pest_id, rest);
        if (kind == "memory")
            return ParseMemory(pest_id, rest);
        if (kind == "key")
            return ParseKey(pest_id, rest);
        if (kind == "file" || kind == "folder" || kind == "cookie" || kind == "exclude")
            return ParseQuotedLocation(pest_id, kind, rest);
        Fail("unknown statement \"" + kind + "\"");
    }

    PublishedBlock& Block() { return result_.set.blocks.back(); }

    void ParseBlock(std::span<const Token> words) {
        if (words.size() != 2)
            return Fail("block wants a date and a time: block 2004-03-15 09:40:00");
        const auto time = ParseBlockTime(words[0].text, words[1].text);
        if (!time)
            return Fail("not a valid date and time: " + words[0].text + " " + words[1].text);
        result_.set.blocks.push_back({});
        Block().block_time = *time;
    }

    void ParsePest(std::int32_t id, std::span<const Token> words) {
        if (words.size() != 2)
            return Fail("pest wants a name and a category");
        Block().pests.push_back({id, words[0].text, words[1].text, {}});
    }

    void ParseSignature(std::int32_t id, std::span<const Token> words) {
        SignatureRecord record;
        record.pest_id = id;
        if (words.size() == 2 && words[0].text == "file") {
            if (!SignatureFromFile(words[1].text, record))
                return;
        } else if ((words.size() == 2 || words.size() == 4) && words[0].text == "crc") {
            const auto crc = ParseHex32(words[1].text);
            if (!crc || *crc == 0)
                return Fail("the file CRC must be a non-zero hexadecimal number");
            record.file_crc = *crc;
            if (words.size() == 4) {
                const auto md5 = words[2].text == "md5" ? ParseMd5(words[3].text) : std::nullopt;
                if (!md5)
                    return Fail("md5 wants 32 hexadecimal digits");
                record.md5 = *md5;
            }
        } else {
            return Fail("signature wants: file \"<path>\", or crc <hex> [md5 <hex>]");
        }
        Block().signatures.push_back(std::move(record));
    }

    bool SignatureFromFile(const std::string& relative, SignatureRecord& record) {
        const std::filesystem::path path = std::filesystem::path(base_dir_) / relative;
        const FileBytes file = ReadWholeFile(path.string());
        if (!file || file.bytes.empty()) {
            Fail("cannot read the fixture file " + path.string() + " (missing or empty)");
            return false;
        }
        const std::size_t head = std::min(file.bytes.size(), kFileHeadBytes);
        record.file_crc = Crc32(std::span(file.bytes).first(head));
        Md5Context md5;
        md5.Update(file.bytes);
        record.md5 = md5.Finish();
        record.note = path.filename().string();
        if (record.file_crc == 0) {
            Fail("the head CRC of " + path.string() + " is 0, which means no signature");
            return false;
        }
        return true;
    }

    void ParseMemory(std::int32_t id, std::span<const Token> words) {
        const auto crc = words.size() == 1 ? ParseHex32(words[0].text) : std::nullopt;
        if (!crc || *crc == 0)
            return Fail("memory wants one non-zero hexadecimal CRC");
        Block().signatures.push_back({id, 0, *crc, {}, {}});
    }

    void ParseKey(std::int32_t id, std::span<const Token> words) {
        if (words.empty())
            return Fail("key wants the key");
        std::string value, data;
        std::size_t i = 1;
        if (i < words.size() && words[i].text == "value" && !words[i].quoted) {
            if (i + 1 >= words.size())
                return Fail("value wants a text");
            value = words[i + 1].text;
            i += 2;
        }
        if (i < words.size() && words[i].text == "data" && !words[i].quoted) {
            if (i + 1 >= words.size())
                return Fail("data wants a text");
            data = words[i + 1].text;
            i += 2;
        }
        if (i != words.size())
            return Fail("key wants: \"<key>\" [value \"<value>\"] [data \"<data>\"]");
        const std::string& key = words[0].text;
        if (key.find('\\') == std::string::npos)
            return Fail("the engine stores only keys that hold a backslash");
        std::string text = KeyEntryText(key, value, data);
        if (ParseKeyEntry(text) != KeyEntry{key, value, data})
            return Fail("the engine would read this key entry back differently");
        Block().locations.push_back({id, std::move(text)});
    }

    void ParseQuotedLocation(std::int32_t id, const std::string& kind,
                             std::span<const Token> words) {
        if (words.size() != 1)
            return Fail(kind + " wants one text");
        const std::string& what = words[0].text;
        std::string text = QuotedEntryText(kind, what);
        if (kind == "file" || kind == "folder") {
            if (what.find('\\') == std::string::npos)
                return Fail("the engine stores only paths that hold a backslash");
            if (ParsePathEntry(text) != PathEntry{what, kind == "folder"})
                return Fail("the engine would read this path back differently");
        } else if (kind == "cookie") {
            if (what.empty() || ParseCookieEntry(text) != what)
                return Fail("the engine would read this cookie name back differently");
        }
        Block().locations.push_back({id, std::move(text)});
    }

    std::string base_dir_;
    std::string source_name_;
    std::size_t line_number_ = 0;
    SourceResult result_;
};

}  // namespace

std::string KeyEntryText(std::string_view key, std::string_view value, std::string_view data) {
    std::string text = "key \"" + std::string(key) + "\"";
    // With data, the value is always written: a data text holding the word
    // "value" would otherwise be taken for the value.
    if (!value.empty() || !data.empty())
        text += " value \"" + std::string(value) + "\"";
    if (!data.empty())
        text += " data \"" + std::string(data) + "\"";
    return text;
}

std::string QuotedEntryText(std::string_view kind_word, std::string_view text) {
    return std::string(kind_word) + " \"" + std::string(text) + "\"";
}

SourceResult ParseDefinitionSource(std::string_view text, const std::string& base_dir,
                                   const std::string& source_name) {
    return SourceParser(base_dir, source_name).Parse(text);
}

SourceResult ReadDefinitionSource(const std::string& path) {
    const FileBytes file = ReadWholeFile(path, 64u << 20);
    if (!file) {
        SourceResult result;
        result.error = path + ": cannot read the definition source";
        return result;
    }
    const std::string text(file.bytes.begin(), file.bytes.end());
    const auto folder = std::filesystem::path(path).parent_path().string();
    return ParseDefinitionSource(text, folder.empty() ? "." : folder, path);
}

}  // namespace olvex::tools

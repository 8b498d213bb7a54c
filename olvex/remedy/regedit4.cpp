#include "olvex/remedy/regedit4.h"

#include <algorithm>

namespace olvex {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kLineEnd = "\r\n";
// Hex data lines are wrapped after a comma once they reach this width.
constexpr std::size_t kWrapColumn = 76;

bool HoldsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
}

// Quoted text gives back exactly these bytes: one closing NUL, no other NUL
// and no control character.
bool WritableAsText(const RegistryValue& value) {
    if (value.type != kRegSz || value.data.empty() || value.data.back() != 0)
        return false;
    return std::all_of(value.data.begin(), value.data.end() - 1,
                       [](std::uint8_t b) { return b >= 0x20; });
}

void AppendHex(std::string& out, std::uint32_t number, int min_digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (number != 0);
    while (static_cast<int>(digits.size()) < min_digits)
        digits.insert(digits.begin(), '0');
    out += digits;
}

void AppendHexBytes(std::string& out, std::span<const std::uint8_t> data) {
    std::size_t column =
        out.size() - (out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
    for (std::size_t i = 0; i < data.size(); ++i) {
        AppendHex(out, data[i], 2);
        column += 2;
        if (i + 1 == data.size())
            break;
        out += ',';
        ++column;
        if (column >= kWrapColumn) {
            out += "\\\r\n  ";
            column = 2;
        }
    }
}

// ---- reading ----

struct Lines {
    std::vector<std::string_view> lines;
    explicit Lines(std::string_view text) {
        while (!text.empty()) {
            const auto end = text.find('\n');
            auto line = text.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines.push_back(line);
            if (end == std::string_view::npos)
                break;
            text.remove_prefix(end + 1);
        }
    }
};

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char a = s[i] >= 'A' && s[i] <= 'Z' ? static_cast<char>(s[i] - 'A' + 'a') : s[i];
        if (a != prefix[i])
            return false;
    }
    return true;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : lines_(text) {}

    Regedit4Parse Run() {
        if (lines_.lines.empty() || TrimBlanks(lines_.lines[0]) != kHeader) {
            Error("the text does not begin with the line REGEDIT4");
            return std::move(result_);
        }
        for (line_ = 1; line_ < lines_.lines.size(); ++line_) {
            const auto line = TrimBlanks(lines_.lines[line_]);
            if (line.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos) {
                Error("a NUL or a lone carriage return in the line");
                return std::move(result_);
            }
            if (line.empty() || line.front() == ';')
                continue;
            const bool ok = line.front() == '[' ? ReadKey(line)
                            : (line.front() == '@' || line.front() == '"')
                                ? ReadValue(line)
                                : Error("unexpected text");
            if (!ok)
                return std::move(result_);
        }
        result_.ok = true;
        return std::move(result_);
    }

  private:
    bool Error(std::string what) {
        result_.ok = false;
        result_.line = line_ + 1;
        result_.error = std::move(what);
        result_.keys.clear();
        return false;
    }

    bool ReadKey(std::string_view line) {
        if (line.back() != ']')
            return Error("a key line must end with ]");
        const auto path = line.substr(1, line.size() - 2);
        if (path.empty())
            return Error("empty key path");
        if (path.front() == '-')
            return Error("key deletions are not supported");
        result_.keys.push_back({std::string(path), {}});
        return true;
    }

    // A quoted text starting at pos (on the quote); pos ends after the closing quote.
    bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
        ++pos;
        for (; pos < line.size(); ++pos) {
            const char c = line[pos];
            if (c == '"') {
                ++pos;
                return true;
            }
            if (c == '\\') {
                if (pos + 1 >= line.size() || (line[pos + 1] != '\\' && line[pos + 1] != '"'))
                    return Error("unknown escape in quoted text");
                out += line[++pos];
                continue;
            }
            if (c == '\0')
                return Error("NUL in quoted text");
            out += c;
        }
        return Error("quoted text without its closing quote");
    }

    static void SkipBlanks(std::string_view line, std::size_t& pos) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
    }

    bool ReadValue(std::string_view line) {
        if (result_.keys.empty())
            return Error("a value before the first key");
        RegistryValue value;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!ReadQuoted(line, pos, value.name)) {
            return false;
        }
        SkipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != '=')
            return Error("= expected after the value name");
        ++pos;
        SkipBlanks(line, pos);
        const auto data = line.substr(pos);
        bool ok = false;
        if (!data.empty() && data.front() == '"') {
            ok = ReadText(line, pos, value);
        } else if (StartsWithNoCase(data, "dword:")) {
            ok = ReadDword(data.substr(6), value);
        } else if (StartsWithNoCase(data, "hex:")) {
            value.type = kRegBinary;
            ok = ReadHexBytes(line, pos + 4, value.data);
        } else if (StartsWithNoCase(data, "hex(")) {
            ok = ReadHexType(line, pos + 4, value);
        } else if (!data.empty() && data.front() == '-') {
            return Error("value deletions are not supported");
        } else {
            return Error("unknown data form");
        }
        if (ok)
            result_.keys.back().values.push_back(std::move(value));
        return ok;
    }

    bool ReadText(std::string_view line, std::size_t pos, RegistryValue& value) {
        std::string text;
        if (!ReadQuoted(line, pos, text))
            return false;
        SkipBlanks(line, pos);
        if (pos != line.size())
            return Error("text after the closing quote");
        value.type = kRegSz;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
        return true;
    }

    bool ReadDword(std::string_view digits, RegistryValue& value) {
        digits = TrimBlanks(digits);
        if (digits.empty() || digits.size() > 8)
            return Error("a dword needs one to eight hex digits");
        std::uint32_t number = 0;
        for (const char c : digits) {
            const int d = HexDigit(c);
            if (d < 0)
                return Error("a dword needs one to eight hex digits");
            number = number << 4 | static_cast<std::uint32_t>(d);
        }
        value.type = kRegDword;
        value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                      static_cast<std::uint8_t>(number >> 16),
                      static_cast<std::uint8_t>(number >> 24)};
        return true;
    }

    bool ReadHexType(std::string_view line, std::size_t pos, RegistryValue& value) {
        std::uint32_t type = 0;
        std::size_t digits = 0;
        for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits)
            type = type << 4 | static_cast<std::uint32_t>(HexDigit(line[pos]));
        if (digits == 0 || digits > 8 || line.substr(pos, 2) != "):")
            return Error("hex(type): expected");
        value.type = type;
        return ReadHexBytes(line, pos + 2, value.data);
    }

    // Comma-separated bytes of one or two hex digits; a backslash after a
    // comma continues them on the next line.
    bool ReadHexBytes(std::string_view line, std::size_t pos, std::vector<std::uint8_t>& out) {
        SkipBlanks(line, pos);
        if (pos == line.size())
            return true;
        for (;;) {
            int digits = 0;
            unsigned byte = 0;
            for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits)
                byte = byte << 4 | static_cast<unsigned>(HexDigit(line[pos]));
            if (digits == 0 || digits > 2)
                return Error("a byte needs one or two hex digits");
            out.push_back(static_cast<std::uint8_t>(byte));
            SkipBlanks(line, pos);
            if (pos == line.size())
                return true;
            if (line[pos] != ',')
                return Error("comma expected between bytes");
            ++pos;
            SkipBlanks(line, pos);
            if (pos < line.size() && line[pos] == '\\' &&
                TrimBlanks(line.substr(pos + 1)).empty()) {
                if (line_ + 1 >= lines_.lines.size())
                    return Error("the text ends inside continued data");
                line = lines_.lines[++line_];
                pos = 0;
                SkipBlanks(line, pos);
            }
            if (pos == line.size())
                return true;  // a trailing comma ends the data
        }
    }

    Lines lines_;
    std::size_t line_ = 0;
    Regedit4Parse result_;
};

}  // namespace

Regedit4Writer::Regedit4Writer() : text_(std::string(kHeader) + "\r\n\r\n") {}

bool Regedit4Writer::AddKey(std::string_view path) {
    if (path.empty() || path.front() == '-' || HoldsLineBreakOrNul(path))
        return false;
    text_ += '[';
    text_ += path;
    text_ += ']';
    text_ += kLineEnd;
    has_key_ = true;
    return true;
}

bool Regedit4Writer::AddValue(const RegistryValue& value) {
    if (!has_key_ || HoldsLineBreakOrNul(value.name))
        return false;
    // The default value has the empty name.
    text_ += '"';
    AppendEscaped(text_, value.name);
    text_ += '"';
    text_ += '=';
    if (WritableAsText(value)) {
        text_ += '"';
        AppendEscaped(text_, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                              value.data.size() - 1));
        text_ += '"';
    } else if (value.type == kRegDword && value.data.size() == 4) {
        text_ += "dword:";
        AppendHex(text_,
                  static_cast<std::uint32_t>(value.data[0]) | value.data[1] << 8 |
                      value.data[2] << 16 | static_cast<std::uint32_t>(value.data[3]) << 24,
                  8);
    } else {
        if (value.type == kRegBinary) {
            text_ += "hex:";
        } else {
            text_ += "hex(";
            AppendHex(text_, value.type, 1);
            text_ += "):";
        }
        AppendHexBytes(text_, value.data);
    }
    text_ += kLineEnd;
    return true;
}

std::optional<std::string> WriteRegedit4(std::span<const RegistryKeyData> keys) {
    Regedit4Writer writer;
    for (const auto& key : keys) {
        if (!writer.AddKey(key.path))
            return std::nullopt;
        for (const auto& value : key.values) {
            if (!writer.AddValue(value))
                return std::nullopt;
        }
    }
    return writer.Text();
}

Regedit4Parse ParseRegedit4(std::string_view text) {
    return Parser(text).Run();
}

}  // namespace olvex

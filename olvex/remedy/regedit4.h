// REGEDIT4 text, the registry editor's import format, as the quarantine keeps
// registry data in it: written from and read into plain values, without the
// live registry.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\X]
//   "A"="c:\\dir"
//   "B"=dword:00000005
//   ""=hex(2):25,54,45,4d,50,25,00
//
// Every value keeps its type and bytes: a string is written as quoted text
// only when that text gives back exactly its bytes (one closing NUL, no other
// NUL, no control character); everything else is written as hex(type) bytes,
// wrapped over continuation lines, whatever its size. Backslashes and double
// quotes in names and texts are escaped. Texts are narrow (ANSI code page), as
// the registry's narrow functions give them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

// Registry value types, by number.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

struct RegistryValue {
    std::string name;  // empty: the key's default value
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;
    bool operator==(const RegistryValue&) const = default;
};

struct RegistryKeyData {
    std::string path;  // root name, a backslash, the path below it
    std::vector<RegistryValue> values;
    bool operator==(const RegistryKeyData&) const = default;
};

// Builds a REGEDIT4 text key by key. A key or value that the format cannot
// hold (a line break or NUL in a name, an empty key path, a key path that
// would read as a deletion) is refused and nothing of it is written.
class Regedit4Writer {
  public:
    Regedit4Writer();
    bool AddKey(std::string_view path);
    // Adds a value to the last key added; false when there is none.
    bool AddValue(const RegistryValue& value);
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
    bool has_key_ = false;
};

// The whole text for these keys; nullopt when one of them cannot be written.
std::optional<std::string> WriteRegedit4(std::span<const RegistryKeyData> keys);

struct Regedit4Parse {
    bool ok = false;
    std::size_t line = 0;  // 1-based line of the error
    std::string error;     // what is wrong there
    std::vector<RegistryKeyData> keys;
};

// Reads a REGEDIT4 text: the "REGEDIT4" line, then key lines, value lines
// (the default value named by @ or by an empty name),
// empty lines and ";" comments; hex data may continue over lines ending in a
// backslash. Deletion entries ("[-key]", "name"=-) are not part of what the
// quarantine writes and are refused, like anything else it cannot read.
Regedit4Parse ParseRegedit4(std::string_view text);

}  // namespace olvex

// A parsed location string with at most eight pairs, and the questions the
// scanner, exterminator and client programs ask about it. This is the model
// behind the engine's Location object.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "olvex/core/location_string.h"
#include "olvex/core/multibyte_text.h"

namespace olvex {

inline constexpr std::size_t kMaxLocationPairs = 8;

class Location {
  public:
    explicit Location(MultiByteText mb) : mb_(mb) {}

    // Replaces the content with the pairs of text. Returns true when the
    // eighth pair was reached: the pairs after it are ignored.
    bool SetString(std::string_view text);
    void Clear();

    const std::string& Text() const { return text_; }
    std::span<const AttributePair> Pairs() const { return {slots_.data(), count_}; }

    // The value of the first pair with that name (case and surrounding white
    // space ignored); nullopt when absent.
    std::optional<std::string> GetAttributeValue(std::string_view name) const;

    // An exclusion entry: "exclude" holds "true" (exact case, anywhere).
    bool IsExclusion() const;
    // "File" present, and neither a cookie nor a process.
    bool IsFile() const;
    bool IsRegistryItem() const;  // "Key" present
    bool IsCookie() const;        // "Cookie" present
    bool IsFolder() const;        // "Folder" present
    bool IsProcess() const;       // "ProcessId" present

  private:
    bool Has(std::string_view name) const;

    MultiByteText mb_;
    std::string text_;
    std::array<AttributePair, kMaxLocationPairs> slots_;
    std::size_t count_ = 0;
};

}  // namespace olvex

// A location-string text with any number of pairs that can also be changed
// pair by pair: the model behind the engine's log entries and excluded items.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/location_string.h"
#include "olvex/core/multibyte_text.h"

namespace olvex {

class AttributeList {
  public:
    explicit AttributeList(MultiByteText mb) : mb_(mb) {}

    // The text becomes the current text, unchanged, and its pairs the list.
    void SetString(std::string_view text);
    // Empties the text and the list.
    void Clear();

    // The text given to SetString, or the one rebuilt by SetAttributeValue.
    const std::string& GetString() const { return text_; }
    std::span<const AttributePair> Pairs() const { return pairs_; }

    // The value of the first pair with that name (case and surrounding white
    // space ignored); nullopt when absent.
    std::optional<std::string> GetAttributeValue(std::string_view name) const;

    // Sets the name, trimmed and lowered, to the value, lowered: replaces the
    // value of the first pair with that name, or appends a pair. The text is
    // then rebuilt from all pairs, back to back. Returns false and changes
    // nothing when the rebuilt text would not read back as the same pairs: an
    // empty value, a double quote or a control byte in any name or value, or
    // a blank in a name (IsWritableName, IsWritableValue).
    bool SetAttributeValue(std::string_view name, std::string_view value);

  private:
    MultiByteText mb_;
    std::string text_;
    std::vector<AttributePair> pairs_;
};

}  // namespace olvex

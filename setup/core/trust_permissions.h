// Merging a trust row's permission values into the firewall's permission
// record for one program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace olvex::setup {

// The permission record: 21 words, word 0 its size.
inline constexpr size_t kPermissionWords = 21;
using PermissionWords = std::array<uint32_t, kPermissionWords>;

// Six permission values of a trust row, as the product tables give them.
using PermissionRow = std::array<int32_t, 6>;

// The record word that each of the row's six values goes to.
inline constexpr std::array<size_t, 6> kPermissionRowWords = {1, 3, 2, 4, 14, 11};

// Merges one value v into a field by the row value's kind: kind 1 clears
// the field for v below 1; kind 2 sets 1 for v of 0 or more; kind 3 sets 2
// for v = 0, for v = -1 when the field is 1, and for v = 1 when it is 0;
// other kinds change nothing. Whether the field changed.
bool MergePermission(int32_t kind, uint32_t& field, int32_t value);

// Merges the row into its words with value v; whether any word changed.
bool MergePermissionRow(const PermissionRow& row, int32_t value, PermissionWords& words);

}  // namespace olvex::setup

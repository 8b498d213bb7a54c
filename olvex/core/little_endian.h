// Bounds-checked little-endian loads and stores for file formats: a load that
// would run past the buffer gives nullopt instead of reading outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace olvex {

template <typename T>
std::optional<T> LoadLe(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
    return static_cast<T>(value);
}

inline std::optional<std::uint32_t> LoadLe32(std::span<const std::uint8_t> bytes,
                                             std::size_t offset) {
    return LoadLe<std::uint32_t>(bytes, offset);
}
inline std::optional<std::uint64_t> LoadLe64(std::span<const std::uint8_t> bytes,
                                             std::size_t offset) {
    return LoadLe<std::uint64_t>(bytes, offset);
}

// Stores into a buffer the caller sized; false (nothing written) when it does not fit.
template <typename T>
bool StoreLe(std::span<std::uint8_t> bytes, std::size_t offset, T value) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
        return false;
    const auto wide = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(wide >> (8 * i));
    return true;
}

template <typename T>
void AppendLe(std::vector<std::uint8_t>& out, T value) {
    const auto wide = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<std::uint8_t>(wide >> (8 * i)));
}

}  // namespace olvex

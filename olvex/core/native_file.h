// Whole-buffer reads and writes on an open system file, shared by the file
// layer's classes: the system calls move at most part of a buffer at a time,
// so each of these loops until the buffer is done or the file ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#ifdef _WIN32
#include <windows.h>
#endif

namespace olvex {

#ifdef _WIN32

// Reads from the handle's current position until the buffer is full or the
// file ends; the count read, nullopt on a read error.
std::optional<std::size_t> ReadUpTo(HANDLE handle, std::span<std::uint8_t> buffer);
// Writes every byte at the handle's current position.
bool WriteAll(HANDLE handle, std::span<const std::uint8_t> bytes);

#else

// Reads from offset until the buffer is full or the file ends; the count
// read, nullopt on a read error. The descriptor's position stays put.
std::optional<std::size_t> ReadUpTo(int fd, std::uint64_t offset, std::span<std::uint8_t> buffer);
// Writes every byte at the descriptor's current position.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes);

#endif

}  // namespace olvex

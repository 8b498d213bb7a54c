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
using NativeFile = HANDLE;
#else
using NativeFile = int;
#endif

// The file's length; nullopt when it cannot be told.
std::optional<std::uint64_t> SizeOf(NativeFile file);
// Reads from offset until the buffer is full or the file ends; the count
// read, nullopt on a read error. (On Windows the file's position moves to
// the end of what was read; elsewhere it stays put.)
std::optional<std::size_t> ReadUpTo(NativeFile file, std::uint64_t offset,
                                    std::span<std::uint8_t> buffer);
// Writes every byte at the file's current position.
bool WriteAll(NativeFile file, std::span<const std::uint8_t> bytes);

}  // namespace olvex

// The engine's byte scrambling: definition block payloads and the exclusion
// file are stored scrambled. Each byte is chained to the scrambled byte
// before it, so a single changed byte garbles everything behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace olvex {

// Shared by every writer and reader of scrambled data; changing either one
// makes every existing definition and exclusion file unreadable.
inline constexpr std::uint8_t kScrambleFirstMask = 0xA7;
inline constexpr std::uint8_t kScrambleChainMask = 0x3D;

// In place, front to back: byte 0 becomes plain XOR the first-byte mask, every
// later byte (plain XOR the chaining mask) + the scrambled byte before it.
void ScrambleBuffer(std::span<std::uint8_t> buffer);

// The inverse of ScrambleBuffer, in place. Returns the number of bytes processed.
std::size_t DescrambleBuffer(std::span<std::uint8_t> buffer);

// Scrambles a whole existing file. The new content goes to a temporary file in
// the same folder that replaces the original, so a failed write leaves the
// original untouched. False when the file cannot be read or replaced.
bool RescrambleFile(const std::string& path);

}  // namespace olvex

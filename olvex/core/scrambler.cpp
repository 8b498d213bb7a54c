#include "olvex/core/scrambler.h"

#include "olvex/core/file_io.h"

namespace olvex {

void ScrambleBuffer(std::span<std::uint8_t> buffer) {
    if (buffer.empty())
        return;
    buffer[0] = static_cast<std::uint8_t>(buffer[0] ^ kScrambleFirstMask);
    for (std::size_t i = 1; i < buffer.size(); ++i)
        buffer[i] = static_cast<std::uint8_t>((buffer[i] ^ kScrambleChainMask) + buffer[i - 1]);
}

std::size_t DescrambleBuffer(std::span<std::uint8_t> buffer) {
    if (buffer.empty())
        return 0;
    // Each byte needs its predecessor as it was stored, before descrambling.
    std::uint8_t previous_stored = buffer[0];
    buffer[0] = static_cast<std::uint8_t>(buffer[0] ^ kScrambleFirstMask);
    for (std::size_t i = 1; i < buffer.size(); ++i) {
        const std::uint8_t stored = buffer[i];
        buffer[i] = static_cast<std::uint8_t>((stored - previous_stored) ^ kScrambleChainMask);
        previous_stored = stored;
    }
    return buffer.size();
}

bool RescrambleFile(const std::string& path) {
    FileBytes content = ReadWholeFile(path);
    if (!content)
        return false;
    ScrambleBuffer(content.bytes);
    return WriteWholeFile(path, content.bytes, /*atomic=*/true) == FileError::kNone;
}

}  // namespace olvex

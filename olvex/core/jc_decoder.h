// Decoder of the "JC" stream format that every definition block payload is
// stored in: a 10-byte header ("JC", unpacked size, checksum) and a bit
// stream of literals and back-references.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace olvex {

inline constexpr std::uint16_t kJcTag = 0x434A;  // the bytes "JC"
inline constexpr std::size_t kJcHeaderBytes = 10;

// The unpacked size from the header; 0 when the stream is shorter than the
// header or does not begin with the tag.
std::uint32_t JcGetUnpackedSize(std::span<const std::uint8_t> source);

// Decodes the stream into destination (which must hold the unpacked size).
// Returns the number of bytes written, or 0 on failure: no tag, a checksum
// mismatch, or a stream that would write past the unpacked size or the
// destination, read past the source, copy from before the output's start or
// use a plain literal before the literal-width code.
// The bit stream is read in whole 32-bit words: needing a bit from a word
// that the source holds only partly is reading past the source. A stream
// whose end code comes before the unpacked size is reached returns the
// (smaller) count written; its checksum, when present, is taken over those
// bytes only. Bytes after the end code are not read. Nothing is written when
// the tag is missing; on other failures the destination holds partial output.
std::size_t JcDecompress(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination);

// The same for a stream that lies inside its own destination, at
// [stream_offset, stream_offset + stream_size) of buffer (placed at its end,
// it saves holding input and output side by side): the output grows from
// the buffer's start over input already read. When the output would have
// run over input not yet read, the decode stops with `overtaken` set (and
// written 0); the stream has then to be decoded from a copy of its own, and
// the buffer holds neither stream nor output whole. Bytes of the buffer past
// the output are left as they were or hold spent input.
struct JcInPlaceResult {
    std::size_t written = 0;
    bool overtaken = false;
};
JcInPlaceResult JcDecompressInPlace(std::span<std::uint8_t> buffer, std::size_t stream_offset,
                                    std::size_t stream_size);

// Checksum of decoded bytes as the header carries it.
std::uint32_t JcChecksum(std::span<const std::uint8_t> data);

}  // namespace olvex

// The zip reader over hostile bytes: open, list, read every entry in memory,
// streamed in odd pieces and extracted to a file, all under a small budget.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "olvex/core/file_io.h"
#include "olvex/zip/cp437.h"
#include "olvex/zip/zip_reader.h"

namespace {

const std::string& ExtractPath() {
    static const std::string path = "/tmp/olvex-zip-fuzz-" + std::to_string(::getpid()) + ".bin";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    olvex::ZipBudget budget;
    budget.max_entries = 512;
    budget.max_directory_bytes = 256 * 1024;
    budget.max_entry_bytes = 1 << 20;
    budget.max_total_bytes = 4 << 20;
    olvex::ZipReader reader;
    if (reader.OpenMemory({data, size}, budget) != olvex::ZipError::kNone)
        return 0;
    // The seeds' encrypted entries use this password.
    reader.SetPassword("pw");
    std::vector<std::uint8_t> bytes, piece(777);
    for (std::size_t i = 0; i < reader.EntryCount(); ++i) {
        const olvex::ZipEntryInfo* info = reader.Entry(i);
        if (!info->utf8)
            olvex::Cp437ToUtf8(info->name);
        if (reader.ReadEntry(i, bytes) == olvex::ZipError::kNone &&
            bytes.size() != info->uncompressed_size)
            __builtin_trap();
        olvex::ZipEntryStream stream;
        if (reader.OpenEntry(i, stream) == olvex::ZipError::kNone) {
            std::uint64_t total = 0;
            std::size_t got = 0;
            while (stream.Read(piece, got) == olvex::ZipError::kNone && got > 0)
                total += got;
            if (total > info->uncompressed_size)
                __builtin_trap();
        }
        if (reader.ExtractEntry(i, ExtractPath()) == olvex::ZipError::kNone)
            olvex::RemoveFile(ExtractPath());
        else if (olvex::FileExists(ExtractPath()))
            __builtin_trap();  // a failed extraction left its file behind
    }
    return 0;
}

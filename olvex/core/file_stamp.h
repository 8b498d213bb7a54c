// What tells one version of a file from the next without reading it: its
// size, its last-write time at the file system's full resolution and the
// identity of the file behind the name. A file replaced by renaming a new one
// over it gets a new identity even when size and time happen to match, and a
// whole-second time alone would miss two changes within one second.
#pragma once

#include <cstdint>
#include <string>

namespace olvex {

struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the file system's own units
    std::int64_t identity = 0;  // inode, or creation time where there is none
    bool operator==(const FileStamp&) const = default;
};

enum class FileStampStatus {
    kFound,
    kMissing,  // no such file (or folder on the way)
    kFailed,   // something else: no access, a folder, an I/O error
};

struct FileStampResult {
    FileStampStatus status = FileStampStatus::kFailed;
    FileStamp stamp;
};

FileStampResult GetFileStamp(const std::string& path);

}  // namespace olvex

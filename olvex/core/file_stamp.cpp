#include "olvex/core/file_stamp.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <cerrno>
#endif

namespace olvex {

#ifdef _WIN32

namespace {
std::int64_t FileTimeValue(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}
}  // namespace

FileStampResult GetFileStamp(const std::string& path) {
    FileStampResult result;
    // Attributes only: opening the file would get in the way of a writer
    // that renames a new version over it at that moment.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        result.status = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                            ? FileStampStatus::kMissing
                            : FileStampStatus::kFailed;
        return result;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return result;
    result.status = FileStampStatus::kFound;
    result.stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    result.stamp.modified = FileTimeValue(data.ftLastWriteTime);
    result.stamp.identity = FileTimeValue(data.ftCreationTime);
    return result;
}

#else

FileStampResult GetFileStamp(const std::string& path) {
    FileStampResult result;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        result.status = (errno == ENOENT || errno == ENOTDIR) ? FileStampStatus::kMissing
                                                              : FileStampStatus::kFailed;
        return result;
    }
    if (!S_ISREG(st.st_mode))
        return result;
    result.status = FileStampStatus::kFound;
    result.stamp.size = static_cast<std::uint64_t>(st.st_size);
    result.stamp.modified =
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    result.stamp.identity = static_cast<std::int64_t>(st.st_ino);
    return result;
}

#endif

}  // namespace olvex

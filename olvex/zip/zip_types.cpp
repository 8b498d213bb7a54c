#include "olvex/zip/zip_types.h"

namespace olvex {

std::string_view ZipErrorText(ZipError error) {
    switch (error) {
        case ZipError::kNone:
            return "Success.";
        case ZipError::kOpenFailed:
            return "The file cannot be opened.";
        case ZipError::kReadFailed:
            return "The file cannot be read.";
        case ZipError::kNotZip:
            return "Not a zip archive: no end of central directory record.";
        case ZipError::kMultiDisk:
            return "Multi-disk zip archives are not supported.";
        case ZipError::kBadDirectory:
            return "The zip central directory is damaged or lies outside the file.";
        case ZipError::kTooManyEntries:
            return "The zip archive holds more entries than allowed.";
        case ZipError::kDirectoryTooLarge:
            return "The zip central directory is larger than allowed.";
        case ZipError::kOverlap:
            return "Zip entries overlap each other or the central directory.";
        case ZipError::kBadLocalHeader:
            return "A zip local header is missing or does not match the central directory.";
        case ZipError::kUnsupported:
            return "The zip entry uses a compression method or encryption that is not supported.";
        case ZipError::kEncrypted:
            return "The zip entry is encrypted and no password was given.";
        case ZipError::kWrongPassword:
            return "Wrong password for the zip entry.";
        case ZipError::kBadData:
            return "The compressed data of the zip entry is damaged or truncated.";
        case ZipError::kSizeMismatch:
            return "The zip entry does not decompress to its declared size.";
        case ZipError::kCrcMismatch:
            return "CRC-32 mismatch in the zip entry.";
        case ZipError::kEntryTooLarge:
            return "The zip entry is larger than allowed.";
        case ZipError::kBudgetExceeded:
            return "Reading the zip entry would exceed the allowed total size.";
        case ZipError::kBadIndex:
            return "No zip entry with that index.";
        case ZipError::kFileExists:
            return "The target file exists already.";
        case ZipError::kWriteFailed:
            return "The output file cannot be created or written.";
        case ZipError::kSourceChanged:
            return "The file changed while it was being added to the zip archive.";
        case ZipError::kNeedsZip64:
            return "The zip archive or entry would need zip64 extensions.";
        case ZipError::kInvalidArgument:
            return "Invalid zip entry name or comment.";
    }
    return "Unknown zip error.";
}

ZipDateTime ZipDateTimeFromDos(std::uint16_t dos_date, std::uint16_t dos_time) {
    ZipDateTime when;
    when.year = 1980 + (dos_date >> 9);
    when.month = (dos_date >> 5) & 0x0F;
    when.day = dos_date & 0x1F;
    when.hour = dos_time >> 11;
    when.minute = (dos_time >> 5) & 0x3F;
    when.second = (dos_time & 0x1F) * 2;
    return when;
}

void ZipDateTimeToDos(const ZipDateTime& when, std::uint16_t& dos_date, std::uint16_t& dos_time) {
    const bool valid = when.month >= 1 && when.month <= 12 && when.day >= 1 && when.day <= 31 &&
                       when.hour >= 0 && when.hour <= 23 && when.minute >= 0 && when.minute <= 59 &&
                       when.second >= 0 && when.second <= 59;
    if (!valid || when.year < 1980) {
        dos_date = (1 << 5) | 1;
        dos_time = 0;
        return;
    }
    if (when.year > 2107) {
        dos_date = static_cast<std::uint16_t>((127 << 9) | (12 << 5) | 31);
        dos_time = static_cast<std::uint16_t>((23 << 11) | (59 << 5) | 29);
        return;
    }
    dos_date = static_cast<std::uint16_t>(((when.year - 1980) << 9) | (when.month << 5) | when.day);
    dos_time =
        static_cast<std::uint16_t>((when.hour << 11) | (when.minute << 5) | (when.second / 2));
}

}  // namespace olvex

// Types the zip reader and writer share: the error codes with their texts, and
// the MS-DOS date and time an entry carries.
#pragma once

#include <cstdint>
#include <string_view>

namespace olvex {

enum class ZipError {
    kNone = 0,
    kOpenFailed,         // the archive (or a source file) cannot be opened
    kReadFailed,         // a read from it failed
    kNotZip,             // no end-of-central-directory record
    kMultiDisk,          // spans several disks
    kBadDirectory,       // central directory or end record damaged or outside the file
    kTooManyEntries,     // more entries than the budget allows
    kDirectoryTooLarge,  // central directory larger than the budget allows
    kOverlap,            // entries overlap each other or the central directory
    kBadLocalHeader,     // local header missing or not matching its directory entry
    kUnsupported,        // compression method or kind of encryption not handled
    kEncrypted,          // the entry is encrypted and no password was given
    kWrongPassword,      // the password does not open the entry
    kBadData,            // compressed data damaged or cut short
    kSizeMismatch,       // data inflates to more or fewer bytes than declared
    kCrcMismatch,        // CRC-32 of the data differs from the declared one
    kEntryTooLarge,      // entry larger than the budget allows for one entry
    kBudgetExceeded,     // reading it would pass the budget for all entries
    kBadIndex,           // no entry with that index
    kFileExists,         // extraction target exists already (never overwritten)
    kWriteFailed,        // the output cannot be created or written
    kSourceChanged,      // the file being added changed while it was read
    kNeedsZip64,         // the archive or entry would need zip64, which the writer refuses
    kInvalidArgument,    // name or comment too long, or an empty name
};

// A short English text for logs and error properties.
std::string_view ZipErrorText(ZipError error);

// Local date and time as zip entries keep it (two-second steps, 1980 to 2107).
struct ZipDateTime {
    int year = 1980;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const ZipDateTime&, const ZipDateTime&) = default;
};

// Conversions to and from the packed MS-DOS form. Out-of-range dates are
// clamped to 1980-01-01 00:00:00 or 2107-12-31 23:59:58.
ZipDateTime ZipDateTimeFromDos(std::uint16_t dos_date, std::uint16_t dos_time);
void ZipDateTimeToDos(const ZipDateTime& when, std::uint16_t& dos_date, std::uint16_t& dos_time);

}  // namespace olvex

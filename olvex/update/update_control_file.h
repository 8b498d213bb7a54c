// The update server's master control file "qzmaster.dat": a text marked with
// "QZUPDATE_CONTROL", nine header lines, then one group of nine lines per
// updatable file (its name, type, version, download address, size and check
// value).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace olvex {

inline constexpr std::string_view kControlFileMarker = "QZUPDATE_CONTROL";
inline constexpr std::size_t kControlHeaderLines = 9;
inline constexpr std::size_t kControlGroupLines = 9;

// The control file lists a few dozen entries at most; anything near this size
// is not one. The updater fetches at most kMaxControlFileBytes + 1 bytes, so
// that an oversized file is seen as one.
inline constexpr std::size_t kMaxControlFileBytes = 1024 * 1024;

inline constexpr std::size_t kMaxControlTextChars = 255;
inline constexpr std::size_t kMaxControlUrlChars = 4095;

// The name of the entry whose URL leads to the delta index; as a name in the
// local update database it stands for the delta level of the definition files.
inline constexpr std::string_view kDeltaIndexEntryName = "incupdates.inf";

// What ApplyUpdates does with an entry. Types 1 and 4 are only recorded.
enum UpdateEntryType : std::int32_t {
    kUpdateRecordOnly1 = 1,
    kUpdateCopyFile = 2,
    kUpdateDatDelta = 3,
    kUpdateRecordOnly4 = 4,
    kUpdateExecutable = 5,
    kUpdateEngineDll = 6,
};

// Check values are the CRC-32 of the file XOR this mask.
inline constexpr std::uint32_t kUpdateCheckMask = 0x5A3C9E61u;

// The check value the control file and the delta index give for these bytes.
std::uint32_t UpdateCheckValue(std::span<const std::uint8_t> bytes);

// One entry of the control file (or one delta file planned from the index).
struct UpdateControlRecord {
    std::int32_t type = 0;
    std::int32_t version = 0;
    std::uint32_t check_value = 0;
    std::uint32_t size = 0;
    std::string text;       // group line 1, not used by the updater
    std::string file_name;  // a plain file name (IsSafeUpdateFileName)
    std::string url;
    std::string download_path;  // empty until the file has been downloaded

    bool operator==(const UpdateControlRecord&) const = default;
};

enum class ControlFileError {
    kNone = 0,
    kTooLarge,  // more than kMaxControlFileBytes
    kNoMarker,  // "QZUPDATE_CONTROL" is nowhere in the text
};

// Why a complete group of nine lines gave no entry.
enum class ControlEntryProblem {
    kUnsafeFileName,  // empty, too long, a path, a drive or a device
    kUrlTooLong,      // longer than kMaxControlUrlChars
    kUrlNotText,      // holds control characters
};

struct RejectedControlEntry {
    std::size_t group = 0;  // 0 for the first group after the header
    ControlEntryProblem problem = ControlEntryProblem::kUnsafeFileName;
    std::string file_name;  // as it stood in the file, for the error report
};

struct ControlFile {
    ControlFileError error = ControlFileError::kNone;
    std::vector<UpdateControlRecord> entries;  // in file order
    std::vector<RejectedControlEntry> rejected;
    explicit operator bool() const { return error == ControlFileError::kNone; }
};

// Parses a fetched control file. Lines are split by SplitUpdateTextLines; the
// marker may stand on any line; lines 1-9 are the header whatever they hold; a
// last group of fewer than nine lines is ignored. Numbers are read like atoi
// (saturated). Each group stands on its own: an entry whose file name is not
// a plain file name or whose URL is too long or not text is rejected as a
// whole (never filled from the entry before it). A group-line-1 text longer
// than kMaxControlTextChars is dropped (the field stays empty).
ControlFile ParseControlFile(std::string_view text);
ControlFile ParseControlFile(std::span<const std::uint8_t> bytes);

}  // namespace olvex

#include "olvex/core/definition_blocks.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "olvex/core/crc32.h"
#include "olvex/core/file_io.h"
#include "olvex/core/jc_decoder.h"
#include "olvex/core/little_endian.h"
#include "olvex/core/run_together.h"
#include "olvex/core/scrambler.h"

namespace olvex {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Days from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;
// The last FILETIME the Windows conversions accept.
constexpr std::uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, CalendarTime& out) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    out.year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    out.month = m;
    out.day = d;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

BlockFileResult Fail(int code, const std::string& path, std::string_view suffix) {
    BlockFileResult result;
    result.code = code;
    result.text = path;
    result.text += suffix;
    return result;
}

BlockFileResult TooLarge(const std::string& path) {
    return Fail(kBlockNoMemory, path, kTooLargeSuffix);
}

// The file's bytes, from memory or from disk.
class MemorySource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const { return bytes_.size(); }
    // Reads out.size() bytes at offset; false unless they are all there.
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
            return false;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

class FileSource {
  public:
    FileSource(InputFile& file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t size() const { return size_; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
        const auto got = file_.ReadAt(offset, out);
        return got && *got == out.size();
    }

  private:
    InputFile& file_;
    std::uint64_t size_;
};

// Room kept between the end of a block's output and the end of its stream
// when the stream is decoded in place: output may run ahead of the input it
// was decoded from by this much before the layout fails. The publisher's
// streams need a few bytes; a stream that needs more is decoded from a copy.
std::size_t InPlaceMargin(std::size_t unpacked) {
    return 1024 + unpacked / 1024;
}

// One block's payload read (as stored), checked against the header's check
// value and descrambled, at offset `at` of a buffer of its own.
template <typename Source>
BlockFileResult ReadStored(Source& source, std::uint64_t body, std::uint32_t check_value,
                           const std::string& path, ByteBuffer& buffer, std::size_t at,
                           std::size_t length) {
    const auto stored = std::span(buffer).subspan(at, length);
    if (!source.ReadAt(body, stored))
        return Fail(kBlockNotFound, path, kNotFoundSuffix);
    if (DefinitionCheckValue(stored) != check_value)
        return Fail(kBlockCorrupt, path, kCorruptSuffix);
    DescrambleBuffer(stored);
    return {};
}

// One block's payload read, checked and descrambled at the end of the
// buffer it is to be decoded into; the decoding is still to do.
struct StoredPayload {
    ByteBuffer buffer;
    std::size_t at = 0;  // where the stream starts in the buffer
    std::size_t length = 0;
    std::uint32_t unpacked = 0;
    std::uint64_t body = 0;  // where the stream lies in the file
    std::uint32_t check_value = 0;
};

// Reads and checks the payload of one block. The payload's size and the
// size it decodes to are known from the headers before anything is read;
// the stream then goes at the end of the buffer its output is to be decoded
// into (`stored`). A payload without a usable size, or without room for
// that layout, is judged as stored and decoded from a buffer of its own
// right away (`block` filled, `stored` left empty).
template <typename Source>
BlockFileResult ReadPayload(Source& source, std::uint64_t body, std::size_t length,
                            std::uint32_t check_value, const std::string& path,
                            const BlockReadLimits& limits, DecodedBlock& block,
                            std::optional<StoredPayload>& stored) {
    // The stream's own header comes first; its first bytes descramble alone.
    std::array<std::uint8_t, kJcHeaderBytes> head{};
    const auto head_bytes = std::span(head).first(std::min(length, head.size()));
    if (!source.ReadAt(body, head_bytes))
        return Fail(kBlockNotFound, path, kNotFoundSuffix);
    DescrambleBuffer(head_bytes);
    const std::uint32_t unpacked = JcGetUnpackedSize(head_bytes);

    if (unpacked != 0 && unpacked <= limits.max_unpacked_bytes) {
        ByteBuffer buffer;
        try {
            // Left unfilled: the read and the decoder write what is used.
            buffer.resize(std::max<std::size_t>(unpacked + InPlaceMargin(unpacked), length));
        } catch (const std::bad_alloc&) {
            buffer = {};  // perhaps the header lies: judge it as stored first
        }
        if (!buffer.empty()) {
            const std::size_t at = buffer.size() - length;
            if (BlockFileResult failed =
                    ReadStored(source, body, check_value, path, buffer, at, length);
                !failed.ok())
                return failed;
            stored = StoredPayload{std::move(buffer), at, length, unpacked, body, check_value};
            return {};
        }
    }

    ByteBuffer stream(length);
    if (BlockFileResult failed = ReadStored(source, body, check_value, path, stream, 0, length);
        !failed.ok())
        return failed;
    const std::uint32_t size = JcGetUnpackedSize(stream);
    if (size == 0)
        return Fail(kBlockNoJcTag, path, kNoJcTagSuffix);
    if (size > limits.max_unpacked_bytes)
        return TooLarge(path);
    block.data.resize(size);  // left unfilled, as above
    if (JcDecompress(stream, block.data) != size)
        return Fail(kBlockUndecodable, path, kUndecodableSuffix);
    block.size = size;
    return {};
}

// Decodes a stored payload in place: its output fills the buffer from the
// start, over the stream the decoder has read already. False when the output
// would have overtaken input not yet read: the buffer then holds neither
// whole, and the stream is to be decoded from a copy (FinishDecode).
bool DecodeInPlace(StoredPayload& stored, std::size_t& written) {
    const JcInPlaceResult decoded = JcDecompressInPlace(stored.buffer, stored.at, stored.length);
    written = decoded.written;
    return !decoded.overtaken;
}

// Finishes what DecodeInPlace began (in_place: whether it could): a stream
// that did not fit the layout is read once more into a buffer of its own and
// decoded from there. A stream that ends before its declared size would
// leave the rest of the payload undefined: it is as bad as one that does not
// decode. On success the payload is the block's.
template <typename Source>
BlockFileResult FinishDecode(Source& source, StoredPayload& stored, bool in_place,
                             std::size_t written, const std::string& path, DecodedBlock& block) {
    if (!in_place) {
        ByteBuffer stream(stored.length);
        if (BlockFileResult failed =
                ReadStored(source, stored.body, stored.check_value, path, stream, 0, stored.length);
            !failed.ok())
            return failed;
        written = JcDecompress(stream, stored.buffer);
    }
    if (written != stored.unpacked)
        return Fail(kBlockUndecodable, path, kUndecodableSuffix);
    stored.buffer.resize(stored.unpacked);
    block.data = std::move(stored.buffer);
    block.size = stored.unpacked;
    return {};
}

// The blocks of a file one by one: their headers are checked and their
// payloads read.
template <typename Source>
class BlockWalk {
  public:
    BlockWalk(Source& source, const std::string& path, const BlockReadLimits& limits)
        : source_(source),
          path_(path),
          limits_(limits),
          compatibility_date_(CompatibilityDateFor(path)) {}

    // Reads the next block with a payload into block (stored: see
    // ReadPayload): ok and true; ok and false at the end of the file; the
    // failure otherwise.
    BlockFileResult Next(DecodedBlock& block, std::optional<StoredPayload>& stored, bool& got) {
        got = false;
        std::array<std::uint8_t, kDefinitionHeaderBytes> header_bytes{};
        while (start_ < source_.size()) {
            if (source_.size() - start_ < header_bytes.size() ||
                !source_.ReadAt(start_, header_bytes))
                return Fail(kBlockCorrupt, path_, kCorruptSuffix);
            const DefinitionBlockHeader header = *ParseBlockHeader(header_bytes);
            last_block_time_ = header.block_time;
            if (header.payload_length == 0) {
                start_ += kDefinitionHeaderBytes;
                continue;
            }
            if (header.magic != kDefinitionMagic)
                return Fail(kBlockNotRecognized, path_, kNotRecognizedSuffix);
            if (header.compatibility_date != compatibility_date_)
                return Fail(kBlockNotCompatible, path_, kNotCompatibleSuffix);
            const std::uint64_t body = start_ + kDefinitionHeaderBytes;
            if (header.payload_length < 0 ||
                static_cast<std::uint64_t>(header.payload_length) > source_.size() - body)
                return Fail(kBlockCorrupt, path_, kCorruptSuffix);
            const auto length = static_cast<std::size_t>(header.payload_length);
            block.record_count = header.record_count;
            start_ = body + length;
            got = true;
            return ReadPayload(source_, body, length, header.check_value, path_, limits_, block,
                               stored);
        }
        return {};
    }

    // The rest of the file's blocks, each decoded at once, into blocks.
    BlockFileResult ReadRest(std::vector<DecodedBlock>& blocks) {
        for (;;) {
            DecodedBlock block;
            std::optional<StoredPayload> stored;
            bool got = false;
            if (BlockFileResult failed = Next(block, stored, got); !failed.ok() || !got)
                return failed;
            if (stored) {
                std::size_t written = 0;
                const bool in_place = DecodeInPlace(*stored, written);
                if (BlockFileResult failed =
                        FinishDecode(source_, *stored, in_place, written, path_, block);
                    !failed.ok())
                    return failed;
            }
            blocks.push_back(std::move(block));
        }
    }

    std::optional<std::uint64_t> last_block_time() const { return last_block_time_; }

  private:
    Source& source_;
    const std::string& path_;
    const BlockReadLimits& limits_;
    const std::uint64_t compatibility_date_;
    std::uint64_t start_ = 0;
    std::optional<std::uint64_t> last_block_time_;
};

template <typename Source>
BlockFileResult ReadBlocks(Source& source, const std::string& path, const BlockReadLimits& limits) {
    BlockWalk<Source> walk(source, path, limits);
    DecodedBlock first;
    std::optional<StoredPayload> stored;
    bool got = false;
    if (BlockFileResult failed = walk.Next(first, stored, got); !failed.ok())
        return failed;
    BlockFileResult result;
    if (got) {
        std::vector<DecodedBlock> later;
        BlockFileResult rest;
        const auto read_rest = [&] {
            try {
                rest = walk.ReadRest(later);
            } catch (const std::bad_alloc&) {
                rest = TooLarge(path);
            }
        };
        std::size_t written = 0;
        bool in_place = true;
        const bool together = stored && stored->unpacked >= limits.first_block_decoded_beside;
        if (together) {
            // The first block holds the base data, most of the file: decoding
            // it is the longest step of a load, and the blocks behind it need
            // not wait for it. Only the walk reads the file meanwhile.
            RunTogether({[&] { in_place = DecodeInPlace(*stored, written); }, read_rest});
        } else if (stored) {
            in_place = DecodeInPlace(*stored, written);
        }
        // Failures count in file order: the first block's before the others'.
        if (stored) {
            if (BlockFileResult failed =
                    FinishDecode(source, *stored, in_place, written, path, first);
                !failed.ok())
                return failed;
        }
        if (!together)
            read_rest();
        if (!rest.ok())
            return rest;
        result.blocks.reserve(later.size() + 1);
        result.blocks.push_back(std::move(first));
        for (DecodedBlock& block : later)
            result.blocks.push_back(std::move(block));
    }
    if (IsPestsFile(path) && walk.last_block_time())
        result.data_version = DataVersionFromFileTime(*walk.last_block_time());
    return result;
}

template <typename ReadHeaderAt>
HeaderWalk Walk(std::uint64_t size, ReadHeaderAt read_header_at) {
    HeaderWalk walk;
    std::uint64_t start = 0;
    while (start < size && size - start >= kDefinitionHeaderBytes) {
        const std::optional<DefinitionBlockHeader> header = read_header_at(start);
        if (!header)
            break;
        ++walk.blocks;
        walk.last_block_time = header->block_time;
        const std::int32_t length = header->payload_length;
        if (length < 0 ||
            static_cast<std::uint64_t>(length) > size - start - kDefinitionHeaderBytes)
            break;
        if (walk.blocks > 1)
            walk.payload_bytes_after_first += length;
        start += kDefinitionHeaderBytes + static_cast<std::uint64_t>(length);
    }
    return walk;
}

}  // namespace

std::optional<DefinitionBlockHeader> ParseBlockHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDefinitionHeaderBytes)
        return std::nullopt;
    DefinitionBlockHeader header;
    header.magic = *LoadLe32(bytes, kHeaderMagicOffset);
    header.check_value = *LoadLe32(bytes, kHeaderCheckOffset);
    header.payload_length = static_cast<std::int32_t>(*LoadLe32(bytes, kHeaderLengthOffset));
    header.block_time = *LoadLe64(bytes, kHeaderTimeOffset);
    header.compatibility_date = *LoadLe64(bytes, kHeaderDateOffset);
    header.record_count = *LoadLe32(bytes, kHeaderRecordsOffset);
    return header;
}

std::array<std::uint8_t, kDefinitionHeaderBytes> SerializeBlockHeader(
    const DefinitionBlockHeader& header) {
    std::array<std::uint8_t, kDefinitionHeaderBytes> bytes{};
    StoreLe(std::span(bytes), kHeaderMagicOffset, header.magic);
    StoreLe(std::span(bytes), kHeaderCheckOffset, header.check_value);
    StoreLe(std::span(bytes), kHeaderLengthOffset, header.payload_length);
    StoreLe(std::span(bytes), kHeaderTimeOffset, header.block_time);
    StoreLe(std::span(bytes), kHeaderDateOffset, header.compatibility_date);
    StoreLe(std::span(bytes), kHeaderRecordsOffset, header.record_count);
    return bytes;
}

bool IsLocationsFile(std::string_view path) {
    return path.find("qzloc", 1) != std::string_view::npos;
}

bool IsPestsFile(std::string_view path) {
    return path.find("qzinfo.dat", 1) != std::string_view::npos;
}

std::uint64_t CompatibilityDateFor(std::string_view path) {
    return IsLocationsFile(path) ? kLocationsCompatibilityDate : kDefinitionsCompatibilityDate;
}

std::uint32_t DefinitionCheckValue(std::span<const std::uint8_t> stored_payload) {
    return Crc32(stored_payload) ^ kDefinitionCheckXor;
}

std::optional<CalendarTime> FileTimeToCalendar(std::uint64_t filetime) {
    if (filetime > kMaxFileTime)
        return std::nullopt;
    const auto seconds = static_cast<std::int64_t>(filetime / kTicksPerSecond);
    const std::int64_t second_of_day = seconds % kSecondsPerDay;
    CalendarTime time;
    CivilFromDays(seconds / kSecondsPerDay - kDaysFrom1601To1970, time);
    time.hour = static_cast<int>(second_of_day / 3600);
    time.minute = static_cast<int>(second_of_day / 60 % 60);
    time.second = static_cast<int>(second_of_day % 60);
    return time;
}

std::optional<std::uint64_t> CalendarToFileTime(const CalendarTime& time) {
    if (time.year < 1601 || time.year > 30827 || time.month < 1 || time.month > 12 ||
        time.day < 1 || time.day > DaysInMonth(time.year, time.month) || time.hour < 0 ||
        time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59)
        return std::nullopt;
    const std::int64_t days = DaysFromCivil(time.year, time.month, time.day) + kDaysFrom1601To1970;
    const std::int64_t seconds =
        days * kSecondsPerDay + time.hour * 3600 + time.minute * 60 + time.second;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond;
}

std::optional<std::int32_t> DataVersionFromFileTime(std::uint64_t filetime) {
    const auto time = FileTimeToCalendar(filetime);
    if (!time)
        return std::nullopt;
    const std::int64_t version = std::int64_t{time->year} * 1000000 + time->month * 10000 +
                                 time->day * 100 + time->hour - 2000000000;
    if (version < std::numeric_limits<std::int32_t>::min() ||
        version > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(version);
}

BlockFileResult ReadBlockBuffer(std::span<const std::uint8_t> file_bytes, const std::string& path,
                                const BlockReadLimits& limits) {
    // An empty definition file has nothing to find: a truncated write or a
    // failed copy, never a file we publish.
    if (file_bytes.empty())
        return Fail(kBlockCorrupt, path, kCorruptSuffix);
    try {
        MemorySource source(file_bytes);
        return ReadBlocks(source, path, limits);
    } catch (const std::bad_alloc&) {
        return TooLarge(path);
    }
}

BlockFileResult ReadBlockFile(const std::string& path, const BlockReadLimits& limits) {
    try {
        InputFile file;
        if (!file.Open(path))
            return Fail(kBlockNotFound, path, kNotFoundSuffix);
        const auto size = file.Size();
        if (!size)
            return Fail(kBlockNotFound, path, kNotFoundSuffix);
        if (*size == 0)
            return Fail(kBlockCorrupt, path, kCorruptSuffix);
        if (*size >= 0x100000000ull)
            return TooLarge(path);
        // Block by block: only the payload being decoded is held.
        FileSource source(file, *size);
        return ReadBlocks(source, path, limits);
    } catch (const std::bad_alloc&) {
        return TooLarge(path);
    }
}

HeaderWalk WalkBlockHeaders(std::span<const std::uint8_t> file_bytes) {
    return Walk(file_bytes.size(), [&](std::uint64_t start) {
        return ParseBlockHeader(file_bytes.subspan(static_cast<std::size_t>(start)));
    });
}

std::optional<HeaderWalk> WalkBlockHeaderFile(const std::string& path) {
    InputFile file;
    if (!file.Open(path))
        return std::nullopt;
    const auto size = file.Size();
    if (!size)
        return HeaderWalk{};
    std::array<std::uint8_t, kDefinitionHeaderBytes> buffer{};
    return Walk(*size, [&](std::uint64_t start) -> std::optional<DefinitionBlockHeader> {
        if (!file.Seek(start))
            return std::nullopt;
        const auto got = file.ReadFull(buffer);
        if (!got || *got != buffer.size())
            return std::nullopt;
        return ParseBlockHeader(buffer);
    });
}

HeaderTotals ReadHeaderTotals(const std::string& folder) {
    HeaderTotals totals;
    const auto in_folder = [&](const char* name) { return folder + kPathSeparator + name; };

    const auto pests = WalkBlockHeaderFile(in_folder("qzinfo.dat"));
    if (!pests || pests->blocks == 0)
        return totals;
    totals.block_count = pests->blocks - 1;
    totals.data_version = DataVersionFromFileTime(*pests->last_block_time).value_or(0);
    std::int64_t delta_bytes = pests->payload_bytes_after_first;

    for (const char* name : {"qzloc.dat", "qzfile.dat"}) {
        const auto walk = WalkBlockHeaderFile(in_folder(name));
        if (!walk)
            break;
        delta_bytes += walk->payload_bytes_after_first;
    }
    totals.delta_bytes = static_cast<std::int32_t>(
        std::min<std::int64_t>(delta_bytes, std::numeric_limits<std::int32_t>::max()));
    return totals;
}

}  // namespace olvex

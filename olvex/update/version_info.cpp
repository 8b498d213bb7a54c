#include "olvex/update/version_info.h"

#include <array>

#include "olvex/core/definition_blocks.h"
#include "olvex/core/dotted_version.h"
#include "olvex/core/file_io.h"
#include "olvex/core/little_endian.h"

namespace olvex {
namespace {

std::string LowerFileName(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

bool StartsWithBlockMagic(const std::string& path) {
    InputFile file;
    if (!file.Open(path))
        return false;
    std::array<std::uint8_t, 4> head{};
    const auto got = file.ReadFull(head);
    if (!got || *got != head.size())
        return false;
    return LoadLe32(head, 0) == kDefinitionMagic;
}

}  // namespace

bool IsDatFileValid(const std::string& path) {
    const std::string name = LowerFileName(path);
    if (name.find(".dat") == std::string::npos)
        return true;
    for (const std::string_view exempt :
         {"langv5", "lfinfo.dat", "excluded.dat", "qzsrindex.dat"}) {
        if (name.find(exempt) != std::string::npos)
            return true;
    }
    return StartsWithBlockMagic(path);
}

DefinitionTimeStamp ReadDefinitionTimeStamp(const std::string& path) {
    const auto walk = WalkBlockHeaderFile(path);
    if (!walk)
        return {TimeStampError::kCannotOpen, 0};
    if (!walk->last_block_time)
        return {TimeStampError::kNoBlock, 0};
    return {TimeStampError::kNone, *walk->last_block_time};
}

std::string CompositeVersion(std::string_view engine_version, std::string_view cleaner_version,
                             std::uint64_t definitions_time) {
    const DottedVersion engine = ParseDottedVersion(engine_version);
    const DottedVersion cleaner = ParseDottedVersion(cleaner_version);
    const CalendarTime time = FileTimeToCalendar(definitions_time).value_or(CalendarTime{});
    const std::array<int, 4> stamp = {time.year, time.month, time.day, time.hour};
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto sum = static_cast<std::uint16_t>(static_cast<unsigned>(engine[i]) +
                                                    static_cast<unsigned>(cleaner[i]) +
                                                    static_cast<unsigned>(stamp[i]));
        if (i > 0)
            text += '.';
        text += std::to_string(sum);
    }
    return text;
}

}  // namespace olvex

#include "setup/core/perf_data.h"

#include <algorithm>

#include "setup/core/setup_text.h"

namespace olvex::setup::util {
namespace {

// Offsets into the performance data structures (all DWORD-sized fields on
// either word size).
constexpr size_t kBlockHeaderLength = 24;
constexpr size_t kBlockObjectCount = 28;
constexpr size_t kBlockMinimum = 88;
constexpr size_t kObjectTotalLength = 0;
constexpr size_t kObjectDefinitionLength = 4;
constexpr size_t kObjectHeaderLength = 8;
constexpr size_t kObjectNameIndex = 12;
constexpr size_t kObjectCounterCount = 32;
constexpr size_t kObjectInstanceCount = 40;
constexpr size_t kObjectMinimum = 64;
constexpr size_t kCounterByteLength = 0;
constexpr size_t kCounterNameIndex = 4;
constexpr size_t kCounterSize = 32;
constexpr size_t kCounterOffset = 36;
constexpr size_t kCounterMinimum = 40;
constexpr size_t kInstanceByteLength = 0;
constexpr size_t kInstanceNameOffset = 16;
constexpr size_t kInstanceNameLength = 20;
constexpr size_t kInstanceMinimum = 24;
constexpr int32_t kNoInstances = -1;
// Bounds a hostile block's walk.
constexpr uint32_t kMaxObjects = 4096;
constexpr uint32_t kMaxInstances = 1u << 20;

class Reader {
  public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}
    bool Has(size_t offset, size_t length) const {
        return offset <= data_.size() && length <= data_.size() - offset;
    }
    std::optional<uint32_t> U32(size_t offset) const {
        if (!Has(offset, 4)) {
            return std::nullopt;
        }
        return static_cast<uint32_t>(data_[offset]) |
               (static_cast<uint32_t>(data_[offset + 1]) << 8) |
               (static_cast<uint32_t>(data_[offset + 2]) << 16) |
               (static_cast<uint32_t>(data_[offset + 3]) << 24);
    }
    std::u16string Utf16(size_t offset, size_t bytes) const {
        std::u16string text;
        for (size_t i = 0; i + 1 < bytes && Has(offset + i, 2); i += 2) {
            const auto c = static_cast<char16_t>(data_[offset + i] | (data_[offset + i + 1] << 8));
            if (c == 0) {
                break;
            }
            text.push_back(c);
        }
        return text;
    }

  private:
    std::span<const uint8_t> data_;
};

std::u16string Cut(std::u16string_view text) {
    return std::u16string(text.substr(0, kPerfNameChars));
}

// Reads the Process object's instances; nullopt when the object is malformed.
std::optional<std::vector<PerfProcess>> ReadInstances(const Reader& reader, size_t object,
                                                      uint32_t id_index) {
    const auto definition_length = reader.U32(object + kObjectDefinitionLength);
    const auto header_length = reader.U32(object + kObjectHeaderLength);
    const auto counter_count = reader.U32(object + kObjectCounterCount);
    const auto instance_count = reader.U32(object + kObjectInstanceCount);
    if (!definition_length || !header_length || !counter_count || !instance_count) {
        return std::nullopt;
    }
    std::optional<uint32_t> id_offset;
    size_t counter = object + *header_length;
    for (uint32_t i = 0; i < *counter_count && reader.Has(counter, kCounterMinimum); ++i) {
        const auto length = reader.U32(counter + kCounterByteLength);
        if (!length || *length < kCounterMinimum) {
            return std::nullopt;
        }
        if (reader.U32(counter + kCounterNameIndex) == id_index &&
            reader.U32(counter + kCounterSize).value_or(0) >= 4) {
            id_offset = reader.U32(counter + kCounterOffset);
        }
        counter += *length;
    }
    std::vector<PerfProcess> processes;
    if (static_cast<int32_t>(*instance_count) == kNoInstances || !id_offset) {
        return processes;
    }
    size_t instance = object + *definition_length;
    const uint32_t count = std::min(*instance_count, kMaxInstances);
    for (uint32_t i = 0; i < count; ++i) {
        const auto length = reader.U32(instance + kInstanceByteLength);
        const auto name_offset = reader.U32(instance + kInstanceNameOffset);
        const auto name_length = reader.U32(instance + kInstanceNameLength);
        if (!length || *length < kInstanceMinimum || !name_offset || !name_length) {
            break;
        }
        const size_t block = instance + *length;
        const auto block_length = reader.U32(block);
        if (!block_length || *block_length < 4) {
            break;
        }
        PerfProcess process;
        process.name = reader.Utf16(instance + *name_offset, *name_length);
        if (*id_offset + 4 <= *block_length) {
            process.id = reader.U32(block + *id_offset).value_or(0);
        }
        processes.push_back(std::move(process));
        instance = block + *block_length;
    }
    return processes;
}

}  // namespace

ProcessCounterIndexes FindProcessCounterIndexes(std::u16string_view counter_names) {
    std::vector<std::u16string_view> parts;
    size_t i = 0;
    while (i < counter_names.size()) {
        size_t end = counter_names.find(u'\0', i);
        if (end == std::u16string_view::npos) {
            end = counter_names.size();
        }
        parts.push_back(counter_names.substr(i, end - i));
        i = end + 1;
    }
    ProcessCounterIndexes indexes;
    for (size_t k = 0; k + 1 < parts.size(); k += 2) {
        const std::u16string_view index = parts[k];
        const std::u16string_view name = parts[k + 1];
        if (index.empty() || index.find_first_not_of(u"0123456789") != std::u16string_view::npos) {
            continue;
        }
        uint64_t value = 0;
        for (const char16_t c : index) {
            value = std::min<uint64_t>(value * 10 + (c - u'0'), UINT32_MAX);
        }
        if (!indexes.process && EqualsNoCase(name, u"Process")) {
            indexes.process = static_cast<uint32_t>(value);
        } else if (!indexes.process_id && EqualsNoCase(name, u"ID Process")) {
            indexes.process_id = static_cast<uint32_t>(value);
        }
    }
    return indexes;
}

std::optional<std::vector<PerfProcess>> ReadPerfProcesses(std::span<const uint8_t> block,
                                                          uint32_t process_index,
                                                          uint32_t id_index) {
    const Reader reader(block);
    if (!reader.Has(0, kBlockMinimum) || block[0] != 'P' || block[2] != 'E' || block[4] != 'R' ||
        block[6] != 'F') {
        return std::nullopt;
    }
    const auto header_length = reader.U32(kBlockHeaderLength);
    const auto object_count = reader.U32(kBlockObjectCount);
    if (!header_length || !object_count) {
        return std::nullopt;
    }
    size_t object = *header_length;
    const uint32_t count = std::min(*object_count, kMaxObjects);
    for (uint32_t i = 0; i < count && reader.Has(object, kObjectMinimum); ++i) {
        if (reader.U32(object + kObjectNameIndex) == process_index) {
            return ReadInstances(reader, object, id_index);
        }
        const auto length = reader.U32(object + kObjectTotalLength);
        if (!length || *length < kObjectMinimum) {
            break;
        }
        object += *length;
    }
    return std::nullopt;
}

uint32_t FindPerfProcess(const std::vector<PerfProcess>& processes, std::u16string_view name,
                         bool session_prefix) {
    for (const PerfProcess& process : processes) {
        std::u16string wanted(name);
        if (session_prefix) {
            const size_t digits = process.name.find_first_not_of(u"0123456789");
            const size_t length = digits == std::u16string::npos ? process.name.size() : digits;
            if (length == 0) {
                continue;
            }
            wanted = process.name.substr(0, length) + u" " + wanted;
        }
        if (EqualsNoCase(Cut(process.name), Cut(wanted))) {
            return process.id;
        }
    }
    return 0;
}

}  // namespace olvex::setup::util

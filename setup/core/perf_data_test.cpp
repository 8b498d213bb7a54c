#include "setup/core/perf_data.h"

#include <gtest/gtest.h>

#include "setup/core/setup_text.h"

namespace olvex::setup::util {
namespace {

constexpr uint32_t kProcessIndex = 230;
constexpr uint32_t kIdIndex = 784;

// Writes a performance data block as the system lays it out.
class BlockWriter {
  public:
    void U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    }
    void U64(uint64_t value) {
        U32(static_cast<uint32_t>(value));
        U32(static_cast<uint32_t>(value >> 32));
    }
    void Zeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
    void Put(size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    std::vector<uint8_t> bytes;
};

struct Instance {
    std::u16string name;
    uint32_t id;
};

// An object without instances (as "System" is), then the Process object with
// two counters, the second "ID Process".
std::vector<uint8_t> MakeBlock(const std::vector<Instance>& instances, bool with_process = true) {
    BlockWriter w;
    for (char16_t c : std::u16string(u"PERF")) {
        w.bytes.push_back(static_cast<uint8_t>(c));
        w.bytes.push_back(0);
    }
    w.U32(1);                     // little endian
    w.U32(1);                     // version
    w.U32(1);                     // revision
    w.U32(0);                     // total length, set below
    w.U32(88);                    // header length
    w.U32(with_process ? 2 : 1);  // objects
    w.U32(0);                     // default object
    w.Zeros(16 + 4);              // system time, padding
    w.Zeros(24);                  // times
    w.U32(0);
    w.U32(0);
    EXPECT_EQ(w.bytes.size(), 88u);

    // "System": no instances, one counter, its block.
    const size_t system = w.bytes.size();
    w.U32(0);
    w.U32(64 + 40);
    w.U32(64);
    w.U32(2);  // "System"
    w.Zeros(16);
    w.U32(1);                          // counters
    w.U32(0);                          // default counter
    w.U32(static_cast<uint32_t>(-1));  // no instances
    w.U32(0);
    w.Zeros(16);
    w.U32(40);
    w.U32(kIdIndex);  // the same index in another object must not count
    w.Zeros(24);
    w.U32(4);
    w.U32(4);
    w.U32(8);
    w.U32(12345);
    w.Put(system, static_cast<uint32_t>(w.bytes.size() - system));

    if (with_process) {
        const size_t object = w.bytes.size();
        w.U32(0);            // total length, set below
        w.U32(64 + 2 * 40);  // definition length
        w.U32(64);
        w.U32(kProcessIndex);
        w.Zeros(16);
        w.U32(2);  // counters
        w.U32(0);
        w.U32(static_cast<uint32_t>(instances.size()));
        w.U32(0);
        w.Zeros(16);
        // "% Processor Time", 8 bytes at offset 8; "ID Process", 4 bytes at 16.
        for (const auto& [index, size, offset] :
             {std::tuple<uint32_t, uint32_t, uint32_t>{6, 8, 8}, {kIdIndex, 4, 16}}) {
            w.U32(40);
            w.U32(index);
            w.Zeros(24);
            w.U32(size);
            w.U32(offset);
        }
        for (const Instance& instance : instances) {
            const uint32_t name_bytes = static_cast<uint32_t>((instance.name.size() + 1) * 2);
            const uint32_t padded = (name_bytes + 7) & ~7u;
            w.U32(24 + padded);
            w.U32(0);
            w.U32(0);
            w.U32(static_cast<uint32_t>(-1));
            w.U32(24);
            w.U32(name_bytes);
            for (char16_t c : instance.name) {
                w.bytes.push_back(static_cast<uint8_t>(c));
                w.bytes.push_back(static_cast<uint8_t>(c >> 8));
            }
            w.Zeros(padded - instance.name.size() * 2);
            w.U32(24);  // counter block
            w.U32(0);
            w.U64(99);
            w.U32(instance.id);
            w.U32(0);
        }
        w.Put(object, static_cast<uint32_t>(w.bytes.size() - object));
    }
    w.Put(20, static_cast<uint32_t>(w.bytes.size()));
    return w.bytes;
}

// A string list with its NULs (the literal's own terminator left out).
template <size_t N>
std::u16string_view MultiString(const char16_t (&text)[N]) {
    return {text, N - 1};
}

TEST(PerfDataTest, CounterIndexesFromTheCounterNames) {
    const ProcessCounterIndexes indexes =
        FindProcessCounterIndexes(MultiString(u"1\0"
                                              u"1847\0"
                                              u"2\0System\0"
                                              u"230\0Process\0"
                                              u"6\0% Processor Time\0"
                                              u"784\0ID Process\0"
                                              u"999\0process\0"));
    ASSERT_TRUE(indexes.process && indexes.process_id);
    EXPECT_EQ(*indexes.process, 230u);
    EXPECT_EQ(*indexes.process_id, 784u);

    const ProcessCounterIndexes none =
        FindProcessCounterIndexes(MultiString(u"2\0System\0x\0Process\0"
                                              u"784"));
    EXPECT_FALSE(none.process);
    EXPECT_FALSE(none.process_id);
}

TEST(PerfDataTest, FindsProcessesByTheirCutNames) {
    const std::vector<uint8_t> block = MakeBlock({{u"svchost", 100},
                                                  {u"trombo", 200},
                                                  {u"averyverylongpr", 300},
                                                  {u"1 trombo", 400},
                                                  {u"12 averyverylon", 500}});
    const auto processes = ReadPerfProcesses(block, kProcessIndex, kIdIndex);
    ASSERT_TRUE(processes);
    ASSERT_EQ(processes->size(), 5u);
    EXPECT_EQ((*processes)[1].name, u"trombo");
    EXPECT_EQ((*processes)[1].id, 200u);

    EXPECT_EQ(FindPerfProcess(*processes, u"TROMBO", false), 200u);
    // The system keeps 15 characters of a name: the wanted name is cut too.
    EXPECT_EQ(FindPerfProcess(*processes, u"AVeryVeryLongProcessName", false), 300u);
    EXPECT_EQ(FindPerfProcess(*processes, u"trombodt", false), 0u);
    // With session numbers in front of the names.
    EXPECT_EQ(FindPerfProcess(*processes, u"trombo", true), 400u);
    EXPECT_EQ(FindPerfProcess(*processes, u"averyverylongprocessname", true), 500u);
    EXPECT_EQ(FindPerfProcess(*processes, u"svchost", true), 0u);
}

TEST(PerfDataTest, BlocksWithoutAProcessObjectOrBroken) {
    EXPECT_FALSE(ReadPerfProcesses(MakeBlock({}, false), kProcessIndex, kIdIndex));
    EXPECT_TRUE(ReadPerfProcesses(MakeBlock({}), kProcessIndex, kIdIndex));
    EXPECT_FALSE(ReadPerfProcesses({}, kProcessIndex, kIdIndex));

    std::vector<uint8_t> not_perf = MakeBlock({{u"a", 1}});
    not_perf[0] = 'X';
    EXPECT_FALSE(ReadPerfProcesses(not_perf, kProcessIndex, kIdIndex));

    // Every cut of a block reads without going past its end.
    const std::vector<uint8_t> block = MakeBlock({{u"svchost", 100}, {u"trombo", 200}});
    for (size_t size = 0; size <= block.size(); ++size) {
        const std::vector<uint8_t> cut(block.begin(), block.begin() + static_cast<long>(size));
        const auto processes = ReadPerfProcesses(cut, kProcessIndex, kIdIndex);
        if (processes) {
            EXPECT_LE(processes->size(), 2u);
        }
    }
}

}  // namespace
}  // namespace olvex::setup::util

// Location strings come from scans, the definition files, the exclusion file,
// the engine log and the quarantine databases: any bytes at all. The reader
// must stay inside its input, and whatever a writer accepts must read back as
// exactly the pairs it was given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "olvex/core/attribute_list.h"
#include "olvex/core/location.h"
#include "olvex/core/location_builder.h"
#include "olvex/core/location_string.h"

namespace {

using olvex::AttributePair;
using olvex::MultiByteText;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::vector<AttributePair> Parse(const std::string& text, const MultiByteText& mb) {
    return olvex::ParseLocationString(text, mb, olvex::kUnlimitedPairs).pairs;
}

void CheckReader(const std::string& text, const MultiByteText& mb) {
    const auto all = Parse(text, mb);
    const auto limited = olvex::ParseLocationString(text, mb, olvex::kMaxLocationPairs);
    Check(limited.pairs.size() == std::min(all.size(), olvex::kMaxLocationPairs));
    Check(limited.pair_limit_reached == (all.size() >= olvex::kMaxLocationPairs));
    for (std::size_t i = 0; i < limited.pairs.size(); ++i)
        Check(limited.pairs[i] == all[i]);

    olvex::Location location(mb);
    location.SetString(text);
    Check(location.IsFile() ==
          (location.GetAttributeValue("file") && !location.IsCookie() && !location.IsProcess()));
    static_cast<void>(location.IsExclusion() + location.IsRegistryItem() + location.IsFolder());

    // Whatever was read, written again, reads back the same (or is refused).
    for (auto separator : {olvex::PairSeparator::kBlank, olvex::PairSeparator::kNothing}) {
        if (const auto again = olvex::FormatLocationPairs(all, separator, mb))
            Check(Parse(*again, mb) == all);
    }
}

void CheckAttributeList(const std::string& text, const std::string& name, const std::string& value,
                        const MultiByteText& mb) {
    olvex::AttributeList list(mb);
    list.SetString(text);
    const std::string before = list.GetString();
    const std::vector<AttributePair> pairs_before(list.Pairs().begin(), list.Pairs().end());
    if (list.SetAttributeValue(name, value)) {
        Check(list.GetAttributeValue(name).has_value());
        const std::vector<AttributePair> pairs(list.Pairs().begin(), list.Pairs().end());
        Check(Parse(list.GetString(), mb) == pairs);
    } else {
        Check(list.GetString() == before);
        Check(std::vector<AttributePair>(list.Pairs().begin(), list.Pairs().end()) == pairs_before);
    }
}

void CheckBuilders(FuzzedDataProvider& input, const MultiByteText& mb) {
    const std::string a = input.ConsumeRandomLengthString(64);
    const std::string b = input.ConsumeRandomLengthString(64);
    const std::string c = input.ConsumeRandomLengthString(64);
    std::vector<AttributePair> expected;
    std::optional<std::string> built;
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            built = olvex::BuildFileLocation(a, mb);
            expected = {{"File", a}};
            break;
        case 1:
            built = olvex::BuildRegistryLocation(a, b, c, mb);
            expected = {{"Key", a}};
            if (!b.empty())
                expected.push_back({"value", b});
            if (!c.empty())
                expected.push_back({"data", c});
            break;
        case 2: {
            const auto id = input.ConsumeIntegral<std::uint32_t>();
            built = olvex::BuildProcessLocation(id, a, mb);
            expected = {{"ProcessId", std::to_string(id)}, {"File", a}};
            break;
        }
        default:
            built = olvex::BuildArchiveEntryLocation(a, b, c, mb);
            expected = {{"File", a + "|" + b}};
            if (!c.empty())
                expected.push_back({"Certainty", c});
            break;
    }
    if (built)
        Check(Parse(*built, mb) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto mb = MultiByteText::ForCodePage(input.ConsumeBool() ? 932 : 1252);
    const std::string name = input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(32);
    const std::string text = input.ConsumeRandomLengthString(4096);
    CheckReader(text, mb);
    CheckAttributeList(text, name, value, mb);
    CheckBuilders(input, mb);
    return 0;
}

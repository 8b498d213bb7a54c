// The exclusion file comes from disk, where anything may have been written to
// it. Any bytes must read as some list of exclusions that are stored back as
// exactly that list, and the criteria must stay inside every text they are
// given. The same bytes are also read as the older, unscrambled file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/exclusion_criteria.h"
#include "olvex/core/exclusion_file.h"
#include "olvex/core/location_string.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckTexts(const std::vector<std::string>& texts) {
    for (const auto& text : texts)
        Check(olvex::IsStorableExclusion(text));
    // What was read is written back and read again as the same list.
    Check(olvex::DecodeExclusionFile(olvex::EncodeExclusionFile(texts)) == texts);
}

void CheckCriteria(const std::vector<std::string>& texts, std::size_t seed) {
    if (texts.empty())
        return;
    const auto mb = olvex::MultiByteText::ForCodePage(seed % 2 ? 932 : 1252);
    // The detection is made of the file's own texts, so that its facts and
    // the criteria can meet.
    olvex::PestFacts pest{texts.front(), texts.back(), static_cast<std::int32_t>(seed % 5) - 1};
    const auto query =
        olvex::MakeExclusionQuery(static_cast<std::int32_t>(seed % 3) - 1, pest, texts.back(), mb);
    for (const auto& text : texts) {
        const auto exclusion = olvex::ParseLocationString(text, mb, olvex::kUnlimitedPairs).pairs;
        static_cast<void>(olvex::ExclusionCoversDetection(exclusion, query, mb));
        static_cast<void>(olvex::ExclusionCoversFolder(exclusion, texts.front(), mb));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto texts = olvex::DecodeExclusionFile(bytes);
    CheckTexts(texts);
    CheckCriteria(texts, size);

    const std::string_view plain(reinterpret_cast<const char*>(data), size);
    const auto old_texts = olvex::SplitExclusionLines(plain);
    CheckTexts(old_texts);
    // Converting the older file keeps its exclusions.
    Check(olvex::DecodeExclusionFile(olvex::ConvertOldExclusionFile(bytes)) == old_texts);
    CheckCriteria(old_texts, size + 1);
    return 0;
}

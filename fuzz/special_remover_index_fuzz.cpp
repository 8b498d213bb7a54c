// The special-remover index "qzsrindex.dat" from hostile bytes: it arrives
// as an update download without a block header, so anything may be in it.
// Every entry read names a pest (never id 0) and holds the rest of one line;
// the lookup finds a pest's first entry, and the scripted remover's
// parameters are its entries' texts in index order, behind the fixed switches.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "olvex/remedy/special_remover_index.h"

namespace {

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto index = olvex::ParseSpecialRemoverIndex(text);

    std::size_t lines = 1;
    for (const char c : text)
        lines += c == '\n';
    Check(index.size() <= lines);
    std::size_t text_bytes = 0;
    for (const auto& entry : index) {
        Check(entry.pest_id != 0);
        Check(entry.text.find('\n') == std::string::npos);
        text_bytes += entry.text.size();
    }
    Check(text_bytes <= text.size());

    // Each pest's first entry and its texts in index order.
    std::map<std::int32_t, std::pair<std::size_t, std::string>> pests;
    for (std::size_t i = 0; i < index.size(); ++i) {
        auto [at, added] = pests.try_emplace(index[i].pest_id, i, std::string());
        at->second.second += index[i].text;
    }
    for (const auto& [id, expected] : pests) {
        Check(olvex::FindSpecialRemoverEntry(index, id) == expected.first);
        Check(olvex::ScriptedRemoverParameters(index, id, false) == "/clean /" + expected.second);
        Check(olvex::ScriptedRemoverParameters(index, id, true) ==
              "/clean /silent /" + expected.second);
    }
    Check(!olvex::FindSpecialRemoverEntry(index, 0));
    return 0;
}

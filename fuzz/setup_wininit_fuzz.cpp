// WININIT.INI may hold anything another program left in it. The line goes
// into its [Rename] section, and nothing else of the file changes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/setup_fuzz_support.h"
#include "setup/core/wininit_editor.h"

using namespace olvex::setup;
using fuzzing::Check;

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether taking the inserted line out again (with the line end or the
// section header that had to come with it) gives the original file.
bool Restores(const std::string& ini, const std::string& edited, const std::string& line) {
    const std::string inserted = line + "\r\n";
    for (size_t at = edited.find(inserted); at != std::string::npos;
         at = edited.find(inserted, at + 1)) {
        const std::string prefix = edited.substr(0, at);
        const std::string suffix = edited.substr(at + inserted.size());
        std::vector<std::string> heads = {prefix};
        const std::string header = "[Rename]\r\n";
        if (suffix.empty() && EndsWith(prefix, header)) {
            heads.push_back(prefix.substr(0, prefix.size() - header.size()));
        }
        for (size_t i = 0, n = heads.size(); i < n; ++i) {
            if (EndsWith(heads[i], "\r\n")) {
                heads.push_back(heads[i].substr(0, heads[i].size() - 2));
            }
            if (EndsWith(heads[i], "\n")) {
                heads.push_back(heads[i].substr(0, heads[i].size() - 1));
            }
        }
        for (const std::string& head : heads) {
            if (head + suffix == ini) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    std::string line = input.ConsumeRandomLengthString(80);
    // A line as setup writes it: "NUL=" or a short path, "=", a short path.
    for (char& c : line) {
        if (c == '\r' || c == '\n' || c == '[') {
            c = '_';
        }
    }
    line = "NUL=" + line;
    const std::string ini = input.ConsumeRemainingBytesAsString();

    const std::string edited = util::AddRenameLine(ini, line);
    Check(util::RenameSectionText(edited).find(line + "\n") != std::string::npos);
    Check(Restores(ini, edited, line));
    return 0;
}

// The start-up entry readers from hostile text: Run values (any program may
// write one), the "load", "run" and "shell" ini entries and the lines of the
// start-up batch files. The text rules stay inside their input and give
// programs without the characters that separate them; the walk over a
// machine holding such texts hands every program to the file scan once.
//
// Input: one selector byte (bit 0: a double-byte code page; bit 1: every
// user's form of the walk), then texts separated by NUL bytes: Run values
// (a leading "%" makes a value one to expand), then after an empty text the
// ini entries "load", "run" and "shell", then the batch file's lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/scan/autorun_scan.h"

namespace {

using olvex::AutorunRoot;
using olvex::AutorunValue;
using olvex::MultiByteText;

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

// A machine where every Run key holds the fuzzed values, every ini entry
// and batch file the fuzzed texts, every file exists and every bare name is
// found in C:\path.
class FuzzedSystem final : public olvex::AutorunSystem {
  public:
    std::vector<AutorunValue> run_values;
    std::map<std::string, std::string> ini;  // key -> text
    std::vector<std::string> batch_lines;

    bool KeyOpens(AutorunRoot, const std::string&) override { return true; }
    std::optional<std::string> StringValue(AutorunRoot, const std::string&,
                                           std::string_view name) override {
        if (name == "SystemRoot")
            return std::string("C:\\WINDOWS");
        if (name == "Startup")
            return std::string("C:\\Startup");
        return std::nullopt;
    }
    std::optional<std::vector<AutorunValue>> Values(AutorunRoot, const std::string&) override {
        return run_values;
    }
    std::vector<std::string> UserHives() override { return {"S-1-5-21-1", "S-1-5-21-1_Classes"}; }
    std::string IniEntry(const std::string&, std::string_view, std::string_view key) override {
        const auto found = ini.find(std::string(key));
        return found == ini.end() ? std::string() : found->second;
    }
    bool ReadLines(const std::string&,
                   const std::function<bool(std::string_view line)>& each) override {
        for (const auto& line : batch_lines) {
            if (!each(line))
                break;
        }
        return true;
    }
    bool Exists(const std::string&) override { return true; }
    std::optional<std::string> FindOnSearchPath(const std::string& name) override {
        return "C:\\path\\" + name;
    }
    std::optional<std::string> ExpandEnvironment(const std::string& text) override {
        return "C:\\expanded\\" + text;
    }
};

class NoFolders final : public olvex::FolderLister {
  public:
    PathKind Kind(const std::string&) override { return PathKind::kMissing; }
    bool List(const std::string&, std::vector<olvex::FolderEntry>&) override { return false; }
};

std::vector<std::string> Texts(std::string_view input) {
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        texts.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    return texts;
}

// single_byte: separators can be looked for byte by byte (in a double-byte
// code page a lead byte left without its trail byte may take one in).
void CheckTextRules(const std::string& text, const MultiByteText& mb, bool single_byte) {
    const std::string program = olvex::ProgramOfCommand(text, mb);
    Check(program.size() <= text.size());
    if (single_byte)
        Check(program.find('"') == std::string::npos);
    for (const std::string_view key : {"load", "run", "shell", "other"}) {
        const auto programs = olvex::ProgramsOfIniEntry(key, text, mb);
        std::size_t bytes = 0;
        for (const auto& one : programs) {
            Check(!one.empty() && mb.Trim(one) == one);
            if (single_byte && (key == "run" || key == "load"))
                Check(one.find(',') == std::string::npos);
            if (single_byte && key == "shell")
                Check(one.find(' ') == std::string::npos);
            bytes += one.size();
        }
        Check(bytes <= text.size());
    }
    if (const auto word = olvex::CommandOfBatchLine(text, mb)) {
        Check(!word->empty() && word->size() <= text.size());
        Check(word->front() != ' ' && word->front() != '\t');
        const std::string lowered = mb.Lower(*word);
        Check(lowered != "rem" && lowered != "echo" && lowered != "goto");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto mb = (data[0] & 1) ? MultiByteText::ForCodePage(932) : MultiByteText::SingleByte();
    const bool all_users = (data[0] & 2) != 0;
    const auto texts = Texts(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    for (const auto& text : texts)
        CheckTextRules(text, mb, (data[0] & 1) == 0);

    FuzzedSystem system;
    std::size_t at = 0;
    for (; at < texts.size() && !texts[at].empty(); ++at) {
        AutorunValue value;
        value.kind = texts[at].front() == '%' ? AutorunValue::Kind::kExpandString
                                              : AutorunValue::Kind::kString;
        value.data = texts[at];
        system.run_values.push_back(value);
    }
    ++at;
    for (const char* key : {"load", "run", "shell"}) {
        if (at < texts.size())
            system.ini[key] = texts[at++];
    }
    for (; at < texts.size(); ++at)
        system.batch_lines.push_back(texts[at]);

    NoFolders lister;
    olvex::DetectedItems detected;
    olvex::ScanReporter reporter(nullptr, nullptr, detected);
    std::set<std::string> scanned;
    olvex::AutorunScan scan(system, lister, reporter, mb, [&](const std::string& path) {
        Check(!path.empty());
        // Each program once, whatever its case.
        Check(scanned.insert(mb.Lower(path)).second);
    });
    if (all_users)
        scan.ScanAllUsers("C:\\autoexec.bat");
    else
        scan.ScanCurrentUser("C:\\autoexec.bat");
    Check(scan.programs_scanned() == scanned.size());
    return 0;
}

// For the scanner's portable tests: an event recorder standing in for the
// client's callback, exclusions a test sets, an in-memory folder tree, and a
// pest database published into a scratch folder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "olvex/core/crc32.h"
#include "olvex/core/dat_database.h"
#include "olvex/scan/folder_walk.h"
#include "olvex/scan/scan_reporter.h"

namespace olvex::scan_test {

// Bytes that stand for a file's content, the same for the same seed.
inline std::vector<std::uint8_t> Content(std::uint32_t seed, std::size_t size) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// A value as the definition sources write a CRC: eight lower-case hex digits.
inline std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08x", value);
    return text;
}

// The CRC a file is first identified by: that of its first 2047 bytes.
inline std::uint32_t HeadCrc(const std::vector<std::uint8_t>& bytes) {
    return Crc32(std::span(bytes).first(std::min<std::size_t>(bytes.size(), 2047)));
}

// Every event as one line: "StartingItem <location>", "PestDetected <id>
// <location>", "ShouldScanContinue", ...
class RecordingEvents : public ScanEvents {
  public:
    std::vector<std::string> lines;
    // Asked at each ShouldScanContinue with the number of the question
    // (1, 2, ...); the answer to give. Unset: always continue.
    std::function<bool(int)> should_continue;
    bool record_questions = true;
    std::int32_t detected_result = 0;

    void ScanComplete() override { lines.push_back("ScanComplete"); }
    void ScanAborted(std::string_view reason) override {
        lines.push_back("ScanAborted " + std::string(reason));
    }
    void FinishedItem(std::string_view location) override {
        lines.push_back("FinishedItem " + std::string(location));
    }
    void StartingItem(std::string_view location) override {
        lines.push_back("StartingItem " + std::string(location));
    }
    std::int32_t PestDetected(std::int32_t pest_id, std::string_view location) override {
        lines.push_back("PestDetected " + std::to_string(pest_id) + " " + std::string(location));
        return detected_result;
    }
    bool ShouldScanContinue() override {
        ++questions_;
        if (record_questions)
            lines.push_back("ShouldScanContinue");
        return !should_continue || should_continue(questions_);
    }
    void VerboseInformation(std::string_view message) override {
        lines.push_back("VerboseInformation " + std::string(message));
    }
    // The lines that start with one of the prefixes.
    std::vector<std::string> Only(std::initializer_list<std::string_view> prefixes) const;

  private:
    int questions_ = 0;
};

// Exclusions by exact location and by folder text.
class FakeExclusions : public ExclusionCheck {
  public:
    std::set<std::string, std::less<>> locations;
    std::set<std::string, std::less<>> folders;
    std::int32_t status = 0;
    Answer IsLocationExcluded(std::int32_t, std::string_view location) override {
        return {locations.count(location) > 0, status};
    }
    bool IsFolderExcluded(std::string_view folder) override { return folders.count(folder) > 0; }
};

// A folder tree in memory with backslash paths: folders and files added by
// path, listed in name order (with "." and ".." first, as Windows lists a
// folder that is not a drive's root).
class FakeTree : public FolderLister {
  public:
    void AddFolder(const std::string& path, bool reparse_point = false);
    void AddFile(const std::string& path, bool reparse_point = false);
    PathKind Kind(const std::string& path) override;
    bool List(const std::string& pattern, std::vector<FolderEntry>& entries) override;
    std::vector<std::string> listed;  // patterns asked, in order

  private:
    struct Node {
        bool is_folder = false;
        bool reparse_point = false;
    };
    std::map<std::string, Node> nodes_;         // by upper-cased path
    std::map<std::string, std::string> names_;  // upper-cased path -> path as added
};

// A definition set published from a source (the format of
// samples/sample.defs) and loaded into a database of the test's own.
std::unique_ptr<CDatDatabase> LoadDefinitions(const std::string& folder, std::string_view source);

}  // namespace olvex::scan_test

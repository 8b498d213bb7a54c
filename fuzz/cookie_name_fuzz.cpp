// Cookie file names from hostile text: a cookie folder holds whatever names
// the browser or a pest gave its files. A name is a cookie's when it holds
// "@" and ".txt"; its site is what lies between the first "@" and the last
// "[" (or "."). The reader stays inside the name, a known site is reported
// once at Cookie "<site>" File "<path>", and that location reads back as
// exactly those two values.
//
// Input: one selector byte (bit 0: a double-byte code page), then the path.
// The definitions know the sites "tracker.example" and "ads".
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "olvex/core/dat_database.h"
#include "olvex/core/location_builder.h"
#include "olvex/core/location_string.h"
#include "olvex/scan/file_scan.h"
#include "olvex/scan/scan_filter.h"
#include "tools/publisher/definition_set.h"
#include "tools/publisher/definition_writer.h"

namespace {

using olvex::MultiByteText;

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

// The definitions, published and loaded once.
const olvex::CDatDatabase& Database() {
    static const std::unique_ptr<olvex::CDatDatabase> database = [] {
        const std::string folder = "/tmp/olvex-cookie-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder);
        const auto parsed = olvex::tools::ParseDefinitionSource(
            "block 2004-03-15 09:40:00\n"
            "pest 1 \"Cookie.Tracker\" \"Tracking Cookie\"\n"
            "pest 2 \"Cookie.Ads\" \"Tracking Cookie\"\n"
            "cookie 1 \"tracker.example\"\n"
            "cookie 2 \"ads\"\n",
            folder, "cookie fuzz");
        Check(parsed.ok());
        Check(olvex::tools::WriteDefinitionFiles(parsed.set, folder).empty());
        auto loaded = std::make_unique<olvex::CDatDatabase>();
        loaded->SetDatFolder(folder);
        Check(loaded->Load() == 0);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        return loaded;
    }();
    return *database;
}

// The detections a scan reports.
class Findings final : public olvex::ScanEvents {
  public:
    std::vector<std::pair<std::int32_t, std::string>> found;
    void ScanComplete() override {}
    void ScanAborted(std::string_view) override {}
    void FinishedItem(std::string_view) override {}
    void StartingItem(std::string_view) override {}
    std::int32_t PestDetected(std::int32_t pest_id, std::string_view location) override {
        found.emplace_back(pest_id, std::string(location));
        return 0;
    }
    bool ShouldScanContinue() override { return true; }
    void VerboseInformation(std::string_view) override {}
};

class NoArchives final : public olvex::ArchiveEnvironment {
  public:
    std::string EntryNameText(const olvex::ZipEntryInfo& entry) override { return entry.name; }
    std::string TemporaryFilePath(unsigned) override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto mb = (data[0] & 1) ? MultiByteText::ForCodePage(932) : MultiByteText::SingleByte();
    const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string_view name = olvex::FileNameOfPath(path, mb);
    Check(name.size() <= path.size() && path.ends_with(name));

    // A cookie file's location names the path and the file's name.
    if (const auto location = olvex::BuildCookieFileLocation(path, mb)) {
        const auto pairs = olvex::ParseLocationString(*location, mb, olvex::kUnlimitedPairs).pairs;
        Check(pairs.size() == 2);
        Check(pairs[0].value == path && pairs[1].value == name);
    }
    // Only a cookie's name is looked at as one: no file is opened for it.
    if (!olvex::IsCookieFileName(name, mb))
        return 0;

    Findings events;
    olvex::DetectedItems detected;
    olvex::ScanReporter reporter(&events, nullptr, detected);
    olvex::ScanFilterList filters(mb);
    filters.Parse("*.*");
    olvex::FileScanSettings settings;
    settings.filters = &filters;
    settings.cookies_as_files = true;
    NoArchives archives;
    olvex::FileScanner scanner(reporter, Database(), settings, archives, mb);
    const bool known = scanner.CheckCookieFile(path);
    Check(events.found.size() == (known ? 1u : 0u));
    if (known) {
        const auto& [pest_id, location] = events.found.front();
        const auto pairs = olvex::ParseLocationString(location, mb, olvex::kUnlimitedPairs).pairs;
        Check(pairs.size() == 2 && pairs[1].value == path);
        const std::string& site = pairs[0].value;
        // The site lies inside the name, after its "@".
        const auto at = name.find('@');
        Check(at != std::string_view::npos && name.find(site, at + 1) != std::string_view::npos);
        const auto pest = Database().FindCookie(site);
        Check(pest && pest->pest_id == pest_id);
    }
    // The file scan of such a name checks the cookie and reports it the same.
    events.found.clear();
    const bool verdict = scanner.ScanFileWithVerdict(path);
    if (filters.Matches(path) && olvex::BuildCookieFileLocation(path, mb))
        Check(verdict == known && events.found.size() == (known ? 1u : 0u));
    else
        Check(!verdict && events.found.empty());
    return 0;
}

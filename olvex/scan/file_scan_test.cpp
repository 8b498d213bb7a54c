// The scan of one file on real files: identification by head CRC and MD5
// (the MD5 made once), which candidate decides, filters, cookies and the
// events around an archive's findings.
#include "olvex/scan/file_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "olvex/core/crc32.h"
#include "olvex/core/md5.h"
#include "olvex/scan/file_identification.h"
#include "olvex/scan/scan_test_support.h"
#include "olvex/zip/zip_test_support.h"
#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using scan_test::Content;
using scan_test::HeadCrc;
using scan_test::Hex32;
using scan_test::RecordingEvents;
using ::testing::ElementsAre;

using Bytes = std::vector<std::uint8_t>;

Md5Digest Md5Of(const Bytes& bytes) {
    Md5Digest digest{};
    CMD5Hasher().HashBuffer(bytes, digest);
    return digest;
}

TEST(SignatureMatchTest, Md5IsAskedAtMostOnceAndThePickDecides) {
    const Md5Digest content{1, 2, 3};
    const Md5Digest other{9};
    const std::vector<DatSignatureEntry> candidates = {
        {7, other, false, 11},    // MD5 differs
        {7, {}, false, 12},       // the CRC alone decides
        {7, content, true, 13},   // malformed: never matches
        {7, content, false, 14},  // MD5 equal
        {7, other, false, 15},
    };
    int asked = 0;
    const Md5Supplier md5 = [&]() -> std::optional<Md5Digest> {
        ++asked;
        return content;
    };
    EXPECT_EQ(MatchSignatureCandidates(candidates, md5, SignaturePick::kLast), 14);
    EXPECT_EQ(asked, 1);
    asked = 0;
    // The first one needs the MD5 to be passed over; 12 then decides.
    EXPECT_EQ(MatchSignatureCandidates(candidates, md5, SignaturePick::kFirst), 12);
    EXPECT_EQ(asked, 1);
    // A CRC-only candidate first: no MD5 is made at all.
    asked = 0;
    EXPECT_EQ(
        MatchSignatureCandidates(std::span(candidates).subspan(1), md5, SignaturePick::kFirst), 12);
    EXPECT_EQ(asked, 0);
    // An unreadable file matches only CRC-only candidates.
    EXPECT_EQ(MatchSignatureCandidates(
                  candidates, [] { return std::optional<Md5Digest>(); }, SignaturePick::kLast),
              12);
}

class FileScanTest : public ::testing::Test {
  protected:
    FileScanTest()
        : crc_pest_(Content(1, 3000)),
          md5_pest_(Content(2, 5000)),
          both_(Content(3, 100)),
          environment_((scratch_.path() / "tmp").string(), '/'),
          filters_(MultiByteText::SingleByte()) {
        std::filesystem::create_directories(scratch_.path() / "tmp");
        const std::string defs =
            "block 2004-03-15 09:40:00\n"
            "pest 1001 \"Crc.Only\" \"Adware\"\n"
            "pest 1002 \"Crc.Md5\" \"Spyware\"\n"
            "pest 1003 \"Cookie\" \"Tracking Cookie\"\n"
            "signature 1001 crc " +
            Hex32(HeadCrc(crc_pest_)) +
            "\n"
            "signature 1002 crc " +
            Hex32(HeadCrc(md5_pest_)) + " md5 " + DigestToHex(Md5Of(md5_pest_)) +
            "\n"
            // Two signatures that both match one file: the CRC alone, then
            // the MD5.
            "signature 1001 crc " +
            Hex32(HeadCrc(both_)) +
            "\n"
            "signature 1002 crc " +
            Hex32(HeadCrc(both_)) + " md5 " + DigestToHex(Md5Of(both_)) +
            "\n"
            "cookie 1003 \"tracker.example\"\n";
        database_ = scan_test::LoadDefinitions((scratch_.path() / "defs").string(), defs);
        filters_.Parse("*.*");
        settings_.filters = &filters_;
        settings_.certainty = "Confirmed";
    }

    FileScanner Scanner() {
        reporter_ = std::make_unique<ScanReporter>(&events_, nullptr, detected_);
        return FileScanner(*reporter_, *database_, settings_, environment_,
                           MultiByteText::SingleByte());
    }

    std::vector<std::string> Detections() const { return events_.Only({"PestDetected"}); }

    testing::ScratchDir scratch_;
    Bytes crc_pest_, md5_pest_, both_;
    FolderArchiveEnvironment environment_;
    ScanFilterList filters_;
    FileScanSettings settings_;
    std::unique_ptr<CDatDatabase> database_;
    RecordingEvents events_;
    DetectedItems detected_;
    std::unique_ptr<ScanReporter> reporter_;
};

TEST_F(FileScanTest, IdentifiesByHeadCrcAndMd5) {
    const std::string crc = scratch_.Write("crc.exe", crc_pest_);
    const std::string md5 = scratch_.Write("md5.dll", md5_pest_);
    Bytes lookalike = md5_pest_;
    lookalike[4000] ^= 1;  // same first 2047 bytes, other MD5
    const std::string other = scratch_.Write("other.dll", lookalike);
    const std::string clean = scratch_.Write("clean.txt", "hello");
    auto scanner = Scanner();
    for (const auto& path : {crc, md5, other, clean})
        scanner.ScanFile(path);
    EXPECT_THAT(Detections(), ElementsAre("PestDetected 1001 File \"" + crc + "\"",
                                          "PestDetected 1002 File \"" + md5 + "\""));
    EXPECT_EQ(events_.Only({"StartingItem"}).size(), 4u);
    EXPECT_EQ(events_.Only({"FinishedItem"}).size(), 4u);
}

TEST_F(FileScanTest, FolderScansTakeTheLastMatchAndVerdictsTheFirst) {
    const std::string path = scratch_.Write("both.exe", both_);
    auto scanner = Scanner();
    scanner.ScanFile(path);
    EXPECT_TRUE(scanner.ScanFileWithVerdict(path));
    EXPECT_THAT(Detections(), ElementsAre("PestDetected 1002 File \"" + path + "\"",
                                          "PestDetected 1001 File \"" + path + "\""));
    EXPECT_EQ(scanner.IdentifyFile(path)->pest_id, 1001);
    EXPECT_EQ(scanner.IdentifyFile(path)->name, "Crc.Only");
    EXPECT_FALSE(scanner.IdentifyFile(scratch_.File("missing.exe")));
}

TEST_F(FileScanTest, FiltersAndUnnameablePathsGiveNoEvents) {
    const std::string exe = scratch_.Write("crc.exe", crc_pest_);
    const std::string txt = scratch_.Write("crc.txt", crc_pest_);
    const std::string odd = scratch_.Write("crc\x01.exe", crc_pest_);
    filters_.Parse("*.*;!*.TXT");
    auto scanner = Scanner();
    scanner.ScanFile(txt);
    scanner.ScanFile(odd);
    EXPECT_TRUE(events_.lines.empty());
    scanner.ScanFile(exe);
    EXPECT_EQ(Detections().size(), 1u);
}

TEST_F(FileScanTest, CookieFilesAreCookiesNotFiles) {
    // Content that a file signature knows, under a cookie's name.
    const std::string cookie = scratch_.Write("user@tracker.example[1].txt", crc_pest_);
    const std::string unknown = scratch_.Write("user@elsewhere[1].txt", "x");
    const std::string name(FileNameOfPath(cookie, MultiByteText::SingleByte()));
    auto scanner = Scanner();
    scanner.ScanFile(cookie);
    EXPECT_THAT(events_.lines,
                ElementsAre("StartingItem File \"" + cookie + "\" Cookie \"" + name + "\"",
                            "FinishedItem File \"" + cookie + "\" Cookie \"" + name + "\""));
    events_.lines.clear();
    settings_.cookies_as_files = true;
    auto as_files = Scanner();
    EXPECT_TRUE(as_files.ScanFileWithVerdict(cookie));
    EXPECT_FALSE(as_files.ScanFileWithVerdict(unknown));
    EXPECT_THAT(Detections(), ElementsAre("PestDetected 1003 Cookie \"tracker.example\" File \"" +
                                          cookie + "\""));
    // The site part ends at the last "[", or at the last "." without one.
    events_.lines.clear();
    const std::string plain = scratch_.Write("bob@tracker.example.txt", "x");
    EXPECT_TRUE(as_files.CheckCookieFile(plain));
    EXPECT_FALSE(as_files.CheckCookieFile(scratch_.Write("tracker.example.txt", "x")));
}

TEST_F(FileScanTest, ArchiveFindingsComeAfterTheArchivesEvents) {
    const std::string path =
        scratch_.Write("a.zip", zip_test::BuildArchive({zip_test::Deflated("x.exe", crc_pest_)}));
    auto scanner = Scanner();
    EXPECT_FALSE(scanner.ScanFileWithVerdict(path));
    const std::string inside = "Scanning inside Zip \"" + path + "\"";
    EXPECT_THAT(events_.lines,
                ElementsAre("StartingItem File \"" + path + "\"", "StartingItem " + inside,
                            "ShouldScanContinue", "FinishedItem " + inside,
                            "VerboseInformation IScanner::DetectWithExclusionCheck invoked.",
                            "PestDetected 1001 File \"" + path + "|x.exe\" Certainty \"Confirmed\"",
                            "FinishedItem File \"" + path + "\""));
    // A file that merely starts with "PK" is tried and gives nothing.
    events_.lines.clear();
    scanner.ScanFile(scratch_.Write("pk.exe", "PK not really"));
    EXPECT_EQ(events_.Only({"PestDetected"}).size(), 0u);
}

}  // namespace
}  // namespace olvex

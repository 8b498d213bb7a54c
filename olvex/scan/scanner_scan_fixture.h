// The fixture of the Windows tests of the scanner's memory, registry and
// asynchronous scans: a scanner with a recording callback over a pest
// database of the test's own, definitions published per test, and unique
// copies of the stand-in pests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/crc32.h"
#include "olvex/core/dat_test_support.h"
#include "olvex/core/little_endian.h"
#include "olvex/core/md5.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/process_dat_database.h"
#include "olvex/scan/scanner_com_test_support.h"
#include "testing/scratch_dir.h"
#include "testing/test_programs.h"

namespace olvex::scan_test {

inline std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// A copy of a built test program whose header carries a time stamp of its
// own: its memory and file signatures then belong to it alone, whatever
// copies of the same program other tests run meanwhile.
inline std::string UniqueCopy(const ::olvex::testing::ScratchDir& dir, const std::string& program,
                              const std::string& name) {
    static std::atomic<std::uint32_t> counter{0};
    std::vector<unsigned char> bytes =
        ::olvex::testing::ReadFileBytes(::olvex::testing::TestProgramPath(program));
    const auto pe = LoadLe32({bytes.data(), bytes.size()}, 0x3C);
    if (!pe || *pe + 12 > bytes.size()) {
        ADD_FAILURE() << program << " is no program";
        return {};
    }
    // Distinct for every copy of this run (the counter) and from the copies of
    // any other test process running now (its id): mixing in the clock could
    // make two copies equal, and then one copy's signature names the other.
    const std::uint32_t stamp = ((GetCurrentProcessId() >> 2) << 16) | (++counter & 0xFFFF);
    for (int i = 0; i < 4; ++i)
        bytes[*pe + 8 + i] = static_cast<unsigned char>(stamp >> (8 * i));
    return dir.Write(name, bytes);
}

inline std::string FileSignature(std::int32_t pest_id, const std::string& path) {
    std::uint32_t crc = 0;
    EXPECT_TRUE(GetFileHeadCrc32(path, crc)) << path;
    Md5Digest digest{};
    EXPECT_TRUE(CMD5Hasher().HashFileByName(path, digest)) << path;
    return "signature " + std::to_string(pest_id) + " crc " + Hex(crc) + " md5 " +
           DigestToHex(digest) + "\n";
}

class FixedOsVersion : public OsVersionSource {
  public:
    explicit FixedOsVersion(std::optional<OsVersion> version) : version_(version) {}
    std::optional<OsVersion> Query() const override { return version_; }

  private:
    std::optional<OsVersion> version_;
};

class ScannerScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        database_.emplace(&folders_);
        ASSERT_EQ(com::CreateEngineObject(CLSID_Scanner, scanner_.Put()), S_OK);
        ASSERT_EQ(scanner_->put_Callback(&sink_), S_OK);
    }
    void TearDown() override {
        scanner_.Reset();
        EXPECT_EQ(sink_.References(), 0u);
        database_.reset();
        CoUninitialize();
    }

    // Publishes the pests and their records, and initialises the scanner.
    void Define(const std::string& records) {
        const std::string folder = dir_.path().string() + "\\defs";
        ::olvex::testing::PublishSource(folder,
                                        "block 2004-03-15 09:40:00\n"
                                        "pest 2001 \"Test.One\" \"Adware\"\n"
                                        "pest 2002 \"Test.Two\" \"Spyware\"\n"
                                        "pest 2003 \"Test.Three\" \"Trojan\"\n" +
                                            records);
        VARIANT_BOOL ok = 7;
        ASSERT_EQ(scanner_->Initialize(Bstr(folder), &ok), S_OK);
        ASSERT_EQ(ok, VARIANT_TRUE);
    }
    bool ScanMemory(bool modules) {
        scanner_->put_vbMemScanModules(modules ? VARIANT_TRUE : VARIANT_FALSE);
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanMemory(&ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    bool ScanRegistry(bool all_users) {
        scanner_->put_vbScanAllUsers(all_users ? VARIANT_TRUE : VARIANT_FALSE);
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(scanner_->ScanRegistry(&ok), S_OK);
        return ok == VARIANT_TRUE;
    }
    std::wstring LastError() { return LastErrorText(scanner_.Get()); }
    LONG LastCode() { return LastErrorCode(scanner_.Get()); }
    // The events about one location (any line that names it).
    WideLines About(const std::wstring& location) const {
        WideLines lines;
        for (const auto& line : sink_.Lines()) {
            if (line.find(location) != std::wstring::npos)
                lines.push_back(line);
        }
        return lines;
    }

    ::olvex::testing::ScratchDir dir_;
    ::olvex::testing::FakeSpecialFolders folders_;
    std::optional<ScopedProcessDatDatabase> database_;
    RecordingSink sink_;
    com::ComPtr<IScanner> scanner_;
};

}  // namespace olvex::scan_test

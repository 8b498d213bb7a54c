#include "olvex/core/definition_records.h"

#include <gtest/gtest.h>

#include "olvex/core/little_endian.h"

namespace olvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename Record, typename Append>
Bytes Encode(const std::vector<Record>& records, Append append) {
    Bytes payload;
    for (const auto& record : records)
        EXPECT_TRUE(append(payload, record));
    return payload;
}

std::array<std::uint8_t, 16> Md5Of(std::uint8_t first) {
    std::array<std::uint8_t, 16> md5{};
    for (std::size_t i = 0; i < md5.size(); ++i)
        md5[i] = static_cast<std::uint8_t>(first + i);
    return md5;
}

TEST(DefinitionRecords, RoundTripEveryKind) {
    const std::vector<PestInfoRecord> pests = {
        {1001, "Olvex.Test.Alpha", "Adware", ""},
        {-1001, "Olvex.Test.Alpha", "Adware", "withdrawn"},
        {7, "", "", ""},
    };
    const auto pest_payload = Encode(pests, AppendPestRecord);
    const auto decoded_pests = DecodePestRecords(pest_payload, 3);
    ASSERT_TRUE(decoded_pests.ok()) << decoded_pests.error;
    EXPECT_EQ(decoded_pests.records, pests);

    const std::vector<SignatureRecord> signatures = {
        {5, 0x11223344, 0, Md5Of(0xA0), "alpha.exe"},
        {6, 0, 0xCAFEBABE, {}, ""},
        {-5, 0x11223344, 0x55667788, Md5Of(1), ""},
    };
    const auto signature_payload = Encode(signatures, AppendSignatureRecord);
    const auto decoded_signatures = DecodeSignatureRecords(signature_payload, 3);
    ASSERT_TRUE(decoded_signatures.ok()) << decoded_signatures.error;
    EXPECT_EQ(decoded_signatures.records, signatures);

    const std::vector<LocationRecord> locations = {
        {3, R"(key "HKEY_CURRENT_USER\Software\X" value "v" data "d")"},
        {-3, R"(file "%WINDOWS%\x.exe")"},
        {4, ""},
    };
    const auto location_payload = Encode(locations, AppendLocationRecord);
    const auto decoded_locations = DecodeLocationRecords(location_payload, 3);
    ASSERT_TRUE(decoded_locations.ok()) << decoded_locations.error;
    EXPECT_EQ(decoded_locations.records, locations);

    // Fewer records than the payload holds: the rest is not looked at.
    EXPECT_EQ(DecodeLocationRecords(location_payload, 1).records.size(), 1u);
    // A count of 0 or below means none.
    for (const std::int32_t none : {0, -1, -2147483647 - 1}) {
        EXPECT_TRUE(DecodePestRecords(pest_payload, none).records.empty());
        EXPECT_TRUE(DecodeLocationRecords({}, none).ok());
    }
}

TEST(DefinitionRecords, LayoutOfAPestRecord) {
    Bytes payload;
    ASSERT_TRUE(AppendPestRecord(payload, {-9, "ab", "c", "n"}));
    const Bytes expected = {0xF7, 0xFF, 0xFF, 0xFF,              // id -9
                            0,    0,    0,    0,                 // name at 0
                            3,    0,    0,    0,                 // category at 3
                            0,    0,    0,    0,    0, 0, 0, 0,  // unused
                            5,    0,    0,    0,                 // variable part: 5 bytes
                            'a',  'b',  0,    'c',  0,           //
                            'n',  0};                            // the skipped text
    EXPECT_EQ(payload, expected);
}

// A small record of each kind, to be broken field by field.
Bytes OnePest() {
    Bytes payload;
    AppendPestRecord(payload, {1, "name", "cat", ""});
    return payload;
}
Bytes OneSignature() {
    Bytes payload;
    AppendSignatureRecord(payload, {1, 0x1234, 0, Md5Of(9), ""});
    return payload;
}
Bytes OneLocation() {
    Bytes payload;
    AppendLocationRecord(payload, {1, R"(cookie "a@b")"});
    return payload;
}

TEST(DefinitionRecords, MalformedRecordsAreErrors) {
    enum Kind { kPest, kSignature, kLocation };
    struct Case {
        const char* what;
        Kind kind;
        Bytes payload;
        std::int32_t count;
    };
    const auto with = [](Bytes payload, std::size_t offset, std::uint32_t value) {
        StoreLe(std::span(payload), offset, value);
        return payload;
    };
    const auto cut = [](Bytes payload, std::size_t size) {
        payload.resize(size);
        return payload;
    };
    const auto pest = OnePest();            // 24 + "name\0cat\0" (9) + "\0"
    const auto signature = OneSignature();  // 32 + 16 + "\0"
    const auto location = OneLocation();    // 8 + 12
    const Case cases[] = {
        {"pest: fixed part cut", kPest, cut(pest, 23), 1},
        {"pest: variable part past the end", kPest, with(pest, 20, 11), 1},
        {"pest: variable length near 4 GiB", kPest, with(pest, 20, 0xFFFFFFFF), 1},
        {"pest: name offset outside", kPest, with(pest, 4, 9), 1},
        {"pest: name offset huge", kPest, with(pest, 4, 0xFFFFFFF0), 1},
        {"pest: category offset outside", kPest, with(pest, 8, 40), 1},
        {"pest: category runs out of the variable part", kPest, with(pest, 20, 8), 1},
        {"pest: closing text not terminated", kPest, cut(pest, 33), 1},
        {"pest: more records counted than present", kPest, pest, 2},
        {"pest: a huge count in a tiny payload", kPest, pest, 0x7FFFFFFF},
        {"signature: fixed part cut", kSignature, cut(signature, 31), 1},
        {"signature: variable part past the end", kSignature, with(signature, 28, 18), 1},
        {"signature: MD5 runs out of the variable part", kSignature, with(signature, 24, 1), 1},
        {"signature: MD5 offset huge", kSignature, with(signature, 24, 0xFFFFFFFF), 1},
        {"signature: closing text not terminated", kSignature, cut(signature, 48), 1},
        {"signature: a huge count", kSignature, signature, 0x7FFFFFFF},
        {"location: fixed part cut", kLocation, cut(location, 7), 1},
        {"location: text past the end", kLocation, with(location, 4, 13), 1},
        {"location: text length near 4 GiB", kLocation, with(location, 4, 0xFFFFFFFF), 1},
        {"location: NUL inside the text", kLocation, with(location, 8, 0x6F6F6300), 1},
        {"location: a huge count", kLocation, location, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        std::string error;
        bool empty = false;
        switch (c.kind) {
            case kPest: {
                const auto list = DecodePestRecords(c.payload, c.count);
                error = list.error;
                empty = list.records.empty();
                break;
            }
            case kSignature: {
                const auto list = DecodeSignatureRecords(c.payload, c.count);
                error = list.error;
                empty = list.records.empty();
                break;
            }
            case kLocation: {
                const auto list = DecodeLocationRecords(c.payload, c.count);
                error = list.error;
                empty = list.records.empty();
                break;
            }
        }
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_TRUE(empty) << c.what;
    }
    // The error names the record and where it starts.
    Bytes two = OnePest();
    const auto second = two.size();
    two.insert(two.end(), 10, 0);
    EXPECT_EQ(DecodePestRecords(two, 2).error, "record 1 at offset " + std::to_string(second) +
                                                   ": the payload ends inside the record");
}

TEST(DefinitionRecords, ShortVariablePartMeansNoMd5) {
    // Variable parts of 0 to 15 bytes carry no MD5, whatever the offset says:
    // the record says so, since its signature must then never match.
    for (std::uint32_t length = 0; length < 16; ++length) {
        Bytes payload(32, 0);
        StoreLe(std::span(payload), 0, std::uint32_t{4});
        StoreLe(std::span(payload), 4, std::uint32_t{0xABCD});
        StoreLe(std::span(payload), 24, std::uint32_t{0xFFFFFF00});
        StoreLe(std::span(payload), 28, length);
        payload.insert(payload.end(), length, 0xEE);
        payload.push_back(0);
        const auto list = DecodeSignatureRecords(payload, 1);
        ASSERT_TRUE(list.ok()) << length << ": " << list.error;
        EXPECT_EQ(list.records[0].md5, (std::array<std::uint8_t, 16>{})) << length;
        EXPECT_TRUE(list.records[0].md5_malformed) << length;
        EXPECT_EQ(list.records[0].file_crc, 0xABCDu);
    }
    // The writer makes such records for fixtures, and they read back alike.
    const SignatureRecord malformed{7, 0x1234, 0, {}, "", true};
    Bytes written;
    ASSERT_TRUE(AppendSignatureRecord(written, malformed));
    EXPECT_EQ(DecodeSignatureRecords(written, 1).records, std::vector<SignatureRecord>{malformed});
    // From 16 bytes on, the MD5 sits at its offset.
    Bytes payload(32, 0);
    StoreLe(std::span(payload), 24, std::uint32_t{2});
    StoreLe(std::span(payload), 28, std::uint32_t{18});
    for (std::uint8_t i = 0; i < 18; ++i)
        payload.push_back(i);
    payload.push_back(0);
    const auto list = DecodeSignatureRecords(payload, 1);
    ASSERT_TRUE(list.ok()) << list.error;
    EXPECT_EQ(list.records[0].md5, Md5Of(2));
    EXPECT_FALSE(list.records[0].md5_malformed);
}

TEST(DefinitionRecords, TextsWithNulCannotBeWritten) {
    Bytes payload{1, 2, 3};
    EXPECT_FALSE(AppendPestRecord(payload, {1, std::string("a\0b", 3), "c", ""}));
    EXPECT_FALSE(AppendPestRecord(payload, {1, "a", "c", std::string(1, '\0')}));
    EXPECT_FALSE(AppendSignatureRecord(payload, {1, 1, 0, {}, std::string("x\0", 2)}));
    EXPECT_FALSE(AppendLocationRecord(payload, {1, std::string("file \"\0\"", 8)}));
    EXPECT_EQ(payload, (Bytes{1, 2, 3}));
}

TEST(LocationEntryText, KindByFirstWord) {
    const std::pair<const char*, LocationKind> cases[] = {
        {R"(key "HKCU\x")", LocationKind::kKey},
        {"keyboard", LocationKind::kKey},
        {R"(exclude "x")", LocationKind::kExclude},
        {R"(cookie "a@b")", LocationKind::kCookie},
        {R"(file "c:\x")", LocationKind::kFile},
        {R"(folder "c:\x")", LocationKind::kFolder},
        {R"(Folder "c:\x")", LocationKind::kUnknown},
        {R"( file "c:\x")", LocationKind::kUnknown},
        {"", LocationKind::kUnknown},
    };
    for (const auto& [text, kind] : cases)
        EXPECT_EQ(LocationKindOf(text), kind) << text;
}

TEST(LocationEntryText, KeyParts) {
    const std::pair<const char*, KeyEntry> cases[] = {
        {R"(key "HKCU\Software\X")", {R"(HKCU\Software\X)", "", ""}},
        {R"(key "HKCU\X" value "Run")", {R"(HKCU\X)", "Run", ""}},
        {R"(key "HKCU\X" value "Run" data "c:\a b.exe")", {R"(HKCU\X)", "Run", R"(c:\a b.exe)"}},
        {R"(key "HKCU\X" value "" data "d")", {R"(HKCU\X)", "", "d"}},
        {R"(key "HKCU\X" data "d")", {R"(HKCU\X)", "", "d"}},
        // The value may hold the word data as long as no quote-blank-data follows it.
        {R"(key "HKCU\X" value "mydata")", {R"(HKCU\X)", "mydata", ""}},
        {R"(key "HKCU\X" value "Run" data "x" )", {R"(HKCU\X)", "Run", "x"}},
        {R"(key "HKCU\X" value "a b " )", {R"(HKCU\X)", "a b ", ""}},
        {R"(key "HKCU\X" value "Run"")", {R"(HKCU\X)", "Run", ""}},
        // A data text that holds the word value is taken for the value when no
        // value stands before it; the publisher always writes the value then.
        {R"(key "HKCU\X" data "value")", {R"(HKCU\X)", "", ""}},
        {R"(key "HKCU\X)", {R"(HKCU\X)", "", ""}},
        {"key", {"", "", ""}},
        {R"(key "HKCU\X" value)", {R"(HKCU\X)", "", ""}},
    };
    for (const auto& [text, entry] : cases) {
        const auto parsed = ParseKeyEntry(text);
        EXPECT_EQ(parsed.key, entry.key) << text;
        EXPECT_EQ(parsed.value, entry.value) << text;
        EXPECT_EQ(parsed.data, entry.data) << text;
    }
}

TEST(LocationEntryText, CookieAndPathParts) {
    EXPECT_EQ(ParseCookieEntry(R"(cookie "user@ads.example")"), "user@ads.example");
    EXPECT_EQ(ParseCookieEntry(R"(cookie  " user@ads.example " )"), "user@ads.example");
    EXPECT_EQ(ParseCookieEntry("cookie user@ads"), "");

    const std::pair<const char*, PathEntry> cases[] = {
        {R"(file "%WINDOWS%\x.exe")", {R"(%WINDOWS%\x.exe)", false}},
        {R"(folder "%PROGRAM_FILES%\Pest")", {R"(%PROGRAM_FILES%\Pest)", true}},
        {R"(folder "%PROGRAM_FILES%\Pest" )", {R"(%PROGRAM_FILES%\Pest)", true}},
        // A file whose path mentions "folder" is still a file.
        {R"(file "C:\My folder\x.exe")", {R"(C:\My folder\x.exe)", false}},
        {"file", {"", false}},
    };
    for (const auto& [text, entry] : cases)
        EXPECT_EQ(ParsePathEntry(text), entry) << text;
}

}  // namespace
}  // namespace olvex

#include "olvex/core/language_file.h"

#include <gtest/gtest.h>

#include "testing/scratch_dir.h"

namespace olvex {
namespace {

using testing::ScratchDir;

constexpr const char kLanguages[] =
    "; pest texts\r\n"
    "  [ENGLISH] ; the default\r\n"
    "Spyware_Risk = High Risk\r\n"
    "Adware_Risk=Medium: shows ads\r\n"
    "Ware_Risk=Low\r\n"
    "note Dialer_Advice=not a key line\r\n"
    "Dialer_Advice=Disconnect=then remove\r\n"
    " [Francais]\r\n"
    "Trojan_Threat=still in English, since this line does not begin with [\r\n"
    "[Deutsch]\r\n"
    "Trojan_Threat=Hoch\r\n"
    "Spyware_Risk=Hoch\r\n";

LanguageText Find(const std::string& path, const char* language, const char* category,
                  const char* kind) {
    return FindLanguageText(path, language, category, kind, MultiByteText::SingleByte());
}

TEST(LanguageFile, FindsTheExactKeyInTheLanguagesSection) {
    ScratchDir scratch;
    const std::string path = scratch.Write("langv5.dat", kLanguages);
    struct Case {
        const char* language;
        const char* category;
        const char* kind;
        LanguageTextStatus status;
        const char* text;
    } const cases[] = {
        {"English", "Spyware", "Risk", LanguageTextStatus::kFound, "high risk"},
        {"english", "ADWARE", "risk", LanguageTextStatus::kFound, "medium: shows ads"},
        // "Ware" is not "Adware": the key must be the whole text before "=".
        {"English", "Ware", "Risk", LanguageTextStatus::kFound, "low"},
        // A key found elsewhere on a line does not count; the text runs past
        // a second "=".
        {"English", "Dialer", "Advice", LanguageTextStatus::kFound, "disconnect=then remove"},
        {"English", "Trojan", "Threat", LanguageTextStatus::kFound,
         "still in english, since this line does not begin with ["},
        // A key only in a later section is not found.
        {"English", "Spyware", "Threat", LanguageTextStatus::kNoKey, ""},
        {"Deutsch", "Spyware", "Risk", LanguageTextStatus::kFound, "hoch"},
        {"Klingon", "Spyware", "Risk", LanguageTextStatus::kNoSection, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.language) + " " + c.category + "_" + c.kind);
        const LanguageText found = Find(path, c.language, c.category, c.kind);
        EXPECT_EQ(found.status, c.status);
        EXPECT_EQ(found.text, c.text);
    }
    EXPECT_EQ(Find(scratch.File("missing.dat"), "English", "Spyware", "Risk").status,
              LanguageTextStatus::kCannotOpen);
}

TEST(LanguageFile, OverlongLinesAreCutNotSplit) {
    ScratchDir scratch;
    // The tail of a long line would end the section, or give a text, if it
    // were read as a line of its own.
    const std::string ends_section = std::string(kLanguageLineLimit, 'x') + "[Other]";
    const std::string gives_text = std::string(kLanguageLineLimit, ' ') + "Adware_Risk=hidden";
    const std::string path =
        scratch.Write("langv5.dat", "[English]\n" + ends_section + "\n" + gives_text +
                                        "\nSpyware_Risk=found\nAdware_Risk=also found");
    EXPECT_EQ(Find(path, "English", "Spyware", "Risk").text, "found");
    EXPECT_EQ(Find(path, "English", "Adware", "Risk").text, "also found");
    // A key beyond the limit is not seen.
    const std::string cut_key =
        scratch.Write("cut.dat", "[English]\n" + std::string(kLanguageLineLimit - 4, ' ') +
                                     "Adware_Risk=beyond the limit\n");
    EXPECT_EQ(Find(cut_key, "English", "Adware", "Risk").status, LanguageTextStatus::kNoKey);
}

}  // namespace
}  // namespace olvex

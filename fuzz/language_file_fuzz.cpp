// The language file "langv5.dat" from hostile bytes: it arrives as an update
// download without a block header, so anything may be in it. The reader
// stays within one line's limit and gives a found text lower-cased (as the
// code page lowers it), without surrounding white space or a line break, and
// only for a language whose section the file holds.
//
// Input: the language, the category (each up to a NUL byte), one byte for
// the kind and the code page, then the file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "olvex/core/file_io.h"
#include "olvex/core/language_file.h"

namespace {

// Stops the run at the first broken promise, saying where.
void Check(bool condition, int line = __builtin_LINE()) {
    if (!condition) {
        std::fprintf(stderr, "check failed at line %d\n", line);
        std::abort();
    }
}

std::string FolderPath() {
    return "/tmp/olvex-language-fuzz-" + std::to_string(::getpid());
}

// The fuzzer's own folder, removed when it exits.
const std::string& Folder() {
    static const std::string folder = [] {
        std::filesystem::create_directories(FolderPath());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(FolderPath(), ignored);
        });
        return FolderPath();
    }();
    return folder;
}

std::string UpTo(FuzzedDataProvider& input, char end, std::size_t most) {
    std::string text;
    while (input.remaining_bytes() > 0 && text.size() < most) {
        const char c = input.ConsumeIntegral<char>();
        if (c == end)
            break;
        text.push_back(c);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string language = UpTo(input, '\0', 64);
    const std::string category = UpTo(input, '\0', 64);
    const auto selector = input.ConsumeIntegral<std::uint8_t>();
    static const char* const kKinds[] = {"Risk", "Advice", "Threat", "Risk"};
    const char* kind = kKinds[selector & 3];
    const bool single_byte = (selector & 4) == 0;
    const auto mb =
        single_byte ? olvex::MultiByteText::SingleByte() : olvex::MultiByteText::ForCodePage(932);
    const std::string file = input.ConsumeRemainingBytesAsString();

    const std::string path = Folder() + "/langv5.dat";
    // A machine that cannot keep the file (a full disk) has nothing to say
    // about the reader.
    if (olvex::WriteWholeFile(path, {reinterpret_cast<const std::uint8_t*>(file.data()),
                                     file.size()}) != olvex::FileError::kNone)
        return 0;
    const auto found = olvex::FindLanguageText(path, language, category, kind, mb);
    Check(found.status != olvex::LanguageTextStatus::kCannotOpen);
    if (found.status != olvex::LanguageTextStatus::kFound) {
        Check(found.text.empty());
        return 0;
    }
    // A text comes from inside a section of this language (looked for byte
    // by byte where no lead byte can shift a character's start).
    if (single_byte)
        Check(mb.Lower(file).find(mb.Lower("[" + language + "]")) != std::string::npos);
    Check(found.text.size() <= olvex::kLanguageLineLimit);
    Check(found.text.find('\n') == std::string::npos);
    Check(found.text == std::string(mb.Trim(found.text)));
    Check(found.text == mb.Lower(found.text));
    Check(olvex::FindLanguageText(Folder() + "/missing.dat", language, category, kind, mb).status ==
          olvex::LanguageTextStatus::kCannotOpen);
    return 0;
}

// A destination folder comes from the command line or the user's typing.
// The check answers one of its codes, and a folder it accepts is a local
// path that leaves room for the products below it.
#include <cstddef>
#include <cstdint>

#include "fuzz/setup_fuzz_support.h"
#include "setup/core/destination_path.h"
#include "setup/core/setup_text.h"

using namespace olvex::setup;
using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    DestinationContext context;
    context.windows_folder = u"C:\\WINDOWS";
    context.program_files_folder = u"C:\\Program Files";
    context.common_documents_folder = u"%SystemDrive%\\Documents and Settings";
    context.user_documents_folder = fuzzing::ConsumeText(input, 64);
    const uint32_t fixed_drives = input.ConsumeIntegral<uint32_t>();
    context.drive_type = [fixed_drives](char16_t letter) -> uint32_t {
        const int index = FoldCase(letter) - u'a';
        return index >= 0 && index < 26 && (fixed_drives >> index & 1) ? kDriveFixed : 2;
    };
    context.lookups.expand = [](std::u16string_view text) -> std::optional<std::u16string> {
        std::u16string out(text);
        const std::u16string macro = u"%SystemDrive%";
        if (const size_t at = out.find(macro); at != std::u16string::npos) {
            out.replace(at, macro.size(), u"C:");
        }
        return out;
    };
    context.lookups.short_form = [](std::u16string_view text) -> std::optional<std::u16string> {
        if (text.size() % 3 == 0) {
            return std::nullopt;
        }
        return std::u16string(text.substr(0, text.size() / 2));
    };
    context.installed_folders = {fuzzing::ConsumeText(input, 32)};
    const bool check_others = input.ConsumeBool();
    const std::u16string path = fuzzing::ConsumeText(input, 1100);

    const DestinationCode code = ValidateDestinationPath(path, check_others, context);
    Check(code <= kDestinationOtherProduct);
    if (code == kDestinationAccepted) {
        Check(path.size() < util::kMaxPath);
        Check(path.find(u'%') == std::u16string::npos);
        Check(path.find(u':') != std::u16string::npos);
    }
    fuzzing::NullHost host;
    SetupLogger logger(host);
    Check(ValidateDestinationPath(path, check_others, context, logger) == code);
    return 0;
}

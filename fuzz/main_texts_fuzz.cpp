// The main program's readers of outside texts from hostile bytes: its
// settings file, its machine-id file, its command line, and the colours and
// digit grouping it reads from texts. Nothing reads past its input, and:
// settings written read back the same; a machine id is never empty and one
// line; requests are 0 or 1 and a document is a plain word; a colour fits a
// COLORREF; a grouping is digits of one to nine, or 0.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/common/program_settings.h"
#include "client/main/command_line.h"
#include "client/main/text_values.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool NamesAKey(std::string_view text) {
    for (const char* key : {"errorsound", "donesound", "prevresearch", "guid", "truncate"}) {
        if (text.find(key) != std::string_view::npos)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    olvex::ProgramSettings read;
    olvex::ApplyProgramSettingsText(text, read);
    Check(!read.guid || !read.guid->empty());
    if (!read.guid || !NamesAKey(*read.guid)) {
        olvex::ProgramSettings back;
        olvex::ApplyProgramSettingsText(olvex::FormatProgramSettings(read), back);
        Check(back.errorsound == (read.errorsound != 0 ? 1 : 0));
        Check(back.donesound == (read.donesound != 0 ? 1 : 0));
        Check(back.prevresearch == (read.prevresearch != 0 ? 1 : 0));
        Check(back.truncate == (read.truncate != 0 ? 1 : 0));
        Check(back.guid == read.guid);
    }

    const auto id = olvex::ParseMachineIdText(text);
    Check(!id || (!id->empty() && id->size() <= size && id->find('\n') == std::string::npos));

    std::vector<std::string> parameters;
    for (std::size_t start = 0; start <= size;) {
        const std::size_t end = text.find('\n', start);
        parameters.emplace_back(
            text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    const auto command_line = olvex::ParseGorsewatch5CommandLine(parameters);
    const auto& requests = command_line.requests();
    for (const int request : {requests.scan, requests.show_quarantine, requests.show_exclusions})
        Check(request == 0 || request == 1);
    if (const auto& file = command_line.file_name())
        Check(!file->empty() && file->front() != '/' && file->front() != '-');

    Check(olvex::ColorFromText(text) <= 0xFFFFFFu);
    const unsigned grouping = olvex::GroupingFromLocaleText(text);
    Check(grouping <= 999999999u);
    for (unsigned rest = grouping; rest != 0; rest /= 10)
        Check(rest % 10 <= 9);
    return 0;
}

#include "setup/core/destination_path.h"

#include "setup/core/setup_logger.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {
namespace {

bool IsLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsBareRoot(std::u16string_view path) {
    return path == u"\\" || (path.size() == 2 && IsLetter(path[0]) && path[1] == u':') ||
           (path.size() == 3 && IsLetter(path[0]) && path[1] == u':' && path[2] == u'\\');
}

}  // namespace

DestinationCode ValidateDestinationPath(std::optional<std::u16string_view> given,
                                        bool check_other_products,
                                        const DestinationContext& context) {
    if (!given) {
        return kDestinationEmpty;
    }
    const std::u16string_view path = *given;
    if (path.size() >= kMaxDestinationText) {
        return kDestinationTooLong;
    }
    size_t start = 0;
    const bool quoted = !path.empty() && path[0] == u'"';
    if (quoted) {
        if (path.size() == 1) {
            return kDestinationSyntax;
        }
        if (path[1] == u'"') {
            return path.size() == 2 ? kDestinationEmpty : kDestinationSyntax;
        }
        start = 1;
    }
    if (path.empty()) {
        return kDestinationEmpty;
    }

    bool closed = false;
    bool network = false;
    bool long_prefix = false;
    bool has_percent = false;
    std::optional<char16_t> drive;
    char16_t previous = 0;
    size_t body_end = path.size();
    for (size_t i = start; i < path.size(); ++i) {
        const char16_t c = path[i];
        const size_t position = i - start;
        if (closed) {
            return kDestinationSyntax;
        }
        switch (c) {
            case u'"':
                closed = true;
                body_end = i;
                break;
            case u'%':
                has_percent = true;
                break;
            case u'*':
            case u'/':
            case u';':
            case u'<':
            case u'>':
            case u'|':
                return kDestinationSyntax;
            case u':':
                if (position == 1 && IsLetter(previous)) {
                    drive = previous;
                } else if (position == 5 && IsLetter(previous) &&
                           path.substr(start, 4) == u"\\\\?\\") {
                    drive = previous;
                    network = false;
                } else {
                    return kDestinationSyntax;
                }
                break;
            case u'?':
                if (!(position == 2 && path.substr(start, 2) == u"\\\\")) {
                    return kDestinationSyntax;
                }
                break;
            case u'\\':
                if (previous == u'\\') {
                    if (position != 1) {
                        return kDestinationSyntax;
                    }
                    network = true;
                } else if (previous == u'?') {
                    long_prefix = true;
                }
                break;
            default:
                break;
        }
        previous = c;
    }
    if (quoted != closed) {
        return kDestinationSyntax;
    }

    std::u16string_view folder = path.substr(start, body_end - start);
    if (long_prefix) {
        folder.remove_prefix(4);
    }
    if (folder.empty()) {
        return kDestinationSyntax;
    }
    if (IsBareRoot(folder)) {
        return kDestinationBareRoot;
    }
    const auto lies_in = [&](const std::u16string& reference) {
        return util::ComparePaths(folder, reference, false, context.lookups);
    };
    const auto is = [&](const std::u16string& reference) {
        return util::ComparePaths(folder, reference, true, context.lookups);
    };
    if (lies_in(context.windows_folder)) {
        return kDestinationInWindows;
    }
    if (!context.program_files_folder.empty()) {
        const std::u16string& program_files = context.program_files_folder;
        if (is(program_files) || is(program_files + u"\\") || is(program_files + u"\\.")) {
            return kDestinationProgramFiles;
        }
    }
    if (lies_in(context.common_documents_folder) || lies_in(context.user_documents_folder)) {
        return kDestinationInDocuments;
    }
    // "\\?\C:\x" names a local folder but passes the name to the device
    // as it is: the products' own installers and the later checks read it
    // differently. Refused like the other device and network forms.
    if (network || long_prefix) {
        return kDestinationNotLocalFixed;
    }
    if (drive && (!context.drive_type || context.drive_type(*drive) != kDriveFixed)) {
        return kDestinationNotLocalFixed;
    }
    if (has_percent) {
        return kDestinationHasMacro;
    }
    // A relative path ("Suite\X", "\Suite") would land wherever setup runs.
    if (!drive) {
        return kDestinationNotLocalFixed;
    }
    // The products' folders and files go below the destination in buffers
    // of 260 characters.
    if (folder.size() + context.reserve >= util::kMaxPath) {
        return kDestinationTooLong;
    }
    if (check_other_products) {
        for (const std::u16string& installed : context.installed_folders) {
            if (!installed.empty() && is(installed)) {
                return kDestinationOtherProduct;
            }
        }
    }
    return kDestinationAccepted;
}

DestinationCode ValidateDestinationPath(std::optional<std::u16string_view> path,
                                        bool check_other_products,
                                        const DestinationContext& context, SetupLogger& logger) {
    const DestinationCode code = ValidateDestinationPath(path, check_other_products, context);
    if (code != kDestinationAccepted) {
        const MessageEntry entry{msg::kDestinationRefused,
                                 std::u16string(path.value_or(std::u16string_view{})), 0};
        ReportMessage(logger, 3, 3, code, {&entry, 1});
    }
    return code;
}

}  // namespace olvex::setup

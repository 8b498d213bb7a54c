#include "setup/core/setup_options.h"

#include "setup/core/command_line.h"
#include "setup/core/setup_logger.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"

namespace olvex::setup {
namespace {

bool IsSwitchStart(char16_t c) {
    return c == u'-' || c == u'/' || c == u'\\';
}

// The value of a switch "<name>=<value>" (the name without its leading
// character), or false when the argument is not that switch.
bool SwitchValue(std::u16string_view body, std::u16string_view name, std::u16string_view& value) {
    if (body.size() <= name.size() || body[name.size()] != u'=' || !StartsWithNoCase(body, name)) {
        return false;
    }
    value = body.substr(name.size() + 1);
    return true;
}

}  // namespace

SetupMode ModeFromFileName(std::u16string_view file_name) {
    if (EqualsNoCase(file_name, u"xjuninst.exe")) {
        return kModeUninstall;
    }
    if (EqualsNoCase(file_name, u"trustadd.exe")) {
        return kModeTrustList;
    }
    if (StartsWithNoCase(file_name, u"xjcu_")) {
        return kModeCleanup;
    }
    return kModeInstall;
}

SetupOptions::SetupOptions(std::u16string_view module_name) : mode(ModeFromFileName(module_name)) {}

void SetupOptions::Apply(std::u16string_view argument) {
    const std::u16string_view body = argument.substr(1);
    std::u16string_view value;
    const auto is = [&](std::u16string_view name) { return EqualsNoCase(body, name); };
    if (is(u"Install") || is(u"i")) {
        mode = kModeInstall;
    } else if (is(u"Uninstall") || is(u"u")) {
        mode = kModeUninstall;
    } else if (is(u"Cleanup") || is(u"c")) {
        mode = kModeCleanup;
    } else if (is(u"TrustList") || is(u"t")) {
        mode = kModeTrustList;
    } else if (is(u"Silent")) {
        display_level = 0;
    } else if (SwitchValue(body, u"DisplayLevel", value)) {
        display_level = ParseSignedDecimal(value);
    } else if (SwitchValue(body, u"LogLevel", value)) {
        log_level = ParseSignedDecimal(value);
    } else if (is(u"NoScan")) {
        scan = false;
    } else if (is(u"NoUpdateFromWeb")) {
        update_from_web = false;
    } else if (is(u"NoUpdateFirewall")) {
        update_firewall = false;
    } else if (is(u"NoProductCheck") || is(u"IgnoreOtherAV")) {
        product_check = false;
    } else if (is(u"NoUninstallInfo")) {
        uninstall_info = false;
    } else if (is(u"NoProgramGroup")) {
        program_group = false;
    } else if (is(u"NoReboot")) {
        reboot = false;
    } else if (SwitchValue(body, u"Path", value) || SwitchValue(body, u"ProductDest", value)) {
        destination_path_.assign(value);
        destination_given = true;
    } else if (SwitchValue(body, u"Group", value)) {
        group_.assign(value);
    }
}

int32_t SetupOptions::Parse(std::u16string_view command_line, SetupLogger& logger) {
    ArgumentList list = SplitCommandLine(command_line);
    for (const Argument& argument : list.arguments) {
        if (argument.refused) {
            refused_.push_back(argument.text);
            // A destination that cannot be read whole must not send the
            // install elsewhere: it stays given, and empty.
            std::u16string_view value;
            const std::u16string_view body = std::u16string_view(argument.text).substr(1);
            if (IsSwitchStart(argument.text[0]) &&
                (SwitchValue(body, u"Path", value) || SwitchValue(body, u"ProductDest", value))) {
                destination_path_.clear();
                destination_given = true;
            }
            continue;
        }
        if (IsSwitchStart(argument.text[0])) {
            Apply(argument.text);
        }
    }
    if (display_level >= 0) {
        logger.SetDisplayLevel(display_level);
    }
    if (log_level >= 0) {
        logger.SetLogLevel(log_level);
    }
    FreeArgumentList(list);
    return 0;
}

void SetupOptions::ReportRefusedArguments(SetupLogger& logger) const {
    for (const std::u16string& beginning : refused_) {
        logger.Info(msg::kArgumentTooLong,
                    SubstituteArguments(logger.host().LoadText(msg::kArgumentTooLong, 512),
                                        {beginning + u"..."}));
    }
}

}  // namespace olvex::setup

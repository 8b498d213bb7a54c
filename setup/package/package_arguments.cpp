#include "setup/package/package_arguments.h"

namespace olvex::setup::package {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

std::vector<std::u16string> SplitArguments(std::u16string_view arguments) {
    std::vector<std::u16string> out;
    size_t i = 0;
    const size_t n = arguments.size();
    while (true) {
        while (i < n && IsBlank(arguments[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::u16string argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(arguments[i]))) {
            const char16_t c = arguments[i];
            if (c == u'\\') {
                size_t slashes = 0;
                while (i < n && arguments[i] == u'\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && arguments[i] == u'"') {
                    argument.append(slashes / 2, u'\\');
                    if (slashes % 2 == 1) {
                        argument += u'"';
                        ++i;
                    }
                } else {
                    argument.append(slashes, u'\\');
                }
                continue;
            }
            if (c == u'"') {
                if (quoted && i + 1 < n && arguments[i + 1] == u'"') {
                    argument += u'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            argument += c;
            ++i;
        }
        out.push_back(std::move(argument));
    }
    return out;
}

std::u16string_view SkipProgramName(std::u16string_view command_line) {
    size_t i = 0;
    if (!command_line.empty() && command_line[0] == u'"') {
        const size_t close = command_line.find(u'"', 1);
        i = close == std::u16string_view::npos ? command_line.size() : close + 1;
    } else {
        while (i < command_line.size() && !IsBlank(command_line[i])) {
            ++i;
        }
    }
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    return command_line.substr(i);
}

std::optional<std::u16string> InstallerProperties(const std::vector<std::u16string>& arguments) {
    std::optional<std::u16string> properties;
    for (const std::u16string& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != u'/' && argument[0] != u'-') ||
            (argument[1] != u'v' && argument[1] != u'V')) {
            continue;
        }
        if (properties) {
            *properties += u' ';
        } else {
            properties.emplace();
        }
        *properties += argument.substr(2);
    }
    return properties;
}

std::u16string InstallerArguments(std::u16string_view package, std::u16string_view properties,
                                  bool installed) {
    std::u16string out = u"/i \"" + std::u16string(package) + u"\"";
    if (!properties.empty()) {
        out += u' ';
        out += properties;
    }
    if (installed) {
        out += u" REINSTALL=ALL REINSTALLMODE=vomus";
    }
    return out;
}

}  // namespace olvex::setup::package

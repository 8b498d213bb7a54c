// The setup controller's command line comes from whoever starts it: any
// text. Splitting stays within its limits and never cuts an argument;
// parsing sets only the modes and levels it knows.
#include <cstddef>
#include <cstdint>

#include "fuzz/setup_fuzz_support.h"
#include "setup/core/command_line.h"
#include "setup/core/setup_options.h"

using namespace olvex::setup;
using fuzzing::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::u16string name = fuzzing::ConsumeText(input, 16);
    const std::u16string text = fuzzing::ConsumeText(input, 8192);

    ArgumentList list = SplitCommandLine(text);
    Check(list.count() <= kMaxArguments);
    for (const Argument& argument : list.arguments) {
        Check(!argument.text.empty());
        Check(argument.text.size() <= kMaxArgumentLength);
    }
    FreeArgumentList(list);
    Check(list.count() == 0);
    Check(SkipProgramName(text).size() <= text.size());

    fuzzing::NullHost host;
    SetupLogger logger(host);
    SetupOptions options(name);
    Check(options.Parse(text, logger) == 0);
    Check(options.mode >= kModeInstall && options.mode <= kModeTrustList);
    Check(logger.display_level() >= 0 && logger.display_level() <= 4);
    Check(logger.log_level() >= 0 && logger.log_level() <= 4);
    Check(options.GetPath().size() <= kMaxArgumentLength);
    options.ReportRefusedArguments(logger);
    return 0;
}

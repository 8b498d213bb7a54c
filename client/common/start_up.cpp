#include "client/common/start_up.h"

#include <windows.h>
#include <shellapi.h>

#include "client/common/com_text.h"

namespace olvex {

std::vector<std::string> CommandLineParameters() {
    std::vector<std::string> parameters;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return parameters;
    for (int i = 1; i < count; ++i)
        parameters.push_back(NarrowText(std::wstring(arguments[i])));
    LocalFree(arguments);
    return parameters;
}

}  // namespace olvex

// The detection worker's steps, one line each on the debugger output
// ("Wakenor: <step> <tick count>"): what a person reading a trace (Wine's
// warn+debugstr channel) needs to follow the background scan.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace olvex::protect {

inline void TraceWorkerStep(std::string_view step) {
    std::string line = "Wakenor: ";
    line += step;
    line += ' ';
    line += std::to_string(GetTickCount());
    line += '\n';
    OutputDebugStringA(line.c_str());
}

}  // namespace olvex::protect

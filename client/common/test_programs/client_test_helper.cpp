// A second process for the client library's tests:
//   append <log> <count> <tag> [<event>]
//                                 appends count activity-log lines, one
//                                 every 5 ms (locations "<tag>\<n>"), after the
//                                 named event is set when one is given; exit
//                                 0, or 2 when a line could not be written
//   instance <mutex> <title>      claims the single-instance mutex (exit 3
//                                 when another instance has it), makes the
//                                 hidden main window and runs until it is
//                                 closed; exit 0 after a clean close
//   args <file> [arguments...]    writes its arguments to file, one a line
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/common/activity_log_file.h"
#include "client/common/client_application.h"
#include "win/unique.h"

namespace {

int Append(const std::string& log_path, int count, const std::string& tag,
           const char* start_event) {
    if (start_event != nullptr) {
        const olvex::win::UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, start_event));
        if (!event || WaitForSingleObject(event.get(), INFINITE) != WAIT_OBJECT_0)
            return 2;
    }
    olvex::CLogFile log;
    log.SetPath(log_path);
    for (int i = 0; i < count; ++i) {
        if (log.WriteEntry(i, tag + "\\" + std::to_string(i), tag, "Detected", "Test", i) !=
            olvex::LogStatus::kDone)
            return 2;
        // A line every few milliseconds, as a program logs while it works:
        // the appends then span several of the other side's shortenings
        // however busy the machine is.
        Sleep(5);
    }
    return 0;
}

int Instance(const std::string& mutex, const std::string& title) {
    olvex::ClientApplication app;
    if (app.ClaimSingleInstance(mutex) != olvex::MutexClaim::kClaimed)
        return 3;
    if (!app.CreateMainWindow(std::wstring(title.begin(), title.end())))
        return 4;
    app.RunMessageLoop();
    return app.close_requested() ? 0 : 5;
}

int Arguments(const char* file, int count, char** arguments) {
    FILE* out = std::fopen(file, "wb");
    if (out == nullptr)
        return 2;
    for (int i = 0; i < count; ++i)
        std::fprintf(out, "%s\n", arguments[i]);
    return std::fclose(out) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "append" && (argc == 5 || argc == 6))
        return Append(argv[2], std::atoi(argv[3]), argv[4], argc == 6 ? argv[5] : nullptr);
    if (mode == "instance" && argc == 4)
        return Instance(argv[2], argv[3]);
    if (mode == "args" && argc >= 3)
        return Arguments(argv[2], argc - 3, argv + 3);
    return 1;
}

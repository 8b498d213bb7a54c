// Test helper: schedules restart-time moves the way the engine does, so that a
// test can restart a Wine prefix of its own and look at the result.
//   reboot_probe delete <path>
//   reboot_probe replace <source> <target>
// Exits with 0 when the move was scheduled.
#include <windows.h>

#include <cstring>

#include "olvex/remedy/reboot_file_mover.h"

int main(int argc, char** argv) {
    olvex::CRebootFileMover mover;
    if (argc == 3 && std::strcmp(argv[1], "delete") == 0)
        return mover.DeleteFileAtReboot(argv[2]) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "replace") == 0)
        return mover.ReplaceFileAtReboot(argv[2], argv[3]) ? 0 : 1;
    return 2;
}

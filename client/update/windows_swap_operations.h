// The swap sequence's operations on a real machine: files, libraries and
// the RunOnce key of HKEY_LOCAL_MACHINE.
//
// For the tests that end the stub at a given step as a kill would: with the
// environment variable OLVEX_SWAVEL_END_AT set to one of the step marks the
// stub writes to the debugger output ("1" to "6"), the process ends at once
// after writing that mark (exit code 9).
#pragma once

#include "client/update/swap_sequence.h"

namespace olvex::swap {

class WindowsSwapOperations final : public SwapOperations {
  public:
    void Print(std::string_view line) override;
    void Debug(std::string_view text) override;
    void Sleep(unsigned milliseconds) override;
    OpenResult OpenForWriting(const std::string& path) override;
    NewerCheck CheckNewer(const std::string& path) override;
    ExportCall CallExport(const std::string& path, const char* name) override;
    CopyResult Copy(const std::string& from, const std::string& to) override;
    CopyResult Rename(const std::string& from, const std::string& to) override;
    bool Delete(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    std::string OwnPath() override;
    std::optional<std::string> ShortPath(const std::string& path) override;
    bool WriteRunOnce(const std::string& command) override;
    void ClearRunOnce() override;
};

}  // namespace olvex::swap

#include "olvex/remedy/special_remover.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "olvex/core/file_io.h"
#include "win/unique.h"

namespace olvex {
namespace {

// A larger index is no index of ours.
constexpr std::uint64_t kMaxIndexBytes = 16u << 20;

// The shell wants COM on the thread that starts a program; the caller's
// apartment is kept as it is.
class ComForShell {
  public:
    ComForShell() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComForShell() {
        if (initialized_)
            CoUninitialize();
    }
    ComForShell(const ComForShell&) = delete;
    ComForShell& operator=(const ComForShell&) = delete;

  private:
    bool initialized_;
};

}  // namespace

std::optional<std::vector<SpecialRemoverEntry>> LoadSpecialRemoverIndex(const std::string& folder) {
    const auto read = ReadWholeFile(folder + "\\" + kSpecialRemoverIndexName, kMaxIndexBytes);
    if (!read)
        return std::nullopt;
    return ParseSpecialRemoverIndex(
        std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
}

ScriptedRemoverRun RunScriptedRemover(const std::string& folder, const std::string& parameters) {
    const ComForShell com;
    const std::string program = folder + "\\" + kScriptedRemoverName;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_HIDE;
    ScriptedRemoverRun run;
    if (!ShellExecuteExA(&info)) {
        const auto code = reinterpret_cast<std::uintptr_t>(info.hInstApp);
        run.error = std::string(ScriptedRemoverStartError(code > 32 ? 32 : code));
        return run;
    }
    run.started = true;
    win::UniqueHandle process(info.hProcess);
    if (process) {
        WaitForSingleObject(process.get(), INFINITE);
        GetExitCodeProcess(process.get(), &run.exit_code);
    }
    return run;
}

}  // namespace olvex

#include "client/update/swap_sequence.h"

namespace olvex::swap {
namespace {

constexpr char kUnregisterExport[] = "DllUnregisterServer";
constexpr char kRegisterExport[] = "DllRegisterServer";

bool EndsWithStagedSuffix(const std::string& path) {
    if (path.size() < kStagedSuffix.size())
        return false;
    for (std::size_t i = 0; i < kStagedSuffix.size(); ++i) {
        const char c = path[path.size() - kStagedSuffix.size() + i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kStagedSuffix[i])
            return false;
    }
    return true;
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

class Swap {
  public:
    Swap(const std::string& older, const std::string& newer, SwapOperations& operations)
        : older_(older),
          newer_(newer),
          staged_(older + std::string(kStagedSuffix)),
          ops_(operations) {}

    int Run() {
        // The command names the staged copy by its short path, which no
        // longer resolves once the copy was renamed; short names keep the
        // extension.
        const bool rerun = ops_.SameFile(newer_, staged_) || EndsWithStagedSuffix(newer_);
        if (!NewerIsUsable()) {
            // A run again after one cut short past its rename: the staged
            // copy is already the older DLL and only its registration may
            // be missing.
            if (rerun && ops_.CheckNewer(newer_) == NewerCheck::kUnreadable &&
                ops_.CheckNewer(older_) == NewerCheck::kReady) {
                ops_.Debug("5");
                return Done(RegisterResult());
            }
            // Nothing is unregistered for a replacement that could not be
            // registered afterwards.
            return kExitFailed;
        }
        // From here on a run cut short is run again.
        Record(newer_);
        ops_.Debug("1");
        if (!rerun && !Stage())
            return Done(kExitFailed);
        int attempts = 0;
        for (;;) {
            const OpenResult older_state = WaitForOlder(attempts);
            if (older_state == OpenResult::kInUse) {
                ops_.Debug("6");
                return kExitStillInUse;  // the value stays for the next start
            }
            // A missing older DLL has nothing to unregister; one that cannot
            // be loaded is damaged and is replaced all the same.
            bool unregistered = false;
            if (older_state == OpenResult::kOpened) {
                ops_.Debug("2");
                const ExportCall call = ops_.CallExport(older_, kUnregisterExport);
                if (call.result == CallResult::kNoExport) {
                    ops_.Debug("DllUnregisterServer failed");
                    return Done(kExitFailed);
                }
                if (call.result == CallResult::kNotLoaded) {
                    ops_.Debug("LoadLibrary failed on olvex.dll");
                } else {
                    unregistered = true;
                    if (call.hresult < 0)
                        ops_.Debug("DllUnregisterServer failed");
                    if (!call.freed)
                        ops_.Debug("FreeLibrary 1 failed");
                }
            }
            ops_.Debug("3");
            const CopyResult rename = ops_.Rename(staged_, older_);
            if (rename == CopyResult::kCopied)
                break;
            // The machine is never left without a registered engine.
            if (unregistered)
                RegisterOlderAgain();
            if (rename == CopyResult::kFailed) {
                ops_.Debug("Copy file failed on olvex.dll");
                return Done(kExitFailed);
            }
            // Taken again between the test and the rename: back to waiting,
            // within the same tries.
            if (attempts >= kOpenAttempts) {
                ops_.Debug("6");
                return kExitStillInUse;
            }
            ops_.Sleep(kRetryDelayMs);
        }
        ops_.Debug("5");
        return Done(RegisterResult());
    }

  private:
    bool NewerIsUsable() {
        switch (ops_.CheckNewer(newer_)) {
            case NewerCheck::kReady:
                return true;
            case NewerCheck::kUnreadable:
                ops_.Debug("Cannot read the new olvex.dll");
                return false;
            case NewerCheck::kNotLoadable:
                ops_.Debug("LoadLibrary failed on the new olvex.dll");
                return false;
            case NewerCheck::kNoRegisterExport:
                ops_.Debug("lpDllEntryPoint was NULL");
                return false;
        }
        return false;
    }

    void Record(const std::string& newer) {
        if (!ops_.WriteRunOnce(RunOnceCommand(ops_, older_, newer)))
            ops_.Debug("RunOnce value could not be written");
    }

    // The run is over, one way or the other: nothing is left to finish, and
    // a staged copy that will not be used is not left lying about.
    int Done(int exit_code) {
        ops_.ClearRunOnce();
        if (exit_code == kExitFailed && ops_.CheckNewer(staged_) != NewerCheck::kUnreadable)
            ops_.Delete(staged_);
        return exit_code;
    }

    // The newer DLL beside the older one, complete before it is named so;
    // then the download goes, as the next update would apply it again.
    bool Stage() {
        const std::string partial = older_ + std::string(kPartialSuffix);
        if (ops_.Copy(newer_, partial) != CopyResult::kCopied ||
            ops_.Rename(partial, staged_) != CopyResult::kCopied) {
            ops_.Debug("Copy file failed on olvex.dll.new");
            ops_.Delete(partial);
            return false;
        }
        Record(staged_);
        if (!ops_.Delete(newer_))
            ops_.Debug("DeleteFile failed on temp olvex.dll");
        ops_.Debug("4");
        return true;
    }

    // Counts every try in attempts; kInUse once they are used up.
    OpenResult WaitForOlder(int& attempts) {
        for (;;) {
            ++attempts;
            const OpenResult state = ops_.OpenForWriting(older_);
            if (state != OpenResult::kInUse || attempts >= kOpenAttempts)
                return state;
            ops_.Sleep(kRetryDelayMs);
        }
    }

    void RegisterOlderAgain() {
        const ExportCall call = ops_.CallExport(older_, kRegisterExport);
        if (call.result != CallResult::kCalled || call.hresult < 0)
            ops_.Debug("DllRegisterServer failed on the old olvex.dll");
    }

    int RegisterResult() {
        const ExportCall call = ops_.CallExport(older_, kRegisterExport);
        switch (call.result) {
            case CallResult::kNotLoaded:
                ops_.Debug("DllRegisterServer failed");
                return kExitFailed;
            case CallResult::kNoExport:
                ops_.Debug("lpDllEntryPoint was NULL");
                return kExitFailed;
            case CallResult::kCalled:
                break;
        }
        if (call.hresult < 0)
            ops_.Debug("DllRegisterServer failed");
        if (!call.freed)
            ops_.Debug("FreeLibrary2 failed");
        return kExitDone;
    }

    const std::string& older_;
    const std::string& newer_;
    const std::string staged_;
    SwapOperations& ops_;
};

}  // namespace

std::string RunOnceCommand(SwapOperations& operations, const std::string& older,
                           const std::string& newer) {
    const std::string stub = operations.OwnPath();
    const auto short_stub = operations.ShortPath(stub);
    const auto short_older = operations.ShortPath(older);
    const auto short_newer = operations.ShortPath(newer);
    // A volume without short names answers the long path, blanks and all.
    const bool bare_stub = short_stub && short_stub->find(' ') == std::string::npos;
    return (bare_stub ? *short_stub : Quoted(short_stub.value_or(stub))) + " " +
           Quoted(short_older ? *short_older : older) + " " +
           Quoted(short_newer ? *short_newer : newer);
}

int RunSwapStub(const std::vector<std::string>& arguments, SwapOperations& operations) {
    if (arguments.size() < 2) {
        operations.Print(kUsageLine);
        return kExitDone;
    }
    const std::string& older = arguments[0];
    const std::string& newer = arguments[1];
    operations.Print(older);
    operations.Print(newer);
    return Swap(older, newer, operations).Run();
}

}  // namespace olvex::swap

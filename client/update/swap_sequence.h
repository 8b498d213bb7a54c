// The engine DLL swap. The newer DLL is first copied beside the older one
// (staged as "olvex.dll.new", complete before it takes that name), then, once
// the older DLL is free, it is unregistered, the staged copy is renamed over
// it and the result registered; a failed rename registers the older DLL
// again. From its start to its end the stub keeps its own command as the
// RunOnce value "qzupdstub": a stub cut short (killed, a power cut) is run
// again by the next client start (CEngineRegistrar) or Windows start, and
// finishes. When the older DLL stays in use the value stays for the next
// start. Portable: every file, library and registry step goes through
// SwapOperations, so that tests can fail each one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::swap {

// Exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = static_cast<int>(0x80004005u);  // E_FAIL
inline constexpr int kExitStillInUse = -1;

// Tries to open the older DLL, one second apart: about a minute.
inline constexpr int kOpenAttempts = 61;
inline constexpr unsigned kRetryDelayMs = 1000;

inline constexpr std::string_view kUsageLine = "Usage: Swavel path_to_older_dll path_to_newer_dll";
// Beside the older DLL, the copy of the newer one that a RunOnce command names:
// the download in the user's temporary folder may be gone at the next start.
inline constexpr std::string_view kStagedSuffix = ".new";
// The staged copy while it is being written: a copy cut short never has the
// staged name.
inline constexpr std::string_view kPartialSuffix = ".new.part";

enum class OpenResult {
    kOpened,   // could be opened for writing, and was closed again
    kMissing,  // no such file or path
    kInUse,    // any other failure: worth waiting for
};

enum class NewerCheck {
    kReady,             // readable, loadable, exports DllRegisterServer
    kUnreadable,        // missing or cannot be read
    kNotLoadable,       // not a DLL this process can load
    kNoRegisterExport,  // a DLL without DllRegisterServer
};

enum class CallResult {
    kCalled,
    kNotLoaded,  // the library could not be loaded
    kNoExport,   // loaded, but without that export (and freed again)
};

struct ExportCall {
    CallResult result = CallResult::kNotLoaded;
    std::int32_t hresult = 0;  // what the export returned, when called
    bool freed = true;         // whether FreeLibrary succeeded
};

enum class CopyResult {
    kCopied,
    kInUse,   // a sharing or lock violation: the target is in use
    kFailed,  // anything else
};

class SwapOperations {
  public:
    virtual ~SwapOperations() = default;

    // A line on standard output; debugger output.
    virtual void Print(std::string_view line) = 0;
    virtual void Debug(std::string_view text) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;

    // Opens the file for reading and writing (sharing reading and writing)
    // and closes it again.
    virtual OpenResult OpenForWriting(const std::string& path) = 0;
    // Looks at the newer DLL without running any of its code.
    virtual NewerCheck CheckNewer(const std::string& path) = 0;
    // Loads the library, calls the export (no arguments, an HRESULT back)
    // and frees the library.
    virtual ExportCall CallExport(const std::string& path, const char* name) = 0;
    // Copies, overwriting the target.
    virtual CopyResult Copy(const std::string& from, const std::string& to) = 0;
    // Renames from over to in one step (the target replaced, never cut).
    virtual CopyResult Rename(const std::string& from, const std::string& to) = 0;
    virtual bool Delete(const std::string& path) = 0;
    // Whether both paths name the same file (long and short forms alike).
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;

    // The stub's own path, and the short form of an existing file's path.
    virtual std::string OwnPath() = 0;
    virtual std::optional<std::string> ShortPath(const std::string& path) = 0;
    // Stores the command as the RunOnce value "qzupdstub" of HKLM; removes
    // the value.
    virtual bool WriteRunOnce(const std::string& command) = 0;
    virtual void ClearRunOnce() = 0;
};

// The whole stub after the program name: arguments are the older and the
// newer DLL's paths (more are ignored). Returns the exit code.
int RunSwapStub(const std::vector<std::string>& arguments, SwapOperations& operations);

// The RunOnce command: the stub's path, then the older and the newer DLL's
// paths in double quotes, each the short path when there is one, else the
// long path (the stub's path is quoted too when it holds a blank).
std::string RunOnceCommand(SwapOperations& operations, const std::string& older,
                           const std::string& newer);

}  // namespace olvex::swap

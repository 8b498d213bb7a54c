#include "client/common/engine_registrar.h"

#include <windows.h>

#include <array>
#include <vector>

#include "client/common/client_environment.h"
#include "olvex/update/swap_stub_names.h"

namespace olvex {
namespace {

constexpr char kVersionKey[] = "olvex";
constexpr char kCurrentVersionKeyName[] = "CurrentVersion";
constexpr char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kSwapStubValue[] = "qzupdstub";
// The stub waits a minute at most for the older DLL, then ends.
constexpr DWORD kSwapStubWaitMs = 75000;
constexpr DWORD kSwapStubPollMs = 200;

class ScopedKey {
  public:
    ScopedKey() = default;
    ~ScopedKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

// The default value of a key under HKEY_CLASSES_ROOT when it is a REG_SZ of
// fewer than capacity bytes.
std::optional<std::string> ReadDefaultString(const std::string& path, DWORD capacity) {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> data(capacity + 1, '\0');
    DWORD size = capacity;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(data.data());
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}": anything else could lead the
// key path elsewhere.
bool IsClassIdText(const std::string& text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const char c = text[i];
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (dash ? c != '-' : !hex)
            return false;
    }
    return true;
}

bool IsKeyName(const std::string& name) {
    return !name.empty() && name.size() < 256 && name.find('\\') == std::string::npos;
}

bool CanOpenForReading(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool CopyOver(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

// The text after the first ":" (all of it without one), so that two spellings
// of one drive compare equal.
std::string AfterDrive(const std::string& path) {
    const auto colon = path.find(':');
    return colon == std::string::npos ? path : path.substr(colon + 1);
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
           CSTR_EQUAL;
}

// Calls one of the DLL's registration exports; true when it answered S_OK.
bool CallRegistrationExport(const std::string& path, const char* export_name) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr)
        return false;
    using Export = HRESULT(STDAPICALLTYPE*)();
    const auto call =
        reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module, export_name)));
    const bool ok = call != nullptr && call() == S_OK;
    FreeLibrary(module);
    return ok;
}

// Other programs' version keys under "olvex"; nullopt when it cannot be read.
std::optional<int> CountClientVersionKeys() {
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kVersionKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return std::nullopt;
    int count = 0;
    for (DWORD index = 0;; ++index) {
        std::array<char, 1025> name{};
        DWORD length = static_cast<DWORD>(name.size());
        const LONG error = RegEnumKeyExA(key.get(), index, name.data(), &length, nullptr, nullptr,
                                         nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            break;
        if (error != ERROR_SUCCESS)
            return std::nullopt;
        const std::string subkey(name.data(), length);
        if (!subkey.empty() && !EqualIgnoringCase(subkey, kCurrentVersionKeyName))
            ++count;
    }
    return count;
}

bool SwapStubRuns() {
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kSwapStubMutexName);
    if (mutex == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(mutex);
    return true;
}

// The program a command line starts: its first word, quoted or not.
std::string ProgramOf(const std::string& command) {
    if (!command.empty() && command.front() == '"') {
        const auto end = command.find('"', 1);
        return end == std::string::npos ? std::string() : command.substr(1, end - 1);
    }
    return command.substr(0, command.find(' '));
}

bool IsSwapStub(const std::string& program) {
    std::array<char, MAX_PATH + 1> long_path{};
    const DWORD length =
        GetLongPathNameA(program.c_str(), long_path.data(), static_cast<DWORD>(long_path.size()));
    if (length == 0 || length >= long_path.size())
        return false;
    const std::string path(long_path.data(), length);
    const auto slash = path.find_last_of("\\/");
    return EqualIgnoringCase(slash == std::string::npos ? path : path.substr(slash + 1),
                             kSwapStubFileName);
}

}  // namespace

// Run before any engine is looked at, as Windows would run the value at its
// next start.
void CEngineRegistrar::FinishEngineSwap() {
    for (DWORD waited = 0; SwapStubRuns() && waited < kSwapStubWaitMs; waited += kSwapStubPollMs)
        Sleep(kSwapStubPollMs);
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      key.out()) != ERROR_SUCCESS)
        return;
    std::vector<char> data(4096 + 1, '\0');
    DWORD size = static_cast<DWORD>(data.size() - 1);
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), kSwapStubValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return;
    std::string command(data.data());
    // Only our stub is run; the value goes first, as Windows does it (the
    // stub writes it again while it works).
    if (!IsSwapStub(ProgramOf(command)) ||
        RegDeleteValueA(key.get(), kSwapStubValue) != ERROR_SUCCESS)
        return;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, kSwapStubWaitMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

SharedEngineFolder MakeSharedEngineFolder() {
    SharedEngineFolder result;
    const auto common = CurrentClientFolders().CommonProgramFiles();
    if (!common)
        return result;
    const std::string folder = JoinPath(*common, kSharedEngineFolderName);
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            result.error = error;
            return result;
        }
    }
    result.path = folder;
    return result;
}

std::wstring SharedEngineFolderErrorText(unsigned long error) {
    LPWSTR text = nullptr;
    FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring result = text != nullptr ? text : std::to_wstring(error);
    LocalFree(text);
    return result;
}

bool CEngineRegistrar::EnsureCurrentEngine(const std::string& version_key_name,
                                           const std::string& program_copy,
                                           const std::string& shared_copy) const {
    FinishEngineSwap();
    if (!SyncEngineCopies(program_copy, shared_copy))
        return false;
    const std::string registered = GetRegisteredEnginePath();
    const std::uint64_t registered_version = registered.empty() ? 0 : GetFileVersion64(registered);
    const std::uint64_t shared_version = GetFileVersion64(shared_copy);
    // With no engine registered at all, the shared copy is registered
    // whatever its version says.
    if (shared_version > registered_version || registered.empty()) {
        if (!RegisterDll(shared_copy))
            return false;
    } else if (shared_version < registered_version) {
        // A newer engine is registered already: both copies follow it.
        CopyOver(registered, program_copy);
        CopyOver(registered, shared_copy);
    }
    return EnsureVersionKey(version_key_name);
}

bool CEngineRegistrar::RemoveEngineVersion(const std::string& version_key_name,
                                           const std::string& dll_path) const {
    if (!IsKeyName(version_key_name))
        return false;
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string(kVersionKey) + "\\" + version_key_name).c_str());
    const std::string registered = GetRegisteredEnginePath();
    if (registered.empty() || !EqualIgnoringCase(AfterDrive(registered), AfterDrive(dll_path)))
        return false;
    const auto others = CountClientVersionKeys();
    if (!others || *others > 0)
        return false;
    if (!UnregisterDll(dll_path))
        return false;
    return DeleteFileA(dll_path.c_str()) != 0;
}

bool CEngineRegistrar::SyncEngineCopies(const std::string& program_copy,
                                        const std::string& shared_copy) const {
    if (!CanOpenForReading(shared_copy))
        return CopyFileA(program_copy.c_str(), shared_copy.c_str(), TRUE) != 0;
    const std::uint64_t program_version = GetFileVersion64(program_copy);
    const std::uint64_t shared_version = GetFileVersion64(shared_copy);
    if (program_version > shared_version)
        return CopyOver(program_copy, shared_copy);
    if (program_version < shared_version)
        CopyOver(shared_copy, program_copy);  // the program still runs on the shared copy
    return true;
}

bool CEngineRegistrar::RegisterDll(const std::string& path) const {
    return CallRegistrationExport(path, "DllRegisterServer");
}

bool CEngineRegistrar::UnregisterDll(const std::string& path) const {
    return CallRegistrationExport(path, "DllUnregisterServer");
}

bool CEngineRegistrar::EnsureVersionKey(const std::string& version_key_name) const {
    if (!IsKeyName(version_key_name))
        return false;
    const std::string path = std::string(kVersionKey) + "\\" + version_key_name;
    ScopedKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS)
        return true;
    ScopedKey created;
    return RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, created.out(), nullptr) == ERROR_SUCCESS;
}

std::uint64_t CEngineRegistrar::GetFileVersion64(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return 0;
    std::vector<BYTE> block(size + 1);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        return 0;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (info->dwSignature != 0xFEEF04BD)
        return 0;
    return (static_cast<std::uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

std::string CEngineRegistrar::GetRegisteredEnginePath() {
    const auto class_id = ReadDefaultString(std::string(kEngineScannerProgId) + "\\CLSID", 64);
    if (!class_id || !IsClassIdText(*class_id))
        return {};
    const auto path = ReadDefaultString("CLSID\\" + *class_id + "\\InprocServer32", MAX_PATH);
    return path.value_or(std::string());
}

}  // namespace olvex

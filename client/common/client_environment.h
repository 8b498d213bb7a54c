// What the client programs ask of the machine through replaceable sources,
// so that tests point them at scratch folders and a clock of their own: the
// common application-data, common program-files and install folders, the
// local time and the sleeps between retries of a shared file. Built on them:
// the product's data folder, the retry rule and the date-time texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace olvex {

// The product's key under HKEY_LOCAL_MACHINE and its install folder value.
inline constexpr char kProductRegistryKey[] = "Software\\Vorandel\\KelvanGorsewatch";
inline constexpr char kInstallPathValue[] = "InstallPath";
// "<common application data>\XJ\KelvanGorsewatch\".
inline constexpr char kCompanyFolderName[] = "XJ";
inline constexpr char kProductFolderName[] = "KelvanGorsewatch";

class ClientFolders {
  public:
    virtual ~ClientFolders() = default;
    // The common application-data folder (made when missing), without a
    // trailing backslash; nullopt when the system names none.
    virtual std::optional<std::string> CommonAppData() const = 0;
    // The common program-files folder (made when missing), without a
    // trailing backslash.
    virtual std::optional<std::string> CommonProgramFiles() const = 0;
    // The install folder with a trailing backslash: the product key's
    // "InstallPath" when it is a string, else the current folder.
    virtual std::optional<std::string> InstallFolder() const = 0;
};

class ClientClock {
  public:
    virtual ~ClientClock() = default;
    virtual SYSTEMTIME LocalTime() const = 0;
    virtual void Sleep(DWORD milliseconds) const = 0;
};

const ClientFolders& SystemClientFolders();
const ClientClock& SystemClientClock();

// The sources the library asks: the system's unless a test replaced them.
const ClientFolders& CurrentClientFolders();
const ClientClock& CurrentClientClock();

// Replace a source for their lifetime (tests only; not thread-safe against
// code running at the same time).
class ScopedClientFolders {
  public:
    explicit ScopedClientFolders(const ClientFolders& folders);
    ~ScopedClientFolders();
    ScopedClientFolders(const ScopedClientFolders&) = delete;
    ScopedClientFolders& operator=(const ScopedClientFolders&) = delete;

  private:
    const ClientFolders* previous_;
};

class ScopedClientClock {
  public:
    explicit ScopedClientClock(const ClientClock& clock);
    ~ScopedClientClock();
    ScopedClientClock(const ScopedClientClock&) = delete;
    ScopedClientClock& operator=(const ScopedClientClock&) = delete;

  private:
    const ClientClock* previous_;
};

// Shared small files are retried: up to 5 attempts to read, 7 to append,
// sleeping 250 << n ms after failed attempt n (none after the last).
inline constexpr int kReadAttempts = 5;
inline constexpr int kAppendAttempts = 7;
inline constexpr DWORD kFirstRetrySleepMs = 250;

enum class AttemptResult { kDone, kRetry, kGiveUp };

// Runs attempt until it is done or gives up, at most attempts times, sleeping
// on the current clock between tries. True when an attempt was done.
template <typename Attempt>
bool RetryWithBackoff(int attempts, Attempt&& attempt) {
    for (int n = 0; n < attempts; ++n) {
        const AttemptResult result = attempt();
        if (result == AttemptResult::kDone)
            return true;
        if (result == AttemptResult::kGiveUp)
            return false;
        if (n + 1 < attempts)
            CurrentClientClock().Sleep(kFirstRetrySleepMs << n);
    }
    return false;
}

enum class ProductFolderError {
    kNone,
    kNoCommonAppData,  // the system names no common application-data folder
    kCompanyFolder,    // "XJ" cannot be made
    kProductFolder,    // "KelvanGorsewatch" cannot be made
};

struct ProductFolder {
    ProductFolderError error = ProductFolderError::kNone;
    std::string path;  // with a trailing backslash
    explicit operator bool() const { return error == ProductFolderError::kNone; }
};

// The product's folder under the common application-data folder, made
// (with "XJ") when missing.
ProductFolder MakeProductDataFolder();

// folder and name joined by exactly one backslash.
std::string JoinPath(std::string_view folder, std::string_view name);

// Whether this account may create the file: creates it as fopen "w+" does
// and removes it again.
bool CanCreateFile(const std::string& path);

// The local date in the locale's short date format, "-", the local time in
// its time format.
std::string FormatDateTime(const SYSTEMTIME& local, LCID locale = LOCALE_USER_DEFAULT);
// The same for the current clock's time.
std::string FormatCurrentDateTime(LCID locale = LOCALE_USER_DEFAULT);

// The FILETIME (as a number) of a time, taken as it is (a local time gives a
// local FILETIME); 0 for an invalid time.
std::uint64_t FileTimeOf(const SYSTEMTIME& time);

}  // namespace olvex

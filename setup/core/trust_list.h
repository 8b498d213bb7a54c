// Adding a program to the firewall engine's trust list through its library
// "cvpubapi.dll" in the system folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "win/unique.h"
#include "setup/core/trust_list_library.h"
#include "setup/core/trust_permissions.h"

namespace olvex::setup {

// The local result of one program: 0 done, or where it stopped.
enum TrustCode : uint32_t {
    kTrustDone = 0,
    kTrustNoLibrary = 1,
    kTrustMissingFunction = 2,
    kTrustInitializationRefused = 3,
    kTrustNoProgramList = 4,
    kTrustNoProperties = 5,
    kTrustDeleteFailed = 6,
    kTrustCreateFailed = 7,
    kTrustPermissionsUnreadable = 8,
    kTrustPermissionsUnwritten = 9,
};

class TrustListApi {
  public:
    TrustListApi() = default;
    ~TrustListApi() { Unload(); }
    TrustListApi(const TrustListApi&) = delete;
    TrustListApi& operator=(const TrustListApi&) = delete;

    // Loads the library and binds its nine functions, then initialises it
    // (once more with changed flags after a refusal, when retry is set).
    // 0, 1 (no library), 2 (a function missing) or 3 (refused); on a
    // failure nothing stays loaded.
    uint32_t Load(bool retry);
    // Finds the program by path (without regard to case); with replace an
    // entry found is deleted first. A program not listed gets a new entry
    // and a fresh permission record, a listed one its record read.
    uint32_t FindOrAddProgram(bool replace, std::u16string_view path, uint32_t& id,
                              trust::PermissionRecord& permissions);
    // Merges the row into the record with value v and writes it when a word
    // changed.
    uint32_t ApplyPermissions(const PermissionRow& row, int32_t value, uint32_t id,
                              trust::PermissionRecord& permissions);
    // Ends the session (when one was opened) and frees the library.
    void Unload();

  private:
    win::UniqueModule library_;
    void* handle_ = nullptr;
    bool initialized_ = false;
    trust::InitializeFunction initialize_ = nullptr;
    trust::GetAppListFunction get_app_list_ = nullptr;
    trust::GetAppPropertiesFunction get_app_properties_ = nullptr;
    trust::FreePtrFunction free_ptr_ = nullptr;
    trust::DelAppFunction del_app_ = nullptr;
    trust::NewAppFunction new_app_ = nullptr;
    trust::GetAppPermsFunction get_app_perms_ = nullptr;
    trust::SetAppPermsFunction set_app_perms_ = nullptr;
    trust::TerminateFunction terminate_ = nullptr;
};

// Adds one program with its six permission values; 0 without any library
// call when the program's file does not exist.
uint32_t AddProgramToTrustList(std::u16string_view path, bool replace, int32_t value, bool retry,
                               const PermissionRow& row);

}  // namespace olvex::setup

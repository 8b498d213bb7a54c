#include "olvex/update/version_info_object.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "olvex/com/bstr.h"
#include "olvex/com/module.h"
#include "olvex/core/os_utilities.h"
#include "olvex/update/version_info.h"

namespace olvex {
namespace {

constexpr char kUnknownVersion[] = "Unknown";
constexpr char kInfoFile[] = "qzinfo.dat";

struct FileVersion {
    std::string text = kUnknownVersion;
    std::string error;  // the failing step's text; empty on success
};

// The FileVersion string of a file's version resource, in its first
// language and code page.
FileVersion ReadFileVersion(const std::string& path) {
    FileVersion result;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) {
        result.error = "Error retrieving olvex version info size.";
        return result;
    }
    std::vector<char> block(size + 1);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) {
        result.error = "Error retrieving olvex version info.";
        return result;
    }
    void* translation = nullptr;
    UINT translation_size = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation,
                        &translation_size) ||
        translation_size < 2 * sizeof(WORD)) {
        result.error = "Error querying olvex version info.";
        return result;
    }
    WORD language = 0, code_page = 0;
    std::memcpy(&language, translation, sizeof(WORD));
    std::memcpy(&code_page, static_cast<const char*>(translation) + sizeof(WORD), sizeof(WORD));
    std::array<char, 64> query{};
    std::snprintf(query.data(), query.size(), "\\StringFileInfo\\%04x%04x\\FileVersion", language,
                  code_page);
    void* value = nullptr;
    UINT value_chars = 0;
    if (!VerQueryValueA(block.data(), query.data(), &value, &value_chars) || value == nullptr) {
        result.error = "Error querying olvex version info.";
        return result;
    }
    // The length counts the terminating NUL when there is one.
    std::string text(static_cast<const char*>(value), value_chars);
    result.text = text.substr(0, text.find('\0'));
    return result;
}

// The engine's own file: the module this code lives in.
FileVersion ReadEngineVersion() {
    std::array<char, 4096> path{};
    const DWORD length =
        GetModuleFileNameA(com::ThisModule(), path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) {
        FileVersion result;
        result.error = "Error retrieving olvex module filename.";
        return result;
    }
    return ReadFileVersion(std::string(path.data(), length));
}

std::string DatFolder(BSTR argument) {
    std::string folder;
    if (FAILED(com::AnsiFromBstr(argument, folder)))
        throw std::bad_alloc();
    if (folder.empty())
        folder = GetModuleFolder(com::ThisModule()).value_or(std::string("."));
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

constexpr DISPID kGetDatTimeStampId = 5;

// Where the time stamp goes: an 8-byte slot the caller passed by reference.
// Scripts pass a variant by reference, which gets the time as a date (UTC).
struct TimeSlot {
    FILETIME* raw = nullptr;
    VARIANT* variant = nullptr;
};

bool FindTimeSlot(VARIANT& argument, TimeSlot& slot) {
    switch (V_VT(&argument)) {
        case VT_BYREF | VT_VARIANT:
            slot.variant = V_VARIANTREF(&argument);
            return slot.variant != nullptr;
        case VT_BYREF | VT_I8:
        case VT_BYREF | VT_UI8:
        case VT_BYREF | VT_CY:
            // Same size and layout as a FILETIME (two little-endian dwords).
            slot.raw = static_cast<FILETIME*>(V_BYREF(&argument));
            return slot.raw != nullptr;
        case VT_BYREF | VT_RECORD: {
            ULONG size = 0;
            IRecordInfo* record = V_RECORDINFO(&argument);
            if (!record || FAILED(record->GetSize(&size)) || size != sizeof(FILETIME)) {
                return false;
            }
            slot.raw = static_cast<FILETIME*>(V_RECORD(&argument));
            return slot.raw != nullptr;
        }
        default:
            return false;
    }
}

void StoreTime(const TimeSlot& slot, const FILETIME& time) {
    if (slot.raw) {
        *slot.raw = time;
        return;
    }
    SYSTEMTIME system{};
    DATE date = 0;
    if (!FileTimeToSystemTime(&time, &system) || !SystemTimeToVariantTime(&system, &date)) {
        date = 0;
    }
    VariantClear(slot.variant);
    V_VT(slot.variant) = VT_DATE;
    V_DATE(slot.variant) = date;
}

// The argument was checked with IsSuccessSlot.
void StoreSuccess(VARIANT& argument, VARIANT_BOOL success) {
    if (V_VT(&argument) == (VT_BYREF | VT_BOOL)) {
        *V_BOOLREF(&argument) = success;
        return;
    }
    VARIANT* target = V_VARIANTREF(&argument);
    VariantClear(target);
    V_VT(target) = VT_BOOL;
    V_BOOL(target) = success;
}

bool IsSuccessSlot(const VARIANT& argument) {
    return (V_VT(&argument) == (VT_BYREF | VT_BOOL) && V_BOOLREF(&argument)) ||
           (V_VT(&argument) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&argument));
}

}  // namespace

HRESULT STDMETHODCALLTYPE CVersionInfo::GetControlVersionAsString(BSTR* pbsVersion) {
    if (!pbsVersion)
        return E_POINTER;
    return com::Guarded([&]() {
        const FileVersion version = ReadEngineVersion();
        if (!version.error.empty())
            last_error_.SetText(version.error);
        return com::BstrFromAnsi(version.text, pbsVersion);
    });
}

HRESULT STDMETHODCALLTYPE CVersionInfo::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CVersionInfo::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CVersionInfo::IsDATValid(BSTR bsDatFile, VARIANT_BOOL* pvbValid) {
    if (!pvbValid)
        return E_POINTER;
    return com::Guarded([&]() -> HRESULT {
        *pvbValid = VARIANT_FALSE;
        if (!bsDatFile)
            return S_OK;
        std::string path;
        if (const HRESULT hr = com::AnsiFromBstr(bsDatFile, path); FAILED(hr))
            return hr;
        *pvbValid = com::ToVariantBool(IsDatFileValid(path));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CVersionInfo::GetDATTimeStamp(BSTR bsDatFolder, FILETIME* pftTime,
                                                        VARIANT_BOOL* pvbSuccess) {
    return com::Guarded([&]() -> HRESULT {
        if (pvbSuccess)
            *pvbSuccess = VARIANT_FALSE;
        const auto stamp = TimeStamp(DatFolder(bsDatFolder));
        if (!stamp)
            return S_OK;
        if (pftTime) {
            pftTime->dwLowDateTime = static_cast<DWORD>(*stamp);
            pftTime->dwHighDateTime = static_cast<DWORD>(*stamp >> 32);
        }
        if (pvbSuccess)
            *pvbSuccess = VARIANT_TRUE;
        return S_OK;
    });
}

std::optional<std::uint64_t> CVersionInfo::TimeStamp(const std::string& folder) {
    const std::string path = folder + "\\" + kInfoFile;
    const DefinitionTimeStamp stamp = ReadDefinitionTimeStamp(path);
    switch (stamp.error) {
        case TimeStampError::kNone:
            return stamp.block_time;
        case TimeStampError::kCannotOpen:
            last_error_.SetText("Could not open qzinfo.dat.");
            return std::nullopt;
        case TimeStampError::kNoBlock:
            last_error_.SetText("qzinfo.dat holds no definition block.");
            return std::nullopt;
    }
    return std::nullopt;
}

HRESULT STDMETHODCALLTYPE CVersionInfo::GetCompositeVersion(BSTR bsDatFolder,
                                                            BSTR* bsCompositeVersion) {
    if (!bsCompositeVersion)
        return E_POINTER;
    return com::Guarded([&]() {
        const std::string folder = DatFolder(bsDatFolder);
        const FileVersion engine = ReadEngineVersion();
        const FileVersion cleaner = ReadFileVersion(folder + "\\qzclean.exe");
        for (const auto* version : {&engine, &cleaner}) {
            if (!version->error.empty())
                last_error_.SetText(version->error);
        }
        const std::uint64_t time = TimeStamp(folder).value_or(0);
        return com::BstrFromAnsi(CompositeVersion(engine.text, cleaner.text, time),
                                 bsCompositeVersion);
    });
}

HRESULT STDMETHODCALLTYPE CVersionInfo::Invoke(DISPID id, REFIID riid, LCID locale, WORD flags,
                                               DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* exception, UINT* bad_argument) {
    if (id != kGetDatTimeStampId) {
        return DispatchObject::Invoke(id, riid, locale, flags, params, result, exception,
                                      bad_argument);
    }
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if ((flags & DISPATCH_METHOD) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!params) {
        return E_INVALIDARG;
    }
    if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs != 3) {
        return DISP_E_BADPARAMCOUNT;
    }
    // Arguments arrive last first: [2] folder, [1] time, [0] success.
    const auto mismatch = [&](UINT position) {
        if (bad_argument) {
            *bad_argument = position;
        }
        return DISP_E_TYPEMISMATCH;
    };
    VARIANT folder;
    VariantInit(&folder);
    if (FAILED(VariantChangeType(&folder, &params->rgvarg[2], 0, VT_BSTR))) {
        return mismatch(2);
    }
    const com::UniqueBstr folder_text(V_BSTR(&folder));
    TimeSlot time_slot;
    if (!FindTimeSlot(params->rgvarg[1], time_slot)) {
        return mismatch(1);
    }
    if (!IsSuccessSlot(params->rgvarg[0])) {
        return mismatch(0);
    }

    FILETIME time{};
    VARIANT_BOOL success = VARIANT_FALSE;
    const HRESULT hr = GetDATTimeStamp(folder_text.Get(), &time, &success);
    if (FAILED(hr)) {
        // As DispInvoke reports a member's failure.
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = hr;
        }
        return DISP_E_EXCEPTION;
    }
    StoreTime(time_slot, time);
    StoreSuccess(params->rgvarg[0], success);
    if (result) {
        VariantInit(result);
    }
    return S_OK;
}

}  // namespace olvex

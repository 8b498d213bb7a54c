#include "olvex/update/version_info_object.h"

#include "olvex/com/bstr.h"

namespace olvex {
namespace {

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
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CVersionInfo::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CVersionInfo::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CVersionInfo::IsDATValid(BSTR bsDatFile, VARIANT_BOOL* pvbValid) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CVersionInfo::GetDATTimeStamp(BSTR bsDatFolder, FILETIME* pftTime,
                                                        VARIANT_BOOL* pvbSuccess) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CVersionInfo::GetCompositeVersion(BSTR bsDatFolder,
                                                            BSTR* bsCompositeVersion) {
    return E_NOTIMPL;
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

#include "olvex/remedy/quarantine_object.h"

#include <string>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"

namespace olvex {
namespace {

// The ANSI text of one of an item's text properties.
HRESULT ItemText(IQuarantinedItem* item, HRESULT (STDMETHODCALLTYPE IQuarantinedItem::*get)(BSTR*),
                 std::string& out) {
    com::UniqueBstr text;
    const HRESULT hr = (item->*get)(text.Put());
    if (FAILED(hr))
        return hr;
    return com::AnsiFromBstr(text.Get(), out);
}

}  // namespace

void CQuarantine::Report(const StoreOutcome& outcome, VARIANT_BOOL* success) {
    // A success may carry a note (what a restore kept besides what it put
    // back); a plain success leaves the last error as it was.
    if (!outcome.error.empty())
        last_error_.SetText(outcome.error);
    if (success)
        *success = com::ToVariantBool(outcome.ok);
}

HRESULT CQuarantine::MakeItem(const std::optional<QuarantinedItemInfo>& info,
                              IQuarantinedItem** out) {
    if (!info)
        return S_OK;
    com::ComPtr<IQuarantinedItem> item;
    if (FAILED(com::CreateEngineObject(CLSID_QuarantinedItem, item.Put()))) {
        last_error_.SetText("Error creating olvex.QuarantinedItem.");
        return S_OK;
    }
    last_error_.SetText(com::kSuccessText);
    com::UniqueBstr container;
    com::UniqueBstr location;
    if (FAILED(com::BstrFromAnsi(info->container, container.Put())) ||
        FAILED(com::BstrFromAnsi(info->location, location.Put())))
        return E_OUTOFMEMORY;
    item->put_bsContainerFile(container.Get());
    item->put_bsLocation(location.Get());
    item->put_nPestId(info->pest_id);
    item->put_nRecordId(info->record_id);
    if (info->quarantine_date)
        item->put_dQuarantineDate(*info->quarantine_date);
    *out = item.Detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CQuarantine::GetFirstQuarantinedItem(IQuarantinedItem** pQuarantinedItem) {
    if (!pQuarantinedItem)
        return E_POINTER;
    *pQuarantinedItem = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::optional<QuarantinedItemInfo> item;
        const auto outcome = store_.FirstItem(item);
        if (!outcome.ok) {
            Report(outcome, nullptr);
            return S_OK;
        }
        return MakeItem(item, pQuarantinedItem);
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::GetNextQuarantinedItem(IQuarantinedItem** pQuarantinedItem) {
    if (!pQuarantinedItem)
        return E_POINTER;
    *pQuarantinedItem = nullptr;
    return com::Guarded([&]() { return MakeItem(store_.NextItem(), pQuarantinedItem); });
}

HRESULT STDMETHODCALLTYPE CQuarantine::UnquarantineItem(IQuarantinedItem* pQuarantinedItem,
                                                        VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_TRUE;
    if (!last_error_.RequireInitialized(store_.IsInitialized(), pvbSuccess))
        return S_OK;
    if (!pQuarantinedItem) {
        Report({false, "Error. No quarantined item was given."}, pvbSuccess);
        return S_OK;
    }
    return com::Guarded([&]() -> HRESULT {
        std::string container;
        std::string location;
        if (const HRESULT hr =
                ItemText(pQuarantinedItem, &IQuarantinedItem::get_bsContainerFile, container);
            FAILED(hr))
            return hr;
        if (const HRESULT hr =
                ItemText(pQuarantinedItem, &IQuarantinedItem::get_bsLocation, location);
            FAILED(hr))
            return hr;
        Report(store_.Restore(location, container), pvbSuccess);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::Q4(LONG nPestId, BSTR bsLocation, VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_TRUE;
    return com::Guarded([&]() -> HRESULT {
        std::string location;
        if (const HRESULT hr = com::AnsiFromBstr(bsLocation, location); FAILED(hr))
            return hr;
        Report(store_.Quarantine(nPestId, location, allow_duplicates_), pvbSuccess);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_bsQuarantineFolder(BSTR* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    // No folder before Initialize: a null text.
    if (store_.Folder().empty())
        return S_OK;
    return com::BstrFromAnsi(store_.Folder(), pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantine::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CQuarantine::Initialize(BSTR bsQuarantineFolder,
                                                  VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_TRUE;
    return com::Guarded([&]() -> HRESULT {
        std::optional<std::string> folder;
        if (bsQuarantineFolder) {
            folder.emplace();
            if (const HRESULT hr = com::AnsiFromBstr(bsQuarantineFolder, *folder); FAILED(hr))
                return hr;
        }
        sessions_.EndListing();
        Report(store_.Initialize(folder), pvbSuccess);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    if (!pvbInitialized)
        return E_POINTER;
    *pvbInitialized = com::ToVariantBool(store_.IsInitialized());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantine::DeleteQuarantinedItem(IQuarantinedItem* pQuarantinedItem,
                                                             VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_FALSE;
    if (!pQuarantinedItem || !last_error_.RequireInitialized(store_.IsInitialized(), pvbSuccess))
        return S_OK;
    return com::Guarded([&]() -> HRESULT {
        std::string container;
        if (const HRESULT hr =
                ItemText(pQuarantinedItem, &IQuarantinedItem::get_bsContainerFile, container);
            FAILED(hr))
            return hr;
        Report(store_.DeleteItem(container), pvbSuccess);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_vbAllowDuplicates(VARIANT_BOOL* pVal) {
    return com::GetFlag(allow_duplicates_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantine::put_vbAllowDuplicates(VARIANT_BOOL value) {
    allow_duplicates_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantine::DeleteAllItems(LONG* pnItemsRemoved) {
    if (!pnItemsRemoved)
        return E_POINTER;
    *pnItemsRemoved = 0;
    if (!last_error_.RequireInitialized(store_.IsInitialized(), nullptr))
        return S_OK;
    return com::Guarded([&]() -> HRESULT {
        *pnItemsRemoved = store_.DeleteAllItems();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::get_vbLogEnabled(VARIANT_BOOL* pVal) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantine::put_vbLogEnabled(VARIANT_BOOL value) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantine::AddItemToSession(LONG nPestId, BSTR bsLocation,
                                                        BSTR bsSessionFileName,
                                                        VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_TRUE;
    return com::Guarded([&]() -> HRESULT {
        std::string location;
        std::string name;
        if (const HRESULT hr = com::AnsiFromBstr(bsLocation, location); FAILED(hr))
            return hr;
        if (const HRESULT hr = com::AnsiFromBstr(bsSessionFileName, name); FAILED(hr))
            return hr;
        Report(sessions_.AddItem(nPestId, location, name), pvbSuccess);
        return S_OK;
    });
}

HRESULT CQuarantine::MakeSession(const std::optional<SessionRecord>& record,
                                 IQuarantineSession** out) {
    if (!record)
        return S_OK;
    com::ComPtr<IQuarantineSession> session;
    if (FAILED(com::CreateEngineObject(CLSID_QuarantineSession, session.Put()))) {
        last_error_.SetText("Error creating QuarantineSession.");
        return S_OK;
    }
    com::UniqueBstr path;
    if (FAILED(com::BstrFromAnsi(record->path, path.Put())))
        return E_OUTOFMEMORY;
    VARIANT_BOOL ok = VARIANT_FALSE;
    session->Initialize(path.Get(), &ok);
    session->put_nSessionId(record->session_id);
    if (ok != VARIANT_TRUE) {
        last_error_.SetText("Error initializing QuarantineSession.  | " + record->path);
        return S_OK;
    }
    *out = session.Detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CQuarantine::GetFirstQuarantineSession(IQuarantineSession** ppQuarantineSession) {
    if (!ppQuarantineSession)
        return E_POINTER;
    *ppQuarantineSession = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::optional<SessionRecord> session;
        const auto outcome = sessions_.FirstSession(session);
        if (!outcome.ok) {
            Report(outcome, nullptr);
            return S_OK;
        }
        return MakeSession(session, ppQuarantineSession);
    });
}

HRESULT STDMETHODCALLTYPE
CQuarantine::GetNextQuarantineSession(IQuarantineSession** ppQuarantineSession) {
    if (!ppQuarantineSession)
        return E_POINTER;
    *ppQuarantineSession = nullptr;
    return com::Guarded(
        [&]() { return MakeSession(sessions_.NextSession(), ppQuarantineSession); });
}

HRESULT CQuarantine::SessionIdentity(IQuarantineSession* session, LONG& id, std::string& path) {
    id = 0;
    path.clear();
    if (const HRESULT hr = session->get_nSessionId(&id); FAILED(hr))
        return hr;
    com::UniqueBstr text;
    if (const HRESULT hr = session->get_bsSessionFilePath(text.Put()); FAILED(hr))
        return hr;
    return com::AnsiFromBstr(text.Get(), path);
}

HRESULT STDMETHODCALLTYPE CQuarantine::RestoreQuarantineSession(
    IQuarantineSession* ppQuarantineSession, VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_TRUE;
    if (!last_error_.RequireInitialized(store_.IsInitialized(), pvbSuccess))
        return S_OK;
    if (!ppQuarantineSession) {
        Report({false, "Error. No quarantine session was given."}, pvbSuccess);
        return S_OK;
    }
    return com::Guarded([&]() -> HRESULT {
        LONG id = 0;
        std::string path;
        if (const HRESULT hr = SessionIdentity(ppQuarantineSession, id, path); FAILED(hr))
            return hr;
        Report(sessions_.Restore(id, path), pvbSuccess);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantine::DeleteQuarantineSession(
    IQuarantineSession* pQuarantineSession, VARIANT_BOOL* pvbSuccess) {
    if (pvbSuccess)
        *pvbSuccess = VARIANT_TRUE;
    if (!last_error_.RequireInitialized(store_.IsInitialized(), pvbSuccess))
        return S_OK;
    if (!pQuarantineSession) {
        Report({false, "Error. No quarantine session was given."}, pvbSuccess);
        return S_OK;
    }
    return com::Guarded([&]() -> HRESULT {
        LONG id = 0;
        std::string path;
        if (const HRESULT hr = SessionIdentity(pQuarantineSession, id, path); FAILED(hr))
            return hr;
        Report(sessions_.Delete(id, path), pvbSuccess);
        return S_OK;
    });
}

}  // namespace olvex

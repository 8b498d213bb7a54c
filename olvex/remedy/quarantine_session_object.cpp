#include "olvex/remedy/quarantine_session_object.h"

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/file_io.h"
#include "olvex/core/location.h"
#include "olvex/remedy/quarantine_db.h"
#include "olvex/remedy/quarantine_sessions.h"

namespace olvex {

void CQuarantineSession::LoadEntries(std::string archive_path, std::vector<std::string> comments) {
    path_ = std::move(archive_path);
    has_path_ = true;
    comments_ = std::move(comments);
    cursor_ = comments_.size();
    initialized_ = true;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::Initialize(BSTR bsSessionFileName,
                                                         VARIANT_BOOL* vbSuccess) {
    if (vbSuccess)
        *vbSuccess = VARIANT_TRUE;
    if (!bsSessionFileName) {
        last_error_.SetText("Error. No session file was provided.");
        if (vbSuccess)
            *vbSuccess = VARIANT_FALSE;
        return S_OK;
    }
    return com::Guarded([&]() { return InitializeFrom(bsSessionFileName, vbSuccess); });
}

HRESULT CQuarantineSession::InitializeFrom(BSTR path, VARIANT_BOOL* success) {
    std::string archive;
    if (const HRESULT hr = com::AnsiFromBstr(path, archive); FAILED(hr))
        return hr;
    path_ = archive;
    has_path_ = true;
    comments_.clear();
    cursor_ = 0;
    if (!PathExists(archive)) {
        last_error_.SetText("Error.  The specified session file does not exist.");
        if (success)
            *success = VARIANT_FALSE;
        return S_OK;
    }
    auto read = ReadSessionComments(archive);
    if (!read.ok) {
        last_error_.SetText("Error processing session file.");
        if (success)
            *success = VARIANT_FALSE;
    }
    LoadEntries(std::move(archive), std::move(read.comments));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::get_bsSessionFilePath(BSTR* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    if (!has_path_)
        return S_OK;
    return com::BstrFromAnsi(path_, pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return com::GetFlag(initialized_, pvbInitialized);
}

HRESULT STDMETHODCALLTYPE
CQuarantineSession::GetFirstQuarantinedItem(IQuarantinedItem** ppQuarantinedItem) {
    if (!ppQuarantinedItem)
        return E_POINTER;
    *ppQuarantinedItem = nullptr;
    if (!initialized_) {
        last_error_.SetText("Error.  The session object has not been initialized.");
        return S_OK;
    }
    cursor_ = 0;
    return GetNextQuarantinedItem(ppQuarantinedItem);
}

HRESULT STDMETHODCALLTYPE
CQuarantineSession::GetNextQuarantinedItem(IQuarantinedItem** ppQuarantinedItem) {
    if (!ppQuarantinedItem)
        return E_POINTER;
    *ppQuarantinedItem = nullptr;
    if (cursor_ >= comments_.size())
        return S_OK;
    return com::Guarded([&]() -> HRESULT {
        const std::string& comment = comments_[cursor_];
        com::ComPtr<IQuarantinedItem> item;
        if (FAILED(com::CreateEngineObject(CLSID_QuarantinedItem, item.Put()))) {
            last_error_.SetText("Error creating QuarantinedItem.");
            ++cursor_;
            return S_OK;
        }
        // The comment is the item's location with its PestId pair in front.
        Location location{AnsiCodePageText()};
        location.SetString(comment);
        const auto pest_id = location.GetAttributeValue("PestId");
        com::UniqueBstr container;
        com::UniqueBstr text;
        if (FAILED(com::BstrFromAnsi(path_, container.Put())) ||
            FAILED(com::BstrFromAnsi(comment, text.Put())))
            return E_OUTOFMEMORY;
        item->put_bsContainerFile(container.Get());
        item->put_bsLocation(text.Get());
        item->put_nPestId(pest_id ? ReadLong32(*pest_id) : 0);
        item->put_nRecordId(-1);
        ++cursor_;
        *ppQuarantinedItem = item.Detach();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::get_nSessionId(LONG* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = session_id_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CQuarantineSession::put_nSessionId(LONG value) {
    session_id_ = value;
    return S_OK;
}

}  // namespace olvex

// Keeps copies of what the exterminator removes, with the item and session
// databases, so that the user can restore them. The work is done by
// QuarantineStore (items) and QuarantineSessions (session archives); this
// class turns their results into out-parameters and bsLastError.
// COM class Quarantine, default interface IQuarantine.
#pragma once

#include <optional>

#include "olvex/com/com_object.h"
#include "olvex/com/last_error.h"
#include "olvex/olvex.h"
#include "olvex/remedy/quarantine_sessions.h"
#include "olvex/remedy/quarantine_store.h"

namespace olvex {

class CQuarantine final : public com::DispatchObject<CQuarantine, IQuarantine> {
  public:
    // IQuarantine, in virtual-table order.
    HRESULT STDMETHODCALLTYPE GetFirstQuarantinedItem(IQuarantinedItem** pQuarantinedItem) override;
    HRESULT STDMETHODCALLTYPE GetNextQuarantinedItem(IQuarantinedItem** pQuarantinedItem) override;
    HRESULT STDMETHODCALLTYPE UnquarantineItem(IQuarantinedItem* pQuarantinedItem,
                                               VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE Q4(LONG nPestId, BSTR bsLocation, VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsQuarantineFolder(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsQuarantineFolder,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE DeleteQuarantinedItem(IQuarantinedItem* pQuarantinedItem,
                                                    VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbAllowDuplicates(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbAllowDuplicates(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE DeleteAllItems(LONG* pnItemsRemoved) override;
    HRESULT STDMETHODCALLTYPE get_vbLogEnabled(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbLogEnabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE AddItemToSession(LONG nPestId, BSTR bsLocation,
                                               BSTR bsSessionFileName,
                                               VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE
    GetFirstQuarantineSession(IQuarantineSession** ppQuarantineSession) override;
    HRESULT STDMETHODCALLTYPE
    GetNextQuarantineSession(IQuarantineSession** ppQuarantineSession) override;
    HRESULT STDMETHODCALLTYPE RestoreQuarantineSession(IQuarantineSession* ppQuarantineSession,
                                                       VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE DeleteQuarantineSession(IQuarantineSession* pQuarantineSession,
                                                      VARIANT_BOOL* pvbSuccess) override;

    // For the exterminator, which makes its quarantine through this module's
    // own class: the session keep with what it kept of a folder, and the
    // folder whose "Logs" the engine's own lines of this quarantine go to.
    SessionKeep KeepInSession(LONG pest_id, const std::string& location,
                              const std::string& session_name) {
        return sessions_.Keep(pest_id, location, session_name);
    }
    const std::string& BaseFolder() const { return store_.BaseFolder(); }
    std::size_t RemovePartialSessionArchives() { return sessions_.RemovePartialArchives(); }

  private:
    // A QuarantinedItem object filled from the item; null with the error
    // text set when it cannot be made.
    HRESULT MakeItem(const std::optional<QuarantinedItemInfo>& info, IQuarantinedItem** out);
    // A QuarantineSession object for the session's archive; null with the
    // error text set when it cannot be made or read.
    HRESULT MakeSession(const std::optional<SessionRecord>& record, IQuarantineSession** out);
    // The id and path a client's session object names.
    HRESULT SessionIdentity(IQuarantineSession* session, LONG& id, std::string& path);
    void Report(const StoreOutcome& outcome, VARIANT_BOOL* success);

    com::LastError last_error_;
    QuarantineStore store_;
    QuarantineSessions sessions_{store_};
    bool allow_duplicates_ = false;
};

}  // namespace olvex

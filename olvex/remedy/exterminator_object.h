// Removes detected pest locations: hands special pests to the scripted
// remover, records each location in the current quarantine session and, when
// asked, quarantines it, then ends processes and deletes files, folders and
// registry entries, at once or at the next restart.
// COM class Exterminator, default interface IExterminator.
//
// Sound rules beyond the bare operations (with those of pest_removal.h and
// quarantine_sessions.h):
// - Nothing is removed before it is safely kept: when the session record or
//   the quarantine asked for fails, the location stays and the call reports
//   false with the reason.
// - A user hive mounted for one call is unloaded when the call ends, however
//   it ends.
// - A file the session cannot keep (held open by another program, a name a
//   restore would refuse) is not removed; a folder with such files stays with
//   them, and the call reports how many items stayed.
// - Every location that could not be removed is written to the engine log
//   with the reason, besides bsLastError.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "olvex/com/com_object.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/last_error.h"
#include "olvex/core/location.h"
#include "olvex/core/multibyte_text.h"
#include "olvex/olvex.h"
#include "olvex/remedy/quarantine_sessions.h"
#include "olvex/remedy/reboot_file_mover.h"
#include "olvex/remedy/special_remover_index.h"

namespace olvex {

class CQuarantine;
class PestRemoval;

class CExterminator final : public com::DispatchObject<CExterminator, IExterminator> {
  public:
    CExterminator();
    HRESULT FinalConstruct();

    // IExterminator, in virtual-table order.
    HRESULT STDMETHODCALLTYPE ExterminatePest(LONG nPestId, BSTR bsLocation,
                                              VARIANT_BOOL vbQuarantine,
                                              VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_bsQuarantineFolder(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE get_bsLastError(BSTR* pVal) override;
    HRESULT STDMETHODCALLTYPE put_bsLastError(BSTR value) override;
    HRESULT STDMETHODCALLTYPE IsRebootRequired(VARIANT_BOOL* pvbReboot) override;
    HRESULT STDMETHODCALLTYPE TerminatePestProcess(LONG nPestId, BSTR bsLocation,
                                                   VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbAllowQuarantineDuplicates(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbAllowQuarantineDuplicates(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE Initialize(BSTR bsQuarantineFolder,
                                         VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE IsInitialized(VARIANT_BOOL* pvbInitialized) override;
    HRESULT STDMETHODCALLTYPE get_vbLogEnabled(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbLogEnabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE RequiresSpecialRemover(LONG lPestID,
                                                     VARIANT_BOOL* pvbRequiresRemover) override;
    HRESULT STDMETHODCALLTYPE InitializeEx(BSTR bsQuarantineFolder, BSTR bsQZCleanFolder,
                                           VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE Immunize(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE RemoveImmunization(VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_vbQuarantineCookies(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbQuarantineCookies(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE InitializeEx2(BSTR bsQuarantineFolder, BSTR bsQZCleanFolder,
                                            BSTR bsExcluderPath, BSTR bsDatPath,
                                            VARIANT_BOOL* pvbSuccess) override;
    HRESULT STDMETHODCALLTYPE get_dwLastQZCleanExitCode(ULONG* pVal) override;
    HRESULT STDMETHODCALLTYPE get_vbQZCleanSilent(VARIANT_BOOL* pVal) override;
    HRESULT STDMETHODCALLTYPE put_vbQZCleanSilent(VARIANT_BOOL value) override;

  private:
    // ExterminateOnce, and a failure written to the engine log.
    HRESULT Exterminate(LONG pest_id, const std::string& location, bool quarantine,
                        VARIANT_BOOL* success);
    HRESULT ExterminateOnce(LONG pest_id, const std::string& location, bool quarantine,
                            VARIANT_BOOL* success);
    void LogFailedRemoval(LONG pest_id, const std::string& location);
    CQuarantine& Sessions();
    // A new session begins: what a run ended mid-write left goes first.
    void StartSession();
    // Records the location in the session (kept: what the session took) and,
    // when asked, quarantines it; false (with the quarantine's text) when
    // either fails.
    bool Keep(LONG pest_id, const std::string& location, BSTR location_text, const Location& parsed,
              bool special, bool quarantine, std::optional<SessionKeep>& kept);
    void Remove(PestRemoval& removal, const Location& parsed, const SessionKeep* kept,
                VARIANT_BOOL* success);
    // Initialize and InitializeEx up to the quarantine's Initialize: the
    // folder (the temporary folder for a web address), flags set.
    HRESULT StartInitialize(BSTR bsQuarantineFolder, VARIANT_BOOL* success);
    bool RunScriptedRemover(LONG pest_id);
    void CopyQuarantineError();
    void Fail(VARIANT_BOOL* success, const std::string& text);

    com::LastError last_error_;
    MultiByteText mb_;
    com::ComPtr<IQuarantine> quarantine_;
    CRebootFileMover mover_;
    bool reboot_required_ = false;
    bool allow_quarantine_duplicates_ = false;
    bool quarantine_cookies_ = true;
    bool initialized_ = false;
    bool qzclean_silent_ = false;
    ULONG last_qzclean_exit_code_ = 0;
    std::vector<SpecialRemoverEntry> special_index_;
    std::vector<LONG> sent_to_remover_;
    std::string qzclean_folder_;
    std::string session_name_;
};

// The session name for a UTC time: yyyyMMddHHmmss.
std::string SessionNameFor(const SYSTEMTIME& utc);

}  // namespace olvex

#include "olvex/remedy/exterminator_object.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "olvex/com/bstr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/engine_event_log.h"
#include "olvex/core/leading_decimal.h"
#include "olvex/core/os_utilities.h"
#include "olvex/remedy/pest_removal.h"
#include "olvex/remedy/quarantine_object.h"
#include "olvex/remedy/quarantine_paths.h"
#include "olvex/remedy/special_remover.h"
#include "olvex/scan/user_hives.h"

namespace olvex {
namespace {

constexpr std::string_view kDefaultValueAttribute = "DefaultValue";

bool IsNtFamily() {
    const auto version = CurrentOsVersionSource().Query();
    return !version || version->platform_id == VER_PLATFORM_WIN32_NT;
}

std::string TempFolder() {
    std::array<char, 4096> buffer{};
    const DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    return length > 0 && length < buffer.size() ? std::string(buffer.data(), length)
                                                : std::string();
}

bool IsWebAddress(const std::string& folder, const MultiByteText& mb) {
    const auto lower = mb.Lower(folder);
    return lower.find("http://") != std::string::npos ||
           lower.find("https://") != std::string::npos || lower.find("ftp://") != std::string::npos;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A folder that is still there: how much of it stayed, and why the session
// could not take what it left out.
std::string FolderError(const std::string& folder, std::size_t stayed, const SessionKeep* kept) {
    std::string text = "Error deleting folder " + folder;
    if (stayed == 0)
        return text;
    text += ": " + std::to_string(stayed) + (stayed == 1 ? " item" : " items") + " stayed in it";
    if (kept && kept->left_out > 0)
        text += " (" + std::to_string(kept->left_out) + " could not be kept in the quarantine; " +
                "the first: " + kept->left_out_reason + ")";
    return text + ".";
}

std::string NewSessionName() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return SessionNameFor(now);
}

}  // namespace

std::string SessionNameFor(const SYSTEMTIME& utc) {
    char name[32];
    std::snprintf(name, sizeof name, "%04u%02u%02u%02u%02u%02u", utc.wYear % 10000u,
                  utc.wMonth % 100u, utc.wDay % 100u, utc.wHour % 100u, utc.wMinute % 100u,
                  utc.wSecond % 100u);
    return name;
}

CExterminator::CExterminator() : mb_(AnsiCodePageText()), mover_(IsNtFamily()) {}

HRESULT CExterminator::FinalConstruct() {
    if (FAILED(com::CreateEngineObject(CLSID_Quarantine, quarantine_.Put()))) {
        quarantine_.Reset();
        last_error_.SetText("Error creating olvex.Quarantine object.");
    }
    return S_OK;
}

void CExterminator::Fail(VARIANT_BOOL* success, const std::string& text) {
    last_error_.SetText(text);
    if (success)
        *success = VARIANT_FALSE;
}

void CExterminator::CopyQuarantineError() {
    com::UniqueBstr text;
    std::string error;
    if (quarantine_ && SUCCEEDED(quarantine_->get_bsLastError(text.Put())) &&
        SUCCEEDED(com::AnsiFromBstr(text.Get(), error)))
        last_error_.SetText(error);
}

bool CExterminator::RunScriptedRemover(LONG pest_id) {
    if (std::find(sent_to_remover_.begin(), sent_to_remover_.end(), pest_id) !=
        sent_to_remover_.end())
        return true;
    const auto run = olvex::RunScriptedRemover(
        qzclean_folder_, ScriptedRemoverParameters(special_index_, pest_id, qzclean_silent_));
    if (!run.started) {
        last_error_.SetText(run.error);
        return false;
    }
    last_qzclean_exit_code_ = run.exit_code;
    // Whatever the remover did, its work is finished by a restart.
    reboot_required_ = true;
    sent_to_remover_.push_back(pest_id);
    return true;
}

HRESULT STDMETHODCALLTYPE CExterminator::ExterminatePest(LONG nPestId, BSTR bsLocation,
                                                         VARIANT_BOOL vbQuarantine,
                                                         VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    *pvbSuccess = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::string location;
        if (const HRESULT hr = com::AnsiFromBstr(bsLocation, location); FAILED(hr))
            return hr;
        return Exterminate(nPestId, location, com::IsVariantTrue(vbQuarantine), pvbSuccess);
    });
}

HRESULT CExterminator::Exterminate(LONG pest_id, const std::string& location, bool quarantine,
                                   VARIANT_BOOL* success) {
    const HRESULT hr = ExterminateOnce(pest_id, location, quarantine, success);
    if (SUCCEEDED(hr) && *success != VARIANT_TRUE)
        LogFailedRemoval(pest_id, location);
    return hr;
}

HRESULT CExterminator::ExterminateOnce(LONG pest_id, const std::string& location, bool quarantine,
                                       VARIANT_BOOL* success) {
    const bool special = FindSpecialRemoverEntry(special_index_, pest_id).has_value();
    if (special && quarantine) {
        Fail(success, "This pest requires a special remover and cannot be quarantined.");
        return S_OK;
    }
    if (special) {
        if (!RunScriptedRemover(pest_id))
            return S_OK;
        RemoveOrphanedWinsockProviders();
    }
    Location parsed(mb_);
    parsed.SetString(location);
    *success = VARIANT_TRUE;

    // A key in another user's hive needs that hive for the whole call; it is
    // unloaded again however the call ends.
    MountedHives hives;
    const auto key = parsed.GetAttributeValue(kAttrKey);
    if (key) {
        std::string mount_name;
        if (ExtractHiveMountName(*key, mount_name))
            EnsureUserHiveLoaded(mount_name, hives);
    }
    PestRemoval removal(mover_, special);
    // What removal would refuse is neither kept nor touched: a definition
    // that names the Windows folder must not copy it into a session either.
    // Checked first, so that a relative path is not looked up in whatever
    // folder the caller happens to be in.
    if (const auto refusal = removal.Refusal(parsed)) {
        Fail(success, *refusal);
        return S_OK;
    }
    if (!IsLocationPresent(parsed, mb_)) {
        last_error_.SetText(com::kSuccessText);
        return S_OK;
    }
    com::UniqueBstr text;
    if (FAILED(com::BstrFromAnsi(location, text.Put())))
        return E_OUTOFMEMORY;
    std::optional<SessionKeep> kept;
    if (!Keep(pest_id, location, text.Get(), parsed, special, quarantine, kept)) {
        *success = VARIANT_FALSE;
        return S_OK;
    }
    Remove(removal, parsed, kept ? &*kept : nullptr, success);
    if (key && !hives.Empty() && !hives.UnloadAll())
        Fail(success, "Error deleting registry key " + *key);
    return S_OK;
}

void CExterminator::LogFailedRemoval(LONG pest_id, const std::string& location) {
    const std::string entry = "Event \"Removal failed\" PestId \"" + std::to_string(pest_id) +
                              "\" Location \"" + LogPairValue(location) + "\" Error \"" +
                              LogPairValue(last_error_.Text()) + "\"";
    WriteEngineLogEntry(quarantine_ ? Sessions().BaseFolder() : std::string(), entry);
}

CQuarantine& CExterminator::Sessions() {
    // Made by this module's own class factory, so it is ours.
    return *static_cast<CQuarantine*>(quarantine_.Get());
}

void CExterminator::StartSession() {
    if (quarantine_)
        Sessions().RemovePartialSessionArchives();
}

bool CExterminator::Keep(LONG pest_id, const std::string& location, BSTR location_text,
                         const Location& parsed, bool special, bool quarantine,
                         std::optional<SessionKeep>& kept) {
    const bool record = !session_name_.empty() && !special &&
                        (!parsed.GetAttributeValue(kAttrCookie) || quarantine_cookies_);
    if ((record || quarantine) && !quarantine_) {
        last_error_.SetText("Error creating olvex.Quarantine.");
        return false;
    }
    if (record) {
        kept = Sessions().KeepInSession(pest_id, location, session_name_);
        if (!kept->outcome.ok) {
            last_error_.SetText(kept->outcome.error.empty()
                                    ? std::string("Error adding an item to the quarantine session.")
                                    : kept->outcome.error);
            return false;
        }
    }
    if (quarantine) {
        quarantine_->put_vbAllowDuplicates(com::ToVariantBool(allow_quarantine_duplicates_));
        VARIANT_BOOL stored = VARIANT_FALSE;
        quarantine_->Q4(pest_id, location_text, &stored);
        if (stored != VARIANT_TRUE) {
            CopyQuarantineError();
            return false;
        }
    }
    return true;
}

void CExterminator::Remove(PestRemoval& removal, const Location& parsed, const SessionKeep* kept,
                           VARIANT_BOOL* success) {
    const auto file = parsed.GetAttributeValue(kAttrFile);
    if (const auto id = parsed.GetAttributeValue(kAttrProcessId)) {
        const auto image = file ? std::optional(FilePartOfFileValue(*file, mb_)) : std::nullopt;
        if (!removal.TerminateProcessId(*id, image))
            Fail(success, "Error terminating process ID " + *id);
    }
    if (const auto folder = parsed.GetAttributeValue(kAttrFolder)) {
        const auto outcome = removal.DeleteFolder(*folder, kept ? &kept->kept_files : nullptr);
        if (!outcome.removed)
            Fail(success, FolderError(*folder, outcome.stayed, kept));
    }
    if (file) {
        if (!removal.RemoveFile(FilePartOfFileValue(*file, mb_)))
            Fail(success, "Error deleting file " + *file);
    }
    if (const auto key = parsed.GetAttributeValue(kAttrKey)) {
        if (!removal.DeleteRegistry(*key, parsed.GetAttributeValue(kAttrValue),
                                    parsed.GetAttributeValue(kAttrData),
                                    parsed.GetAttributeValue(kDefaultValueAttribute)))
            Fail(success, "Error deleting registry key " + *key);
    }
    reboot_required_ = reboot_required_ || removal.RebootRequired();
}

HRESULT STDMETHODCALLTYPE CExterminator::get_bsQuarantineFolder(BSTR* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = nullptr;
    return quarantine_ ? quarantine_->get_bsQuarantineFolder(pVal) : S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CExterminator::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT STDMETHODCALLTYPE CExterminator::IsRebootRequired(VARIANT_BOOL* pvbReboot) {
    return com::GetFlag(reboot_required_, pvbReboot);
}

HRESULT STDMETHODCALLTYPE CExterminator::TerminatePestProcess(LONG nPestId, BSTR bsLocation,
                                                              VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    *pvbSuccess = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::string text;
        if (const HRESULT hr = com::AnsiFromBstr(bsLocation, text); FAILED(hr))
            return hr;
        Location location(mb_);
        location.SetString(text);
        const auto id = location.GetAttributeValue(kAttrProcessId);
        if (!id) {
            last_error_.SetText("Location is not a process.");
            LogFailedRemoval(nPestId, text);
            return S_OK;
        }
        const auto file = location.GetAttributeValue(kAttrFile);
        const auto image = file ? std::optional(FilePartOfFileValue(*file, mb_)) : std::nullopt;
        const auto process_id = static_cast<DWORD>(
            ParseLeadingDecimal(*id, 0, std::numeric_limits<std::uint32_t>::max()));
        switch (EndPestProcess(process_id, image)) {
            case ProcessEnd::kEnded:
            case ProcessEnd::kNotEnded:  // its result is not looked at
            case ProcessEnd::kOtherImage:
                *pvbSuccess = VARIANT_TRUE;
                break;
            default:
                last_error_.SetText("Error opening process with terminate permissions.");
                LogFailedRemoval(nPestId, text);
                break;
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbAllowQuarantineDuplicates(VARIANT_BOOL* pVal) {
    return com::GetFlag(allow_quarantine_duplicates_, pVal);
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbAllowQuarantineDuplicates(VARIANT_BOOL value) {
    allow_quarantine_duplicates_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT CExterminator::StartInitialize(BSTR bsQuarantineFolder, VARIANT_BOOL* success) {
    std::optional<std::string> folder;
    if (bsQuarantineFolder) {
        folder.emplace();
        if (const HRESULT hr = com::AnsiFromBstr(bsQuarantineFolder, *folder); FAILED(hr))
            return hr;
        if (IsWebAddress(*folder, mb_))
            folder = TempFolder();
    }
    *success = VARIANT_TRUE;
    initialized_ = true;
    if (!quarantine_) {
        Fail(success, "Error creating olvex.Quarantine.");
        return S_OK;
    }
    com::UniqueBstr text;
    if (folder && !folder->empty() && FAILED(com::BstrFromAnsi(*folder, text.Put())))
        return E_OUTOFMEMORY;
    return quarantine_->Initialize(text.Get(), success);
}

HRESULT STDMETHODCALLTYPE CExterminator::Initialize(BSTR bsQuarantineFolder,
                                                    VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    return com::Guarded([&]() -> HRESULT {
        if (const HRESULT hr = StartInitialize(bsQuarantineFolder, pvbSuccess); FAILED(hr))
            return hr;
        allow_quarantine_duplicates_ = false;
        quarantine_cookies_ = true;
        qzclean_folder_ = GetModuleFolder(com::ThisModule()).value_or(std::string());
        // No index here means no special pests.
        special_index_ =
            LoadSpecialRemoverIndex(qzclean_folder_).value_or(std::vector<SpecialRemoverEntry>());
        session_name_ = NewSessionName();
        StartSession();
        sent_to_remover_.clear();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExterminator::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    return com::GetFlag(initialized_, pvbInitialized);
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbLogEnabled(VARIANT_BOOL* pVal) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbLogEnabled(VARIANT_BOOL value) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::RequiresSpecialRemover(LONG lPestID,
                                                                VARIANT_BOOL* pvbRequiresRemover) {
    if (!pvbRequiresRemover)
        return E_POINTER;
    *pvbRequiresRemover =
        com::ToVariantBool(FindSpecialRemoverEntry(special_index_, lPestID).has_value());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::InitializeEx(BSTR bsQuarantineFolder, BSTR bsQZCleanFolder,
                                                      VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    return com::Guarded([&]() -> HRESULT {
        if (const HRESULT hr = StartInitialize(bsQuarantineFolder, pvbSuccess); FAILED(hr))
            return hr;
        const auto refuse = [&](const std::string& text) {
            initialized_ = false;
            Fail(pvbSuccess, text);
            return S_OK;
        };
        if (*pvbSuccess != VARIANT_TRUE) {
            CopyQuarantineError();
            initialized_ = false;
            return S_OK;
        }
        allow_quarantine_duplicates_ = false;
        quarantine_cookies_ = true;
        if (!bsQZCleanFolder)
            return refuse("Error.  bsQZCleanFolder parameter must be non-null");
        std::string folder;
        if (const HRESULT hr = com::AnsiFromBstr(bsQZCleanFolder, folder); FAILED(hr))
            return hr;
        if (!IsFolder(folder))
            return refuse("Error.  bsQZCleanFolder does not represent a valid folder. ");
        while (!folder.empty() && folder.back() == '\\' &&
               mb_.EndsOnCharBoundary(std::string_view(folder).substr(0, folder.size() - 1)))
            folder.pop_back();
        qzclean_folder_ = folder;
        if (!IsFile(folder + "\\" + kScriptedRemoverName))
            return refuse("Error. QZClean.exe could not be found in the specified folder.");
        if (!IsFile(folder + "\\" + kSpecialRemoverIndexName))
            return refuse("Error. QZSRIndex.dat could not be found in the specified folder.");
        auto index = LoadSpecialRemoverIndex(folder);
        if (!index)
            return refuse("Error.  Failure loading qzsrindex.dat.");
        special_index_ = std::move(*index);
        session_name_ = NewSessionName();
        StartSession();
        sent_to_remover_.clear();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExterminator::Immunize(VARIANT_BOOL* pvbSuccess) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::RemoveImmunization(VARIANT_BOOL* pvbSuccess) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbQuarantineCookies(VARIANT_BOOL* pVal) {
    return com::GetFlag(quarantine_cookies_, pVal);
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbQuarantineCookies(VARIANT_BOOL value) {
    quarantine_cookies_ = com::IsVariantTrue(value);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::InitializeEx2(BSTR bsQuarantineFolder,
                                                       BSTR bsQZCleanFolder, BSTR bsExcluderPath,
                                                       BSTR bsDatPath, VARIANT_BOOL* pvbSuccess) {
    return InitializeEx(bsQuarantineFolder, bsQZCleanFolder, pvbSuccess);
}

HRESULT STDMETHODCALLTYPE CExterminator::get_dwLastQZCleanExitCode(ULONG* pVal) {
    if (!pVal)
        return E_POINTER;
    *pVal = last_qzclean_exit_code_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CExterminator::get_vbQZCleanSilent(VARIANT_BOOL* pVal) {
    return com::GetFlag(qzclean_silent_, pVal);
}

HRESULT STDMETHODCALLTYPE CExterminator::put_vbQZCleanSilent(VARIANT_BOOL value) {
    qzclean_silent_ = com::IsVariantTrue(value);
    return S_OK;
}

}  // namespace olvex

#include "olvex/core/excluder_object.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/exclusion_file.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/seconds_clock.h"

namespace olvex {
namespace {

constexpr char kItemCreationFailed[] = "Error instantiating olvex.ExcludedItem";

std::atomic<PestDatabaseMaker> g_maker{&MakeEnginePestDatabase};

bool EndsWithBackslash(const std::string& text) {
    return !text.empty() && AnsiCodePageText().FindLast(text, '\\') == text.size() - 1;
}

// A pest record's text, or empty when it has none.
std::string RecordText(IPestRecord* record, HRESULT (STDMETHODCALLTYPE IPestRecord::*get)(BSTR*)) {
    com::UniqueBstr value;
    std::string text;
    if (FAILED((record->*get)(value.Put())) || FAILED(com::AnsiFromBstr(value.Get(), text)))
        return {};
    return text;
}

}  // namespace

HRESULT MakeEnginePestDatabase(IPestDatabase** database) {
    return com::CreateEngineObject(CLSID_PestDatabase, database);
}

ScopedPestDatabaseMaker::ScopedPestDatabaseMaker(PestDatabaseMaker maker)
    : previous_(g_maker.exchange(maker)) {}

ScopedPestDatabaseMaker::~ScopedPestDatabaseMaker() {
    g_maker.store(previous_);
}

CExcluder::CExcluder() : store_(AnsiCodePageText()) {}

HRESULT STDMETHODCALLTYPE CExcluder::Initialize(BSTR bsExclusionsFolder, VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    *pvbSuccess = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        initialized_ = false;
        cursor_ = 0;
        std::string folder;
        if (const HRESULT hr = com::AnsiFromBstr(bsExclusionsFolder, folder); FAILED(hr))
            return hr;
        if (folder.empty()) {
            // The engine's own folder.
            const auto own = GetModuleFolder(com::ThisModule());
            if (!own) {
                last_error_.SetText(ExclusionErrorText(ExclusionError::kOpenFailed));
                return S_OK;
            }
            folder = *own;
        }
        if (!EndsWithBackslash(folder))
            folder += '\\';
        const ExclusionError error = store_.Open(folder + std::string(kExclusionFileName),
                                                 folder + std::string(kOldExclusionFileName));
        last_error_.SetText(ExclusionErrorText(error));
        if (error == ExclusionError::kNone) {
            initialized_ = true;
            *pvbSuccess = VARIANT_TRUE;
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::IsInitialized(VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    *pvbSuccess = com::ToVariantBool(initialized_);
    return S_OK;
}

HRESULT CExcluder::Change(IExcludedItem* item, VARIANT_BOOL* success,
                          ExclusionError (ExclusionStore::*change)(std::string_view)) {
    if (!success)
        return E_POINTER;
    *success = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        if (!last_error_.RequireInitialized(initialized_, success))
            return S_OK;
        std::string text;
        if (item) {
            com::UniqueBstr given;
            if (FAILED(item->GetString(given.Put())))
                return S_OK;
            if (const HRESULT hr = com::AnsiFromBstr(given.Get(), text); FAILED(hr))
                return hr;
        }
        const ExclusionError error = (store_.*change)(text);
        if (error != ExclusionError::kNone) {
            last_error_.SetText(ExclusionErrorText(error));
            return S_OK;
        }
        *success = VARIANT_TRUE;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::AddExclusion(IExcludedItem* pExcludedItem,
                                                  VARIANT_BOOL* pvbSuccess) {
    return Change(pExcludedItem, pvbSuccess, &ExclusionStore::Add);
}

HRESULT STDMETHODCALLTYPE CExcluder::RemoveExclusion(IExcludedItem* pExcludedItem,
                                                     VARIANT_BOOL* pvbSuccess) {
    return Change(pExcludedItem, pvbSuccess, &ExclusionStore::Remove);
}

bool CExcluder::Refreshed() {
    if (!initialized_)
        return false;
    store_.Refresh(CurrentSecondsClock().Now());
    return !store_.Exclusions().empty();
}

PestFacts CExcluder::LookUpPest(LONG pest_id, IPestDatabase* given) const {
    PestFacts facts;
    if (pest_id == 0 || pest_id == kNoPestId)
        return facts;
    com::ComPtr<IPestDatabase> database = com::ComPtr<IPestDatabase>::Share(given);
    if (!database) {
        // A database that cannot be made or loaded only means that the
        // pest's facts are unknown: ids and paths still count.
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (FAILED(g_maker.load()(database.Put())) || !database ||
            FAILED(database->Initialize(nullptr, &loaded)) || !com::IsVariantTrue(loaded))
            return facts;
    }
    com::ComPtr<IPestRecord> record;
    if (FAILED(database->GetPestById(pest_id, record.Put())) || !record)
        return facts;
    facts.category = RecordText(record.Get(), &IPestRecord::get_bsCategory);
    facts.name = RecordText(record.Get(), &IPestRecord::get_bsName);
    LONG pvt = kUnknownPvt;
    if (SUCCEEDED(record->get_nPvt(&pvt)))
        facts.pvt = pvt;
    return facts;
}

template <typename Covers>
HRESULT CExcluder::AskExclusions(BSTR text, VARIANT_BOOL* answer, Covers covers) {
    if (!answer)
        return E_POINTER;
    *answer = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        if (!Refreshed())
            return S_OK;
        std::string ansi;
        if (const HRESULT hr = com::AnsiFromBstr(text, ansi); FAILED(hr))
            return hr;
        *answer = com::ToVariantBool(covers(ansi));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::IsLocationExcluded(LONG nPestId, BSTR bsLocation,
                                                        IPestDatabase* pPestDatabase,
                                                        VARIANT_BOOL* pvbIsExcluded) {
    return AskExclusions(bsLocation, pvbIsExcluded, [&](const std::string& location) {
        const auto& mb = AnsiCodePageText();
        const ExclusionQuery query =
            MakeExclusionQuery(nPestId, LookUpPest(nPestId, pPestDatabase), location, mb);
        return std::ranges::any_of(store_.Exclusions(), [&](const auto& exclusion) {
            return ExclusionCoversDetection(exclusion.Pairs(), query, mb);
        });
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::IsFolderExcluded(BSTR bsLocation, IPestDatabase* pPestDatabase,
                                                      VARIANT_BOOL* pvbIsExcluded) {
    // Only paths are compared: no pest database is needed.
    return AskExclusions(bsLocation, pvbIsExcluded, [&](const std::string& folder) {
        return std::ranges::any_of(store_.Exclusions(), [&](const auto& exclusion) {
            return ExclusionCoversFolder(exclusion.Pairs(), folder, AnsiCodePageText());
        });
    });
}

HRESULT CExcluder::NextExclusion(IExcludedItem** item) {
    if (cursor_ >= store_.Exclusions().size())
        return S_OK;
    com::ComPtr<IExcludedItem> made;
    if (const HRESULT hr = com::CreateEngineObject(CLSID_ExcludedItem, made.Put()); FAILED(hr)) {
        last_error_.SetText(kItemCreationFailed);
        return hr;
    }
    com::UniqueBstr text;
    if (const HRESULT hr = com::BstrFromAnsi(store_.Exclusions()[cursor_].GetString(), text.Put());
        FAILED(hr))
        return hr;
    const HRESULT hr = made->SetString(text.Get());
    ++cursor_;
    // A copy: changing it changes nothing stored.
    if (SUCCEEDED(hr))
        *item = made.Detach();
    return hr;
}

HRESULT STDMETHODCALLTYPE CExcluder::GetFirstExclusion(IExcludedItem** ppExcludedItem) {
    if (!ppExcludedItem)
        return E_POINTER;
    *ppExcludedItem = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        cursor_ = 0;
        return NextExclusion(ppExcludedItem);
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::GetNextExclusion(IExcludedItem** ppExcludedItem) {
    if (!ppExcludedItem)
        return E_POINTER;
    *ppExcludedItem = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        return NextExclusion(ppExcludedItem);
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CExcluder::RemoveAllExclusions() {
    return com::Guarded([&]() -> HRESULT {
        std::lock_guard lock(mutex_);
        if (!last_error_.RequireInitialized(initialized_, nullptr))
            return S_OK;
        // No success flag to report through: a file that cannot be written
        // leaves the list and its error text.
        if (const ExclusionError error = store_.RemoveAll(); error != ExclusionError::kNone)
            last_error_.SetText(ExclusionErrorText(error));
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CExcluder::RefreshExclusions(BSTR bsExclusionPath) {
    return S_OK;
}

}  // namespace olvex

#include "olvex/core/pest_database_object.h"

#include "olvex/com/bstr.h"
#include "olvex/com/com_ptr.h"
#include "olvex/com/engine_class.h"
#include "olvex/com/module.h"
#include "olvex/core/ansi_code_page.h"
#include "olvex/core/crc32.h"
#include "olvex/core/language_file.h"
#include "olvex/core/location.h"
#include "olvex/core/md5.h"
#include "olvex/core/os_utilities.h"
#include "olvex/core/pest_database_location_iterator_object.h"
#include "olvex/core/pest_database_pest_iterator_object.h"
#include "olvex/core/pest_record_object.h"
#include "olvex/core/process_dat_database.h"

namespace olvex {
namespace {

constexpr char kNoFirstCommonLocationText[] =
    "GetFirstCommonLocation() not called prior to this call.";
constexpr char kPestRecordFailedText[] = "Error instantiating olvex.PestRecord.";
constexpr char kUnknownText[] = "Unknown";

// The "File" attribute of a location string.
std::optional<std::string> FileOf(BSTR location) {
    std::string text;
    if (FAILED(com::AnsiFromBstr(location, text)))
        throw std::bad_alloc();
    Location parsed(AnsiCodePageText());
    parsed.SetString(text);
    return parsed.GetAttributeValue(kAttrFile);
}

// A new iterator of the engine's own, with its implementation to start.
template <class Implementation, class Interface>
HRESULT MakeIterator(REFCLSID clsid, Interface** out, auto start) {
    com::ComPtr<Interface> made;
    if (FAILED(com::CreateEngineObject(clsid, made.Put())))
        return S_OK;  // no iterator: the out value stays null
    if (const auto implementation = EngineImplementation<Implementation>(made.Get()))
        start(*implementation.Get());
    *out = made.Detach();
    return S_OK;
}

}  // namespace

CPestDatabase::CPestDatabase() : database_(TheDatDatabase()) {}

bool CPestDatabase::IsReady() const {
    std::lock_guard lock(mutex_);
    return initialized_;
}

bool CPestDatabase::RequireReady() {
    if (IsReady())
        return true;
    last_error_.SetText(kPestDatabaseNotInitializedText);
    return false;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::Initialize(BSTR bsDatFolder, VARIANT_BOOL* pvbSuccess) {
    if (!pvbSuccess)
        return E_POINTER;
    *pvbSuccess = VARIANT_FALSE;
    return com::Guarded([&]() -> HRESULT {
        std::string source;
        if (const HRESULT hr = com::AnsiFromBstr(bsDatFolder, source); FAILED(hr))
            return hr;
        std::lock_guard lock(mutex_);
        language_ = L"English";
        initialized_ = true;
        common_locations_.reset();
        *pvbSuccess = VARIANT_TRUE;
        // A success leaves no earlier failure's text behind.
        if (database_.IsLoaded()) {
            folder_ = database_.GetDatFolder();
            last_error_.SetSuccess();
            return S_OK;
        }
        // Without a folder, the definitions beside the engine.
        if (source.empty())
            source = GetModuleFolder(com::ThisModule()).value_or(std::string());
        WebDefinitionFetcher fetcher;
        const RemoteSource remote{&fetcher, TemporaryFolder()};
        // Threads that initialise together take turns here: one loads.
        const auto load = database_.LoadUnlessLoaded(source, &remote);
        if (load.code == 0) {
            folder_ = database_.GetDatFolder();
            last_error_.SetSuccess();
            return S_OK;
        }
        last_error_.SetText(database_.GetLastErrorText());
        if (!IsRemoteDefinitionSource(source))
            last_error_.SetCode(load.code);
        initialized_ = false;
        *pvbSuccess = VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::IsInitialized(VARIANT_BOOL* pvbInitialized) {
    if (!pvbInitialized)
        return E_POINTER;
    *pvbInitialized = com::ToVariantBool(IsReady());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestById(LONG nPestId, IPestRecord** ppPestRecord) {
    if (!ppPestRecord)
        return E_POINTER;
    *ppPestRecord = nullptr;
    return com::Guarded([&]() -> HRESULT {
        if (!RequireReady())
            return S_OK;
        const auto pest = database_.FindPest(nPestId);
        if (!pest)
            return S_OK;
        const HRESULT hr = MakePestRecord(*pest, ppPestRecord);
        if (FAILED(hr))
            last_error_.SetText(kPestRecordFailedText);
        return hr;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstPest(IPestRecord** ppPest) {
    if (!ppPest)
        return E_POINTER;
    *ppPest = nullptr;
    if (!RequireReady())
        return S_OK;
    {
        std::lock_guard lock(mutex_);
        pest_cursor_ = database_.FirstPest();
    }
    return GetNextPest(ppPest);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetNextPest(IPestRecord** ppPest) {
    if (!ppPest)
        return E_POINTER;
    *ppPest = nullptr;
    return com::Guarded([&]() -> HRESULT {
        if (!RequireReady())
            return S_OK;
        std::optional<DatPestEntry> pest;
        {
            std::lock_guard lock(mutex_);
            pest = pest_cursor_.GetPest();
            pest_cursor_.Advance();
        }
        if (!pest)
            return S_OK;  // past the last pest
        const HRESULT hr = MakePestRecord(*pest, ppPest);
        if (FAILED(hr))
            last_error_.SetText(kPestRecordFailedText);
        return hr;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstCommonLocation(LONG* pnPestId, BSTR* pbsLocation) {
    if (!pnPestId || !pbsLocation)
        return E_POINTER;
    *pnPestId = -1;
    *pbsLocation = nullptr;
    if (!RequireReady())
        return S_OK;
    return com::Guarded([&]() -> HRESULT {
        {
            std::lock_guard lock(mutex_);
            common_locations_ = database_.FirstLocation();
        }
        return GetNextCommonLocation(pnPestId, pbsLocation);
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetNextCommonLocation(LONG* pnPestId, BSTR* pbsLocation) {
    if (!pnPestId || !pbsLocation)
        return E_POINTER;
    *pnPestId = -1;
    *pbsLocation = nullptr;
    return com::Guarded([&]() -> HRESULT {
        if (!RequireReady())
            return S_OK;
        std::optional<DatLocationWalk::Entry> entry;
        {
            std::lock_guard lock(mutex_);
            if (!common_locations_) {
                last_error_.SetText(kNoFirstCommonLocationText);
                return S_OK;
            }
            entry = common_locations_->Value();
            common_locations_->Next();
        }
        if (!entry)
            return S_OK;  // past the last location: -1 and null
        if (const HRESULT hr = com::BstrFromAnsi(entry->location, pbsLocation); FAILED(hr))
            return hr;
        *pnPestId = entry->pest_id;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::get_bsLastError(BSTR* pVal) {
    return last_error_.GetText(pVal);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::put_bsLastError(BSTR value) {
    return last_error_.PutText(value);
}

HRESULT CPestDatabase::GetPestText(LONG pest_id, std::string_view kind, BSTR* text) {
    if (!text)
        return E_POINTER;
    *text = nullptr;
    return com::Guarded([&]() -> HRESULT {
        std::string found = kUnknownText;
        com::ComPtr<IPestRecord> record;
        GetPestById(pest_id, record.Put());
        if (!record) {
            last_error_.SetText("Error looking up pest by id.");
            return com::BstrFromAnsi(found, text);
        }
        com::UniqueBstr category_text;
        std::string category;
        if (const HRESULT hr = record->get_bsCategory(category_text.Put()); FAILED(hr))
            return hr;
        if (const HRESULT hr = com::AnsiFromBstr(category_text.Get(), category); FAILED(hr))
            return hr;
        std::string folder;
        std::wstring language_wide;
        {
            std::lock_guard lock(mutex_);
            folder = folder_;
            language_wide = language_;
        }
        std::string language;
        const com::UniqueBstr language_bstr(
            SysAllocStringLen(language_wide.data(), static_cast<UINT>(language_wide.size())));
        if (const HRESULT hr = com::AnsiFromBstr(language_bstr.Get(), language); FAILED(hr))
            return hr;

        const std::string path = folder + "\\" + std::string(kLanguageFileName);
        const LanguageText looked_up =
            FindLanguageText(path, language, category, kind, AnsiCodePageText());
        switch (looked_up.status) {
            case LanguageTextStatus::kFound:
                found = looked_up.text;
                break;
            case LanguageTextStatus::kCannotOpen:
                last_error_.SetText("Error opening pest extended information database.");
                OutputDebugStringA(("\nError opening:" + path).c_str());
                break;
            case LanguageTextStatus::kNoSection:
                last_error_.SetText("Error finding language in langv5.dat.");
                break;
            case LanguageTextStatus::kNoKey:
                break;
        }
        return com::BstrFromAnsi(found, text);
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestRisk(LONG nPestId, BSTR* pbsRisk) {
    return GetPestText(nPestId, "Risk", pbsRisk);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestAdvice(LONG nPestId, BSTR* pbsAdvice) {
    return GetPestText(nPestId, "Advice", pbsAdvice);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPestThreat(LONG nPestId, BSTR* pbsThreat) {
    return GetPestText(nPestId, "Threat", pbsThreat);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::get_bsLanguage(BSTR* pVal) {
    if (!pVal)
        return E_POINTER;
    std::lock_guard lock(mutex_);
    return com::BstrFromWide(language_.c_str(), pVal);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::put_bsLanguage(BSTR value) {
    return com::Guarded([&]() -> HRESULT {
        std::wstring language = value ? std::wstring(value, SysStringLen(value)) : std::wstring();
        std::lock_guard lock(mutex_);
        language_ = std::move(language);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::get_nLastError(LONG* pVal) {
    return last_error_.GetCode(pVal);
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstCookieExclusion(LONG* pnPestId,
                                                                 BSTR* pbsLocation) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetNextCookieExclusion(LONG* pnPestId, BSTR* pbsLocation) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetPVTByLocation(BSTR bsLocation, LONG* plPvt) {
    if (!plPvt)
        return E_POINTER;
    *plPvt = -1;
    return com::Guarded([&]() -> HRESULT {
        const auto file = FileOf(bsLocation);
        std::uint32_t crc = 0;
        if (file && GetFileHeadCrc32(*file, crc))
            *plPvt = static_cast<LONG>(crc);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetMD5ByLocation(BSTR bsLocation, BSTR* pbsMD5) {
    if (!pbsMD5)
        return E_POINTER;
    *pbsMD5 = nullptr;
    return com::Guarded([&]() -> HRESULT {
        const auto file = FileOf(bsLocation);
        Md5Digest digest{};
        if (file && CMD5Hasher().HashFileByName(*file, digest))
            return com::BstrFromAnsi(DigestToHex(digest), pbsMD5);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetFirstLocationIterator(IPestDatabaseLocationIterator** ppIter) {
    if (!ppIter)
        return E_POINTER;
    *ppIter = nullptr;
    return com::Guarded([&]() -> HRESULT {
        return MakeIterator<CPestDatabaseLocationIterator>(
            CLSID_PestDatabaseLocationIterator, ppIter,
            [&](CPestDatabaseLocationIterator& iterator) {
                iterator.Start(database_.FirstLocation());
            });
    });
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetEndLocationIterator(IPestDatabaseLocationIterator** ppIter) {
    if (!ppIter)
        return E_POINTER;
    *ppIter = nullptr;
    return com::Guarded([&]() -> HRESULT {
        // A new iterator is at the end already.
        return MakeIterator<CPestDatabaseLocationIterator>(CLSID_PestDatabaseLocationIterator,
                                                           ppIter, [](auto&) {});
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetFirstPestIterator(IPestDatabasePestIterator** ppIter) {
    if (!ppIter)
        return E_POINTER;
    *ppIter = nullptr;
    return com::Guarded([&]() -> HRESULT {
        return MakeIterator<CPestDatabasePestIterator>(
            CLSID_PestDatabasePestIterator, ppIter,
            [&](CPestDatabasePestIterator& iterator) { iterator.Start(database_.FirstPest()); });
    });
}

HRESULT STDMETHODCALLTYPE CPestDatabase::GetEndPestIterator(IPestDatabasePestIterator** ppIter) {
    if (!ppIter)
        return E_POINTER;
    *ppIter = nullptr;
    return com::Guarded([&]() -> HRESULT {
        return MakeIterator<CPestDatabasePestIterator>(CLSID_PestDatabasePestIterator, ppIter,
                                                       [](auto&) {});
    });
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetFirstCookieExclusionIterator(IPestDatabaseCookieExclusionIterator** ppIter) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE
CPestDatabase::GetEndCookieExclusionIterator(IPestDatabaseCookieExclusionIterator** ppIter) {
    return S_OK;
}

}  // namespace olvex

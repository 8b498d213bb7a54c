#include "client/cli/marvolt_app.h"

#include <winsock2.h>

#include <array>
#include <clocale>
#include <cstdio>

#include "client/common/com_text.h"
#include "client/cli/marvolt_resources.h"
#include "client/common/removal_places.h"
#include "client/common/client_environment.h"
#include "client/common/engine_registrar.h"
#include "client/common/engine_retries.h"
#include "client/common/named_mutex.h"
#include "client/common/prevalence_reporter.h"
#include "olvex/core/file_io.h"

namespace olvex {
namespace {

constexpr char kCleanLogName[] = "qzcleanlog.csv";
constexpr char kSettingsName[] = "qzv5exe.ini";
constexpr char kScanHistoryName[] = "qzscanhistory.txt";
constexpr char kTempFileName[] = "temp.tmp";
constexpr int kSettingsAttempts = 7;
constexpr int kHistoryAttempts = 7;

bool IsTrue(VARIANT_BOOL value) {
    return (static_cast<unsigned short>(value) & 0xFFFF) == 0xFFFF;
}

void Trace(const std::string& text) {
    OutputDebugStringA(("Marvolt: " + text + "\n").c_str());
}

// The format with its first "%ld" and first "%s" filled in.
std::wstring FillIn(std::wstring format, const long* number, const std::wstring& text) {
    if (number != nullptr) {
        const std::size_t at = format.find(L"%ld");
        if (at != std::wstring::npos)
            format.replace(at, 3, std::to_wstring(*number));
    }
    const std::size_t at = format.find(L"%s");
    if (at != std::wstring::npos)
        format.replace(at, 2, text);
    return format;
}

bool IsWindows9x() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

DWORD MajorVersion() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    return GetVersionExA(&version) ? version.dwMajorVersion : 0;
}

std::string LocaleText(LCTYPE type) {
    std::array<char, 64> text{};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text.data(), static_cast<int>(text.size())) == 0)
        return {};
    return text.data();
}

UINT LocaleNumber(LCTYPE type) {
    return static_cast<UINT>(std::strtoul(LocaleText(type).c_str(), nullptr, 10));
}

// A count as the user writes numbers: no decimals, the locale's grouping.
std::string FormatCount(std::size_t count) {
    const std::string digits = std::to_string(count);
    std::array<char, 64> out{};
    if (IsWindows9x()) {
        if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), nullptr, out.data(),
                             static_cast<int>(out.size())) == 0)
            return digits;
        std::string text = out.data();
        const std::size_t dot = text.rfind('.');
        return dot == std::string::npos ? text : text.substr(0, dot);
    }
    std::string decimal = LocaleText(LOCALE_SDECIMAL);
    std::string thousand = LocaleText(LOCALE_STHOUSAND);
    const std::string grouping = LocaleText(LOCALE_SGROUPING);
    NUMBERFMTA format{};
    format.NumDigits = 0;
    format.LeadingZero = LocaleNumber(LOCALE_ILZERO);
    format.Grouping = grouping.find(';') != std::string::npos
                          ? 32
                          : static_cast<UINT>(std::strtoul(grouping.c_str(), nullptr, 10));
    format.lpDecimalSep = decimal.data();
    format.lpThousandSep = thousand.data();
    format.NegativeOrder = LocaleNumber(LOCALE_INEGNUMBER);
    if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, out.data(),
                         static_cast<int>(out.size())) == 0)
        return digits;
    return out.data();
}

}  // namespace

CMarvoltApp::CMarvoltApp(HINSTANCE instance) : app_(instance), callback_(*this) {
    unknown_text_ = NarrowText(ResourceText(IDS_UNKNOWN_PEST));
    detected_text_ = NarrowText(ResourceText(IDS_ACTION_DETECTED));
}

CMarvoltApp::~CMarvoltApp() {
    if (scanner_)
        scanner_->put_Callback(nullptr);
    location_.Reset();
    excluder_.Reset();
    quarantine_.Reset();
    exterminator_.Reset();
    pest_database_.Reset();
    scanner_.Reset();
    if (com_initialized_)
        CoUninitialize();
}

std::wstring CMarvoltApp::ResourceText(UINT id) const {
    return app_.LoadResourceString(id);
}

void CMarvoltApp::ShowMessage(const std::wstring& text) {
    if (holding_activity_) {
        // Nobody may have to answer a box before other programs can scan again.
        Trace(NarrowText(text));
        deferred_messages_.push_back(text);
        return;
    }
    app_.MessageBoxText(text, MB_OK | MB_ICONEXCLAMATION, app_.main_window());
}

void CMarvoltApp::ShowResourceMessage(UINT id) {
    ShowMessage(ResourceText(id));
}

void CMarvoltApp::ShowDeferredMessages() {
    std::vector<std::wstring> messages;
    messages.swap(deferred_messages_);
    for (const std::wstring& text : messages)
        ShowMessage(text);
}

int CMarvoltApp::Run(const std::vector<std::string>& parameters) {
    if (StartUp(parameters))
        ScanWhileHoldingActivityMutexes();
    // A run that scanned nothing never passes for a good one.
    if (!scanned_)
        return gave_way_ ? kExitGaveWay : kExitNoScan;
    if (removal_failed_)
        return kExitNotRemoved;
    return record_failed_ ? kExitNotRecorded : kExitScanned;
}

bool CMarvoltApp::StartUp(const std::vector<std::string>& parameters) {
    // The install folder becomes the current folder.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        std::array<char, MAX_PATH + 1> value{};
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(value.size() - 1);
        if (RegQueryValueExA(key, kInstallPathValue, nullptr, &type,
                             reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS &&
            type == REG_SZ)
            SetCurrentDirectoryA(value.data());
        RegCloseKey(key);
    }
    std::array<char, MAX_PATH + 1> current{};
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, current.data());
    if (length == 0 || length > MAX_PATH) {
        ShowResourceMessage(IDS_NO_STARTUP_FOLDER);
        return false;
    }
    install_folder_ = JoinPath(current.data(), "");
    data_folder_ = install_folder_ + "core";

    const char* instance_mutex =
        MajorVersion() == 5 ? "Global\\Gorsewatch5ConsumerCL" : "Gorsewatch5ConsumerCL";
    if (app_.ClaimSingleInstance(instance_mutex) != MutexClaim::kClaimed) {
        gave_way_ = true;  // another copy runs: give way without a word
        return false;
    }

    if (!CheckWriteAccess())
        return false;

    WSADATA sockets{};
    if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0) {
        ShowResourceMessage(IDS_SOCKETS_FAILED);
        return false;
    }
    std::setlocale(LC_ALL, "");

    if (!EnsureEngine() || !PrepareFolders())
        return false;
    LoadSettings();

    const MarvoltCommandLine command_line = ParseMarvoltCommandLine(parameters);
    if (command_line.document && !OpenDocument(*command_line.document))
        return false;
    action_ = command_line.action;
    proxy_settings_.Load(install_folder_, kProxySettingsFileName);
    return app_.CreateMainWindow(ResourceText(IDS_MARVOLT_TITLE));
}

bool CMarvoltApp::CheckWriteAccess() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductRegistryKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        restricted_ = true;
    if (!CanCreateFile(kTempFileName))
        restricted_ = true;
    const auto common = CurrentClientFolders().CommonAppData();
    if (!common) {
        ShowResourceMessage(IDS_NO_COMMON_APPDATA);
        return false;
    }
    if (!CanCreateFile(*common + "\\" + kTempFileName))
        restricted_ = true;
    if (restricted_) {
        ShowResourceMessage(IDS_RESTRICTED_ACCOUNT);
        return false;
    }
    return true;
}

bool CMarvoltApp::EnsureEngine() {
    const SharedEngineFolder shared = MakeSharedEngineFolder();
    if (!shared.path) {
        if (shared.error == 0) {
            ShowResourceMessage(IDS_NO_PROGRAM_FILES);
        } else {
            ShowMessage(SharedEngineFolderErrorText(shared.error));
        }
        return false;
    }
    const CEngineRegistrar registrar;
    if (!registrar.EnsureCurrentEngine(kProductVersionKeyName, install_folder_ + kEngineDllName,
                                       JoinPath(*shared.path, kEngineDllName))) {
        ShowResourceMessage(IDS_ENGINE_DAMAGED);
        return false;
    }
    return true;
}

bool CMarvoltApp::PrepareFolders() {
    ProductFolder folder = MakeProductDataFolder();
    switch (folder.error) {
        case ProductFolderError::kNone:
            break;
        case ProductFolderError::kNoCommonAppData:
            ShowResourceMessage(IDS_NO_COMMON_APPDATA);
            return false;
        case ProductFolderError::kCompanyFolder:
            ShowResourceMessage(IDS_LOG_COMPANY_FOLDER);
            return false;
        case ProductFolderError::kProductFolder:
            ShowResourceMessage(IDS_LOG_PRODUCT_FOLDER);
            return false;
    }
    product_folder_ = folder.path;
    log_.SetPath(product_folder_ + std::string(kActivityLogFileName));
    if (log_.Load() != LogStatus::kDone)
        Trace("the activity log could not be read");
    settings_path_ = product_folder_ + kSettingsName;
    return true;
}

void CMarvoltApp::LoadSettings() {
    std::string text;
    const bool read = RetryWithBackoff(kSettingsAttempts, [&] {
        // Opened for reading, made when missing, never truncated.
        const HANDLE file =
            CreateFileA(settings_path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return AttemptResult::kRetry;
        CloseHandle(file);
        const FileBytes bytes = ReadWholeFile(settings_path_, 1024 * 1024);
        if (!bytes)
            return AttemptResult::kRetry;
        text.assign(bytes.bytes.begin(), bytes.bytes.end());
        return AttemptResult::kDone;
    });
    if (!read && !restricted_)
        ShowMessage(FillIn(ResourceText(IDS_FILE_ERROR), nullptr, WidenText(settings_path_)));
    settings_ = ParseMarvoltSettings(text);
}

bool CMarvoltApp::OpenDocument(const std::string& name) {
    // The document holds nothing: opening it is all there is to it.
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ShowResourceMessage(IDS_OPEN_DOCUMENT_FAILED);
        return false;
    }
    CloseHandle(file);
    return true;
}

void CMarvoltApp::ScanWhileHoldingActivityMutexes() {
    NamedMutex activity = ClaimNamedMutex(kPestActivityMutexName);
    if (activity.claim != MutexClaim::kClaimed) {
        gave_way_ = true;  // a scan or clean runs elsewhere: give way
        return;
    }
    NamedMutex scanner_window = ClaimNamedMutex(kScannerWindowMutexName);
    if (scanner_window.claim != MutexClaim::kClaimed) {
        gave_way_ = true;
        return;
    }

    holding_activity_ = true;
    if (SUCCEEDED(CoInitialize(nullptr)))
        com_initialized_ = true;
    const bool created = CreateEngineObjects();
    if (created)
        ScanAndApplyActions();
    scanner_window.handle.reset();
    activity.handle.reset();
    holding_activity_ = false;
    ShowDeferredMessages();
    if (created && log_.Truncate(settings_.truncate) == LogStatus::kFailed)
        Trace("the activity log could not be shortened");
    // Lines a full disk kept out get one more chance now that the run is over.
    if (created && log_.pending_line_count() > 0 && log_.Flush() != LogStatus::kDone) {
        Trace("the activity log could not be written");
        record_failed_ = true;
    }
}

namespace {

constexpr EngineRetries kEngineRetries([](DWORD milliseconds) { Sleep(milliseconds); });

template <typename Interface>
std::wstring LastErrorText(Interface* object) {
    Bstr text;
    if (object == nullptr || FAILED(object->get_bsLastError(text.Put())))
        return {};
    return text.get() != nullptr ? std::wstring(text.get(), SysStringLen(text.get()))
                                 : std::wstring();
}

template <typename Interface>
long LastErrorNumber(Interface* object) {
    long number = 0;
    if (object == nullptr || FAILED(object->get_nLastError(&number)))
        return 0;
    return number;
}

}  // namespace

bool CMarvoltApp::CreateEngineObjects() {
    const bool created = kEngineRetries.Create(CLSID_Scanner, scanner_, 10, 1000) &&
                         kEngineRetries.Create(CLSID_PestDatabase, pest_database_, 5, 500) &&
                         kEngineRetries.Create(CLSID_Exterminator, exterminator_, 5, 500) &&
                         kEngineRetries.Create(CLSID_Quarantine, quarantine_, 5, 500) &&
                         kEngineRetries.Create(CLSID_Excluder, excluder_, 5, 500) &&
                         kEngineRetries.Create(CLSID_Location, location_, 5, 500);
    if (!created) {
        ShowResourceMessage(IDS_ENGINE_NOT_INSTALLED);
        return false;
    }
    const Bstr data(data_folder_);
    const Bstr install(install_folder_);
    scanner_->put_Callback(&callback_);
    if (!kEngineRetries.Initialize(10, 500, [&](VARIANT_BOOL* ok) {
            return scanner_->InitializeEx(data.get(), data.get(), data.get(), ok);
        })) {
        const long number = LastErrorNumber(scanner_.Get());
        ShowMessage(
            FillIn(ResourceText(IDS_SCANNER_INIT_FAILED), &number, LastErrorText(scanner_.Get())));
        return false;
    }
    if (!kEngineRetries.Initialize(
            5, 500, [&](VARIANT_BOOL* ok) { return pest_database_->Initialize(data.get(), ok); })) {
        const long number = LastErrorNumber(pest_database_.Get());
        ShowMessage(FillIn(ResourceText(IDS_DATABASE_INIT_FAILED), &number,
                           LastErrorText(pest_database_.Get())));
        return false;
    }
    if (!kEngineRetries.Initialize(5, 500, [&](VARIANT_BOOL* ok) {
            return exterminator_->InitializeEx(install.get(), data.get(), ok);
        })) {
        ShowMessage(FillIn(ResourceText(IDS_EXTERMINATOR_INIT_FAILED), nullptr,
                           LastErrorText(exterminator_.Get())));
        return false;
    }
    if (!kEngineRetries.Initialize(
            5, 500, [&](VARIANT_BOOL* ok) { return quarantine_->Initialize(install.get(), ok); })) {
        ShowMessage(FillIn(ResourceText(IDS_QUARANTINE_INIT_FAILED), nullptr,
                           LastErrorText(quarantine_.Get())));
        return false;
    }
    quarantine_->put_vbAllowDuplicates(VARIANT_TRUE);
    if (!kEngineRetries.Initialize(
            5, 500, [&](VARIANT_BOOL* ok) { return excluder_->Initialize(data.get(), ok); })) {
        ShowMessage(FillIn(ResourceText(IDS_EXCLUDER_INIT_FAILED), nullptr,
                           LastErrorText(excluder_.Get())));
        return false;
    }
    return true;
}

void CMarvoltApp::ScanAndApplyActions() {
    struct Scan {
        const char* name;
        HRESULT (STDMETHODCALLTYPE IScanner::*run)(VARIANT_BOOL*);
    };
    static constexpr Scan kScans[] = {
        {"memory", &IScanner::ScanMemory},
        {"registry", &IScanner::ScanRegistry},
        {"cookies", &IScanner::ScanCookies},
        {"common locations", &IScanner::ScanCommonLocations},
    };
    for (const Scan& scan : kScans) {
        VARIANT_BOOL success = VARIANT_FALSE;
        const HRESULT result = (scanner_.Get()->*scan.run)(&success);
        if (FAILED(result) || !IsTrue(success)) {
            // One scan that cannot run does not keep the others from running.
            char code[16];
            std::snprintf(code, sizeof(code), "%08lX", static_cast<unsigned long>(result));
            Trace(std::string("the ") + scan.name + " scan failed (" + code + ")");
        }
    }
    scanned_ = true;
    // What was found is on record before anything is removed.
    FlushLog("detections written");

    WriteScanHistory();

    switch (action_) {
        case MarvoltAction::kIgnore:
            break;
        case MarvoltAction::kExclude:
            while (const auto record = detections_.TakeFirst())
                ExcludePest(*record);
            break;
        case MarvoltAction::kQuarantine:
        case MarvoltAction::kDelete:
            while (const auto record = detections_.TakeFirst()) {
                if (!RemovePest(*record))
                    removal_failed_ = true;
            }
            // The scripted remover's own lines follow the removals it did.
            if (log_.AppendAndRemoveFile(install_folder_ + kCleanLogName) == LogStatus::kFailed) {
                Trace("the clean log could not be copied");
                record_failed_ = true;
            }
            break;
    }
    FlushLog("activity log written");
}

void CMarvoltApp::FlushLog(const std::string& moment) {
    // Lines that could not be written stay pending; the end of the run tries
    // them once more and tells by its exit code when they are still out.
    if (log_.Flush() != LogStatus::kDone)
        Trace("the activity log could not be written");
    else
        Trace(moment);
}

bool CMarvoltApp::LocationIs(BSTR location,
                             HRESULT (STDMETHODCALLTYPE ILocation::*test)(VARIANT_BOOL*)) {
    VARIANT_BOOL answer = VARIANT_FALSE;
    if (FAILED(location_->SetString(location)) || FAILED((location_.Get()->*test)(&answer)))
        return false;
    return IsTrue(answer);
}

bool CMarvoltApp::RemovePest(const DetectionRecord& record) {
    // One removal per place however many times the scans reported it, in
    // the order of the passes: processes first, so nothing running holds
    // the files that follow.
    std::vector<LocationPlace> places;
    places.reserve(record.locations.size());
    for (const std::string& text : record.locations)
        places.push_back(PlaceOfLocation(*location_.Get(), Bstr(text).get()));
    bool all_removed = true;
    for (const std::size_t index : PlanRemovals(places)) {
        const std::string& text = record.locations[index];
        const Bstr location(text);
        // Something else removed it already (the removal of another of the
        // pest's locations, the user, the pest itself): nothing to remove,
        // nothing to log.
        if (!IsLocationPresent(*location_.Get(), location.get())) {
            Trace("already gone: " + text);
            continue;
        }
        // Taken before the removal: afterwards the file is gone.
        const std::int32_t pvt = GetPvtByLocation(location.get());
        exterminator_->put_vbQuarantineCookies(VARIANT_FALSE);
        VARIANT_BOOL success = VARIANT_FALSE;
        // The exterminator records every removal in its quarantine session,
        // from which it can be restored; cookies it only deletes.
        const HRESULT result =
            exterminator_->ExterminatePest(record.pest_id, location.get(), VARIANT_FALSE, &success);
        if (FAILED(result) || !IsTrue(success)) {
            Trace("could not remove " + text + ": " +
                  NarrowText(LastErrorText(exterminator_.Get())));
            all_removed = false;
            continue;
        }
        const char* action =
            places[index].kind == LocationKind::kCookie ? "Deleted" : "Quarantined";
        log_.AddEntry(record.pest_id, text, GetPestName(record.pest_id), action,
                      GetPestCategory(record.pest_id), pvt);
        FlushLog("removal written: " + text);
    }
    return all_removed;
}

void CMarvoltApp::ExcludePest(const DetectionRecord& record) {
    com::ComPtr<IExcludedItem> item;
    if (FAILED(CoCreateInstance(CLSID_ExcludedItem, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IExcludedItem,
                                item.PutVoid())) ||
        !item) {
        Trace("could not make an exclusion for pest " + std::to_string(record.pest_id));
        return;
    }
    // The pest everywhere: no location attribute.
    item->SetAttributeValue(Bstr(std::wstring(L"PestId")).get(),
                            Bstr(std::to_string(record.pest_id)).get());
    item->SetAttributeValue(Bstr(std::wstring(L"PestName")).get(),
                            Bstr(GetPestName(record.pest_id)).get());
    VARIANT_BOOL initialized = VARIANT_FALSE;
    const Bstr data(data_folder_);
    if (FAILED(excluder_->Initialize(data.get(), &initialized)) || !IsTrue(initialized)) {
        ShowMessage(FillIn(ResourceText(IDS_EXCLUDER_INIT_FAILED), nullptr,
                           LastErrorText(excluder_.Get())));
        return;
    }
    VARIANT_BOOL added = VARIANT_FALSE;
    if (FAILED(excluder_->AddExclusion(item.Get(), &added)) || !IsTrue(added))
        Trace("could not exclude pest " + std::to_string(record.pest_id));
}

void CMarvoltApp::WriteScanHistory() {
    if (restricted_)
        return;
    const std::string pests = FormatCount(detections_.pest_count());
    const std::string detections = FormatCount(detections_.detection_count());
    const std::string date_time = FormatCurrentDateTime(LOCALE_SYSTEM_DEFAULT);
    const ProductFolder folder = MakeProductDataFolder();
    if (!folder)
        record_failed_ = true;
    switch (folder.error) {
        case ProductFolderError::kNone:
            break;
        case ProductFolderError::kNoCommonAppData:
            ShowResourceMessage(IDS_NO_APPDATA_FOLDER);
            return;
        case ProductFolderError::kCompanyFolder:
            ShowResourceMessage(IDS_COMPANY_FOLDER);
            return;
        case ProductFolderError::kProductFolder:
            ShowResourceMessage(IDS_PRODUCT_FOLDER);
            return;
    }
    const std::string path = folder.path + kScanHistoryName;
    const std::string text = FormatScanHistory(date_time, pests, detections);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    const bool written = RetryWithBackoff(kHistoryAttempts, [&] {
        return WriteWholeFile(path, bytes) == FileError::kNone ? AttemptResult::kDone
                                                               : AttemptResult::kRetry;
    });
    if (!written) {
        record_failed_ = true;
        ShowMessage(FillIn(ResourceText(IDS_FILE_ERROR), nullptr, WidenText(path)));
    }
}

std::string CMarvoltApp::GetPestName(std::int32_t pest_id) {
    com::ComPtr<IPestRecord> record;
    if (FAILED(pest_database_->GetPestById(pest_id, record.Put())) || !record)
        return unknown_text_;
    Sleep(1);
    Bstr name;
    if (FAILED(record->get_bsName(name.Put())))
        return unknown_text_;
    return NarrowText(name.get());
}

std::string CMarvoltApp::GetPestCategory(std::int32_t pest_id) {
    com::ComPtr<IPestRecord> record;
    if (FAILED(pest_database_->GetPestById(pest_id, record.Put())) || !record)
        return unknown_text_;
    Sleep(1);
    Bstr category;
    if (FAILED(record->get_bsCategory(category.Put())))
        return unknown_text_;
    return NarrowText(category.get());
}

std::int32_t CMarvoltApp::GetPvtByLocation(BSTR location) {
    long pvt = -1;
    if (FAILED(pest_database_->GetPVTByLocation(location, &pvt)))
        return -1;
    return static_cast<std::int32_t>(pvt);
}

std::string CMarvoltApp::GetLocationPath(BSTR location) {
    struct Kind {
        HRESULT (STDMETHODCALLTYPE ILocation::*test)(VARIANT_BOOL*);
        const wchar_t* attribute;
    };
    static constexpr Kind kKinds[] = {
        {&ILocation::IsCookie, L"File"},  {&ILocation::IsFolder, L"Folder"},
        {&ILocation::IsFile, L"File"},    {&ILocation::IsRegistryItem, L"Key"},
        {&ILocation::IsProcess, L"File"},
    };
    for (const Kind& kind : kKinds) {
        if (!LocationIs(location, kind.test))
            continue;
        Bstr value;
        if (SUCCEEDED(location_->GetAttributeValue(Bstr(std::wstring(kind.attribute)).get(),
                                                   value.Put())) &&
            value.get() != nullptr)
            return NarrowText(value.get());
        break;
    }
    return NarrowText(location);
}

void CMarvoltApp::OnPestDetected(long pest_id, BSTR location) {
    Sleep(1);
    com::ComPtr<IPestRecord> record;
    if (FAILED(pest_database_->GetPestById(pest_id, record.Put())))
        record.Reset();
    const bool known = detections_.Find(pest_id).has_value();
    Sleep(1);
    const std::string location_text = NarrowText(location);

    if (settings_.prevalence_research) {
        std::string name = unknown_text_;
        long record_pvt = -1;
        if (record) {
            Bstr bs_name;
            if (SUCCEEDED(record->get_bsName(bs_name.Put())))
                name = NarrowText(bs_name.get());
            if (FAILED(record->get_nPvt(&record_pvt)))
                record_pvt = -1;
        }
        const bool is_file = LocationIs(location, &ILocation::IsFile);
        const CPrevalenceReporter reporter;
        reporter.ReportPest(settings_.machine_id, pest_id, record_pvt, name, is_file,
                            GetLocationPath(location), &proxy_settings_);
    }

    const std::string name = GetPestName(pest_id);
    const std::string category = GetPestCategory(pest_id);
    const std::int32_t pvt = GetPvtByLocation(location);
    log_.AddEntry(pest_id, location_text, name, detected_text_, category, pvt);
    Sleep(1);
    if (!known)
        Trace("found pest " + std::to_string(pest_id) + " (" + name + ")");
    detections_.Add(pest_id, location_text, pvt, name, category);
    Sleep(1);
}

}  // namespace olvex

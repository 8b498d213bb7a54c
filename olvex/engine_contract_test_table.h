// The engine's published COM contract, written down by hand from its
// published form (not from olvex.idl): the tests hold the type library and
// the registration against it.
#pragma once

#include <vector>

namespace olvex::testing {

enum MemberKind { kMethod, kGet, kPut };
// As published: "out" parameters are the ones the member writes.
enum Direction { kIn, kOut };

struct ContractParam {
    const char* name;
    const char* type;
    Direction direction;
};

struct ContractMember {
    const char* name;
    MemberKind kind;
    long dispid;
    std::vector<ContractParam> params;
};

struct ContractInterface {
    const char* name;
    const wchar_t* iid;
    bool dual;                            // else derived from IUnknown, for OLE Automation
    std::vector<ContractMember> members;  // in virtual-table order
};

struct ContractClass {
    const char* name;
    const wchar_t* clsid;
    const char* prog_id;
    const char* versioned_prog_id;
    const char* default_interface;
};

inline constexpr wchar_t kContractLibraryId[] = L"{750F2A59-3657-4498-8B12-7455898340C7}";
inline constexpr char kContractLibraryHelp[] = "olvex 1.0 Type Library";

inline const std::vector<ContractClass>& ContractClasses() {
    static const std::vector<ContractClass> classes = {
        {"CThreadControl", L"{A9372394-8DD2-493B-BEBF-D9F787BA93B0}", "olvex.ThreadControl",
         "olvex.ThreadControl.1", "IThreadControl"},
        {"CExcludedItem", L"{F8A94C5C-BCBA-4B1B-BBE3-11A479DFEEB7}", "olvex.ExcludedItem",
         "olvex.ExcludedItem.1", "IExcludedItem"},
        {"CPestRecord", L"{8865E65A-ADF8-4549-A145-66806DB5ABB5}", "olvex.PestRecord",
         "olvex.PestRecord.1", "IPestRecord"},
        {"CPestDatabaseLocationIterator", L"{299CD89B-452A-4001-89B1-D09A2022BBA5}",
         "olvex.PestDatabaseLocationIterator", "olvex.PestDatabaseLocationIterator.1",
         "IPestDatabaseLocationIterator"},
        {"CPestDatabasePestIterator", L"{13AB8B44-075D-469A-8734-69F8D4881F1B}",
         "olvex.PestDatabasePestIterator", "olvex.PestDatabasePestIterator.1",
         "IPestDatabasePestIterator"},
        {"CPestDatabaseCookieExclusionIterator", L"{9651BBAE-170D-4590-9AAC-83F26D6A8739}",
         "olvex.PestDatabaseExclusionIterator", "olvex.PestDatabaseExclusionIterator.1",
         "IPestDatabaseCookieExclusionIterator"},
        {"CPestDatabase", L"{FA17557F-B425-451B-8EE0-72EE490A5019}", "olvex.PestDatabase",
         "olvex.PestDatabase.1", "IPestDatabase"},
        {"CExcluder", L"{F9BAFCAF-CE99-4F44-816A-141D49AA9268}", "olvex.Excluder",
         "olvex.Excluder.1", "IExcluder"},
        {"CLogEntry", L"{6E3E928D-6A71-4540-8E5B-EC3BF8C23D00}", "olvex.LogEntry",
         "olvex.LogEntry.1", "ILogEntry"},
        {"CLogger", L"{A43073A1-1CFB-4025-93F9-D3082F51198F}", "olvex.Logger", "olvex.Logger.1",
         "ILogger"},
        {"CScanner", L"{CB7F0E09-A68A-4ABF-B90E-C3C5112A69A1}", "olvex.Scanner", "olvex.Scanner.1",
         "IScanner"},
        {"CQuarantinedItem", L"{2596D72B-968D-4182-BB79-DA585D266099}", "olvex.QuarantinedItem",
         "olvex.QuarantinedItem.1", "IQuarantinedItem"},
        {"CQuarantineSession", L"{DDF94F62-2AE8-4E40-8F6E-BFCA821F9AE5}", "olvex.QuarantineSession",
         "olvex.QuarantineSession.1", "IQuarantineSession"},
        {"CQuarantine", L"{FB886E0F-465B-4F90-B4B8-0B5954A2CE23}", "olvex.Quarantine",
         "olvex.Quarantine.1", "IQuarantine"},
        {"CExterminator", L"{68A81D20-DC1E-42FD-AA73-4D5E3A114843}", "olvex.Exterminator",
         "olvex.Exterminator.1", "IExterminator"},
        {"CLocation", L"{3BECD5D5-9995-4FB3-A20F-AB48A9A450B3}", "olvex.Location",
         "olvex.Location.1", "ILocation"},
        {"CUpdater", L"{BD02A25A-0E06-424A-BE3B-4BAC916EFC9C}", "olvex.Updater", "olvex.Updater.1",
         "IUpdater"},
        {"CVersionInfo", L"{62630F59-9DAF-43ED-85B2-3903F02071BA}", "olvex.VersionInfo",
         "olvex.VersionInfo.1", "IVersionInfo"},
    };
    return classes;
}

// clang-format off
inline const std::vector<ContractInterface>& ContractInterfaces() {
    static const std::vector<ContractInterface> interfaces = {
    {"IThreadControl", L"{7C735E83-D5F5-4311-8032-4790997F3A3F}", true,
     {
         {"Pause", kMethod, 1, {}},
         {"Resume", kMethod, 2, {}},
         {"Stop", kMethod, 3, {}},
         {"WaitForCompletion", kMethod, 4, {}},
         {"hThread", kGet, 5, {{"pVal", "long*", kOut}}},
         {"hThread", kPut, 5, {{"value", "long", kIn}}},
         {"IsRunning", kMethod, 6, {{"pvbRunning", "VARIANT_BOOL*", kOut}}},
     }},
    {"IExcludedItem", L"{8A4FB279-A804-4DC3-ACA9-6357BA48BB4B}", true,
     {
         {"SetString", kMethod, 1, {{"bsLocationString", "BSTR", kIn}}},
         {"GetAttributeValue", kMethod, 2, {{"bsAttributeName", "BSTR", kIn}, {"pbsValue", "BSTR*", kOut}}},
         {"SetAttributeValue", kMethod, 3, {{"bsAttributeName", "BSTR", kIn}, {"bsValue", "BSTR", kIn}}},
         {"GetString", kMethod, 4, {{"bsString", "BSTR*", kOut}}},
         {"Clear", kMethod, 5, {}},
     }},
    {"IPestRecord", L"{9031E6E2-12A3-45A4-A338-C7D135C1656E}", true,
     {
         {"nPvt", kGet, 1, {{"pVal", "long*", kOut}}},
         {"nPvt", kPut, 1, {{"value", "long", kIn}}},
         {"nId", kGet, 2, {{"pVal", "long*", kOut}}},
         {"nId", kPut, 2, {{"value", "long", kIn}}},
         {"bsName", kGet, 3, {{"pVal", "BSTR*", kOut}}},
         {"bsName", kPut, 3, {{"value", "BSTR", kIn}}},
         {"bsAuthor", kGet, 4, {{"pVal", "BSTR*", kOut}}},
         {"bsAuthor", kPut, 4, {{"value", "BSTR", kIn}}},
         {"bsDescription", kGet, 5, {{"pVal", "BSTR*", kOut}}},
         {"bsDescription", kPut, 5, {{"value", "BSTR", kIn}}},
         {"bsCategory", kGet, 6, {{"pVal", "BSTR*", kOut}}},
         {"bsCategory", kPut, 6, {{"value", "BSTR", kIn}}},
         {"bsReleaseDate", kGet, 7, {{"pVal", "BSTR*", kOut}}},
         {"bsReleaseDate", kPut, 7, {{"value", "BSTR", kIn}}},
     }},
    {"IPestDatabaseLocationIterator", L"{2CB8FCD4-7A51-4599-9C54-DA2CDC1A9265}", true,
     {
         {"GetValue", kMethod, 1, {{"pPestID", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"Next", kMethod, 2, {{"ppRetVal", "IPestDatabaseLocationIterator**", kOut}}},
         {"Equals", kMethod, 3, {{"pRValue", "IPestDatabaseLocationIterator*", kIn}, {"pvbRetVal", "VARIANT_BOOL*", kOut}}},
     }},
    {"IPestDatabasePestIterator", L"{B0732D96-41E8-4D8E-AE0A-10ABEE578B4C}", true,
     {
         {"GetValue", kMethod, 1, {{"ppRetVal", "IPestRecord**", kOut}}},
         {"Next", kMethod, 2, {{"ppRetVal", "IPestDatabasePestIterator**", kOut}}},
         {"Equals", kMethod, 3, {{"pRValue", "IPestDatabasePestIterator*", kIn}, {"pvbRetVal", "VARIANT_BOOL*", kOut}}},
     }},
    {"IPestDatabaseCookieExclusionIterator", L"{B7FA8C14-0649-44C2-B253-CD074AD3D4AE}", true,
     {
         {"GetValue", kMethod, 1, {{"pPestID", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"Next", kMethod, 2, {{"ppRetVal", "IPestDatabaseCookieExclusionIterator**", kOut}}},
         {"Equals", kMethod, 3, {{"pRValue", "IPestDatabaseCookieExclusionIterator*", kIn}, {"pvbRetVal", "VARIANT_BOOL*", kOut}}},
     }},
    {"IPestDatabase", L"{E5E67BCB-C30D-4E0D-938F-2F767B4D12DA}", true,
     {
         {"GetPestById", kMethod, 1, {{"nPestId", "long", kIn}, {"ppPestRecord", "IPestRecord**", kOut}}},
         {"GetFirstPest", kMethod, 2, {{"ppPest", "IPestRecord**", kOut}}},
         {"GetNextPest", kMethod, 3, {{"ppPest", "IPestRecord**", kOut}}},
         {"GetFirstCommonLocation", kMethod, 4, {{"pnPestId", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"GetNextCommonLocation", kMethod, 5, {{"pnPestId", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"IsInitialized", kMethod, 6, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"Initialize", kMethod, 7, {{"bsDatFolder", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"bsLastError", kGet, 8, {{"pVal", "BSTR*", kOut}}},
         {"bsLastError", kPut, 8, {{"value", "BSTR", kIn}}},
         {"GetPestRisk", kMethod, 10, {{"nPestId", "long", kIn}, {"pbsRisk", "BSTR*", kOut}}},
         {"GetPestAdvice", kMethod, 11, {{"nPestId", "long", kIn}, {"pbsAdvice", "BSTR*", kOut}}},
         {"GetPestThreat", kMethod, 12, {{"nPestId", "long", kIn}, {"pbsThreat", "BSTR*", kOut}}},
         {"bsLanguage", kGet, 13, {{"pVal", "BSTR*", kOut}}},
         {"bsLanguage", kPut, 13, {{"value", "BSTR", kIn}}},
         {"nLastError", kGet, 14, {{"pVal", "long*", kOut}}},
         {"GetFirstCookieExclusion", kMethod, 15, {{"pnPestId", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"GetNextCookieExclusion", kMethod, 16, {{"pnPestId", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"GetPVTByLocation", kMethod, 17, {{"bsLocation", "BSTR", kIn}, {"plPvt", "long*", kOut}}},
         {"GetFirstLocationIterator", kMethod, 18, {{"ppIter", "IPestDatabaseLocationIterator**", kOut}}},
         {"GetEndLocationIterator", kMethod, 19, {{"ppIter", "IPestDatabaseLocationIterator**", kOut}}},
         {"GetFirstPestIterator", kMethod, 20, {{"ppIter", "IPestDatabasePestIterator**", kOut}}},
         {"GetEndPestIterator", kMethod, 21, {{"ppIter", "IPestDatabasePestIterator**", kOut}}},
         {"GetFirstCookieExclusionIterator", kMethod, 22, {{"ppIter", "IPestDatabaseCookieExclusionIterator**", kOut}}},
         {"GetEndCookieExclusionIterator", kMethod, 23, {{"ppIter", "IPestDatabaseCookieExclusionIterator**", kOut}}},
         {"GetMD5ByLocation", kMethod, 24, {{"bsLocation", "BSTR", kIn}, {"pbsMD5", "BSTR*", kOut}}},
     }},
    {"IExcluder", L"{5D868886-7F18-4444-B6A3-D91BAE995251}", true,
     {
         {"Initialize", kMethod, 1, {{"bsExclusionsFolder", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"IsInitialized", kMethod, 2, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"AddExclusion", kMethod, 3, {{"pExcludedItem", "IExcludedItem*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"RemoveExclusion", kMethod, 4, {{"pExcludedItem", "IExcludedItem*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"IsLocationExcluded", kMethod, 5, {{"nPestId", "long", kIn}, {"bsLocation", "BSTR", kIn}, {"pPestDatabase", "IPestDatabase*", kIn}, {"pvbIsExcluded", "VARIANT_BOOL*", kOut}}},
         {"GetFirstExclusion", kMethod, 6, {{"ppExcludedItem", "IExcludedItem**", kOut}}},
         {"GetNextExclusion", kMethod, 7, {{"ppExcludedItem", "IExcludedItem**", kOut}}},
         {"bsLastError", kGet, 8, {{"pVal", "BSTR*", kOut}}},
         {"RemoveAllExclusions", kMethod, 9, {}},
         {"RefreshExclusions", kMethod, 10, {{"bsExclusionPath", "BSTR", kIn}}},
         {"IsFolderExcluded", kMethod, 11, {{"bsLocation", "BSTR", kIn}, {"pPestDatabase", "IPestDatabase*", kIn}, {"pvbIsExcluded", "VARIANT_BOOL*", kOut}}},
     }},
    {"ILogEntry", L"{1CAA56C8-AF10-4D61-B396-E84AA2DD6D10}", true,
     {
         {"SetString", kMethod, 1, {{"bsLocationString", "BSTR", kIn}}},
         {"GetAttributeValue", kMethod, 2, {{"bsAttributeName", "BSTR", kIn}, {"pbsValue", "BSTR*", kOut}}},
         {"SetAttributeValue", kMethod, 3, {{"bsAttributeName", "BSTR", kIn}, {"bsValue", "BSTR", kIn}}},
         {"GetString", kMethod, 4, {{"bsString", "BSTR*", kOut}}},
     }},
    {"ILogger", L"{DB60D9E0-5F09-4DC2-AB1A-10C0F812BE0A}", true,
     {
         {"PutLogEntry", kMethod, 1, {{"pLogEntry", "ILogEntry*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"GetFirstLogEntry", kMethod, 2, {{"ppLogEntry", "ILogEntry**", kOut}}},
         {"GetNextLogEntry", kMethod, 3, {{"ppLogEntry", "ILogEntry**", kOut}}},
         {"bsLogPath", kGet, 4, {{"pVal", "BSTR*", kOut}}},
         {"bsLogPath", kPut, 4, {{"value", "BSTR", kIn}}},
         {"Initialize", kMethod, 5, {{"bsLogPath", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"nMaxLogEntries", kGet, 6, {{"pVal", "long*", kOut}}},
         {"nMaxLogEntries", kPut, 6, {{"value", "long", kIn}}},
         {"IsInitialized", kMethod, 7, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"ClearEntireLog", kMethod, 8, {}},
         {"DeleteByRelativeDate", kMethod, 9, {{"nDaysOld", "long", kIn}}},
         {"DeleteBySizeQuota", kMethod, 10, {{"nBytes", "long", kIn}}},
         {"DeleteByItemCount", kMethod, 11, {{"nMaxItems", "long", kIn}}},
         {"DeleteEntry", kMethod, 12, {{"pLogEntry", "ILogEntry*", kIn}}},
     }},
    {"IScanner", L"{696B36E3-E963-463D-8D69-1B06371B91D2}", true,
     {
         {"Callback", kGet, 1, {{"pVal", "IScannerCallback**", kOut}}},
         {"Callback", kPut, 1, {{"value", "IScannerCallback*", kIn}}},
         {"ScanFolder", kMethod, 2, {{"bsFolder", "BSTR", kIn}, {"vbRecurse", "VARIANT_BOOL", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"bMemScanModules", kGet, 5, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"bMemScanModules", kPut, 5, {{"value", "VARIANT_BOOL", kIn}}},
         {"ScanMemory", kMethod, 6, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"ScanRegistry", kMethod, 7, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"ScanCookies", kMethod, 8, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"ScanCommonLocations", kMethod, 10, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"bDeepScan", kGet, 11, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"bDeepScan", kPut, 11, {{"value", "VARIANT_BOOL", kIn}}},
         {"bsLastError", kGet, 12, {{"pVal", "BSTR*", kOut}}},
         {"bsLastError", kPut, 12, {{"value", "BSTR", kIn}}},
         {"Initialize", kMethod, 13, {{"bsDatFolder", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"IsInitialized", kMethod, 14, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"bsScanFilters", kGet, 15, {{"pVal", "BSTR*", kOut}}},
         {"bsScanFilters", kPut, 15, {{"value", "BSTR", kIn}}},
         {"GetFirstDetectedItem", kMethod, 16, {{"pnPestId", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"GetNextDetectedItem", kMethod, 17, {{"pnPestId", "long*", kOut}, {"pbsLocation", "BSTR*", kOut}}},
         {"ScanFile", kMethod, 18, {{"bsFile", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"bsLanguage", kGet, 19, {{"pVal", "BSTR*", kOut}}},
         {"bsLanguage", kPut, 19, {{"value", "BSTR", kIn}}},
         {"vbDetectCookiesAsFiles", kGet, 20, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbDetectCookiesAsFiles", kPut, 20, {{"value", "VARIANT_BOOL", kIn}}},
         {"ScanFolderAsync", kMethod, 21, {{"bsFolder", "BSTR", kIn}, {"vbRecurse", "VARIANT_BOOL", kIn}, {"pThreadControl", "IThreadControl**", kOut}}},
         {"ScanCookiesAsync", kMethod, 22, {{"pThreadControl", "IThreadControl**", kOut}}},
         {"ScanCommonLocationsAsync", kMethod, 23, {{"ppThreadControl", "IThreadControl**", kOut}}},
         {"ScanMemoryAsync", kMethod, 24, {{"ppThreadControl", "IThreadControl**", kOut}}},
         {"ScanFileAsync", kMethod, 25, {{"bsFile", "BSTR", kIn}, {"ppThreadControl", "IThreadControl**", kOut}}},
         {"ScanRegistryAsync", kMethod, 26, {{"ppThreadControl", "IThreadControl**", kOut}}},
         {"nLastError", kGet, 27, {{"pVal", "long*", kOut}}},
         {"InitializeEx", kMethod, 28, {{"bsDatPath", "BSTR", kIn}, {"bsExclusionsPath", "BSTR", kIn}, {"bsLogPath", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"vbLogEnabled", kGet, 29, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbLogEnabled", kPut, 29, {{"value", "VARIANT_BOOL", kIn}}},
         {"vbMemScanModules", kGet, 30, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbMemScanModules", kPut, 30, {{"value", "VARIANT_BOOL", kIn}}},
         {"vbDeepScan", kGet, 31, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbDeepScan", kPut, 31, {{"value", "VARIANT_BOOL", kIn}}},
         {"ScanCookiesEx", kMethod, 32, {{"bsCookieFolderPath", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"vbScanAllUsers", kGet, 33, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbScanAllUsers", kPut, 33, {{"value", "VARIANT_BOOL", kIn}}},
         {"ScanFileEx", kMethod, 34, {{"bsFile", "BSTR", kIn}, {"pvbIsPest", "VARIANT_BOOL*", kOut}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
     }},
    {"IQuarantinedItem", L"{CD8060DE-6836-4BA9-A436-683A7EA119C8}", true,
     {
         {"bsLocation", kGet, 1, {{"pVal", "BSTR*", kOut}}},
         {"bsLocation", kPut, 1, {{"value", "BSTR", kIn}}},
         {"nRecordId", kGet, 2, {{"pVal", "long*", kOut}}},
         {"nRecordId", kPut, 2, {{"value", "long", kIn}}},
         {"nPestId", kGet, 3, {{"pVal", "long*", kOut}}},
         {"nPestId", kPut, 3, {{"value", "long", kIn}}},
         {"bsContainerFile", kGet, 4, {{"pVal", "BSTR*", kOut}}},
         {"bsContainerFile", kPut, 4, {{"value", "BSTR", kIn}}},
         {"dQuarantineDate", kGet, 5, {{"pVal", "DATE*", kOut}}},
         {"dQuarantineDate", kPut, 5, {{"value", "DATE", kIn}}},
     }},
    {"IQuarantineSession", L"{4ECDB542-666D-4E26-9AED-7DD5BB14A227}", true,
     {
         {"Initialize", kMethod, 1, {{"bsSessionFileName", "BSTR", kIn}, {"vbSuccess", "VARIANT_BOOL*", kOut}}},
         {"bsSessionFilePath", kGet, 2, {{"pVal", "BSTR*", kOut}}},
         {"IsInitialized", kMethod, 3, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"GetFirstQuarantinedItem", kMethod, 4, {{"ppQuarantinedItem", "IQuarantinedItem**", kOut}}},
         {"GetNextQuarantinedItem", kMethod, 5, {{"ppQuarantinedItem", "IQuarantinedItem**", kOut}}},
         {"bsLastError", kGet, 6, {{"pVal", "BSTR*", kOut}}},
         {"nSessionId", kGet, 7, {{"pVal", "long*", kOut}}},
         {"nSessionId", kPut, 7, {{"value", "long", kIn}}},
     }},
    {"IQuarantine", L"{3AFE0FEF-1FF4-439D-BA05-365561FD1F20}", true,
     {
         {"GetFirstQuarantinedItem", kMethod, 1, {{"pQuarantinedItem", "IQuarantinedItem**", kOut}}},
         {"GetNextQuarantinedItem", kMethod, 2, {{"pQuarantinedItem", "IQuarantinedItem**", kOut}}},
         {"UnquarantineItem", kMethod, 3, {{"pQuarantinedItem", "IQuarantinedItem*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"Q4", kMethod, 4, {{"nPestId", "long", kIn}, {"bsLocation", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kIn}}},
         {"bsQuarantineFolder", kGet, 5, {{"pVal", "BSTR*", kOut}}},
         {"bsLastError", kGet, 6, {{"pVal", "BSTR*", kOut}}},
         {"bsLastError", kPut, 6, {{"value", "BSTR", kIn}}},
         {"Initialize", kMethod, 7, {{"bsQuarantineFolder", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"IsInitialized", kMethod, 8, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"DeleteQuarantinedItem", kMethod, 9, {{"pQuarantinedItem", "IQuarantinedItem*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"vbAllowDuplicates", kGet, 10, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbAllowDuplicates", kPut, 10, {{"value", "VARIANT_BOOL", kIn}}},
         {"DeleteAllItems", kMethod, 11, {{"pnItemsRemoved", "long*", kOut}}},
         {"vbLogEnabled", kGet, 12, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbLogEnabled", kPut, 12, {{"value", "VARIANT_BOOL", kIn}}},
         {"AddItemToSession", kMethod, 13, {{"nPestId", "long", kIn}, {"bsLocation", "BSTR", kIn}, {"bsSessionFileName", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kIn}}},
         {"GetFirstQuarantineSession", kMethod, 14, {{"ppQuarantineSession", "IQuarantineSession**", kOut}}},
         {"GetNextQuarantineSession", kMethod, 15, {{"ppQuarantineSession", "IQuarantineSession**", kOut}}},
         {"RestoreQuarantineSession", kMethod, 16, {{"ppQuarantineSession", "IQuarantineSession*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"DeleteQuarantineSession", kMethod, 18, {{"pQuarantineSession", "IQuarantineSession*", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
     }},
    {"IExterminator", L"{64ACDD27-1B69-4BBA-A46F-ABB738EB41C3}", true,
     {
         {"ExterminatePest", kMethod, 1, {{"nPestId", "long", kIn}, {"bsLocation", "BSTR", kIn}, {"vbQuarantine", "VARIANT_BOOL", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"bsQuarantineFolder", kGet, 2, {{"pVal", "BSTR*", kOut}}},
         {"bsLastError", kGet, 3, {{"pVal", "BSTR*", kOut}}},
         {"bsLastError", kPut, 3, {{"value", "BSTR", kIn}}},
         {"IsRebootRequired", kMethod, 4, {{"pvbReboot", "VARIANT_BOOL*", kIn}}},
         {"TerminatePestProcess", kMethod, 5, {{"nPestId", "long", kIn}, {"bsLocation", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"vbAllowQuarantineDuplicates", kGet, 6, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbAllowQuarantineDuplicates", kPut, 6, {{"value", "VARIANT_BOOL", kIn}}},
         {"Initialize", kMethod, 7, {{"bsQuarantineFolder", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"IsInitialized", kMethod, 8, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"vbLogEnabled", kGet, 9, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbLogEnabled", kPut, 9, {{"value", "VARIANT_BOOL", kIn}}},
         {"RequiresSpecialRemover", kMethod, 10, {{"lPestID", "long", kIn}, {"pvbRequiresRemover", "VARIANT_BOOL*", kOut}}},
         {"InitializeEx", kMethod, 11, {{"bsQuarantineFolder", "BSTR", kIn}, {"bsQZCleanFolder", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"Immunize", kMethod, 12, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"RemoveImmunization", kMethod, 13, {{"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"vbQuarantineCookies", kGet, 14, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbQuarantineCookies", kPut, 14, {{"value", "VARIANT_BOOL", kIn}}},
         {"InitializeEx2", kMethod, 15, {{"bsQuarantineFolder", "BSTR", kIn}, {"bsQZCleanFolder", "BSTR", kIn}, {"bsExcluderPath", "BSTR", kIn}, {"bsDatPath", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"dwLastQZCleanExitCode", kGet, 16, {{"pVal", "unsigned long*", kOut}}},
         {"vbQZCleanSilent", kGet, 17, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbQZCleanSilent", kPut, 17, {{"value", "VARIANT_BOOL", kIn}}},
     }},
    {"ILocation", L"{9CF8F6CC-CE95-46D4-A5F0-EC004AB13173}", true,
     {
         {"SetString", kMethod, 1, {{"bsLocationString", "BSTR", kIn}}},
         {"GetAttributeValue", kMethod, 2, {{"bsAttributeName", "BSTR", kIn}, {"pbsValue", "BSTR*", kOut}}},
         {"IsExclusion", kMethod, 3, {{"pvbExclusion", "VARIANT_BOOL*", kOut}}},
         {"IsFile", kMethod, 4, {{"pvbFile", "VARIANT_BOOL*", kOut}}},
         {"IsRegistryItem", kMethod, 5, {{"pvbRegistryItem", "VARIANT_BOOL*", kOut}}},
         {"IsCookie", kMethod, 6, {{"pvbCookie", "VARIANT_BOOL*", kOut}}},
         {"IsFolder", kMethod, 7, {{"pvbFolder", "VARIANT_BOOL*", kOut}}},
         {"IsProcess", kMethod, 8, {{"pvbProcess", "VARIANT_BOOL*", kOut}}},
     }},
    {"IUpdater", L"{2B53388A-325B-4FE2-B110-6FE0F295F1D9}", true,
     {
         {"Initialize", kMethod, 1, {{"bsAppFolder", "BSTR", kIn}, {"bsMasterControlFileUrl", "BSTR", kIn}, {"nPort", "long", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"IsInitialized", kMethod, 2, {{"pvbInitialized", "VARIANT_BOOL*", kOut}}},
         {"bsLastError", kGet, 3, {{"pVal", "BSTR*", kOut}}},
         {"nLastError", kGet, 4, {{"pVal", "long*", kOut}}},
         {"CheckForUpdates", kMethod, 5, {{"pnNumberOfUpdatesAvailable", "long*", kOut}, {"pnTotalBytesInUpdate", "long*", kOut}}},
         {"vbForceAllUpdates", kGet, 6, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbForceAllUpdates", kPut, 6, {{"value", "VARIANT_BOOL", kIn}}},
         {"DownloadUpdates", kMethod, 7, {{"bsTempFolder", "BSTR", kIn}, {"pUpdaterCallback", "IUpdaterCallback*", kIn}, {"pnFilesReceived", "long*", kOut}}},
         {"IsRebootRequired", kMethod, 8, {{"pvbReboot", "VARIANT_BOOL*", kOut}}},
         {"ApplyUpdates", kMethod, 9, {{"bsTempFolder", "BSTR", kIn}, {"pnNumberOfUpdatesApplied", "long*", kOut}}},
         {"DownloadUpdatesAsync", kMethod, 10, {{"bsTempFolder", "BSTR", kIn}, {"pUpdaterCallback", "IUpdaterCallback*", kIn}, {"ppThreadControl", "IThreadControl**", kOut}}},
         {"bsUpdateServer", kGet, 11, {{"pVal", "BSTR*", kOut}}},
         {"bsUpdateServer", kPut, 11, {{"value", "BSTR", kIn}}},
         {"InitializeEx", kMethod, 12, {{"bsAppFolder", "BSTR", kIn}, {"bsMasterControlFileUrl", "BSTR", kIn}, {"nPort", "long", kIn}, {"bsUsername", "BSTR", kIn}, {"bsPassword", "BSTR", kIn}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"MaxDeltaBytes", kGet, 13, {{"pVal", "unsigned long*", kOut}}},
         {"MaxDeltaBytes", kPut, 13, {{"value", "unsigned long", kIn}}},
         {"vbExecuteAtReboot", kGet, 14, {{"pVal", "VARIANT_BOOL*", kOut}}},
         {"vbExecuteAtReboot", kPut, 14, {{"value", "VARIANT_BOOL", kIn}}},
     }},
    {"IVersionInfo", L"{5F89A31D-74D9-45C7-A924-C9F47DA206DC}", true,
     {
         {"GetControlVersionAsString", kMethod, 1, {{"pbsVersion", "BSTR*", kOut}}},
         {"bsLastError", kGet, 2, {{"pVal", "BSTR*", kOut}}},
         {"nLastError", kGet, 3, {{"pVal", "long*", kOut}}},
         {"IsDATValid", kMethod, 4, {{"bsDatFile", "BSTR", kIn}, {"pvbValid", "VARIANT_BOOL*", kOut}}},
         {"GetDATTimeStamp", kMethod, 5, {{"bsDatFolder", "BSTR", kIn}, {"pftTime", "_FILETIME*", kOut}, {"pvbSuccess", "VARIANT_BOOL*", kOut}}},
         {"GetCompositeVersion", kMethod, 6, {{"bsDatFolder", "BSTR", kIn}, {"bsCompositeVersion", "BSTR*", kOut}}},
     }},
    {"IScannerCallback", L"{C8E342B0-EBF4-49A4-A04C-E1DBF38A3545}", false,
     {
         {"ScanComplete", kMethod, 1, {}},
         {"ScanAborted", kMethod, 2, {{"bsReason", "BSTR", kIn}}},
         {"FinishedItem", kMethod, 3, {{"bsLocation", "BSTR", kIn}}},
         {"StartingItem", kMethod, 4, {{"bsLocation", "BSTR", kIn}}},
         {"PestDetected", kMethod, 5, {{"nPestId", "long", kIn}, {"bsLocation", "BSTR", kIn}}},
         {"ShouldScanContinue", kMethod, 6, {{"pvbContinue", "VARIANT_BOOL*", kIn}}},
         {"VerboseInformation", kMethod, 7, {{"bsVerboseMsg", "BSTR", kIn}}},
     }},
    {"IUpdaterCallback", L"{6121A9D9-0FB7-4FA7-9DC2-8D77642598FF}", false,
     {
         {"UpdateBegin", kMethod, 1, {{"nTotalFilesInUpdate", "long", kIn}, {"nTotalBytesInUpdate", "long", kIn}}},
         {"DownloadStarting", kMethod, 2, {{"bsFile", "BSTR", kIn}, {"nFilesize", "long", kIn}}},
         {"DownloadProgress", kMethod, 3, {{"bsFile", "BSTR", kIn}, {"nBytesReceived", "long", kIn}, {"nFilesize", "long", kIn}, {"pvbContinue", "VARIANT_BOOL*", kOut}}},
         {"DownloadFinished", kMethod, 4, {{"bsFile", "BSTR", kIn}, {"nFilesize", "long", kIn}}},
         {"UpdateComplete", kMethod, 5, {{"nFilesDownloaded", "long", kIn}, {"nBytesReceived", "long", kIn}}},
         {"UpdateProgress", kMethod, 6, {{"nFilesDownloaded", "long", kIn}, {"nTotalFilesInUpdate", "long", kIn}, {"nBytesReceived", "long", kIn}, {"nBytesInUpdate", "long", kIn}, {"pvbContinue", "VARIANT_BOOL*", kOut}}},
         {"UpdateError", kMethod, 7, {{"lErrorCode", "long", kIn}, {"bsFile", "BSTR", kIn}, {"bsErrorMessage", "BSTR", kIn}, {"pvbContinueUpdate", "VARIANT_BOOL*", kOut}}},
     }},
    };
    return interfaces;
}
// clang-format on

}  // namespace olvex::testing
